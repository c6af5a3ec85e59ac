// Present USB devices by hardware id, described in a device report, and plug-and-play
// driver installation from an INF file through NewDev.dll.
#pragma once

#include <windows.h>

#include "newdev.h"

class XC_Xml;

class XC_InstallHardware {
public:
    // Loads NewDev.dll from the system folder and resolves its driver update entry. The library
    // is never unloaded.
    XC_InstallHardware();

    // Writes one "R%02d" record per present device (of the class when classGuid is given)
    // and the value "Count" into report; returns the count.
    int EnumDevices(const GUID* classGuid, XC_Xml& report);

    // True when a present device's first hardware id begins with hardwareId, letter case
    // ignored. On a match, report (when given) is reset and describes the first such device;
    // otherwise it is left untouched.
    bool FindDevice(const char* hardwareId, XC_Xml* report = nullptr);

    // Installs the driver of infPath for every present device with hardwareId. On success
    // rebootRequired (when given) tells whether the system asked for a restart; on failure
    // it is left untouched.
    bool UpdateDriver(const char* hardwareId, const char* infPath, bool* rebootRequired = nullptr);

    UpdateDriverForPlugAndPlayDevicesProc UpdateDriverProc = nullptr;
};
