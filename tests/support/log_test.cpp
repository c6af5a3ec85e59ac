// Log file: header, entry prefix, rollover to ".more.log", formatting, on real files.
#include "xc_log.h"

#include "paths.h"
#include "registry_helpers.h"
#include "test_support.h"
#include "xc_computerinfo.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace {

struct LogPathCase {
    const char* module;
    const char* log;
};

TEST(LogPathFor, ReplacesOrAddsTheExtension) {
    const LogPathCase cases[] = {
        {"C:\\Tools\\Setup.exe", "C:\\Tools\\Setup.log"},
        {"C:\\Tools\\Setup.x.exe", "C:\\Tools\\Setup.x.log"},
        {"C:\\Tools\\Setup", "C:\\Tools\\Setup.log"},
        {"C:\\my.tools\\Setup", "C:\\my.tools\\Setup.log"},
        {"Setup", "Setup.log"},
    };
    for (const LogPathCase& c : cases) EXPECT_EQ(c.log, LogPathFor(c.module)) << c.module;
}

bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// A file of size bytes, all 'x'.
bool MakeFile(const std::string& path, DWORD size) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    const std::string block(65536, 'x');
    bool ok = true;
    for (DWORD left = size; ok && left > 0;) {
        const DWORD take = left < block.size() ? left : static_cast<DWORD>(block.size());
        DWORD written = 0;
        ok = WriteFile(file, block.data(), take, &written, nullptr) && written == take;
        left -= take;
    }
    CloseHandle(file);
    return ok;
}

std::string ExpectedHeader() {
    const XC_ComputerInfo info;
    return std::string("Computer Name  : ") + info.ComputerName + "\r\nCPU            : " + info.CpuVendor + " " +
           info.CpuName + " X" + std::to_string(info.CpuCount) + "\r\nMemory         : " + info.MemoryText +
           "\r\nHard Disk      : " + info.HardDisk + "\r\nOS Version     : " + info.OsVersion +
           "\r\nComputer IDB   : " + info.ComputerIdB + "\r\nComputer IDN   : " + info.ComputerIdN + "\r\n";
}

long long Seconds(const SYSTEMTIME& t) {
    return ((((t.wYear * 13LL + t.wMonth) * 32 + t.wDay) * 24 + t.wHour) * 60 + t.wMinute) * 60 + t.wSecond;
}

// Checks one entry prefix "\r\nYYYY-MM-DD hh:mm:ss >> " at text[at], against the times
// taken just before and after the write.
void ExpectPrefix(const std::string& text, size_t at, const SYSTEMTIME& before, const SYSTEMTIME& after) {
    ASSERT_LE(at + 25, text.size());
    const std::string prefix = text.substr(at, 25);
    EXPECT_EQ("\r\n", prefix.substr(0, 2));
    EXPECT_EQ(" >> ", prefix.substr(21));
    const char shape[] = "dddd-dd-dd dd:dd:dd";
    for (size_t i = 0; i < 19; ++i) {
        if (shape[i] == 'd')
            EXPECT_TRUE(isdigit(static_cast<unsigned char>(prefix[2 + i]))) << prefix;
        else
            EXPECT_EQ(shape[i], prefix[2 + i]) << prefix;
    }
    SYSTEMTIME written = {};
    int fields[6] = {};
    ASSERT_EQ(6, sscanf(prefix.c_str() + 2, "%4d-%2d-%2d %2d:%2d:%2d", &fields[0], &fields[1], &fields[2], &fields[3],
                        &fields[4], &fields[5]));
    written.wYear = static_cast<WORD>(fields[0]);
    written.wMonth = static_cast<WORD>(fields[1]);
    written.wDay = static_cast<WORD>(fields[2]);
    written.wHour = static_cast<WORD>(fields[3]);
    written.wMinute = static_cast<WORD>(fields[4]);
    written.wSecond = static_cast<WORD>(fields[5]);
    EXPECT_LE(Seconds(before), Seconds(written)) << prefix;
    EXPECT_LE(Seconds(written), Seconds(after)) << prefix;
}

const size_t kPrefixLength = 25;

class LogFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = TempDirPath(("tarvik_log_" + std::to_string(GetCurrentProcessId())).c_str());
        ASSERT_TRUE(CreateDirectoryA(folder_.c_str(), nullptr));
        path_ = folder_ + "\\Setup.log";
        older_ = path_ + ".more.log";
        snprintf(log_.LogPath, sizeof(log_.LogPath), "%s", path_.c_str());
    }
    void TearDown() override {
        DeleteFileA(path_.c_str());
        DeleteFileA(older_.c_str());
        RemoveDirectoryA(folder_.c_str());
    }

    std::string folder_;
    std::string path_;
    std::string older_;
    XC_Log log_;
};

TEST_F(LogFileTest, FirstWriteStartsWithTheHeader) {
    MachineInfoLock hold;
    SYSTEMTIME before, after;
    GetLocalTime(&before);
    ASSERT_TRUE(log_.Append("hello", 5));
    GetLocalTime(&after);
    const std::string header = ExpectedHeader();
    const std::string text = FileContents(path_);
    ASSERT_EQ(header.size() + kPrefixLength + 5, text.size());
    EXPECT_EQ(header, text.substr(0, header.size()));
    ExpectPrefix(text, header.size(), before, after);
    EXPECT_EQ("hello", text.substr(header.size() + kPrefixLength));
}

TEST_F(LogFileTest, SecondWriteAddsOnlyAnEntry) {
    ASSERT_TRUE(log_.Append("one", 3));
    const std::string first = FileContents(path_);
    SYSTEMTIME before, after;
    GetLocalTime(&before);
    ASSERT_TRUE(log_.Append("two\r\n", 5));
    GetLocalTime(&after);
    const std::string text = FileContents(path_);
    ASSERT_EQ(first.size() + kPrefixLength + 5, text.size());
    EXPECT_EQ(first, text.substr(0, first.size()));
    ExpectPrefix(text, first.size(), before, after);
    EXPECT_EQ("two\r\n", text.substr(first.size() + kPrefixLength));
}

TEST_F(LogFileTest, NoBytesCreatesOnlyTheHeader) {
    MachineInfoLock hold;
    ASSERT_TRUE(log_.Append(nullptr, 5));
    EXPECT_EQ(ExpectedHeader(), FileContents(path_));
    ASSERT_TRUE(log_.Append("abc", 0));
    ASSERT_TRUE(log_.Append("abc", -1));
    EXPECT_EQ(ExpectedHeader(), FileContents(path_));
}

TEST_F(LogFileTest, LimitSizeIsAppendedToAndOneByteMoreRollsOver) {
    struct Case {
        DWORD size;
        bool rolls;
    };
    for (const Case c : {Case{8388608, false}, Case{8388609, true}}) {
        SCOPED_TRACE(c.size);
        ASSERT_TRUE(MakeFile(path_, c.size));
        ASSERT_TRUE(MakeFile(older_, 3));
        ASSERT_TRUE(log_.Append("entry", 5));
        const std::string text = FileContents(path_);
        const std::string older = FileContents(older_);
        if (c.rolls) {
            EXPECT_EQ(c.size, older.size());
            EXPECT_EQ(0u, text.find("Computer Name  : "));
            EXPECT_LT(text.size(), 4096u);
        } else {
            EXPECT_EQ(3u, older.size());
            EXPECT_EQ(c.size + kPrefixLength + 5, text.size());
            EXPECT_EQ(std::string::npos, text.find("Computer Name"));
        }
        EXPECT_EQ("entry", text.substr(text.size() - 5));
    }
}

TEST_F(LogFileTest, FormatWritesOneEntry) {
    ASSERT_TRUE(log_.AppendFormat("%s %d%%", "Copying files", 42));
    const std::string text = FileContents(path_);
    EXPECT_EQ("Copying files 42%", text.substr(text.size() - 17));
}

TEST_F(LogFileTest, EmptyFormattedTextTouchesNothing) {
    EXPECT_FALSE(log_.AppendFormat("%s", ""));
    EXPECT_FALSE(Exists(path_));
}

TEST_F(LogFileTest, OverlongFormattedTextIsCut) {
    const std::string big(70000, 'b');
    ASSERT_TRUE(log_.AppendFormat("%s", big.c_str()));
    const std::string text = FileContents(path_);
    const size_t entry = text.rfind(" >> ");
    ASSERT_NE(std::string::npos, entry);
    EXPECT_EQ(std::string(65534, 'b'), text.substr(entry + 4));
}

TEST_F(LogFileTest, UnwritableFolderGivesFalse) {
    const std::string missing = folder_ + "\\missing\\Setup.log";
    snprintf(log_.LogPath, sizeof(log_.LogPath), "%s", missing.c_str());
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(log_.Append("x", 1));
    EXPECT_EQ(static_cast<DWORD>(ERROR_PATH_NOT_FOUND), GetLastError());
    EXPECT_FALSE(log_.AppendFormat("%d", 1));
}

struct WriterArgs {
    XC_Log* log;
    char mark;
};

DWORD WINAPI WriteEntries(void* parameter) {
    const WriterArgs* args = static_cast<WriterArgs*>(parameter);
    const std::string entry(200, args->mark);
    for (int i = 0; i < 100; ++i) args->log->Append(entry.data(), static_cast<int>(entry.size()));
    return 0;
}

TEST_F(LogFileTest, EntriesOfTwoThreadsNeverInterleave) {
    WriterArgs args[2] = {{&log_, 'a'}, {&log_, 'b'}};
    HANDLE threads[2];
    for (int i = 0; i < 2; ++i) {
        threads[i] = CreateThread(nullptr, 0, WriteEntries, &args[i], 0, nullptr);
        ASSERT_NE(nullptr, threads[i]);
    }
    EXPECT_EQ(WAIT_OBJECT_0, WaitForMultipleObjects(2, threads, TRUE, 120000));
    for (HANDLE thread : threads) CloseHandle(thread);
    const std::string text = FileContents(path_);
    size_t entries = 0;
    for (size_t at = text.find(" >> "); at != std::string::npos; at = text.find(" >> ", at)) {
        at += 4;
        const std::string entry = text.substr(at, 200);
        EXPECT_TRUE(entry == std::string(200, 'a') || entry == std::string(200, 'b'));
        ++entries;
    }
    EXPECT_EQ(200u, entries);
}

TEST(XC_Log, DefaultPathIsBesideTheExecutable) {
    XC_Log log;
    ASSERT_TRUE(log.Append(nullptr, 0));
    const std::string expected = LogPathFor(ModulePath());
    EXPECT_EQ(expected, log.LogPath);
    EXPECT_TRUE(Exists(expected));
    DeleteFileA(expected.c_str());
}

}  // namespace
