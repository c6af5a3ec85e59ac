// Uninstall.exe: removes the install that the install record beside it lists (the uninstaller
// lies apart from the install folder, in a folder only administrators may change). Asks first
// (not with /S), waits for programs running from the install folder to be closed, removes the
// recorded files, folders, shortcuts and the Programs and Features entry, and finally its own
// file and folder through a copy of itself in a new folder of its own in the temporary folder
// (or, when that fails, at the next restart). Exit code 0 when everything recorded is gone, 1
// otherwise, 2 when cancelled, 4 for a switch other than /S (refused with no window).
#include <windows.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "commandline.h"
#include "installrecord.h"
#include "installremoval.h"
#include "paths.h"
#include "privatefolder.h"
#include "rollback.h"
#include "xc_handle.h"
#include "xc_language.h"
#include "xc_log.h"

namespace {

enum ExitCode : UINT { kRemoved = 0, kFailed = 1, kCancelled = 2, kUnknownSwitch = 4 };

// The English texts, which are also the language files' keys.
constexpr const char* kCaption = "Uninstall Mini Tarvik";
constexpr const char* kQuestion = "Remove Mini Tarvik and all of its components?";
constexpr const char* kTextRemoved = "Mini Tarvik was removed.";
constexpr const char* kTextNotRemoved = "Mini Tarvik could not be removed completely. See the log file.";

// The helper mode of the temporary copy: "/CLEANUP <process handle> <uninstaller path>".
constexpr const char* kCleanupSwitch = "/CLEANUP";
constexpr const char* kSilentSwitch = "/S";
// The copy's folder in the temporary folder, and the copy in it.
constexpr const char* kCleanupFolderName = "MiniTarvik-Uninstall-";
constexpr const char* kCleanupCopyName = "MiniTarvik-Uninstall.exe";
// Administrators and the system only, nothing inherited: the temporary folder of a deployment
// tool running as the system is C:\Windows\Temp, where every user may make folders, and the
// copy is started elevated.
constexpr const char* kCleanupFolderAccess = "D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";

// The command line's arguments after the program's name.
std::vector<std::string> Arguments() {
    std::vector<std::string> arguments;
    for (const CommandArgument& argument : SplitArguments(CommandLineArguments(GetCommandLineA())))
        arguments.push_back(argument.text);
    return arguments;
}

// The translated texts, all read before anything is removed: the language file is one of the
// recorded files, and a lookup of a missing text writes to it.
struct Texts {
    std::string caption, question, running, removed, notRemoved;
};

Texts LoadTexts(const std::string& folder, uint32_t languageId) {
    XC_Language language;
    if (languageId != 0) language.LanguageId = languageId;
    const std::string file = JoinPath(folder.c_str(), LanguageFileName(language.LanguageId).c_str());
    // Only an existing file: loading a missing one would make it, a file no record lists.
    if (GetFileAttributesA(file.c_str()) != INVALID_FILE_ATTRIBUTES) language.Load(folder.c_str());
    return {language.Translate(kCaption), language.Translate(kQuestion), language.Translate(kRunningQuestion),
            language.Translate(kTextRemoved), language.Translate(kTextNotRemoved)};
}

// A folder of its own for the copy, made new under a name no one took before (never one that
// is there, which another user may have made and can write to), with kCleanupFolderAccess;
// empty, logged, when none could be made.
std::string MakeCleanupFolder(XC_Log* log) {
    const std::string base = TempDirPath((kCleanupFolderName + std::to_string(GetCurrentProcessId()) + "-").c_str());
    for (DWORD attempt = 0; attempt < 100; ++attempt) {
        const std::string candidate = base + std::to_string(attempt);
        if (CreateFolderWithAccess(candidate, kCleanupFolderAccess)) return candidate;
    }
    log->AppendFormat("Cannot make a folder for the clean-up in %s: %lu", TempDirPath().c_str(), GetLastError());
    return std::string();
}

// Starts the copy that removes this file and its folder once this process has ended, from a
// folder of its own. False, logged, when it cannot be started.
bool StartCleanup(const std::string& self, XC_Log* log) {
    const std::string folder = MakeCleanupFolder(log);
    if (folder.empty()) return false;
    const std::string copy = JoinPath(folder.c_str(), kCleanupCopyName);
    HANDLE inherited = nullptr;
    if (!CopyFileA(self.c_str(), copy.c_str(), TRUE)) {
        log->AppendFormat("Cannot copy the uninstaller to %s: %lu", copy.c_str(), GetLastError());
    } else if (!DuplicateHandle(GetCurrentProcess(), GetCurrentProcess(), GetCurrentProcess(), &inherited, SYNCHRONIZE,
                                TRUE, 0)) {
        log->AppendFormat("Cannot hand this process to the clean-up: %lu", GetLastError());
    } else {
        XC_KernelHandle own(inherited);
        std::string line = "\"" + copy + "\" " + kCleanupSwitch + " " +
                           std::to_string(static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(inherited))) +
                           " \"" + self + "\"";
        STARTUPINFOA startup = {};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION process = {};
        if (CreateProcessA(copy.c_str(), &line[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process)) {
            CloseHandle(process.hThread);
            CloseHandle(process.hProcess);
            log->AppendFormat("The uninstaller %s goes once it has ended, through %s", self.c_str(), copy.c_str());
            return true;
        }
        log->AppendFormat("Cannot start the clean-up %s: %lu", copy.c_str(), GetLastError());
    }
    DeleteFileA(copy.c_str());
    RemoveDirectoryA(folder.c_str());
    return false;
}

// The file and then its folder at the next restart: what a running program cannot remove.
bool RemoveAtRestart(const std::string& file) {
    return MoveFileExA(file.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT) &&
           MoveFileExA(ParentFolder(file).c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
}

// The copy's job: once the uninstaller has ended (however long its last message stays open),
// its file and then its folder when empty; the copy and its folder go at the next restart (a
// running program cannot delete its file).
UINT Cleanup(const std::vector<std::string>& arguments) {
    if (arguments.size() != 3) return kFailed;
    const std::string target = arguments[2];
    // Only an uninstaller of this name: a command line naming another file removes nothing.
    const std::string name = target.substr(target.rfind('\\') + 1);
    if (lstrcmpiA(name.c_str(), kUninstallerFileName) != 0) return kFailed;
    XC_KernelHandle uninstaller(reinterpret_cast<HANDLE>(uintptr_t(std::strtoull(arguments[1].c_str(), nullptr, 10))));
    WaitForSingleObject(uninstaller.Get(), INFINITE);
    bool removed = false;
    for (int tries = 0; tries < 50 && !removed; ++tries) {
        removed = DeleteFileA(target.c_str()) || GetLastError() == ERROR_FILE_NOT_FOUND;
        if (!removed) Sleep(100);
    }
    RemoveDirectoryA(ParentFolder(target).c_str());
    RemoveAtRestart(ModulePath());
    return removed ? kRemoved : kFailed;
}

constexpr const char* kLogName = "MiniTarvik-Uninstall.log";

// Points log at its file in the temporary folder, where a failed run is read from; that path.
std::string OpenLog(XC_Log* log) {
    const std::string path = TempDirPath(kLogName);
    lstrcpynA(log->LogPath, path.c_str(), sizeof(log->LogPath));
    return path;
}

UINT Uninstall(bool silent) {
    const std::string self = ModulePath();
    const std::string folder = ParentFolder(self);
    XC_Log log;
    const std::string logPath = OpenLog(&log);
    // An install cut off midway is rolled back first: what is removed is then a whole install.
    RecoverInterruptedInstall(folder, &log);
    InstallRecord record;
    const bool loaded =
        record.Load(JoinPath(folder.c_str(), InstallRecord::kFileName)) && !record.InstallFolder().empty();
    log.AppendFormat("Uninstall of %s by %s%s", record.InstallFolder().c_str(), folder.c_str(),
                     silent ? " (silent)" : "");
    const Texts texts = LoadTexts(folder, record.Language());
    const auto tell = [&](const std::string& text, UINT kind) {
        return silent ? 0 : MessageBoxA(nullptr, text.c_str(), texts.caption.c_str(), kind | MB_SETFOREGROUND);
    };
    if (!loaded) {
        log.AppendFormat("The install record %s is missing or damaged: nothing removed", InstallRecord::kFileName);
        tell(texts.notRemoved + "\r\n" + logPath, MB_OK | MB_ICONERROR);
        return kFailed;
    }
    if (!silent && tell(texts.question, MB_YESNO | MB_ICONQUESTION) != IDYES) {
        log.AppendFormat("Cancelled");
        return kCancelled;
    }
    const auto retry = [&] { return !silent && tell(texts.running, MB_RETRYCANCEL | MB_ICONWARNING) == IDRETRY; };
    if (!NoProgramRunsFrom(record.InstallFolder(), retry, &log)) {
        log.AppendFormat(silent ? "Nothing removed while it runs" : "Cancelled");
        return silent ? kFailed : kCancelled;
    }

    RemovalOutcome outcome = RemoveInstall(folder, record, &log);
    // The record and entry are gone: the uninstaller's own file goes too, now through its copy
    // or else at the next restart, before the last message, which may stay open for long.
    if (outcome.failed == 0 && !StartCleanup(self, &log)) {
        if (RemoveAtRestart(self))
            log.AppendFormat("The uninstaller %s goes at the next restart", self.c_str());
        else
            ++outcome.failed;
    }
    log.AppendFormat("Removed %d, not removed %d", outcome.removed, outcome.failed);
    if (outcome.failed > 0) {
        tell(texts.notRemoved + "\r\n" + logPath, MB_OK | MB_ICONERROR);
        return kFailed;
    }
    tell(texts.removed, MB_OK | MB_ICONINFORMATION);
    return kRemoved;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    RestrictDllSearch();
    const std::vector<std::string> arguments = Arguments();
    if (!arguments.empty() && lstrcmpiA(arguments[0].c_str(), kCleanupSwitch) == 0) ExitProcess(Cleanup(arguments));
    // Anything but /S is refused at once, with no window: a deployment tool that runs the
    // uninstaller with a switch of its own must not wait for a question no one sees.
    for (const std::string& argument : arguments) {
        if (lstrcmpiA(argument.c_str(), kSilentSwitch) == 0) continue;
        XC_Log log;
        OpenLog(&log);
        log.AppendFormat("Unknown command line switch \"%s\": nothing removed (use /S for a silent uninstall)",
                         argument.c_str());
        ExitProcess(kUnknownSwitch);
    }
    ExitProcess(Uninstall(!arguments.empty()));
}
