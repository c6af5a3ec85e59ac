// Shared steps of the install worker and their failure notes in the program log.
#include "installsteps.h"

#include "wholefile.h"
#include "xc_log.h"
#include "xc_memspace.h"

namespace {

// The system's text for error, without its line end; empty when there is none.
std::string SystemMessage(DWORD error) {
    char text[512];
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0, text,
                                  sizeof(text), nullptr);
    while (length > 0 && (text[length - 1] == '\n' || text[length - 1] == '\r' || text[length - 1] == ' ')) --length;
    return std::string(text, length);
}

}  // namespace

void LogStepFailure(const char* what, const std::string& target, const std::string& reason) {
    const std::string entry = std::string(what) + " failed: " + target + " (" + reason + ")";
    ProgramLog.Append(entry.data(), int(entry.size()));
}

void LogStepFailure(const char* what, const std::string& target, DWORD error) {
    std::string reason = "error " + std::to_string(error);
    const std::string message = SystemMessage(error);
    if (!message.empty()) reason += ": " + message;
    LogStepFailure(what, target, reason);
}

bool CheckStep(bool ok, const char* what, const std::string& target) {
    if (!ok) LogStepFailure(what, target, GetLastError());
    return ok;
}

bool WriteEntryFile(const char* key, const XC_MemSpace* block, const std::string& path) {
    if (block == nullptr) {
        LogStepFailure("Writing a file", path, std::string("the payload has no entry ") + key);
        return false;
    }
    return CheckStep(WriteWholeFile(path.c_str(), block, 0), "Writing a file", path);
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
