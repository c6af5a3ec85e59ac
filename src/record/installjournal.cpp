// The install journal as a result document: both records' texts and the marks of what was there.
#include "installjournal.h"

#include "paths.h"
#include "wholefile.h"
#include "xc_xml.h"

namespace {

constexpr const char* kOlder = "Older";
constexpr const char* kOlderEntry = "OlderEntry";
constexpr const char* kNewer = "Newer";
constexpr const char* kFilesThere = "FilesThere";
constexpr const char* kFoldersThere = "FoldersThere";

std::string Marks(const std::vector<bool>& there) {
    std::string marks;
    for (const bool mark : there) marks += mark ? '1' : '0';
    return marks;
}

bool AreMarks(const std::string& marks, size_t count) {
    return marks.size() == count && marks.find_first_not_of("01") == std::string::npos;
}

}  // namespace

std::string KeptFileName(KeptKind kind, size_t number) {
    return (kind == KeptKind::Replaced ? "r" : "d") + std::to_string(number);
}

std::string KeptFilePath(const std::string& installFolder, KeptKind kind, size_t number) {
    return JoinPath(installFolder.c_str(), kKeptFolderName, KeptFileName(kind, number).c_str());
}

InstallJournal::InstallJournal(const InstallRecord* older, OlderEntry olderEntry, const InstallRecord& newer,
                               const std::vector<bool>& filesThere, const std::vector<bool>& foldersThere)
    : hasOlder_(older != nullptr),
      older_(older != nullptr ? *older : InstallRecord()),
      olderEntry_(olderEntry),
      newer_(newer),
      filesThere_(Marks(filesThere)),
      foldersThere_(Marks(foldersThere)) {}

std::string InstallJournal::Text() const {
    XC_Xml document;
    if (hasOlder_) document.SetValue(kOlder, older_.Text().c_str());
    document.SetValueInt(kOlderEntry, olderEntry_ == OlderEntry::Present ? 1 : 0);
    document.SetValue(kNewer, newer_.Text().c_str());
    document.SetValue(kFilesThere, filesThere_.c_str());
    document.SetValue(kFoldersThere, foldersThere_.c_str());
    return std::string(document.GetText(), document.GetTextLength());
}

bool InstallJournal::LoadText(const char* text) {
    *this = InstallJournal();
    XC_Xml document;
    if (text == nullptr || !document.LoadText(text)) return false;
    InstallJournal loaded;
    const std::string older = document.GetValue(kOlder);
    loaded.hasOlder_ = !older.empty();
    if (loaded.hasOlder_ && !loaded.older_.LoadText(older.c_str())) return false;
    const std::string olderEntry = document.GetValue(kOlderEntry);
    if (olderEntry != "0" && olderEntry != "1") return false;
    loaded.olderEntry_ = olderEntry == "1" ? OlderEntry::Present : OlderEntry::Absent;
    if (!loaded.newer_.LoadText(document.GetValue(kNewer).c_str()) || loaded.newer_.InstallFolder().empty())
        return false;
    loaded.filesThere_ = document.GetValue(kFilesThere);
    loaded.foldersThere_ = document.GetValue(kFoldersThere);
    if (!AreMarks(loaded.filesThere_, loaded.newer_.Files().size()) ||
        !AreMarks(loaded.foldersThere_, loaded.newer_.Folders().size()))
        return false;
    *this = std::move(loaded);
    return true;
}

bool InstallJournal::Save(const std::string& path) const { return WriteTextFile(path.c_str(), Text()); }

bool InstallJournal::Load(const std::string& path) {
    *this = InstallJournal();
    const std::string text = ReadTextFile(path.c_str());
    return !text.empty() && LoadText(text.c_str());
}
