// The install record: saved and loaded back, damaged records refused whole, and what an
// upgrade removes.
#include "installrecord.h"

#include <gtest/gtest.h>

#include <string>

#include "scratch_folder.h"
#include "test_support.h"
#include "wholefile.h"
#include "xc_xml.h"

namespace {

InstallRecord SampleRecord() {
    InstallRecord record;
    record.SetLanguage(2052);
    record.SetInstallFolder("C:\\Program Files\\MiniTarvik");
    record.AddFolder("\\inkscape");
    record.AddFolder("\\inkscape\\share");
    record.AddFile("\\Emberlin.exe", 40960);
    record.AddFile("\\inkscape\\inkscape.exe", 5000000000ULL);     // beyond 32 bits
    record.AddFile("\\inkscape\\share\\\xbc\xa4\xb9\xe2.txt", 0);  // a GBK name
    record.AddShortcut("C:\\ProgramData\\Start Menu\\My Mini Tarvik\\Load Mini Tarvik.lnk");
    record.AddShortcut("\\\\server\\desktop\\Load Mini Tarvik.lnk");
    record.AddShortcutFolder("C:\\ProgramData\\Start Menu\\My Mini Tarvik");
    return record;
}

// Nothing of a record is left: no folder, file, shortcut or shortcut folder.
bool IsEmpty(const InstallRecord& record) {
    return record.Folders().empty() && record.Files().empty() && record.Shortcuts().empty() &&
           record.ShortcutFolders().empty();
}

void ExpectSame(const InstallRecord& expected, const InstallRecord& actual) {
    EXPECT_EQ(expected.Language(), actual.Language());
    EXPECT_EQ(expected.InstallFolder(), actual.InstallFolder());
    EXPECT_EQ(expected.Folders(), actual.Folders());
    ASSERT_EQ(expected.Files().size(), actual.Files().size());
    for (size_t i = 0; i < expected.Files().size(); ++i) {
        EXPECT_EQ(expected.Files()[i].path, actual.Files()[i].path);
        EXPECT_EQ(expected.Files()[i].size, actual.Files()[i].size);
    }
    EXPECT_EQ(expected.Shortcuts(), actual.Shortcuts());
    EXPECT_EQ(expected.ShortcutFolders(), actual.ShortcutFolders());
}

}  // namespace

TEST(InstallRecordTest, SavedAndLoadedBack) {
    ScratchFolder folder("record");
    ASSERT_TRUE(folder.Ready());
    const InstallRecord record = SampleRecord();
    const std::string path = folder.Child(InstallRecord::kFileName);
    ASSERT_TRUE(record.Save(path));
    InstallRecord loaded;
    ASSERT_TRUE(loaded.Load(path));
    ExpectSame(record, loaded);
    EXPECT_EQ(5000040960ULL, loaded.TotalSize());
    // The same document again, so a rewritten record over an unchanged install is the same file.
    EXPECT_EQ(FileContents(path), loaded.Text());
}

TEST(InstallRecordTest, AnEmptyRecordLoadsEmpty) {
    InstallRecord loaded;
    EXPECT_TRUE(loaded.LoadText(InstallRecord().Text().c_str()));
    EXPECT_TRUE(IsEmpty(loaded));
}

// Records of older installs also list the driver packages, which nothing reads: such a record
// loads whole, and means what it meant.
TEST(InstallRecordTest, AnOlderRecordWithDriversLoads) {
    XC_Xml older;
    ASSERT_TRUE(older.LoadText(SampleRecord().Text().c_str()));
    older.SetValue("DriverCount", "2");
    older.SetValue("DRIVER0", "USB\\Vid_067b&Pid_2303 ser2pl.inf");
    older.SetValue("DRIVER1", "C:\\ProgramData\\MiniTarvik\\Drivers\\2303\\ser2pl.inf");
    InstallRecord loaded;
    EXPECT_TRUE(loaded.LoadText(std::string(older.GetText(), older.GetTextLength()).c_str()));
    ExpectSame(SampleRecord(), loaded);
}

TEST(InstallRecordTest, MissingFileGivesEmptyAndFalse) {
    ScratchFolder folder("record");
    ASSERT_TRUE(folder.Ready());
    InstallRecord loaded = SampleRecord();
    EXPECT_FALSE(loaded.Load(folder.Child("none.xml")));
    EXPECT_TRUE(IsEmpty(loaded));
    EXPECT_EQ(0u, loaded.Language());
}

TEST(InstallRecordTest, SaveIntoAMissingFolderFails) {
    ScratchFolder folder("record");
    ASSERT_TRUE(folder.Ready());
    EXPECT_FALSE(SampleRecord().Save(folder.Child("missing\\") + InstallRecord::kFileName));
}

// Each damage, applied to the sample record's text, makes the whole record refused: nothing of
// it may be acted on by a program that deletes what it lists.
struct Damage {
    const char* name;
    const char* find;  // replaced in the sample's text (empty: the text is cut in half)
    const char* replace;
};

class DamagedRecordTest : public testing::TestWithParam<Damage> {};

TEST_P(DamagedRecordTest, RefusedWhole) {
    std::string text = SampleRecord().Text();
    const Damage& damage = GetParam();
    if (*damage.find == 0) {
        text.resize(text.size() / 2);
    } else {
        const size_t at = text.find(damage.find);
        ASSERT_NE(std::string::npos, at) << damage.find;
        text.replace(at, std::string(damage.find).size(), damage.replace);
    }
    ScratchFolder folder("record");
    ASSERT_TRUE(folder.Ready());
    const std::string path = folder.Child(InstallRecord::kFileName);
    ASSERT_TRUE(WriteBytesToFile(path.c_str(), text.data(), uint32_t(text.size()), 0));
    InstallRecord loaded = SampleRecord();
    EXPECT_FALSE(loaded.Load(path));
    EXPECT_TRUE(IsEmpty(loaded));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DamagedRecordTest,
    testing::Values(Damage{"Cut", "", ""}, Damage{"NotARecord", "ExFastInfo", "Other"},
                    Damage{"FileClimbsOut", "\\Emberlin.exe", "\\..\\..\\Windows\\win.ini"},
                    Damage{"FileOnADrive", "\\Emberlin.exe", "C:\\boot.ini"},
                    Damage{"FolderClimbsOut", "\\inkscape\\share\"", "\\inkscape\\..\""},
                    Damage{"FileMissing", "FILE1=", "XFILE1="},
                    Damage{"CountTooLarge", "FileCount=\"3\"", "FileCount=\"999999\""},
                    Damage{"CountNotANumber", "FileCount=\"3\"", "FileCount=\"-1\""},
                    Damage{"SizeNotANumber", "SIZE0=\"40960\"", "SIZE0=\"4k\""},
                    Damage{"ShortcutNoLink", "Load Mini Tarvik.lnk\" SHORTCUT1", "x.exe\" SHORTCUT1"},
                    Damage{"ShortcutRelative", "C:\\ProgramData\\Start Menu\\My Mini Tarvik\\Load",
                           "Start Menu\\..\\Load"},
                    Damage{"ShortcutFolderClimbs", "SHORTCUTFOLDER0=\"C:\\ProgramData", "SHORTCUTFOLDER0=\"C:\\.."},
                    Damage{"InstallFolderRelative", "InstallFolder=\"C:\\", "InstallFolder=\""},
                    Damage{"InstallFolderClimbs", "C:\\Program Files\\MiniTarvik", "C:\\Program Files\\.."}),
    [](const testing::TestParamInfo<Damage>& info) { return std::string(info.param.name); });

TEST(InstallRecordTest, UpgradeListsWhatTheNewInstallNoLongerHas) {
    InstallRecord older;
    older.AddFolder("\\a");
    older.AddFolder("\\a\\b");
    older.AddFolder("\\c");
    older.AddFile("\\Emberlin.exe", 1);
    older.AddFile("\\a\\Dropped.dll", 1);
    older.AddFile("\\a\\b\\old.txt", 1);
    InstallRecord newer;
    newer.AddFolder("\\A");
    newer.AddFile("\\EMBERLIN.EXE", 2);  // the same file: names compare as Windows compares them
    newer.AddFile("\\a\\Added.dll", 1);
    EXPECT_EQ((std::vector<size_t>{1, 2}), older.FilesNotIn(newer));
    // Deepest first, so each can go once it is empty.
    EXPECT_EQ((std::vector<std::string>{"\\c", "\\a\\b"}), older.FoldersNotIn(newer));
    EXPECT_TRUE(newer.FilesNotIn(newer).empty());
}
