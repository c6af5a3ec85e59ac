// The adapters' serial drivers: for each supported USB-serial adapter that is plugged in
// without a driver, the package for Windows XP or Windows 7 is written out of the payload and
// installed, by the system's driver update or, on 64-bit Windows, by the 64-bit updater.
#pragma once

#include <windows.h>

#include "installowner.h"

// The driver packages for a Windows version: XP's for 5.1, Windows 7's for 6.1 and for 6.2,
// which is also what Windows 8 and later report to a program that declares nothing newer.
// None for any other version: the installer does not run there.
enum class DriverSet { None, WindowsXp, Windows7 };
DriverSet DriverSetFor(DWORD major, DWORD minor);

// Handles the PL2303 adapter, then the CH341 adapter. False when a driver update on a 32-bit
// system failed or the 64-bit updater could not be started; every failed step is logged. The
// updater is not awaited, so its own outcome is not known here.
bool InstallAdapterDrivers(TInstallOwner& owner);
