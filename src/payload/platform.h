// The few operating-system calls the payload cores need; one implementation per platform.
#pragma once
#include <cstddef>
#include <cstdint>

#include "wholefile.h"

class XC_MemSpace;

namespace platform {
// Committed read-write pages, zero-filled; null when memory is short.
uint8_t* AllocatePages(uint32_t size);
void FreePages(uint8_t* pages, uint32_t size);
FileRead ReadFileInto(const char* path, XC_MemSpace* block);
// The file's bytes mapped read-only: read without a copy into memory of our own. An empty file
// gives null bytes and size 0.
FileRead MapFile(const char* path, const uint8_t** bytes, uint32_t* size);
void UnmapFile(const uint8_t* bytes, uint32_t size);
enum class KeepPartial : uint8_t { kNo, kYes };
// Creates or replaces the file (normal attributes for 0) and writes the pieces in order.
bool WriteFilePieces(const char* path, const FilePiece* pieces, size_t count, uint32_t attributes, KeepPartial keep);
}  // namespace platform
