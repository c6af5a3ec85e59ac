// Registry reads by path text on keys the test makes under HKCU, and the special folders.
#include "registry.h"

#include "registry_helpers.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace {

class Registry : public ::testing::Test {
protected:
    void SetUp() override {
        sub_ = "Software\\TarvikTest" + std::to_string(GetCurrentProcessId());
        DeleteKeyTree(HKEY_CURRENT_USER, sub_);
        const DWORD number = 0x12345678;
        ASSERT_TRUE(SetRegValue(HKEY_CURRENT_USER, sub_, "Text", REG_SZ, "hello", 6));
        ASSERT_TRUE(SetRegValue(HKEY_CURRENT_USER, sub_, "Short", REG_SZ, "1", 2));
        ASSERT_TRUE(SetRegValue(HKEY_CURRENT_USER, sub_, "Multi", REG_MULTI_SZ, "A\0B\0", 5));
        ASSERT_TRUE(SetRegValue(HKEY_CURRENT_USER, sub_, "Expand", REG_EXPAND_SZ, "%TEMP%\\x", 9));
        ASSERT_TRUE(SetRegValue(HKEY_CURRENT_USER, sub_, "Number", REG_DWORD, &number, 4));
        ASSERT_TRUE(SetRegValue(HKEY_CURRENT_USER, sub_, "Bytes", REG_BINARY, "\1\2\3\4", 4));
        ASSERT_TRUE(SetRegValue(HKEY_CURRENT_USER, sub_ + "\\Alpha", "v", REG_SZ, "a", 2));
        ASSERT_TRUE(SetRegValue(HKEY_CURRENT_USER, sub_ + "\\Beta", "v", REG_SZ, "b", 2));
    }
    void TearDown() override { DeleteKeyTree(HKEY_CURRENT_USER, sub_); }

    std::string Path(const char* root) const { return std::string(root) + "\\" + sub_; }

    std::string sub_;
};

TEST_F(Registry, RootSpellingsOpenTheSameKey) {
    for (const char* root : {"HKCU", "HKEY_CURRENT_USER", "hkcu", "hkey_current_user", "HKEY_CURRENT_U", "HkCu"}) {
        SCOPED_TRACE(root);
        EXPECT_EQ("hello", RegReadString(Path(root).c_str(), "Text"));
    }
}

TEST(RegistryRoots, MachineSpellingsReadTheSameValue) {
    const char* sub = "\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";
    const std::string expected = RegReadString((std::string("HKLM") + sub).c_str(), "ProductName");
    ASSERT_FALSE(expected.empty());
    for (const char* root : {"HKEY_LOCAL_MACHINE", "hklm", "hkey_local_machine", "HKEY_LOCAL"}) {
        SCOPED_TRACE(root);
        EXPECT_EQ(expected, RegReadString((std::string(root) + sub).c_str(), "ProductName"));
    }
}

// "HKEY_CURRENT" is a leading part of both the user and the config root; the later row wins.
TEST_F(Registry, AmbiguousRootTakesTheLastMatch) {
    if (!SetRegValue(HKEY_CURRENT_CONFIG, sub_, "Where", REG_SZ, "config", 7))
        GTEST_SKIP() << "HKEY_CURRENT_CONFIG is not writable here";
    ASSERT_TRUE(SetRegValue(HKEY_CURRENT_USER, sub_, "Where", REG_SZ, "user", 5));
    const std::string where = RegReadString(Path("HKEY_CURRENT").c_str(), "Where");
    DeleteKeyTree(HKEY_CURRENT_CONFIG, sub_);
    EXPECT_EQ("config", where);
}

TEST_F(Registry, EmptyRestOpensTheRoot) {
    HKEY key = RegOpenPath("HKCU\\");
    ASSERT_NE(nullptr, key);
    RegCloseKey(key);
    EXPECT_GT(RegSubKeyCount("HKCU\\"), 0u);
}

TEST_F(Registry, PathsThatNameNoKeyReadNothing) {
    const std::string unknownRoot = "HKXX\\" + sub_;
    const std::string emptyRoot = "\\" + sub_;
    const std::string missingKey = Path("HKCU") + "\\Missing";
    for (const char* path : {static_cast<const char*>(nullptr), "HKCU", "HKEY_CURRENT_USER_X\\Software",
                             unknownRoot.c_str(), emptyRoot.c_str(), missingKey.c_str()}) {
        SCOPED_TRACE(path != nullptr ? path : "(null)");
        HKEY key = RegOpenPath(path);
        EXPECT_EQ(nullptr, key);
        if (key != nullptr) RegCloseKey(key);
        EXPECT_EQ("", RegReadString(path, "Text"));
        EXPECT_EQ(0u, RegReadDword(path, "Number"));
        EXPECT_EQ(0u, RegSubKeyCount(path));
        EXPECT_EQ("", RegSubKeyName(path, 0));
    }
}

TEST_F(Registry, ValuesReadByType) {
    const std::string key = Path("HKCU");
    struct Case {
        const char* name;
        const char* text;
        DWORD number;
    };
    const Case cases[] = {
        {"Text", "hello", 0},       {"Short", "1", 0}, {"Multi", "A\nB", 0}, {"Expand", "%TEMP%\\x", 0},
        {"Number", "", 0x12345678}, {"Bytes", "", 0},  {"Missing", "", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.text, RegReadString(key.c_str(), c.name));
        EXPECT_EQ(c.number, RegReadDword(key.c_str(), c.name));
    }
}

TEST_F(Registry, UnterminatedMultiStringStaysInItsBuffer) {
    ASSERT_TRUE(SetRegValue(HKEY_CURRENT_USER, sub_, "Raw", REG_MULTI_SZ, "A\0BC", 4));
    EXPECT_EQ("A\nBC", RegReadString(Path("HKCU").c_str(), "Raw"));
}

TEST_F(Registry, ReadValueRejectsMissingArguments) {
    const std::string key = Path("HKCU");
    char buffer[16];
    DWORD type = REG_SZ;
    DWORD size = sizeof(buffer);
    EXPECT_FALSE(RegReadValue(key.c_str(), nullptr, buffer, &type, &size));
    EXPECT_FALSE(RegReadValue(key.c_str(), "Text", buffer, nullptr, &size));
    EXPECT_FALSE(RegReadValue(key.c_str(), "Text", buffer, &type, nullptr));
    size = 0;
    EXPECT_FALSE(RegReadValue(key.c_str(), "Text", buffer, &type, &size));
    type = 0;
    size = sizeof(buffer);
    EXPECT_FALSE(RegReadValue(key.c_str(), "Text", buffer, &type, &size));
    type = REG_SZ;
    ASSERT_TRUE(RegReadValue(key.c_str(), "Text", buffer, &type, &size));
    EXPECT_EQ(6u, size);
    EXPECT_STREQ("hello", buffer);
    type = 0;
    size = 0;
    ASSERT_TRUE(RegReadValue(key.c_str(), "Multi", nullptr, &type, &size));
    EXPECT_EQ(static_cast<DWORD>(REG_MULTI_SZ), type);
    EXPECT_EQ(5u, size);
}

TEST_F(Registry, SubKeysByIndex) {
    const std::string key = Path("HKCU");
    ASSERT_EQ(2u, RegSubKeyCount(key.c_str()));
    const std::set<std::string> names = {RegSubKeyName(key.c_str(), 0), RegSubKeyName(key.c_str(), 1)};
    EXPECT_EQ((std::set<std::string>{"Alpha", "Beta"}), names);
    EXPECT_EQ("", RegSubKeyName(key.c_str(), 2));
    EXPECT_EQ(0u, RegSubKeyCount((key + "\\Alpha").c_str()));
    EXPECT_EQ("", RegSubKeyName((key + "\\Alpha").c_str(), 0));
}

TEST(SpecialFolders, InstallerFoldersExist) {
    for (int id : {38, 23, 16}) {
        SCOPED_TRACE(id);
        const std::string path = SpecialFolderPath(id);
        ASSERT_FALSE(path.empty());
        EXPECT_NE('\\', path.back());
        const DWORD attributes = GetFileAttributesA(path.c_str());
        ASSERT_NE(INVALID_FILE_ATTRIBUTES, attributes);
        EXPECT_TRUE(attributes & FILE_ATTRIBUTE_DIRECTORY);
    }
    EXPECT_EQ("", SpecialFolderPath(0x7fff));
}

}  // namespace
