// The one rule for stored relative paths: what stays inside its folder and what does not.
#include "safepath.h"

#include <gtest/gtest.h>

namespace {

struct PathCase {
    const char* path;
    PathStart start;
    bool safe;
};

void PrintTo(const PathCase& c, std::ostream* out) {
    *out << '"';
    for (const char* p = c.path; *p; ++p) {
        const unsigned char byte = static_cast<unsigned char>(*p);
        if (byte < 0x20 || byte >= 0x7F)
            *out << "\\x" << std::hex << int(byte) << std::dec;
        else
            *out << *p;
    }
    *out << (c.start == PathStart::OneBackslash ? "\" (one backslash)" : "\" (bare)");
}

class SafePathTest : public testing::TestWithParam<PathCase> {};

TEST_P(SafePathTest, Decides) {
    const PathCase& c = GetParam();
    EXPECT_EQ(c.safe, IsSafeRelativePath(c.path, c.start));
}

constexpr PathStart kBare = PathStart::Bare;
constexpr PathStart kList = PathStart::OneBackslash;

INSTANTIATE_TEST_SUITE_P(
    Inside, SafePathTest,
    testing::Values(PathCase{"Emberlin.exe", kBare, true}, PathCase{"\\Emberlin.exe", kList, true},
                    PathCase{"\\inkscape\\share\\icons\\a b.png", kList, true},
                    PathCase{"inkscape/share/x.txt", kBare, true}, PathCase{".hidden", kBare, true},
                    PathCase{"a..b", kBare, true}, PathCase{"CONSOLE.txt", kBare, true}, PathCase{"COM10", kBare, true},
                    PathCase{"LPT", kBare, true}, PathCase{"nul_x", kBare, true},
                    // A long GBK name: "激光雕刻机" repeated, as the builder stores it.
                    PathCase{"\\\xbc\xa4\xb9\xe2\xb5\xf1\xbf\xcc\xbb\xfa\xbc\xa4\xb9\xe2\xb5\xf1\xbf\xcc\xbb\xfa"
                             "\xbc\xa4\xb9\xe2\xb5\xf1\xbf\xcc\xbb\xfa\\\xd3\xa6\xd3\xc3.exe",
                             kList, true}));

INSTANTIATE_TEST_SUITE_P(DrivesRootsAndPrefixes, SafePathTest,
                         testing::Values(PathCase{"", kBare, false}, PathCase{"", kList, false},
                                         PathCase{"\\", kList, false}, PathCase{"C:\\Windows\\x.dll", kBare, false},
                                         PathCase{"\\C:\\x", kList, false}, PathCase{"C:x", kBare, false},
                                         PathCase{"\\x", kBare, false}, PathCase{"/x", kBare, false},
                                         PathCase{"x", kList, false}, PathCase{"\\\\x", kList, false},
                                         PathCase{"\\\\server\\share\\x", kBare, false},
                                         PathCase{"\\\\?\\C:\\x", kBare, false}, PathCase{"\\\\.\\COM3", kBare, false},
                                         PathCase{"\\??\\C:\\x", kList, false}, PathCase{"a.txt:stream", kBare, false},
                                         PathCase{"\\a.txt::$DATA", kList, false}));

INSTANTIATE_TEST_SUITE_P(DotsAndEmptyParts, SafePathTest,
                         testing::Values(PathCase{".", kBare, false}, PathCase{"..", kBare, false},
                                         PathCase{"\\..\\x", kList, false}, PathCase{"a\\..\\..\\x", kBare, false},
                                         PathCase{"a/../x", kBare, false}, PathCase{"a\\.\\x", kBare, false},
                                         PathCase{"...", kBare, false}, PathCase{"\\... \\x", kList, false},
                                         PathCase{". ", kBare, false}, PathCase{"a\\.. \\x", kBare, false},
                                         PathCase{"a.", kBare, false}, PathCase{"a ", kBare, false},
                                         PathCase{"a\\\\b", kBare, false}, PathCase{"a\\", kBare, false},
                                         PathCase{"\\a\\", kList, false}));

INSTANTIATE_TEST_SUITE_P(DeviceNames, SafePathTest,
                         testing::Values(PathCase{"\\COM3", kList, false}, PathCase{"com3", kBare, false},
                                         PathCase{"Com3.ini", kBare, false}, PathCase{"a\\nul.txt\\b", kBare, false},
                                         PathCase{"aux .txt", kBare, false}, PathCase{"CON", kBare, false},
                                         PathCase{"prn.tar.gz", kBare, false}, PathCase{"LPT9", kBare, false},
                                         PathCase{"\\x\\lpt1.log", kList, false}, PathCase{"CONIN$", kBare, false},
                                         PathCase{"conout$.txt", kBare, false}, PathCase{"COM\xb9", kBare, false}));

INSTANTIATE_TEST_SUITE_P(RefusedBytes, SafePathTest,
                         testing::Values(PathCase{"a\x01.txt", kBare, false}, PathCase{"a\tb", kBare, false},
                                         PathCase{"a\x1f\\b", kBare, false}, PathCase{"a\x7f", kBare, false},
                                         PathCase{"a*.txt", kBare, false}, PathCase{"a?.txt", kBare, false},
                                         PathCase{"a\"b", kBare, false}, PathCase{"a<b", kBare, false},
                                         PathCase{"a>b", kBare, false}, PathCase{"a|b", kBare, false}));

TEST(SafePathTest, EmbeddedZeroByteIsRefused) {
    EXPECT_FALSE(IsSafeRelativePath(std::string("a\0b", 3), PathStart::Bare));
}

// The install folder "C:\\Program Files (x86)\\MiniTarvik" takes 33 of the 259 characters; a
// file's part file (".tarvik-part") 12 more.
TEST(FitsInstallFolderTest, FilesKeepRoomForTheirPartFile) {
    const std::string file214 = "\\" + std::string(213, 'f'), folder226 = "\\" + std::string(225, 'd');
    EXPECT_TRUE(FitsInstallFolder(file214, InstalledKind::File));
    EXPECT_FALSE(FitsInstallFolder(file214 + "x", InstalledKind::File));
    EXPECT_TRUE(FitsInstallFolder(file214 + std::string(12, 'x'), InstalledKind::Folder));
    EXPECT_TRUE(FitsInstallFolder(folder226, InstalledKind::Folder));
    EXPECT_FALSE(FitsInstallFolder(folder226 + "x", InstalledKind::Folder));
    // A double-byte character counts as one: 320 bytes that are 214 characters fit.
    std::string gbk = "\\";
    for (int i = 0; i < 106; ++i) gbk += "\xbc\xa4";
    EXPECT_TRUE(FitsInstallFolder(gbk + "x" + std::string(106, 'y'), InstalledKind::File));
    EXPECT_FALSE(FitsInstallFolder(gbk + "x" + std::string(107, 'y'), InstalledKind::File));
}

TEST(SafePathPartTest, OnePartOnly) {
    EXPECT_TRUE(IsSafePathPart("My Mini Tarvik"));
    EXPECT_TRUE(IsSafePathPart("Inkscape (Vektrel)"));
    EXPECT_TRUE(IsSafePathPart("\xce\xd2\xb5\xc4 Mini Tarvik"));
    for (const char* name : {"", "..", "..\\..\\..\\Startup\\x", "a\\b", "a/b", "C:x", "NUL", "x.", "a\x05"})
        EXPECT_FALSE(IsSafePathPart(name)) << name;
}

}  // namespace
