// The install worker's test owner, payload and fixture.
#include "install_fixture.h"

#include <algorithm>
#include <cstring>
#include <functional>

#include "payloadkeys.h"
#include "registry.h"
#include "uninstallentry.h"
#include "xc_log.h"
#include "xc_memspace.h"
#include "xc_xml.h"

RecordingOwner::RecordingOwner() : finished_(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {
    Text_LoadNow = "Load Mini Tarvik now!";
    Text_InstallingDriver = "Installing driver for Mini Tarvik...";
    Text_Ready = "Ready to install";
    Text_Installed = "Installed success!";
    Text_GroupName = "My Mini Tarvik";
    Text_OtherTools = "Other Tools";
    Text_AppShortcut = "Load Mini Tarvik";
    Text_InkscapeShortcut = "Inkscape (Vektrel)";
    Text_CopyingFiles = "Copying files %d%%";
    Text_NotSupportedOS = "Not supported OS! We support WinXP or Win7 only!";
    Text_Notice = "Notice";
    Text_MakeSureDriver = "Make sure you have installed driver for your Tarvik Device.";
    Text_Installing = "Installing...";
    Text_FinishedWithErrors = "Installation finished with errors. See the log file.";
    Text_NotEnoughSpace =
        "Not enough free disk space: %d MB needed, %d MB free on %s. Free some space and press Retry.";
}

RecordingOwner::~RecordingOwner() { CloseHandle(finished_); }

void RecordingOwner::SetStatus(const std::string& text) {
    TInstallOwner::SetStatus(text);
    std::lock_guard<std::mutex> hold(mutex_);
    statuses_.push_back(text);
}

void RecordingOwner::SetProgress(int position) {
    TInstallOwner::SetProgress(position);
    {
        std::lock_guard<std::mutex> hold(mutex_);
        progress_.push_back({position, statuses_.size()});
    }
    if (OnProgress) OnProgress(position);
}

bool RecordingOwner::AskRetry(const std::string& question) {
    {
        std::lock_guard<std::mutex> hold(mutex_);
        questions_.push_back(question);
    }
    return OnQuestion ? OnQuestion() : false;
}

std::vector<RecordingOwner::ProgressStep> RecordingOwner::ProgressSteps() {
    std::lock_guard<std::mutex> hold(mutex_);
    return progress_;
}

std::vector<std::string> RecordingOwner::Questions() {
    std::lock_guard<std::mutex> hold(mutex_);
    return questions_;
}

void RecordingOwner::StartFinishTimer(InstallResult result) {
    {
        std::lock_guard<std::mutex> hold(mutex_);
        ++finishCount_;
        result_ = result;
    }
    SetEvent(finished_);
}

std::vector<std::string> RecordingOwner::Statuses() {
    std::lock_guard<std::mutex> hold(mutex_);
    return statuses_;
}

int RecordingOwner::FinishCount() {
    std::lock_guard<std::mutex> hold(mutex_);
    return finishCount_;
}

InstallResult RecordingOwner::LastResult() {
    std::lock_guard<std::mutex> hold(mutex_);
    return result_;
}

bool RecordingOwner::WaitFinished(DWORD timeoutMs) {
    return WaitForSingleObject(finished_, timeoutMs) == WAIT_OBJECT_0;
}

AppTree SampleAppTree() {
    AppTree tree;
    tree.folders = {"\\inkscape", "\\inkscape\\share", "\\inkscape\\share\\icons", "\\empty"};
    std::string binary(3000, '\0');
    for (size_t i = 0; i < binary.size(); ++i) binary[i] = char(i * 7 + 3);
    tree.files = {
        {"\\Emberlin.exe", "MZ application" + binary},
        {"\\inkscape\\inkscape.exe", "MZ inkscape"},
        {"\\inkscape\\share\\readme.txt", ""},
        {"\\inkscape\\share\\icons\\tarvik.svg", "<svg/>\r\n"},
    };
    return tree;
}

namespace {

std::string SampleDriverPath(const char* relative) { return std::string(TARVIK_SAMPLE_DRIVERS) + "\\" + relative; }

// Removes folder and everything in it; true when it is gone.
bool RemoveTree(const std::string& folder) {
    ScratchFolder::RemoveTree(folder);
    return !FileExists(folder);
}

}  // namespace

std::string SampleDriverBytes(const char* relative) { return FileContents(SampleDriverPath(relative)); }

bool AddDriverEntries(XC_ExeTailHelper& payload, const char* updater) {
    for (const PayloadFixedEntry& entry : kPayloadFixedEntries) {
        if (entry.key == std::string(PayloadKey::Language) || entry.key == std::string(PayloadKey::Uninstaller))
            continue;
        if (entry.key == std::string(PayloadKey::Win7Upd64Exe)) {
            if (!payload.AddFile(entry.key, updater)) return false;
            continue;
        }
        const char* relative = entry.source + strlen("drivers\\");
        if (!payload.AddFile(entry.key, SampleDriverPath(relative).c_str())) return false;
    }
    return true;
}

void InstallTest::SetUp() {
    SimulatedDevicesTest::SetUp();
    ASSERT_TRUE(scratch_.Ready());
    // The worker's temporary folder, with a blank in its name as a user's may have.
    char longPath[MAX_PATH];
    const DWORD length = GetLongPathNameA(scratch_.Path().c_str(), longPath, MAX_PATH);
    ASSERT_TRUE(length > 0 && length < MAX_PATH);
    temp_ = longPath;
    tmp_ = std::make_unique<ScopedEnv>("TMP", temp_.c_str());
    tempVariable_ = std::make_unique<ScopedEnv>("TEMP", temp_.c_str());
    log_ = scratch_.Child("install.log");
    ASSERT_LT(log_.size(), sizeof(ProgramLog.LogPath));
    strcpy(ProgramLog.LogPath, log_.c_str());
    RemoveInstall();
}

void InstallTest::TearDown() {
    RemoveInstall();
    tempVariable_.reset();
    tmp_.reset();
    SimulatedDevicesTest::TearDown();
}

// The sample packages' INF files, as staging copies them into the store.
const char* const kSampleInfs[] = {"xp\\2303\\ser2pl.inf", "win7\\2303\\ser2pl.inf", "CH341SER\\CH341SER.INF"};

void InstallTest::RemoveInstall() const {
    // Staged packages: the store's copies with their precompiled files, and the permanent copies.
    for (const char* inf : kSampleInfs) {
        EXPECT_TRUE(RemoveStoreCopies(SampleDriverBytes(inf))) << inf;
    }
    EXPECT_TRUE(RemoveTree(SpecialFolderPath(35) + "\\MiniTarvik"));
    EXPECT_TRUE(RemoveTree(InstallFolder()));
    EXPECT_TRUE(RemoveTree(GroupFolder()));
    DeleteFileA((DesktopFolder() + "\\Load Mini Tarvik.lnk").c_str());
    RemoveDirectoryA("C:\\output");
    EXPECT_TRUE(RemoveUninstallEntry());
}

std::string InstallTest::InstallFolder() const { return SpecialFolderPath(38) + "\\MiniTarvik"; }
std::string InstallTest::GroupFolder() const { return SpecialFolderPath(23) + "\\My Mini Tarvik"; }
std::string InstallTest::DesktopFolder() const { return SpecialFolderPath(25); }
std::string InstallTest::LogText() const { return FileContents(log_); }

std::vector<std::string> InstallTest::LogEntries() const {
    // Each entry: "\r\nYYYY-MM-DD hh:mm:ss >> text".
    const std::string text = LogText();
    std::vector<std::string> entries;
    const std::string marker = " >> ";
    size_t at = text.find("\r\n\r\n");
    while (at != std::string::npos) {
        const size_t start = text.find(marker, at);
        if (start == std::string::npos) break;
        const size_t next = text.find("\r\n", start);
        entries.push_back(
            text.substr(start + marker.size(), next == std::string::npos ? next : next - start - marker.size()));
        at = next;
    }
    return entries;
}

namespace {

bool StartsWith(const std::string& text, const std::string& start) { return text.compare(0, start.size(), start) == 0; }

bool IsStagingEntry(const std::string& entry) {
    return StartsWith(entry, "Driver package staged") || StartsWith(entry, "Staging a driver package failed: ") ||
           entry.find("\" /stage \"") != std::string::npos ||
           StartsWith(entry, "Writing a file failed: " + PackageHome());
}

}  // namespace

std::vector<std::string> InstallTest::StagingEntries() const {
    std::vector<std::string> entries;
    for (const std::string& entry : LogEntries())
        if (IsStagingEntry(entry)) entries.push_back(entry);
    return entries;
}

std::vector<std::string> InstallTest::EntriesBesidesStaging() const {
    std::vector<std::string> entries;
    for (const std::string& entry : LogEntries())
        if (!IsStagingEntry(entry)) entries.push_back(entry);
    return entries;
}

std::string PackageHome() { return SpecialFolderPath(35) + "\\MiniTarvik\\Drivers"; }

std::vector<std::pair<std::string, std::string>> InstallTest::InstalledTree() const {
    return FolderTree(InstallFolder());
}

std::vector<std::pair<std::string, std::string>> InstallTest::Expected(const AppTree& tree) {
    std::vector<std::pair<std::string, std::string>> expected;
    for (const std::string& folder : tree.folders) expected.emplace_back(folder + "\\", "");
    for (const AppFile& file : tree.files) expected.emplace_back(file.path, file.bytes);
    std::sort(expected.begin(), expected.end());
    return expected;
}

bool FileExists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool IsFolder(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}
