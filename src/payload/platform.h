// The few operating-system calls the payload cores need; one implementation per platform.
#pragma once
#include <cstdint>

class XC_MemSpace;

namespace platform {
// Committed read-write pages, zero-filled; null when memory is short.
uint8_t* AllocatePages(uint32_t size);
void FreePages(uint8_t* pages, uint32_t size);
bool ReadFileInto(const char* path, XC_MemSpace* block);
bool WriteFileBytes(const char* path, const void* bytes, uint32_t count, uint32_t attributes);
}  // namespace platform
