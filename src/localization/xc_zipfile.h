// Unpacks a ZIP archive file into a folder, member by member; used for the language archive.
#pragma once

class XC_ZipFile {
public:
    // Writes every member of the archive below folderPath (no trailing backslash; created when
    // missing, one level only). True when every member was written. A member whose name would
    // lead outside the folder or name a device (CON, NUL, COM1, "aux.txt" and the like) is
    // refused and makes the result false; the others still go out.
    bool UnzipToFolder(const char* archivePath, const char* folderPath);
};

// The one instance the installer uses.
extern XC_ZipFile ProgramZipFile;
