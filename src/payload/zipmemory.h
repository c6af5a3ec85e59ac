// The payload body's ZIP image: one member "N", deflated at level 8, built and read in memory.
#pragma once
#include <cstdint>

class XC_MemSpace;

bool ZipToMemory(const XC_MemSpace* input, XC_MemSpace* output);
bool UnzipFromMemory(const uint8_t* bytes, uint32_t length, XC_MemSpace* output);
