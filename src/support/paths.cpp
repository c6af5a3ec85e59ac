// Path and process helpers shared by every module that names a file.
#include "paths.h"

#include <cstring>
#include <vector>

#include "xc_handle.h"

namespace {

// Text of a fixed-size buffer filled by an API that returned length; a length that does not
// fit (the API asking for a larger buffer) or 0 gives the empty text.
std::string FromBuffer(const char* buffer, DWORD length, DWORD capacity) {
    if (length == 0 || length >= capacity) return std::string();
    return std::string(buffer, length);
}

}  // namespace

std::string JoinPath(const char* first, const char* second, const char* third, const char* fourth) {
    std::string path = first != nullptr ? first : "";
    for (const char* part : {second, third, fourth}) {
        if (part == nullptr) continue;
        if (!path.empty()) path += '\\';
        path += part;
    }
    size_t i = 2;
    while (i + 1 < path.size()) {
        if (path[i] == '\\' && path[i + 1] == '\\')
            path.erase(i, 1);
        else
            ++i;
    }
    return path;
}

std::string ModulePath(const char* name, HMODULE module) {
    const DWORD capacity = 1024;
    char buffer[capacity];
    const DWORD length = GetModuleFileNameA(module, buffer, capacity);
    std::string path = FromBuffer(buffer, length, capacity);
    if (path.empty()) return path;
    if (name == nullptr) return JoinPath(path.c_str());
    const size_t slash = path.rfind('\\');
    path.erase(slash == std::string::npos ? 0 : slash + 1);
    return JoinPath(path.c_str(), name);
}

std::string ParentFolder(const std::string& path) {
    const size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

std::string LastPathPart(const std::string& path) {
    const size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string SystemDirPath(const char* name) {
    char buffer[MAX_PATH];
    const std::string folder = FromBuffer(buffer, GetSystemDirectoryA(buffer, MAX_PATH), MAX_PATH);
    return JoinPath(folder.c_str(), name);
}

std::string WindowsDirPath(const char* name) {
    char buffer[MAX_PATH];
    const std::string folder = FromBuffer(buffer, GetWindowsDirectoryA(buffer, MAX_PATH), MAX_PATH);
    return JoinPath(folder.c_str(), name);
}

HMODULE LoadSystemLibrary(const char* name) {
    // Without the folder the name alone would be searched for, beside the executable first.
    const std::string folder = SystemDirPath();
    if (name == nullptr || folder.empty()) return nullptr;
    return LoadLibraryExA(JoinPath(folder.c_str(), name).c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

void RestrictDllSearch() {
    typedef BOOL(WINAPI * SetDefaultDllDirectoriesFn)(DWORD);
    typedef BOOL(WINAPI * SetDllDirectoryFn)(LPCSTR);
    const HMODULE kernel = GetModuleHandleA("kernel32.dll");
    if (kernel == nullptr) return;
    const auto setDefault = LibraryEntry<SetDefaultDllDirectoriesFn>(kernel, "SetDefaultDllDirectories");
    if (setDefault != nullptr && setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32)) return;
    const auto setDirectory = LibraryEntry<SetDllDirectoryFn>(kernel, "SetDllDirectoryA");
    if (setDirectory != nullptr) setDirectory("");
}

std::string TempDirPath(const char* name) {
    char shortForm[MAX_PATH];
    const std::string temp = FromBuffer(shortForm, GetTempPathA(MAX_PATH, shortForm), MAX_PATH);
    const DWORD capacity = 1024;
    char longForm[capacity];
    std::string folder;
    if (!temp.empty()) folder = FromBuffer(longForm, GetLongPathNameA(temp.c_str(), longForm, capacity), capacity);
    // A folder that cannot be converted (not created yet, say) is still the right place;
    // an empty folder part would turn the result into a path relative to the current folder.
    if (folder.empty()) folder = temp;
    return JoinPath(folder.c_str(), name);
}

std::string ReadIniString(const char* file, const char* section, const char* key, const char* defaultValue) {
    const DWORD capacity = 4096;
    std::vector<char> buffer(capacity, '\0');
    const DWORD length = GetPrivateProfileStringA(section, key, "", buffer.data(), capacity, file);
    if (length != 0) return std::string(buffer.data(), length < capacity ? length : capacity - 1);
    const char* value = defaultValue != nullptr ? defaultValue : "";
    WritePrivateProfileStringA(section, key, value, file);
    return value;
}

bool RunProcess(const char* commandLine, bool show, DWORD* exitCode, DWORD waitMs) {
    if (commandLine == nullptr) return false;
    // CreateProcessA may write into the command line, so it gets its own copy.
    std::vector<char> line(commandLine, commandLine + strlen(commandLine) + 1);
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = show ? SW_SHOWNORMAL : SW_HIDE;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, CREATE_NEW_CONSOLE | NORMAL_PRIORITY_CLASS,
                        nullptr, nullptr, &startup, &process))
        return false;
    XC_KernelHandle processHandle(process.hProcess);
    XC_KernelHandle threadHandle(process.hThread);
    if (exitCode != nullptr) {
        *exitCode = 0;
        WaitForSingleObject(process.hProcess, waitMs);
        GetExitCodeProcess(process.hProcess, exitCode);
    }
    return true;
}
