// Whether a relative path stored in a payload, an archive or a language file stays inside the
// folder it is joined to, and names something Windows can create there. The installer runs as
// administrator, so every name that comes from such a file passes this one rule before it
// becomes part of a path.
#pragma once

#include <string>

// How a stored relative path begins. The file list's PATH and FILE values carry one leading
// backslash by format; archive member names and walked names carry none.
enum class PathStart { Bare, OneBackslash };

// True when path, after the start its format allows, is one or more parts separated by "\" or
// "/", none of them empty, ending in a dot or a blank (which Windows trims, so "." and ".."
// and "... " go too), a device name (CON, PRN, AUX, NUL, COM1-9, LPT1-9, CONIN$, CONOUT$, in any case, with any
// extension), or holding a control byte, ":" or a character Windows refuses in names
// (* ? " < > |). A drive, a root, a UNC or device prefix are all refused by these rules.
// Separators are matched byte by byte: in a double-byte code page that can only split a name
// more finely, so a name can be refused but never let out.
bool IsSafeRelativePath(const std::string& path, PathStart start);

// True when name is one safe part: the rule above for a path of exactly one part (no "\" or
// "/"). For translated texts used as file names.
bool IsSafePathPart(const std::string& name);

// Whether c begins a double-byte character in GBK, the installer's code page.
inline bool IsLeadByte(unsigned char c) { return c >= 0x81 && c <= 0xFE; }

// What the installer makes at an installed path: a folder as it is; a file first under the path
// with kPartFileSuffix added, then renamed to it.
enum class InstalledKind { Folder, File };
constexpr const char kPartFileSuffix[] = ".tarvik-part";

// True when an installed folder or file, its relative path (one leading backslash) under the
// longest folder the installer installs into ("C:\Program Files (x86)\MiniTarvik", a 32-bit
// program on 64-bit Windows), stays within the 259 characters Windows creates without a
// long-path prefix, a file's part file included. Characters, not bytes: a GBK lead byte and its
// trail byte are one.
bool FitsInstallFolder(const std::string& relative, InstalledKind kind);
