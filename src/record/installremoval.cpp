// Removal of recorded files, folders and shortcuts, each checked for links on its way first.
#include "installremoval.h"

#include <windows.h>

#include "heldfolders.h"
#include "linkcheck.h"
#include "paths.h"
#include "runningprograms.h"
#include "systemerror.h"
#include "uninstallentry.h"
#include "xc_log.h"

void LogPathError(XC_Log* log, const char* what, const std::string& path, DWORD error) {
    log->AppendFormat("%s %s: %lu %s", what, path.c_str(), static_cast<unsigned long>(error),
                      SystemErrorText(error).c_str());
}

bool RemoveRecordedFile(const std::string& path, XC_Log* log) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES && IsMissingPathError(GetLastError())) return true;
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        log->AppendFormat("Not removed, a folder stands where a file was recorded: %s", path.c_str());
        return false;
    }
    // A read-only file (the application may have marked it so) is still part of the install.
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
        SetFileAttributesA(path.c_str(), attributes & ~DWORD(FILE_ATTRIBUTE_READONLY));
    if (DeleteFileA(path.c_str())) return true;
    const DWORD error = GetLastError();
    if (IsMissingPathError(error)) return true;
    LogPathError(log, "Cannot remove the file", path, error);
    return false;
}

bool RemoveFolderIfEmpty(const std::string& path, XC_Log* log) {
    if (RemoveDirectoryA(path.c_str())) return true;
    const DWORD error = GetLastError();
    if (IsMissingPathError(error) || error == ERROR_DIR_NOT_EMPTY) return true;
    LogPathError(log, "Cannot remove the folder", path, error);
    return false;
}

namespace {

void Count(RemovalOutcome* outcome, bool removed) { ++(removed ? outcome->removed : outcome->failed); }

// One removal through the held tree, logged unless it went (or stays as a folder that is not
// empty).
bool Logged(Removal removal, const std::string& path, const std::string& failure, XC_Log* log) {
    switch (removal) {
        case Removal::Removed:
        case Removal::NotEmpty:
            return true;
        case Removal::Refused:
            log->AppendFormat("Left alone: %s (%s)", path.c_str(), failure.c_str());
            return false;
        case Removal::Failed:
            log->AppendFormat("Cannot remove %s: %s", path.c_str(), failure.c_str());
            return false;
    }
    return false;
}

// The files, then the folders, of tree: each opened under its folder's handle, every folder on
// the way held, so that no link put in place of one after it was checked leads the removal
// elsewhere.
RemovalOutcome RemoveFromTree(HeldFolders& tree, const std::vector<std::string>& files,
                              const std::vector<std::string>& folders, XC_Log* log) {
    RemovalOutcome outcome;
    const std::string& root = tree.RootPath();
    std::string failure;
    for (const std::string& relative : files)
        Count(&outcome, Logged(tree.RemoveFile(relative, &failure), JoinPath(root.c_str(), relative.c_str()),
                               failure, log));
    for (const std::string& relative : folders)
        Count(&outcome, Logged(tree.RemoveFolder(relative, &failure), JoinPath(root.c_str(), relative.c_str()),
                               failure, log));
    return outcome;
}

// Opens folder for a removal; false, logged and every item counted as failed, when it is a
// link or cannot be opened. A missing folder is opened as nothing to remove: every item
// counts as removed.
bool OpenForRemoval(HeldFolders* tree, const std::string& folder, size_t items, RemovalOutcome* outcome,
                    XC_Log* log) {
    std::string failure;
    if (tree->Open(folder, &failure)) return true;
    const bool missing = IsMissingPathError(GetLastError());
    if (!missing) log->AppendFormat("Left alone: %s (%s)", folder.c_str(), failure.c_str());
    (missing ? outcome->removed : outcome->failed) += int(items);
    return false;
}

}  // namespace

bool NoProgramRunsFrom(const std::string& folder, const std::function<bool()>& retry, XC_Log* log) {
    for (;;) {
        const std::vector<RunningProgram> running = ProgramsRunningFrom(folder);
        if (running.empty()) return true;
        for (const RunningProgram& program : running)
            log->AppendFormat("Running from %s: %s (process %lu)", folder.c_str(), program.path.c_str(),
                              static_cast<unsigned long>(program.id));
        if (!retry()) return false;
    }
}

RemovalOutcome RemoveFilesAndFolders(const std::string& folder, const std::vector<std::string>& files,
                                     const std::vector<std::string>& folders, XC_Log* log) {
    RemovalOutcome outcome;
    HeldFolders tree;
    if (!OpenForRemoval(&tree, folder, files.size() + folders.size(), &outcome, log)) return outcome;
    return RemoveFromTree(tree, files, folders, log);
}

RemovalOutcome RemoveShortcuts(const std::vector<std::string>& shortcuts, const std::vector<std::string>& folders,
                               XC_Log* log) {
    RemovalOutcome outcome;
    // Shortcuts lie outside the install folder.
    for (const std::string& shortcut : shortcuts) {
        if (InspectPath(ParentFolder(shortcut)) == PathKind::Missing) continue;
        if (InspectPath(ParentFolder(shortcut)) != PathKind::Plain || InspectPath(shortcut) == PathKind::Link ||
            InspectPath(shortcut) == PathKind::Unknown) {
            log->AppendFormat("Left alone, a link on its way: %s", shortcut.c_str());
            Count(&outcome, false);
            continue;
        }
        Count(&outcome, RemoveRecordedFile(shortcut, log));
    }
    for (auto shortcutFolder = folders.rbegin(); shortcutFolder != folders.rend(); ++shortcutFolder) {
        const PathKind kind = InspectPath(*shortcutFolder);
        if (kind == PathKind::Missing) continue;
        if (kind != PathKind::Plain) {
            log->AppendFormat("Left alone, a link: %s", shortcutFolder->c_str());
            Count(&outcome, false);
            continue;
        }
        Count(&outcome, RemoveFolderIfEmpty(*shortcutFolder, log));
    }

    return outcome;
}

RemovalOutcome RemoveInstall(const std::string& uninstallFolder, const InstallRecord& record, XC_Log* log) {
    RemovalOutcome outcome;
    const std::string& folder = record.InstallFolder();
    if (folder.empty()) {
        log->AppendFormat("The install record names no install folder: nothing removed");
        Count(&outcome, false);
        return outcome;
    }
    std::vector<std::string> files;
    for (const InstallRecord::File& file : record.Files()) files.push_back(file.path);
    const std::vector<std::string> folders(record.Folders().rbegin(), record.Folders().rend());
    HeldFolders tree;
    if (OpenForRemoval(&tree, folder, files.size() + folders.size(), &outcome, log)) {
        outcome = RemoveFromTree(tree, files, folders, log);
        // The install folder itself once empty; a file the user made keeps it.
        std::string failure;
        if (outcome.failed == 0) Count(&outcome, Logged(tree.RemoveFolder("", &failure), folder, failure, log));
    }

    const RemovalOutcome shortcuts = RemoveShortcuts(record.Shortcuts(), record.ShortcutFolders(), log);
    outcome.removed += shortcuts.removed;
    outcome.failed += shortcuts.failed;

    if (outcome.failed > 0) return outcome;
    Count(&outcome, RemoveRecordedFile(JoinPath(uninstallFolder.c_str(), InstallRecord::kFileName), log));
    if (record.Language() != 0)
        Count(&outcome,
              RemoveRecordedFile(JoinPath(uninstallFolder.c_str(), LanguageFileName(record.Language()).c_str()), log));
    if (!RemoveUninstallEntry()) {
        log->AppendFormat("Cannot remove the Programs and Features entry");
        Count(&outcome, false);
    }
    return outcome;
}
