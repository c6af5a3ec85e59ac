// upd64.exe in the 64-bit prefix: started as the installer starts it, judged by its exit code
// and, for a real installation, by the device tree and the native drivers folder.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "simulated_devices.h"
#include "xc_installhardware.h"
#include "xc_xml.h"

namespace {

const DWORD kRestartRequired = ERROR_SUCCESS_REBOOT_REQUIRED;

class Handle {
public:
    explicit Handle(HANDLE handle = nullptr) : handle_(handle) {}
    ~Handle() {
        if (handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    HANDLE Get() const { return handle_; }

private:
    HANDLE handle_;
};

// The 64-bit system's drivers folder, seen from this 32-bit process.
std::string NativeDriversFile(const char* name) {
    char windows[MAX_PATH];
    const UINT length = GetWindowsDirectoryA(windows, MAX_PATH);
    return std::string(windows, length) + "\\Sysnative\\drivers\\" + name;
}

bool FileExists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// upd64.exe copied into a folder whose name holds a blank, as a user's temporary folder may.
class Upd64Test : public SimulatedDevicesTest {
protected:
    void SetUp() override {
        SimulatedDevicesTest::SetUp();
        ASSERT_FALSE(folder_.Path().empty());
        exe_ = folder_.Path() + "\\upd64.exe";
        ASSERT_TRUE(CopyFileA(TARVIK_UPD64_EXE, exe_.c_str(), FALSE)) << TARVIK_UPD64_EXE;
    }

    // Starts "<exe> <arguments>" (the path quoted or not), waits, returns the exit code; the
    // program's standard error goes to Errors().
    DWORD Run(const std::string& arguments, bool quotedPath = false) {
        // A file per run: processes that the driver installation starts may inherit the handle
        // and keep the previous file open.
        errors_ = folder_.Path() + "\\stderr" + std::to_string(++runs_) + ".txt";
        SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
        Handle errors(CreateFileA(errors_.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
        if (errors.Get() == INVALID_HANDLE_VALUE) return ~0u;
        std::string line = quotedPath ? "\"" + exe_ + "\"" : exe_;
        if (!arguments.empty()) line += " " + arguments;
        STARTUPINFOA startup = {};
        startup.cb = sizeof(startup);
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdError = errors.Get();
        PROCESS_INFORMATION process = {};
        if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process))
            return ~0u;
        Handle thread(process.hThread);
        Handle child(process.hProcess);
        DWORD code = ~0u;
        if (WaitForSingleObject(child.Get(), 60000) == WAIT_OBJECT_0) GetExitCodeProcess(child.Get(), &code);
        return code;
    }

    std::string Errors() const { return FileContents(errors_); }

    // A stand-in NewDev.dll beside the copied program, which then loads it: this program runs
    // with WINEDLLOVERRIDES=newdev=n,b, native before builtin.
    bool UseLibrary(const char* library) {
        return CopyFileA(library, (folder_.Path() + "\\newdev.dll").c_str(), FALSE);
    }

    ScratchFolder folder_{"upd64 test"};
    std::string exe_;
    std::string errors_;
    int runs_ = 0;
};

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
};

INSTANTIATE_TEST_SUITE_P(CommandLines, Upd64ArgumentTest, testing::ValuesIn(kArgumentCases),
                         [](const testing::TestParamInfo<ArgumentCase>& info) { return info.param.name; });

TEST_F(Upd64Test, MissingUpdateEntryExitsWithTwo) {
    ASSERT_TRUE(UseLibrary(TARVIK_NEWDEV_NOENTRY64));
    EXPECT_EQ(Run("\"USB\\Vid_067b&Pid_2303\" \"C:\\t\\ser2pl.inf\""), 2u);
    EXPECT_NE(Errors().find("UpdateDriverForPlugAndPlayDevicesA"), std::string::npos);
}

// Wine's entry never fails, so the failure and the restart come from the recording library.
TEST_F(Upd64Test, FailureAndRestartAnswersOfTheSystem) {
    ASSERT_TRUE(UseLibrary(TARVIK_NEWDEV_RECORDER64));
    const std::string log = folder_.Path() + "\\calls.txt";
    ScopedEnv record("TARVIK_NEWDEV_LOG", log.c_str());
    const std::string arguments = "\"USB\\Vid_067b&Pid_2303\" \"C:\\t\\2303\\ser2pl.inf\"";
    {
        ScopedEnv answer("TARVIK_NEWDEV_ANSWER", "fail 3758096907");
        EXPECT_EQ(Run(arguments), 3u);
        EXPECT_NE(Errors().find("error 3758096907"), std::string::npos) << Errors();
    }
    {
        ScopedEnv answer("TARVIK_NEWDEV_ANSWER", "reboot");
        EXPECT_EQ(Run(arguments), kRestartRequired);
    }
    EXPECT_EQ(Run(arguments, true), 0u);
    const std::string call = "none|USB\\Vid_067b&Pid_2303|C:\\t\\2303\\ser2pl.inf|0|reboot\n";
    EXPECT_EQ(FileContents(log), call + call + call);
}

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

}  // namespace
