// Path joining, module and system folders, INI defaults and process start on the real API.
#include "paths.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace {

struct JoinCase {
    const char* parts[4];
    const char* expected;
};

const JoinCase kJoinCases[] = {
    {{"C:\\Temp\\", "MyLanguage", nullptr, nullptr}, "C:\\Temp\\MyLanguage"},
    {{"\\\\server\\share", "file.txt", nullptr, nullptr}, "\\\\server\\share\\file.txt"},
    {{"\\\\server\\\\share\\", "x", nullptr, nullptr}, "\\\\server\\share\\x"},
    {{"C:\\a", "", nullptr, nullptr}, "C:\\a\\"},
    {{"C:\\a\\", "", nullptr, nullptr}, "C:\\a\\"},
    {{"C:\\a\\\\\\b", nullptr, nullptr, nullptr}, "C:\\a\\b"},
    {{"C:\\a", nullptr, "c", nullptr}, "C:\\a\\c"},
    {{"a", "b", "c", "d"}, "a\\b\\c\\d"},
    {{"ab\\", "\\c\\", "\\d", "\\\\e"}, "ab\\c\\d\\e"},
    // Collapsing starts at the third character: a pair at index 1 is kept.
    {{"a\\", "b", nullptr, nullptr}, "a\\\\b"},
    {{nullptr, "b", nullptr, nullptr}, "b"},
    {{"", "b", nullptr, nullptr}, "b"},
    {{nullptr, nullptr, nullptr, nullptr}, ""},
    {{"C:", "", "", ""}, "C:\\"},
};

TEST(JoinPath, Table) {
    for (const JoinCase& c : kJoinCases) {
        SCOPED_TRACE(c.expected);
        EXPECT_EQ(c.expected, JoinPath(c.parts[0], c.parts[1], c.parts[2], c.parts[3]));
    }
}

TEST(ModulePath, NameGoesBesideTheExecutable) {
    char exe[1024];
    const DWORD length = GetModuleFileNameA(nullptr, exe, sizeof(exe));
    ASSERT_GT(length, 0u);
    const std::string self(exe, length);
    EXPECT_EQ(self, ModulePath());
    const std::string folder = self.substr(0, self.rfind('\\'));
    EXPECT_EQ(folder + "\\Language", ModulePath("Language"));
    EXPECT_EQ(folder + "\\Language\\Language_2052.txt", ModulePath("\\Language\\Language_2052.txt"));
}

TEST(ModulePath, OfALoadedModule) {
    const HMODULE kernel = GetModuleHandleA("kernel32.dll");
    ASSERT_NE(nullptr, kernel);
    EXPECT_EQ(SystemDirPath("kernel32.dll").size(), ModulePath(nullptr, kernel).size());
    EXPECT_EQ(0, _stricmp(SystemDirPath("kernel32.dll").c_str(), ModulePath(nullptr, kernel).c_str()));
}

TEST(SystemFolders, NamesExistingFiles) {
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(SystemDirPath("kernel32.dll").c_str()));
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(WindowsDirPath("win.ini").c_str()));
    const std::string inf = WindowsDirPath("inf");
    EXPECT_EQ(std::string::npos, inf.find("\\\\", 2));
}

TEST(TempDirPath, LongFormWhenTempIsShort) {
    char base[MAX_PATH];
    ASSERT_NE(0u, GetTempPathA(sizeof(base), base));
    const std::string longFolder =
        std::string(base) + "Tarvik Long Temporary Folder " + std::to_string(GetCurrentProcessId());
    ASSERT_TRUE(CreateDirectoryA(longFolder.c_str(), nullptr));
    char shortForm[MAX_PATH];
    const DWORD shortLength = GetShortPathNameA(longFolder.c_str(), shortForm, sizeof(shortForm));
    char longForm[1024];
    const DWORD longLength = GetLongPathNameA(longFolder.c_str(), longForm, sizeof(longForm));
    std::string result;
    {
        ScopedEnv tmp("TMP", shortForm);
        ScopedEnv temp("TEMP", shortForm);
        result = TempDirPath("MyLanguage.zip");
    }
    RemoveDirectoryA(longFolder.c_str());
    if (shortLength == 0 || std::string(shortForm) == longFolder) GTEST_SKIP() << "no short name for " << longFolder;
    ASSERT_GT(longLength, 0u);
    EXPECT_EQ(std::string(longForm, longLength) + "\\MyLanguage.zip", result);
}

TEST(TempDirPath, UnconvertibleTempFolderIsKept) {
    std::string result;
    {
        ScopedEnv tmp("TMP", "C:\\no such tarvik temp\\");
        ScopedEnv temp("TEMP", "C:\\no such tarvik temp\\");
        result = TempDirPath("MyLanguage.zip");
    }
    EXPECT_EQ("C:\\no such tarvik temp\\MyLanguage.zip", result);
}

// A folder of its own in the temporary folder, removed with its files.
class IniFile : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = TempDirPath(("tarvik_ini_" + std::to_string(GetCurrentProcessId())).c_str());
        ASSERT_TRUE(CreateDirectoryA(folder_.c_str(), nullptr));
        path_ = folder_ + "\\Language_2052.txt";
    }
    void TearDown() override {
        DeleteFileA(path_.c_str());
        RemoveDirectoryA(folder_.c_str());
    }
    std::string Contents() const { return FileContents(path_); }
    void Write(const char* text) const {
        FILE* file = fopen(path_.c_str(), "wb");
        ASSERT_NE(nullptr, file);
        fputs(text, file);
        fclose(file);
    }

    std::string folder_;
    std::string path_;
};

TEST_F(IniFile, MissingFileIsCreatedWithTheDefault) {
    EXPECT_EQ("Tahoma", ReadIniString(path_.c_str(), "Setting", "FontName", "Tahoma"));
    EXPECT_EQ("[Setting]\r\nFontName=Tahoma\r\n", Contents());
    EXPECT_EQ("Tahoma", ReadIniString(path_.c_str(), "setting", "FONTNAME", "Arial"));
}

TEST_F(IniFile, EmptyValueIsReplacedByTheDefault) {
    Write("[Setting]\r\nFontName=\r\nFontSize=8\r\n");
    EXPECT_EQ("Tahoma", ReadIniString(path_.c_str(), "Setting", "FontName", "Tahoma"));
    EXPECT_EQ("[Setting]\r\nFontName=Tahoma\r\nFontSize=8\r\n", Contents());
}

TEST_F(IniFile, StoredValueWinsAndFileIsKept) {
    Write("[Setting]\r\nFontSize=9\r\n");
    EXPECT_EQ("9", ReadIniString(path_.c_str(), "Setting", "FontSize", "8"));
    EXPECT_EQ("[Setting]\r\nFontSize=9\r\n", Contents());
}

TEST_F(IniFile, MissingKeyIsAddedToItsSection) {
    Write("[Setting]\r\nFontName=Tahoma\r\n[Strings]\r\n");
    EXPECT_EQ("Installing...", ReadIniString(path_.c_str(), "Strings", "{Installing...}", "Installing..."));
    EXPECT_EQ("[Setting]\r\nFontName=Tahoma\r\n[Strings]\r\n{Installing...}=Installing...\r\n", Contents());
}

TEST_F(IniFile, UnwritableFileStillGivesTheDefault) {
    const std::string missing = folder_ + "\\no such folder\\x.ini";
    EXPECT_EQ("8", ReadIniString(missing.c_str(), "Setting", "FontSize", "8"));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(missing.c_str()));
}

TEST(RunProcess, WaitsForTheExitCode) {
    DWORD exitCode = 12345;
    EXPECT_TRUE(RunProcess("cmd.exe /c exit 7", false, &exitCode));
    EXPECT_EQ(7u, exitCode);
}

TEST(RunProcess, StartsWithoutWaiting) { EXPECT_TRUE(RunProcess("cmd.exe /c exit 0", false)); }

TEST(RunProcess, MissingProgramIsNotStarted) {
    DWORD exitCode = 12345;
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(RunProcess("C:\\no\\such\\program.exe", true, &exitCode));
    EXPECT_NE(0xdeadbeefu, GetLastError());
    EXPECT_EQ(12345u, exitCode);
}

}  // namespace
