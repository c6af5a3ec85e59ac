// device_arrival.exe "hardware id": what Windows does when a device without a driver arrives,
// for the tests of staged driver packages. It picks the best compatible driver from the
// system's INF folder for each device with that hardware id (SetupDiBuildDriverInfoList with
// compatible drivers, DIF_SELECTBESTCOMPATDRV) and installs it (DIF_INSTALLDEVICE). Built for
// both prefixes: on 64-bit Windows only a 64-bit process installs devices.
// Exit codes: 0 every such device was handed to the installation, 1 bad arguments, 2 no device
// with the id, 3 a step failed (named on standard error). Tests judge the device tree, not this.
#include <windows.h>

#include <setupapi.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

// The device's hardware ids, one string each.
std::vector<std::string> HardwareIds(HDEVINFO set, SP_DEVINFO_DATA* device) {
    char buffer[4096] = {};
    std::vector<std::string> ids;
    if (!SetupDiGetDeviceRegistryPropertyA(set, device, SPDRP_HARDWAREID, nullptr, reinterpret_cast<BYTE*>(buffer),
                                           sizeof(buffer) - 2, nullptr))
        return ids;
    for (const char* id = buffer; *id != '\0'; id += strlen(id) + 1) ids.push_back(id);
    return ids;
}

// As a device arrives: no prompt for a missing source, which then fails instead of waiting.
bool MakeQuiet(HDEVINFO set, SP_DEVINFO_DATA* device) {
    SP_DEVINSTALL_PARAMS_A params = {};
    params.cbSize = sizeof(params);
    if (!SetupDiGetDeviceInstallParamsA(set, device, &params)) return false;
    params.Flags |= DI_QUIETINSTALL;
    return SetupDiSetDeviceInstallParamsA(set, device, &params);
}

bool Step(bool ok, const char* what) {
    if (!ok) fprintf(stderr, "device_arrival: %s failed: error 0x%lx\n", what, GetLastError());
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: device_arrival.exe \"hardware id\"\n");
        return 1;
    }
    HDEVINFO set = SetupDiGetClassDevsA(nullptr, "USB", nullptr, DIGCF_ALLCLASSES);
    if (!Step(set != INVALID_HANDLE_VALUE, "SetupDiGetClassDevsA")) return 3;
    int found = 0;
    bool ok = true;
    SP_DEVINFO_DATA device = {};
    device.cbSize = sizeof(device);
    for (DWORD index = 0; SetupDiEnumDeviceInfo(set, index, &device); ++index) {
        bool matches = false;
        for (const std::string& id : HardwareIds(set, &device))
            matches = matches || lstrcmpiA(id.c_str(), argv[1]) == 0;
        if (!matches) continue;
        ++found;
        ok = Step(MakeQuiet(set, &device), "SetupDiSetDeviceInstallParamsA") &&
             Step(SetupDiBuildDriverInfoList(set, &device, SPDIT_COMPATDRIVER), "SetupDiBuildDriverInfoList") &&
             Step(SetupDiCallClassInstaller(DIF_SELECTBESTCOMPATDRV, set, &device), "DIF_SELECTBESTCOMPATDRV") &&
             Step(SetupDiCallClassInstaller(DIF_INSTALLDEVICE, set, &device), "DIF_INSTALLDEVICE") && ok;
    }
    SetupDiDestroyDeviceInfoList(set);
    if (found == 0) {
        fprintf(stderr, "device_arrival: no device with %s\n", argv[1]);
        return 2;
    }
    return ok ? 0 : 3;
}
