// The unattended install, "SetupTarvik.exe /S": the install worker with no window and no
// message, for deployment tools, which read the outcome from the exit code and the log.
#pragma once

#include <string>

// The exit codes of a run with arguments.
enum class UnattendedExit : unsigned {
    Installed = 0,
    InstalledWithErrors = 1,  // the condition of the window's error status; the log says what
    UnsupportedSystem = 2,    // a Windows version the window refuses
    PayloadUnreadable = 3,    // the installer's payload could not be read or is damaged
    UnknownSwitch = 4,        // anything but /S or /s after the program name
    NotInstalled = 5,         // not installed, nothing changed: no space, a running program, a rollback
};

// Runs with the arguments given (not empty) and ends the process: a file without payload is
// the builder, which ignores them; an installer installs unattended on "/S" or "/s" and
// answers anything else with UnknownSwitch. Every ending is logged.
[[noreturn]] void RunUnattended(const std::string& arguments);
