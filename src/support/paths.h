// Path and process helpers: joining path parts, folders of the executable and of the system,
// INI values that write their default back, and starting another program.
#pragma once

#include <windows.h>

#include <atomic>
#include <string>

// Joins up to four parts with "\"; an absent (null) part is skipped, an empty one adds a
// trailing backslash. Doubled backslashes collapse from the third character on, so the
// leading "\\" of a network path survives.
std::string JoinPath(const char* first, const char* second = nullptr, const char* third = nullptr,
                     const char* fourth = nullptr);

// The module's file path (the executable when module is null), or name placed in its folder.
// Empty when the path cannot be read.
std::string ModulePath(const char* name = nullptr, HMODULE module = nullptr);

// The folder part of a path: what comes before its last separator (a backslash, or a slash,
// which Windows takes as one too); empty when it has none. "\a\b.txt" gives "\a".
std::string ParentFolder(const std::string& path);
// What follows the last separator: the file's own name ("b.txt" of "\a\b.txt"); the whole path
// when it has none.
std::string LastPathPart(const std::string& path);

std::string SystemDirPath(const char* name = nullptr);
std::string WindowsDirPath(const char* name = nullptr);

// Loads a library of the Windows system folder by its full path, so that a file of the same
// name beside the executable or in the current folder (a download folder, say) is never taken,
// and its own imports are looked for in the system folder first. Null when it does not load.
HMODULE LoadSystemLibrary(const char* name);

// The entry `name` of a loaded library as a function of type Function; null when it lacks it.
template <typename Function>
Function LibraryEntry(HMODULE library, const char* name) {
    // Through the generic function type: GetProcAddress knows no signatures.
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(library, name)));
}

// The table `make` gives, made on first use and shared by every thread from then on; a thread
// that loses the race to make it drops its own. A function-local static would do the same, but
// its guard brings the thread library into the programs: 30 KB, and an import of
// GetTickCount64, which Windows XP's kernel32 lacks, so that they would not start there.
template <typename Table>
const Table& MadeOnce(std::atomic<const Table*>* slot, Table (*make)()) {
    const Table* made = slot->load(std::memory_order_acquire);
    if (made != nullptr) return *made;
    const Table* fresh = new Table(make());
    if (slot->compare_exchange_strong(made, fresh, std::memory_order_acq_rel)) return *fresh;
    delete fresh;
    return *made;
}

// Called first at process start: library searches by name look only in the system folder
// where the system has SetDefaultDllDirectories (XP and an unpatched 7 lack it); otherwise the
// current folder at least leaves the search (SetDllDirectoryA with the empty text).
void RestrictDllSearch();

// name placed in the user's temporary folder, in long form.
std::string TempDirPath(const char* name = nullptr);

// The value of key in section, or defaultValue, which is then written as the key's value.
std::string ReadIniString(const char* file, const char* section, const char* key, const char* defaultValue);

// Starts commandLine in a new console; with exitCode, waits at most waitMs for the end and
// stores the code, which is STILL_ACTIVE when the program has not ended by then.
bool RunProcess(const char* commandLine, bool show, DWORD* exitCode = nullptr, DWORD waitMs = INFINITE);
