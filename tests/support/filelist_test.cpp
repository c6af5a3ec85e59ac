// File list documents of real folders: records, their naming, filters, sizes and times.
#include "xc_filelist.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "scratch_folder.h"

namespace {

bool MakeFile(const std::string& path, uint64_t size) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    LARGE_INTEGER end;
    end.QuadPart = LONGLONG(size);
    const bool sized = SetFilePointerEx(file, end, nullptr, FILE_BEGIN) && SetEndOfFile(file);
    CloseHandle(file);
    return sized;
}

bool SetWriteTime(const std::string& path, const SYSTEMTIME& utc) {
    FILETIME time;
    if (!SystemTimeToFileTime(&utc, &time)) return false;
    HANDLE file =
        CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    const bool set = SetFileTime(file, nullptr, nullptr, &time) != FALSE;
    CloseHandle(file);
    return set;
}

// The index of the record for name, or -1.
int FindRecord(XC_FileList& list, const std::string& name) {
    for (int i = 0; i < list.GetCount(); ++i) {
        if (list.GetName(i) == name) return i;
    }
    return -1;
}

class FileListTest : public testing::Test {
protected:
    void SetUp() override {
        if (!scratch_.Ready()) GTEST_SKIP() << "no temporary folder";
    }

    std::string Field(int index, const char* field) {
        char record[16];
        snprintf(record, sizeof(record), "F%02d", index);
        return list_.Document().GetRecordValue(record, field);
    }

    ScratchFolder scratch_;
    XC_FileList list_;
};

TEST_F(FileListTest, RecordsDescribeFilesAndFolders) {
    const std::string file = scratch_.Child("Emberlin.exe");
    ASSERT_TRUE(MakeFile(file, 1025));
    const SYSTEMTIME written = {2014, 1, 0, 5, 3, 4, 5, 0};
    ASSERT_TRUE(SetWriteTime(file, written));
    ASSERT_TRUE(CreateDirectoryA(scratch_.Child("share").c_str(), nullptr));

    ASSERT_TRUE(list_.Scan(scratch_.Path().c_str(), "*.*", 0, 0));
    EXPECT_EQ(scratch_.Path(), list_.Document().GetValue("Path"));
    ASSERT_EQ(2, list_.GetCount());

    const int f = FindRecord(list_, "Emberlin.exe");
    ASSERT_NE(-1, f);
    EXPECT_EQ(GetFileAttributesA(file.c_str()), list_.GetAttributes(f));
    EXPECT_EQ("1025", Field(f, "Size"));
    EXPECT_EQ("1 KB", Field(f, "SizeStr"));
    EXPECT_EQ("2014-1-5 3:4:5", Field(f, "WriteTime"));
    EXPECT_FALSE(Field(f, "CreateTime").empty());
    EXPECT_EQ(file, list_.GetFullPath(f));

    const int d = FindRecord(list_, "share");
    ASSERT_NE(-1, d);
    EXPECT_TRUE(list_.GetAttributes(d) & FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_EQ("0", Field(d, "Size"));
    EXPECT_EQ("", Field(d, "SizeStr"));

    // Fields stand in a fixed order in each record.
    const std::string text = list_.Document().GetText();
    size_t at = text.find("<F00 ");
    ASSERT_NE(std::string::npos, at);
    for (const char* field : {"Attribute=", "Name=", "Size=", "SizeStr=", "CreateTime=", "WriteTime="}) {
        const size_t next = text.find(std::string(" ") + field, at);
        EXPECT_NE(std::string::npos, next) << field;
        at = next;
    }
}

TEST_F(FileListTest, FullPathJoinsWithOneBackslash) {
    ASSERT_TRUE(MakeFile(scratch_.Child("a.txt"), 0));
    const std::string withSlash = scratch_.Path() + "\\";
    ASSERT_TRUE(list_.Scan(withSlash.c_str(), "*.*", 0, 0));
    EXPECT_EQ(withSlash, list_.Document().GetValue("Path"));
    EXPECT_EQ(scratch_.Child("a.txt"), list_.GetFullPath(0));
}

TEST_F(FileListTest, RecordNamesGrowPastTwoDigits) {
    std::set<std::string> made;
    for (int i = 0; i < 101; ++i) {
        const std::string name = "file" + std::to_string(i) + ".dat";
        ASSERT_TRUE(MakeFile(scratch_.Child(name), 0));
        made.insert(name);
    }
    ASSERT_TRUE(list_.Scan(scratch_.Path().c_str(), "*.*", 0, 0));
    ASSERT_EQ(101, list_.GetCount());
    std::set<std::string> listed;
    for (int i = 0; i < 101; ++i) listed.insert(list_.GetName(i));
    EXPECT_EQ(made, listed);
    const std::string text = list_.Document().GetText();
    EXPECT_NE(std::string::npos, text.find("<F09 "));
    EXPECT_NE(std::string::npos, text.find("<F100 "));
    EXPECT_EQ(std::string::npos, text.find("<F9 "));
    EXPECT_EQ(std::string::npos, text.find("<F101 "));
}

TEST_F(FileListTest, EmptyFolderHasNoRecords) {
    ASSERT_TRUE(list_.Scan(scratch_.Path().c_str(), "*.*", 0, 0));
    EXPECT_EQ("0", list_.Document().GetValue("Count"));
    EXPECT_EQ(std::string::npos, std::string(list_.Document().GetText()).find("<F00"));
}

TEST_F(FileListTest, MissingFolderFailsWithPathAndZeroCount) {
    const std::string missing = scratch_.Child("missing");
    EXPECT_FALSE(list_.Scan(missing.c_str(), "*.*", 0, 0));
    EXPECT_EQ(missing, list_.Document().GetValue("Path"));
    EXPECT_EQ("0", list_.Document().GetValue("Count"));
}

TEST_F(FileListTest, MissingTextsLeaveTheDocument) {
    EXPECT_FALSE(list_.Scan(nullptr, "*.*", 0, 0));
    EXPECT_FALSE(list_.Scan("", "*.*", 0, 0));
    EXPECT_FALSE(list_.Scan(scratch_.Path().c_str(), nullptr, 0, 0));
    EXPECT_STREQ(XC_Xml::kTemplate, list_.Document().GetText());
}

// A second scan describes only the second folder.
TEST_F(FileListTest, RescanDropsEarlierRecords) {
    for (const char* name : {"a.txt", "b.txt", "c.txt"}) ASSERT_TRUE(MakeFile(scratch_.Child(name), 1));
    const std::string other = scratch_.Child("other");
    ASSERT_TRUE(CreateDirectoryA(other.c_str(), nullptr));
    ASSERT_TRUE(MakeFile(other + "\\only.txt", 1));

    ASSERT_TRUE(list_.Scan(scratch_.Path().c_str(), "*.txt", 0, 0));
    ASSERT_EQ(3, list_.GetCount());
    ASSERT_TRUE(list_.Scan(other.c_str(), "*.*", 0, 0));
    EXPECT_EQ(1, list_.GetCount());
    EXPECT_EQ("only.txt", list_.GetName(0));
    EXPECT_EQ("", list_.GetName(1));
    EXPECT_EQ(0u, list_.GetAttributes(2));
}

struct FilterCase {
    const char* pattern;
    DWORD required;
    DWORD excluded;
    std::set<std::string> names;
};

class FileListFilterTest : public FileListTest, public testing::WithParamInterface<FilterCase> {};

TEST_P(FileListFilterTest, TakesMatchingEntries) {
    ASSERT_TRUE(MakeFile(scratch_.Child("plain.txt"), 3));
    ASSERT_TRUE(MakeFile(scratch_.Child("fixed.log"), 3));
    ASSERT_TRUE(SetFileAttributesA(scratch_.Child("fixed.log").c_str(), FILE_ATTRIBUTE_READONLY));
    ASSERT_TRUE(CreateDirectoryA(scratch_.Child("bin").c_str(), nullptr));

    const FilterCase& c = GetParam();
    ASSERT_TRUE(list_.Scan(scratch_.Path().c_str(), c.pattern, c.required, c.excluded));
    std::set<std::string> listed;
    for (int i = 0; i < list_.GetCount(); ++i) listed.insert(list_.GetName(i));
    EXPECT_EQ(c.names, listed);
}

INSTANTIATE_TEST_SUITE_P(
    Filters, FileListFilterTest,
    testing::Values(FilterCase{"*.*", 0, 0, {"plain.txt", "fixed.log", "bin"}},
                    FilterCase{"*.txt", 0, 0, {"plain.txt"}}, FilterCase{"*.*", FILE_ATTRIBUTE_DIRECTORY, 0, {"bin"}},
                    FilterCase{"*.*", 0, FILE_ATTRIBUTE_DIRECTORY, {"plain.txt", "fixed.log"}},
                    FilterCase{"*.*", FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY, 0, {"fixed.log", "bin"}},
                    FilterCase{"*.*", 0, FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY, {"plain.txt"}}));

struct SizeCase {
    uint64_t size;
    const char* text;
};

class FileSizeTextTest : public testing::TestWithParam<SizeCase> {};

TEST_P(FileSizeTextTest, Formats) { EXPECT_EQ(GetParam().text, FileSizeText(GetParam().size)); }

// Each threshold is exclusive: exactly 1 KiB, 1 MiB or 1 GiB still counts in the unit below.
INSTANTIATE_TEST_SUITE_P(Thresholds, FileSizeTextTest,
                         testing::Values(SizeCase{0, "0 KB"}, SizeCase{1, "1 KB"}, SizeCase{1024, "1 KB"},
                                         SizeCase{1025, "1 KB"}, SizeCase{2047, "1 KB"}, SizeCase{2048, "2 KB"},
                                         SizeCase{1048576, "1024 KB"}, SizeCase{1048577, "1.00 MB"},
                                         SizeCase{1610612736, "1.50 GB"}, SizeCase{1073741824, "1024.00 MB"},
                                         SizeCase{1073741825, "1.00 GB"}, SizeCase{0x80000000ull, "2.00 GB"},
                                         SizeCase{0x100000005ull, "4.00 GB"}));

// Sizes of 2 GiB and more: "Size" keeps the low 32 bits as a signed number, the size text
// the whole size. The files are sparse.
TEST_F(FileListTest, LargeFilesKeepLowSizeAndWholeSizeText) {
    if (!MakeFile(scratch_.Child("two.bin"), 0x80000000ull) || !MakeFile(scratch_.Child("four.bin"), 0x100000005ull))
        GTEST_SKIP() << "no large sparse files here";
    ASSERT_TRUE(list_.Scan(scratch_.Path().c_str(), "*.bin", 0, 0));
    const int two = FindRecord(list_, "two.bin");
    const int four = FindRecord(list_, "four.bin");
    ASSERT_NE(-1, two);
    ASSERT_NE(-1, four);
    EXPECT_EQ("-2147483648", Field(two, "Size"));
    EXPECT_EQ("2.00 GB", Field(two, "SizeStr"));
    EXPECT_EQ("5", Field(four, "Size"));
    EXPECT_EQ("4.00 GB", Field(four, "SizeStr"));
}

}  // namespace
