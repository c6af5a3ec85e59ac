// An install over an older one: the old record's files the new install no longer has go, and
// their folders once empty; the user's files stay.
#include "installremoval.h"

#include <gtest/gtest.h>

#include <windows.h>

#include "scratch_folder.h"
#include "test_support.h"
#include "unix_link.h"
#include "wholefile.h"
#include "xc_log.h"

namespace {

bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool WriteText(const std::string& path, const std::string& text) {
    return WriteBytesToFile(path.c_str(), text.data(), uint32_t(text.size()), 0);
}

class UpgradeTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(folder_.Ready());
        log_path_ = folder_.Child("upgrade.log");
        lstrcpynA(log_.LogPath, log_path_.c_str(), sizeof(log_.LogPath));
        ASSERT_TRUE(CreateDirectoryA(Path("\\install").c_str(), nullptr));
        for (const char* relative : {"\\install\\old", "\\install\\kept"}) {
            ASSERT_TRUE(CreateDirectoryA(Path(relative).c_str(), nullptr));
        }
        // Payload A: the install as it stands.
        older_.AddFolder("\\old");
        older_.AddFolder("\\kept");
        for (const char* relative : {"\\Emberlin.exe", "\\Dropped.dll", "\\old\\gone.txt", "\\kept\\changed.txt"}) {
            ASSERT_TRUE(WriteText(Path("\\install") + relative, "A"));
            older_.AddFile(relative, 1);
        }
        ASSERT_TRUE(WriteText(Path("\\install\\kept\\user.txt"), "mine"));
        // Payload B: one file dropped, one folder dropped, one added, one changed.
        newer_.AddFolder("\\kept");
        newer_.AddFile("\\EMBERLIN.EXE", 1);
        newer_.AddFile("\\kept\\changed.txt", 2);
        newer_.AddFile("\\Added.dll", 1);
    }
    std::string Path(const std::string& relative) const { return folder_.Path() + relative; }

    ScratchFolder folder_{"upgrade"};
    std::string log_path_;
    XC_Log log_;
    InstallRecord older_, newer_;
};

}  // namespace

TEST_F(UpgradeTest, RemovesWhatTheNewInstallNoLongerHas) {
    const RemovalOutcome outcome = RemoveUpgradeLeftovers(Path("\\install"), older_, newer_, &log_);
    EXPECT_EQ(0, outcome.failed);
    EXPECT_FALSE(Exists(Path("\\install\\Dropped.dll")));
    EXPECT_FALSE(Exists(Path("\\install\\old\\gone.txt")));
    EXPECT_FALSE(Exists(Path("\\install\\old")));
    EXPECT_TRUE(Exists(Path("\\install\\Emberlin.exe")));  // the same name in another case
    EXPECT_TRUE(Exists(Path("\\install\\kept\\changed.txt")));
    EXPECT_EQ("mine", FileContents(Path("\\install\\kept\\user.txt")));
}

TEST_F(UpgradeTest, AUserFileKeepsADroppedFolder) {
    ASSERT_TRUE(WriteText(Path("\\install\\old\\user.txt"), "mine"));
    const RemovalOutcome outcome = RemoveUpgradeLeftovers(Path("\\install"), older_, newer_, &log_);
    EXPECT_EQ(0, outcome.failed);  // a folder left because it holds something is no failure
    EXPECT_FALSE(Exists(Path("\\install\\old\\gone.txt")));
    EXPECT_EQ("mine", FileContents(Path("\\install\\old\\user.txt")));
}

TEST_F(UpgradeTest, ADroppedFolderNowALinkIsNotFollowed) {
    ScratchFolder outside("outside");
    ASSERT_TRUE(outside.Ready());
    ASSERT_TRUE(WriteText(outside.Child("gone.txt"), "not the install's"));
    ScratchFolder::RemoveTree(Path("\\install\\old"));
    FolderLink link(outside.Path(), Path("\\install\\old"));
    if (!link.Made()) GTEST_SKIP() << "links cannot be made here";
    const RemovalOutcome outcome = RemoveUpgradeLeftovers(Path("\\install"), older_, newer_, &log_);
    EXPECT_EQ(2, outcome.failed);  // the file behind it and the folder itself, both logged
    EXPECT_EQ("not the install's", FileContents(outside.Child("gone.txt")));
    EXPECT_NE(std::string::npos, FileContents(log_path_).find("Left alone, a link on its way"));
}
