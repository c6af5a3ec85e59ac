// An upgrade cut off by the end of its process, as a killed task or a power cut ends it: the
// installer's deployment of version B over version A (one file changed after another, one
// dropped, one added, a folder where A had a file) is killed at ten points spread over the bytes
// it writes, the last once the files are written and the record and entry are being made.
// After each kill every file under its own name holds A's bytes or B's, never a part; then
// either a rerun of B leaves B exactly (tree, record, entry), or the uninstaller, which first
// rolls the cut-off upgrade back, leaves nothing but the user's file.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>

#include "install_fixture.h"
#include "installrecord.h"
#include "installsteps.h"
#include "installjournal.h"
#include "test_support.h"
#include "uninstallentry.h"
#include "xc_handle.h"

namespace {

const int kFiles = 300;
const DWORD kRunLimitMs = 120000;
const int kOlder = 0;
const int kNewer = 1;

class Runner {
public:
    // Starts the runner deploying version, its standard output in a pipe.
    Runner(int version, const std::string& log) {
        SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
        HANDLE write = nullptr;
        if (!CreatePipe(&read_, &write, &inherit, 0)) return;
        SetHandleInformation(read_, HANDLE_FLAG_INHERIT, 0);
        STARTUPINFOA startup = {};
        startup.cb = sizeof(startup);
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdOutput = write;
        startup.hStdError = write;
        startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
        std::string command = std::string("\"") + TARVIK_DEPLOY_RUNNER + "\" " + std::to_string(version) + " " +
                              std::to_string(kFiles) + " \"" + log + "\" \"" + TARVIK_UNINSTALL_EXE + "\"";
        if (CreateProcessA(nullptr, &command[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process_))
            CloseHandle(process_.hThread);
        else
            process_.hProcess = nullptr;
        CloseHandle(write);
    }
    ~Runner() {
        if (process_.hProcess != nullptr) {
            TerminateProcess(process_.hProcess, 1);
            WaitForSingleObject(process_.hProcess, 10000);
            CloseHandle(process_.hProcess);
        }
        if (read_ != nullptr) CloseHandle(read_);
    }
    Runner(const Runner&) = delete;
    Runner& operator=(const Runner&) = delete;

    bool Started() const { return process_.hProcess != nullptr; }
    DWORD Id() const { return process_.dwProcessId; }

    // Reads progress lines until the position reaches wanted, the runner ends or the time is up;
    // the last position read.
    int WaitForPosition(int wanted) {
        const DWORD start = GetTickCount();
        while (position_ < wanted && GetTickCount() - start < kRunLimitMs) {
            DWORD available = 0;
            if (!PeekNamedPipe(read_, nullptr, 0, nullptr, &available, nullptr)) break;  // ended
            if (available == 0) {
                Sleep(1);
                continue;
            }
            char bytes[4096];
            DWORD read = 0;
            if (!ReadFile(read_, bytes, available < sizeof(bytes) ? available : sizeof(bytes), &read, nullptr)) break;
            for (DWORD i = 0; i < read; ++i) {
                if (bytes[i] == '\n') {
                    position_ = std::max(position_, atoi(line_.c_str()));
                    line_.clear();
                } else {
                    line_ += bytes[i];
                }
            }
        }
        return position_;
    }

    // Ends the runner by its process id, as a task manager does.
    bool Kill() {
        HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, Id());
        if (process == nullptr) return false;
        const bool ended = TerminateProcess(process, 1) && WaitForSingleObject(process, 10000) == WAIT_OBJECT_0;
        CloseHandle(process);
        return ended;
    }

    // Waits for the runner to end by itself; its exit code, or -1 when it did not end in time.
    long Finish() {
        WaitForPosition(kProgressFull);
        if (WaitForSingleObject(process_.hProcess, kRunLimitMs) != WAIT_OBJECT_0) return -1;
        DWORD code = 0;
        GetExitCodeProcess(process_.hProcess, &code);
        return long(code);
    }

private:
    HANDLE read_ = nullptr;
    PROCESS_INFORMATION process_ = {};
    int position_ = 0;
    std::string line_;
};

std::map<std::string, std::string> ByPath(const AppTree& tree) {
    std::map<std::string, std::string> files;
    for (const AppFile& file : tree.files) files[file.path] = file.bytes;
    return files;
}

bool EndsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

bool StartsWith(const std::string& text, const std::string& start) { return text.compare(0, start.size(), start) == 0; }

// What the runner does after a kill: B again, or the uninstaller.
enum class AfterTheKill { RunNewerAgain, Uninstall };

class SYSTEM_SUITE(KillTest) : public InstallTest {
protected:
    std::string RunnerLog() const { return Temp() + "\\runner.log"; }
    std::string Uninstaller() const { return UninstallFolderPath() + "\\" + kUninstallerFileName; }

    // Deploys version to its end; its exit code.
    long Deploy(int version) {
        Runner runner(version, RunnerLog());
        if (!runner.Started()) return -1;
        return runner.Finish();
    }

    // A installed whole, with the user's file beside it.
    void InstallOlder() {
        ASSERT_EQ(0, Deploy(kOlder)) << FileContents(RunnerLog());
        ASSERT_TRUE(WriteBytesToFile((InstallFolder() + kUserFile).c_str(), "mine", 4, 0));
        std::vector<std::pair<std::string, std::string>> expected = Expected(GeneratedTree(kFiles, kOlder));
        expected.emplace_back(kUserFile, "mine");
        std::sort(expected.begin(), expected.end());
        ASSERT_EQ(expected, InstalledTree());
    }

    // B cut off once the progress reaches position.
    void KillNewerAt(int position) {
        Runner runner(kNewer, RunnerLog());
        ASSERT_TRUE(runner.Started());
        ASSERT_GE(runner.WaitForPosition(position), position) << FileContents(RunnerLog());
        ASSERT_TRUE(runner.Kill());
    }

    // Every file under its own name holds A's bytes or B's; the kept folder and part files are
    // the install's own work in progress.
    void ExpectOlderOrNewerFiles() {
        const std::map<std::string, std::string> older = ByPath(GeneratedTree(kFiles, kOlder));
        const std::map<std::string, std::string> newer = ByPath(GeneratedTree(kFiles, kNewer));
        const std::string kept = std::string("\\") + kKeptFolderName + "\\";
        for (const auto& entry : InstalledTree()) {
            const std::string& path = entry.first;
            if (EndsWith(path, "\\") || EndsWith(path, PartFilePath("")) || StartsWith(path, kept) || path == kUserFile)
                continue;
            const auto old = older.find(path);
            const auto fresh = newer.find(path);
            const bool isOld = old != older.end() && entry.second == old->second;
            const bool isNew = fresh != newer.end() && entry.second == fresh->second;
            EXPECT_TRUE(isOld || isNew) << path << " holds " << entry.second.size() << " bytes of neither version";
        }
    }

    void ExpectNewer() {
        const AppTree newer = GeneratedTree(kFiles, kNewer);
        std::vector<std::pair<std::string, std::string>> expected = Expected(newer);
        expected.emplace_back(kUserFile, "mine");
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(expected, InstalledTree());
        InstallRecord record;
        ASSERT_TRUE(record.Load(UninstallFolderPath() + "\\" + InstallRecord::kFileName));
        ASSERT_EQ(newer.files.size(), record.Files().size());
        for (size_t i = 0; i < newer.files.size(); ++i) EXPECT_EQ(newer.files[i].path, record.Files()[i].path);
        uint64_t bytes = 0;
        for (const AppFile& file : newer.files) bytes += file.bytes.size();
        XC_RegKey entry;
        ASSERT_EQ(ERROR_SUCCESS,
                  RegOpenKeyExA(HKEY_LOCAL_MACHINE, kUninstallKey, 0, KEY_READ | KEY_WOW64_32KEY, entry.Receive()));
        DWORD size = 0, length = sizeof(size);
        ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExA(entry.Get(), "EstimatedSize", nullptr, nullptr,
                                                  reinterpret_cast<BYTE*>(&size), &length));
        EXPECT_EQ((bytes + 1023) / 1024, size);
        EXPECT_FALSE(FileExists(UninstallFolderPath() + "\\" + InstallJournal::kFileName));
    }

    void KillAtTenPoints(AfterTheKill after) {
        for (int point = 1; point <= 10; ++point) {
            SCOPED_TRACE("point " + std::to_string(point));
            // Spread over the bytes of the files; the last once they are all written.
            const int position = kProgressFull / 20 + (kProgressFull - kProgressFull / 20) * point / 10;
            ASSERT_NO_FATAL_FAILURE(InstallOlder());
            ASSERT_NO_FATAL_FAILURE(KillNewerAt(position));
            // Cut off within the upgrade, not after it: the journal is there.
            if (point < 10) EXPECT_TRUE(FileExists(UninstallFolderPath() + "\\" + InstallJournal::kFileName));
            ExpectOlderOrNewerFiles();
            if (after == AfterTheKill::RunNewerAgain) {
                ASSERT_EQ(0, Deploy(kNewer)) << FileContents(RunnerLog());
                ExpectNewer();
                continue;
            }
            ASSERT_EQ(0u, RunAndWait(Uninstaller(), "/S")) << FileContents(Temp() + "\\MiniTarvik-Uninstall.log");
            const std::vector<std::pair<std::string, std::string>> userFileOnly = {{"\\part0\\", ""},
                                                                                   {kUserFile, "mine"}};
            EXPECT_EQ(userFileOnly, InstalledTree());
            EXPECT_FALSE(UninstallEntryExists());
            // The uninstaller's copy removes it once it has ended; the next install writes it anew.
            ASSERT_TRUE(GoneSoon(Uninstaller()));
        }
    }

    static constexpr const char* kUserFile = "\\part0\\user.txt";
};

TEST_F(SYSTEM_SUITE(KillTest), AnUpgradeKilledAtTenPointsEndsWholeWhenRunAgain) {
    KillAtTenPoints(AfterTheKill::RunNewerAgain);
}

TEST_F(SYSTEM_SUITE(KillTest), AnUpgradeKilledAtTenPointsIsUninstalledWhole) {
    KillAtTenPoints(AfterTheKill::Uninstall);
}

}  // namespace
