// What an install wrote, kept beside the uninstaller: the install folder, the folders it created
// and the files it wrote (relative to the install folder, with their sizes), the shortcuts and
// their folders, and the language the install used. The uninstaller removes exactly what is
// listed, and an upgrade removes what an older install listed and the new one no longer has.
// Portable: a result document in a file. (Records of older installs also list the driver
// packages; nothing reads that list, and such a record loads as any other.)
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Beside the record: the uninstaller, and the language file of the install's language
// (LanguageFileName), so the uninstaller asks in that language.
constexpr const char* kUninstallerFileName = "Uninstall.exe";
inline std::string LanguageFileName(uint32_t languageId) { return "Language_" + std::to_string(languageId) + ".txt"; }

class InstallRecord {
public:
    // The record's file name beside the uninstaller.
    static constexpr const char* kFileName = "InstallRecord.xml";

    struct File {
        std::string path;  // relative, with one leading backslash ("\inkscape\inkscape.exe")
        uint64_t size = 0;
    };

    // Relative paths begin with one backslash, as the payload's file list stores them; callers
    // add them in creation order, so a folder comes before what it holds.
    void AddFolder(const std::string& relative);
    void AddFile(const std::string& relative, uint64_t size);
    // Full paths: a shortcut file (".lnk") and a Start-menu folder the shortcuts went into.
    void AddShortcut(const std::string& path);
    void AddShortcutFolder(const std::string& path);
    void SetLanguage(uint32_t languageId) { language_ = languageId; }
    // The full path of the install folder, which the relative paths are relative to.
    void SetInstallFolder(const std::string& path) { installFolder_ = path; }

    const std::vector<std::string>& Folders() const { return folders_; }
    const std::vector<File>& Files() const { return files_; }
    const std::vector<std::string>& Shortcuts() const { return shortcuts_; }
    const std::vector<std::string>& ShortcutFolders() const { return shortcutFolders_; }
    uint32_t Language() const { return language_; }
    const std::string& InstallFolder() const { return installFolder_; }
    // The recorded files' bytes together.
    uint64_t TotalSize() const;

    // The document's text, and the record rebuilt from such a text. A text that is not a
    // well-formed record, or that holds a path outside the rules (a relative path that leaves
    // its folder, a shortcut that is no full ".lnk" path, an install folder that is no full
    // path), leaves the record empty and gives
    // false: nothing of a damaged record is acted on.
    std::string Text() const;
    bool LoadText(const char* text);

    // Into the file, and back from it. A missing or damaged file gives an empty record and
    // false.
    bool Save(const std::string& path) const;
    bool Load(const std::string& path);

    // Files and folders of this (older) record that newer no longer lists, compared without
    // regard to ASCII case as Windows compares names: the files by their numbers in Files(), the
    // folders deepest first, so each can be removed once empty.
    std::vector<size_t> FilesNotIn(const InstallRecord& newer) const;
    std::vector<std::string> FoldersNotIn(const InstallRecord& newer) const;

private:
    std::vector<std::string> folders_;
    std::vector<File> files_;
    std::vector<std::string> shortcuts_;
    std::vector<std::string> shortcutFolders_;
    uint32_t language_ = 0;
    std::string installFolder_;
};
