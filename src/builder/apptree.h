// Packing of the installer's contents that does not depend on the platform: the fixed driver
// and language entries, and the application folder walked breadth-first with folders and
// files numbered across the whole tree and described in the "FilesInfo" document. The caller
// lists folders, so the Windows builder and the release tool on Linux write the same bytes
// and refuse the same trees with the same reasons.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class XC_ExeTailHelper;

// What a listed folder entry is.
enum class AppEntryKind : uint8_t {
    kFile,
    kFolder,
    kLink,     // a link to a folder, or one that leads nowhere or round in a cycle: never followed
    kSpecial,  // neither file nor folder: a pipe, a socket, a device
};

struct AppTreeEntry {
    std::string name;  // as the installer will store it (ANSI code page)
    std::string path;  // where to read or list it
    AppEntryKind kind = AppEntryKind::kFile;
};

// Lists the entries of one folder ("." and ".." left out); false when it cannot be read.
using ListAppFolder = std::function<bool(const std::string& folder, std::vector<AppTreeEntry>* entries)>;

// The order NTFS lists names in: ordinal, letters compared as upper case. Names that differ
// only in case (possible off Windows) fall back to their bytes, so the order is total.
bool AppTreeNameLess(const std::string& left, const std::string& right);

// The name as Windows compares names (GBK text): ASCII letters, and the full-width Latin,
// Greek, Cyrillic and Roman-numeral letters of GBK, in upper case. Two names with the same
// folded form are one file on Windows.
std::string WindowsFoldedName(const std::string& name);

// Where a fixed entry's source file is, and whether anything is there at all.
struct FixedSource {
    std::string path;
    bool present = false;
};

// Adds each fixed entry from sourceOf(its source file relative to the builder's folder). A
// source that is not present is left out and its relative name put in *missing (an installer
// without drivers is allowed); one that is present but cannot be read (no permission, a
// folder) stops it with false and *failure saying why. The language archive is to be saved as
// the first record.
bool AddFixedEntries(XC_ExeTailHelper* payload, const std::function<FixedSource(const char* source)>& sourceOf,
                     std::vector<std::string>* missing, std::string* failure);

// Walks root into payload: "FILE%d" per file (files matching "*.tds|*.log" are skipped), then
// "FilesInfo", the document's text and one terminating zero byte. Each folder's entries are
// sorted by AppTreeNameLess before they are numbered, so the installer's bytes do not depend on
// the order the disk lists them. Refused, with false and *failure saying why, are: a root
// without "Emberlin.exe", a name Windows cannot create, two names Windows folds to one, a
// path too long to install, links and special files; the walk also stops when a folder or
// file cannot be read. The files added up to then stay in payload, "FilesInfo" is not added.
// A tree without "inkscape\inkscape.exe" is packed, with a line in *notes.
bool PackApplicationTree(XC_ExeTailHelper* payload, const std::string& root, const ListAppFolder& list,
                         std::string* failure, std::vector<std::string>* notes);
