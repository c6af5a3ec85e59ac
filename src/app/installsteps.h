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

// Whether a written file is opened to every user.
enum class FileGrant { None, Everyone };

// Writes the payload entry key, whose bytes are block (null when the payload lacks it), to
// path, replacing an existing file, and grants as asked. False, logged, when the entry is
// missing or the write fails; a failed grant is logged only.
bool WriteEntryFile(const char* key, const XC_MemSpace* block, const std::string& path,
                    FileGrant grant = FileGrant::None);

// Grants full access to the world group S-1-1-0, whatever its local name; a failure is logged.
void GrantToEveryone(const std::string& path);

// Creates one folder level; an existing folder is fine. False, logged, otherwise.
bool CreateFolder(const std::string& path);
