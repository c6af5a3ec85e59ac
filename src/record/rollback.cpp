// Kept files, the rollback from the journal, and the recovery at start-up.
#include "rollback.h"

#include <windows.h>

#include <set>

#include "asciicase.h"
#include "installremoval.h"
#include "heldfolders.h"
#include "linkcheck.h"
#include "paths.h"
#include "privatefolder.h"
#include "safepath.h"
#include "systemerror.h"
#include "uninstallentry.h"
#include "xc_log.h"

namespace {

// Administrators and the system only, nothing inherited from the install folder, which every
// user may change.
constexpr const char* kKeptFolderAccess = "D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";

bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::string KeptFolder(const std::string& installFolder) { return JoinPath(installFolder.c_str(), kKeptFolderName); }

// Moves what stands at path, in folder, into the kept folder as keptName; true when moved or
// when nothing is there. A rename on the volume: no copy, and the file keeps its bytes, times
// and access. Only a plain file or folder: a link is never moved, or the rollback would put it
// back.
bool SetAsideInto(HANDLE folder, const std::string& path, HANDLE kept, const std::string& keptName, XC_Log* log) {
    std::string failure;
    if (MoveAsideIn(folder, LastPathPart(path), kept, keptName, &failure)) return true;
    if (GetLastError() == kLinkFoundError)
        log->AppendFormat("Not set aside, a link: %s", path.c_str());
    else
        LogPathError(log, "Cannot set aside", path, GetLastError());
    return false;
}

// One step of the rollback through the held tree; false, logged, unless it went (or is a
// folder that is not empty).
bool RolledBack(Removal removal, const std::string& relative, const std::string& failure, XC_Log* log) {
    if (removal == Removal::Removed || removal == Removal::NotEmpty) return true;
    log->AppendFormat("Not rolled back: %s (%s)", relative.c_str(), failure.c_str());
    return false;
}

// Puts the kept file name back as relative, over what the newer install wrote there.
bool PutBack(HeldFolders& tree, HANDLE kept, const std::string& name, const std::string& relative, XC_Log* log) {
    std::string failure;
    const HANDLE folder = tree.Folder(ParentFolder(relative), MissingFolder::Fail, &failure);
    if (folder == nullptr) {
        log->AppendFormat("Not rolled back: %s (%s)", relative.c_str(), failure.c_str());
        return false;
    }
    if (!RolledBack(tree.RemoveFile(relative, &failure), relative, failure, log)) return false;
    if (MoveAsideIn(kept, name, folder, LastPathPart(relative), &failure)) return true;
    log->AppendFormat("Cannot put back %s: %s", relative.c_str(), failure.c_str());
    return false;
}

bool IsKept(HANDLE kept, const std::string& name) {
    return kept != nullptr && InspectIn(kept, name) != PathKind::Missing;
}

std::set<std::string> UpperSet(const std::vector<std::string>& items) {
    std::set<std::string> upper;
    for (const std::string& item : items) upper.insert(AsciiUpper(item));
    return upper;
}

// The items of newer that older does not have, in newer's order.
std::vector<std::string> Added(const std::vector<std::string>& newer, const std::vector<std::string>& older) {
    const std::set<std::string> had = UpperSet(older);
    std::vector<std::string> added;
    for (const std::string& item : newer)
        if (had.count(AsciiUpper(item)) == 0) added.push_back(item);
    return added;
}

// The name a kept file goes back under: the older install's own spelling when it had the
// file (the newer may write "EMBERLIN.EXE" over "Emberlin.exe"), else the newer's.
std::string OlderSpelling(const InstallJournal& journal, const std::string& relative) {
    const std::string upper = AsciiUpper(relative);
    for (const InstallRecord::File& file : journal.Older().Files())
        if (AsciiUpper(file.path) == upper) return file.path;
    return relative;
}

// The newer install's files: each part file goes; a kept file comes back over what was
// written; a file where no file stood before goes; one that stood there and is not kept was
// never touched. A folder at a file's path is never the newer install's work. Then the folders
// it made, deepest first, once empty. Everything under tree's handles. The failures.
int UndoNewerFiles(const InstallJournal& journal, HeldFolders& tree, HANDLE kept, XC_Log* log) {
    const InstallRecord& newer = journal.Newer();
    int failed = 0;
    std::string failure;
    for (size_t i = 0; i < newer.Files().size(); ++i) {
        const std::string& relative = newer.Files()[i].path;
        const std::string part = relative + kPartFileSuffix;
        const Removal partRemoval = tree.RemoveFile(part, &failure);
        if (!RolledBack(partRemoval, part, failure, log)) {
            ++failed;
            if (partRemoval == Removal::Refused) continue;  // a link on the way
        }
        const std::string keptName = KeptFileName(KeptKind::Replaced, i);
        if (IsKept(kept, keptName)) {
            if (!PutBack(tree, kept, keptName, OlderSpelling(journal, relative), log)) ++failed;
        } else if (!journal.FileWasThere(i)) {
            const Removal removal = tree.RemoveFile(relative, &failure);
            const bool folderThere = removal == Removal::Refused && GetLastError() == ERROR_DIRECTORY;
            if (!folderThere && !RolledBack(removal, relative, failure, log)) ++failed;
        }
    }
    for (size_t i = newer.Folders().size(); i-- > 0;) {
        if (journal.FolderWasThere(i)) continue;
        // No folder, or a link where it was: not this install's to remove.
        if (tree.RemoveFolder(newer.Folders()[i], &failure) == Removal::Failed) {
            log->AppendFormat("Cannot remove the folder %s: %s", newer.Folders()[i].c_str(), failure.c_str());
            ++failed;
        }
    }
    return failed;
}

// The older install's folders that are missing, then its dropped files back in them.
int RestoreOlderFiles(const InstallJournal& journal, HeldFolders& tree, HANDLE kept, XC_Log* log) {
    const InstallRecord& older = journal.Older();
    int failed = 0;
    std::string failure;
    for (const std::string& relative : older.Folders()) {
        if (tree.Folder(relative, MissingFolder::Create, &failure) == nullptr) {
            log->AppendFormat("Not rolled back: %s (%s)", relative.c_str(), failure.c_str());
            ++failed;
        }
    }
    for (size_t i = 0; i < older.Files().size(); ++i) {
        const std::string keptName = KeptFileName(KeptKind::Dropped, i);
        if (IsKept(kept, keptName) && !PutBack(tree, kept, keptName, older.Files()[i].path, log)) ++failed;
    }
    return failed;
}

// The older record, entry and language beside the uninstaller, or none of them when there was
// no older install.
int RestoreOlderRecord(const std::string& uninstallFolder, const InstallJournal& journal, XC_Log* log) {
    const InstallRecord& older = journal.Older();
    const InstallRecord& newer = journal.Newer();
    int failed = 0;
    const std::string recordFile = JoinPath(uninstallFolder.c_str(), InstallRecord::kFileName);
    if (journal.HasOlder()) {
        if (!older.Save(recordFile)) {
            LogPathError(log, "Cannot write the older install record", recordFile, GetLastError());
            ++failed;
        }
    } else if (!RemoveRecordedFile(recordFile, log)) {
        ++failed;
    }
    const std::string uninstaller = JoinPath(uninstallFolder.c_str(), kUninstallerFileName);
    if (journal.OlderEntryState() == OlderEntry::Present) {
        const std::string& installFolder =
            older.InstallFolder().empty() ? newer.InstallFolder() : older.InstallFolder();
        if (!WriteUninstallEntry(installFolder, uninstaller, older.TotalSize())) {
            LogPathError(log, "Cannot write the older Programs and Features entry", kUninstallKey, GetLastError());
            ++failed;
        }
    } else if (!RemoveUninstallEntry()) {
        log->AppendFormat("Cannot remove the Programs and Features entry");
        ++failed;
    }
    if (newer.Language() != 0 && (!journal.HasOlder() || newer.Language() != older.Language()) &&
        !RemoveRecordedFile(JoinPath(uninstallFolder.c_str(), LanguageFileName(newer.Language()).c_str()), log))
        ++failed;
    // Without an older install the uninstaller is no one's. (A running uninstaller that rolls
    // back cannot remove its own file; it goes with the install it removes.)
    if (!journal.HasOlder()) DeleteFileA(uninstaller.c_str());
    return failed;
}

}  // namespace

bool MakeKeptFolder(const std::string& installFolder, XC_Log* log) {
    const std::string kept = KeptFolder(installFolder);
    if (CreateFolderWithAccess(kept, kKeptFolderAccess)) return true;
    LogPathError(log, "Cannot make the kept folder", kept, GetLastError());
    return false;
}

bool SetAsideDropped(const std::string& installFolder, const InstallRecord& older, const InstallRecord& newer,
                     XC_Log* log) {
    HeldFolders tree;
    std::string failure;
    const HANDLE kept = tree.Open(installFolder, &failure)
                            ? tree.Folder(kKeptFolderName, MissingFolder::Fail, &failure)
                            : nullptr;
    if (kept == nullptr) {
        log->AppendFormat("Not set aside: %s (%s)", installFolder.c_str(), failure.c_str());
        return false;
    }
    bool ok = true;
    for (const size_t i : older.FilesNotIn(newer)) {
        const std::string& relative = older.Files()[i].path;
        const HANDLE folder = tree.Folder(ParentFolder(relative), MissingFolder::Fail, &failure);
        if (folder == nullptr) {
            if (IsMissingPathError(GetLastError())) continue;  // nothing of it to set aside
            log->AppendFormat("Not set aside: %s (%s)", relative.c_str(), failure.c_str());
            ok = false;
        } else if (!SetAsideInto(folder, JoinPath(installFolder.c_str(), relative.c_str()), kept,
                                 KeptFileName(KeptKind::Dropped, i), log)) {
            ok = false;
        }
    }
    for (const std::string& relative : older.FoldersNotIn(newer)) {
        const Removal removal = tree.RemoveFolder(relative, &failure);
        if (removal == Removal::Refused) {
            log->AppendFormat("Not removed: %s (%s)", relative.c_str(), failure.c_str());
        } else if (removal == Removal::Failed) {
            log->AppendFormat("Cannot remove the folder %s: %s", relative.c_str(), failure.c_str());
            ok = false;
        }
    }
    return ok;
}

bool SetAsideReplaced(HANDLE folder, const std::string& path, HANDLE keptFolder, size_t number, XC_Log* log) {
    return SetAsideInto(folder, path, keptFolder, KeptFileName(KeptKind::Replaced, number), log);
}

bool RollBack(const std::string& uninstallFolder, const InstallJournal& journal, XC_Log* log) {
    const InstallRecord& newer = journal.Newer();
    int failed = 0;
    {
        // The install folder may be missing (nothing of it to put back) but never a link.
        HeldFolders tree;
        std::string failure;
        if (tree.Open(newer.InstallFolder(), &failure)) {
            const HANDLE kept = tree.Folder(kKeptFolderName, MissingFolder::Fail, &failure);
            failed += UndoNewerFiles(journal, tree, kept, log);
            if (journal.HasOlder()) failed += RestoreOlderFiles(journal, tree, kept, log);
        } else if (!IsMissingPathError(GetLastError())) {
            log->AppendFormat("Not rolled back: %s (%s)", newer.InstallFolder().c_str(), failure.c_str());
            ++failed;
        }
    }
    const RemovalOutcome shortcuts =
        RemoveShortcuts(Added(newer.Shortcuts(), journal.Older().Shortcuts()),
                        Added(newer.ShortcutFolders(), journal.Older().ShortcutFolders()), log);
    failed += shortcuts.failed + RestoreOlderRecord(uninstallFolder, journal, log);
    const std::string kept = KeptFolder(newer.InstallFolder());
    if (!RemoveDirectoryA(kept.c_str()) && !IsMissingPathError(GetLastError())) {
        LogPathError(log, "Cannot remove the kept folder", kept, GetLastError());
        ++failed;
    }
    log->AppendFormat(failed == 0 ? "Rolled back to %s" : "Rolled back to %s, %d items not put back",
                      journal.HasOlder() ? "the older install" : "no install", failed);
    return failed == 0;
}

bool RemoveKeptFiles(const std::string& installFolder, XC_Log* log) {
    const std::string kept = KeptFolder(installFolder);
    HeldFolders tree;
    std::string failure;
    if (!tree.Open(installFolder, &failure) || tree.Folder(kKeptFolderName, MissingFolder::Fail, &failure) == nullptr) {
        if (IsMissingPathError(GetLastError())) return true;
        log->AppendFormat("Left alone: %s (%s)", kept.c_str(), failure.c_str());
        return false;
    }
    std::vector<FolderEntry> entries;
    bool ok = tree.List(kKeptFolderName, &entries, &failure);
    if (!ok) log->AppendFormat("Cannot list the kept folder %s: %s", kept.c_str(), failure.c_str());
    for (const FolderEntry& entry : entries) {
        const std::string relative = JoinPath(kKeptFolderName, entry.name.c_str());
        // A set-aside folder may hold what a user put in it: only an empty one goes.
        const Removal removal = entry.name.empty() ? Removal::Refused
                                : entry.folder     ? tree.RemoveFolder(relative, &failure)
                                                   : tree.RemoveFile(relative, &failure);
        if (removal != Removal::Removed) {
            log->AppendFormat("Kept, not removed: %s (%s)", JoinPath(kept.c_str(), entry.name.c_str()).c_str(),
                              removal == Removal::NotEmpty ? "not empty"
                              : entry.name.empty()         ? "a name the code page cannot spell"
                                                           : failure.c_str());
            ok = false;
        }
    }
    if (ok && tree.RemoveFolder(kKeptFolderName, &failure) != Removal::Removed) {
        log->AppendFormat("Cannot remove the kept folder %s: %s", kept.c_str(), failure.c_str());
        ok = false;
    }
    return ok;
}

void RecoverInterruptedInstall(const std::string& uninstallFolder, XC_Log* log) {
    if (uninstallFolder.empty()) return;
    const std::string journalFile = JoinPath(uninstallFolder.c_str(), InstallJournal::kFileName);
    if (Exists(journalFile)) {
        InstallJournal journal;
        if (!journal.Load(journalFile)) {
            log->AppendFormat("The install journal %s is damaged: nothing rolled back", journalFile.c_str());
            return;
        }
        log->AppendFormat("An install into %s was cut off: rolling back", journal.Newer().InstallFolder().c_str());
        if (RollBack(uninstallFolder, journal, log) && !DeleteFileA(journalFile.c_str()))
            LogPathError(log, "Cannot remove the install journal", journalFile, GetLastError());
        return;
    }
    InstallRecord record;
    if (record.Load(JoinPath(uninstallFolder.c_str(), InstallRecord::kFileName)) && !record.InstallFolder().empty() &&
        Exists(KeptFolder(record.InstallFolder()))) {
        log->AppendFormat("Removing the files an earlier install kept in %s", record.InstallFolder().c_str());
        RemoveKeptFiles(record.InstallFolder(), log);
    }
}
