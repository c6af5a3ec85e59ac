// A driver update that the system refuses on 32-bit Windows: the installation goes on, every
// application file still arrives, and the result and the log say what failed. Wine's own
// update entry never fails, so this program runs where the recording NewDev.dll stand-in is the
// system library.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "install_fixture.h"
#include "installworker.h"

namespace {

// The system files the Windows 7 set supplies when missing, removed again when the test
// supplied them.
class DriverFailureTest : public InstallTest {
protected:
    void SetUp() override {
        InstallTest::SetUp();
        char system[MAX_PATH];
        char windows[MAX_PATH];
        ASSERT_NE(0u, GetSystemDirectoryA(system, MAX_PATH));
        ASSERT_NE(0u, GetWindowsDirectoryA(windows, MAX_PATH));
        for (const std::string& path :
             {std::string(windows) + "\\inf\\mdmcpq.inf", std::string(system) + "\\drivers\\usbser.sys",
              std::string(system) + "\\drivers\\serenum.sys"})
            if (!FileExists(path)) supplied_.push_back(path);
    }
    void TearDown() override {
        for (const std::string& path : supplied_) DeleteFileA(path.c_str());
        InstallTest::TearDown();
    }

private:
    std::vector<std::string> supplied_;
};

using SYSTEM_SUITE(DriverFailureTest) = DriverFailureTest;

TEST_F(SYSTEM_SUITE(DriverFailureTest), RefusedUpdateFinishesWithErrors) {
    SimulatedAdapter adapter = Adapter("VID_067B&PID_2303", kPl2303Id);
    ASSERT_NE(Plug(adapter), nullptr);
    ASSERT_TRUE(AddDriverEntries(owner_.Payload));
    ASSERT_TRUE(AddAppTree(owner_.Payload, SampleAppTree()));
    const std::string calls = Temp() + "\\newdev calls.txt";
    ScopedEnv record("TARVIK_NEWDEV_LOG", calls.c_str());
    ScopedEnv answer("TARVIK_NEWDEV_ANSWER", "fail 3758096907");  // 0xE000020B: no such device instance

    EXPECT_EQ(InstallResult::FinishedWithErrors, RunInstall(owner_));

    const std::string inf = Temp() + "\\2303\\ser2pl.inf";
    ASSERT_EQ("none|USB\\Vid_067b&Pid_2303|" + inf + "|0|reboot\n", FileContents(calls))
        << "the stand-in NewDev.dll was not the one called";
    EXPECT_EQ(Expected(SampleAppTree()), InstalledTree());
    const std::vector<std::string> statuses = owner_.Statuses();
    ASSERT_FALSE(statuses.empty());
    EXPECT_EQ("Installing driver for Mini Tarvik...", statuses.front());
    const std::vector<std::string> entries = EntriesBesidesStaging();
    ASSERT_EQ(1u, entries.size()) << LogText();
    EXPECT_EQ(0u, entries[0].find("Driver update failed: USB\\Vid_067b&Pid_2303 " + inf + " (error 3758096907"))
        << entries[0];
}

}  // namespace
