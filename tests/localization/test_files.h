// Scratch folders, whole-file reads and test archives for the localization tests.
#pragma once

#include <windows.h>

#include <zip.h>

#include "scratch_folder.h"
#include "test_support.h"

#include <string>
#include <vector>

inline bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

inline bool WriteBytes(const std::string& path, const std::string& bytes) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const bool ok =
        WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) && written == bytes.size();
    CloseHandle(file);
    return ok;
}

struct ArchiveMember {
    std::string name;
    DWORD attributes;
    std::string data;
};

// Writes a ZIP archive with the members in order, deflated or stored, each carrying its
// Windows attributes in the external attributes as Windows archivers store them.
inline bool WriteArchive(const std::string& path, const std::vector<ArchiveMember>& members, int method = Z_DEFLATED) {
    zipFile zip = zipOpen(path.c_str(), APPEND_STATUS_CREATE);
    if (zip == nullptr) return false;
    bool ok = true;
    for (const ArchiveMember& member : members) {
        zip_fileinfo info = {};
        info.tmz_date.tm_year = 2024;
        info.tmz_date.tm_mon = 0;
        info.tmz_date.tm_mday = 1;
        info.external_fa = member.attributes;
        ok = ok &&
             zipOpenNewFileInZip(zip, member.name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr, method,
                                 method == 0 ? 0 : 8) == ZIP_OK &&
             zipWriteInFileInZip(zip, member.data.data(), static_cast<unsigned>(member.data.size())) == ZIP_OK &&
             zipCloseFileInZip(zip) == ZIP_OK;
    }
    return zipClose(zip, nullptr) == ZIP_OK && ok;
}
