// Stands in for a program that must or must not be started: it leaves "<its own path>.ran".
#include <windows.h>

#include <string>

int main() {
    char path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return 1;
    HANDLE marker = CreateFileA((std::string(path) + ".ran").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (marker == INVALID_HANDLE_VALUE) return 1;
    CloseHandle(marker);
    return 0;
}
