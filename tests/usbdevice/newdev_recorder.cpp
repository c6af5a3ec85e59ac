// Stand-in for NewDev.dll in tests of the failure paths that Wine's own entry never takes
// (it answers TRUE whatever happened). Each call of UpdateDriverForPlugAndPlayDevicesA appends
// one line "parent|hardware id|inf path|flags|reboot variable given" to the file named by
// TARVIK_NEWDEV_LOG, then answers as TARVIK_NEWDEV_ANSWER says:
//   "fail <error>"  FALSE with that last error
//   "reboot"        TRUE, restart required
//   anything else   TRUE, no restart
// Every load of the library, under whatever name it was planted ("newdev.dll", "shell32.dll"),
// appends "loaded <its path>" to the file named by TARVIK_LOAD_LOG.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

bool ReadVariable(const char* name, char* value, DWORD size) {
    const DWORD length = GetEnvironmentVariableA(name, value, size);
    return length > 0 && length < size;
}

void Record(HWND parent, LPCSTR hardwareId, LPCSTR infPath, DWORD flags, PBOOL reboot) {
    char path[MAX_PATH];
    if (!ReadVariable("TARVIK_NEWDEV_LOG", path, sizeof(path))) return;
    FILE* log = fopen(path, "ab");
    if (log == nullptr) return;
    fprintf(log, "%s|%s|%s|%lu|%s\n", parent != nullptr ? "window" : "none",
            hardwareId != nullptr ? hardwareId : "(null)", infPath != nullptr ? infPath : "(null)",
            static_cast<unsigned long>(flags), reboot != nullptr ? "reboot" : "none");
    fclose(log);
}

void RecordLoad(HINSTANCE self) {
    char log[MAX_PATH];
    char path[MAX_PATH];
    if (!ReadVariable("TARVIK_LOAD_LOG", log, sizeof(log))) return;
    const DWORD length = GetModuleFileNameA(self, path, sizeof(path));
    if (length == 0 || length >= sizeof(path)) return;
    // The file API only: the C library may not be ready while the loader runs this.
    HANDLE file = CreateFileA(log, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(file, "loaded ", 7, &written, nullptr);
    WriteFile(file, path, length, &written, nullptr);
    WriteFile(file, "\n", 1, &written, nullptr);
    CloseHandle(file);
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) RecordLoad(self);
    return TRUE;
}

extern "C" __declspec(dllexport) BOOL WINAPI
    UpdateDriverForPlugAndPlayDevicesA(HWND parent, LPCSTR hardwareId, LPCSTR infPath, DWORD flags, PBOOL reboot) {
    Record(parent, hardwareId, infPath, flags, reboot);
    char answer[64] = "";
    ReadVariable("TARVIK_NEWDEV_ANSWER", answer, sizeof(answer));
    if (strncmp(answer, "fail ", 5) == 0) {
        SetLastError(strtoul(answer + 5, nullptr, 10));
        return FALSE;
    }
    if (reboot != nullptr) *reboot = strcmp(answer, "reboot") == 0;
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}
