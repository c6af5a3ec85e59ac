// The install worker's tick.
#include "installworker.h"

void MC_TimerInstall::OnTimer() {
    if (Owner == nullptr) return;
    InstallResult result = RunInstall(*Owner);
    Pause();
    Owner->StartFinishTimer(result);
}

InstallResult RunInstall(TInstallOwner&) { return InstallResult::Success; }
