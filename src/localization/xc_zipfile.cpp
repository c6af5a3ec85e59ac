// Archive extraction to a folder: minizip reads the container, each member streams through
// one fixed buffer into its file.
#include "xc_zipfile.h"

#include <windows.h>

#include <unzip.h>

#include <cstring>
#include <string>

#include "linkcheck.h"
#include "safepath.h"
#include "xc_handle.h"
#include "xc_log.h"

XC_ZipFile ProgramZipFile;

namespace {

const DWORD kPieceSize = 16384;

// An open archive, closed on scope exit.
class ZipReader {
public:
    ZipReader() = default;
    ~ZipReader() { Close(); }
    ZipReader(const ZipReader&) = delete;
    ZipReader& operator=(const ZipReader&) = delete;

    bool Open(const char* path) {
        Close();
        archive_ = unzOpen(path);
        return archive_ != nullptr;
    }
    void Close() {
        if (archive_ != nullptr) unzClose(archive_);
        archive_ = nullptr;
    }
    unzFile Get() const { return archive_; }

private:
    unzFile archive_ = nullptr;
};

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// The one rule for stored relative paths; a folder member's name ends in one separator.
bool IsSafeMemberName(std::string name) {
    if (!name.empty() && IsSeparator(name.back())) name.pop_back();
    return IsSafeRelativePath(name, PathStart::Bare);
}

// The extraction runs as administrator in the user's temporary folder, which the user may have
// changed: nothing is written through a link there.
bool IsClearOfLinks(const char* folderPath, const char* name) {
    const std::string link = FirstLinkOnTheWay(folderPath, name);
    if (link.empty()) return true;
    ProgramLog.AppendFormat("Unpacking the language archive refused: %s is a link", link.c_str());
    return false;
}

// Windows attributes of a member: the DOS byte of the external attributes; a name ending in
// a separator marks a folder too, as archivers that leave the attributes empty store folders.
DWORD MemberAttributes(const unz_file_info& info, const char* name) {
    DWORD attributes = info.external_fa & 0xFF;
    const size_t length = std::strlen(name);
    if (length > 0 && IsSeparator(name[length - 1])) attributes |= FILE_ATTRIBUTE_DIRECTORY;
    return attributes;
}

// Streams the current member into file in pieces; false when the member could not be read
// or written whole, or its data fails the CRC check. What was written stays.
bool CopyMember(unzFile archive, XC_File* file, uLong size, char* buffer) {
    if (unzOpenCurrentFile(archive) != UNZ_OK) return false;
    uLong done = 0;
    bool ok = true;
    while (done < size) {
        DWORD piece = kPieceSize;
        if (size - done < piece) piece = size - done;
        const int read = unzReadCurrentFile(archive, buffer, piece);
        if (read <= 0) {
            ok = false;
            break;
        }
        if (!file->Write(buffer, static_cast<DWORD>(read))) {
            ok = false;
            break;
        }
        done += static_cast<uLong>(read);
    }
    // Closing checks the CRC once the whole member has been read.
    if (unzCloseCurrentFile(archive) != UNZ_OK) ok = false;
    return ok;
}

}  // namespace

bool XC_ZipFile::UnzipToFolder(const char* archivePath, const char* folderPath) {
    if (archivePath == nullptr || archivePath[0] == '\0' || folderPath == nullptr || folderPath[0] == '\0')
        return false;
    ZipReader archive;
    if (!archive.Open(archivePath)) return false;
    // An archive whose directory cannot be read counts as not opened: no folder appears.
    unz_global_info global;
    if (unzGetGlobalInfo(archive.Get(), &global) != UNZ_OK) return false;
    int moved = unzGoToFirstFile(archive.Get());
    if (global.number_entry > 0 && moved != UNZ_OK) return false;
    if (!IsClearOfLinks(folderPath, "")) return false;
    if (GetFileAttributesA(folderPath) == INVALID_FILE_ATTRIBUTES && !CreateDirectoryA(folderPath, nullptr))
        return false;

    bool result = true;
    char buffer[kPieceSize];
    for (uLong n = 0; n < global.number_entry; ++n) {
        if (n > 0) moved = unzGoToNextFile(archive.Get());
        unz_file_info info;
        char name[MAX_PATH];
        if (moved != UNZ_OK ||
            unzGetCurrentFileInfo(archive.Get(), &info, name, sizeof(name), nullptr, 0, nullptr, 0) != UNZ_OK)
            return false;
        // A longer name arrives cut and unterminated: it would name another file.
        if (info.size_filename >= sizeof(name) || !IsSafeMemberName(name) || !IsClearOfLinks(folderPath, name)) {
            result = false;
            continue;
        }
        const std::string target = std::string(folderPath) + "\\" + name;
        const DWORD attributes = MemberAttributes(info, name);
        if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
            if (GetFileAttributesA(target.c_str()) == INVALID_FILE_ATTRIBUTES &&
                !CreateDirectoryA(target.c_str(), nullptr)) {
                result = false;
                break;
            }
            continue;
        }
        DWORD fileAttributes = attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE);
        if (fileAttributes == 0) fileAttributes = FILE_ATTRIBUTE_NORMAL;
        XC_File file(CreateFileA(target.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, fileAttributes, nullptr));
        if (!file.IsOpen()) {
            result = false;
            continue;
        }
        if (!CopyMember(archive.Get(), &file, info.uncompressed_size, buffer)) result = false;
    }
    return result;
}
