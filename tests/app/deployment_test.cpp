// The deployment under Wine: the install tree under Program Files against the packed tree,
// the statuses in order, the shortcuts read back, repeated runs, damaged lists and locked
// files, and the progress text for hostile translations.
#include "deployment.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <ostream>
#include <string>
#include <vector>

#include "install_fixture.h"
#include "installworker.h"
#include "payloadkeys.h"
#include "xc_memspace.h"
#include "xc_xml.h"

namespace {

std::vector<std::string> CopyingStatuses(size_t files) {
    std::vector<std::string> statuses;
    for (size_t i = 0; i < files; ++i) statuses.push_back("Copying files " + std::to_string(i * 100 / files) + "%");
    return statuses;
}

bool HasEntryStartingWith(const std::vector<std::string>& entries, const std::string& start) {
    for (const std::string& entry : entries)
        if (entry.compare(0, start.size(), start) == 0) return true;
    return false;
}

using SYSTEM_SUITE(DeploymentTest) = InstallTest;

TEST_F(SYSTEM_SUITE(DeploymentTest), TreeArrivesByteForByteWithStatusesAndShortcuts) {
    const AppTree tree = SampleAppTree();
    ASSERT_TRUE(AddAppTree(owner_.Payload, tree));

    EXPECT_EQ(InstallResult::Success, RunInstall(owner_));

    EXPECT_EQ(Expected(tree), InstalledTree());
    EXPECT_EQ(CopyingStatuses(tree.files.size()), owner_.Statuses());
    EXPECT_TRUE(IsFolder("C:\\output"));
    EXPECT_TRUE(EntriesBesidesStaging().empty()) << LogText();

    const std::string install = InstallFolder();
    const std::string application = install + "\\Emberlin.exe";
    const std::string inkscape = install + "\\inkscape\\inkscape.exe";
    const struct {
        std::string file;
        std::string target;
    } links[] = {
        {GroupFolder() + "\\Load Mini Tarvik.lnk", application},
        {DesktopFolder() + "\\Load Mini Tarvik.lnk", application},
        {GroupFolder() + "\\Other Tools\\Inkscape (Vektrel).lnk", inkscape},
    };
    for (const auto& link : links) {
        SCOPED_TRACE(link.file);
        const LinkFields fields = ReadLink(link.file);
        ASSERT_EQ(S_OK, fields.loaded);
        EXPECT_STRCASEEQ(link.target.c_str(), fields.target.c_str());
        EXPECT_STRCASEEQ(install.c_str(), fields.workingFolder.c_str());
        EXPECT_EQ("", fields.arguments);
        EXPECT_STRCASEEQ(link.target.c_str(), fields.iconPath.c_str());
        EXPECT_EQ(0, fields.iconIndex);
    }
}

// The install folder sits where a 32-bit program's Program Files is.
TEST_F(SYSTEM_SUITE(DeploymentTest), InstallFolderIsUnderProgramFiles) {
    ASSERT_TRUE(AddAppTree(owner_.Payload, SampleAppTree()));
    RunInstall(owner_);
    BOOL wow64 = FALSE;
    IsWow64Process(GetCurrentProcess(), &wow64);
    const char* expected = wow64 ? "C:\\Program Files (x86)\\MiniTarvik" : "C:\\Program Files\\MiniTarvik";
    EXPECT_STRCASEEQ(expected, InstallFolder().c_str());
    EXPECT_TRUE(IsFolder(expected));
}

TEST_F(SYSTEM_SUITE(DeploymentTest), SecondRunOverwritesFilesAndReplacesShortcuts) {
    AppTree tree = SampleAppTree();
    ASSERT_TRUE(AddAppTree(owner_.Payload, tree));
    ASSERT_EQ(InstallResult::Success, RunInstall(owner_));

    // A longer file and a damaged shortcut from the first run.
    const std::string longer = InstallFolder() + "\\inkscape\\share\\icons\\tarvik.svg";
    const std::string link = GroupFolder() + "\\Load Mini Tarvik.lnk";
    for (const std::string& path : {longer, link}) {
        FILE* file = fopen(path.c_str(), "wb");
        ASSERT_NE(file, nullptr) << path;
        fputs("left over from an older install, longer than the new file", file);
        fclose(file);
    }

    RecordingOwner again;
    ASSERT_TRUE(AddAppTree(again.Payload, tree));
    EXPECT_EQ(InstallResult::Success, RunInstall(again));
    EXPECT_EQ(Expected(tree), InstalledTree());
    const LinkFields fields = ReadLink(link);
    ASSERT_EQ(S_OK, fields.loaded);
    EXPECT_STRCASEEQ((InstallFolder() + "\\Emberlin.exe").c_str(), fields.target.c_str());
}

TEST_F(SYSTEM_SUITE(DeploymentTest), WithoutFileListNothingIsCopiedButShortcutsAreMade) {
    EXPECT_EQ(InstallResult::FinishedWithErrors, RunInstall(owner_));
    EXPECT_TRUE(owner_.Statuses().empty());
    EXPECT_TRUE(InstalledTree().empty());
    EXPECT_TRUE(IsFolder("C:\\output"));
    EXPECT_EQ(S_OK, ReadLink(GroupFolder() + "\\Load Mini Tarvik.lnk").loaded);
    EXPECT_EQ(S_OK, ReadLink(DesktopFolder() + "\\Load Mini Tarvik.lnk").loaded);
    EXPECT_EQ(S_OK, ReadLink(GroupFolder() + "\\Other Tools\\Inkscape (Vektrel).lnk").loaded);
    EXPECT_TRUE(HasEntryStartingWith(LogEntries(), "Reading the file list failed: FilesInfo")) << LogText();
}

// Folders are made one level at a time: a folder whose parent comes later is not made, and
// the files inside it cannot be written; every other file still arrives.
TEST_F(SYSTEM_SUITE(DeploymentTest), FolderBeforeItsParentIsNotCreated) {
    AppTree tree;
    tree.folders = {"\\a\\b", "\\a", "\\c"};
    tree.files = {{"\\a\\b\\lost.txt", "lost"}, {"\\a\\kept.txt", "kept"}, {"\\root.txt", "root"}};
    ASSERT_TRUE(AddAppTree(owner_.Payload, tree));

    EXPECT_EQ(InstallResult::FinishedWithErrors, RunInstall(owner_));

    const std::vector<std::pair<std::string, std::string>> expected = {
        {"\\a\\", ""}, {"\\a\\kept.txt", "kept"}, {"\\c\\", ""}, {"\\root.txt", "root"}};
    EXPECT_EQ(expected, InstalledTree());
    EXPECT_EQ(CopyingStatuses(3), owner_.Statuses());
    const std::vector<std::string> entries = LogEntries();
    EXPECT_TRUE(HasEntryStartingWith(entries, "Creating a folder failed: " + InstallFolder() + "\\a\\b (error 3"))
        << LogText();
    EXPECT_TRUE(HasEntryStartingWith(entries, "Writing a file failed: " + InstallFolder() + "\\a\\b\\lost.txt"))
        << LogText();
}

// A file held open by a program: it cannot be set aside, which is logged, and the upgrade is
// rolled back: every file holds its older bytes and nothing new stays.
TEST_F(SYSTEM_SUITE(DeploymentTest), LockedFileRollsTheUpgradeBack) {
    AppTree tree = SampleAppTree();
    ASSERT_TRUE(AddAppTree(owner_.Payload, tree));
    ASSERT_EQ(InstallResult::Success, RunInstall(owner_));

    const std::string locked = InstallFolder() + "\\Emberlin.exe";
    HANDLE handle = CreateFileA(locked.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(handle, INVALID_HANDLE_VALUE);
    AppTree newer = tree;
    for (AppFile& file : newer.files) file.bytes += " (new version)";
    newer.files.push_back({"\\added.txt", "new"});
    // The held file comes last, so that the others are written and then put back.
    std::rotate(newer.files.begin(), newer.files.begin() + 1, newer.files.end());
    RecordingOwner again;
    ASSERT_TRUE(AddAppTree(again.Payload, newer));

    EXPECT_EQ(InstallResult::NotInstalled, RunInstall(again));
    CloseHandle(handle);

    EXPECT_EQ(Expected(tree), InstalledTree());
    EXPECT_EQ(CopyingStatuses(newer.files.size()), again.Statuses());
    // Windows refuses with a sharing violation or access denied, depending on the version.
    const std::vector<std::string> entries = LogEntries();
    EXPECT_TRUE(HasEntryStartingWith(entries, "Cannot set aside " + locked + ": 5 ") ||
                HasEntryStartingWith(entries, "Cannot set aside " + locked + ": 32 "))
        << LogText();
    EXPECT_TRUE(HasEntryStartingWith(entries, "Rolled back to the older install")) << LogText();
}

// A damaged list: a count beyond its entries, and a path that would leave the install folder.
TEST_F(SYSTEM_SUITE(DeploymentTest), DamagedFileListWritesNothingOutside) {
    AppTree tree;
    tree.files = {{"\\ok.txt", "ok"}, {"\\..\\escaped.txt", "escaped"}};
    ASSERT_TRUE(AddAppTree(owner_.Payload, tree));
    XC_MemSpace listBlock;
    ASSERT_TRUE(owner_.Payload.GetEntry(PayloadKey::FilesInfo, &listBlock));
    XC_Xml list;
    ASSERT_TRUE(list.LoadText(reinterpret_cast<const char*>(listBlock.data)));
    list.SetValueInt("FileCount", 2000000000);
    list.SetValueInt("PathCount", 2000000000);
    RecordingOwner damaged;
    XC_MemSpace text;
    ASSERT_TRUE(text.Allocate(list.GetTextLength(), 0));
    memcpy(text.data, list.GetText(), list.GetTextLength());
    ASSERT_TRUE(damaged.Payload.AddMemory(PayloadKey::FilesInfo, &text));
    owner_.Payload.ForEachEntry([&damaged](const std::string& key, const XC_MemSpace& block) {
        if (key != PayloadKey::FilesInfo) damaged.Payload.AddMemory(key.c_str(), &block);
    });

    EXPECT_EQ(InstallResult::FinishedWithErrors, RunInstall(damaged));

    const std::vector<std::pair<std::string, std::string>> expected = {{"\\ok.txt", "ok"}};
    EXPECT_EQ(expected, InstalledTree());
    EXPECT_FALSE(FileExists(InstallFolder() + "\\..\\escaped.txt"));
    EXPECT_EQ(std::vector<std::string>{"Copying files 0%"}, damaged.Statuses());
}

TEST_F(SYSTEM_SUITE(DeploymentTest), HostileTranslationShowsEnglishProgress) {
    ASSERT_TRUE(AddAppTree(owner_.Payload, SampleAppTree()));
    owner_.Text_CopyingFiles = "%s%s%s%n";
    EXPECT_EQ(InstallResult::Success, RunInstall(owner_));
    EXPECT_EQ(CopyingStatuses(SampleAppTree().files.size()), owner_.Statuses());
}

TEST_F(SYSTEM_SUITE(DeploymentTest), WorkerTickRunsOnceAndSignalsTheEnd) {
    ASSERT_TRUE(AddAppTree(owner_.Payload, SampleAppTree()));
    MC_TimerInstall worker;
    worker.Owner = &owner_;
    worker.Interval = 80;
    ASSERT_TRUE(worker.Start());
    ASSERT_TRUE(owner_.WaitFinished(60000));
    Sleep(400);  // several intervals: a second tick would have begun by now
    worker.Stop();
    EXPECT_EQ(1, owner_.FinishCount());
    EXPECT_EQ(InstallResult::Success, owner_.LastResult());
    EXPECT_EQ(CopyingStatuses(SampleAppTree().files.size()), owner_.Statuses());
}

struct TextCase {
    const char* name;
    std::string translation;
    int percent;
    std::string expected;
};

void PrintTo(const TextCase& text, std::ostream* out) { *out << text.name; }

class CopyingTextTest : public testing::TestWithParam<TextCase> {};
using SYSTEM_SUITE(CopyingTextTest) = CopyingTextTest;

TEST_P(SYSTEM_SUITE(CopyingTextTest), OnlyOneIntegerConversionIsUsed) {
    EXPECT_EQ(GetParam().expected, CopyingFilesText(GetParam().translation, GetParam().percent));
}

const std::string kLong = std::string(300, 'x');

const TextCase kTextCases[] = {
    {"English", "Copying files %d%%", 25, "Copying files 25%"},
    {"Chinese", "\xd5\xfd\xd4\xda\xb8\xb4\xd6\xc6\xce\xc4\xbc\xfe %d%%", 75,
     "\xd5\xfd\xd4\xda\xb8\xb4\xd6\xc6\xce\xc4\xbc\xfe 75%"},
    {"WidthAndI", "%3i%% copied", 5, "  5% copied"},
    {"Long", kLong + " %d%%", 50, kLong + " 50%"},
    {"String", "Copying %s", 25, "Copying files 25%"},
    {"Count", "Copying %n files", 25, "Copying files 25%"},
    {"TwoNumbers", "%d %d", 25, "Copying files 25%"},
    {"NoConversion", "no conversion", 25, "Copying files 25%"},
    {"OnlyPercentSigns", "100%% of %%d", 25, "Copying files 25%"},
    {"TrailingPercent", "Copying files %d%", 25, "Copying files 25%"},
    {"LongWidth", "%999999999d", 25, "Copying files 25%"},
    {"StarWidth", "%*d", 25, "Copying files 25%"},
    {"LongInteger", "%lld", 25, "Copying files 25%"},
    {"Empty", "", 0, "Copying files 0%"},
};

SYSTEM_INSTANTIATE(Translations, SYSTEM_SUITE(CopyingTextTest), testing::ValuesIn(kTextCases),
                   [](const testing::TestParamInfo<TextCase>& info) { return info.param.name; });

}  // namespace
