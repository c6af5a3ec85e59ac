// Start-up mode: the executable's own payload decides whether it installs or builds.
#pragma once

class XC_ExeTailHelper;

enum class StartMode {
    Failed,     // neither the own file nor the fallback could be loaded
    Builder,    // loaded, no payload: pack a new installer
    Installer,  // loaded with a payload: show the installer window
};

// Loads `payload` from `own_path` or, failing that, from "SetupTarvik.exe" in the current folder.
StartMode LoadPayload(XC_ExeTailHelper* payload, const char* own_path);
