// Shared steps of the install worker and their failure notes. The worker goes on after a
// failed step, so the program log is where a user or a support engineer learns what failed,
// on which file, and why.
#pragma once

#include <windows.h>

#include <string>

class XC_MemSpace;

// Logs "<what> failed: <target> (<reason>)" to ProgramLog.
void LogStepFailure(const char* what, const std::string& target, const std::string& reason);
// The same with a system error code and its message as the reason.
void LogStepFailure(const char* what, const std::string& target, DWORD error);

// Returns ok; when it is false, logs the step with the calling thread's last error.
bool CheckStep(bool ok, const char* what, const std::string& target);

// Writes the payload entry key, whose bytes are block (null when the payload lacks it), to
// path, replacing an existing file. False, logged, when the entry is missing or the write fails.
bool WriteEntryFile(const char* key, const XC_MemSpace* block, const std::string& path);

// Creates one folder level; an existing folder is fine. False, logged, otherwise.
bool CreateFolder(const std::string& path);
