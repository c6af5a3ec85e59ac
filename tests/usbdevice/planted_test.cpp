// Planted libraries: the recorder saved as "newdev.dll" and "shell32.dll" in the current folder
// (and, in usbdevice_planted_test, beside this program too), as a download folder may hold
// them next to the installer. This program runs with native libraries of those names preferred
// wherever a search by name finds them; the recorder writes a line to TARVIK_LOAD_LOG whenever
// it is loaded. The device update and the special folders still work, from the system folder.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "paths.h"
#include "registry.h"
#include "simulated_devices.h"
#include "xc_installhardware.h"
#include "xc_xml.h"

namespace {

const char* const kPlantedNames[] = {"newdev.dll", "shell32.dll"};

std::string LoadedPath(const char* module) {
    char path[MAX_PATH];
    const DWORD length = GetModuleFileNameA(GetModuleHandleA(module), path, MAX_PATH);
    return std::string(path, length < MAX_PATH ? length : 0);
}

class PlantedLibrariesTest : public SimulatedDevicesTest {
protected:
    void SetUp() override {
        SimulatedDevicesTest::SetUp();
        ASSERT_TRUE(current_.Ready());
        for (const char* name : kPlantedNames)
            ASSERT_TRUE(CopyFileA(TARVIK_NEWDEV_RECORDER, current_.Child(name).c_str(), FALSE)) << name;
        char previous[MAX_PATH];
        const DWORD length = GetCurrentDirectoryA(MAX_PATH, previous);
        ASSERT_TRUE(length > 0 && length < MAX_PATH);
        previous_.assign(previous, length);
        ASSERT_TRUE(SetCurrentDirectoryA(current_.Path().c_str()));
        loads_ = current_.Child("loads.txt");
        SetEnvironmentVariableA("TARVIK_LOAD_LOG", loads_.c_str());
    }
    void TearDown() override {
        SetEnvironmentVariableA("TARVIK_LOAD_LOG", nullptr);
        SetCurrentDirectoryA(previous_.c_str());
        SimulatedDevicesTest::TearDown();
    }

    std::string Loads() const { return FileContents(loads_); }

    ScratchFolder current_{"planted"};
    std::string previous_;
    std::string loads_;
};

// The check cannot pass by accident: a planted library that is loaded says so.
TEST_F(PlantedLibrariesTest, PlantedLibraryRecordsItsLoad) {
    const std::string planted = current_.Child("shell32.dll");
    HMODULE library = LoadLibraryA(planted.c_str());
    ASSERT_NE(library, nullptr);
    EXPECT_EQ(Loads(), "loaded " + planted + "\n");
    FreeLibrary(library);
}

TEST_F(PlantedLibrariesTest, DeviceUpdateUsesTheSystemLibrary) {
    // The package's model of this program's word size is the one installed.
    const bool program64 = sizeof(void*) == 8;
    const char* service = program64 ? "Ser2pl64" : "Ser2pl";
    const std::string driverFile = SystemDirPath(program64 ? "drivers\\ser2pl64.sys" : "drivers\\ser2pl.sys");
    RemoveInstalledDriver(service, "", driverFile);
    ASSERT_EQ(GetFileAttributesA(driverFile.c_str()), INVALID_FILE_ATTRIBUTES);
    SimulatedDevice* device = Plug(Adapter("VID_067B&PID_2303", kPl2303Id));
    ASSERT_NE(device, nullptr);
    ScratchFolder package("planted package");
    ASSERT_TRUE(CopySamplePackage("win7\\2303", package.Path()));

    XC_InstallHardware hardware;
    ASSERT_NE(hardware.UpdateDriverProc, nullptr);
    EXPECT_EQ(lstrcmpiA(LoadedPath("newdev.dll").c_str(), SystemDirPath("newdev.dll").c_str()), 0)
        << LoadedPath("newdev.dll");
    EXPECT_TRUE(hardware.UpdateDriver(kPl2303Id, package.Child("ser2pl.inf").c_str()));
    XC_Xml report;
    ASSERT_TRUE(hardware.FindDevice(kPl2303Id, &report));
    EXPECT_EQ(report.GetValue("Service"), service);
    EXPECT_NE(GetFileAttributesA(driverFile.c_str()), INVALID_FILE_ATTRIBUTES) << driverFile;
    EXPECT_EQ(Loads(), "");
    RemoveInstalledDriver(service, device->ReadValue("Driver"), driverFile);
}

TEST_F(PlantedLibrariesTest, SpecialFoldersUseTheSystemLibrary) {
    for (int folder : {38, 23, 16}) EXPECT_FALSE(SpecialFolderPath(folder).empty()) << folder;
    EXPECT_EQ(Loads(), "");
}

// What the installer does first: afterwards even a load by bare name takes the system folder's,
// and the loads by full path still work.
TEST_F(PlantedLibrariesTest, RestrictedSearchTakesOnlyTheSystemFolder) {
    RestrictDllSearch();
    for (const char* name : kPlantedNames) {
        HMODULE library = LoadLibraryA(name);
        ASSERT_NE(library, nullptr) << name;
        EXPECT_EQ(lstrcmpiA(LoadedPath(name).c_str(), SystemDirPath(name).c_str()), 0) << LoadedPath(name);
    }
    XC_InstallHardware hardware;
    EXPECT_NE(hardware.UpdateDriverProc, nullptr);
    EXPECT_FALSE(SpecialFolderPath(38).empty());
    EXPECT_EQ(Loads(), "");
}

}  // namespace
