// The deployment when the disk works against it: a volume short of space before the copy (the
// question, Retry, Cancel), a disk that fills during the copy, and the progress by bytes over
// one large file. Free space and failing writes come from replaced system functions.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <ostream>
#include <string>
#include <vector>

#include "deployment.h"
#include "import_patch.h"
#include "install_fixture.h"
#include "installsteps.h"
#include "installworker.h"
#include "xc_memspace.h"

namespace {

bool HasEntryStartingWith(const std::vector<std::string>& entries, const std::string& start) {
    for (const std::string& entry : entries)
        if (entry.compare(0, start.size(), start) == 0) return true;
    return false;
}

// ---- Free space ----------------------------------------------------------------------------

ULONGLONG freeBytes = 0;

BOOL WINAPI FreeSpaceAsSet(LPCSTR, PULARGE_INTEGER available, PULARGE_INTEGER total, PULARGE_INTEGER totalFree) {
    if (available != nullptr) available->QuadPart = freeBytes;
    if (total != nullptr) total->QuadPart = 1ull << 40;
    if (totalFree != nullptr) totalFree->QuadPart = freeBytes;
    return TRUE;
}

class SpaceTest : public InstallTest {
protected:
    void SetUp() override {
        InstallTest::SetUp();
        ASSERT_TRUE(AddAppTree(owner_.Payload, SampleAppTree()));
        patch_ = std::make_unique<ImportPatch>("kernel32.dll", "GetDiskFreeSpaceExA",
                                               reinterpret_cast<void*>(&FreeSpaceAsSet));
        if (!patch_->Applied()) GTEST_SKIP() << "this program does not import GetDiskFreeSpaceExA";
        freeBytes = 1000;
    }
    void TearDown() override {
        patch_.reset();
        InstallTest::TearDown();
    }

    // The sample tree is a few kilobytes: one megabyte, rounded up.
    const std::string question_ =
        "Not enough free disk space: 1 MB needed, 0 MB free on C:\\. Free some space and press Retry.";

private:
    std::unique_ptr<ImportPatch> patch_;
};
using SYSTEM_SUITE(SpaceTest) = SpaceTest;

TEST_F(SYSTEM_SUITE(SpaceTest), CancelLeavesNothingWritten) {
    EXPECT_EQ(InstallResult::NotInstalled, RunInstall(owner_));
    EXPECT_EQ(std::vector<std::string>{question_}, owner_.Questions());
    EXPECT_FALSE(FileExists(InstallFolder()));
    EXPECT_FALSE(FileExists(GroupFolder()));
    EXPECT_FALSE(FileExists(DesktopFolder() + "\\Load Mini Tarvik.lnk"));
    EXPECT_FALSE(FileExists("C:\\output"));
    EXPECT_TRUE(owner_.Statuses().empty());
    EXPECT_TRUE(HasEntryStartingWith(LogEntries(), "Checking the free disk space failed: C:\\ (" + question_))
        << LogText();
}

TEST_F(SYSTEM_SUITE(SpaceTest), RetryGoesOnOnceSpaceIsThere) {
    owner_.OnQuestion = [] {
        freeBytes = 1ull << 32;
        return true;
    };
    EXPECT_EQ(InstallResult::Success, RunInstall(owner_));
    EXPECT_EQ(std::vector<std::string>{question_}, owner_.Questions());
    EXPECT_EQ(Expected(SampleAppTree()), InstalledTree());
}

TEST_F(SYSTEM_SUITE(SpaceTest), RetryWhileStillShortAsksAgain) {
    int asked = 0;
    owner_.OnQuestion = [&asked] { return ++asked < 3; };
    EXPECT_EQ(InstallResult::NotInstalled, RunInstall(owner_));
    EXPECT_EQ(3u, owner_.Questions().size());
    EXPECT_FALSE(FileExists(InstallFolder()));
}

TEST_F(SYSTEM_SUITE(SpaceTest), ExactlyEnoughIsEnough) {
    uint64_t total = 0;
    for (const AppFile& file : SampleAppTree().files) total += file.bytes.size();
    freeBytes = total;
    EXPECT_EQ(InstallResult::Success, RunInstall(owner_));
    EXPECT_TRUE(owner_.Questions().empty());
}

struct QuestionCase {
    const char* name;
    std::string translation;
    std::string expected;
};

void PrintTo(const QuestionCase& question, std::ostream* out) { *out << question.name; }

class SpaceQuestionTest : public testing::TestWithParam<QuestionCase> {};
using SYSTEM_SUITE(SpaceQuestionTest) = SpaceQuestionTest;

TEST_P(SYSTEM_SUITE(SpaceQuestionTest), OnlyTwoNumbersAndATextAreFilledIn) {
    EXPECT_EQ(GetParam().expected, NotEnoughSpaceText(GetParam().translation, 300, 12, "D:\\"));
}

const std::string kEnglishQuestion =
    "Not enough free disk space: 300 MB needed, 12 MB free on D:\\. Free some space and press Retry.";

const QuestionCase kQuestionCases[] = {
    {"English", "Not enough free disk space: %d MB needed, %d MB free on %s. Free some space and press Retry.",
     kEnglishQuestion},
    {"Chinese", "\xb4\xc5\xc5\xcc\xbf\xd5\xbc\xe4\xb2\xbb\xd7\xe3: %d MB %d MB %s",
     "\xb4\xc5\xc5\xcc\xbf\xd5\xbc\xe4\xb2\xbb\xd7\xe3: 300 MB 12 MB D:\\"},
    {"Widths", "%5d|%-4i|%.2s", "  300|12  |D:"},
    {"Empty", "", kEnglishQuestion},
    {"TextFirst", "%s %d %d", kEnglishQuestion},
    {"OneNumber", "%d MB", kEnglishQuestion},
    {"Count", "%d %d %s %n", kEnglishQuestion},
    {"Pointer", "%d %d %p", kEnglishQuestion},
    {"LongWidth", "%d %d %999s", kEnglishQuestion},
};

SYSTEM_INSTANTIATE(Translations, SYSTEM_SUITE(SpaceQuestionTest), testing::ValuesIn(kQuestionCases),
                   [](const testing::TestParamInfo<QuestionCase>& info) { return info.param.name; });

// ---- A disk that fills during the copy -----------------------------------------------------

// Writes from inside this block fail once its first piece is written, as on a disk that fills.
const BYTE* fullFrom = nullptr;
const BYTE* fullTo = nullptr;
DWORD fullError = 0;
decltype(&WriteFile) systemWriteFile = nullptr;

BOOL WINAPI WriteUntilFull(HANDLE file, LPCVOID bytes, DWORD count, LPDWORD written, LPOVERLAPPED overlapped) {
    const BYTE* at = static_cast<const BYTE*>(bytes);
    if (at >= fullFrom + kWritePiece && at < fullTo) {
        if (written != nullptr) *written = 0;
        SetLastError(fullError);
        return FALSE;
    }
    return systemWriteFile(file, bytes, count, written, overlapped);
}

struct FullCase {
    const char* name;
    DWORD error;
};

void PrintTo(const FullCase& full, std::ostream* out) { *out << full.name; }

class DiskFullTest : public InstallTest, public testing::WithParamInterface<FullCase> {};
using SYSTEM_SUITE(DiskFullTest) = DiskFullTest;

// Halfway through an upgrade the disk is full: the upgrade is rolled back, every file holds its
// older bytes, no part file stays, and the failed write is logged.
TEST_P(SYSTEM_SUITE(DiskFullTest), AFullDiskHalfwayRollsTheUpgradeBack) {
    AppTree tree = SampleAppTree();
    const size_t large = tree.files.size() / 2;
    tree.files.insert(tree.files.begin() + long(large),
                      {"\\inkscape\\share\\large.dat", std::string(5 * kWritePiece / 2, 'o')});
    ASSERT_TRUE(AddAppTree(owner_.Payload, tree));
    ASSERT_EQ(InstallResult::Success, RunInstall(owner_));

    AppTree newer = tree;
    for (AppFile& file : newer.files) file.bytes = "new " + file.bytes;
    newer.files[large].bytes = std::string(5 * kWritePiece / 2, 'n');
    RecordingOwner again;
    ASSERT_TRUE(AddAppTree(again.Payload, newer));
    const XC_MemSpace* block = again.Payload.FindEntry(("FILE" + std::to_string(large)).c_str());
    ASSERT_NE(nullptr, block);
    systemWriteFile = reinterpret_cast<decltype(&WriteFile)>(
        reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "WriteFile")));
    ASSERT_NE(nullptr, systemWriteFile);
    fullFrom = block->data;
    fullTo = block->data + block->size;
    fullError = GetParam().error;
    {
        ImportPatch patch("kernel32.dll", "WriteFile", reinterpret_cast<void*>(&WriteUntilFull));
        if (!patch.Applied()) GTEST_SKIP() << "this program does not import WriteFile";
        EXPECT_EQ(InstallResult::NotInstalled, RunInstall(again));
    }

    EXPECT_EQ(Expected(tree), InstalledTree());
    const std::string path = InstallFolder() + newer.files[large].path;
    EXPECT_TRUE(
        HasEntryStartingWith(LogEntries(), "Writing a file failed: " + path + " (error " + std::to_string(fullError)))
        << LogText();
    EXPECT_TRUE(HasEntryStartingWith(LogEntries(), "Rolled back to the older install")) << LogText();
    // The copy stopped at the file that did not fit.
    EXPECT_EQ(large + 1, again.Statuses().size());
}

const FullCase kFullCases[] = {
    {"DiskFull", ERROR_DISK_FULL},
    {"HandleDiskFull", ERROR_HANDLE_DISK_FULL},
};

SYSTEM_INSTANTIATE(Errors, SYSTEM_SUITE(DiskFullTest), testing::ValuesIn(kFullCases),
                   [](const testing::TestParamInfo<FullCase>& info) { return info.param.name; });

// ---- Progress --------------------------------------------------------------------------------

// Whether the file at path holds exactly the bytes of block, read in pieces.
bool SameBytes(const std::string& path, const XC_MemSpace& block) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    std::vector<BYTE> piece(1 << 20);
    uint64_t at = 0;
    bool same = GetFileSize(file, nullptr) == block.size;
    DWORD read = 0;
    while (same && ReadFile(file, piece.data(), DWORD(piece.size()), &read, nullptr) && read > 0) {
        same = at + read <= block.size && memcmp(piece.data(), block.data + at, read) == 0;
        at += read;
    }
    CloseHandle(file);
    return same && at == block.size;
}

using SYSTEM_SUITE(ProgressTest) = InstallTest;

TEST_F(SYSTEM_SUITE(ProgressTest), LargeFileMovesTheBarInManySteps) {
    AppTree tree = SampleAppTree();
    const size_t large = 2;
    std::string bytes(200u << 20, '\0');
    for (size_t i = 0; i < bytes.size(); i += 4096) bytes[i] = char(i >> 12);
    tree.files.insert(tree.files.begin() + large, {"\\inkscape\\large.bin", std::move(bytes)});
    ASSERT_TRUE(AddAppTree(owner_.Payload, tree));
    tree.files[large].bytes.clear();
    tree.files[large].bytes.shrink_to_fit();

    EXPECT_EQ(InstallResult::Success, RunInstall(owner_));

    const std::vector<RecordingOwner::ProgressStep> steps = owner_.ProgressSteps();
    ASSERT_FALSE(steps.empty());
    int duringLarge = 0;
    for (size_t i = 0; i < steps.size(); ++i) {
        if (i > 0) {
            EXPECT_GT(steps[i].position, steps[i - 1].position) << "step " << i;
        }
        // Statuses come after each file: those of the files before the large one are written.
        if (steps[i].statusesBefore == large) ++duringLarge;
    }
    EXPECT_GE(duringLarge, 20);
    EXPECT_GT(steps.front().position, 0) << "the drivers' share comes first";
    EXPECT_LT(steps.front().position, kProgressFull / 10);
    EXPECT_EQ(kProgressFull, steps.back().position);
    EXPECT_EQ(tree.files.size(), owner_.Statuses().size());

    const XC_MemSpace* block = owner_.Payload.FindEntry(("FILE" + std::to_string(large)).c_str());
    ASSERT_NE(nullptr, block);
    EXPECT_TRUE(SameBytes(InstallFolder() + tree.files[large].path, *block));
    EXPECT_FALSE(FileExists(PartFilePath(InstallFolder() + tree.files[large].path)));
}

}  // namespace
