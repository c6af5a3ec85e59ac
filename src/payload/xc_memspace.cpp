// Owned byte buffer: heap (kind 0) or committed pages (kind 1), always zero-filled when new;
// or a borrowed view into another block's bytes.
#include "xc_memspace.h"

#include <cstdlib>

#include "platform.h"

XC_MemSpace::XC_MemSpace(uint32_t size, uint8_t kind) { Allocate(size, kind); }

XC_MemSpace::~XC_MemSpace() { Allocate(0, kHeap); }

uint8_t* XC_MemSpace::Allocate(uint32_t new_size, uint8_t new_kind) {
    if (data) {
        if (kind == kPages)
            platform::FreePages(data, size);
        else if (kind == kHeap)
            std::free(data);
        data = nullptr;
        size = 0;
    }
    if (new_size == 0) return nullptr;

    uint8_t* buffer = nullptr;
    if (new_kind == kPages) {
        buffer = platform::AllocatePages(new_size);  // pages arrive zero-filled
    } else {
        // calloc: large blocks come straight from zeroed pages without a second pass.
        buffer = static_cast<uint8_t*>(std::calloc(new_size, 1));
    }
    if (!buffer) return nullptr;
    kind = new_kind == kPages ? kPages : kHeap;
    data = buffer;
    size = new_size;
    return data;
}

void XC_MemSpace::Borrow(uint8_t* bytes, uint32_t count) {
    Allocate(0, kHeap);
    if (count == 0) return;
    kind = kBorrowed;
    data = bytes;
    size = count;
}
