// The Programs and Features entry read back from the registry: in the 32-bit view, with the
// installed application's version, and gone again after its removal.
#include "uninstallentry.h"

#include <gtest/gtest.h>

#include <windows.h>

#include "machine_lock.h"
#include "scratch_folder.h"
#include "wholefile.h"
#include "xc_handle.h"

#ifndef TARVIK_EMBERLIN_EXE
#error "TARVIK_EMBERLIN_EXE: the sample application with its version resource"
#endif

namespace {

bool Is64BitWindows() {
    BOOL wow64 = FALSE;
    return IsWow64Process(GetCurrentProcess(), &wow64) && wow64;
}

// The entry's key in one view; closed when not there.
struct EntryKey {
    explicit EntryKey(REGSAM view) {
        RegOpenKeyExA(HKEY_LOCAL_MACHINE, kUninstallKey, 0, KEY_READ | view, key.Receive());
    }
    std::string Text(const char* name) {
        char buffer[1024] = {};
        DWORD type = 0, size = sizeof(buffer) - 1;
        if (RegQueryValueExA(key.Get(), name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size) !=
                ERROR_SUCCESS ||
            type != REG_SZ)
            return "<none>";
        return buffer;
    }
    DWORD Dword(const char* name) {
        DWORD value = 0, type = 0, size = sizeof(value);
        if (RegQueryValueExA(key.Get(), name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) !=
                ERROR_SUCCESS ||
            type != REG_DWORD)
            return 0xDEADBEEF;
        return value;
    }
    XC_RegKey key;
};

class UninstallEntryTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(lock_.Held());
        ASSERT_TRUE(folder_.Ready());
        ASSERT_TRUE(RemoveUninstallEntry());
    }
    void TearDown() override { RemoveUninstallEntry(); }
    // The entry is one per machine, shared with the other executables of this prefix.
    MachineLock lock_;
    ScratchFolder folder_{"MiniTarvik"};
};

}  // namespace

TEST_F(UninstallEntryTest, ValuesReadBackInThe32BitView) {
    const std::string application = folder_.Child("Emberlin.exe");
    ASSERT_TRUE(CopyFileA(TARVIK_EMBERLIN_EXE, application.c_str(), FALSE));
    const std::string uninstaller = folder_.Child("Uninstall.exe");
    ASSERT_TRUE(WriteUninstallEntry(folder_.Path(), uninstaller, 5 * 1024 * 1024 + 1));

    EntryKey entry(KEY_WOW64_32KEY);
    ASSERT_TRUE(entry.key.IsOpen());
    EXPECT_EQ("Mini Tarvik", entry.Text("DisplayName"));
    EXPECT_EQ(application, entry.Text("DisplayIcon"));
    EXPECT_EQ("2.4.1.0", entry.Text("DisplayVersion"));
    EXPECT_EQ("Mini Tarvik", entry.Text("Publisher"));
    EXPECT_EQ(folder_.Path(), entry.Text("InstallLocation"));
    EXPECT_EQ(5u * 1024 + 1, entry.Dword("EstimatedSize"));  // rounded up
    EXPECT_EQ("\"" + uninstaller + "\"", entry.Text("UninstallString"));
    EXPECT_EQ("\"" + uninstaller + "\" /S", entry.Text("QuietUninstallString"));
    EXPECT_EQ(1u, entry.Dword("NoModify"));
    EXPECT_EQ(1u, entry.Dword("NoRepair"));

    // On 64-bit Windows the 64-bit view, where 64-bit programs' entries are, has none.
    if (Is64BitWindows()) {
        EXPECT_FALSE(EntryKey(KEY_WOW64_64KEY).key.IsOpen());
    }

    EXPECT_TRUE(RemoveUninstallEntry());
    EXPECT_FALSE(EntryKey(KEY_WOW64_32KEY).key.IsOpen());
    EXPECT_TRUE(RemoveUninstallEntry());  // nothing left to remove is no failure
}

TEST_F(UninstallEntryTest, AnApplicationWithoutVersionLeavesNoVersion) {
    const std::string application = folder_.Child("Emberlin.exe");
    ASSERT_TRUE(CopyFileA(TARVIK_EMBERLIN_EXE, application.c_str(), FALSE));
    ASSERT_TRUE(WriteUninstallEntry(folder_.Path(), folder_.Child("Uninstall.exe"), 0));
    ASSERT_EQ("2.4.1.0", EntryKey(KEY_WOW64_32KEY).Text("DisplayVersion"));
    // The next install's application has no version resource: the old version must not stay.
    ASSERT_TRUE(WriteBytesToFile(application.c_str(), "MZ", 2, 0));
    ASSERT_TRUE(WriteUninstallEntry(folder_.Path(), folder_.Child("Uninstall.exe"), 0));
    EntryKey entry(KEY_WOW64_32KEY);
    EXPECT_EQ("<none>", entry.Text("DisplayVersion"));
    EXPECT_EQ(0u, entry.Dword("EstimatedSize"));
}

TEST(FileVersionTextTest, ReadsTheFixedVersion) {
    EXPECT_EQ("2.4.1.0", FileVersionText(TARVIK_EMBERLIN_EXE));
    EXPECT_EQ("", FileVersionText("C:\\no such folder\\Emberlin.exe"));
}
