// The running Windows version, read once at construction, with a display name and a details
// text for diagnostics.
#pragma once

#include <windows.h>

class XC_OSVersion {
public:
    XC_OSVersion();

    char DisplayName[200];
    char Details[200];
    OSVERSIONINFOEXA VersionInfo;
};
