// Removing what an install record lists, for the uninstaller and for an install over an older
// one. Only recorded items go: a file the user or the application made stays, and so does its
// folder. A recorded path that is now a link (a junction, a symbolic link) is never followed:
// it is left alone and logged, so nothing outside the install is removed through it.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "installrecord.h"

class XC_Log;

// The question, with Retry and Cancel, while a program runs from the install folder (an English
// text, the language files' key).
constexpr const char* kRunningQuestion = "Mini Tarvik is running. Close it, then press Retry.";

// Before the first file of an install or an uninstall is touched: while programs run from
// folder, each is logged and retry is asked (the Retry/Cancel question with kRunningQuestion;
// a silent run answers false at once). True once none runs; false when retry said no. No
// process is ended.
bool NoProgramRunsFrom(const std::string& folder, const std::function<bool()>& retry, XC_Log* log);

// Counts of one removal; every failure is logged with the system's error.
struct RemovalOutcome {
    int removed = 0;
    int failed = 0;  // recorded items still there: held open, refused, or behind a link
};

// The recorded files, given relative to folder, then the recorded folders (deepest first) once
// empty. A missing file counts as removed; a folder left because it is not empty is no failure.
RemovalOutcome RemoveFilesAndFolders(const std::string& folder, const std::vector<std::string>& files,
                                     const std::vector<std::string>& folders, XC_Log* log);

// Logs "<what> <path>: <error> <the system's message>".
void LogPathError(XC_Log* log, const char* what, const std::string& path, DWORD error);

// One recorded file at path, known to lie on a way without links; a read-only one too. True
// when it is gone (or was never there); false, logged, otherwise.
bool RemoveRecordedFile(const std::string& path, XC_Log* log);

// A folder that is empty; one that still holds something stays, silently. False, logged, only
// when removing an empty folder failed.
bool RemoveFolderIfEmpty(const std::string& path, XC_Log* log);

// Shortcuts (full paths), then their folders (deepest last in the list) once empty. Each, and
// the folder it lies in, must be plain: a link is left alone and counts as a failure.
RemovalOutcome RemoveShortcuts(const std::vector<std::string>& shortcuts, const std::vector<std::string>& folders,
                               XC_Log* log);

// The whole install that record (read from uninstallFolder) lists: its files and folders, then
// its install folder once empty, the shortcuts and their folders once empty. The record file,
// the language file beside it and the Programs and Features entry go only when nothing failed,
// so a failed removal can be run again. The uninstaller itself and uninstallFolder are left to
// the uninstaller, which cannot remove its own running file. A record without an install
// folder removes nothing.
RemovalOutcome RemoveInstall(const std::string& uninstallFolder, const InstallRecord& record, XC_Log* log);
