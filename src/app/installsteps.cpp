// Shared steps of the install worker and their failure notes in the program log.
#include "installsteps.h"

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

HANDLE CreateForWriting(const std::string& path, DWORD access) {
    return CreateFileA(path.c_str(), access, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
}

}  // namespace

void GrantToEveryone(const std::string& path) {
    CheckStep(GrantSidAccess(path.c_str(), WorldSid(), GENERIC_ALL), "Opening to everyone", path);
}

bool WriteEntryFile(const char* key, const XC_MemSpace* block, const std::string& path, FileGrant grant) {
    if (block == nullptr) {
        LogStepFailure("Writing a file", path, std::string("the payload has no entry ") + key);
        return false;
    }
    // The grant goes through the handle the file is written with: opening the file again
    // for it would cost more than the write itself for the many small files of a tree.
    const DWORD grantAccess = grant == FileGrant::Everyone ? READ_CONTROL | WRITE_DAC : 0;
    XC_File file(CreateForWriting(path, GENERIC_WRITE | grantAccess));
    if (!file.IsOpen() && grantAccess != 0 && GetLastError() == ERROR_ACCESS_DENIED)
        file.Reset(CreateForWriting(path, GENERIC_WRITE));
    // No flush per file: the system writes its cache out on its own, and a flush of each of
    // thousands of files would make the copy several times slower.
    if (!CheckStep(file.IsOpen() && (block->size == 0 || file.Write(block->data, block->size)), "Writing a file", path))
        return false;
    if (grant == FileGrant::Everyone)
        CheckStep(GrantHandleAccess(file.Get(), WorldSid(), GENERIC_ALL), "Opening to everyone", path);
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
