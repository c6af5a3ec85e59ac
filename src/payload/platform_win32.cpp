// Windows side of the payload cores: committed pages, single-call file reads, mapped files and
// writes in pieces.
#include <windows.h>

#include "platform.h"
#include "xc_handle.h"
#include "xc_memspace.h"

namespace platform {

uint8_t* AllocatePages(uint32_t size) {
    return static_cast<uint8_t*>(VirtualAlloc(nullptr, size, MEM_COMMIT, PAGE_READWRITE));
}

void FreePages(uint8_t* pages, uint32_t) { VirtualFree(pages, 0, MEM_RELEASE); }

namespace {

// Opens an existing file for reading and takes its size, which must fit in 32 bits. A folder
// does not open without backup semantics: it is refused here as unreadable.
FileRead OpenForReading(const char* path, XC_File* file, uint32_t* size) {
    file->Reset(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file->IsOpen()) return FileRead::kCannotRead;
    DWORD high = 0;
    const DWORD low = GetFileSize(file->Get(), &high);
    if (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) return FileRead::kCannotRead;
    if (high != 0) return FileRead::kTooLarge;
    *size = low;
    return FileRead::kDone;
}

}  // namespace

FileRead ReadFileInto(const char* path, XC_MemSpace* block) {
    XC_File file;
    uint32_t size = 0;
    const FileRead opened = OpenForReading(path, &file, &size);
    if (opened != FileRead::kDone) return opened;
    if (size == 0) {
        block->Allocate(0, 0);
        return FileRead::kDone;
    }
    if (!block->Allocate(size, 0)) return FileRead::kNoMemory;
    DWORD read = 0;
    return ReadFile(file.Get(), block->data, size, &read, nullptr) && read >= size ? FileRead::kDone
                                                                                   : FileRead::kCannotRead;
}

FileRead MapFile(const char* path, const uint8_t** bytes, uint32_t* size) {
    XC_File file;
    uint32_t length = 0;
    const FileRead opened = OpenForReading(path, &file, &length);
    if (opened != FileRead::kDone) return opened;
    if (length == 0) {
        *bytes = nullptr;
        *size = 0;
        return FileRead::kDone;
    }
    XC_KernelHandle mapping(CreateFileMappingA(file.Get(), nullptr, PAGE_READONLY, 0, 0, nullptr));
    if (!mapping.IsOpen()) return FileRead::kCannotRead;
    // The view keeps the mapping alive after its handle is closed.
    const void* view = MapViewOfFile(mapping.Get(), FILE_MAP_READ, 0, 0, 0);
    if (!view) return GetLastError() == ERROR_NOT_ENOUGH_MEMORY ? FileRead::kNoMemory : FileRead::kCannotRead;
    *bytes = static_cast<const uint8_t*>(view);
    *size = length;
    return FileRead::kDone;
}

void UnmapFile(const uint8_t* bytes, uint32_t) {
    if (bytes) UnmapViewOfFile(bytes);
}

bool WriteFilePieces(const char* path, const FilePiece* pieces, size_t count, uint32_t attributes, KeepPartial keep) {
    XC_File file(CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                             attributes ? attributes : FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.IsOpen()) return false;
    bool ok = true;
    for (size_t i = 0; ok && i < count; ++i) ok = pieces[i].count == 0 || file.Write(pieces[i].bytes, pieces[i].count);
    FlushFileBuffers(file.Get());
    if (!ok && keep == KeepPartial::kNo) {
        file.Reset(nullptr);
        DeleteFileA(path);
    }
    return ok;
}

}  // namespace platform
