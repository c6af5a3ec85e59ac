// Symbolic links for the tests of link checks. Wine's CreateSymbolicLinkA reports success and
// makes nothing, but a Unix symbolic link inside the prefix shows to Windows programs as a
// reparse point, as a junction does on Windows: the test makes one with the system's ln.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// The Unix path of a Windows path, through Wine's own export; empty off Wine.
inline std::string UnixPath(const std::string& windowsPath) {
    using ToUnix = char*(CDECL*)(LPCWSTR);
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    auto toUnix = reinterpret_cast<ToUnix>(reinterpret_cast<void (*)()>(GetProcAddress(kernel, "wine_get_unix_file_name")));
    if (toUnix == nullptr) return std::string();
    std::vector<wchar_t> wide(windowsPath.size() + 1);
    if (MultiByteToWideChar(CP_ACP, 0, windowsPath.c_str(), -1, wide.data(), int(wide.size())) == 0) return std::string();
    char* unix = toUnix(wide.data());
    if (unix == nullptr) return std::string();
    std::string result = unix;
    HeapFree(GetProcessHeap(), 0, unix);
    return result;
}

// Makes link (which must not exist) a symbolic link to the folder target. True only when the
// link now shows as a reparse point, so a test can skip where links cannot be made.
inline bool MakeFolderLink(const std::string& target, const std::string& link) {
    const std::string unixTarget = UnixPath(target);
    const std::string unixLink = UnixPath(link);
    if (unixTarget.empty() || unixLink.empty()) return false;
    std::string line = "\"Z:\\bin\\ln\" -s \"" + unixTarget + "\" \"" + unixLink + "\"";
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA("Z:\\bin\\ln", &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return false;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    // Wine hands back no handle that waits for a Unix program: look for the link instead.
    for (int tries = 0; tries < 100; ++tries) {
        const DWORD attributes = GetFileAttributesA(link.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) return true;
        Sleep(50);
    }
    return false;
}
