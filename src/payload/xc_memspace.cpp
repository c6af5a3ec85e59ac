// Owned byte buffer: heap (kind 0) or committed pages (kind 1), always zero-filled when new.
#include "xc_memspace.h"

#include <cstdlib>

#include "platform.h"

XC_MemSpace::XC_MemSpace(uint32_t size, uint8_t kind) { Allocate(size, kind); }

XC_MemSpace::~XC_MemSpace() { Allocate(0, 0); }

uint8_t* XC_MemSpace::Allocate(uint32_t new_size, uint8_t new_kind) {
    if (data) {
        if (kind == 1)
            platform::FreePages(data, size);
        else
            std::free(data);
        data = nullptr;
        size = 0;
    }
    if (new_size == 0) return nullptr;

    uint8_t* buffer = nullptr;
    if (new_kind == 1) {
        buffer = platform::AllocatePages(new_size);  // pages arrive zero-filled
    } else {
        // calloc: large blocks come straight from zeroed pages without a second pass.
        buffer = static_cast<uint8_t*>(std::calloc(new_size, 1));
    }
    if (!buffer) return nullptr;
    kind = new_kind == 1 ? 1 : 0;
    data = buffer;
    size = new_size;
    return data;
}
