// A real install's life after the copy: its Programs and Features entry read back, the
// uninstaller run on it, an application running from the install folder, and an upgrade from
// one payload to another.
#include <windows.h>
// After windows.h: it builds on its types.
#include <aclapi.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "deployment.h"
#include "install_fixture.h"
#include "installjournal.h"
#include "installrecord.h"
#include "installremoval.h"
#include "installworker.h"
#include "payloadkeys.h"
#include "permissions.h"
#include "started_program.h"
#include "test_support.h"
#include "uninstallentry.h"
#include "wholefile.h"
#include "xc_handle.h"

#ifndef TARVIK_UNINSTALL_EXE
#error "TARVIK_UNINSTALL_EXE: the built uninstaller"
#endif
#ifndef TARVIK_EMBERLIN_EXE
#error "TARVIK_EMBERLIN_EXE: the sample application with its version resource"
#endif
#ifndef TARVIK_SLEEPER_EXE
#error "TARVIK_SLEEPER_EXE: the waiting program the tests start"
#endif

namespace {

std::string EntryText(HKEY key, const char* name) {
    char value[1024] = {};
    DWORD size = sizeof(value) - 1, type = 0;
    if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(value), &size) != ERROR_SUCCESS ||
        type != REG_SZ)
        return "(missing)";
    return value;
}

DWORD EntryNumber(HKEY key, const char* name) {
    DWORD value = 0, size = sizeof(value), type = 0;
    if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) != ERROR_SUCCESS ||
        type != REG_DWORD)
        return 0xFFFFFFFF;
    return value;
}

bool OpenEntry(XC_RegKey* key) {
    return RegOpenKeyExA(HKEY_LOCAL_MACHINE, kUninstallKey, 0, KEY_READ | KEY_WOW64_32KEY, key->Receive()) ==
           ERROR_SUCCESS;
}

uint64_t TreeBytes(const AppTree& tree) {
    uint64_t total = 0;
    for (const AppFile& file : tree.files) total += file.bytes.size();
    return total;
}

class SYSTEM_SUITE(LifecycleTest) : public InstallTest {
protected:
    // The sample tree with the real application (it has a version) and the real uninstaller.
    AppTree RealTree() {
        AppTree tree = SampleAppTree();
        tree.files[0].bytes = FileContents(TARVIK_EMBERLIN_EXE);
        return tree;
    }
    // A payload is packed once: each install of another tree has an owner of its own.
    static void Pack(RecordingOwner& owner, const AppTree& tree) {
        ASSERT_TRUE(owner.Payload.AddFile(PayloadKey::Uninstaller, TARVIK_UNINSTALL_EXE));
        ASSERT_TRUE(AddAppTree(owner.Payload, tree));
    }
    std::string Uninstaller() const { return UninstallFolderPath() + "\\Uninstall.exe"; }
    InstallRecord Record() const {
        InstallRecord record;
        EXPECT_TRUE(record.Load(UninstallFolderPath() + "\\" + InstallRecord::kFileName));
        return record;
    }
};

TEST_F(SYSTEM_SUITE(LifecycleTest), TheEntryDescribesTheInstall) {
    const AppTree tree = RealTree();
    ASSERT_TRUE(AddDriverEntries(owner_.Payload));
    Pack(owner_, tree);
    ASSERT_EQ(InstallResult::Success, RunInstall(owner_)) << LogText();

    XC_RegKey entry;
    ASSERT_TRUE(OpenEntry(&entry));
    const std::string install = InstallFolder();
    EXPECT_EQ("Mini Tarvik", EntryText(entry.Get(), "DisplayName"));
    EXPECT_EQ("Mini Tarvik", EntryText(entry.Get(), "Publisher"));
    EXPECT_EQ(install + "\\Emberlin.exe", EntryText(entry.Get(), "DisplayIcon"));
    EXPECT_EQ(install, EntryText(entry.Get(), "InstallLocation"));
    const std::string version = FileVersionText(TARVIK_EMBERLIN_EXE);
    ASSERT_FALSE(version.empty());
    EXPECT_EQ(version, EntryText(entry.Get(), "DisplayVersion"));
    EXPECT_EQ("\"" + Uninstaller() + "\"", EntryText(entry.Get(), "UninstallString"));
    EXPECT_EQ("\"" + Uninstaller() + "\" /S", EntryText(entry.Get(), "QuietUninstallString"));
    EXPECT_EQ(1u, EntryNumber(entry.Get(), "NoModify"));
    EXPECT_EQ(1u, EntryNumber(entry.Get(), "NoRepair"));
    const uint64_t estimated = uint64_t(EntryNumber(entry.Get(), "EstimatedSize")) * 1024;
    const uint64_t installed = TreeBytes(tree);
    EXPECT_LE(std::max(estimated, installed) - std::min(estimated, installed), 1024u * 1024u);

    // The uninstaller, the record and the language file lie apart from the install folder, in
    // a folder no user but an administrator may change.
    EXPECT_EQ(Expected(tree), InstalledTree());
    EXPECT_EQ(FileContents(TARVIK_UNINSTALL_EXE), FileContents(Uninstaller()));
    const InstallRecord record = Record();
    EXPECT_EQ(install, record.InstallFolder());
    EXPECT_EQ(tree.files.size(), record.Files().size());
    EXPECT_EQ(3u, record.Shortcuts().size());
    EXPECT_EQ(2u, record.ShortcutFolders().size());
    // Wine rebuilds access lists from the Unix mode bits: what it can tell is whether the
    // world may write, not the exact entries.
    for (const std::string& path : {UninstallFolderPath(), Uninstaller()}) {
        PACL dacl = nullptr;
        PSECURITY_DESCRIPTOR descriptor = nullptr;
        ASSERT_EQ(DWORD(ERROR_SUCCESS),
                  GetNamedSecurityInfoA(const_cast<char*>(path.c_str()), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION,
                                        nullptr, nullptr, &dacl, nullptr, &descriptor))
            << path;
        ASSERT_NE(nullptr, dacl) << path;
        XC_WorldSid world;
        for (DWORD i = 0; i < dacl->AceCount; ++i) {
            ACCESS_ALLOWED_ACE* ace = nullptr;
            ASSERT_TRUE(GetAce(dacl, i, reinterpret_cast<void**>(&ace)));
            if (ace->Header.AceType != ACCESS_ALLOWED_ACE_TYPE || !EqualSid(&ace->SidStart, world.Get())) continue;
            EXPECT_EQ(0u, ace->Mask & (FILE_WRITE_DATA | FILE_APPEND_DATA | GENERIC_WRITE | GENERIC_ALL)) << path;
        }
        LocalFree(descriptor);
    }
}

TEST_F(SYSTEM_SUITE(LifecycleTest), TheUninstallerRemovesTheInstallAndKeepsTheUsersFiles) {
    Pack(owner_, RealTree());
    ASSERT_EQ(InstallResult::Success, RunInstall(owner_)) << LogText();
    const InstallRecord record = Record();
    ASSERT_FALSE(record.Files().empty());
    const std::string install = InstallFolder();
    ASSERT_TRUE(WriteBytesToFile((install + "\\user.txt").c_str(), "mine", 4, 0));
    ASSERT_TRUE(WriteBytesToFile((install + "\\inkscape\\mine.txt").c_str(), "mine", 4, 0));

    EXPECT_EQ(0u, RunAndWait(Uninstaller(), "/S"));
    for (const InstallRecord::File& file : record.Files()) EXPECT_FALSE(FileExists(install + file.path)) << file.path;
    for (const std::string& shortcut : record.Shortcuts()) EXPECT_FALSE(FileExists(shortcut)) << shortcut;
    EXPECT_FALSE(FileExists(GroupFolder()));
    XC_RegKey entry;
    EXPECT_FALSE(OpenEntry(&entry));
    EXPECT_EQ("mine", FileContents(install + "\\user.txt"));
    EXPECT_EQ("mine", FileContents(install + "\\inkscape\\mine.txt"));
    EXPECT_FALSE(FileExists(install + "\\inkscape\\share"));
    EXPECT_TRUE(IsFolder("C:\\output"));
    // The uninstaller and its folder go once it has ended.
    EXPECT_TRUE(GoneSoon(Uninstaller()));
    EXPECT_TRUE(GoneSoon(UninstallFolderPath()));
}

// Cancel writes nothing; Retry once the application is closed installs.
TEST_F(SYSTEM_SUITE(LifecycleTest), ARunningApplicationHoldsTheInstallUntilItIsClosed) {
    AppTree older = SampleAppTree();
    older.files[0].bytes = FileContents(TARVIK_SLEEPER_EXE);
    Pack(owner_, older);
    ASSERT_EQ(InstallResult::Success, RunInstall(owner_)) << LogText();
    StartedProgram application(InstallFolder() + "\\Emberlin.exe");
    ASSERT_TRUE(application.Started());

    const AppTree newer = SampleAppTree();
    RecordingOwner cancelled;
    Pack(cancelled, newer);
    EXPECT_EQ(InstallResult::NotInstalled, RunInstall(cancelled));
    EXPECT_EQ(std::vector<std::string>{kRunningQuestion}, cancelled.Questions());
    EXPECT_EQ(Expected(older), InstalledTree());

    RecordingOwner retried;
    Pack(retried, newer);
    retried.OnQuestion = [&] {
        application.Stop();
        return true;
    };
    EXPECT_EQ(InstallResult::Success, RunInstall(retried)) << LogText();
    EXPECT_EQ(std::vector<std::string>{kRunningQuestion}, retried.Questions());
    EXPECT_EQ(Expected(newer), InstalledTree());
}

// One file dropped, one added, one changed, one the user's: afterwards the tree is the newer
// payload's plus the user's file, and the record and the entry are the newer install's.
TEST_F(SYSTEM_SUITE(LifecycleTest), AnUpgradeLeavesTheNewerTreeAndTheUsersFile) {
    AppTree older = SampleAppTree();
    older.folders.push_back("\\plugins");
    older.files.push_back({"\\plugins\\dropped.dll", "old plug-in"});
    older.files.push_back({"\\inkscape\\changed.txt", "old"});
    Pack(owner_, older);
    ASSERT_EQ(InstallResult::Success, RunInstall(owner_)) << LogText();
    ASSERT_TRUE(WriteBytesToFile((InstallFolder() + "\\inkscape\\user.txt").c_str(), "mine", 4, 0));
    // The older install spoke German: its language file goes with it, or it would keep the
    // uninstaller's folder from ever being removed.
    InstallRecord german = Record();
    german.SetLanguage(1031);
    ASSERT_TRUE(german.Save(UninstallFolderPath() + "\\" + InstallRecord::kFileName));
    const std::string germanFile = UninstallFolderPath() + "\\" + LanguageFileName(1031);
    ASSERT_TRUE(WriteBytesToFile(germanFile.c_str(), "[Strings]", 9, 0));

    AppTree newer = SampleAppTree();
    newer.files.push_back({"\\inkscape\\changed.txt", "new, and longer"});
    newer.files.push_back({"\\inkscape\\added.txt", std::string(300000, 'a')});
    RecordingOwner upgrade;
    Pack(upgrade, newer);
    ASSERT_EQ(InstallResult::Success, RunInstall(upgrade)) << LogText();

    std::vector<std::pair<std::string, std::string>> expected = Expected(newer);
    expected.emplace_back("\\inkscape\\user.txt", "mine");
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(expected, InstalledTree());
    EXPECT_FALSE(FileExists(germanFile));
    const InstallRecord record = Record();
    ASSERT_EQ(newer.files.size(), record.Files().size());
    for (size_t i = 0; i < newer.files.size(); ++i) EXPECT_EQ(newer.files[i].path, record.Files()[i].path);
    EXPECT_EQ(newer.folders, record.Folders());
    XC_RegKey entry;
    ASSERT_TRUE(OpenEntry(&entry));
    EXPECT_EQ((TreeBytes(newer) + 1023) / 1024, EntryNumber(entry.Get(), "EstimatedSize"));
}

// ---- All or nothing ------------------------------------------------------------------------

// Cancels through the owner once the worker has reported cancelAfter statuses, as the window's
// close box does.
class CancellingOwner : public RecordingOwner {
public:
    explicit CancellingOwner(size_t cancelAfter) : cancelAfter_(cancelAfter) {}
    void SetStatus(const std::string& text) override {
        RecordingOwner::SetStatus(text);
        if (++statuses_ == cancelAfter_) RequestCancel();
    }

private:
    const size_t cancelAfter_;
    size_t statuses_ = 0;
};

class SYSTEM_SUITE(AllOrNothingTest) : public SYSTEM_SUITE(LifecycleTest) {
protected:
    // Version A with its real application, installed whole; its record's text.
    std::string InstallOlder() {
        Pack(owner_, older_);
        EXPECT_EQ(InstallResult::Success, RunInstall(owner_)) << LogText();
        return Record().Text();
    }

    // What stays of A after a rollback: its tree, record and entry, nothing of B's.
    void ExpectOlder(const std::string& olderRecord) {
        EXPECT_EQ(Expected(older_), InstalledTree());
        EXPECT_EQ(olderRecord, Record().Text());
        XC_RegKey entry;
        ASSERT_TRUE(OpenEntry(&entry));
        EXPECT_EQ(FileVersionText(TARVIK_EMBERLIN_EXE), EntryText(entry.Get(), "DisplayVersion"));
        EXPECT_EQ((TreeBytes(older_) + 1023) / 1024, EntryNumber(entry.Get(), "EstimatedSize"));
        EXPECT_FALSE(FileExists(UninstallFolderPath() + "\\" + InstallJournal::kFileName));
        EXPECT_TRUE(HasEntry("Rolled back to the older install")) << LogText();
    }

    bool HasEntry(const std::string& start) const {
        for (const std::string& entry : LogEntries())
            if (entry.compare(0, start.size(), start) == 0) return true;
        return false;
    }

    // A: the real application (it has a version); B: the application without one, one file
    // changed, one dropped, one added.
    AppTree older_ = WithExtras(RealTree(), "old");
    AppTree newer_ = Newer();

private:
    AppTree WithExtras(AppTree tree, const std::string& version) {
        tree.files.push_back({"\\inkscape\\dropped.txt", "dropped in B"});
        tree.files.push_back({"\\inkscape\\changed.txt", "changed, " + version});
        return tree;
    }
    AppTree Newer() {
        AppTree tree = SampleAppTree();
        tree.files.push_back({"\\inkscape\\changed.txt", "changed, new"});
        tree.files.push_back({"\\added.txt", "added in B"});
        return tree;
    }
};

// A program outside the install folder holds one of A's files: B cannot set it aside, and the
// upgrade is rolled back; B's files written before go, A's come back.
TEST_F(SYSTEM_SUITE(AllOrNothingTest), AHeldFileRollsTheUpgradeBackToTheOlderTreeRecordAndEntry) {
    const std::string olderRecord = InstallOlder();
    const std::string held = InstallFolder() + "\\inkscape\\changed.txt";
    HANDLE handle = CreateFileA(held.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(handle, INVALID_HANDLE_VALUE);
    RecordingOwner upgrade;
    Pack(upgrade, newer_);
    EXPECT_EQ(InstallResult::NotInstalled, RunInstall(upgrade));
    CloseHandle(handle);
    ExpectOlder(olderRecord);
    EXPECT_TRUE(HasEntry("Cannot set aside " + held)) << LogText();
}

TEST_F(SYSTEM_SUITE(AllOrNothingTest), ACancelDuringTheCopyPutsTheOlderInstallBack) {
    const std::string olderRecord = InstallOlder();
    CancellingOwner upgrade(2);
    Pack(upgrade, newer_);
    EXPECT_EQ(InstallResult::NotInstalled, RunInstall(upgrade));
    EXPECT_EQ(2u, upgrade.Statuses().size());
    ExpectOlder(olderRecord);
    EXPECT_TRUE(HasEntry("Installing failed: " + InstallFolder() + " (cancelled)")) << LogText();
}

TEST_F(SYSTEM_SUITE(AllOrNothingTest), ACancelledFirstInstallLeavesNothing) {
    CancellingOwner first(2);
    Pack(first, newer_);
    EXPECT_EQ(InstallResult::NotInstalled, RunInstall(first));
    EXPECT_TRUE(InstalledTree().empty());
    EXPECT_FALSE(FileExists(UninstallFolderPath() + "\\" + InstallRecord::kFileName));
    EXPECT_FALSE(FileExists(Uninstaller()));
    EXPECT_FALSE(FileExists(GroupFolder()));
    XC_RegKey entry;
    EXPECT_FALSE(OpenEntry(&entry));
    EXPECT_TRUE(HasEntry("Rolled back to no install")) << LogText();
}

// A first install that fails keeps what it wrote, all of it in its record: the uninstaller
// removes every file.
TEST_F(SYSTEM_SUITE(AllOrNothingTest), AFailedFirstInstallRecordsEveryFileItWrote) {
    AppTree tree = newer_;
    tree.folders.push_back("\\a\\b");  // before its parent: not made, and its file not written
    tree.folders.push_back("\\a");
    tree.files.push_back({"\\a\\b\\lost.txt", "lost"});
    tree.files.push_back({"\\a\\last.txt", "written after the failure"});
    Pack(owner_, tree);
    EXPECT_EQ(InstallResult::FinishedWithErrors, RunInstall(owner_));
    EXPECT_EQ("written after the failure", FileContents(InstallFolder() + "\\a\\last.txt"));
    const InstallRecord record = Record();
    EXPECT_EQ(tree.files.size(), record.Files().size());
    EXPECT_EQ(0u, RunAndWait(Uninstaller(), "/S"));
    EXPECT_FALSE(FileExists(InstallFolder()));
    EXPECT_TRUE(GoneSoon(Uninstaller()));
}

}  // namespace
