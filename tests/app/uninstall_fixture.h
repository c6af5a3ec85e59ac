// An install tree as the installer leaves it, laid out by the tests of the uninstaller.
#pragma once

#include <gtest/gtest.h>

#include <windows.h>

#include <memory>
#include <string>

#include "installrecord.h"
#include "machine_lock.h"
#include "scratch_folder.h"
#include "test_support.h"
#include "uninstallentry.h"
#include "wholefile.h"
#include "xc_handle.h"

#ifndef TARVIK_UNINSTALL_EXE
#error "TARVIK_UNINSTALL_EXE: the built uninstaller"
#endif

inline bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

inline bool EntryExists() {
    XC_RegKey key;
    return RegOpenKeyExA(HKEY_LOCAL_MACHINE, kUninstallKey, 0, KEY_READ | KEY_WOW64_32KEY, key.Receive()) ==
           ERROR_SUCCESS;
}

inline bool WriteText(const std::string& path, const std::string& text) {
    return WriteBytesToFile(path.c_str(), text.data(), uint32_t(text.size()), 0);
}

// An install as the installer leaves it: application files in two folder levels, three
// shortcuts in a group and a tools folder and on a desktop, the entry, and in a folder of its
// own the uninstaller and the record; and the user's own files beside them.
class InstallTree : public testing::Test {
protected:
    void SetUp() override {
        // The entry is one per machine, shared with the other executables of this prefix.
        lock_ = std::make_unique<MachineLock>();
        ASSERT_TRUE(lock_->Held());
        ASSERT_TRUE(root_.Ready());
        install_ = root_.Child("MiniTarvik");
        uninstall_ = root_.Child("Uninstall");
        group_ = root_.Child("Programs\\My Mini Tarvik");
        tools_ = group_ + "\\Other Tools";
        desktop_ = root_.Child("Desktop");
        for (const std::string& folder : {install_, uninstall_, root_.Child("Programs"), group_, tools_, desktop_})
            ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr)) << folder;
        record_.SetLanguage(1033);
        record_.SetInstallFolder(install_);
        AddFolder("\\inkscape");
        AddFolder("\\inkscape\\share");
        AddFile("\\Emberlin.exe", "application");
        AddFile("\\inkscape\\inkscape.exe", "inkscape");
        AddFile("\\inkscape\\share\\a.txt", "shared");
        ASSERT_TRUE(CopyFileA(TARVIK_UNINSTALL_EXE, Uninstaller().c_str(), FALSE));
        for (const std::string& shortcut : {group_ + "\\Load Mini Tarvik.lnk", desktop_ + "\\Load Mini Tarvik.lnk",
                                            tools_ + "\\Inkscape (Vektrel).lnk"}) {
            ASSERT_TRUE(WriteText(shortcut, "link"));
            record_.AddShortcut(shortcut);
        }
        record_.AddShortcutFolder(group_);
        record_.AddShortcutFolder(tools_);
        ASSERT_TRUE(record_.Save(RecordFile()));
        ASSERT_TRUE(WriteUninstallEntry(install_, Uninstaller(), record_.TotalSize()));
        // The user's: one in the install folder, one in a recorded subfolder.
        ASSERT_TRUE(WriteText(Installed("\\user.txt"), "mine"));
        ASSERT_TRUE(WriteText(Installed("\\inkscape\\mine.txt"), "mine"));
    }
    void TearDown() override {
        RemoveUninstallEntry();
        lock_.reset();
    }

    std::string Installed(const std::string& relative) const { return install_ + relative; }
    std::string Uninstaller() const { return uninstall_ + "\\Uninstall.exe"; }
    std::string RecordFile() const { return uninstall_ + "\\" + InstallRecord::kFileName; }
    void AddFolder(const std::string& relative) {
        ASSERT_TRUE(CreateDirectoryA(Installed(relative).c_str(), nullptr));
        record_.AddFolder(relative);
    }
    void AddFile(const std::string& relative, const std::string& text) {
        ASSERT_TRUE(WriteText(Installed(relative), text));
        record_.AddFile(relative, text.size());
    }
    DWORD Uninstall(const char* arguments = "/S") { return RunAndWait(Uninstaller(), arguments); }
    void ExpectNothingRemoved() {
        for (const InstallRecord::File& file : record_.Files()) EXPECT_TRUE(Exists(Installed(file.path))) << file.path;
        for (const std::string& shortcut : record_.Shortcuts()) EXPECT_TRUE(Exists(shortcut)) << shortcut;
        EXPECT_TRUE(Exists(RecordFile()));
        EXPECT_TRUE(EntryExists());
    }

    std::unique_ptr<MachineLock> lock_;
    ScratchFolder root_{"uninstall"};
    std::string install_, uninstall_, group_, tools_, desktop_;
    InstallRecord record_;
};
