// Windows side of the payload cores: committed pages and single-call file reads and writes.
#include <windows.h>

#include "platform.h"
#include "xc_handle.h"
#include "xc_memspace.h"

namespace platform {

uint8_t* AllocatePages(uint32_t size) {
    return static_cast<uint8_t*>(VirtualAlloc(nullptr, size, MEM_COMMIT, PAGE_READWRITE));
}

void FreePages(uint8_t* pages, uint32_t) { VirtualFree(pages, 0, MEM_RELEASE); }

bool ReadFileInto(const char* path, XC_MemSpace* block) {
    XC_File file(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.IsOpen()) return false;
    DWORD size = GetFileSize(file.Get(), nullptr);
    if (size == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) return false;
    if (size == 0) {
        block->Allocate(0, 0);
        return true;
    }
    if (!block->Allocate(size, 0)) return false;
    DWORD read = 0;
    return ReadFile(file.Get(), block->data, size, &read, nullptr) && read >= size;
}

bool WriteFileBytes(const char* path, const void* bytes, uint32_t count, uint32_t attributes) {
    XC_File file(CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                             attributes ? attributes : FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.IsOpen()) return false;
    if (count == 0 || !bytes) return true;
    bool ok = file.Write(bytes, count);
    FlushFileBuffers(file.Get());
    return ok;
}

}  // namespace platform
