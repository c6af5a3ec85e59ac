// Uninstall.exe on a real install tree laid out by the test, with its record, shortcuts and
// Programs and Features entry: what goes, what stays, the exit codes, and links on the way.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "uninstall_fixture.h"
#include "paths.h"
#include "scratch_folder.h"
#include "started_program.h"
#include "test_support.h"
#include "uninstallentry.h"
#include "unix_link.h"
#include "wholefile.h"
#include "xc_handle.h"
#include "xc_xml.h"

#ifndef TARVIK_SLEEPER_EXE
#error "TARVIK_SLEEPER_EXE: the waiting program the tests start"
#endif

using UninstallTest = InstallTree;

TEST_F(UninstallTest, RemovesWhatIsRecordedAndKeepsTheUsersFiles) {
    ASSERT_TRUE(EntryExists());
    // The engravings' folder and a driver package that an older install's record lists are
    // never the uninstaller's.
    CreateDirectoryA("C:\\output", nullptr);
    const std::string engraving = "C:\\output\\uninstall-test-" + std::to_string(GetCurrentProcessId()) + ".svg";
    ASSERT_TRUE(WriteText(engraving, "engraving"));
    const std::string driver = root_.Child("ser2pl.inf");
    ASSERT_TRUE(WriteText(driver, "driver"));
    XC_Xml older;
    ASSERT_TRUE(older.LoadText(record_.Text().c_str()));
    older.SetValue("DriverCount", "1");
    older.SetValue("DRIVER0", driver.c_str());
    ASSERT_TRUE(WriteText(RecordFile(), std::string(older.GetText(), older.GetTextLength())));
    EXPECT_EQ(0u, Uninstall());
    for (const InstallRecord::File& file : record_.Files()) EXPECT_FALSE(Exists(Installed(file.path))) << file.path;
    EXPECT_FALSE(Exists(Installed("\\inkscape\\share")));
    EXPECT_FALSE(Exists(RecordFile()));
    for (const std::string& shortcut : record_.Shortcuts()) EXPECT_FALSE(Exists(shortcut)) << shortcut;
    EXPECT_FALSE(Exists(tools_));
    EXPECT_FALSE(Exists(group_));
    EXPECT_TRUE(Exists(desktop_));  // the desktop was never the install's
    EXPECT_FALSE(EntryExists());
    EXPECT_EQ("mine", FileContents(Installed("\\user.txt")));
    EXPECT_EQ("mine", FileContents(Installed("\\inkscape\\mine.txt")));
    EXPECT_EQ("engraving", FileContents(engraving));
    EXPECT_EQ("driver", FileContents(driver));
    DeleteFileA(engraving.c_str());
    // The uninstaller's own file and folder go once it has ended, through its copy in the
    // temporary folder, which the system removes at the next restart.
    EXPECT_TRUE(GoneSoon(Uninstaller()));
    EXPECT_TRUE(GoneSoon(uninstall_));
    XC_RegKey session;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Control\\Session Manager", 0,
                                           KEY_READ, session.Receive()));
    // The list grows with every uninstall the prefix has seen until its next restart.
    DWORD size = 0, type = 0;
    ASSERT_EQ(ERROR_SUCCESS,
              RegQueryValueExA(session.Get(), "PendingFileRenameOperations", nullptr, &type, nullptr, &size));
    std::vector<char> pending(size + 2, '\0');
    ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExA(session.Get(), "PendingFileRenameOperations", nullptr, &type,
                                              reinterpret_cast<BYTE*>(pending.data()), &size));
    bool scheduled = false;
    for (const char* text = pending.data(); text < pending.data() + size && *text != '\0'; text += lstrlenA(text) + 1)
        scheduled = scheduled || std::string(text).find("MiniTarvik-Uninstall-") != std::string::npos;
    EXPECT_TRUE(scheduled);
}

TEST_F(UninstallTest, AnInstallWithoutUserFilesLeavesNoFolder) {
    ASSERT_TRUE(DeleteFileA(Installed("\\user.txt").c_str()));
    ASSERT_TRUE(DeleteFileA(Installed("\\inkscape\\mine.txt").c_str()));
    EXPECT_EQ(0u, Uninstall());
    EXPECT_TRUE(GoneSoon(install_));
}

TEST_F(UninstallTest, AFileHeldOpenFailsAndKeepsRecordAndEntry) {
    XC_KernelHandle held(CreateFileA(Installed("\\inkscape\\inkscape.exe").c_str(), GENERIC_READ, FILE_SHARE_READ,
                                     nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(held.IsOpen());
    EXPECT_EQ(1u, Uninstall());
    EXPECT_TRUE(Exists(Installed("\\inkscape\\inkscape.exe")));
    EXPECT_FALSE(Exists(Installed("\\Emberlin.exe")));  // the others went
    // A second run, once the file is free, finishes the job.
    EXPECT_TRUE(Exists(RecordFile()));
    EXPECT_TRUE(EntryExists());
    EXPECT_TRUE(Exists(Uninstaller()));
    held.Reset(nullptr);
    EXPECT_EQ(0u, Uninstall());
    EXPECT_FALSE(Exists(Installed("\\inkscape\\inkscape.exe")));
}

TEST_F(UninstallTest, ARunningApplicationFailsASilentRunAndNothingIsRemoved) {
    ASSERT_TRUE(CopyFileA(TARVIK_SLEEPER_EXE, Installed("\\Emberlin.exe").c_str(), FALSE));
    StartedProgram application(Installed("\\Emberlin.exe"));
    ASSERT_TRUE(application.Started());
    EXPECT_EQ(1u, Uninstall());
    application.Stop();
    ExpectNothingRemoved();
}

// Any switch but /S is refused at once with exit code 4 and no window (a question would wait
// for no one under a deployment tool): nothing is removed.
TEST_F(UninstallTest, UnknownSwitchesAreRefusedAndNothingIsRemoved) {
    for (const char* arguments : {"/quiet", "/S /quiet", "-S", "/SILENT", "\"/S\" x"}) {
        SCOPED_TRACE(arguments);
        EXPECT_EQ(4u, Uninstall(arguments));
        ExpectNothingRemoved();
    }
    EXPECT_EQ(0u, Uninstall("/s"));
}

TEST_F(UninstallTest, ADamagedRecordRemovesNothing) {
    ASSERT_TRUE(WriteText(RecordFile(), "<zxmlInfo><ExFastInfo"));
    EXPECT_EQ(1u, Uninstall());
    for (const InstallRecord::File& file : record_.Files()) EXPECT_TRUE(Exists(Installed(file.path))) << file.path;
    EXPECT_TRUE(EntryExists());
}

// A recorded folder replaced by a link that leads outside: nothing out there is removed.
TEST_F(UninstallTest, ALinkInPlaceOfARecordedFolderIsNotFollowed) {
    ScratchFolder outside("outside");
    ASSERT_TRUE(outside.Ready());
    ASSERT_TRUE(WriteText(outside.Child("a.txt"), "not the install's"));
    ScratchFolder::RemoveTree(Installed("\\inkscape\\share"));
    ASSERT_FALSE(Exists(Installed("\\inkscape\\share")));
    FolderLink link(outside.Path(), Installed("\\inkscape\\share"));
    if (!link.Made()) GTEST_SKIP() << "links cannot be made here";
    EXPECT_EQ(1u, Uninstall());
    EXPECT_EQ("not the install's", FileContents(outside.Child("a.txt")));
    EXPECT_FALSE(Exists(Installed("\\Emberlin.exe")));  // the rest went
    EXPECT_TRUE(EntryExists());
}

// The copy that removes the uninstaller goes into a new folder of its own: a file another user
// put at the copy's old, predictable name is neither written through nor started, and a folder
// put where the new one would go is not used.
TEST_F(UninstallTest, TheCopyGoesIntoANewFolderOfItsOwn) {
    std::string line = "\"" + Uninstaller() + "\" /S";
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    ASSERT_TRUE(CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr, nullptr, &startup,
                               &process));
    XC_KernelHandle uninstaller(process.hProcess);
    XC_KernelHandle thread(process.hThread);
    const std::string id = std::to_string(process.dwProcessId);
    const std::string oldName = TempDirPath(("MiniTarvik-Uninstall-" + id + ".exe").c_str());
    ASSERT_TRUE(WriteText(oldName, "another user's"));
    const std::string taken = TempDirPath(("MiniTarvik-Uninstall-" + id + "-0").c_str());
    ASSERT_TRUE(CreateDirectoryA(taken.c_str(), nullptr));
    ASSERT_TRUE(WriteText(taken + "\\MiniTarvik-Uninstall.exe", "another user's"));

    ResumeThread(thread.Get());
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(uninstaller.Get(), 60000));
    DWORD code = 1;
    GetExitCodeProcess(uninstaller.Get(), &code);
    EXPECT_EQ(0u, code);
    EXPECT_TRUE(GoneSoon(Uninstaller()));
    EXPECT_EQ("another user's", FileContents(oldName));
    EXPECT_EQ("another user's", FileContents(taken + "\\MiniTarvik-Uninstall.exe"));
    const std::string log = FileContents(TempDirPath("MiniTarvik-Uninstall.log"));
    const std::string through =
        "goes once it has ended, through " + TempDirPath(("MiniTarvik-Uninstall-" + id + "-1").c_str());
    EXPECT_NE(std::string::npos, log.find(through)) << log;
    DeleteFileA(oldName.c_str());
    ScratchFolder::RemoveTree(taken);
}
