// Starting the installed application as the signed-in user. The installer runs elevated; a
// program it starts directly inherits that token, and the engraving application would then run
// as administrator: it would refuse files dragged onto it from Explorer, write its settings as
// administrator, and load with full rights any DLL that a user dropped into the shared install
// folder. Where UAC elevated the installer, the desktop's own shell starts it instead, with the
// user's normal rights, or nothing does.
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

// Starts commandLine through the desktop's shell, in the shell's process; the shell's result.
HRESULT StartThroughDesktopShell(const char* commandLine);
using ShellStart = HRESULT (*)(const char* commandLine);

// Starts commandLine (a quoted program path) as a normal window, the way LaunchWayFor chooses.
// Where the desktop's shell cannot start it (no shell running, another shell), it is not
// started at all: a direct start would hand the program the administrator's token of a user
// whom UAC elevated. That is logged, and the user starts it from its shortcut. True when it
// was started. throughShell is the shell's way (a test gives one that fails).
bool LaunchAsDesktopUser(const char* commandLine, ShellStart throughShell = StartThroughDesktopShell);
