// The elevated install and what other users may have put in its way: file lists whose paths
// would leave the install folder or open a device, and translations used as shortcut names.
#include <windows.h>

#include <aclapi.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "install_fixture.h"
#include "installrecord.h"
#include "installremoval.h"
#include "installworker.h"
#include "unix_link.h"
#include "uninstallentry.h"
#include "xc_log.h"

namespace {

bool LogHas(const std::vector<std::string>& entries, const std::string& start) {
    for (const std::string& entry : entries)
        if (entry.compare(0, start.size(), start) == 0) return true;
    return false;
}

using SYSTEM_SUITE(InstallSafetyTest) = InstallTest;

// Each unsafe FILE value stops the list where it stands (the count of a damaged list may be
// anything), is logged, and nothing is written for it: a device name would otherwise open the
// engraver's serial port, or swallow the file and report success.
TEST_F(SYSTEM_SUITE(InstallSafetyTest), UnsafeListedPathsAreRefused) {
    const char* const unsafe[] = {
        "\\COM3",      "\\nul.txt",     "\\inkscape\\AUX", "\\..\\escaped.txt", "\\inkscape\\...\\x",
        "\\C:\\x.txt", "\\\\server\\x", "\\a.txt:stream",  "\\a\\\\b.txt",      "\\bad\x01.txt",
        "\\Con.ini",   "\\\\?\\C:\\x"};
    for (const char* path : unsafe) {
        SCOPED_TRACE(path);
        // A first install keeps what it wrote; over it, the next damaged list changes nothing.
        const InstallResult expectedResult =
            path == unsafe[0] ? InstallResult::FinishedWithErrors : InstallResult::NotInstalled;
        AppTree tree;
        tree.folders = {"\\inkscape"};
        tree.files = {{"\\ok.txt", "ok"}, {path, "payload bytes"}, {"\\after.txt", "after"}};
        RecordingOwner owner;
        ASSERT_TRUE(AddAppTree(owner.Payload, tree));

        EXPECT_EQ(expectedResult, RunInstall(owner));

        const std::vector<std::pair<std::string, std::string>> expected = {{"\\inkscape\\", ""}, {"\\ok.txt", "ok"}};
        EXPECT_EQ(expected, InstalledTree());
        EXPECT_TRUE(LogHas(LogEntries(), std::string("Reading the file list failed: FILE1 (unsafe path ") + path))
            << LogText();
    }
}

TEST_F(SYSTEM_SUITE(InstallSafetyTest), UnsafeListedFolderIsRefused) {
    AppTree tree;
    tree.folders = {"\\inkscape", "\\..\\Escaped"};
    tree.files = {{"\\ok.txt", "ok"}};
    ASSERT_TRUE(AddAppTree(owner_.Payload, tree));
    EXPECT_EQ(InstallResult::FinishedWithErrors, RunInstall(owner_));
    EXPECT_FALSE(FileExists(InstallFolder() + "\\..\\Escaped"));
    EXPECT_TRUE(LogHas(LogEntries(), "Reading the file list failed: PATH1 (unsafe path \\..\\Escaped)")) << LogText();
}

// A language file beside the installer supplies the group and shortcut names: names that climb
// out of the Start menu group or the desktop are replaced by the English ones, and logged.
TEST_F(SYSTEM_SUITE(InstallSafetyTest), ShortcutNamesThatLeaveTheirFolderAreEnglish) {
    ASSERT_TRUE(AddAppTree(owner_.Payload, SampleAppTree()));
    owner_.Text_GroupName = "..\\..\\..\\Startup\\x";
    owner_.Text_OtherTools = "..\\..";
    owner_.Text_AppShortcut = "..\\..\\Startup\\evil";
    owner_.Text_InkscapeShortcut = "NUL";
    const std::string programs = GroupFolder().substr(0, GroupFolder().rfind('\\'));
    const std::string startup = programs + "\\Startup";

    EXPECT_EQ(InstallResult::Success, RunInstall(owner_));

    EXPECT_EQ(S_OK, ReadLink(GroupFolder() + "\\Load Mini Tarvik.lnk").loaded);
    EXPECT_EQ(S_OK, ReadLink(DesktopFolder() + "\\Load Mini Tarvik.lnk").loaded);
    EXPECT_EQ(S_OK, ReadLink(GroupFolder() + "\\Other Tools\\Inkscape (Vektrel).lnk").loaded);
    EXPECT_FALSE(FileExists(startup + "\\x"));
    EXPECT_FALSE(FileExists(startup + "\\evil.lnk"));
    EXPECT_FALSE(FileExists(programs + "\\..\\..\\Startup\\evil.lnk"));
    const std::vector<std::string> entries = LogEntries();
    for (const char* name : {"..\\..\\..\\Startup\\x", "..\\..", "..\\..\\Startup\\evil", "NUL"})
        EXPECT_TRUE(LogHas(entries, std::string("Naming a shortcut failed: ") + name + " (")) << name << LogText();
}

// The Start menu group replaced by a link to another folder: no shortcut is written through it;
// the desktop's still arrives.
TEST_F(SYSTEM_SUITE(InstallSafetyTest), ShortcutsAreNotWrittenThroughALink) {
    ScratchFolder outside("tarvik outside");
    ASSERT_TRUE(outside.Ready());
    const FolderLink group(outside.Path(), GroupFolder());
    if (!group.Made()) GTEST_SKIP() << "no symbolic links here";
    ASSERT_TRUE(AddAppTree(owner_.Payload, SampleAppTree()));

    EXPECT_EQ(InstallResult::Success, RunInstall(owner_));

    EXPECT_FALSE(FileExists(outside.Child("Load Mini Tarvik.lnk")));
    EXPECT_FALSE(FileExists(outside.Child("Other Tools")));
    EXPECT_EQ(S_OK, ReadLink(DesktopFolder() + "\\Load Mini Tarvik.lnk").loaded);
    const std::vector<std::string> entries = LogEntries();
    const std::string refused = "Creating a shortcut failed: " + GroupFolder();
    EXPECT_TRUE(LogHas(entries, refused + "\\Load Mini Tarvik (" + GroupFolder() + " is a link)")) << LogText();
    EXPECT_TRUE(LogHas(entries, refused + "\\Other Tools\\Inkscape (Vektrel) (" + GroupFolder() + " is a link)"))
        << LogText();
}

// What a folder holds, as name -> bytes, and the security descriptor's text of it and of each
// file: Wine rebuilds those from the Unix modes, so they show a changed mode too.
std::vector<std::pair<std::string, std::string>> Snapshot(const std::string& folder) {
    std::vector<std::pair<std::string, std::string>> entries;
    const auto descriptor = [](const std::string& path) {
        PSECURITY_DESCRIPTOR security = nullptr;
        std::string text = "unreadable";
        if (GetNamedSecurityInfoA(path.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, nullptr,
                                  nullptr, &security) == ERROR_SUCCESS) {
            char* sddl = nullptr;
            if (ConvertSecurityDescriptorToStringSecurityDescriptorA(security, SDDL_REVISION_1,
                                                                     DACL_SECURITY_INFORMATION, &sddl, nullptr)) {
                text = sddl;
                LocalFree(sddl);
            }
            LocalFree(security);
        }
        return text;
    };
    entries.emplace_back(".", descriptor(folder));
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return entries;
    do {
        const std::string name = found.cFileName;
        if (name == "." || name == "..") continue;
        entries.emplace_back(name, FileContents(folder + "\\" + name) + " " + descriptor(folder + "\\" + name));
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return entries;
}

// Any user may replace a folder of the open install folder, or the driver working folder in
// their temporary folder, by a link to a folder elsewhere: nothing is created, written or
// opened to everyone through it, each refusal is logged, and every other file still arrives.
TEST_F(SYSTEM_SUITE(InstallSafetyTest), NothingIsWrittenThroughLinkedFolders) {
    ScratchFolder outside("tarvik outside");
    ScratchFolder outsideDrivers("tarvik drivers outside");
    ASSERT_TRUE(outside.Ready() && outsideDrivers.Ready());
    FILE* keep = fopen(outside.Child("keep.txt").c_str(), "wb");
    ASSERT_NE(nullptr, keep);
    fputs("mine", keep);
    fclose(keep);
    ASSERT_TRUE(CreateDirectoryA(InstallFolder().c_str(), nullptr));
    const std::string linkedFolder = InstallFolder() + "\\inkscape";
    const std::string workingFolder = Temp() + "\\2303";
    const FolderLink inkscape(outside.Path(), linkedFolder);
    const FolderLink drivers(outsideDrivers.Path(), workingFolder);
    if (!inkscape.Made() || !drivers.Made()) GTEST_SKIP() << "no symbolic links here";
    ASSERT_NE(nullptr, Plug(Adapter("VID_067B&PID_2303", "USB\\Vid_067b&Pid_2303")));
    ASSERT_TRUE(AddDriverEntries(owner_.Payload));
    const AppTree tree = SampleAppTree();
    ASSERT_TRUE(AddAppTree(owner_.Payload, tree));
    const auto outsideBefore = Snapshot(outside.Path());
    const auto driversBefore = Snapshot(outsideDrivers.Path());

    EXPECT_EQ(InstallResult::FinishedWithErrors, RunInstall(owner_));

    EXPECT_EQ(outsideBefore, Snapshot(outside.Path()));
    EXPECT_EQ(driversBefore, Snapshot(outsideDrivers.Path()));
    EXPECT_EQ(tree.files[0].bytes, FileContents(InstallFolder() + "\\Emberlin.exe"));
    EXPECT_TRUE(IsFolder(InstallFolder() + "\\empty"));
    const std::vector<std::string> entries = LogEntries();
    EXPECT_TRUE(LogHas(entries, "Creating a folder failed: " + linkedFolder + " (" + linkedFolder + " is a link)"))
        << LogText();
    EXPECT_TRUE(
        LogHas(entries, "Creating a folder failed: " + linkedFolder + "\\share (" + linkedFolder + " is a link)"))
        << LogText();
    EXPECT_TRUE(
        LogHas(entries, "Writing a file failed: " + linkedFolder + "\\inkscape.exe (" + linkedFolder + " is a link)"))
        << LogText();
    EXPECT_TRUE(LogHas(entries, "Creating a folder failed: " + workingFolder + " (is a link)")) << LogText();
}

// Translated names that are plain names are used as they are.
TEST_F(SYSTEM_SUITE(InstallSafetyTest), PlainTranslatedNamesAreUsed) {
    ASSERT_TRUE(AddAppTree(owner_.Payload, SampleAppTree()));
    owner_.Text_AppShortcut = "Start Tarvik (x86)";
    EXPECT_EQ(InstallResult::Success, RunInstall(owner_));
    EXPECT_EQ(S_OK, ReadLink(GroupFolder() + "\\Start Tarvik (x86).lnk").loaded);
    EXPECT_TRUE(EntriesBesidesStaging().empty()) << LogText();
    DeleteFileA((DesktopFolder() + "\\Start Tarvik (x86).lnk").c_str());
}

// ---- Another user's program racing the install ---------------------------------------------

// The sample tree with many files in inkscape\share, so that a swap half-way through the copy
// still has files to steer.
AppTree RaceTree() {
    AppTree tree = SampleAppTree();
    for (int i = 0; i < 200; ++i)
        tree.files.push_back({"\\inkscape\\share\\page" + std::to_string(i) + ".txt", std::string(1000, char('a' + i % 26))});
    return tree;
}

// A program of another user beside the install: once the copy has reached a point, it tries to
// rename the inkscape folder away through Windows, then does it with the system's mv (as a
// program outside Windows' own calls could) and puts a link to an outside folder in its place.
class FolderSwapper {
public:
    FolderSwapper(const std::string& folder, const std::string& outside) : folder_(folder), outside_(outside) {}

    void Swap() {
        SetLastError(0xdeadbeef);
        windowsRenamed_ = MoveFileExA(folder_.c_str(), Aside().c_str(), 0) != FALSE;
        windowsError_ = GetLastError();
        if (windowsRenamed_ || MoveOutsideWindows(folder_, Aside())) link_.reset(new FolderLink(outside_, folder_));
    }
    bool Swapped() const { return link_ && link_->Made(); }
    bool WindowsRenamed() const { return windowsRenamed_; }
    DWORD WindowsError() const { return windowsError_; }
    std::string Aside() const { return folder_ + ".away"; }

private:
    std::string folder_;
    std::string outside_;
    bool windowsRenamed_ = false;
    DWORD windowsError_ = 0;
    std::unique_ptr<FolderLink> link_;
};

struct RaceCase {
    const char* name;
    bool upgrade;
    int swapAt;  // the progress position the swap waits for
};

const RaceCase kRaceCases[] = {
    {"InstallAtTheFirstPartFile", false, kProgressFull / 20 + 1},
    {"InstallHalfway", false, kProgressFull / 2},
    {"UpgradeAtTheFirstPartFile", true, kProgressFull / 20 + 1},
    {"UpgradeHalfway", true, kProgressFull / 2},
};

class SYSTEM_SUITE(FolderRaceTest) : public InstallTest, public testing::WithParamInterface<RaceCase> {};

// The folder cannot be renamed through Windows while the install holds it; swapped by other
// means, nothing reaches what the link leads to (files, bytes, access), the log names the
// refusal, and the install ends in its error state, an upgrade rolled back.
TEST_P(SYSTEM_SUITE(FolderRaceTest), ASwappedFolderSteersNothing) {
    // The outside folder has a file of every name the install writes under inkscape: a write or
    // a set-aside by name through the link would change one.
    ScratchFolder outside("tarvik outside");
    ASSERT_TRUE(outside.Ready());
    const AppTree tree = RaceTree();
    ASSERT_TRUE(CreateDirectoryA(outside.Child("share").c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryA(outside.Child("share\\icons").c_str(), nullptr));
    const std::string inkscape = "\\inkscape\\";
    for (const AppFile& file : tree.files) {
        if (file.path.compare(0, inkscape.size(), inkscape) != 0) continue;
        FILE* mine = fopen(outside.Child(file.path.substr(inkscape.size())).c_str(), "wb");
        ASSERT_NE(nullptr, mine) << file.path;
        fputs("mine", mine);
        fclose(mine);
    }
    const auto outsideBefore = Snapshot(outside.Path());
    if (GetParam().upgrade) {
        RecordingOwner older;
        ASSERT_TRUE(AddAppTree(older.Payload, tree));
        ASSERT_EQ(InstallResult::Success, RunInstall(older)) << LogText();
    }
    ASSERT_TRUE(AddAppTree(owner_.Payload, tree));
    FolderSwapper swapper(InstallFolder() + "\\inkscape", outside.Path());
    bool swapped = false;
    owner_.OnProgress = [&](int position) {
        if (swapped || position < GetParam().swapAt || position >= kProgressFull) return;
        swapped = true;
        swapper.Swap();
    };

    const InstallResult result = RunInstall(owner_);

    ASSERT_TRUE(swapped);
    if (!swapper.Swapped()) GTEST_SKIP() << "no Unix mv or links here";
    EXPECT_FALSE(swapper.WindowsRenamed());
    EXPECT_EQ(DWORD(ERROR_SHARING_VIOLATION), swapper.WindowsError());
    EXPECT_EQ(outsideBefore, Snapshot(outside.Path()));
    EXPECT_EQ(GetParam().upgrade ? InstallResult::NotInstalled : InstallResult::FinishedWithErrors, result);
    EXPECT_TRUE(LogHas(LogEntries(), "Checking the installed folders failed: " + InstallFolder() + " (" +
                                         InstallFolder() + "\\inkscape is no longer the folder written to"))
        << LogText();
    if (GetParam().upgrade) {
        EXPECT_TRUE(LogHas(LogEntries(), "Rolled back to the older install")) << LogText();
    }
}

SYSTEM_INSTANTIATE(Races, SYSTEM_SUITE(FolderRaceTest), testing::ValuesIn(kRaceCases),
                   [](const testing::TestParamInfo<RaceCase>& info) { return info.param.name; });

// The same program during an uninstall: it swaps the folder once the first file is gone, while
// a thousand more wait. Nothing outside is removed (each of its files has the name of one in
// the install), and what the swap kept from the removal is logged.
TEST_F(SYSTEM_SUITE(InstallSafetyTest), AFolderSwappedDuringTheRemovalSteersNothing) {
    ScratchFolder outside("tarvik outside");
    ASSERT_TRUE(outside.Ready());
    AppTree tree = SampleAppTree();
    for (int i = 0; i < 1000; ++i) tree.files.push_back({"\\inkscape\\page" + std::to_string(i) + ".txt", "page"});
    for (int i = 0; i < 1000; ++i) {
        FILE* file = fopen(outside.Child("page" + std::to_string(i) + ".txt").c_str(), "wb");
        ASSERT_NE(nullptr, file);
        fputs("mine", file);
        fclose(file);
    }
    const auto outsideBefore = Snapshot(outside.Path());
    ASSERT_TRUE(AddAppTree(owner_.Payload, tree));
    ASSERT_EQ(InstallResult::Success, RunInstall(owner_)) << LogText();
    InstallRecord record;
    ASSERT_TRUE(record.Load(UninstallFolderPath() + "\\" + InstallRecord::kFileName));
    FolderSwapper swapper(InstallFolder() + "\\inkscape", outside.Path());
    const std::string first = InstallFolder() + tree.files[0].path;
    std::atomic<bool> removing(true);
    std::thread watcher([&] {
        // At most ten seconds: the removal may be over before the first file is seen gone.
        for (int i = 0; i < 10000 && removing && FileExists(first); ++i) Sleep(1);
        if (removing) swapper.Swap();
    });

    const RemovalOutcome outcome = ::RemoveInstall(UninstallFolderPath(), record, &ProgramLog);
    removing = false;
    watcher.join();

    EXPECT_EQ(outsideBefore, Snapshot(outside.Path()));
    if (outcome.failed > 0) EXPECT_TRUE(LogHas(LogEntries(), "Left alone: ")) << LogText();
}

}  // namespace
