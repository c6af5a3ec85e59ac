// The install worker's tick: the adapters' drivers, then the application, then the signal.
#include "installworker.h"

#include "deployment.h"
#include "driverinstall.h"

void MC_TimerInstall::OnTimer() {
    if (Owner == nullptr) return;
    InstallResult result = RunInstall(*Owner);
    Pause();
    Owner->StartFinishTimer(result);
}

InstallResult RunInstall(TInstallOwner& owner) {
    // The questions first: an install the person gives up changes nothing, drivers included.
    if (!ReadyToDeploy(owner)) return InstallResult::NotInstalled;
    const bool driversInstalled = InstallAdapterDrivers(owner);
    const InstallResult deployed = DeployApplication(owner);
    if (deployed != InstallResult::Success) return deployed;
    return driversInstalled ? InstallResult::Success : InstallResult::FinishedWithErrors;
}
