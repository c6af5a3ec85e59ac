// Computer information record and its two ids.
#include "xc_computerinfo.h"

#include <cstring>

#include "md5.h"
#include "registry.h"
#include "textformat.h"

namespace {

const char kCpuKey[] = "HKEY_LOCAL_MACHINE\\HARDWARE\\DESCRIPTION\\System\\CentralProcessor";
const char kCpu0Key[] = "HKEY_LOCAL_MACHINE\\HARDWARE\\DESCRIPTION\\System\\CentralProcessor\\0";
const char kDiskKey[] =
    "HKEY_LOCAL_MACHINE\\HARDWARE\\DEVICEMAP\\Scsi\\Scsi Port 0\\Scsi Bus 0\\Target Id 0\\"
    "Logical Unit Id 0";
const char kSystemKey[] = "HKEY_LOCAL_MACHINE\\HARDWARE\\DESCRIPTION\\System";
const char kHdAudioKey[] = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Enum\\HDAUDIO";
const char kPciKey[] = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Enum\\PCI";
const char kIdeKey[] = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Enum\\IDE";
const char kScsiKey[] = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Enum\\SCSI";
const char kWindowsKey[] = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";

// Copies text into a fixed field, cut to fit without splitting a double-byte character.
void CopyText(char* field, size_t size, const std::string& text) {
    size_t length = 0;
    while (length < text.size()) {
        const size_t step = IsDBCSLeadByte(static_cast<BYTE>(text[length])) ? 2 : 1;
        if (length + step > size - 1 || length + step > text.size()) break;
        length += step;
    }
    memcpy(field, text.data(), length);
    field[length] = '\0';
}

template <size_t N>
void SetField(char (&field)[N], const std::string& text) {
    CopyText(field, N, text);
}

// One rule of a device walk: a device of this class fills the field from this value.
struct DeviceRule {
    const char* className;
    const char* valueName;
    char* field;
    size_t fieldSize;
};

template <size_t N>
DeviceRule Rule(const char* className, const char* valueName, char (&field)[N]) {
    return DeviceRule{className, valueName, field, N};
}

bool AllFilled(const DeviceRule* rules, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        if (rules[i].field[0] == '\0') return false;
    }
    return true;
}

// Looks at the first instance of each device type below an Enum key.
void WalkDevices(const char* enumKey, const DeviceRule* rules, size_t count) {
    if (AllFilled(rules, count)) return;
    const DWORD types = RegSubKeyCount(enumKey);
    for (DWORD i = 0; i < types; ++i) {
        const std::string typeKey = std::string(enumKey) + "\\" + RegSubKeyName(enumKey, i);
        const std::string deviceKey = typeKey + "\\" + RegSubKeyName(typeKey.c_str(), 0);
        const std::string deviceClass = RegReadString(deviceKey.c_str(), "Class");
        for (size_t r = 0; r < count; ++r) {
            const DeviceRule& rule = rules[r];
            if (rule.field[0] != '\0' || _stricmp(deviceClass.c_str(), rule.className) != 0) continue;
            CopyText(rule.field, rule.fieldSize, RegReadString(deviceKey.c_str(), rule.valueName));
        }
        if (AllFilled(rules, count)) return;
    }
}

}  // namespace

std::string CpuSpeedText(DWORD mhz) {
    if (mhz > 1024) return FormatText("%0.2f GHz", mhz * 0.001);
    return FormatText("%d MHz", static_cast<int>(mhz));
}

std::string MemorySizeText(DWORD megabytes) {
    if (megabytes > 1024) return FormatText("%0.2f GB", megabytes / 1024.0);
    return FormatText("%d MB", static_cast<int>(megabytes));
}

XC_ComputerInfo::XC_ComputerInfo() {
    CpuCount = RegSubKeyCount(kCpuKey);
    if (CpuCount == 0) {
        SYSTEM_INFO system;
        GetSystemInfo(&system);
        CpuCount = system.dwNumberOfProcessors;
    }
    SetField(CpuVendor, RegReadString(kCpu0Key, "VendorIdentifier"));
    SetField(CpuName, RegReadString(kCpu0Key, "ProcessorNameString"));
    CpuMHz = RegReadDword(kCpu0Key, "~MHz");
    SetField(CpuSpeed, CpuSpeedText(CpuMHz));

    MEMORYSTATUSEX memory;
    memory.dwLength = sizeof(memory);
    if (GlobalMemoryStatusEx(&memory)) MemoryMB = static_cast<DWORD>(memory.ullTotalPhys / 1024 / 1024);
    SetField(MemoryText, MemorySizeText(MemoryMB));

    SetField(HardDisk, RegReadString(kDiskKey, "Identifier"));
    SetField(BiosVersion, RegReadString(kSystemKey, "SystemBiosVersion"));

    const DeviceRule audio[] = {Rule("MEDIA", "DeviceDesc", SoundDevice)};
    WalkDevices(kHdAudioKey, audio, 1);
    const DeviceRule pci[] = {Rule("Net", "DeviceDesc", NetworkAdapter), Rule("Display", "DeviceDesc", DisplayAdapter),
                              Rule("MEDIA", "DeviceDesc", SoundDevice)};
    WalkDevices(kPciKey, pci, 3);
    const DeviceRule drives[] = {Rule("DiskDrive", "FriendlyName", HardDisk), Rule("CDROM", "FriendlyName", CdRom)};
    WalkDevices(kIdeKey, drives, 2);
    WalkDevices(kScsiKey, drives, 2);

    DWORD nameSize = sizeof(ComputerName);
    if (!GetComputerNameA(ComputerName, &nameSize)) ComputerName[0] = '\0';
    SetField(OsVersion, RegReadString(kWindowsKey, "ProductName") + " " + RegReadString(kWindowsKey, "CSDVersion"));

    const std::string shortText = std::string(CpuName) + CpuSpeed + BiosVersion + HardDisk;
    const std::string longText = shortText + MemoryText + CdRom + SoundDevice + DisplayAdapter + NetworkAdapter;
    SetField(ComputerIdB, MD5::HexDigest(shortText.data(), shortText.size()));
    SetField(ComputerIdN, MD5::HexDigest(longText.data(), longText.size()));
}
