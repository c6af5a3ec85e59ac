// The elevated install and what other users may have put in its way: file lists whose paths
// would leave the install folder or open a device, and translations used as shortcut names.
#include <windows.h>

#include <aclapi.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "install_fixture.h"
#include "installworker.h"
#include "unix_link.h"

namespace {

bool LogHas(const std::vector<std::string>& entries, const std::string& start) {
    for (const std::string& entry : entries)
        if (entry.compare(0, start.size(), start) == 0) return true;
    return false;
}

using SYSTEM_SUITE(InstallSafetyTest) = InstallTest;

// Each unsafe FILE value stops the list where it stands (the count of a damaged list may be
// anything), is logged, and nothing is written for it: a device name would otherwise open the
// engraver's serial port, or swallow the file and report success.
TEST_F(SYSTEM_SUITE(InstallSafetyTest), UnsafeListedPathsAreRefused) {
    const char* const unsafe[] = {
        "\\COM3",      "\\nul.txt",     "\\inkscape\\AUX", "\\..\\escaped.txt", "\\inkscape\\...\\x",
        "\\C:\\x.txt", "\\\\server\\x", "\\a.txt:stream",  "\\a\\\\b.txt",      "\\bad\x01.txt",
        "\\Con.ini",   "\\\\?\\C:\\x"};
    for (const char* path : unsafe) {
        SCOPED_TRACE(path);
        // A first install keeps what it wrote; over it, the next damaged list changes nothing.
        const InstallResult expectedResult =
            path == unsafe[0] ? InstallResult::FinishedWithErrors : InstallResult::NotInstalled;
        AppTree tree;
        tree.folders = {"\\inkscape"};
        tree.files = {{"\\ok.txt", "ok"}, {path, "payload bytes"}, {"\\after.txt", "after"}};
        RecordingOwner owner;
        ASSERT_TRUE(AddAppTree(owner.Payload, tree));

        EXPECT_EQ(expectedResult, RunInstall(owner));

        const std::vector<std::pair<std::string, std::string>> expected = {{"\\inkscape\\", ""}, {"\\ok.txt", "ok"}};
        EXPECT_EQ(expected, InstalledTree());
        EXPECT_TRUE(LogHas(LogEntries(), std::string("Reading the file list failed: FILE1 (unsafe path ") + path))
            << LogText();
    }
}

TEST_F(SYSTEM_SUITE(InstallSafetyTest), UnsafeListedFolderIsRefused) {
    AppTree tree;
    tree.folders = {"\\inkscape", "\\..\\Escaped"};
    tree.files = {{"\\ok.txt", "ok"}};
    ASSERT_TRUE(AddAppTree(owner_.Payload, tree));
    EXPECT_EQ(InstallResult::FinishedWithErrors, RunInstall(owner_));
    EXPECT_FALSE(FileExists(InstallFolder() + "\\..\\Escaped"));
    EXPECT_TRUE(LogHas(LogEntries(), "Reading the file list failed: PATH1 (unsafe path \\..\\Escaped)")) << LogText();
}

// A language file beside the installer supplies the group and shortcut names: names that climb
// out of the Start menu group or the desktop are replaced by the English ones, and logged.
TEST_F(SYSTEM_SUITE(InstallSafetyTest), ShortcutNamesThatLeaveTheirFolderAreEnglish) {
    ASSERT_TRUE(AddAppTree(owner_.Payload, SampleAppTree()));
    owner_.Text_GroupName = "..\\..\\..\\Startup\\x";
    owner_.Text_OtherTools = "..\\..";
    owner_.Text_AppShortcut = "..\\..\\Startup\\evil";
    owner_.Text_InkscapeShortcut = "NUL";
    const std::string programs = GroupFolder().substr(0, GroupFolder().rfind('\\'));
    const std::string startup = programs + "\\Startup";

    EXPECT_EQ(InstallResult::Success, RunInstall(owner_));

    EXPECT_EQ(S_OK, ReadLink(GroupFolder() + "\\Load Mini Tarvik.lnk").loaded);
    EXPECT_EQ(S_OK, ReadLink(DesktopFolder() + "\\Load Mini Tarvik.lnk").loaded);
    EXPECT_EQ(S_OK, ReadLink(GroupFolder() + "\\Other Tools\\Inkscape (Vektrel).lnk").loaded);
    EXPECT_FALSE(FileExists(startup + "\\x"));
    EXPECT_FALSE(FileExists(startup + "\\evil.lnk"));
    EXPECT_FALSE(FileExists(programs + "\\..\\..\\Startup\\evil.lnk"));
    const std::vector<std::string> entries = LogEntries();
    for (const char* name : {"..\\..\\..\\Startup\\x", "..\\..", "..\\..\\Startup\\evil", "NUL"})
        EXPECT_TRUE(LogHas(entries, std::string("Naming a shortcut failed: ") + name + " (")) << name << LogText();
}

// The Start menu group replaced by a link to another folder: no shortcut is written through it;
// the desktop's still arrives.
TEST_F(SYSTEM_SUITE(InstallSafetyTest), ShortcutsAreNotWrittenThroughALink) {
    ScratchFolder outside("tarvik outside");
    ASSERT_TRUE(outside.Ready());
    const FolderLink group(outside.Path(), GroupFolder());
    if (!group.Made()) GTEST_SKIP() << "no symbolic links here";
    ASSERT_TRUE(AddAppTree(owner_.Payload, SampleAppTree()));

    EXPECT_EQ(InstallResult::Success, RunInstall(owner_));

    EXPECT_FALSE(FileExists(outside.Child("Load Mini Tarvik.lnk")));
    EXPECT_FALSE(FileExists(outside.Child("Other Tools")));
    EXPECT_EQ(S_OK, ReadLink(DesktopFolder() + "\\Load Mini Tarvik.lnk").loaded);
    const std::vector<std::string> entries = LogEntries();
    const std::string refused = "Creating a shortcut failed: " + GroupFolder();
    EXPECT_TRUE(LogHas(entries, refused + "\\Load Mini Tarvik (" + GroupFolder() + " is a link)")) << LogText();
    EXPECT_TRUE(LogHas(entries, refused + "\\Other Tools\\Inkscape (Vektrel) (" + GroupFolder() + " is a link)"))
        << LogText();
}

// What a folder holds, as name -> bytes, and the security descriptor's text of it and of each
// file: Wine rebuilds those from the Unix modes, so they show a changed mode too.
std::vector<std::pair<std::string, std::string>> Snapshot(const std::string& folder) {
    std::vector<std::pair<std::string, std::string>> entries;
    const auto descriptor = [](const std::string& path) {
        PSECURITY_DESCRIPTOR security = nullptr;
        std::string text = "unreadable";
        if (GetNamedSecurityInfoA(path.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, nullptr,
                                  nullptr, &security) == ERROR_SUCCESS) {
            char* sddl = nullptr;
            if (ConvertSecurityDescriptorToStringSecurityDescriptorA(security, SDDL_REVISION_1,
                                                                     DACL_SECURITY_INFORMATION, &sddl, nullptr)) {
                text = sddl;
                LocalFree(sddl);
            }
            LocalFree(security);
        }
        return text;
    };
    entries.emplace_back(".", descriptor(folder));
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return entries;
    do {
        const std::string name = found.cFileName;
        if (name == "." || name == "..") continue;
        entries.emplace_back(name, FileContents(folder + "\\" + name) + " " + descriptor(folder + "\\" + name));
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return entries;
}

// Any user may replace a folder of the open install folder, or the driver working folder in
// their temporary folder, by a link to a folder elsewhere: nothing is created, written or
// opened to everyone through it, each refusal is logged, and every other file still arrives.
TEST_F(SYSTEM_SUITE(InstallSafetyTest), NothingIsWrittenThroughLinkedFolders) {
    ScratchFolder outside("tarvik outside");
    ScratchFolder outsideDrivers("tarvik drivers outside");
    ASSERT_TRUE(outside.Ready() && outsideDrivers.Ready());
    FILE* keep = fopen(outside.Child("keep.txt").c_str(), "wb");
    ASSERT_NE(nullptr, keep);
    fputs("mine", keep);
    fclose(keep);
    ASSERT_TRUE(CreateDirectoryA(InstallFolder().c_str(), nullptr));
    const std::string linkedFolder = InstallFolder() + "\\inkscape";
    const std::string workingFolder = Temp() + "\\2303";
    const FolderLink inkscape(outside.Path(), linkedFolder);
    const FolderLink drivers(outsideDrivers.Path(), workingFolder);
    if (!inkscape.Made() || !drivers.Made()) GTEST_SKIP() << "no symbolic links here";
    ASSERT_NE(nullptr, Plug(Adapter("VID_067B&PID_2303", "USB\\Vid_067b&Pid_2303")));
    ASSERT_TRUE(AddDriverEntries(owner_.Payload));
    const AppTree tree = SampleAppTree();
    ASSERT_TRUE(AddAppTree(owner_.Payload, tree));
    const auto outsideBefore = Snapshot(outside.Path());
    const auto driversBefore = Snapshot(outsideDrivers.Path());

    EXPECT_EQ(InstallResult::FinishedWithErrors, RunInstall(owner_));

    EXPECT_EQ(outsideBefore, Snapshot(outside.Path()));
    EXPECT_EQ(driversBefore, Snapshot(outsideDrivers.Path()));
    EXPECT_EQ(tree.files[0].bytes, FileContents(InstallFolder() + "\\Emberlin.exe"));
    EXPECT_TRUE(IsFolder(InstallFolder() + "\\empty"));
    const std::vector<std::string> entries = LogEntries();
    EXPECT_TRUE(LogHas(entries, "Creating a folder failed: " + linkedFolder + " (" + linkedFolder + " is a link)"))
        << LogText();
    EXPECT_TRUE(
        LogHas(entries, "Creating a folder failed: " + linkedFolder + "\\share (" + linkedFolder + " is a link)"))
        << LogText();
    EXPECT_TRUE(
        LogHas(entries, "Writing a file failed: " + linkedFolder + "\\inkscape.exe (" + linkedFolder + " is a link)"))
        << LogText();
    EXPECT_TRUE(LogHas(entries, "Creating a folder failed: " + workingFolder + " (is a link)")) << LogText();
}

// Translated names that are plain names are used as they are.
TEST_F(SYSTEM_SUITE(InstallSafetyTest), PlainTranslatedNamesAreUsed) {
    ASSERT_TRUE(AddAppTree(owner_.Payload, SampleAppTree()));
    owner_.Text_AppShortcut = "Start Tarvik (x86)";
    EXPECT_EQ(InstallResult::Success, RunInstall(owner_));
    EXPECT_EQ(S_OK, ReadLink(GroupFolder() + "\\Start Tarvik (x86).lnk").loaded);
    EXPECT_TRUE(EntriesBesidesStaging().empty()) << LogText();
    DeleteFileA((DesktopFolder() + "\\Start Tarvik (x86).lnk").c_str());
}

}  // namespace
