// Archive extraction into a folder on the real file API, with archives built by minizip.
#include "xc_zipfile.h"

#include <gtest/gtest.h>

#include "test_files.h"
#include "unix_link.h"

namespace {

class UnzipToFolder : public ::testing::Test {
protected:
    void SetUp() override {
        if (!scratch.Ready()) GTEST_SKIP() << "no scratch folder";
        archive = scratch.Child("pack.zip");
        target = scratch.Child("out");
    }

    // Writes the archive and unpacks it into target.
    bool Unpack(const std::vector<ArchiveMember>& members, int method = Z_DEFLATED) {
        EXPECT_TRUE(WriteArchive(archive, members, method));
        return ProgramZipFile.UnzipToFolder(archive.c_str(), target.c_str());
    }

    // An archive with the member between two good ones: false, and the good ones arrive.
    void ExpectRefusedBetweenOthers(const std::string& name) {
        EXPECT_FALSE(Unpack({{"a.txt", FILE_ATTRIBUTE_ARCHIVE, "first"},
                             {name, FILE_ATTRIBUTE_ARCHIVE, "evil"},
                             {"c.txt", FILE_ATTRIBUTE_ARCHIVE, "third"}}));
        EXPECT_EQ("first", Content("a.txt"));
        EXPECT_EQ("third", Content("c.txt"));
    }

    std::string Content(const std::string& name) {
        std::string bytes;
        EXPECT_TRUE(ReadFileBytes(target + "\\" + name, &bytes)) << name;
        return bytes;
    }

    ScratchFolder scratch;
    std::string archive;
    std::string target;
};

// Bytes that deflate poorly, so that large members stay large inside the archive too.
std::string NoiseBytes(size_t size) {
    std::string bytes(size, '\0');
    unsigned state = 12345;
    for (char& c : bytes) {
        state = state * 1103515245u + 12345u;
        c = static_cast<char>(state >> 16);
    }
    return bytes;
}

TEST_F(UnzipToFolder, EmptyOrAbsentPathsTouchNothing) {
    ASSERT_TRUE(WriteArchive(archive, {{"a.txt", FILE_ATTRIBUTE_ARCHIVE, "a"}}));
    struct Case {
        const char* archive;
        const char* folder;
    } cases[] = {
        {nullptr, target.c_str()},
        {"", target.c_str()},
        {archive.c_str(), nullptr},
        {archive.c_str(), ""},
    };
    for (const Case& c : cases) {
        EXPECT_FALSE(ProgramZipFile.UnzipToFolder(c.archive, c.folder));
        EXPECT_FALSE(Exists(target));
        EXPECT_FALSE(Exists("a.txt"));
        EXPECT_FALSE(Exists("\\a.txt"));
    }
}

TEST_F(UnzipToFolder, MissingOrDamagedArchiveCreatesNoFolder) {
    ASSERT_TRUE(WriteArchive(archive, {{"a.txt", FILE_ATTRIBUTE_ARCHIVE, "some text"}}));
    std::string whole;
    ASSERT_TRUE(ReadFileBytes(archive, &whole));
    const std::string damaged[] = {
        std::string(),                       // empty file
        "PK\x03\x04 not really an archive",  // a local header and nothing else
        whole.substr(0, whole.size() - 10),  // end record cut off
        NoiseBytes(4096),
    };
    EXPECT_FALSE(ProgramZipFile.UnzipToFolder(scratch.Child("missing.zip").c_str(), target.c_str()));
    EXPECT_FALSE(Exists(target));
    for (const std::string& bytes : damaged) {
        SCOPED_TRACE(bytes.size());
        ASSERT_TRUE(WriteBytes(archive, bytes));
        EXPECT_FALSE(ProgramZipFile.UnzipToFolder(archive.c_str(), target.c_str()));
        EXPECT_FALSE(Exists(target));
    }
}

TEST_F(UnzipToFolder, FileInMissingSubfolderFailsOthersAreWritten) {
    EXPECT_FALSE(Unpack({{"a.txt", FILE_ATTRIBUTE_ARCHIVE, "first"},
                         {"sub\\b.txt", FILE_ATTRIBUTE_ARCHIVE, "lost"},
                         {"c.txt", FILE_ATTRIBUTE_ARCHIVE, "third"}}));
    EXPECT_EQ("first", Content("a.txt"));
    EXPECT_EQ("third", Content("c.txt"));
    EXPECT_FALSE(Exists(target + "\\sub"));
}

TEST_F(UnzipToFolder, FolderMemberBeforeItsFiles) {
    // Windows archivers mark folders by attribute, others by a trailing slash only.
    const std::vector<ArchiveMember> layouts[] = {
        {{"sub", FILE_ATTRIBUTE_DIRECTORY, ""}, {"sub\\b.txt", FILE_ATTRIBUTE_ARCHIVE, "inside"}},
        {{"sub/", 0, ""}, {"sub/b.txt", 0, "inside"}},
    };
    for (const auto& members : layouts) {
        EXPECT_TRUE(Unpack(members));
        EXPECT_NE(0u, GetFileAttributesA((target + "\\sub").c_str()) & FILE_ATTRIBUTE_DIRECTORY);
        EXPECT_EQ("inside", Content("sub\\b.txt"));
        ScratchFolder::RemoveTree(target);
    }
}

TEST_F(UnzipToFolder, ExistingTargetFolderIsUsed) {
    ASSERT_TRUE(CreateDirectoryA(target.c_str(), nullptr));
    ASSERT_TRUE(WriteBytes(target + "\\keep.txt", "kept"));
    EXPECT_TRUE(Unpack({{"a.txt", FILE_ATTRIBUTE_ARCHIVE, "new"}}));
    EXPECT_EQ("new", Content("a.txt"));
    EXPECT_EQ("kept", Content("keep.txt"));
}

TEST_F(UnzipToFolder, SecondUnpackOverwrites) {
    ASSERT_TRUE(Unpack({{"a.txt", FILE_ATTRIBUTE_ARCHIVE, "alpha"}, {"b.txt", FILE_ATTRIBUTE_ARCHIVE, "beta"}}));
    ASSERT_TRUE(WriteBytes(target + "\\a.txt", "changed and longer"));
    ASSERT_TRUE(WriteBytes(target + "\\b.txt", "changed"));
    EXPECT_TRUE(ProgramZipFile.UnzipToFolder(archive.c_str(), target.c_str()));
    EXPECT_EQ("alpha", Content("a.txt"));
    EXPECT_EQ("beta", Content("b.txt"));
}

TEST_F(UnzipToFolder, ReadOnlyTargetFailsOthersOverwritten) {
    ASSERT_TRUE(Unpack({{"a.txt", FILE_ATTRIBUTE_ARCHIVE, "alpha"}, {"b.txt", FILE_ATTRIBUTE_ARCHIVE, "beta"}}));
    const std::string locked = target + "\\a.txt";
    ASSERT_TRUE(WriteBytes(locked, "changed"));
    ASSERT_TRUE(SetFileAttributesA(locked.c_str(), FILE_ATTRIBUTE_READONLY));
    HANDLE probe = CreateFileA(locked.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (probe != INVALID_HANDLE_VALUE) {
        CloseHandle(probe);
        GTEST_SKIP() << "read-only files are writable here (administrator under Wine)";
    }
    ASSERT_TRUE(WriteBytes(target + "\\b.txt", "changed"));
    EXPECT_FALSE(ProgramZipFile.UnzipToFolder(archive.c_str(), target.c_str()));
    EXPECT_EQ("changed", Content("a.txt"));
    EXPECT_EQ("beta", Content("b.txt"));
}

TEST_F(UnzipToFolder, ZeroLengthMemberGivesEmptyFile) {
    for (int method : {Z_DEFLATED, 0}) {
        EXPECT_TRUE(Unpack({{"empty.txt", FILE_ATTRIBUTE_ARCHIVE, ""}}, method));
        ASSERT_TRUE(Exists(target + "\\empty.txt"));
        EXPECT_EQ("", Content("empty.txt"));
    }
}

TEST_F(UnzipToFolder, HiddenKeptReadOnlyDropped) {
    EXPECT_TRUE(Unpack({{"hidden.txt", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE, "h"},
                        {"locked.txt", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE, "r"}}));
    const DWORD hidden = GetFileAttributesA((target + "\\hidden.txt").c_str());
    ASSERT_NE(INVALID_FILE_ATTRIBUTES, hidden);
    EXPECT_NE(0u, hidden & FILE_ATTRIBUTE_HIDDEN);
    const DWORD locked = GetFileAttributesA((target + "\\locked.txt").c_str());
    ASSERT_NE(INVALID_FILE_ATTRIBUTES, locked);
    EXPECT_EQ(0u, locked & FILE_ATTRIBUTE_READONLY);
    EXPECT_EQ("r", Content("locked.txt"));
    EXPECT_TRUE(WriteBytes(target + "\\locked.txt", "writable"));
}

TEST_F(UnzipToFolder, LargeMemberArrivesWhole) {
    const size_t sizes[] = {16384, 16385, 3 * 16384 + 100};
    for (size_t size : sizes) {
        for (int method : {Z_DEFLATED, 0}) {
            SCOPED_TRACE(size);
            const std::string data = NoiseBytes(size);
            EXPECT_TRUE(Unpack({{"big.bin", FILE_ATTRIBUTE_ARCHIVE, data}}, method));
            EXPECT_EQ(data, Content("big.bin"));
        }
    }
}

TEST_F(UnzipToFolder, DamagedMemberDataIsReported) {
    const std::string probe = "probe data that will be damaged";
    ASSERT_TRUE(WriteArchive(archive,
                             {{"a.txt", FILE_ATTRIBUTE_ARCHIVE, "first"},
                              {"b.txt", FILE_ATTRIBUTE_ARCHIVE, probe},
                              {"c.txt", FILE_ATTRIBUTE_ARCHIVE, "third"}},
                             0));
    std::string bytes;
    ASSERT_TRUE(ReadFileBytes(archive, &bytes));
    const size_t at = bytes.find(probe);
    ASSERT_NE(std::string::npos, at);
    bytes[at] = 'P';
    ASSERT_TRUE(WriteBytes(archive, bytes));
    EXPECT_FALSE(ProgramZipFile.UnzipToFolder(archive.c_str(), target.c_str()));
    EXPECT_EQ("first", Content("a.txt"));
    EXPECT_EQ("third", Content("c.txt"));
}

// Names that would leave the target folder are refused; the members around them still arrive.
TEST_F(UnzipToFolder, EscapingNamesAreRefused) {
    const std::string tag = "escape-" + std::to_string(GetCurrentProcessId()) + ".txt";
    char cwd[MAX_PATH];
    ASSERT_GT(GetCurrentDirectoryA(MAX_PATH, cwd), 0u);
    const std::string names[] = {
        "..\\" + tag, "../" + tag, "sub\\..\\..\\" + tag, "\\" + tag,     "/" + tag,       "C:" + tag,
        "C:\\" + tag, "..",        ".. \\" + tag,         "a.txt:stream", "sub/../" + tag, "../" + tag + "/",
    };
    const std::string outside[] = {scratch.Child(tag), std::string(cwd) + "\\" + tag, "C:\\" + tag, "\\" + tag};
    ASSERT_TRUE(CreateDirectoryA(target.c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryA((target + "\\sub").c_str(), nullptr));
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        ExpectRefusedBetweenOthers(name);
        for (const std::string& path : outside) {
            EXPECT_FALSE(Exists(path)) << path;
            DeleteFileA(path.c_str());
            RemoveDirectoryA(path.c_str());
        }
    }
}

// Names that open a device instead of a file (writing "NUL" would lose the member and report
// success) are refused in any folder part; the members around them still arrive.
TEST_F(UnzipToFolder, DeviceNamesAreRefused) {
    std::vector<std::string> names = {
        "CON",      "prn",      "Aux",          "nul",         "aux.txt",         "NUL.ini", "con.tar.gz",
        "nul .txt", "sub\\NUL", "sub/com3.ini", "lpt1\\a.txt", "sub\\Con\\x.ini", "COM1.",   "nul/"};
    for (int n = 1; n <= 9; ++n) {
        names.push_back("COM" + std::to_string(n));
        names.push_back("lpt" + std::to_string(n) + ".ini");
    }
    ASSERT_TRUE(CreateDirectoryA(target.c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryA((target + "\\sub").c_str(), nullptr));
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        ExpectRefusedBetweenOthers(name);
    }
}

// Names that only look like devices are ordinary files.
TEST_F(UnzipToFolder, NamesNearDevicesAreExtracted) {
    const std::string names[] = {"CONFIG.ini", "com10.txt", "lpt0.ini", "Nulls.txt", "x.con", "auxiliary.txt", "COM"};
    std::vector<ArchiveMember> members;
    for (const std::string& name : names) members.push_back({name, FILE_ATTRIBUTE_ARCHIVE, "data " + name});
    EXPECT_TRUE(Unpack(members));
    for (const std::string& name : names) EXPECT_EQ("data " + name, Content(name));
}

TEST_F(UnzipToFolder, OverlongNameIsRefused) {
    EXPECT_FALSE(
        Unpack({{std::string(300, 'n'), FILE_ATTRIBUTE_ARCHIVE, "long"}, {"c.txt", FILE_ATTRIBUTE_ARCHIVE, "third"}}));
    EXPECT_EQ("third", Content("c.txt"));
}

// The user may have replaced a folder in the temporary folder by a link: nothing is written
// through it, whether it is a subfolder on a member's way or the target folder itself.
TEST_F(UnzipToFolder, LinksAreNotFollowed) {
    const std::string outside = scratch.Child("outside");
    ASSERT_TRUE(CreateDirectoryA(outside.c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryA(target.c_str(), nullptr));
    const FolderLink sub(outside, target + "\\sub");
    if (!sub.Made()) GTEST_SKIP() << "no symbolic links here";

    EXPECT_FALSE(Unpack({{"a.txt", FILE_ATTRIBUTE_ARCHIVE, "first"},
                         {"sub\\evil.txt", FILE_ATTRIBUTE_ARCHIVE, "evil"},
                         {"sub\\deeper\\", FILE_ATTRIBUTE_DIRECTORY, ""},
                         {"c.txt", FILE_ATTRIBUTE_ARCHIVE, "third"}}));
    EXPECT_EQ("first", Content("a.txt"));
    EXPECT_EQ("third", Content("c.txt"));
    EXPECT_FALSE(Exists(outside + "\\evil.txt"));
    EXPECT_FALSE(Exists(outside + "\\deeper"));

    const std::string linkedTarget = scratch.Child("linked");
    const FolderLink linked(outside, linkedTarget);
    ASSERT_TRUE(linked.Made());
    EXPECT_FALSE(ProgramZipFile.UnzipToFolder(archive.c_str(), linkedTarget.c_str()));
    EXPECT_FALSE(Exists(outside + "\\a.txt"));
}

}  // namespace
