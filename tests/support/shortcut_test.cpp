// Shell shortcuts written by CreateShortcut and read back through the shell link object.
#include "permissions.h"

#include <gtest/gtest.h>

#include <string>

#include "scratch_folder.h"
#include "shell_link.h"

namespace {

bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

class ShortcutTest : public testing::Test {
protected:
    void SetUp() override {
        if (!scratch_.Ready()) GTEST_SKIP() << "no temporary folder";
        // A real program, so that the shell keeps the target as given.
        char windows[MAX_PATH];
        ASSERT_NE(0u, GetWindowsDirectoryA(windows, MAX_PATH));
        target_ = std::string(windows) + "\\notepad.exe";
        if (!Exists(target_)) GTEST_SKIP() << target_ << " is missing";
        folder_ = scratch_.Child("My Mini Tarvik");
        link_ = folder_ + "\\Mini Tarvik.lnk";
    }

    ScratchFolder scratch_;
    std::string target_;
    std::string folder_;
    std::string link_;
};

TEST_F(ShortcutTest, CreatesMissingFolderAndReadsBack) {
    ASSERT_FALSE(Exists(folder_));
    EXPECT_EQ(S_OK, CreateShortcut(target_.c_str(), folder_.c_str(), "Mini Tarvik", scratch_.Path().c_str(), "-engrave",
                                   target_.c_str(), 2));
    EXPECT_TRUE(GetFileAttributesA(folder_.c_str()) & FILE_ATTRIBUTE_DIRECTORY);
    const LinkFields fields = ReadLink(link_);
    ASSERT_EQ(S_OK, fields.loaded);
    EXPECT_STRCASEEQ(target_.c_str(), fields.target.c_str());
    EXPECT_STRCASEEQ(scratch_.Path().c_str(), fields.workingFolder.c_str());
    EXPECT_EQ("-engrave", fields.arguments);
    EXPECT_STRCASEEQ(target_.c_str(), fields.iconPath.c_str());
    EXPECT_EQ(2, fields.iconIndex);
}

TEST_F(ShortcutTest, SecondSaveReplacesTheFirst) {
    ASSERT_EQ(S_OK, CreateShortcut(target_.c_str(), folder_.c_str(), "Mini Tarvik", scratch_.Path().c_str(), "-first",
                                   target_.c_str(), 0));
    ASSERT_EQ(S_OK,
              CreateShortcut(target_.c_str(), folder_.c_str(), "Mini Tarvik", nullptr, nullptr, target_.c_str(), 1));
    const LinkFields fields = ReadLink(link_);
    ASSERT_EQ(S_OK, fields.loaded);
    EXPECT_EQ("", fields.workingFolder);
    EXPECT_EQ("", fields.arguments);
    EXPECT_EQ(1, fields.iconIndex);
}

// Only one level is created: a folder whose parent is missing cannot take the shortcut.
TEST_F(ShortcutTest, FolderWithMissingParentFails) {
    const std::string deep = folder_ + "\\Other Tools";
    EXPECT_TRUE(
        FAILED(CreateShortcut(target_.c_str(), deep.c_str(), "Inkscape", nullptr, nullptr, target_.c_str(), 0)));
    EXPECT_FALSE(Exists(folder_));
}

// A file name that does not fit is refused rather than cut into another name.
TEST_F(ShortcutTest, OverlongNameIsRefused) {
    const std::string name(4096, 'x');
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE),
              CreateShortcut(target_.c_str(), folder_.c_str(), name.c_str(), nullptr, nullptr, target_.c_str(), 0));
    EXPECT_FALSE(Exists(folder_));
}

// A caller already in the multithreaded apartment keeps its COM after the call.
TEST_F(ShortcutTest, LeavesCallersApartmentInitialised) {
    ASSERT_EQ(S_OK, CoInitializeEx(nullptr, COINIT_MULTITHREADED));
    EXPECT_EQ(S_OK,
              CreateShortcut(target_.c_str(), folder_.c_str(), "Mini Tarvik", nullptr, nullptr, target_.c_str(), 0));
    const HRESULT again = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    EXPECT_EQ(S_FALSE, again);
    if (SUCCEEDED(again)) CoUninitialize();
    CoUninitialize();
    EXPECT_EQ(S_OK, ReadLink(link_).loaded);
}

TEST(Shortcut, MissingTextsAreInvalid) {
    EXPECT_EQ(E_INVALIDARG, CreateShortcut(nullptr, "C:\\", "a", nullptr, nullptr, "", 0));
    EXPECT_EQ(E_INVALIDARG, CreateShortcut("a.exe", nullptr, "a", nullptr, nullptr, "", 0));
    EXPECT_EQ(E_INVALIDARG, CreateShortcut("a.exe", "C:\\", nullptr, nullptr, nullptr, "", 0));
    EXPECT_EQ(E_INVALIDARG, CreateShortcut("a.exe", "C:\\", "a", nullptr, nullptr, nullptr, 0));
}

}  // namespace
