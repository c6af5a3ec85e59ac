// Owned byte buffer that carries every file, payload entry and ZIP image of the program.
#pragma once
#include <cstdint>

class XC_MemSpace {
public:
    // How the buffer was obtained, and so how it goes back.
    enum Kind : uint8_t {
        kHeap = 0,
        kPages = 1,
        kBorrowed = 2,  // bytes inside a block owned elsewhere: never released through this one
    };

    explicit XC_MemSpace(uint32_t size = 0, uint8_t kind = kHeap);
    ~XC_MemSpace();
    XC_MemSpace(const XC_MemSpace&) = delete;
    XC_MemSpace& operator=(const XC_MemSpace&) = delete;

    // Releases the old buffer, then yields `size` zero bytes from the heap (kind 0) or from
    // committed pages (kind 1). Null, with an empty block, for size 0 or when memory is short.
    uint8_t* Allocate(uint32_t size, uint8_t kind);

    uint8_t kind = kHeap;
    uint8_t* data = nullptr;
    uint32_t size = 0;

private:
    // Only the archive lends out the bytes of its unpacked body, and it outlives its entries.
    friend class XC_ExeTailHelper;
    void Borrow(uint8_t* bytes, uint32_t count);
};
