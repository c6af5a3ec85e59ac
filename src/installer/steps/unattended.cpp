// The unattended install: the same worker, drivers and deployment as the window's install,
// driven by an owner without a window; nothing on screen, nothing that waits for a person.
#include "unattended.h"

#include <windows.h>

#include <string>

#include "builder.h"
#include "driverinstall.h"
#include "installtexts.h"
#include "installworker.h"
#include "paths.h"
#include "payloadkeys.h"
#include "rollback.h"
#include "startup.h"
#include "uninstallentry.h"
#include "xc_log.h"
#include "xc_osversion.h"

namespace {

// The worker's owner: the end signal wakes the waiting main thread.
class TUnattendedOwner : public TInstallOwner {
public:
    TUnattendedOwner() : finished_(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}
    ~TUnattendedOwner() {
        if (finished_ != nullptr) CloseHandle(finished_);
    }

    void StartFinishTimer(InstallResult result) override {
        result_ = result;
        SetEvent(finished_);
    }

    // Runs the worker on its thread and waits for its end; its result.
    InstallResult Install() {
        MC_TimerInstall worker;
        worker.Owner = this;
        worker.Interval = kWorkerInterval;
        if (finished_ == nullptr || !worker.Start()) return RunInstall(*this);
        WaitForSingleObject(finished_, INFINITE);
        return result_;
    }

private:
    static const int kWorkerInterval = 80;
    HANDLE finished_;
    InstallResult result_ = InstallResult::Success;
};

bool IsSilentSwitch(const std::string& arguments) { return arguments == "/S" || arguments == "/s"; }

[[noreturn]] void End(UnattendedExit code, const std::string& why) {
    const std::string entry = "Unattended install: " + why + ", exit code " + std::to_string(unsigned(code));
    ProgramLog.Append(entry.data(), int(entry.size()));
    ExitProcess(unsigned(code));
}

}  // namespace

void RunUnattended(const std::string& arguments) {
    // No system dialog for a missing disk or a crash: a deployment tool waits for no one.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);

    TUnattendedOwner owner;
    const StartMode mode = LoadPayload(&owner.Payload, ModulePath().c_str());
    if (mode == StartMode::Builder) RunBuilder(&owner.Payload);
    if (!IsSilentSwitch(arguments)) End(UnattendedExit::UnknownSwitch, "unknown command line \"" + arguments + "\"");
    if (mode == StartMode::Failed) End(UnattendedExit::PayloadUnreadable, "the installer's payload could not be read");

    const XC_OSVersion version;
    if (DriverSetFor(version.VersionInfo.dwMajorVersion, version.VersionInfo.dwMinorVersion) == DriverSet::None)
        End(UnattendedExit::UnsupportedSystem, "not supported on Windows " +
                                                   std::to_string(version.VersionInfo.dwMajorVersion) + "." +
                                                   std::to_string(version.VersionInfo.dwMinorVersion));

    RecoverInterruptedInstall(UninstallFolderPath(), &ProgramLog);
    LoadInstallerLanguage(owner.Payload.FindEntry(PayloadKey::Language));
    TranslateInstallTexts(owner);
    switch (owner.Install()) {
        case InstallResult::Success:
            End(UnattendedExit::Installed, "installed");
        case InstallResult::FinishedWithErrors:
            End(UnattendedExit::InstalledWithErrors, "installed with errors");
        case InstallResult::NotInstalled:
            break;
    }
    End(UnattendedExit::NotInstalled, "not installed, the earlier state is unchanged");
}
