// Unpacks a ZIP archive file into a folder, member by member; used for the language archive.
#pragma once

class XC_ZipFile {
public:
    // Writes every member of the archive below folderPath (no trailing backslash; created when
    // missing, one level only). True when every member was written. A member whose name is no
    // safe relative path (one that would lead outside the folder or name a device: CON, NUL,
    // COM1, "aux.txt" and the like), or whose way runs through a link (a junction or symbolic
    // link put in the folder), is refused, logged, and makes the result false; the others still
    // go out. A target folder that is itself a link gets nothing.
    bool UnzipToFolder(const char* archivePath, const char* folderPath);
};

// The one instance the installer uses.
extern XC_ZipFile ProgramZipFile;
