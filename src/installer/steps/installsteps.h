// Shared steps of the install worker and their failure notes. The worker goes on after a
// failed step, so the program log is where a user or a support engineer learns what failed,
// on which file, and why.
#pragma once

#include <windows.h>

#include <functional>
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

// Called after each piece of a file is written, with the piece's size in bytes.
using PieceWritten = std::function<void(DWORD bytes)>;

// Largest piece written at once: the progress moves at least this often.
constexpr DWORD kWritePiece = 64 * 1024;

// The name a file is written under in its own folder before it replaces path. Always the same
// for one path, so a rerun after a cut-off install writes over what was left.
std::string PartFilePath(const std::string& path);

// Writes the payload entry key, whose bytes are block (null when the payload lacks it), to
// path, and grants as asked. The bytes go to PartFilePath(path) in pieces of at most
// kWritePiece and flushed to the disk, and that file then replaces path in one step, so path
// holds either its old bytes or all the new ones, never a part. Nothing is written through a
// link: path's folder is opened not following one and everything happens under its handle, a
// link at path is refused, and the part file is always made new. False, logged with the system
// error, when path is a link, the entry is missing, the write fails (a full disk) or the
// replacement fails (a file held open); the part file is then removed. A failed grant is
// logged only.
bool WriteEntryFile(const char* key, const XC_MemSpace* block, const std::string& path,
                    FileGrant grant = FileGrant::None, const PieceWritten& pieceWritten = PieceWritten());
// The same into folder, the handle of path's folder held by the caller (HeldFolders).
bool WriteEntryFile(const char* key, const XC_MemSpace* block, HANDLE folder, const std::string& path,
                    FileGrant grant, const PieceWritten& pieceWritten);

// Grants full access to the world group S-1-1-0, whatever its local name; a failure is logged.
void GrantToEveryone(const std::string& path);

// Creates one folder level; an existing folder is fine, unless it is a link (a junction or
// symbolic link that another user put there). False, logged, otherwise.
bool CreateFolder(const std::string& path);
