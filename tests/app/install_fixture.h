// The install worker driven without the window: an owner that records statuses and the end
// signal, a payload made as the builder makes it (the sample driver files under their fixed
// keys, an application tree under "FILE%d" with its "FilesInfo" list), and a fixture that
// gives each test a private temporary folder and log and clears what an install leaves.
#pragma once

#include <windows.h>

#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "installowner.h"
#include "shell_link.h"
#include "simulated_devices.h"
#include "test_payload.h"

// Suites are named after the executable's system (TARVIK_SYSTEM, such as win7_64), so that the
// same tests in each prefix stand apart in the results.
#define TARVIK_SUITE_PASTE(name, system) name##_##system
#define TARVIK_SUITE_NAME(name, system) TARVIK_SUITE_PASTE(name, system)
#define SYSTEM_SUITE(name) TARVIK_SUITE_NAME(name, TARVIK_SYSTEM)
// Expands SYSTEM_SUITE before the instantiation pastes the suite's name.
#define SYSTEM_INSTANTIATE(prefix, suite, ...) INSTANTIATE_TEST_SUITE_P(prefix, suite, __VA_ARGS__)

// English texts, as a system without a translation shows them.
class RecordingOwner : public TInstallOwner {
public:
    RecordingOwner();
    ~RecordingOwner();

    void SetStatus(const std::string& text) override;
    void SetProgress(int position) override;
    // Records the question and runs OnQuestion for the answer (Cancel when it is empty).
    bool AskRetry(const std::string& question) override;
    void StartFinishTimer(InstallResult result) override;
    bool Watched() const override { return watched; }
    // Whether the worker is to take the install for one a person watches, as the window's is.
    bool watched = false;

    // One progress report: the position, and how many statuses had been written before it.
    struct ProgressStep {
        int position;
        size_t statusesBefore;
    };

    std::vector<std::string> Statuses();
    std::vector<ProgressStep> ProgressSteps();
    std::vector<std::string> Questions();
    std::function<bool()> OnQuestion;
    // Runs on the worker's thread after each progress report: a test acts there while the
    // install is under way.
    std::function<void(int position)> OnProgress;
    int FinishCount();
    InstallResult LastResult();
    // Waits at most timeoutMs for the end signal.
    bool WaitFinished(DWORD timeoutMs);

private:
    std::mutex mutex_;
    std::vector<std::string> statuses_;
    std::vector<ProgressStep> progress_;
    std::vector<std::string> questions_;
    int finishCount_ = 0;
    InstallResult result_ = InstallResult::Success;
    HANDLE finished_;
};

// The application, three folder levels deep, with an empty folder and a file in the root.
AppTree SampleAppTree();

// The fixed entries from the sample drivers (and the 64-bit updater, or a program standing in
// for it) under their keys.
bool AddDriverEntries(XC_ExeTailHelper& payload, const char* updater = TARVIK_UPD64_EXE);
// The bytes of a sample driver file ("xp\\fix\\usbser.sys"); empty when unreadable.
std::string SampleDriverBytes(const char* relative);

class InstallTest : public SimulatedDevicesTest {
protected:
    void SetUp() override;
    void TearDown() override;

    // Paths as the worker sees them.
    std::string InstallFolder() const;
    std::string GroupFolder() const;
    std::string DesktopFolder() const;
    std::string Temp() const { return temp_; }
    std::string LogText() const;
    // Lines of the log after the header, without their time prefix.
    std::vector<std::string> LogEntries() const;
    // The entries of the driver packages' staging, and all the others.
    std::vector<std::string> StagingEntries() const;
    std::vector<std::string> EntriesBesidesStaging() const;

    // The install tree as relative path -> bytes ("" for folders, marked by a trailing "\").
    std::vector<std::pair<std::string, std::string>> InstalledTree() const;
    static std::vector<std::pair<std::string, std::string>> Expected(const AppTree& tree);

    RecordingOwner owner_;

private:
    void RemoveInstall() const;

    ScratchFolder scratch_{"tarvik temp"};
    std::string temp_;
    std::string log_;
    std::unique_ptr<ScopedEnv> tmp_;
    std::unique_ptr<ScopedEnv> tempVariable_;
};

bool FileExists(const std::string& path);
bool IsFolder(const std::string& path);

// The permanent package folders' parent under the common application data folder.
std::string PackageHome();
