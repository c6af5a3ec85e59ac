// The journal of an install in progress: saved beside the install record before the install
// writes anything and removed once the new install is whole (its files, record and entry), so
// that whatever cuts the install short (a failure, a cancel, a kill, a power cut) the next run
// can put the older install back. It holds what the older install was (its record, and whether
// it had a Programs and Features entry) and what this install writes, with which of its paths
// were there before. The older install's files that this one replaces or drops wait in the
// kept folder meanwhile. Portable: a result document in a file.
#pragma once

#include <string>
#include <vector>

#include "installrecord.h"

// Inside the install folder, so on its volume: a kept file goes there and back by a rename.
constexpr const char kKeptFolderName[] = ".tarvik-kept";

// Which list a kept file's number counts in.
enum class KeptKind {
    Replaced,  // the newer install's file of that number replaces it
    Dropped,   // the older install's file of that number, which the newer one no longer has
};

// Where a kept file waits: "<install folder>\.tarvik-kept\<r or d><number>".
std::string KeptFilePath(const std::string& installFolder, KeptKind kind, size_t number);
// Its name in the kept folder.
std::string KeptFileName(KeptKind kind, size_t number);

// Whether the older install had a Programs and Features entry, which a rollback writes again.
enum class OlderEntry { Absent, Present };

class InstallJournal {
public:
    // The journal's file name beside the install record.
    static constexpr const char* kFileName = "InstallJournal.xml";

    InstallJournal() = default;
    // older is null for a first install. filesThere and foldersThere say, for each of newer's
    // files and folders in order, whether a file (a folder) stood at its path before the
    // install.
    InstallJournal(const InstallRecord* older, OlderEntry olderEntry, const InstallRecord& newer,
                   const std::vector<bool>& filesThere, const std::vector<bool>& foldersThere);

    bool HasOlder() const { return hasOlder_; }
    const InstallRecord& Older() const { return older_; }
    OlderEntry OlderEntryState() const { return olderEntry_; }
    const InstallRecord& Newer() const { return newer_; }
    // False past the end of the lists.
    bool FileWasThere(size_t index) const { return index < filesThere_.size() && filesThere_[index] == '1'; }
    bool FolderWasThere(size_t index) const { return index < foldersThere_.size() && foldersThere_[index] == '1'; }

    // The document's text, and the journal rebuilt from such a text. A text that is no
    // well-formed journal, or whose records do not load, leaves the journal empty and gives
    // false: a damaged journal is never acted on.
    std::string Text() const;
    bool LoadText(const char* text);

    // Written as a part file, flushed and renamed over path; loaded back whole or not at all.
    bool Save(const std::string& path) const;
    bool Load(const std::string& path);

private:
    bool hasOlder_ = false;
    InstallRecord older_;
    OlderEntry olderEntry_ = OlderEntry::Absent;
    InstallRecord newer_;
    std::string filesThere_;  // '1' or '0' for each of newer_'s files
    std::string foldersThere_;
};
