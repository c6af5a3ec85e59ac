// Links on the installer's way: the installer runs as administrator and writes into folders that
// other users may change (the install folder is open to everyone, the temporary folder belongs
// to the user), so a folder there may have been replaced by a junction or a symbolic link that
// leads anywhere. These checks find such a link before anything is written through it.
#pragma once

#include <string>

// What lies at a path, seen without following a link.
enum class PathKind {
    Missing,  // nothing there (or its folder is missing)
    Plain,    // a file or a folder that is no link
    Link,     // a reparse point: a junction, a symbolic link, a mount point
    Unknown,  // it could not be inspected; treated like a link by the callers
};

// The attributes first; then the object itself, opened without following a reparse point, so
// that a link its attributes do not show is still found.
PathKind InspectPath(const std::string& path);

// The first of base and the parts of base\relative below it that is a link or cannot be
// inspected; empty when the whole way is clear. The walk ends at the first missing part:
// nothing below it exists yet. relative may begin with a backslash.
std::string FirstLinkOnTheWay(const std::string& base, const std::string& relative);
