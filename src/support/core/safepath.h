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
