// The install worker under Wine on the real API, in the prefix and Windows version this
// executable is built for: driver sets proven from the device tree and the files they leave,
// the deployment proven from the install tree, the statuses and the shortcuts.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "install_fixture.h"
#include "installworker.h"
#include "payloadkeys.h"
#include "permissions.h"
#include "registry.h"
#include "xc_installhardware.h"
#include "xc_xml.h"

#ifndef TARVIK_EXPECT_SET
#error "TARVIK_EXPECT_SET: the driver set this system gets (0 none, 1 Windows XP, 2 Windows 7)"
#endif

namespace {

enum ExpectedSet { kNoSet = 0, kXpSet = 1, kWin7Set = 2 };
const ExpectedSet kSet = ExpectedSet(TARVIK_EXPECT_SET);
const bool kUpdater64 = TARVIK_EXPECT_UPDATER64 != 0;
const DWORD kUpdaterWaitMs = 60000;

const char kInstallingDriver[] = "Installing driver for Mini Tarvik...";
const DWORD kArrivalWaitMs = 60000;

std::vector<std::string> CopyingStatuses(size_t files) {
    std::vector<std::string> statuses;
    for (size_t i = 0; i < files; ++i) statuses.push_back("Copying files " + std::to_string(i * 100 / files) + "%");
    return statuses;
}

std::string SystemFile(const char* relative) {
    char folder[MAX_PATH];
    const UINT length = GetSystemDirectoryA(folder, MAX_PATH);
    return std::string(folder, length) + "\\" + relative;
}

std::string WindowsFile(const char* relative) {
    char folder[MAX_PATH];
    const UINT length = GetWindowsDirectoryA(folder, MAX_PATH);
    return std::string(folder, length) + "\\" + relative;
}

struct AdapterRow {
    const char* device;
    const char* hardwareId;
    const char* folder;  // working folder under the temporary folder
    const char* inf;
    std::vector<std::pair<const char*, const char*>> xpFiles;    // name, sample file
    std::vector<std::pair<const char*, const char*>> win7Files;  // name, sample file ("" : the updater)
    const char* service;
    const char* service64;
    const char* driverFile;
    const char* driverFile64;
};

const AdapterRow kPl2303 = {
    "VID_067B&PID_2303",
    "USB\\Vid_067b&Pid_2303",
    "2303",
    "ser2pl.inf",
    {{"ser2pl.cat", "xp\\2303\\ser2pl.cat"},
     {"ser2pl.inf", "xp\\2303\\ser2pl.inf"},
     {"ser2pl.sys", "xp\\2303\\ser2pl.sys"}},
    {{"ser2pl.cat", "win7\\2303\\ser2pl.cat"},
     {"ser2pl.inf", "win7\\2303\\ser2pl.inf"},
     {"ser2pl.sys", "win7\\2303\\ser2pl.sys"},
     {"ser2pl64.sys", "win7\\2303\\ser2pl64.sys"},
     {"upd64.exe", ""}},
    "Ser2pl",
    "Ser2pl64",
    "ser2pl.sys",
    "ser2pl64.sys",
};

const AdapterRow kCh341 = {
    "VID_1A86&PID_7523",
    "USB\\VID_1A86&PID_7523",
    "ch341",
    "CH341SER.INF",
    {{"CH341SER.INF", "CH341SER\\CH341SER.INF"},
     {"ch341SER.CAT", "CH341SER\\ch341SER.CAT"},
     {"CH341SER.SYS", "CH341SER\\CH341SER.SYS"},
     {"CH341PT.DLL", "CH341SER\\CH341PT.DLL"}},
    {{"CH341PT.DLL", "CH341SER\\CH341PT.DLL"},
     {"CH341SER.INF", "CH341SER\\CH341SER.INF"},
     {"ch341SER.CAT", "CH341SER\\ch341SER.CAT"},
     {"CH341SER.SYS", "CH341SER\\CH341SER.SYS"},
     {"CH341S64.SYS", "CH341SER\\CH341S64.SYS"},
     {"upd64.exe", ""}},
    "CH341SER",
    "CH341SER_A64",
    "CH341SER.SYS",
    "CH341S64.SYS",
};

// File names exactly as found in folder, letter case included.
std::vector<std::string> NamesIn(const std::string& folder) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(found.cFileName);
    } while (FindNextFileA(search, &found));
    FindClose(search);
    std::sort(names.begin(), names.end());
    return names;
}

// The three system files the drivers need, put back as they were after the test.
struct FixTarget {
    std::string path;
    const char* xpSample;  // null: not supplied on Windows XP
    const char* win7Sample;
};

class SavedFile {
public:
    explicit SavedFile(const std::string& path) : path_(path), existed_(ReadFileBytes(path, &bytes_)) {}
    ~SavedFile() {
        DeleteFileA(path_.c_str());
        if (existed_) {
            FILE* file = fopen(path_.c_str(), "wb");
            if (file != nullptr) {
                fwrite(bytes_.data(), 1, bytes_.size(), file);
                fclose(file);
            }
        }
    }

private:
    std::string path_;
    std::string bytes_;
    bool existed_;
};

class DriverInstallTest : public InstallTest {
protected:
    void SetUp() override {
        InstallTest::SetUp();
        if (HasFatalFailure()) return;
        fixes_ = {{WindowsFile("inf\\mdmcpq.inf"), "xp\\fix\\mdmcpq.inf", "win7\\fix\\mdmcpq.inf"},
                  {SystemFile("drivers\\usbser.sys"), "xp\\fix\\usbser.sys", "win7\\fix\\usbser.sys"},
                  {SystemFile("drivers\\serenum.sys"), nullptr, "win7\\fix\\serenum.sys"}};
        for (const FixTarget& fix : fixes_) saved_.push_back(std::make_unique<SavedFile>(fix.path));
        // A real 64-bit Windows 7 has the drivers folder for 32-bit programs (SysWOW64\drivers),
        // which a 32-bit program's system folder leads to; the Wine prefix lacks it.
        if (kUpdater64) CreateDirectoryA(SystemFile("drivers").c_str(), nullptr);
        ASSERT_TRUE(AddDriverEntries(owner_.Payload));
        ASSERT_TRUE(AddAppTree(owner_.Payload, SampleAppTree()));
    }
    void TearDown() override {
        for (const AdapterRow* row : plugged_) {
            const char* service = kUpdater64 ? row->service64 : row->service;
            RemoveInstalledDriver(service, driverKeys_[row],
                                  NativeDriversFile(kUpdater64 ? row->driverFile64 : row->driverFile));
        }
        DeleteFileA(SystemFile("CH341PT.DLL").c_str());
        saved_.clear();
        InstallTest::TearDown();
    }

    SimulatedDevice* PlugRow(const AdapterRow& row, const char* service = "") {
        SimulatedAdapter adapter = Adapter(row.device, row.hardwareId);
        adapter.service = service;
        SimulatedDevice* device = Plug(adapter);
        if (device != nullptr && *service == '\0') {
            plugged_.push_back(&row);
            const std::string driverFile = NativeDriversFile(kUpdater64 ? row.driverFile64 : row.driverFile);
            RemoveInstalledDriver(kUpdater64 ? row.service64 : row.service, "", driverFile);
        }
        devices_[&row] = device;
        return device;
    }

    // The adapter's service once its driver is bound; the 64-bit updater runs on its own.
    std::string BoundService(const AdapterRow& row) {
        XC_InstallHardware hardware;
        XC_Xml report;
        const DWORD start = GetTickCount();
        for (;;) {
            if (hardware.FindDevice(row.hardwareId, &report) && !report.GetValue("Service").empty()) break;
            if (!kUpdater64 || GetTickCount() - start > kUpdaterWaitMs) break;
            Sleep(100);
        }
        driverKeys_[&row] = devices_[&row]->ReadValue("Driver");
        return report.GetValue("Service");
    }

    void ExpectPackage(const AdapterRow& row) { ExpectPackageIn(row, Temp() + "\\" + row.folder); }

    // The adapter's package folder: its files have the package's bytes, and no others are there.
    void ExpectPackageIn(const AdapterRow& row, const std::string& folder) {
        const auto& files = kSet == kXpSet ? row.xpFiles : row.win7Files;
        std::vector<std::string> names;
        for (const auto& file : files) {
            names.push_back(file.first);
            const std::string expected = *file.second ? SampleDriverBytes(file.second) : FileContents(TARVIK_UPD64_EXE);
            ASSERT_FALSE(expected.empty()) << file.first;
            EXPECT_EQ(expected, FileContents(folder + "\\" + file.first)) << file.first;
        }
        std::sort(names.begin(), names.end());
        EXPECT_EQ(names, NamesIn(folder));
    }

    std::string UpdaterLine(const AdapterRow& row) const {
        const std::string folder = Temp() + "\\" + row.folder;
        return "\"" + folder + "\\upd64.exe\" \"" + row.hardwareId + "\" \"" + folder + "\\" + row.inf + "\"";
    }

    std::vector<FixTarget> fixes_;
    std::vector<std::unique_ptr<SavedFile>> saved_;
    std::vector<const AdapterRow*> plugged_;
    std::map<const AdapterRow*, SimulatedDevice*> devices_;
    std::map<const AdapterRow*, std::string> driverKeys_;
};

using SYSTEM_SUITE(DriverInstallTest) = DriverInstallTest;

struct RowCase {
    const char* name;
    std::vector<const AdapterRow*> rows;
};

class DriverRowTest : public DriverInstallTest, public testing::WithParamInterface<RowCase> {};

void PrintTo(const RowCase& row, std::ostream* out) { *out << row.name; }

using SYSTEM_SUITE(DriverRowTest) = DriverRowTest;

// Fix files missing before the run: each set supplies its own, from the builder's keys.
TEST_P(SYSTEM_SUITE(DriverRowTest), AdapterWithoutDriverGetsItsSet) {
    for (const FixTarget& fix : fixes_) DeleteFileA(fix.path.c_str());
    for (const AdapterRow* row : GetParam().rows) ASSERT_NE(PlugRow(*row), nullptr);

    EXPECT_EQ(InstallResult::Success, RunInstall(owner_));

    std::vector<std::string> statuses;
    if (kSet != kNoSet) statuses.assign(GetParam().rows.size(), kInstallingDriver);
    for (const std::string& status : CopyingStatuses(SampleAppTree().files.size())) statuses.push_back(status);
    EXPECT_EQ(statuses, owner_.Statuses());

    for (const FixTarget& fix : fixes_) {
        const char* sample = kSet == kXpSet ? fix.xpSample : kSet == kWin7Set ? fix.win7Sample : nullptr;
        if (sample == nullptr)
            EXPECT_FALSE(FileExists(fix.path)) << fix.path;
        else
            EXPECT_EQ(SampleDriverBytes(sample), FileContents(fix.path)) << fix.path;
    }

    std::vector<std::string> updaterLines;
    for (const AdapterRow* row : GetParam().rows) {
        SCOPED_TRACE(row->hardwareId);
        if (kSet == kNoSet) {
            EXPECT_FALSE(FileExists(Temp() + "\\" + row->folder));
            continue;
        }
        ExpectPackage(*row);
        EXPECT_EQ(kUpdater64 ? row->service64 : row->service, BoundService(*row));
        EXPECT_TRUE(FileExists(NativeDriversFile(kUpdater64 ? row->driverFile64 : row->driverFile)));
        if (kUpdater64) updaterLines.push_back(UpdaterLine(*row));
    }
    // Besides the staging, the updater's command line, path quoted, is the log's only entry on
    // success.
    EXPECT_EQ(updaterLines, EntriesBesidesStaging());
}

const RowCase kRowCases[] = {
    {"Pl2303", {&kPl2303}},
    {"Ch341", {&kCh341}},
    {"BothAdapters", {&kPl2303, &kCh341}},
};

SYSTEM_INSTANTIATE(Rows, SYSTEM_SUITE(DriverRowTest), testing::ValuesIn(kRowCases),
                   [](const testing::TestParamInfo<RowCase>& info) { return info.param.name; });

TEST_F(SYSTEM_SUITE(DriverInstallTest), PresentFixFilesAreNeverReplaced) {
    if (kSet == kNoSet) GTEST_SKIP() << "no driver set on this system";
    const FILETIME old = {0x12345678, 0x01c00000};
    for (const FixTarget& fix : fixes_) {
        FILE* file = fopen(fix.path.c_str(), "wb");
        ASSERT_NE(file, nullptr) << fix.path;
        fputs("present before the install", file);
        fclose(file);
        HANDLE handle = CreateFileA(fix.path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(handle, INVALID_HANDLE_VALUE);
        EXPECT_TRUE(SetFileTime(handle, nullptr, nullptr, &old));
        CloseHandle(handle);
    }
    ASSERT_NE(PlugRow(kPl2303), nullptr);

    RunInstall(owner_);
    BoundService(kPl2303);

    for (const FixTarget& fix : fixes_) {
        EXPECT_EQ("present before the install", FileContents(fix.path)) << fix.path;
        WIN32_FILE_ATTRIBUTE_DATA data = {};
        ASSERT_TRUE(GetFileAttributesExA(fix.path.c_str(), GetFileExInfoStandard, &data));
        EXPECT_EQ(old.dwLowDateTime, data.ftLastWriteTime.dwLowDateTime) << fix.path;
        EXPECT_EQ(old.dwHighDateTime, data.ftLastWriteTime.dwHighDateTime) << fix.path;
    }
}

// The driver status comes only for an adapter that needs a driver.
TEST_F(SYSTEM_SUITE(DriverInstallTest), AdapterWithDriverIsLeftAlone) {
    ASSERT_NE(PlugRow(kPl2303, "Ser2pl"), nullptr);
    EXPECT_EQ(InstallResult::Success, RunInstall(owner_));
    EXPECT_EQ(CopyingStatuses(SampleAppTree().files.size()), owner_.Statuses());
    EXPECT_FALSE(FileExists(Temp() + "\\2303"));
    EXPECT_TRUE(EntriesBesidesStaging().empty()) << LogText();
}

TEST_F(SYSTEM_SUITE(DriverInstallTest), NoAdapterGoesStraightToDeployment) {
    EXPECT_EQ(InstallResult::Success, RunInstall(owner_));
    EXPECT_EQ(CopyingStatuses(SampleAppTree().files.size()), owner_.Statuses());
    EXPECT_FALSE(FileExists(Temp() + "\\2303"));
    EXPECT_FALSE(FileExists(Temp() + "\\ch341"));
    EXPECT_EQ(Expected(SampleAppTree()), InstalledTree());
}

// Windows' own installation of an arriving device, by the helper built for this system's
// word size; its exit code, or ~0 when it did not end in time (Wine asks for a missing source
// without end) and was killed.
DWORD InstallArrivingDevice(const char* hardwareId) {
    std::string line = std::string("\"") + TARVIK_DEVICE_ARRIVAL_EXE + "\" \"" + hardwareId + "\"";
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &startup,
                        &process))
        return ~0u;
    DWORD code = ~0u;
    if (WaitForSingleObject(process.hProcess, kArrivalWaitMs) == WAIT_OBJECT_0)
        GetExitCodeProcess(process.hProcess, &code);
    else
        TerminateProcess(process.hProcess, ~0u);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return code;
}

// The bytes of the adapter's INF in this system's set.
std::string PackageInf(const AdapterRow& row) {
    for (const auto& file : kSet == kXpSet ? row.xpFiles : row.win7Files)
        if (std::string(file.first) == row.inf) return SampleDriverBytes(file.second);
    return std::string();
}

// Windows names the store's copy oemN.inf; Wine 8 keeps the INF's own name.
bool IsStoreName(const std::string& path, const char* inf) {
    const std::string name = path.substr(path.rfind('\\') + 1);
    if (lstrcmpiA(name.c_str(), inf) == 0) return true;
    unsigned number = 0;
    char end[8] = {};
    return sscanf(name.c_str(), "oem%u.%7s", &number, end) == 2 && lstrcmpiA(end, "inf") == 0;
}

const AdapterRow* const kBothRows[] = {&kPl2303, &kCh341};

// No adapter during the install: both packages are staged from their permanent folders, and
// adapters plugged in afterwards, with the temporary folder cleaned, get their drivers through
// Windows' own device installation.
TEST_F(SYSTEM_SUITE(DriverInstallTest), StagedPackagesServeAdaptersPluggedInLater) {
    if (kSet == kNoSet) GTEST_SKIP() << "no driver set on this system";
    EXPECT_EQ(InstallResult::Success, RunInstall(owner_));

    std::vector<std::string> expected;
    for (const AdapterRow* row : kBothRows) {
        SCOPED_TRACE(row->hardwareId);
        const std::string folder = PackageHome() + "\\" + row->folder;
        const std::string inf = folder + "\\" + row->inf;
        ExpectPackageIn(*row, folder);
        const std::vector<std::string> copies = StoreCopies(PackageInf(*row));
        ASSERT_EQ(1u, copies.size()) << "the INF's bytes in the INF folder";
        EXPECT_TRUE(IsStoreName(copies[0], row->inf)) << copies[0];
        if (kUpdater64) {
            expected.push_back("\"" + folder + "\\upd64.exe\" /stage \"" + inf + "\"");
            expected.push_back("Driver package staged by the 64-bit driver updater: " + inf);
        } else {
            expected.push_back("Driver package staged: " + inf + " as " + copies[0]);
        }
    }
    EXPECT_EQ(expected, StagingEntries());
    EXPECT_TRUE(EntriesBesidesStaging().empty()) << LogText();

    for (const AdapterRow* row : kBothRows) ScratchFolder::RemoveTree(Temp() + "\\" + row->folder);
    for (const AdapterRow* row : kBothRows) {
        SCOPED_TRACE(row->hardwareId);
        ASSERT_NE(PlugRow(*row), nullptr);
        EXPECT_EQ(0u, InstallArrivingDevice(row->hardwareId));
        EXPECT_EQ(kUpdater64 ? row->service64 : row->service, BoundService(*row));
        EXPECT_TRUE(FileExists(NativeDriversFile(kUpdater64 ? row->driverFile64 : row->driverFile)));
    }
}

// The 64-bit updater that installs a present adapter's driver shows its console only when a
// person watches the install (the window's): an unattended one shows no window at all. A
// recorder stands in for the updater and notes how it was asked to show.
TEST_F(SYSTEM_SUITE(DriverInstallTest), UpdaterConsoleShowsOnlyToAWatchedInstall) {
    if (!kUpdater64) GTEST_SKIP() << "no 64-bit updater on this system";
    ASSERT_NE(PlugRow(kPl2303), nullptr);
    const std::string marker = Temp() + "\\" + kPl2303.folder + "\\upd64.exe.ran";
    for (const bool watched : {false, true}) {
        SCOPED_TRACE(watched ? "watched" : "unattended");
        RecordingOwner owner;
        owner.watched = watched;
        ASSERT_TRUE(AddDriverEntries(owner.Payload, TARVIK_LAUNCH_RECORDER_EXE));
        ASSERT_TRUE(AddAppTree(owner.Payload, SampleAppTree()));
        DeleteFileA(marker.c_str());
        EXPECT_EQ(InstallResult::Success, RunInstall(owner));
        // Started, not awaited.
        for (int tries = 0; tries < 100 && FileContents(marker).empty(); ++tries) Sleep(100);
        EXPECT_EQ(watched ? "show=1\r\n" : "show=0\r\n", FileContents(marker));
    }
}

// The driver's working folder and its package folder, made first by another user with an
// entry that lets everyone change them and a program of theirs inside: neither is used as it
// is. Each is made new, the log says so, and the updater started is the payload's.
TEST_F(SYSTEM_SUITE(DriverInstallTest), FoldersAnotherUserMadeFirstAreMadeNew) {
    if (kSet == kNoSet) GTEST_SKIP() << "no driver set on this system";
    ASSERT_NE(PlugRow(kPl2303), nullptr);
    ASSERT_TRUE(CreateDirectoryA((SpecialFolderPath(35) + "\\MiniTarvik").c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryA(PackageHome().c_str(), nullptr));
    const std::string folders[] = {Temp() + "\\" + kPl2303.folder, PackageHome() + "\\" + kPl2303.folder};
    XC_WorldSid world;
    for (const std::string& folder : folders) {
        ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr)) << folder;
        ASSERT_TRUE(GrantSidAccess(folder.c_str(), world.Get(), GENERIC_ALL)) << folder;
        for (const char* name : {"\\upd64.exe", "\\theirs.exe"}) {
            FILE* file = fopen((folder + name).c_str(), "wb");
            ASSERT_NE(nullptr, file) << folder + name;
            fputs("another user's", file);
            fclose(file);
        }
    }

    EXPECT_EQ(InstallResult::Success, RunInstall(owner_)) << LogText();

    for (const std::string& folder : folders) {
        EXPECT_FALSE(FileExists(folder + "\\theirs.exe")) << folder;
        EXPECT_NE("another user's", FileContents(folder + "\\upd64.exe")) << folder;
        const std::string made = "Made new, the folder that was there removed with what it held: " + folder;
        const std::vector<std::string> entries = LogEntries();
        EXPECT_NE(entries.end(), std::find(entries.begin(), entries.end(), made)) << LogText();
    }
    if (kUpdater64) EXPECT_EQ(FileContents(TARVIK_UPD64_EXE), FileContents(folders[0] + "\\upd64.exe"));
}

// A file another user put where a working folder goes is removed the same way.
TEST_F(SYSTEM_SUITE(DriverInstallTest), AFileWhereAWorkingFolderGoesIsReplaced) {
    if (kSet == kNoSet) GTEST_SKIP() << "no driver set on this system";
    ASSERT_NE(PlugRow(kPl2303), nullptr);
    const std::string folder = Temp() + "\\" + kPl2303.folder;
    FILE* file = fopen(folder.c_str(), "wb");
    ASSERT_NE(nullptr, file);
    fputs("another user's", file);
    fclose(file);

    EXPECT_EQ(InstallResult::Success, RunInstall(owner_)) << LogText();

    EXPECT_TRUE(IsFolder(folder));
    const std::string made = "Made new, the folder that was there removed with what it held: " + folder;
    const std::vector<std::string> entries = LogEntries();
    EXPECT_NE(entries.end(), std::find(entries.begin(), entries.end(), made)) << LogText();
}

// A second install finds the packages in the store: no second copy, and success again.
TEST_F(SYSTEM_SUITE(DriverInstallTest), StagingTwiceLeavesOneCopyInTheStore) {
    if (kSet == kNoSet) GTEST_SKIP() << "no driver set on this system";
    EXPECT_EQ(InstallResult::Success, RunInstall(owner_));
    EXPECT_EQ(InstallResult::Success, RunInstall(owner_));

    size_t staged = 0;
    for (const std::string& entry : StagingEntries()) staged += entry.compare(0, 21, "Driver package staged") == 0;
    EXPECT_EQ(4u, staged) << LogText();
    for (const AdapterRow* row : kBothRows) EXPECT_EQ(1u, StoreCopies(PackageInf(*row)).size()) << row->inf;
}

// Staging that cannot write its permanent folder (a file stands where it belongs): logged, and
// still no install error, as the adapter may never come. (The folder above it is also the
// uninstaller's, so only the packages' own folder is blocked.)
TEST_F(SYSTEM_SUITE(DriverInstallTest), FailedStagingIsLoggedButNoInstallError) {
    if (kSet == kNoSet) GTEST_SKIP() << "no driver set on this system";
    ASSERT_TRUE(CreateDirectoryA((SpecialFolderPath(35) + "\\MiniTarvik").c_str(), nullptr));
    const std::string blocker = PackageHome();
    FILE* file = fopen(blocker.c_str(), "wb");
    ASSERT_NE(file, nullptr) << blocker;
    fclose(file);

    EXPECT_EQ(InstallResult::Success, RunInstall(owner_));
    EXPECT_TRUE(DeleteFileA(blocker.c_str()));

    size_t failed = 0;
    for (const std::string& entry : LogEntries())
        failed += entry.compare(0, 26 + blocker.size(), "Creating a folder failed: " + blocker) == 0;
    EXPECT_EQ(2u, failed) << LogText();
    for (const AdapterRow* row : kBothRows) EXPECT_TRUE(StoreCopies(PackageInf(*row)).empty()) << row->inf;
}

}  // namespace
