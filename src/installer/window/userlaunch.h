// Starting the installed application as the signed-in user. The installer runs elevated; a
// program it starts directly inherits that token, and the engraving application would then run
// as administrator: it would refuse files dragged onto it from Explorer, write its settings as
// administrator, and load with full rights any DLL that a user dropped into the shared install
// folder. Where UAC elevated the installer, the desktop's own shell starts it instead, with the
// user's normal rights.
#pragma once

#include <windows.h>

// How a program is started from the installer.
enum class LaunchWay {
    DesktopShell,  // through the shell of the user's desktop, with the user's normal rights
    Direct,        // WinExec from this process, with this process's rights
};

// The way for a process whose token has this elevation type (TOKEN_ELEVATION_TYPE's values:
// 1 default, 2 full, 3 limited; 0 where the system does not know the question, as on XP): the
// desktop's shell only for the full token of a user whom UAC elevated.
LaunchWay LaunchWayFor(DWORD elevationType);

// This process's elevation type; 0 when the system cannot tell.
DWORD OwnElevationType();

// Starts commandLine (a quoted program path) as a normal window, the way LaunchWayFor chooses;
// where the desktop's shell cannot be reached (no shell running, another shell), directly.
// True when it was started.
bool LaunchAsDesktopUser(const char* commandLine);
