// A system without a loadable NewDev.dll (this program runs with the library disabled through
// WINEDLLOVERRIDES): the update answers false, and the device queries are unaffected.
#include "xc_installhardware.h"

#include <gtest/gtest.h>

#include "simulated_devices.h"
#include "xc_xml.h"

namespace {

using NoNewDevTest = SimulatedDevicesTest;

TEST_F(NoNewDevTest, UpdateIsFalseAndQueriesStillWork) {
    if (LoadLibraryA("NewDev.dll") != nullptr) GTEST_SKIP() << "NewDev.dll is not disabled here";
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
