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
    const bool driversInstalled = InstallAdapterDrivers(owner);
    const bool deployed = DeployApplication(owner);
    return driversInstalled && deployed ? InstallResult::Success : InstallResult::FinishedWithErrors;
}
