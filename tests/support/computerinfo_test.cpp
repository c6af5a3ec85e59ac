// Computer information from the registry of the test prefix: texts, device walks and ids.
// The tests add their own devices and values under HKLM and put everything back.
#include "xc_computerinfo.h"

#include "md5.h"
#include "registry_helpers.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const char kCpu0[] = "HARDWARE\\DESCRIPTION\\System\\CentralProcessor\\0";
const char kEnum[] = "SYSTEM\\CurrentControlSet\\Enum\\";
const char kDisk[] = "HARDWARE\\DEVICEMAP\\Scsi\\Scsi Port 0\\Scsi Bus 0\\Target Id 0\\Logical Unit Id 0";
const char kWindows[] = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";

struct TextCase {
    DWORD number;
    const char* text;
};

TEST(ComputerInfoTexts, CpuSpeedThresholdIs1024MHz) {
    const TextCase cases[] = {{0, "0 MHz"},       {1000, "1000 MHz"}, {1024, "1024 MHz"},
                              {1025, "1.02 GHz"}, {3000, "3.00 GHz"}, {3456, "3.46 GHz"}};
    for (const TextCase& c : cases) EXPECT_EQ(c.text, CpuSpeedText(c.number)) << c.number;
}

TEST(ComputerInfoTexts, MemoryThresholdIs1024MB) {
    const TextCase cases[] = {
        {512, "512 MB"}, {1024, "1024 MB"}, {1025, "1.00 GB"}, {1536, "1.50 GB"}, {2048, "2.00 GB"}};
    for (const TextCase& c : cases) EXPECT_EQ(c.text, MemorySizeText(c.number)) << c.number;
}

// A device instance key made by the test below one of the Enum roots.
class FakeDevice {
public:
    FakeDevice(const char* enumRoot, const char* type, const char* deviceClass, const char* valueName,
               const char* value)
        : typeKey_(std::string(kEnum) + enumRoot + "\\" + type) {
        const std::string instance = typeKey_ + "\\1&TARVIK&0";
        ok_ = SetRegText(HKEY_LOCAL_MACHINE, instance, "Class", deviceClass) &&
              SetRegText(HKEY_LOCAL_MACHINE, instance, valueName, value);
    }
    ~FakeDevice() { DeleteKeyTree(HKEY_LOCAL_MACHINE, typeKey_); }
    FakeDevice(const FakeDevice&) = delete;
    FakeDevice& operator=(const FakeDevice&) = delete;
    bool ok() const { return ok_; }

private:
    std::string typeKey_;
    bool ok_ = false;
};

TEST(XC_ComputerInfo, TwoRecordsOfOneMachineAgree) {
    MachineInfoLock hold;
    const XC_ComputerInfo first;
    const XC_ComputerInfo second;
    EXPECT_STREQ(first.ComputerIdB, second.ComputerIdB);
    EXPECT_STREQ(first.ComputerIdN, second.ComputerIdN);
    EXPECT_EQ(32u, strlen(first.ComputerIdB));
    EXPECT_GE(first.CpuCount, 1u);
    EXPECT_GT(first.MemoryMB, 0u);
    EXPECT_EQ(MemorySizeText(first.MemoryMB), first.MemoryText);
    char name[64];
    DWORD size = sizeof(name);
    ASSERT_TRUE(GetComputerNameA(name, &size));
    EXPECT_STREQ(name, first.ComputerName);
}

TEST(XC_ComputerInfo, IdsDigestTheShortAndLongDescriptions) {
    MachineInfoLock hold;
    const XC_ComputerInfo info;
    const std::string shortText = std::string(info.CpuName) + info.CpuSpeed + info.BiosVersion + info.HardDisk;
    const std::string longText =
        shortText + info.MemoryText + info.CdRom + info.SoundDevice + info.DisplayAdapter + info.NetworkAdapter;
    EXPECT_EQ(MD5::HexDigest(shortText.data(), shortText.size()), info.ComputerIdB);
    EXPECT_EQ(MD5::HexDigest(longText.data(), longText.size()), info.ComputerIdN);
}

TEST(XC_ComputerInfo, ClockChangesBothIds) {
    MachineInfoLock hold;
    SavedRegValue saved(HKEY_LOCAL_MACHINE, kCpu0, "~MHz");
    const DWORD fast = 3000;
    const DWORD slow = 1024;
    ASSERT_TRUE(SetRegValue(HKEY_LOCAL_MACHINE, kCpu0, "~MHz", REG_DWORD, &fast, 4));
    const XC_ComputerInfo before;
    ASSERT_TRUE(SetRegValue(HKEY_LOCAL_MACHINE, kCpu0, "~MHz", REG_DWORD, &slow, 4));
    const XC_ComputerInfo after;
    EXPECT_EQ(3000u, before.CpuMHz);
    EXPECT_STREQ("3.00 GHz", before.CpuSpeed);
    EXPECT_STREQ("1024 MHz", after.CpuSpeed);
    EXPECT_STRNE(before.ComputerIdB, after.ComputerIdB);
    EXPECT_STRNE(before.ComputerIdN, after.ComputerIdN);
}

TEST(XC_ComputerInfo, NewAdapterChangesOnlyTheLongId) {
    MachineInfoLock hold;
    const XC_ComputerInfo before;
    if (before.NetworkAdapter[0] != '\0') GTEST_SKIP() << "the prefix already has a network adapter";
    // The class is matched without regard to case.
    FakeDevice adapter("PCI", "VEN_7A7A&DEV_0001", "net", "DeviceDesc", "Tarvik Test Adapter");
    ASSERT_TRUE(adapter.ok());
    const XC_ComputerInfo after;
    EXPECT_STREQ("Tarvik Test Adapter", after.NetworkAdapter);
    EXPECT_STREQ(before.ComputerIdB, after.ComputerIdB);
    EXPECT_STRNE(before.ComputerIdN, after.ComputerIdN);
}

TEST(XC_ComputerInfo, HdAudioSoundWinsOverPci) {
    MachineInfoLock hold;
    if (XC_ComputerInfo().SoundDevice[0] != '\0') GTEST_SKIP() << "the prefix already has a sound device";
    FakeDevice pci("PCI", "VEN_7A7A&DEV_0002", "MEDIA", "DeviceDesc", "PCI Sound");
    ASSERT_TRUE(pci.ok());
    EXPECT_STREQ("PCI Sound", XC_ComputerInfo().SoundDevice);
    FakeDevice hd("HDAUDIO", "FUNC_01&VEN_7A7A", "MEDIA", "DeviceDesc", "HD Sound");
    ASSERT_TRUE(hd.ok());
    EXPECT_STREQ("HD Sound", XC_ComputerInfo().SoundDevice);
}

TEST(XC_ComputerInfo, DiskIdentifierIsKeptAndDrivesFillTheRest) {
    MachineInfoLock hold;
    const XC_ComputerInfo before;
    if (before.CdRom[0] != '\0') GTEST_SKIP() << "the prefix already has an optical drive";
    SavedRegValue saved(HKEY_LOCAL_MACHINE, kDisk, "Identifier");
    ASSERT_TRUE(SetRegText(HKEY_LOCAL_MACHINE, kDisk, "Identifier", "TARVIK DISK 1.0"));
    FakeDevice disk("IDE", "DiskTarvik", "DiskDrive", "FriendlyName", "IDE Disk");
    FakeDevice cd("SCSI", "CdRomTarvik", "CDROM", "FriendlyName", "SCSI CD");
    ASSERT_TRUE(disk.ok() && cd.ok());
    const XC_ComputerInfo info;
    EXPECT_STREQ("TARVIK DISK 1.0", info.HardDisk);
    EXPECT_STREQ("SCSI CD", info.CdRom);
}

TEST(XC_ComputerInfo, MissingServicePackLeavesOneBlank) {
    MachineInfoLock hold;
    SavedRegValue saved(HKEY_LOCAL_MACHINE, kWindows, "CSDVersion");
    DeleteRegValue(HKEY_LOCAL_MACHINE, kWindows, "CSDVersion");
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyA(HKEY_LOCAL_MACHINE, kWindows, &key));
    char product[128] = {};
    DWORD size = sizeof(product) - 1;
    const LONG read = RegQueryValueExA(key, "ProductName", nullptr, nullptr, reinterpret_cast<BYTE*>(product), &size);
    RegCloseKey(key);
    ASSERT_EQ(ERROR_SUCCESS, read);
    EXPECT_EQ(std::string(product) + " ", XC_ComputerInfo().OsVersion);
}

TEST(XC_ComputerInfo, LongRegistryTextsAreCutToTheirFields) {
    MachineInfoLock hold;
    SavedRegValue name(HKEY_LOCAL_MACHINE, kCpu0, "ProcessorNameString");
    SavedRegValue vendor(HKEY_LOCAL_MACHINE, kCpu0, "VendorIdentifier");
    ASSERT_TRUE(SetRegText(HKEY_LOCAL_MACHINE, kCpu0, "ProcessorNameString", std::string(300, 'N')));
    ASSERT_TRUE(SetRegText(HKEY_LOCAL_MACHINE, kCpu0, "VendorIdentifier", std::string(5000, 'V')));
    const XC_ComputerInfo info;
    EXPECT_EQ(std::string(127, 'N'), info.CpuName);
    EXPECT_EQ(std::string(127, 'V'), info.CpuVendor);
    EXPECT_EQ(32u, strlen(info.ComputerIdB));
}

}  // namespace
