// upd64.exe in the 64-bit prefix with the real NewDev.dll: started as the installer starts it,
// judged by its exit code and, for a real installation, by the device tree and the native
// drivers folder; a planted "newdev.dll" or "shell32.dll" is never loaded.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "simulated_devices.h"
#include "upd64_fixture.h"
#include "xc_installhardware.h"
#include "xc_xml.h"

namespace {

struct ArgumentCase {
    const char* name;
    const char* arguments;
};

class Upd64ArgumentTest : public Upd64Test, public testing::WithParamInterface<ArgumentCase> {};

TEST_P(Upd64ArgumentTest, BadArgumentsExitWithOne) {
    EXPECT_EQ(Run(GetParam().arguments), 1u);
    EXPECT_EQ(Run(GetParam().arguments, true), 1u);
    EXPECT_NE(Errors().find("usage"), std::string::npos);
}

const ArgumentCase kArgumentCases[] = {
    {"None", ""},
    {"OnlyTheId", "\"USB\\Vid_067b&Pid_2303\""},
    {"Unquoted", "USB\\Vid_067b&Pid_2303 C:\\t\\ser2pl.inf"},
    {"EmptyId", "\"\" \"C:\\t\\ser2pl.inf\""},
    {"EmptyInf", "\"USB\\Vid_067b&Pid_2303\" \"\""},
    {"UnclosedQuote", "\"USB\\Vid_067b&Pid_2303\" \"C:\\t\\ser2pl.inf"},
    {"StageWithoutInf", "/stage"},
    {"StageUnquotedInf", "/stage C:\\t\\ser2pl.inf"},
    {"StageEmptyInf", "/stage \"\""},
    {"OtherSwitch", "/stag \"C:\\t\\ser2pl.inf\""},
    {"SwitchAfterInf", "\"C:\\t\\ser2pl.inf\" /stage"},
};

INSTANTIATE_TEST_SUITE_P(CommandLines, Upd64ArgumentTest, testing::ValuesIn(kArgumentCases),
                         [](const testing::TestParamInfo<ArgumentCase>& info) { return info.param.name; });

struct Install64Case {
    const char* name;
    const char* device;
    const char* hardwareId;
    const char* package;
    const char* inf;
    const char* service;     // the 64-bit model's service
    const char* driverFile;  // the 64-bit model's driver
    bool quotedPath;
};

class Upd64InstallTest : public Upd64Test, public testing::WithParamInterface<Install64Case> {};

TEST_P(Upd64InstallTest, InstallsSamplePackageForSimulatedAdapter) {
    const Install64Case& c = GetParam();
    const std::string driverFile = NativeDriversFile(c.driverFile);
    RemoveInstalledDriver(c.service, "", driverFile);
    if (FileExists(driverFile)) GTEST_SKIP() << "no access to the 64-bit drivers folder";

    SimulatedDevice* device = Plug(Adapter(c.device, c.hardwareId));
    ASSERT_NE(device, nullptr);
    ASSERT_TRUE(CopySamplePackage(c.package, folder_.Path()));
    const std::string inf = folder_.Path() + "\\" + c.inf;

    // The command line as the installer builds it: the path unquoted unless asked otherwise.
    EXPECT_EQ(Run("\"" + std::string(c.hardwareId) + "\" \"" + inf + "\"", c.quotedPath), 0u) << Errors();

    XC_InstallHardware hardware;
    XC_Xml report;
    ASSERT_TRUE(hardware.FindDevice(c.hardwareId, &report));
    EXPECT_EQ(report.GetValue("Service"), c.service);
    EXPECT_TRUE(FileExists(driverFile)) << driverFile;
    RemoveInstalledDriver(c.service, device->ReadValue("Driver"), driverFile);
}

const Install64Case kInstall64Cases[] = {
    {"Pl2303", "VID_067B&PID_2303", "USB\\Vid_067b&Pid_2303", "win7\\2303", "ser2pl.inf", "Ser2pl64", "ser2pl64.sys",
     false},
    {"Ch341QuotedPath", "VID_1A86&PID_7523", "USB\\VID_1A86&PID_7523", "CH341SER", "CH341SER.INF", "CH341SER_A64",
     "CH341S64.SYS", true},
};

INSTANTIATE_TEST_SUITE_P(SamplePackages, Upd64InstallTest, testing::ValuesIn(kInstall64Cases),
                         [](const testing::TestParamInfo<Install64Case>& info) { return info.param.name; });

struct StageCase {
    const char* name;
    const char* package;
    const char* inf;
    const char* stageSwitch;
    bool quotedPath;
};

class Upd64StageTest : public Upd64Test, public testing::WithParamInterface<StageCase> {};

// The staging form puts the INF's bytes into the INF folder once, however often it runs.
TEST_P(Upd64StageTest, StagesPackageOnceInTheStore) {
    const StageCase& c = GetParam();
    ASSERT_TRUE(CopySamplePackage(c.package, folder_.Path()));
    const std::string inf = folder_.Path() + "\\" + c.inf;
    const std::string bytes = FileContents(inf);
    ASSERT_FALSE(bytes.empty());
    RemoveStoreCopies(bytes);
    ASSERT_TRUE(StoreCopies(bytes).empty());

    const std::string arguments = std::string(c.stageSwitch) + " \"" + inf + "\"";
    EXPECT_EQ(Run(arguments, c.quotedPath), 0u) << Errors();
    EXPECT_EQ(StoreCopies(bytes).size(), 1u);
    EXPECT_EQ(Run(arguments, c.quotedPath), 0u) << Errors();
    EXPECT_EQ(StoreCopies(bytes).size(), 1u);
    RemoveStoreCopies(bytes);
}

const StageCase kStageCases[] = {
    {"Pl2303", "win7\\2303", "ser2pl.inf", "/stage", false},
    {"Ch341UpperCaseQuotedPath", "CH341SER", "CH341SER.INF", "/STAGE", true},
};

INSTANTIATE_TEST_SUITE_P(SamplePackages, Upd64StageTest, testing::ValuesIn(kStageCases),
                         [](const testing::TestParamInfo<StageCase>& info) { return info.param.name; });

TEST_F(Upd64Test, StagingAMissingInfExitsWithThree) {
    EXPECT_EQ(Run("/stage \"" + folder_.Child("missing.inf") + "\""), 3u);
    EXPECT_NE(Errors().find("staging"), std::string::npos) << Errors();
}

enum class PlantSite { BesideProgram, CurrentFolder };

struct PlantCase {
    const char* name;
    PlantSite site;
};

class Upd64PlantedTest : public Upd64Test, public testing::WithParamInterface<PlantCase> {};

// The recorder planted as "newdev.dll" and "shell32.dll" beside the program or in its current
// folder (a download folder) is never loaded; the system folder's library installs the driver.
TEST_P(Upd64PlantedTest, PlantedLibrariesAreNeverLoaded) {
    const std::string driverFile = NativeDriversFile("ser2pl64.sys");
    RemoveInstalledDriver("Ser2pl64", "", driverFile);
    if (FileExists(driverFile)) GTEST_SKIP() << "no access to the 64-bit drivers folder";
    ScratchFolder current("upd64 current");
    ASSERT_TRUE(current.Ready());
    const std::string site = GetParam().site == PlantSite::BesideProgram ? folder_.Path() : current.Path();
    for (const char* name : {"newdev.dll", "shell32.dll"})
        ASSERT_TRUE(CopyFileA(TARVIK_NEWDEV_RECORDER64, (site + "\\" + name).c_str(), FALSE)) << name;
    const std::string loads = current.Child("loads.txt");
    ScopedEnv record("TARVIK_LOAD_LOG", loads.c_str());

    SimulatedDevice* device = Plug(Adapter("VID_067B&PID_2303", kPl2303Id));
    ASSERT_NE(device, nullptr);
    ASSERT_TRUE(CopySamplePackage("win7\\2303", folder_.Path()));
    const std::string inf = folder_.Path() + "\\ser2pl.inf";
    EXPECT_EQ(Run("\"" + std::string(kPl2303Id) + "\" \"" + inf + "\"", false, current.Path()), 0u) << Errors();

    EXPECT_EQ(FileContents(loads), "");
    XC_InstallHardware hardware;
    XC_Xml report;
    ASSERT_TRUE(hardware.FindDevice(kPl2303Id, &report));
    EXPECT_EQ(report.GetValue("Service"), "Ser2pl64");
    EXPECT_TRUE(FileExists(driverFile)) << driverFile;
    RemoveInstalledDriver("Ser2pl64", device->ReadValue("Driver"), driverFile);
}

const PlantCase kPlantCases[] = {
    {"BesideProgram", PlantSite::BesideProgram},
    {"CurrentFolder", PlantSite::CurrentFolder},
};

INSTANTIATE_TEST_SUITE_P(Sites, Upd64PlantedTest, testing::ValuesIn(kPlantCases),
                         [](const testing::TestParamInfo<PlantCase>& info) { return info.param.name; });

}  // namespace
