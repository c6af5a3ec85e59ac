// File work through held folder handles: a held folder cannot be renamed, a link is neither
// opened nor made through, a folder swapped for a link after it was opened does not steer the
// work that follows, and removals act on what the handles hold.
#include "heldfolders.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "scratch_folder.h"
#include "test_support.h"
#include "unix_link.h"
#include "xc_handle.h"

namespace {

const DWORD kMarker = 0xdeadbeef;

bool MakeFile(const std::string& path, const std::string& bytes) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const bool ok = WriteFile(file, bytes.data(), DWORD(bytes.size()), &written, nullptr) && written == bytes.size();
    CloseHandle(file);
    return ok;
}

bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// Writes bytes as name into folder the way the installer does: a new file, renamed into place.
bool WriteIn(HANDLE folder, const std::string& name, const std::string& bytes) {
    XC_File file(CreateNewFileIn(folder, name + ".part", GENERIC_WRITE | DELETE));
    return file.IsOpen() && file.Write(bytes.data(), DWORD(bytes.size())) &&
           RenameOpenFile(file.Get(), folder, name, ExistingTarget::Keep);
}

class HeldFoldersTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(root_.Ready() && outside_.Ready());
        ASSERT_TRUE(CreateDirectoryA(root_.Child("a").c_str(), nullptr));
        ASSERT_TRUE(MakeFile(root_.Child("a\\keep.txt"), "inside"));
        ASSERT_TRUE(MakeFile(outside_.Child("keep.txt"), "outside"));
        ASSERT_TRUE(MakeFile(outside_.Child("outside only.txt"), "outside"));
        outsideBefore_ = FolderTree(outside_.Path());
    }
    void TearDown() override { EXPECT_EQ(outsideBefore_, FolderTree(outside_.Path())); }

    ScratchFolder root_{"tarvik held"};
    ScratchFolder outside_{"tarvik outside"};
    std::vector<std::pair<std::string, std::string>> outsideBefore_;
};

TEST_F(HeldFoldersTest, AHeldFolderCannotBeRenamedUntilLetGo) {
    HeldFolders tree;
    std::string failure;
    ASSERT_TRUE(tree.Open(root_.Path(), &failure)) << failure;
    ASSERT_NE(nullptr, tree.Folder("a", MissingFolder::Fail, &failure)) << failure;

    SetLastError(kMarker);
    EXPECT_FALSE(MoveFileExA(root_.Child("a").c_str(), root_.Child("b").c_str(), 0));
    EXPECT_EQ(DWORD(ERROR_SHARING_VIOLATION), GetLastError());
    SetLastError(kMarker);
    EXPECT_FALSE(MoveFileExA(root_.Path().c_str(), (root_.Path() + "-moved").c_str(), 0));
    EXPECT_EQ(DWORD(ERROR_SHARING_VIOLATION), GetLastError());

    tree.Close();
    EXPECT_TRUE(MoveFileExA(root_.Child("a").c_str(), root_.Child("b").c_str(), 0)) << GetLastError();
}

TEST_F(HeldFoldersTest, FoldersAreMadeOneLevelAtATime) {
    HeldFolders tree;
    std::string failure;
    ASSERT_TRUE(tree.Open(root_.Path(), &failure)) << failure;
    SetLastError(kMarker);
    EXPECT_EQ(nullptr, tree.Folder("x\\y", MissingFolder::Create, &failure));
    EXPECT_EQ(DWORD(ERROR_PATH_NOT_FOUND), GetLastError());
    EXPECT_FALSE(Exists(root_.Child("x")));
    EXPECT_NE(nullptr, tree.Folder("x", MissingFolder::Create, &failure)) << failure;
    EXPECT_NE(nullptr, tree.Folder("X\\y", MissingFolder::Create, &failure)) << failure;
    EXPECT_TRUE(Exists(root_.Child("x\\y")));
    ASSERT_TRUE(MakeFile(root_.Child("file"), "f"));
    EXPECT_EQ(nullptr, tree.Folder("file", MissingFolder::Create, &failure));
    EXPECT_EQ(root_.Child("file") + " is no folder", failure);
}

// Names longer than a path buffer: the held folders' own names are read at their full length,
// so the checks hold there too.
TEST_F(HeldFoldersTest, FoldersBeyondThePathLimitAreHeldAndChecked) {
    HeldFolders tree;
    std::string failure;
    ASSERT_TRUE(tree.Open(root_.Path(), &failure)) << failure;
    const std::string level(120, 'd');
    std::string relative = "a";
    for (int i = 0; i < 3; ++i) {
        relative += "\\" + level;
        ASSERT_NE(nullptr, tree.Folder(relative, MissingFolder::Create, &failure)) << failure;
    }
    ASSERT_GT(root_.Path().size() + relative.size(), size_t(MAX_PATH));
    EXPECT_TRUE(WriteIn(tree.Folder(relative, MissingFolder::Fail, &failure), "deep.txt", "deep"));
    EXPECT_TRUE(tree.StillInPlace(&failure)) << failure;
    EXPECT_EQ(Removal::Removed, tree.RemoveFile(relative + "\\deep.txt", &failure)) << failure;
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(Removal::Removed, tree.RemoveFolder(relative, &failure)) << failure;
        relative = relative.substr(0, relative.find_last_of('\\'));
    }
}

// A link where a folder is, or on its way, whatever is asked: nothing is opened or made in
// what it leads to, and the failure names it.
TEST_F(HeldFoldersTest, ALinkIsNeitherOpenedNorMadeThrough) {
    const FolderLink link(outside_.Path(), root_.Child("a\\link"));
    if (!link.Made()) GTEST_SKIP() << "no symbolic links here";
    struct Case {
        const char* relative;
        MissingFolder missing;
    };
    for (const Case& c : {Case{"a\\link", MissingFolder::Fail}, Case{"a\\link", MissingFolder::Create},
                          Case{"a\\link\\sub", MissingFolder::Create}}) {
        SCOPED_TRACE(c.relative);
        HeldFolders tree;
        std::string failure;
        ASSERT_TRUE(tree.Open(root_.Path(), &failure)) << failure;
        SetLastError(kMarker);
        EXPECT_EQ(nullptr, tree.Folder(c.relative, c.missing, &failure));
        EXPECT_EQ(kLinkFoundError, GetLastError());
        EXPECT_EQ(root_.Child("a\\link") + " is a link", failure);
    }
    HeldFolders linked;
    std::string failure;
    EXPECT_FALSE(linked.Open(root_.Child("a\\link"), &failure));
    EXPECT_EQ(root_.Child("a\\link") + " is a link", failure);
    EXPECT_EQ(PathKind::Link, [&] {
        HeldFolders tree;
        tree.Open(root_.Path(), &failure);
        return InspectIn(tree.Folder("a", MissingFolder::Fail, &failure), "link");
    }());
}

// A program that ignores the sharing moves the held folder away and puts a link in its place:
// what is written and removed afterwards never reaches what the link leads to, and the check
// before the grant finds the swap.
TEST_F(HeldFoldersTest, AFolderSwappedForALinkAfterItWasOpenedSteersNothing) {
    HeldFolders tree;
    std::string failure;
    ASSERT_TRUE(tree.Open(root_.Path(), &failure)) << failure;
    const HANDLE folder = tree.Folder("a", MissingFolder::Fail, &failure);
    ASSERT_NE(nullptr, folder) << failure;
    EXPECT_TRUE(tree.StillInPlace(&failure)) << failure;
    if (!MoveOutsideWindows(root_.Child("a"), root_.Child("a.away"))) GTEST_SKIP() << "no Unix mv here";
    const FolderLink link(outside_.Path(), root_.Child("a"));
    ASSERT_TRUE(link.Made());

    // Wine may refuse the work in a folder moved behind its back, or do it where the folder
    // went; never in what the link leads to (the fixture compares the outside folder).
    WriteIn(folder, "new.txt", "new");
    const Removal removal = tree.RemoveFile("a\\keep.txt", &failure);
    EXPECT_TRUE(removal == Removal::Refused || removal == Removal::Failed ||
                (removal == Removal::Removed && !Exists(root_.Child("a.away\\keep.txt"))));
    EXPECT_FALSE(Exists(outside_.Child("new.txt")));
    // Listed through the handle, the folder is still the one held.
    std::vector<FolderEntry> entries;
    if (tree.List("a", &entries, &failure))
        for (const FolderEntry& entry : entries) EXPECT_NE("outside only.txt", entry.name);
    EXPECT_FALSE(tree.StillInPlace(&failure));
    EXPECT_EQ(root_.Child("a") + " is no longer the folder written to (a link or another folder stands there)",
              failure);
    // Opened afresh, the link is refused.
    HeldFolders fresh;
    ASSERT_TRUE(fresh.Open(root_.Path(), &failure)) << failure;
    EXPECT_EQ(Removal::Refused, fresh.RemoveFile("a\\keep.txt", &failure));
    EXPECT_EQ(Removal::Refused, fresh.RemoveFolder("a", &failure));
}

TEST_F(HeldFoldersTest, RemovalsTakeOnlyWhatIsAskedFor) {
    ASSERT_TRUE(MakeFile(root_.Child("a\\readonly.txt"), "r"));
    ASSERT_TRUE(SetFileAttributesA(root_.Child("a\\readonly.txt").c_str(), FILE_ATTRIBUTE_READONLY));
    ASSERT_TRUE(MakeFile(root_.Child("a\\shared.txt"), "s"));
    const bool linked = CreateHardLinkA(root_.Child("other name.txt").c_str(), root_.Child("a\\shared.txt").c_str(),
                                        nullptr) != FALSE;
    ASSERT_TRUE(SetFileAttributesA(root_.Child("a\\shared.txt").c_str(), FILE_ATTRIBUTE_READONLY));
    ASSERT_TRUE(CreateDirectoryA(root_.Child("a\\sub").c_str(), nullptr));
    HeldFolders tree;
    std::string failure;
    ASSERT_TRUE(tree.Open(root_.Path(), &failure)) << failure;

    EXPECT_EQ(Removal::Removed, tree.RemoveFile("a\\readonly.txt", &failure)) << failure;
    EXPECT_FALSE(Exists(root_.Child("a\\readonly.txt")));
    EXPECT_EQ(Removal::Removed, tree.RemoveFile("a\\missing.txt", &failure)) << failure;
    EXPECT_EQ(Removal::Removed, tree.RemoveFile("missing\\file.txt", &failure)) << failure;
    EXPECT_EQ(Removal::Refused, tree.RemoveFile("a\\sub", &failure));
    EXPECT_EQ("a folder stands there", failure);
    if (linked) {
        // Clearing read-only on one name would clear it on the other's file too.
        EXPECT_EQ(Removal::Refused, tree.RemoveFile("a\\shared.txt", &failure));
        EXPECT_NE(0u, GetFileAttributesA(root_.Child("other name.txt").c_str()) & FILE_ATTRIBUTE_READONLY);
        EXPECT_TRUE(Exists(root_.Child("a\\shared.txt")));
    }

    EXPECT_EQ(Removal::NotEmpty, tree.RemoveFolder("a", &failure));
    EXPECT_TRUE(Exists(root_.Child("a")));
    EXPECT_EQ(Removal::Removed, tree.RemoveFolder("a\\sub", &failure)) << failure;
    EXPECT_FALSE(Exists(root_.Child("a\\sub")));
    EXPECT_EQ(Removal::Removed, tree.RemoveFolder("a\\sub", &failure)) << failure;
    SetFileAttributesA(root_.Child("a\\shared.txt").c_str(), FILE_ATTRIBUTE_NORMAL);
    SetFileAttributesA(root_.Child("other name.txt").c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST_F(HeldFoldersTest, ListsWhatTheHeldFolderHolds) {
    ASSERT_TRUE(CreateDirectoryA(root_.Child("a\\sub").c_str(), nullptr));
    const FolderLink link(outside_.Path(), root_.Child("a\\link"));
    HeldFolders tree;
    std::string failure;
    ASSERT_TRUE(tree.Open(root_.Path(), &failure)) << failure;
    std::vector<FolderEntry> entries;
    ASSERT_TRUE(tree.List("a", &entries, &failure)) << failure;
    std::vector<std::pair<std::string, bool>> listed;
    for (const FolderEntry& entry : entries) listed.push_back({entry.name, entry.folder});
    std::sort(listed.begin(), listed.end());
    std::vector<std::pair<std::string, bool>> expected = {{"keep.txt", false}, {"sub", true}};
    if (link.Made()) expected.push_back({"link", false});  // a link is never a folder to enter
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(expected, listed);
    SetLastError(kMarker);
    EXPECT_FALSE(tree.List("missing", &entries, &failure));
    EXPECT_EQ(DWORD(ERROR_PATH_NOT_FOUND), GetLastError());
}

TEST_F(HeldFoldersTest, AnEmptyRootGoesLast) {
    ScratchFolder parent("tarvik held root");
    ASSERT_TRUE(parent.Ready());
    const std::string root = parent.Child("root");
    ASSERT_TRUE(CreateDirectoryA(root.c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryA((root + "\\a").c_str(), nullptr));
    HeldFolders tree;
    std::string failure;
    ASSERT_TRUE(tree.Open(root, &failure)) << failure;
    EXPECT_EQ(Removal::NotEmpty, tree.RemoveFolder("", &failure));
    ASSERT_TRUE(tree.Open(root, &failure)) << failure;
    EXPECT_EQ(Removal::Removed, tree.RemoveFolder("a", &failure)) << failure;
    EXPECT_EQ(Removal::Removed, tree.RemoveFolder("", &failure)) << failure;
    EXPECT_FALSE(Exists(root));
}

}  // namespace
