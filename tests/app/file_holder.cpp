// Holds a file open without sharing, as a running program holds its own executable:
//   file_holder.exe PATH SECONDS
// leaves "PATH.held" once the file is held, and lets it go after SECONDS. Exit code 0, or 1
// when the file could not be opened.
#include <windows.h>

#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
    if (argc != 3) return 1;
    HANDLE file = CreateFileA(argv[1], GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 1;
    HANDLE marker = CreateFileA((std::string(argv[1]) + ".held").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (marker != INVALID_HANDLE_VALUE) CloseHandle(marker);
    Sleep(DWORD(atoi(argv[2])) * 1000);
    CloseHandle(file);
    return 0;
}
