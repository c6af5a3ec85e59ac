// Sealing with Zstandard: the payload body as the one member "N" of a ZIP image, compressed as
// one Zstandard frame (ZIP method 93) with a long window. For the tools, which link the
// compressor; the installer only reads such members (zstdmember.h).
#pragma once
#include <cstdint>

#include "xc_exetailhelper.h"

constexpr int kZstdDefaultLevel = 19;  // the smallest download packed within the time of the peer LZMA installers
constexpr int kZstdMaxLevel = 22;

// A packer for XC_ExeTailHelper::SaveToExe at `level` (1 to kZstdMaxLevel) on `threads` worker
// threads (0: one per processor). The image's bytes depend on the body and the level only.
XC_ExeTailHelper::ImagePacker ZstdImagePacker(int level, uint32_t threads);
