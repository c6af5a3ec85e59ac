// Shared steps of the install worker and their failure notes in the program log.
#include "installsteps.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <vector>

#include "heldfolders.h"
#include "linkcheck.h"
#include "paths.h"
#include "permissions.h"
#include "safepath.h"
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

// Opens the part file name in folder, always made new, so nothing is written through a link
// put there. Whatever a cut-off run (or another user) left under that name is removed, a link
// as a link, and the file made new again.
HANDLE CreateForWriting(HANDLE folder, const std::string& name, DWORD access) {
    HANDLE file = CreateNewFileIn(folder, name, access);
    std::string failure;
    if (file != INVALID_HANDLE_VALUE || GetLastError() != ERROR_FILE_EXISTS ||
        RemoveFileIn(folder, name, &failure) != Removal::Removed)
        return file;
    return CreateNewFileIn(folder, name, access);
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
bool Abandon(const char* what, const std::string& path, HANDLE folder, const std::string& part, DWORD error) {
    std::string failure;
    RemoveFileIn(folder, part, &failure);
    LogStepFailure(what, path, error);
    return false;
}

}  // namespace

void GrantToEveryone(const std::string& path) {
    CheckStep(GrantSidAccess(path.c_str(), WorldSid(), GENERIC_ALL), "Opening to everyone", path);
}

std::string PartFilePath(const std::string& path) { return path + kPartFileSuffix; }

bool WriteEntryFile(const char* key, const XC_MemSpace* block, HANDLE folder, const std::string& path, FileGrant grant,
                    const PieceWritten& pieceWritten) {
    if (block == nullptr) {
        LogStepFailure("Writing a file", path, std::string("the payload has no entry ") + key);
        return false;
    }
    const std::string name = LastPathPart(path);
    const std::string part = name + kPartFileSuffix;
    // The grant goes through the handle the file is written with: opening the file again for
    // it would cost more than the write itself for the many small files of a tree. It travels
    // with the file when the file is renamed.
    const DWORD grantAccess = grant == FileGrant::Everyone ? READ_CONTROL | WRITE_DAC : 0;
    XC_File file(CreateForWriting(folder, part, GENERIC_WRITE | DELETE | grantAccess));
    if (!file.IsOpen() && grantAccess != 0 && GetLastError() == ERROR_ACCESS_DENIED)
        file.Reset(CreateForWriting(folder, part, GENERIC_WRITE | DELETE));
    if (!file.IsOpen()) return CheckStep(false, "Writing a file", path);
    // Flushed before the rename: after a power cut the name holds its old bytes or all the new
    // ones, never a renamed file whose bytes never reached the disk.
    const char* failed = nullptr;
    if (!WritePieces(file, block->data, block->size, pieceWritten)) {
        failed = "Writing a file";
    } else if (!FlushFileBuffers(file.Get())) {
        failed = "Writing a file";
    } else {
        if (grant == FileGrant::Everyone)
            CheckStep(GrantHandleAccess(file.Get(), WorldSid(), GENERIC_ALL), "Opening to everyone", path);
        // One rename, on the handle the file was written through and into the folder's handle:
        // a process cut off before it leaves the old file, after it the new one. Most targets
        // are new; only one already there is looked at, and a link there is refused rather than
        // replaced.
        if (!RenameOpenFile(file.Get(), folder, name, ExistingTarget::Keep)) {
            if (GetLastError() != ERROR_ALREADY_EXISTS) {
                failed = "Replacing a file";
            } else if (InspectIn(folder, name) != PathKind::Plain) {
                file.Reset(nullptr);
                std::string failure;
                RemoveFileIn(folder, part, &failure);
                LogStepFailure("Writing a file", path, "is a link");
                return false;
            } else if (!RenameOpenFile(file.Get(), folder, name, ExistingTarget::Replace)) {
                failed = "Replacing a file";
            }
        }
    }
    if (failed == nullptr) return true;
    const DWORD error = GetLastError();  // before the close and the removal change it
    file.Reset(nullptr);
    return Abandon(failed, path, folder, part, error);
}

bool WriteEntryFile(const char* key, const XC_MemSpace* block, const std::string& path, FileGrant grant,
                    const PieceWritten& pieceWritten) {
    HeldFolders folder;
    std::string failure;
    if (!folder.Open(ParentFolder(path), &failure)) {
        LogStepFailure("Writing a file", path, failure);
        return false;
    }
    return WriteEntryFile(key, block, folder.Folder("", MissingFolder::Fail, &failure), path, grant, pieceWritten);
}

bool CreateFolder(const std::string& path) {
    if (CreateDirectoryA(path.c_str(), nullptr)) return true;
    const DWORD error = GetLastError();
    if (error == ERROR_ALREADY_EXISTS) {
        // Another user may have put a link where the folder was: nothing goes through it.
        const PathKind kind = InspectPath(path);
        if (kind == PathKind::Link) {
            LogStepFailure("Creating a folder", path, "is a link");
            return false;
        }
        const DWORD attributes = GetFileAttributesA(path.c_str());
        if (kind == PathKind::Plain && attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
            return true;
    }
    LogStepFailure("Creating a folder", path, error);
    return false;
}
