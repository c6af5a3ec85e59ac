// The install record as a result document: counts and numbered values, one per item.
#include "installrecord.h"

#include <algorithm>
#include <cstdlib>
#include <set>

#include "asciicase.h"
#include "safepath.h"
#include "wholefile.h"
#include "xc_xml.h"

namespace {

constexpr const char* kLanguage = "Language";
constexpr const char* kInstallFolder = "InstallFolder";

// Each list's count and numbered value names.
struct ListNames {
    const char* count;
    const char* item;
};
constexpr ListNames kFolders = {"FolderCount", "FOLDER"};
constexpr ListNames kFiles = {"FileCount", "FILE"};
constexpr ListNames kSizes = {"FileCount", "SIZE"};
constexpr ListNames kShortcuts = {"ShortcutCount", "SHORTCUT"};
constexpr ListNames kShortcutFolders = {"ShortcutFolderCount", "SHORTCUTFOLDER"};

std::string ItemName(const ListNames& list, size_t index) { return list.item + std::to_string(index); }

// A full path on a drive ("C:\...") or a network share ("\\server\..."), whose parts pass the
// safe-path rule: no ".." climbs out of where the install put it.
bool IsSafeFullPath(const std::string& path) {
    if (path.size() > 3 && ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z')) &&
        path[1] == ':' && path[2] == '\\')
        return IsSafeRelativePath(path.substr(3), PathStart::Bare);
    if (path.size() > 2 && path[0] == '\\' && path[1] == '\\')
        return IsSafeRelativePath(path.substr(2), PathStart::Bare);
    return false;
}

bool IsShortcutPath(const std::string& path) {
    return IsSafeFullPath(path) && path.size() > 4 && AsciiUpper(path.substr(path.size() - 4)) == ".LNK";
}

// A count as stored: decimal digits only, and no larger than a document could hold.
bool ReadCount(XC_Xml& document, const char* name, size_t* count) {
    const std::string text = document.GetValue(name);
    if (text.empty()) {
        *count = 0;
        return true;
    }
    if (text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos) return false;
    *count = size_t(std::strtoul(text.c_str(), nullptr, 10));
    return *count <= document.GetTextLength();
}

// Every item of one list; false when one is missing or fails check.
template <typename Check>
bool ReadList(XC_Xml& document, const ListNames& list, Check check, std::vector<std::string>* items) {
    size_t count = 0;
    if (!ReadCount(document, list.count, &count)) return false;
    for (size_t i = 0; i < count; ++i) {
        std::string item = document.GetValue(ItemName(list, i).c_str());
        if (!check(item)) return false;
        items->push_back(std::move(item));
    }
    return true;
}

void WriteList(XC_Xml& document, const ListNames& list, const std::vector<std::string>& items) {
    document.SetValueInt(list.count, int32_t(items.size()));
    for (size_t i = 0; i < items.size(); ++i) document.SetValue(ItemName(list, i).c_str(), items[i].c_str());
}

}  // namespace

void InstallRecord::AddFolder(const std::string& relative) { folders_.push_back(relative); }

void InstallRecord::AddFile(const std::string& relative, uint64_t size) { files_.push_back({relative, size}); }

void InstallRecord::AddShortcut(const std::string& path) { shortcuts_.push_back(path); }

void InstallRecord::AddShortcutFolder(const std::string& path) { shortcutFolders_.push_back(path); }

uint64_t InstallRecord::TotalSize() const {
    uint64_t total = 0;
    for (const File& file : files_) total += file.size;
    return total;
}

std::string InstallRecord::Text() const {
    XC_Xml document;
    document.SetValue(kLanguage, std::to_string(language_).c_str());
    document.SetValue(kInstallFolder, installFolder_.c_str());
    WriteList(document, kFolders, folders_);
    document.SetValueInt(kFiles.count, int32_t(files_.size()));
    for (size_t i = 0; i < files_.size(); ++i) {
        document.SetValue(ItemName(kFiles, i).c_str(), files_[i].path.c_str());
        document.SetValue(ItemName(kSizes, i).c_str(), std::to_string(files_[i].size).c_str());
    }
    WriteList(document, kShortcuts, shortcuts_);
    WriteList(document, kShortcutFolders, shortcutFolders_);
    return std::string(document.GetText(), document.GetTextLength());
}

bool InstallRecord::LoadText(const char* text) {
    *this = InstallRecord();
    XC_Xml document;
    // A well-formed document of another kind is no record: every record carries its file count.
    if (text == nullptr || !document.LoadText(text) || document.GetValue(kFiles.count).empty()) return false;
    InstallRecord loaded;
    const auto relative = [](const std::string& path) { return IsSafeRelativePath(path, PathStart::OneBackslash); };
    std::vector<std::string> files, sizes;
    const auto digits = [](const std::string& size) {
        return !size.empty() && size.size() <= 19 && size.find_first_not_of("0123456789") == std::string::npos;
    };
    const std::string language = document.GetValue(kLanguage);
    if (!language.empty() && !digits(language)) return false;
    const std::string installFolder = document.GetValue(kInstallFolder);
    if (!installFolder.empty() && !IsSafeFullPath(installFolder)) return false;
    if (!ReadList(document, kFolders, relative, &loaded.folders_) || !ReadList(document, kFiles, relative, &files) ||
        !ReadList(document, kSizes, digits, &sizes) ||
        !ReadList(document, kShortcuts, IsShortcutPath, &loaded.shortcuts_) ||
        !ReadList(document, kShortcutFolders, IsSafeFullPath, &loaded.shortcutFolders_))
        return false;
    for (size_t i = 0; i < files.size(); ++i)
        loaded.files_.push_back({files[i], std::strtoull(sizes[i].c_str(), nullptr, 10)});
    loaded.language_ = uint32_t(std::strtoul(language.c_str(), nullptr, 10));
    loaded.installFolder_ = installFolder;
    *this = std::move(loaded);
    return true;
}

bool InstallRecord::Save(const std::string& path) const { return WriteTextFile(path.c_str(), Text()); }

bool InstallRecord::Load(const std::string& path) {
    *this = InstallRecord();
    const std::string text = ReadTextFile(path.c_str());
    return !text.empty() && LoadText(text.c_str());
}

std::vector<size_t> InstallRecord::FilesNotIn(const InstallRecord& newer) const {
    std::set<std::string> kept;
    for (const File& file : newer.files_) kept.insert(AsciiUpper(file.path));
    std::vector<size_t> gone;
    for (size_t i = 0; i < files_.size(); ++i)
        if (kept.count(AsciiUpper(files_[i].path)) == 0) gone.push_back(i);
    return gone;
}

std::vector<std::string> InstallRecord::FoldersNotIn(const InstallRecord& newer) const {
    std::set<std::string> kept;
    for (const std::string& folder : newer.folders_) kept.insert(AsciiUpper(folder));
    std::vector<std::string> gone;
    for (auto folder = folders_.rbegin(); folder != folders_.rend(); ++folder)
        if (kept.count(AsciiUpper(*folder)) == 0) gone.push_back(*folder);
    return gone;
}
