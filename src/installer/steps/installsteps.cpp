// Shared steps of the install worker and their failure notes in the program log.
#include "installsteps.h"

#include <winternl.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <vector>

#include "paths.h"
#include "linkcheck.h"
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

// Opens the part file a new file is written to, always made new: an open that could reuse an
// existing name would write through a link put there. Whatever a cut-off run (or another user)
// left under that name is removed, a link as a link, and the file made new again.
HANDLE CreateForWriting(const std::string& part, DWORD access) {
    HANDLE file = CreateFileA(part.c_str(), access, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE || GetLastError() != ERROR_FILE_EXISTS || !DeleteFileA(part.c_str())) return file;
    return CreateFileA(part.c_str(), access, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
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

// The NT form of an absolute path ("\\??\\C:\\..." or "\\??\\UNC\\server\\..."), without a
// terminating zero; empty for any other. A vector, not a wide string: the runtime's wide string
// would bring its exception machinery into the installer.
std::vector<WCHAR> NtPath(const std::string& path) {
    std::string nt;
    if (path.size() >= 3 && path[1] == ':' && path[2] == '\\')
        nt = "\\??\\" + path;
    else if (path.compare(0, 2, "\\\\") == 0 && path.compare(0, 4, "\\\\?\\") != 0 &&
             path.compare(0, 4, "\\\\.\\") != 0)
        nt = "\\??\\UNC\\" + path.substr(2);
    else
        return std::vector<WCHAR>();
    const int length = MultiByteToWideChar(CP_ACP, 0, nt.data(), int(nt.size()), nullptr, 0);
    if (length <= 0) return std::vector<WCHAR>();
    std::vector<WCHAR> wide(static_cast<size_t>(length));
    MultiByteToWideChar(CP_ACP, 0, nt.data(), int(nt.size()), wide.data(), length);
    return wide;
}

struct RenameInformation {
    BOOLEAN ReplaceIfExists;
    HANDLE RootDirectory;
    ULONG FileNameLength;
    WCHAR FileName[1];
};
constexpr int kFileRenameInformation = 10;
using NtSetInformationFileFn = LONG(NTAPI*)(HANDLE, IO_STATUS_BLOCK*, void*, ULONG, int);
using RtlNtStatusToDosErrorFn = ULONG(NTAPI*)(LONG);

enum class ExistingTarget { Keep, Replace };

// Renames the file open as file (with DELETE access) to path; with ExistingTarget::Keep, fails
// with ERROR_ALREADY_EXISTS when something is there. On the handle the file was written
// through: MoveFileEx would open it again by its name, which costs as much again as the rename
// itself for the many small files of a tree. False with the system's last error.
bool RenameOpenFile(HANDLE file, const std::string& path, ExistingTarget existing) {
    const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    const auto setInformation =
        ntdll != nullptr ? LibraryEntry<NtSetInformationFileFn>(ntdll, "NtSetInformationFile") : nullptr;
    const auto toError =
        ntdll != nullptr ? LibraryEntry<RtlNtStatusToDosErrorFn>(ntdll, "RtlNtStatusToDosError") : nullptr;
    if (setInformation == nullptr || toError == nullptr) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return false;
    }
    const std::vector<WCHAR> name = NtPath(path);
    if (name.empty()) {
        SetLastError(ERROR_INVALID_NAME);
        return false;
    }
    const ULONG nameBytes = ULONG(name.size() * sizeof(WCHAR));
    std::vector<BYTE> buffer(
        std::max<size_t>(sizeof(RenameInformation), offsetof(RenameInformation, FileName) + nameBytes));
    auto* information = reinterpret_cast<RenameInformation*>(buffer.data());
    information->ReplaceIfExists = existing == ExistingTarget::Replace;
    information->RootDirectory = nullptr;
    information->FileNameLength = nameBytes;
    memcpy(information->FileName, name.data(), nameBytes);
    IO_STATUS_BLOCK status = {};
    const LONG result = setInformation(file, &status, information, ULONG(buffer.size()), kFileRenameInformation);
    if (result >= 0) return true;
    SetLastError(toError(result));
    return false;
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

std::string PartFilePath(const std::string& path) { return path + kPartFileSuffix; }

bool WriteEntryFile(const char* key, const XC_MemSpace* block, const std::string& path, FileGrant grant,
                    const PieceWritten& pieceWritten) {
    if (block == nullptr) {
        LogStepFailure("Writing a file", path, std::string("the payload has no entry ") + key);
        return false;
    }
    const std::string part = PartFilePath(path);
    // The grant goes through the handle the file is written with: opening the file again for
    // it would cost more than the write itself for the many small files of a tree. It travels
    // with the file when the file is renamed.
    const DWORD grantAccess = grant == FileGrant::Everyone ? READ_CONTROL | WRITE_DAC : 0;
    XC_File file(CreateForWriting(part, GENERIC_WRITE | DELETE | grantAccess));
    if (!file.IsOpen() && grantAccess != 0 && GetLastError() == ERROR_ACCESS_DENIED)
        file.Reset(CreateForWriting(part, GENERIC_WRITE | DELETE));
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
        // One rename: a process cut off before it leaves the old file, after it the new one.
        // Most targets are new; only one already there is looked at, and a link there is
        // refused rather than replaced.
        if (!RenameOpenFile(file.Get(), path, ExistingTarget::Keep)) {
            if (GetLastError() != ERROR_ALREADY_EXISTS) {
                failed = "Replacing a file";
            } else if (InspectPath(path) == PathKind::Link) {
                file.Reset(nullptr);
                DeleteFileA(part.c_str());
                LogStepFailure("Writing a file", path, "is a link");
                return false;
            } else if (!RenameOpenFile(file.Get(), path, ExistingTarget::Replace)) {
                failed = "Replacing a file";
            }
        }
    }
    if (failed == nullptr) return true;
    const DWORD error = GetLastError();  // before the close and the removal change it
    file.Reset(nullptr);
    return Abandon(failed, path, part, error);
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
