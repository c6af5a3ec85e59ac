// The way back of an install over an older one, on a tree laid out by the test: the older
// install's dropped files set aside before the copy (a link on their way never followed), and
// the rollback from the journal at every stage of a newer install, which leaves the older tree,
// record and user files exactly as they were, and can itself be run again.
#include "rollback.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "heldfolders.h"
#include "paths.h"
#include "safepath.h"
#include "scratch_folder.h"
#include "test_support.h"
#include "unix_link.h"
#include "wholefile.h"
#include "xc_log.h"

namespace {

bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool IsFolder(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool WriteText(const std::string& path, const std::string& text) {
    return WriteBytesToFile(path.c_str(), text.data(), uint32_t(text.size()), 0);
}

using Tree = std::vector<std::pair<std::string, std::string>>;

class RollbackTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(folder_.Ready());
        log_path_ = folder_.Child("rollback.log");
        lstrcpynA(log_.LogPath, log_path_.c_str(), sizeof(log_.LogPath));
        ASSERT_TRUE(CreateDirectoryA(Install().c_str(), nullptr));
        ASSERT_TRUE(CreateDirectoryA(Uninstall().c_str(), nullptr));
        older_.SetInstallFolder(Install());
        newer_.SetInstallFolder(Install());
        // Version A, as it stands: a file where B has a folder, a folder B drops.
        for (const char* relative : {"\\old", "\\kept"}) {
            ASSERT_TRUE(CreateDirectoryA(Path(relative).c_str(), nullptr));
            older_.AddFolder(relative);
        }
        for (const char* relative :
             {"\\Emberlin.exe", "\\Dropped.dll", "\\old\\gone.txt", "\\kept\\changed.txt", "\\tool"}) {
            ASSERT_TRUE(WriteText(Path(relative), std::string("A of ") + relative));
            older_.AddFile(relative, 1);
        }
        ASSERT_TRUE(WriteText(Path("\\kept\\user.txt"), "mine"));
        // Version B: one file dropped, one folder dropped, one added, one changed, and a folder
        // where A had the file "tool".
        for (const char* relative : {"\\kept", "\\tool"}) newer_.AddFolder(relative);
        for (const char* relative : {"\\EMBERLIN.EXE", "\\kept\\changed.txt", "\\Added.dll", "\\tool\\inside.dat"})
            newer_.AddFile(relative, 2);
        before_ = FolderTree(Install());
    }

    std::string Install() const { return folder_.Child("install"); }
    std::string Uninstall() const { return folder_.Child("uninstall"); }
    std::string Path(const std::string& relative) const { return Install() + relative; }
    std::string RecordFile() const { return Uninstall() + "\\" + InstallRecord::kFileName; }

    InstallJournal Journal() const {
        std::vector<bool> filesThere, foldersThere;
        for (const InstallRecord::File& file : newer_.Files())
            filesThere.push_back(Exists(Path(file.path)) && !IsFolder(Path(file.path)));
        for (const std::string& folder : newer_.Folders()) foldersThere.push_back(IsFolder(Path(folder)));
        return InstallJournal(&older_, OlderEntry::Absent, newer_, filesThere, foldersThere);
    }

    // The newer install's steps up to files written: every file when files is the whole count.
    void InstallNewer(size_t files) {
        ASSERT_TRUE(MakeKeptFolder(Install(), &log_));
        ASSERT_TRUE(SetAsideDropped(Install(), older_, newer_, &log_)) << FileContents(log_path_);
        ASSERT_TRUE(CreateDirectoryA(Path("\\tool").c_str(), nullptr));
        HeldFolders tree;
        std::string failure;
        ASSERT_TRUE(tree.Open(Install(), &failure)) << failure;
        const HANDLE kept = tree.Folder(kKeptFolderName, MissingFolder::Fail, &failure);
        ASSERT_NE(nullptr, kept) << failure;
        for (size_t i = 0; i < files; ++i) {
            const std::string& relative = newer_.Files()[i].path;
            const HANDLE folder = tree.Folder(ParentFolder(relative), MissingFolder::Fail, &failure);
            ASSERT_NE(nullptr, folder) << failure;
            ASSERT_TRUE(SetAsideReplaced(folder, Path(relative), kept, i, &log_)) << relative;
            ASSERT_TRUE(WriteText(Path(relative), "B"));
        }
        // A part file the cut-off write left.
        if (files < newer_.Files().size())
            ASSERT_TRUE(WriteText(Path(newer_.Files()[files].path) + kPartFileSuffix, "B, half"));
    }

    ScratchFolder folder_{"rollback"};
    std::string log_path_;
    XC_Log log_;
    InstallRecord older_, newer_;
    Tree before_;
};

}  // namespace

TEST_F(RollbackTest, DroppedFilesWaitInTheKeptFolderAndTheirFoldersGo) {
    ASSERT_TRUE(MakeKeptFolder(Install(), &log_));
    EXPECT_TRUE(SetAsideDropped(Install(), older_, newer_, &log_)) << FileContents(log_path_);
    EXPECT_FALSE(Exists(Path("\\Dropped.dll")));
    EXPECT_EQ("A of \\Dropped.dll", FileContents(KeptFilePath(Install(), KeptKind::Dropped, 1)));
    EXPECT_FALSE(Exists(Path("\\old")));
    EXPECT_FALSE(Exists(Path("\\tool")));         // B's folder may now be made there
    EXPECT_TRUE(Exists(Path("\\Emberlin.exe")));  // the same name in another case
    EXPECT_EQ("mine", FileContents(Path("\\kept\\user.txt")));
    EXPECT_TRUE(RemoveKeptFiles(Install(), &log_));
    EXPECT_FALSE(Exists(Install() + "\\" + kKeptFolderName));
}

TEST_F(RollbackTest, AUserFileKeepsADroppedFolder) {
    ASSERT_TRUE(WriteText(Path("\\old\\user.txt"), "mine"));
    ASSERT_TRUE(MakeKeptFolder(Install(), &log_));
    EXPECT_TRUE(SetAsideDropped(Install(), older_, newer_, &log_));
    EXPECT_FALSE(Exists(Path("\\old\\gone.txt")));
    EXPECT_EQ("mine", FileContents(Path("\\old\\user.txt")));
}

TEST_F(RollbackTest, ADroppedFolderNowALinkIsNotFollowed) {
    ScratchFolder outside("outside");
    ASSERT_TRUE(outside.Ready());
    ASSERT_TRUE(WriteText(outside.Child("gone.txt"), "not the install's"));
    ScratchFolder::RemoveTree(Path("\\old"));
    FolderLink link(outside.Path(), Path("\\old"));
    if (!link.Made()) GTEST_SKIP() << "links cannot be made here";
    ASSERT_TRUE(MakeKeptFolder(Install(), &log_));
    EXPECT_FALSE(SetAsideDropped(Install(), older_, newer_, &log_));
    EXPECT_EQ("not the install's", FileContents(outside.Child("gone.txt")));
    EXPECT_NE(std::string::npos, FileContents(log_path_).find("\\old is a link)")) << FileContents(log_path_);
}

TEST_F(RollbackTest, AKeptFolderThatExistsIsRefused) {
    ASSERT_TRUE(CreateDirectoryA((Install() + "\\" + kKeptFolderName).c_str(), nullptr));
    EXPECT_FALSE(MakeKeptFolder(Install(), &log_));
}

// Cut off after the dropped files, after some of B's files, after all of them: the rollback
// leaves A's tree, the user's file and A's record, and removes the journal's kept folder.
TEST_F(RollbackTest, PutsTheOlderTreeBackFromEveryStage) {
    for (const size_t files : {size_t(0), size_t(1), size_t(3), size_t(4)}) {
        SCOPED_TRACE(std::to_string(files) + " files written");
        const InstallJournal journal = Journal();
        ASSERT_TRUE(WriteText(RecordFile(), "B's record"));
        InstallNewer(files);
        ASSERT_NE(before_, FolderTree(Install()));

        EXPECT_TRUE(RollBack(Uninstall(), journal, &log_)) << FileContents(log_path_);
        EXPECT_EQ(before_, FolderTree(Install()));
        InstallRecord record;
        ASSERT_TRUE(record.Load(RecordFile()));
        EXPECT_EQ(older_.Text(), record.Text());
        // Again, as after a rollback cut off in turn: nothing changes.
        EXPECT_TRUE(RollBack(Uninstall(), journal, &log_)) << FileContents(log_path_);
        EXPECT_EQ(before_, FolderTree(Install()));
    }
}

TEST_F(RollbackTest, WithoutAnOlderInstallNothingOfTheNewerStays) {
    const InstallJournal journal(nullptr, OlderEntry::Absent, newer_, std::vector<bool>(4, false),
                                 std::vector<bool>(2, false));
    ScratchFolder::RemoveTree(Install());
    ASSERT_TRUE(CreateDirectoryA(Install().c_str(), nullptr));
    ASSERT_TRUE(MakeKeptFolder(Install(), &log_));
    for (const char* folder : {"\\kept", "\\tool"}) ASSERT_TRUE(CreateDirectoryA(Path(folder).c_str(), nullptr));
    for (const InstallRecord::File& file : newer_.Files()) ASSERT_TRUE(WriteText(Path(file.path), "B"));
    ASSERT_TRUE(WriteText(RecordFile(), "B's record"));
    ASSERT_TRUE(WriteText(Uninstall() + "\\Uninstall.exe", "B's uninstaller"));

    EXPECT_TRUE(RollBack(Uninstall(), journal, &log_)) << FileContents(log_path_);
    EXPECT_EQ(Tree(), FolderTree(Install()));
    EXPECT_FALSE(Exists(RecordFile()));
    EXPECT_FALSE(Exists(Uninstall() + "\\Uninstall.exe"));
}

TEST(InstallJournalTest, LoadsBackWhatWasSavedAndRefusesDamage) {
    InstallRecord older, newer;
    older.SetInstallFolder("C:\\Program Files\\MiniTarvik");
    older.AddFile("\\a & b's.txt", 7);
    newer.SetInstallFolder("C:\\Program Files\\MiniTarvik");
    newer.AddFolder("\\f");
    newer.AddFile("\\a.txt", 1);
    newer.AddFile("\\f\\b.txt", 2);
    newer.SetLanguage(2052);
    const InstallJournal journal(&older, OlderEntry::Present, newer, {true, false}, {false});
    InstallJournal loaded;
    ASSERT_TRUE(loaded.LoadText(journal.Text().c_str()));
    EXPECT_TRUE(loaded.HasOlder());
    EXPECT_EQ(older.Text(), loaded.Older().Text());
    EXPECT_EQ(OlderEntry::Present, loaded.OlderEntryState());
    EXPECT_EQ(newer.Text(), loaded.Newer().Text());
    EXPECT_TRUE(loaded.FileWasThere(0));
    EXPECT_FALSE(loaded.FileWasThere(1));
    EXPECT_FALSE(loaded.FolderWasThere(0));

    const std::string text = journal.Text();
    for (const auto& damage :
         std::vector<std::pair<std::string, std::string>>{{"FilesThere=\"10\"", "FilesThere=\"1\""},
                                                          {"FilesThere=\"10\"", "FilesThere=\"1x\""},
                                                          {"OlderEntry=\"1\"", "OlderEntry=\"2\""},
                                                          {"MiniTarvik", "..\\.."}}) {
        SCOPED_TRACE(damage.second);
        std::string damaged = text;
        const size_t at = damaged.find(damage.first);
        ASSERT_NE(std::string::npos, at);
        damaged.replace(at, damage.first.size(), damage.second);
        EXPECT_FALSE(loaded.LoadText(damaged.c_str()));
        EXPECT_FALSE(loaded.HasOlder());
    }
}
