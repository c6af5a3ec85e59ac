// The adapters' serial drivers: for each supported USB-serial adapter that is plugged in
// without a driver, the package for Windows XP or Windows 7 is written out of the payload and
// installed, by the system's driver update or, on 64-bit Windows, by the 64-bit updater.
#pragma once

#include "installowner.h"

// Handles the PL2303 adapter, then the CH341 adapter. False when a driver update on a 32-bit
// system failed or the 64-bit updater could not be started; every failed step is logged. The
// updater is not awaited, so its own outcome is not known here.
bool InstallAdapterDrivers(TInstallOwner& owner);
