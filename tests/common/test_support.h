// Small helpers shared by the Windows tests: whole files as text, scoped environment variables.
#pragma once

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

// Ends a test whose subject is a 32-bit program on 64-bit Windows (the folders and the registry
// view WOW64 redirects it to, its hand-off to the 64-bit updater) when this is the 64-bit build;
// the test run lists each such test with the reason.
#define SKIP_UNLESS_32BIT_PROGRAM(reason) \
    if (sizeof(void*) == 8) GTEST_SKIP() << "not in the 64-bit build: " << (reason)

// The whole file into *bytes; false when it cannot be opened.
inline bool ReadFileBytes(const std::string& path, std::string* bytes) {
    FILE* file = fopen(path.c_str(), "rb");
    if (file == nullptr) return false;
    bytes->clear();
    char buffer[65536];
    size_t got;
    while ((got = fread(buffer, 1, sizeof(buffer), file)) > 0) bytes->append(buffer, got);
    const bool ok = ferror(file) == 0;
    fclose(file);
    return ok;
}

// The whole file; empty when it cannot be read.
inline std::string FileContents(const std::string& path) {
    std::string bytes;
    return ReadFileBytes(path, &bytes) ? bytes : std::string();
}

// What root\relative holds, each file as its path relative to root ("\a\b.txt") with its
// bytes, each folder as its relative path with a trailing backslash and no bytes.
inline void ListTree(const std::string& root, const std::string& relative,
                     std::vector<std::pair<std::string, std::string>>* out) {
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((root + relative + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        const std::string name = found.cFileName;
        if (name == "." || name == "..") continue;
        const std::string child = relative + "\\" + name;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            out->emplace_back(child + "\\", "");
            ListTree(root, child, out);
        } else {
            out->emplace_back(child, FileContents(root + child));
        }
    } while (FindNextFileA(search, &found));
    FindClose(search);
}

// The whole of folder as ListTree gives it, sorted.
inline std::vector<std::pair<std::string, std::string>> FolderTree(const std::string& folder) {
    std::vector<std::pair<std::string, std::string>> tree;
    ListTree(folder, "", &tree);
    std::sort(tree.begin(), tree.end());
    return tree;
}

// A file in the drivers folder of the system, where installed drivers land: a 32-bit process on
// 64-bit Windows reaches it as Sysnative (its own system folder is the 32-bit one), any other
// process through its system folder.
inline std::string NativeDriversFile(const std::string& name) {
    BOOL wow64 = FALSE;
    char folder[MAX_PATH];
    UINT length;
    if (IsWow64Process(GetCurrentProcess(), &wow64) && wow64) {
        length = GetWindowsDirectoryA(folder, MAX_PATH);
        return std::string(folder, length) + "\\Sysnative\\drivers\\" + name;
    }
    length = GetSystemDirectoryA(folder, MAX_PATH);
    return std::string(folder, length) + "\\drivers\\" + name;
}

// Runs a program and waits at most a minute; the exit code, or 0xFFFFFFFF.
inline DWORD RunAndWait(const std::string& program, const std::string& arguments) {
    std::string line = "\"" + program + "\" " + arguments;
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(program.c_str(), &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return 0xFFFFFFFF;
    CloseHandle(process.hThread);
    DWORD code = 0xFFFFFFFF;
    if (WaitForSingleObject(process.hProcess, 60000) != WAIT_OBJECT_0 || !GetExitCodeProcess(process.hProcess, &code))
        code = 0xFFFFFFFF;
    CloseHandle(process.hProcess);
    return code;
}

// Waits at most ten seconds for the path to go (a program that removes it after it ends).
inline bool GoneSoon(const std::string& path) {
    for (int tries = 0; tries < 100; ++tries) {
        if (GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES) return true;
        Sleep(100);
    }
    return false;
}

// Sets an environment variable (for this process and those it starts) and restores it.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : name_(name) {
        char old[1024];
        const DWORD length = GetEnvironmentVariableA(name, old, sizeof(old));
        had_ = length > 0 && length < sizeof(old);
        if (had_) old_.assign(old, length);
        SetEnvironmentVariableA(name, value);
    }
    ~ScopedEnv() { SetEnvironmentVariableA(name_.c_str(), had_ ? old_.c_str() : nullptr); }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string name_;
    std::string old_;
    bool had_ = false;
};
