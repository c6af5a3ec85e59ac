// upd64.exe where the system folder's NewDev.dll lacks the driver update entry.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "upd64_fixture.h"

namespace {

TEST_F(Upd64Test, MissingUpdateEntryExitsWithTwo) {
    EXPECT_EQ(Run("\"USB\\Vid_067b&Pid_2303\" \"C:\\t\\ser2pl.inf\""), 2u);
    EXPECT_NE(Errors().find("UpdateDriverForPlugAndPlayDevicesA"), std::string::npos) << Errors();
}

}  // namespace
