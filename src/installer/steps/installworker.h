// The install worker: one tick on its own thread installs the adapters' drivers and deploys the
// application, then pauses itself and tells its owner that it has finished.
#pragma once

#include "installowner.h"
#include "xc_timerbase.h"

class MC_TimerInstall : public XC_TimerBase {
public:
    // The timer base's destructor is not virtual: stop the thread here, before this object goes.
    ~MC_TimerInstall() { Stop(); }

    void OnTimer() override;

    // The owner the tick works for; nothing happens while it is empty.
    TInstallOwner* Owner = nullptr;
};

// The whole installation for owner, on the calling thread: the questions of ReadyToDeploy
// (NotInstalled, nothing done, when the owner gives up), then drivers, then deployment, which
// runs whatever the drivers did. The deployment's NotInstalled stands; otherwise the result
// says whether any step failed.
InstallResult RunInstall(TInstallOwner& owner);
