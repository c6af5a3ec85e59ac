// An install cut off by the end of its process, as the close box, a killed task or a power cut
// ends it: the installer is killed at ten points spread over the copy of a 2,000-file tree that
// replaces an older version. After each kill every file of the tree under its own name holds
// the old bytes or the new ones, never a part; a rerun then leaves exactly the new tree.
#include <windows.h>

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "install_fixture.h"
#include "installsteps.h"

namespace {

const int kFiles = 2000;
const DWORD kRunLimitMs = 120000;

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
                              std::to_string(kFiles) + " \"" + log + "\"";
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

    // Reads progress lines until wanted files are written, the runner ends or the time is up;
    // the number of lines read.
    int WaitForFiles(int wanted) {
        const DWORD start = GetTickCount();
        while (lines_ < wanted && GetTickCount() - start < kRunLimitMs) {
            DWORD available = 0;
            if (!PeekNamedPipe(read_, nullptr, 0, nullptr, &available, nullptr)) break;  // ended
            if (available == 0) {
                Sleep(1);
                continue;
            }
            char bytes[4096];
            DWORD read = 0;
            if (!ReadFile(read_, bytes, available < sizeof(bytes) ? available : sizeof(bytes), &read, nullptr)) break;
            for (DWORD i = 0; i < read; ++i) lines_ += bytes[i] == '\n';
        }
        return lines_;
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
        WaitForFiles(kFiles);
        if (WaitForSingleObject(process_.hProcess, kRunLimitMs) != WAIT_OBJECT_0) return -1;
        DWORD code = 0;
        GetExitCodeProcess(process_.hProcess, &code);
        return long(code);
    }

private:
    HANDLE read_ = nullptr;
    PROCESS_INFORMATION process_ = {};
    int lines_ = 0;
};

std::map<std::string, std::string> ByPath(const AppTree& tree) {
    std::map<std::string, std::string> files;
    for (const AppFile& file : tree.files) files[file.path] = file.bytes;
    return files;
}

bool EndsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

using SYSTEM_SUITE(KillTest) = InstallTest;

TEST_F(SYSTEM_SUITE(KillTest), KilledAtTenPointsLeavesOldOrNewFilesAndARerunCompletes) {
    const std::string log = Temp() + "\\runner.log";
    {
        Runner first(0, log);
        ASSERT_TRUE(first.Started()) << TARVIK_DEPLOY_RUNNER;
        ASSERT_EQ(0, first.Finish()) << FileContents(log);
    }
    ASSERT_EQ(Expected(GeneratedTree(kFiles, 0)), InstalledTree());
    const std::string partSuffix = PartFilePath("");

    for (int version = 1; version <= 10; ++version) {
        SCOPED_TRACE("version " + std::to_string(version));
        const std::map<std::string, std::string> older = ByPath(GeneratedTree(kFiles, version - 1));
        const AppTree newTree = GeneratedTree(kFiles, version);
        const std::map<std::string, std::string> newer = ByPath(newTree);
        // 5 %, 15 %, ... 95 % of the files.
        const int cut = (2 * version - 1) * kFiles / 20;
        {
            Runner runner(version, log);
            ASSERT_TRUE(runner.Started());
            ASSERT_GE(runner.WaitForFiles(cut), cut) << FileContents(log);
            ASSERT_TRUE(runner.Kill());
        }
        int oldFiles = 0, newFiles = 0;
        for (const auto& entry : InstalledTree()) {
            const std::string& path = entry.first;
            if (EndsWith(path, "\\") || EndsWith(path, partSuffix)) continue;
            const auto old = older.find(path);
            const auto fresh = newer.find(path);
            ASSERT_TRUE(old != older.end() && fresh != newer.end()) << "unknown file " << path;
            if (entry.second == fresh->second)
                ++newFiles;
            else if (entry.second == old->second)
                ++oldFiles;
            else
                ADD_FAILURE() << path << " holds " << entry.second.size() << " bytes of neither version";
        }
        // Cut off within the copy: some files new, some still old.
        EXPECT_GE(newFiles, cut);
        EXPECT_GT(oldFiles, 0);

        Runner rerun(version, log);
        ASSERT_TRUE(rerun.Started());
        ASSERT_EQ(0, rerun.Finish()) << FileContents(log);
        ASSERT_EQ(Expected(newTree), InstalledTree());
    }
}

}  // namespace
