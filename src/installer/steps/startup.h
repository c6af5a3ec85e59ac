// Start-up mode: the executable's own payload decides whether it installs or builds.
#pragma once

class XC_ExeTailHelper;

enum class StartMode {
    Failed,     // the own file's payload is damaged, or neither file could be read
    Builder,    // loaded, no payload: pack a new installer
    Installer,  // loaded with a payload: show the installer window
};

// Loads `payload` from `own_path`. Only when that file cannot be opened or read does it load
// "SetupTarvik.exe" from the current folder instead: a damaged own payload (a truncated
// download, say) fails, so that an older installer or a plain stub lying beside it in a
// download folder never runs in its place.
StartMode LoadPayload(XC_ExeTailHelper* payload, const char* own_path);
