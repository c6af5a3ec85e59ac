// upd64.exe: the driver jobs of the 32-bit installer on 64-bit Windows, where only a 64-bit
// process may do them. Two forms:
//   upd64.exe "hardware id" "full path of the INF file"
//     installs the package for the present devices with that hardware id. Exit codes: 0
//     installed, 1 bad arguments, 2 the update entry of NewDev.dll could not be loaded, 3 the
//     update failed (the system error on standard error), 3010 installed but a restart is
//     required.
//   upd64.exe /stage "full path of the INF file"
//     stages the package in the driver store (SetupCopyOEMInfA), so that Windows installs it
//     by itself when such a device arrives; the store's copy is named on standard output.
//     Exit codes: 0 staged (or already in the store), 1 bad arguments, 2 SetupCopyOEMInfA of
//     SetupAPI could not be loaded, 3 the staging failed (the system error on standard error).
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "asciicase.h"
#include "driverstore.h"
#include "newdev.h"
#include "paths.h"
#include "systemerror.h"

namespace {

enum ExitCode : int {
    kDone = 0,
    kBadArguments = 1,
    kNoSystemEntry = 2,
    kFailed = 3,
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

const char kStageSwitch[] = "/stage";

// Whether line[0, end) ends with a blank and the staging switch, in any letter case, after a
// program path; end then moves before the switch.
bool TakeStageSwitchFromEnd(const char* line, size_t* end) {
    size_t last = *end;
    while (last > 0 && IsBlank(line[last - 1])) --last;
    const size_t length = strlen(kStageSwitch);
    if (last <= length + 1 || !IsBlank(line[last - length - 1])) return false;
    for (size_t i = 0; i < length; ++i)
        if (AsciiLower(line[last - length + i]) != kStageSwitch[i]) return false;
    *end = last - length - 1;
    return true;
}

enum class Job { Invalid, Update, Stage };

// Splits "program" "hardware id" "inf path", or "program" /stage "inf path"; the program path
// may be quoted or not. hardwareId stays empty for the staging form.
Job ParseCommandLine(const char* line, std::string* hardwareId, std::string* infPath) {
    size_t end = strlen(line);
    if (!TakeQuotedFromEnd(line, &end, infPath)) return Job::Invalid;
    Job job = Job::Update;
    if (!TakeQuotedFromEnd(line, &end, hardwareId)) {
        if (!TakeStageSwitchFromEnd(line, &end)) return Job::Invalid;
        job = Job::Stage;
    }
    while (end > 0 && IsBlank(line[end - 1])) --end;
    return end > 0 ? job : Job::Invalid;
}

int Stage(const std::string& infPath) {
    std::string stored;
    if (StageDriverPackage(infPath.c_str(), &stored)) {
        printf("upd64: %s staged as %s\n", infPath.c_str(), stored.c_str());
        return kDone;
    }
    const DWORD error = GetLastError();
    if (error == ERROR_PROC_NOT_FOUND) {
        fprintf(stderr, "upd64: SetupCopyOEMInfA of SetupAPI is not available\n");
        return kNoSystemEntry;
    }
    fprintf(stderr, "upd64: staging %s failed: error %lu: %s\n", infPath.c_str(), error,
            SystemErrorText(error).c_str());
    return kFailed;
}

}  // namespace

int main() {
    RestrictDllSearch();
    std::string hardwareId, infPath;
    const Job job = ParseCommandLine(GetCommandLineA(), &hardwareId, &infPath);
    if (job == Job::Invalid) {
        fprintf(stderr,
                "usage: upd64.exe \"hardware id\" \"full path of the INF file\"\n"
                "       upd64.exe /stage \"full path of the INF file\"\n");
        return kBadArguments;
    }
    if (job == Job::Stage) return Stage(infPath);
    const UpdateDriverForPlugAndPlayDevicesProc update = LoadUpdateDriverEntry();
    if (update == nullptr) {
        fprintf(stderr, "upd64: %s of NewDev.dll is not available\n", kUpdateDriverEntryName);
        return kNoSystemEntry;
    }
    BOOL reboot = FALSE;
    if (!update(nullptr, hardwareId.c_str(), infPath.c_str(), 0, &reboot)) {
        const DWORD error = GetLastError();
        fprintf(stderr, "upd64: driver update for %s from %s failed: error %lu: %s\n", hardwareId.c_str(),
                infPath.c_str(), error, SystemErrorText(error).c_str());
        return kFailed;
    }
    return reboot ? kRestartRequired : kDone;
}
