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
#include <vector>

#include "asciicase.h"
#include "commandline.h"
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

const char kStageSwitch[] = "/stage";

enum class Job { Invalid, Update, Stage };

// A value of the job: a non-empty argument wholly in double quotes.
bool IsQuotedValue(const CommandArgument& argument) { return argument.quoted && !argument.text.empty(); }

// Splits "program" "hardware id" "inf path", or "program" /stage "inf path" (the switch in any
// letter case). The job is read from the end of the line: the installer quotes the program's
// path, but an unquoted one may hold blanks, and then its pieces come before the job's
// arguments. hardwareId stays empty for the staging form.
Job ParseCommandLine(const char* line, std::string* hardwareId, std::string* infPath) {
    if (*line == '\0' || *line == ' ' || *line == '\t') return Job::Invalid;
    const std::vector<CommandArgument> arguments = SplitArguments(CommandLineArguments(line));
    const size_t count = arguments.size();
    if (count < 2 || !IsQuotedValue(arguments[count - 1])) return Job::Invalid;
    *infPath = arguments[count - 1].text;
    const CommandArgument& job = arguments[count - 2];
    if (IsQuotedValue(job)) {
        *hardwareId = job.text;
        return Job::Update;
    }
    if (job.quoted || job.text.size() != strlen(kStageSwitch)) return Job::Invalid;
    for (size_t i = 0; i < job.text.size(); ++i)
        if (AsciiLower(job.text[i]) != kStageSwitch[i]) return Job::Invalid;
    return Job::Stage;
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
