// Symbolic links for the tests of link checks. Wine's CreateSymbolicLinkA reports success and
// makes nothing, and its RemoveDirectoryA reports success on a Unix link and leaves it; but a
// Unix symbolic link inside the prefix shows to Windows programs as a reparse point, as a
// junction does on Windows. So the tests make and remove them with the system's ln and rm.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// The Unix path of a Windows path, through Wine's own export; empty off Wine.
inline std::string UnixPath(const std::string& windowsPath) {
    using ToUnix = char*(CDECL*)(LPCWSTR);
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    auto toUnix =
        reinterpret_cast<ToUnix>(reinterpret_cast<void (*)()>(GetProcAddress(kernel, "wine_get_unix_file_name")));
    if (toUnix == nullptr) return std::string();
    std::vector<wchar_t> wide(windowsPath.size() + 1);
    if (MultiByteToWideChar(CP_ACP, 0, windowsPath.c_str(), -1, wide.data(), int(wide.size())) == 0)
        return std::string();
    char* unix = toUnix(wide.data());
    if (unix == nullptr) return std::string();
    std::string result = unix;
    HeapFree(GetProcessHeap(), 0, unix);
    return result;
}

// Runs a Unix program with arguments, then waits at most five seconds until done() holds
// (Wine gives back no handle that waits for a Unix program).
template <typename Done>
bool RunUnix(const char* program, const std::vector<std::string>& arguments, Done done) {
    std::string line = std::string("\"Z:") + program + "\"";
    for (const std::string& argument : arguments) line += " \"" + argument + "\"";
    std::string application = std::string("Z:") + program;
    for (char& c : application) c = c == '/' ? '\\' : c;
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(application.c_str(), &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process))
        return false;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    for (int tries = 0; tries < 100; ++tries) {
        if (done()) return true;
        Sleep(50);
    }
    return false;
}

inline bool IsReparsePoint(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

// A symbolic link to a folder for the life of the object; Made() is false where links cannot be
// made, so a test can skip. The link goes with the object, never what it leads to.
class FolderLink {
public:
    FolderLink(const std::string& target, const std::string& link) : link_(link) {
        const std::string unixTarget = UnixPath(target);
        unixLink_ = UnixPath(link);
        if (unixTarget.empty() || unixLink_.empty()) return;
        made_ = RunUnix("/bin/ln", {"-s", "--", unixTarget, unixLink_}, [this] { return IsReparsePoint(link_); });
    }
    ~FolderLink() {
        if (made_) RunUnix("/bin/rm", {"--", unixLink_}, [this] { return !IsReparsePoint(link_); });
    }
    FolderLink(const FolderLink&) = delete;
    FolderLink& operator=(const FolderLink&) = delete;

    bool Made() const { return made_; }

private:
    std::string link_;
    std::string unixLink_;
    bool made_ = false;
};

// Moves the folder path to aside with the system's mv, which no Windows sharing stops (a
// program outside Windows' own calls could do so); true once it stands there.
inline bool MoveOutsideWindows(const std::string& path, const std::string& aside) {
    const std::string unixPath = UnixPath(path), unixAside = UnixPath(aside);
    if (unixPath.empty() || unixAside.empty()) return false;
    return RunUnix("/bin/mv", {"--", unixPath, unixAside},
                   [&aside] { return GetFileAttributesA(aside.c_str()) != INVALID_FILE_ATTRIBUTES; });
}
