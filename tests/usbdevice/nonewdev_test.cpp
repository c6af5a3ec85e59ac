// A system without a usable NewDev.dll: usbdevice_nonewdev_test runs with the library disabled
// through WINEDLLOVERRIDES, usbdevice_noentry_test in a Wine root whose system folder holds a
// NewDev.dll without the update entry. The update answers false without calling anything, and
// the device queries are unaffected.
#include "xc_installhardware.h"

#include <gtest/gtest.h>

#include "paths.h"
#include "simulated_devices.h"
#include "xc_xml.h"

namespace {

using NoNewDevTest = SimulatedDevicesTest;

TEST_F(NoNewDevTest, UpdateIsFalseAndQueriesStillWork) {
    const HMODULE newdev = LoadLibraryA(SystemDirPath("NewDev.dll").c_str());
    if (newdev != nullptr && GetProcAddress(newdev, "UpdateDriverForPlugAndPlayDevicesA") != nullptr)
        GTEST_SKIP() << "the system's NewDev.dll has the update entry here";
    ASSERT_NE(Plug(Adapter("VID_067B&PID_2303", "USB\\VID_067B&PID_2303&REV_0300")), nullptr);
    XC_InstallHardware hardware;
    EXPECT_EQ(hardware.UpdateDriverProc, nullptr);
    bool reboot = true;
    EXPECT_FALSE(hardware.UpdateDriver(kPl2303Id, "C:\\t\\2303\\ser2pl.inf", &reboot));
    EXPECT_TRUE(reboot);
    XC_Xml report;
    EXPECT_TRUE(hardware.FindDevice(kPl2303Id, &report));
    EXPECT_EQ(report.GetValue("HardwareId"), "USB\\VID_067B&PID_2303&REV_0300");
}

}  // namespace
