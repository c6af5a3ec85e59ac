// Stands in for a program that must or must not be started: it leaves "<its own path>.ran",
// with a line for each start that says how its window was to show ("show=N", the SW_ value
// its starter asked for, or "show=default").
#include <windows.h>

#include <string>

int main() {
    char path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return 1;
    HANDLE marker = CreateFileA((std::string(path) + ".ran").c_str(), FILE_APPEND_DATA, 0, nullptr, OPEN_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (marker == INVALID_HANDLE_VALUE) return 1;
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    GetStartupInfoA(&startup);
    const std::string line = (startup.dwFlags & STARTF_USESHOWWINDOW) != 0
                                 ? "show=" + std::to_string(startup.wShowWindow) + "\r\n"
                                 : std::string("show=default\r\n");
    DWORD written = 0;
    const bool ok = WriteFile(marker, line.data(), DWORD(line.size()), &written, nullptr) && written == line.size();
    CloseHandle(marker);
    return ok ? 0 : 1;
}
