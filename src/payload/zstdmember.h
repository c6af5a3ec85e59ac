// The payload member compressed with Zstandard (ZIP method 93): its one frame checked against
// the member's directory entry and decoded straight into the member's own block.
#pragma once
#include <cstdint>
#include <functional>

#include "xc_memspace.h"
#include "zipmemory.h"

constexpr uint16_t kZstdMethod = 93;
// The largest window a member may ask for, 128 MiB: the writer's long window.
constexpr int kZstdWindowLogMax = 27;
// The most a Zstandard frame can expand: a 4-byte block that repeats one byte 128 KiB times.
constexpr uint64_t kZstdMaxRatio = 32768;

// Copies the next `count` bytes of the member's compressed data into `out`.
using MemberSource = std::function<void(uint8_t* out, uint32_t count)>;

// Decodes the member of `packedSize` compressed bytes into `output`, which gets exactly `size`
// bytes whose CRC-32 must be `crc`. The frame must declare that size and no dictionary, ask for a
// window that a member of that size needs (128 MiB at most), end exactly where the member ends,
// and decode completely: otherwise kDamaged, with nothing committed beyond the decoder's own
// state when the frame's header already disagrees.
UnzipResult UnpackZstdMember(const MemberSource& read, uint32_t packedSize, uint32_t size, uint32_t crc,
                             XC_MemSpace* output, const ContentProgress* progress);
