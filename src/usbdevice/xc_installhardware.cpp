// Device enumeration through SetupAPI and driver update through NewDev.dll, both loaded at
// run time from the system folder.
#include "xc_installhardware.h"

#include <cstring>
#include <string>
#include <vector>

#include "asciicase.h"
#include "newdev.h"
#include "setupapilibrary.h"
#include "xc_handle.h"
#include "xc_xml.h"

namespace {

BOOL DestroyDeviceInfoList(HDEVINFO set) { return SetupApi().destroyList(set); }

using DeviceInfoSet = XC_Handle<HDEVINFO, DestroyDeviceInfoList>;

// The text up to the first NUL, never past the end of the buffer: a value stored without
// its terminator must not be read beyond what the system returned.
std::string FirstString(const std::vector<char>& buffer) {
    return std::string(buffer.data(), strnlen(buffer.data(), buffer.size()));
}

// A device registry property as text; only the first string of a multi-string. Empty when
// the device has no such property.
std::string ReadProperty(HDEVINFO set, SP_DEVINFO_DATA* device, DWORD property) {
    DWORD size = 0;
    SetupApi().getProperty(set, device, property, nullptr, nullptr, 0, &size);
    if (size == 0) return std::string();
    std::vector<char> buffer(size, '\0');
    SetupApi().getProperty(set, device, property, nullptr, reinterpret_cast<BYTE*>(buffer.data()), size, nullptr);
    return FirstString(buffer);
}

// "PortName" of the device's hardware key; empty when the key or the value is missing.
std::string ReadPortName(HDEVINFO set, SP_DEVINFO_DATA* device) {
    XC_RegKey key(SetupApi().openDevRegKey(set, device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_QUERY_VALUE));
    if (!key.IsOpen()) return std::string();
    DWORD size = 0;
    RegQueryValueExA(key.Get(), "PortName", nullptr, nullptr, nullptr, &size);
    if (size == 0) return std::string();
    std::vector<char> buffer(size, '\0');
    if (RegQueryValueExA(key.Get(), "PortName", nullptr, nullptr, reinterpret_cast<BYTE*>(buffer.data()), &size) !=
        ERROR_SUCCESS)
        return std::string();
    buffer.resize(size);
    return FirstString(buffer);
}

bool StartsWithNoCase(const std::string& text, const char* prefix) {
    const size_t length = strlen(prefix);
    if (text.size() < length) return false;
    for (size_t i = 0; i < length; ++i)
        if (AsciiLower(text[i]) != AsciiLower(prefix[i])) return false;
    return true;
}

}  // namespace

XC_InstallHardware::XC_InstallHardware() : UpdateDriverProc(LoadUpdateDriverEntry()) {}

int XC_InstallHardware::EnumDevices(const GUID* classGuid, XC_Xml& report) {
    int count = 0;
    const SetupApiEntries& setup = SetupApi();
    const DWORD flags = classGuid != nullptr ? DIGCF_PRESENT : DIGCF_PRESENT | DIGCF_ALLCLASSES;
    DeviceInfoSet set(setup.HasQueries() ? setup.getClassDevs(classGuid, nullptr, nullptr, flags) : nullptr);
    if (set.IsOpen()) {
        SP_DEVINFO_DATA device;
        for (DWORD index = 0;; ++index) {
            memset(&device, 0, sizeof(device));
            device.cbSize = sizeof(device);
            if (!setup.enumDeviceInfo(set.Get(), index, &device)) break;
            const std::string friendName = ReadProperty(set.Get(), &device, SPDRP_FRIENDLYNAME);
            const std::string hardwareId = ReadProperty(set.Get(), &device, SPDRP_HARDWAREID);
            const std::string deviceObj = ReadProperty(set.Get(), &device, SPDRP_PHYSICAL_DEVICE_OBJECT_NAME);
            const std::string deviceDesc = ReadProperty(set.Get(), &device, SPDRP_DEVICEDESC);
            const std::string driver = ReadProperty(set.Get(), &device, SPDRP_DRIVER);
            const std::string service = ReadProperty(set.Get(), &device, SPDRP_SERVICE);
            const std::string portName = ReadPortName(set.Get(), &device);
            if (hardwareId.empty()) continue;
            report.SetRecord(count, "DeviceDesc", deviceDesc.c_str());
            report.SetRecord(count, "FriendName", friendName.c_str());
            report.SetRecord(count, "HardwareId", hardwareId.c_str());
            report.SetRecord(count, "DeviceObj", deviceObj.c_str());
            report.SetRecord(count, "Driver", driver.c_str());
            report.SetRecord(count, "Service", service.c_str());
            report.SetRecord(count, "PortName", portName.c_str());
            ++count;
        }
    }
    report.SetValueInt("Count", count);
    return count;
}

bool XC_InstallHardware::FindDevice(const char* hardwareId, XC_Xml* report) {
    if (hardwareId == nullptr) return false;
    XC_Xml devices;
    if (EnumDevices(nullptr, devices) == 0) return false;
    const int count = devices.GetValueInt("Count");
    for (int index = 0; index < count; ++index) {
        if (!StartsWithNoCase(devices.GetRecord(index, "HardwareId"), hardwareId)) continue;
        if (report != nullptr) {
            report->LoadText(XC_Xml::kTemplate);
            for (const char* name :
                 {"HardwareId", "DeviceObj", "Driver", "Service", "FriendName", "DeviceDesc", "PortName"})
                report->SetValue(name, devices.GetRecord(index, name).c_str());
        }
        return true;
    }
    return false;
}

bool XC_InstallHardware::UpdateDriver(const char* hardwareId, const char* infPath, bool* rebootRequired) {
    if (UpdateDriverProc == nullptr || hardwareId == nullptr || infPath == nullptr) return false;
    BOOL reboot = FALSE;
    if (!UpdateDriverProc(nullptr, hardwareId, infPath, 0, &reboot)) return false;
    if (rebootRequired != nullptr) *rebootRequired = reboot != FALSE;
    return true;
}
