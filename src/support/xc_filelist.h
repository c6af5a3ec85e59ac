// The entries of one folder as a result document: one record "F%02d" per file or subfolder
// with its attributes, name, size, readable size and time stamps. Not recursive.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "xc_xml.h"

class XC_FileList {
public:
    // Lists the entries of folder matching pattern (such as "*.*"). required: when not 0, an
    // entry needs at least one of these attribute bits; excluded: when not 0, an entry with
    // any of these bits is dropped. False, with the document unchanged, for a missing folder
    // text or pattern; false, with "Path" set and "Count" 0, when the search cannot start.
    bool Scan(const char* folder, const char* pattern, DWORD required, DWORD excluded);

    int GetCount();
    DWORD GetAttributes(int index);
    std::string GetName(int index);
    // "Path" and the entry's name joined with one backslash.
    std::string GetFullPath(int index);

    XC_Xml& Document() { return xml_; }

private:
    XC_Xml xml_;
};

// "0 KB", "1 KB" up to 1024 bytes, "%d KB", "%0.2f MB" above 1 MiB, "%0.2f GB" above 1 GiB.
std::string FileSizeText(uint64_t size);
