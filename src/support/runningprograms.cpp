// Running programs from the process snapshot, each with its executable's path.
#include "runningprograms.h"

#include <tlhelp32.h>

#include "asciicase.h"
#include "paths.h"
#include "xc_handle.h"

namespace {

using QueryFullProcessImageNameFunction = BOOL(WINAPI*)(HANDLE, DWORD, LPSTR, PDWORD);

// Vista and later: the only one of the system's calls that reads a 64-bit process's path from a
// 32-bit process (the module list and GetModuleFileNameEx stop at the WOW64 boundary). XP lacks
// it; there the module list serves, and every process is 32-bit.
QueryFullProcessImageNameFunction FullImageNameEntry() {
    return LibraryEntry<QueryFullProcessImageNameFunction>(GetModuleHandleA("kernel32.dll"),
                                                           "QueryFullProcessImageNameA");
}

std::string FromFullImageName(DWORD processId) {
    const QueryFullProcessImageNameFunction query = FullImageNameEntry();
    if (query == nullptr) return std::string();
    // The limited right (Vista on) is granted for other users' processes too.
    constexpr DWORD kQueryLimitedInformation = 0x1000;
    XC_KernelHandle process(OpenProcess(kQueryLimitedInformation, FALSE, processId));
    if (!process.IsOpen()) return std::string();
    char path[MAX_PATH * 2];
    DWORD size = sizeof(path);
    if (!query(process.Get(), 0, path, &size)) return std::string();
    return std::string(path, size);
}

std::string FromModuleList(DWORD processId) {
    XC_KernelHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, processId));
    if (!snapshot.IsOpen()) return std::string();
    MODULEENTRY32 module = {};
    module.dwSize = sizeof(module);
    if (!Module32First(snapshot.Get(), &module)) return std::string();
    return module.szExePath;
}

}  // namespace

bool IsPathInFolder(const std::string& path, const std::string& folder) {
    size_t length = folder.size();
    while (length > 0 && folder[length - 1] == '\\') --length;
    if (length == 0 || path.size() <= length + 1 || path[length] != '\\') return false;
    for (size_t i = 0; i < length; ++i)
        if (AsciiUpper(path[i]) != AsciiUpper(folder[i])) return false;
    return true;
}

std::string ProcessImagePath(DWORD processId, ImagePathSource source) {
    return source == ImagePathSource::FullImageName ? FromFullImageName(processId) : FromModuleList(processId);
}

std::vector<RunningProgram> ProgramsRunningFrom(const std::string& folder) {
    std::vector<RunningProgram> found;
    XC_KernelHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot.IsOpen()) return found;
    const ImagePathSource source =
        FullImageNameEntry() != nullptr ? ImagePathSource::FullImageName : ImagePathSource::ModuleList;
    PROCESSENTRY32 entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32First(snapshot.Get(), &entry); more; more = Process32Next(snapshot.Get(), &entry)) {
        if (entry.th32ProcessID == GetCurrentProcessId() || entry.th32ProcessID == 0) continue;
        const std::string path = ProcessImagePath(entry.th32ProcessID, source);
        if (IsPathInFolder(path, folder)) found.push_back({entry.th32ProcessID, path});
    }
    return found;
}
