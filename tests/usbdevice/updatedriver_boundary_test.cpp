// Driver update failure paths at the system boundary. This program runs in a Wine root whose
// system folder holds a recording NewDev.dll (taken through WINEDLLOVERRIDES=newdev=n): Wine's
// own entry answers TRUE whatever happened, so the answers of a real system (no such device,
// no matching driver, a restart needed) are produced here.
#include "xc_installhardware.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "paths.h"
#include "simulated_devices.h"

namespace {

const char* const kInfPath = "C:\\users\\Public\\Temp\\2303\\ser2pl.inf";
const DWORD kNoSuchDevice = 0xE000020B;  // ERROR_NO_SUCH_DEVINST
const DWORD kInWow64 = 0xE0000235;       // ERROR_IN_WOW64

class RecordedUpdateTest : public testing::Test {
protected:
    void SetUp() override {
        char temp[MAX_PATH];
        GetTempPathA(MAX_PATH, temp);
        log_ = std::string(temp) + "newdev-calls-" + std::to_string(GetCurrentProcessId()) + ".txt";
        DeleteFileA(log_.c_str());
        SetEnvironmentVariableA("TARVIK_NEWDEV_LOG", log_.c_str());
    }
    void TearDown() override {
        SetEnvironmentVariableA("TARVIK_NEWDEV_LOG", nullptr);
        SetEnvironmentVariableA("TARVIK_NEWDEV_ANSWER", nullptr);
        DeleteFileA(log_.c_str());
    }
    std::string Calls() const { return FileContents(log_); }

    std::string log_;
};

TEST_F(RecordedUpdateTest, ProductLoadsTheSystemFolderLibrary) {
    XC_InstallHardware hardware;
    ASSERT_NE(hardware.UpdateDriverProc, nullptr);
    HMODULE newdev = GetModuleHandleA("newdev.dll");
    ASSERT_NE(newdev, nullptr);
    char path[MAX_PATH];
    const DWORD length = GetModuleFileNameA(newdev, path, MAX_PATH);
    EXPECT_EQ(lstrcmpiA(std::string(path, length).c_str(), SystemDirPath("newdev.dll").c_str()), 0) << path;
    EXPECT_TRUE(hardware.UpdateDriver(kPl2303Id, kInfPath));
    EXPECT_NE(Calls(), "") << "the system folder's NewDev.dll is not the recorder";
}

TEST_F(RecordedUpdateTest, PassesIdAndInfWithFlagsZeroAndARebootVariable) {
    XC_InstallHardware hardware;
    EXPECT_TRUE(hardware.UpdateDriver(kPl2303Id, kInfPath));
    bool reboot = true;
    EXPECT_TRUE(hardware.UpdateDriver(kCh341Id, "C:\\t\\ch341\\CH341SER.INF", &reboot));
    EXPECT_FALSE(reboot);
    EXPECT_EQ(Calls(), std::string("none|USB\\Vid_067b&Pid_2303|") + kInfPath + "|0|reboot\n" +
                           "none|USB\\VID_1A86&PID_7523|C:\\t\\ch341\\CH341SER.INF|0|reboot\n");
}

TEST_F(RecordedUpdateTest, RestartRequestReachesTheOutBoolean) {
    SetEnvironmentVariableA("TARVIK_NEWDEV_ANSWER", "reboot");
    XC_InstallHardware hardware;
    bool reboot = false;
    EXPECT_TRUE(hardware.UpdateDriver(kPl2303Id, kInfPath, &reboot));
    EXPECT_TRUE(reboot);
    EXPECT_TRUE(hardware.UpdateDriver(kPl2303Id, kInfPath)) << "no out boolean to set";
}

TEST_F(RecordedUpdateTest, NullArgumentsAreRefusedBeforeTheSystemCall) {
    XC_InstallHardware hardware;
    EXPECT_FALSE(hardware.UpdateDriver(nullptr, kInfPath));
    EXPECT_FALSE(hardware.UpdateDriver(kPl2303Id, nullptr));
    EXPECT_EQ(Calls(), "");
}

struct FailureCase {
    const char* name;
    DWORD error;
};

class RecordedFailureTest : public RecordedUpdateTest, public testing::WithParamInterface<FailureCase> {};

TEST_P(RecordedFailureTest, FailedUpdateIsFalseAndLeavesOutBooleanAlone) {
    SetEnvironmentVariableA("TARVIK_NEWDEV_ANSWER", ("fail " + std::to_string(GetParam().error)).c_str());
    XC_InstallHardware hardware;
    for (bool before : {true, false}) {
        bool reboot = before;
        EXPECT_FALSE(hardware.UpdateDriver(kPl2303Id, kInfPath, &reboot));
        EXPECT_EQ(reboot, before);
    }
    EXPECT_FALSE(hardware.UpdateDriver(kPl2303Id, kInfPath));
}

// The answers a real system gives for each failure the installer may meet.
const FailureCase kFailureCases[] = {
    {"NoDeviceWithId", kNoSuchDevice},
    {"InfDoesNotMatchOrIsNotBetter", ERROR_NO_MORE_ITEMS},
    {"InfMissing", ERROR_FILE_NOT_FOUND},
    {"NoRightToInstall", ERROR_ACCESS_DENIED},
    {"ThirtyTwoBitProcessOn64BitWindows", kInWow64},
};

INSTANTIATE_TEST_SUITE_P(SystemAnswers, RecordedFailureTest, testing::ValuesIn(kFailureCases),
                         [](const testing::TestParamInfo<FailureCase>& info) { return info.param.name; });

}  // namespace
