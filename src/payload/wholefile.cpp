// Whole-file helpers: argument checks here, the file calls in the platform layer.
#include "wholefile.h"

#include <cstring>

#include "platform.h"
#include "xc_memspace.h"

bool ReadWholeFile(const char* path, XC_MemSpace* block) {
    if (!path || !*path || !block) return false;
    return platform::ReadFileInto(path, block);
}

bool WriteBytesToFile(const char* path, const void* bytes, uint32_t count, uint32_t attributes) {
    if (!path || !*path) return false;
    return platform::WriteFileBytes(path, bytes, count, attributes);
}

bool WriteWholeFile(const char* path, const XC_MemSpace* block, uint32_t attributes) {
    if (!block) return false;
    return WriteBytesToFile(path, block->data, block->size, attributes);
}

std::string ReadTextFile(const char* path) {
    XC_MemSpace block;
    if (!ReadWholeFile(path, &block) || !block.data) return std::string();
    const char* text = reinterpret_cast<const char*>(block.data);
    const void* zero = std::memchr(text, 0, block.size);
    return std::string(text, zero ? static_cast<const char*>(zero) - text : block.size);
}
