// upd64.exe: installs a driver package for the present devices with one hardware id, for the
// 32-bit installer on 64-bit Windows, where only a 64-bit process may do so.
//   upd64.exe "hardware id" "full path of the INF file"
// Exit codes: 0 installed, 1 bad arguments, 2 the update entry of NewDev.dll could not be
// loaded, 3 the update failed (the system error on standard error), 3010 installed but a
// restart is required.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "newdev.h"
#include "paths.h"
#include "systemerror.h"

namespace {

enum ExitCode : int {
    kInstalled = 0,
    kBadArguments = 1,
    kNoUpdateEntry = 2,
    kUpdateFailed = 3,
    kRestartRequired = ERROR_SUCCESS_REBOOT_REQUIRED,
};

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// Takes the last argument of line[0, end) when it stands in double quotes: its text goes to
// value and end moves to the blank before it. The installer leaves its own path unquoted, so
// the path may hold blanks; the arguments are therefore read from the end of the line.
bool TakeQuotedFromEnd(const char* line, size_t* end, std::string* value) {
    size_t last = *end;
    while (last > 0 && IsBlank(line[last - 1])) --last;
    if (last == 0 || line[last - 1] != '"') return false;
    size_t open = last - 1;
    while (open > 0 && line[open - 1] != '"') --open;
    if (open == 0) return false;
    --open;
    if (open == 0 || !IsBlank(line[open - 1])) return false;
    *value = std::string(line + open + 1, last - 1 - (open + 1));
    *end = open;
    return !value->empty();
}

// Splits "program" "hardware id" "inf path"; the program path may be quoted or not.
bool ParseCommandLine(const char* line, std::string* hardwareId, std::string* infPath) {
    size_t end = strlen(line);
    if (!TakeQuotedFromEnd(line, &end, infPath)) return false;
    if (!TakeQuotedFromEnd(line, &end, hardwareId)) return false;
    while (end > 0 && IsBlank(line[end - 1])) --end;
    return end > 0;
}

}  // namespace

int main() {
    RestrictDllSearch();
    std::string hardwareId, infPath;
    if (!ParseCommandLine(GetCommandLineA(), &hardwareId, &infPath)) {
        fprintf(stderr, "usage: upd64.exe \"hardware id\" \"full path of the INF file\"\n");
        return kBadArguments;
    }
    const UpdateDriverForPlugAndPlayDevicesProc update = LoadUpdateDriverEntry();
    if (update == nullptr) {
        fprintf(stderr, "upd64: %s of NewDev.dll is not available\n", kUpdateDriverEntryName);
        return kNoUpdateEntry;
    }
    BOOL reboot = FALSE;
    if (!update(nullptr, hardwareId.c_str(), infPath.c_str(), 0, &reboot)) {
        const DWORD error = GetLastError();
        fprintf(stderr, "upd64: driver update for %s from %s failed: error %lu: %s\n", hardwareId.c_str(),
                infPath.c_str(), error, SystemErrorText(error).c_str());
        return kUpdateFailed;
    }
    return reboot ? kRestartRequired : kInstalled;
}
