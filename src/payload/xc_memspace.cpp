// Owned byte buffer: heap (kind 0) or committed pages (kind 1), always zero-filled when new.
#include "xc_memspace.h"

#include <cstring>
#include <new>

#include "platform.h"

XC_MemSpace::XC_MemSpace(uint32_t size, uint8_t kind) { Allocate(size, kind); }

XC_MemSpace::~XC_MemSpace() { Allocate(0, 0); }

uint8_t* XC_MemSpace::Allocate(uint32_t new_size, uint8_t new_kind) {
    if (data) {
        if (kind == 1)
            platform::FreePages(data, size);
        else
            delete[] data;
        data = nullptr;
        size = 0;
    }
    if (new_size == 0) return nullptr;

    uint8_t* buffer = nullptr;
    if (new_kind == 1) {
        buffer = platform::AllocatePages(new_size);  // pages arrive zero-filled
    } else {
        buffer = new (std::nothrow) uint8_t[new_size];
        if (buffer) std::memset(buffer, 0, new_size);
    }
    if (!buffer) return nullptr;
    kind = new_kind == 1 ? 1 : 0;
    data = buffer;
    size = new_size;
    return data;
}
