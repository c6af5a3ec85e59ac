// Device report, hardware id lookup and driver update against the real SetupAPI and NewDev.dll
// of Wine, with simulated adapters in the device tree.
#include "xc_installhardware.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "simulated_devices.h"
#include "xc_xml.h"

namespace {

const char* const kReportOrder[] = {"HardwareId", "DeviceObj",  "Driver",  "Service",
                                    "FriendName", "DeviceDesc", "PortName"};

// Checks that every record below "Count" has a hardware id and that none follows it.
void ExpectCountMatchesRecords(XC_Xml& report, int returned) {
    const int count = report.GetValueInt("Count");
    EXPECT_EQ(count, returned);
    EXPECT_EQ(report.GetValue("Count"), std::to_string(count));
    for (int index = 0; index < count; ++index)
        EXPECT_FALSE(report.GetRecord(index, "HardwareId").empty()) << "record " << index;
    EXPECT_TRUE(report.GetRecord(count, "HardwareId").empty());
}

bool FileExists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::string SystemFolderFile(const std::string& name) {
    char system[MAX_PATH];
    const UINT length = GetSystemDirectoryA(system, MAX_PATH);
    return std::string(system, length) + "\\" + name;
}

using EnumDevicesTest = SimulatedDevicesTest;

TEST_F(EnumDevicesTest, CountMatchesRecordsWithAndWithoutAdapters) {
    XC_InstallHardware hardware;
    XC_Xml before;
    const int bare = hardware.EnumDevices(nullptr, before);
    ExpectCountMatchesRecords(before, bare);

    ASSERT_NE(Plug(Adapter("VID_067B&PID_2303", "USB\\VID_067B&PID_2303&REV_0300")), nullptr);
    ASSERT_NE(Plug(Adapter("VID_1A86&PID_7523", "USB\\VID_1A86&PID_7523&REV_0254")), nullptr);
    XC_Xml after;
    const int plugged = hardware.EnumDevices(nullptr, after);
    ExpectCountMatchesRecords(after, plugged);
    EXPECT_EQ(plugged, bare + 2);
}

TEST_F(EnumDevicesTest, DeviceWithoutHardwareIdIsLeftOut) {
    XC_InstallHardware hardware;
    XC_Xml before;
    const int bare = hardware.EnumDevices(nullptr, before);
    SimulatedAdapter adapter = Adapter("VID_067B&PID_2303", "");
    adapter.hardwareIds.clear();
    adapter.portName = "COM9";
    ASSERT_NE(Plug(adapter), nullptr);
    XC_Xml after;
    EXPECT_EQ(hardware.EnumDevices(nullptr, after), bare);
    EXPECT_EQ(std::string(after.GetText()).find("COM9"), std::string::npos);
}

TEST_F(EnumDevicesTest, ClassGuidListsOnlyThatClass) {
    ASSERT_NE(Plug(Adapter("VID_067B&PID_2303", "USB\\VID_067B&PID_2303&REV_0300")), nullptr);
    XC_InstallHardware hardware;
    const GUID ports = {0x4D36E978, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};
    const GUID keyboards = {0x4D36E96B, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};
    XC_Xml portsReport;
    ASSERT_GE(hardware.EnumDevices(&ports, portsReport), 1);
    EXPECT_EQ(portsReport.GetRecord(0, "HardwareId"), "USB\\VID_067B&PID_2303&REV_0300");
    XC_Xml keyboardsReport;
    const int count = hardware.EnumDevices(&keyboards, keyboardsReport);
    ExpectCountMatchesRecords(keyboardsReport, count);
    for (int index = 0; index < count; ++index)
        EXPECT_NE(keyboardsReport.GetRecord(index, "HardwareId"), "USB\\VID_067B&PID_2303&REV_0300");
}

TEST_F(EnumDevicesTest, RecordHoldsFieldsInRecordOrder) {
    SimulatedAdapter adapter = Adapter("VID_067B&PID_2303", "USB\\VID_067B&PID_2303&REV_0300");
    adapter.service = "Ser2pl";
    adapter.portName = "COM7";
    ASSERT_NE(Plug(adapter), nullptr);
    XC_InstallHardware hardware;
    XC_Xml report;
    const int count = hardware.EnumDevices(nullptr, report);
    const std::string text = report.GetText();
    int found = -1;
    for (int index = 0; index < count && found < 0; ++index)
        if (report.GetRecord(index, "HardwareId") == "USB\\VID_067B&PID_2303&REV_0300") found = index;
    ASSERT_GE(found, 0);
    EXPECT_EQ(report.GetRecord(found, "Service"), "Ser2pl");
    EXPECT_EQ(report.GetRecord(found, "PortName"), "COM7");
    char name[16];
    snprintf(name, sizeof(name), "<R%02d ", found);
    const size_t record = text.find(name);
    ASSERT_NE(record, std::string::npos);
    size_t previous = record;
    for (const char* field : {"DeviceDesc", "FriendName", "HardwareId", "DeviceObj", "Driver", "Service", "PortName"}) {
        const size_t at = text.find(std::string(" ") + field + "=\"", record);
        ASSERT_NE(at, std::string::npos) << field;
        EXPECT_GT(at, previous) << field;
        previous = at;
    }
}

using FindDeviceTest = SimulatedDevicesTest;

TEST_F(FindDeviceTest, NoAdapterAnswersFalseAndLeavesReportUntouched) {
    XC_Xml report;
    ASSERT_TRUE(report.SetValue("Service", "kept"));
    const std::string before = report.GetText();
    XC_InstallHardware hardware;
    EXPECT_FALSE(hardware.FindDevice(kPl2303Id, &report));
    EXPECT_FALSE(hardware.FindDevice(kCh341Id, &report));
    EXPECT_FALSE(hardware.FindDevice(kCh341Id));
    EXPECT_EQ(report.GetText(), before);
}

struct MatchCase {
    const char* name;
    std::vector<std::string> hardwareIds;
    const char* query;
    bool matches;
};

class FindDeviceMatchTest : public SimulatedDevicesTest, public testing::WithParamInterface<MatchCase> {};

TEST_P(FindDeviceMatchTest, ComparesFirstIdAsPrefixIgnoringCase) {
    SimulatedAdapter adapter = Adapter("VID_067B&PID_2303", "");
    adapter.hardwareIds = GetParam().hardwareIds;
    ASSERT_NE(Plug(adapter), nullptr);
    XC_InstallHardware hardware;
    XC_Xml report;
    EXPECT_EQ(hardware.FindDevice(GetParam().query, &report), GetParam().matches);
    if (GetParam().matches) {
        EXPECT_EQ(report.GetValue("HardwareId"), GetParam().hardwareIds[0]);
    }
}

const MatchCase kMatchCases[] = {
    {"Pl2303WithRevision", {"USB\\VID_067B&PID_2303&REV_0300", "USB\\VID_067B&PID_2303"}, kPl2303Id, true},
    {"Ch341InLowerCase", {"usb\\vid_1a86&pid_7523&rev_0254"}, kCh341Id, true},
    {"ExactId", {"USB\\Vid_067b&Pid_2303"}, kPl2303Id, true},
    {"VendorOnlyIsTooShort", {"USB\\Vid_067b"}, kPl2303Id, false},
    {"OtherProduct", {"USB\\VID_067B&PID_2304&REV_0300"}, kPl2303Id, false},
    {"OnlyFirstIdCounts", {"USB\\VID_0000&PID_0000", "USB\\VID_067B&PID_2303"}, kPl2303Id, false},
};

INSTANTIATE_TEST_SUITE_P(Ids, FindDeviceMatchTest, testing::ValuesIn(kMatchCases),
                         [](const testing::TestParamInfo<MatchCase>& info) { return info.param.name; });

TEST_F(FindDeviceTest, SingleDeviceReportHoldsSevenValuesInOrder) {
    SimulatedAdapter adapter = Adapter("VID_1A86&PID_7523", "USB\\VID_1A86&PID_7523&REV_0254");
    adapter.service = "CH341SER";
    adapter.driver = "{4D36E978-E325-11CE-BFC1-08002BE10318}\\0042";
    adapter.portName = "COM5";
    ASSERT_NE(Plug(adapter), nullptr);
    XC_Xml report;
    ASSERT_TRUE(report.SetRecord(0, "HardwareId", "stale"));
    XC_InstallHardware hardware;
    ASSERT_TRUE(hardware.FindDevice(kCh341Id, &report));

    EXPECT_EQ(report.GetValue("HardwareId"), "USB\\VID_1A86&PID_7523&REV_0254");
    EXPECT_EQ(report.GetValue("Service"), "CH341SER");
    EXPECT_EQ(report.GetValue("Driver"), adapter.driver);
    EXPECT_EQ(report.GetValue("FriendName"), adapter.friendlyName);
    EXPECT_EQ(report.GetValue("DeviceDesc"), adapter.deviceDesc);
    EXPECT_EQ(report.GetValue("PortName"), "COM5");
    EXPECT_TRUE(report.GetValue("Count").empty());
    EXPECT_TRUE(report.GetRecord(0, "HardwareId").empty()) << "the report was not reset";

    const std::string text = report.GetText();
    const size_t end = text.find('>', text.find("<ExFastInfo"));
    size_t previous = text.find(" xResult=\"1\"");
    ASSERT_NE(previous, std::string::npos);
    for (const char* name : kReportOrder) {
        const size_t at = text.find(std::string(" ") + name + "=\"");
        ASSERT_NE(at, std::string::npos) << name;
        EXPECT_GT(at, previous) << name;
        EXPECT_LT(at, end) << name;
        previous = at;
    }
}

TEST_F(FindDeviceTest, AdapterWithoutDriverHasEmptyService) {
    ASSERT_NE(Plug(Adapter("VID_067B&PID_2303", "USB\\VID_067B&PID_2303&REV_0300")), nullptr);
    XC_Xml report;
    XC_InstallHardware hardware;
    ASSERT_TRUE(hardware.FindDevice(kPl2303Id, &report));
    EXPECT_EQ(report.GetValue("Service"), "");
    EXPECT_EQ(report.GetValue("PortName"), "");
    EXPECT_NE(std::string(report.GetText()).find(" Service=\"\""), std::string::npos);
}

TEST_F(FindDeviceTest, TwoAdaptersWithOneIdDescribeTheFirstListed) {
    SimulatedAdapter first = Adapter("VID_067B&PID_2303", "USB\\VID_067B&PID_2303&REV_0300");
    first.portName = "COM3";
    SimulatedAdapter second = first;
    second.portName = "COM4";
    ASSERT_NE(Plug(first), nullptr);
    ASSERT_NE(Plug(second), nullptr);
    XC_InstallHardware hardware;
    XC_Xml all;
    const int count = hardware.EnumDevices(nullptr, all);
    std::vector<std::string> ports;
    for (int index = 0; index < count; ++index)
        if (all.GetRecord(index, "HardwareId") == "USB\\VID_067B&PID_2303&REV_0300")
            ports.push_back(all.GetRecord(index, "PortName"));
    ASSERT_EQ(ports.size(), 2u);

    XC_Xml report;
    ASSERT_TRUE(hardware.FindDevice(kPl2303Id, &report));
    EXPECT_EQ(report.GetValue("PortName"), ports[0]);
}

TEST(InstallHardwareTest, ConstructionResolvesTheEntryAndKeepsTheLibraryLoaded) {
    { XC_InstallHardware first; }
    HMODULE newdev = GetModuleHandleA("newdev.dll");
    ASSERT_NE(newdev, nullptr) << "unloaded when the object went away";
    XC_InstallHardware hardware;
    EXPECT_EQ(reinterpret_cast<void*>(hardware.UpdateDriverProc),
              reinterpret_cast<void*>(GetProcAddress(newdev, "UpdateDriverForPlugAndPlayDevicesA")));
    EXPECT_NE(hardware.UpdateDriverProc, nullptr);
}

struct InstallCase {
    const char* name;
    const char* device;
    const char* hardwareId;  // as the installer passes it
    const char* package;     // folder under sample/drivers
    const char* inf;
    const char* service;     // the 32-bit model's service
    const char* driverFile;  // the 32-bit model's driver
    const char* service64;   // the 64-bit model's, which a 64-bit caller installs
    const char* driverFile64;
    const char* systemFile;  // a companion the INF copies into the system folder, or null
};

// The model that the system installs: the one of this program's word size.
const bool kProgram64 = sizeof(void*) == 8;

class UpdateDriverTest : public SimulatedDevicesTest, public testing::WithParamInterface<InstallCase> {};

// Wine's entry answers TRUE whatever it did, so the installation is proven from the device's
// registry values and the drivers folder afterwards.
TEST_P(UpdateDriverTest, InstallsSamplePackageForSimulatedAdapter) {
    const InstallCase& c = GetParam();
    const char* service = kProgram64 ? c.service64 : c.service;
    const std::string driverFile =
        SystemFolderFile(std::string("drivers\\") + (kProgram64 ? c.driverFile64 : c.driverFile));
    RemoveInstalledDriver(service, "", driverFile);
    ASSERT_FALSE(FileExists(driverFile));

    // Wine matches the id case-sensitively, so the adapter carries exactly the passed id.
    SimulatedDevice* device = Plug(Adapter(c.device, c.hardwareId));
    ASSERT_NE(device, nullptr);
    ScratchFolder folder(c.name);
    ASSERT_FALSE(folder.Path().empty());
    ASSERT_TRUE(CopySamplePackage(c.package, folder.Path()));

    XC_InstallHardware hardware;
    XC_Xml report;
    ASSERT_TRUE(hardware.FindDevice(c.hardwareId, &report));
    ASSERT_EQ(report.GetValue("Service"), "");

    bool reboot = true;
    EXPECT_TRUE(hardware.UpdateDriver(c.hardwareId, (folder.Path() + "\\" + c.inf).c_str(), &reboot));
    EXPECT_FALSE(reboot);

    ASSERT_TRUE(hardware.FindDevice(c.hardwareId, &report));
    EXPECT_EQ(report.GetValue("Service"), service);
    EXPECT_FALSE(report.GetValue("Driver").empty());
    EXPECT_TRUE(FileExists(driverFile)) << driverFile;
    RemoveInstalledDriver(service, device->ReadValue("Driver"), driverFile);
    if (c.systemFile != nullptr) DeleteFileA(SystemFolderFile(c.systemFile).c_str());
}

const InstallCase kInstallCases[] = {
    {"Pl2303Windows7", "VID_067B&PID_2303", "USB\\Vid_067b&Pid_2303", "win7\\2303", "ser2pl.inf", "Ser2pl",
     "ser2pl.sys", "Ser2pl64", "ser2pl64.sys", nullptr},
    {"Pl2303WindowsXp", "VID_067B&PID_2303", "USB\\Vid_067b&Pid_2303", "xp\\2303", "ser2pl.inf", "Ser2pl", "ser2pl.sys",
     "Ser2pl", "ser2pl.sys", nullptr},
    {"Ch341", "VID_1A86&PID_7523", "USB\\VID_1A86&PID_7523", "CH341SER", "CH341SER.INF", "CH341SER", "CH341SER.SYS",
     "CH341SER_A64", "CH341S64.SYS", "CH341PT.DLL"},
};

INSTANTIATE_TEST_SUITE_P(SamplePackages, UpdateDriverTest, testing::ValuesIn(kInstallCases),
                         [](const testing::TestParamInfo<InstallCase>& info) { return info.param.name; });

}  // namespace
