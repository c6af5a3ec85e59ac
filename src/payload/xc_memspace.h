// Owned byte buffer that carries every file, payload entry and ZIP image of the program.
#pragma once
#include <cstdint>

class XC_MemSpace {
public:
    explicit XC_MemSpace(uint32_t size = 0, uint8_t kind = 0);
    ~XC_MemSpace();
    XC_MemSpace(const XC_MemSpace&) = delete;
    XC_MemSpace& operator=(const XC_MemSpace&) = delete;

    // Releases the old buffer, then yields `size` zero bytes from the heap (kind 0) or from
    // committed pages (kind 1). Null, with an empty block, for size 0 or when memory is short.
    uint8_t* Allocate(uint32_t size, uint8_t kind);

    uint8_t kind = 0;
    uint8_t* data = nullptr;
    uint32_t size = 0;
};
