// The adapters' serial drivers: for each supported USB-serial adapter that is plugged in
// without a driver, the package for Windows XP or Windows 7 is written out of the payload and
// installed, by the system's driver update or, on 64-bit Windows, by the 64-bit updater; then
// both adapters' packages are staged in the driver store for adapters that come later.
#pragma once

#include <windows.h>

#include "installowner.h"

// The driver packages for a Windows version: XP's for 5.1, Windows 7's for 6.1 and for 6.2,
// which is also what Windows 8 and later report to a program that declares nothing newer.
// None for any other version: the installer does not run there.
enum class DriverSet { None, WindowsXp, Windows7 };
DriverSet DriverSetFor(DWORD major, DWORD minor);

// Handles the PL2303 adapter, then the CH341 adapter, then stages both packages
// (StageAdapterPackages). False when a driver update on a 32-bit system failed or the 64-bit
// updater could not be started; every failed step is logged. The updater is not awaited, so
// its own outcome is not known here.
bool InstallAdapterDrivers(TInstallOwner& owner);

// Stages this system's package of each adapter, present or not, in the driver store from a
// permanent copy under the common application data folder, so that an adapter plugged in
// later gets its driver from Windows. Each staging is logged as done or failed; a failure is
// no install error.
void StageAdapterPackages(const XC_ExeTailHelper& payload);
