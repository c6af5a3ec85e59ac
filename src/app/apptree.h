// Packing of the installer's contents that does not depend on the platform: the fixed driver
// and language entries, and the application folder walked breadth-first with folders and
// files numbered across the whole tree and described in the "FilesInfo" document. The caller
// lists folders, so the Windows builder and the release tool on Linux write the same bytes.
#pragma once

#include <functional>
#include <string>
#include <vector>

class XC_ExeTailHelper;

struct AppTreeEntry {
    std::string name;  // as the installer will store it (ANSI code page)
    std::string path;  // where to read or list it
    bool isFolder = false;
};

// Lists the entries of one folder ("." and ".." left out); false when it cannot be read.
using ListAppFolder = std::function<bool(const std::string& folder, std::vector<AppTreeEntry>* entries)>;

// The order NTFS lists names in: ordinal, letters compared as upper case. Names that differ
// only in case (possible off Windows) fall back to their bytes, so the order is total.
bool AppTreeNameLess(const std::string& left, const std::string& right);

// Adds each fixed entry from sourcePath(its source file relative to the builder's folder).
// Returns the source files that could not be read; their keys are left out.
std::vector<std::string> AddFixedEntries(XC_ExeTailHelper* payload,
                                         const std::function<std::string(const char* source)>& sourcePath);

// Walks root into payload: "FILE%d" per file (files matching "*.tds|*.log" are skipped), then
// "FilesInfo", the document's text and one terminating zero byte. Each folder's entries are
// sorted by AppTreeNameLess before they are numbered, so the installer's bytes do not depend on
// the order the disk lists them. False with *failure saying why when the walk stops; the files
// added up to then stay in payload, and "FilesInfo" is not added.
bool PackApplicationTree(XC_ExeTailHelper* payload, const std::string& root, const ListAppFolder& list,
                         std::string* failure);
