// Shared steps of the install worker and their failure notes in the program log.
#include "installsteps.h"

#include <algorithm>

#include "permissions.h"
#include "systemerror.h"
#include "xc_handle.h"
#include "xc_log.h"
#include "xc_memspace.h"

void LogStepFailure(const char* what, const std::string& target, const std::string& reason) {
    const std::string entry = std::string(what) + " failed: " + target + " (" + reason + ")";
    ProgramLog.Append(entry.data(), int(entry.size()));
}

void LogStepFailure(const char* what, const std::string& target, DWORD error) {
    std::string reason = "error " + std::to_string(error);
    const std::string message = SystemErrorText(error);
    if (!message.empty()) reason += ": " + message;
    LogStepFailure(what, target, reason);
}

bool CheckStep(bool ok, const char* what, const std::string& target) {
    if (!ok) LogStepFailure(what, target, GetLastError());
    return ok;
}

namespace {

PSID WorldSid() {
    static XC_WorldSid world;
    return world.Get();
}

const char kPartSuffix[] = ".tarvik-part";

// Opens the part file a new file is written to, emptying any that a cut-off run left.
HANDLE CreateForWriting(const std::string& part, DWORD access) {
    return CreateFileA(part.c_str(), access, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
}

// Writes size bytes in pieces of at most kWritePiece; false, with the system's last error,
// when a piece fails.
bool WritePieces(XC_File& file, const BYTE* bytes, DWORD size, const PieceWritten& pieceWritten) {
    for (DWORD done = 0; done < size;) {
        const DWORD piece = std::min(kWritePiece, size - done);
        if (!file.Write(bytes + done, piece)) return false;
        done += piece;
        if (pieceWritten) pieceWritten(piece);
    }
    return true;
}

// Removes the part file and logs the failed step with error; false.
bool Abandon(const char* what, const std::string& path, const std::string& part, DWORD error) {
    DeleteFileA(part.c_str());
    LogStepFailure(what, path, error);
    return false;
}

}  // namespace

void GrantToEveryone(const std::string& path) {
    CheckStep(GrantSidAccess(path.c_str(), WorldSid(), GENERIC_ALL), "Opening to everyone", path);
}

std::string PartFilePath(const std::string& path) { return path + kPartSuffix; }

bool WriteEntryFile(const char* key, const XC_MemSpace* block, const std::string& path, FileGrant grant,
                    const PieceWritten& pieceWritten) {
    if (block == nullptr) {
        LogStepFailure("Writing a file", path, std::string("the payload has no entry ") + key);
        return false;
    }
    const std::string part = PartFilePath(path);
    {
        // The grant goes through the handle the file is written with: opening the file again
        // for it would cost more than the write itself for the many small files of a tree.
        // It travels with the file when the file is renamed.
        const DWORD grantAccess = grant == FileGrant::Everyone ? READ_CONTROL | WRITE_DAC : 0;
        XC_File file(CreateForWriting(part, GENERIC_WRITE | grantAccess));
        if (!file.IsOpen() && grantAccess != 0 && GetLastError() == ERROR_ACCESS_DENIED)
            file.Reset(CreateForWriting(part, GENERIC_WRITE));
        if (!file.IsOpen()) return CheckStep(false, "Writing a file", path);
        // No flush per file: the system writes its cache out on its own, and a flush of each
        // of thousands of files would make the copy several times slower.
        if (!WritePieces(file, block->data, block->size, pieceWritten)) {
            const DWORD error = GetLastError();  // before the close and the removal change it
            file.Reset(nullptr);
            return Abandon("Writing a file", path, part, error);
        }
        if (grant == FileGrant::Everyone)
            CheckStep(GrantHandleAccess(file.Get(), WorldSid(), GENERIC_ALL), "Opening to everyone", path);
    }
    // One rename: a process cut off before it leaves the old file, after it the new one.
    if (!MoveFileExA(part.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING))
        return Abandon("Replacing a file", path, part, GetLastError());
    return true;
}

bool CreateFolder(const std::string& path) {
    if (CreateDirectoryA(path.c_str(), nullptr)) return true;
    const DWORD error = GetLastError();
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (error == ERROR_ALREADY_EXISTS && attributes != INVALID_FILE_ATTRIBUTES &&
        (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return true;
    LogStepFailure("Creating a folder", path, error);
    return false;
}
