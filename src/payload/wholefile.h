// Whole-file reads and writes in one call each. None of them creates folders.
#pragma once
#include <cstdint>
#include <string>

class XC_MemSpace;

bool ReadWholeFile(const char* path, XC_MemSpace* block);
bool WriteBytesToFile(const char* path, const void* bytes, uint32_t count, uint32_t attributes);
bool WriteWholeFile(const char* path, const XC_MemSpace* block, uint32_t attributes);
// The file's bytes up to the first zero byte; empty when unreadable.
std::string ReadTextFile(const char* path);
