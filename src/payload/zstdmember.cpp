// The Zstandard member's decoding: the frame header checked first, then the frame decoded in
// one pass from a small input window straight into the output block (the decoder keeps no
// window of its own), the CRC-32 taken piece by piece while the bytes are still in cache.
#include "zstdmember.h"

#define ZSTD_STATIC_LINKING_ONLY  // the frame header and the stable output buffer
#include <zlib.h>
#include <zstd.h>

#include <memory>

namespace {

// How much compressed data is read at a time: a few of the decoder's blocks.
constexpr uint32_t kInputStep = 512u << 10;

struct FreeDecoder {
    void operator()(ZSTD_DCtx* decoder) const { ZSTD_freeDCtx(decoder); }
};
using Decoder = std::unique_ptr<ZSTD_DCtx, FreeDecoder>;

// The window a member of `size` bytes can need: the writer never asks for more than the power
// of two that holds the member (the format's smallest window is 1 KiB), nor more than 128 MiB.
uint64_t WindowAllowed(uint32_t size) {
    uint64_t window = 1u << 10;
    while (window < size && window < (uint64_t(1) << kZstdWindowLogMax)) window <<= 1;
    return window;
}

bool HeaderFits(const uint8_t* bytes, uint32_t count, uint32_t size) {
    ZSTD_frameHeader header{};
    if (ZSTD_getFrameHeader(&header, bytes, count) != 0) return false;
    return header.frameType == ZSTD_frame && header.frameContentSize == size && header.dictID == 0 &&
           header.windowSize <= WindowAllowed(size);
}

}  // namespace

UnzipResult UnpackZstdMember(const MemberSource& read, uint32_t packedSize, uint32_t size, uint32_t crc,
                             XC_MemSpace* output, const ContentProgress* progress) {
    output->Allocate(0, 0);
    XC_MemSpace input;
    const uint32_t first = packedSize < kInputStep ? packedSize : kInputStep;
    if (first == 0 || size == 0) return UnzipResult::kDamaged;
    if (!input.Allocate(first, XC_MemSpace::kHeap)) return UnzipResult::kNoMemory;
    read(input.data, first);
    if (!HeaderFits(input.data, first, size)) return UnzipResult::kDamaged;

    Decoder decoder(ZSTD_createDCtx());
    if (!decoder || ZSTD_isError(ZSTD_DCtx_setParameter(decoder.get(), ZSTD_d_windowLogMax, kZstdWindowLogMax)) ||
        ZSTD_isError(ZSTD_DCtx_setParameter(decoder.get(), ZSTD_d_stableOutBuffer, 1)))
        return UnzipResult::kNoMemory;
    if (!output->Allocate(size, XC_MemSpace::kPages)) return UnzipResult::kNoMemory;

    ZSTD_outBuffer out{output->data, size, 0};
    ZSTD_inBuffer in{input.data, first, 0};
    uint32_t consumed = first;  // compressed bytes read so far
    uint32_t sum = uint32_t(crc32(0, nullptr, 0));
    uint32_t told = 0;
    for (;;) {
        const size_t inBefore = in.pos, outBefore = out.pos;
        const size_t left = ZSTD_decompressStream(decoder.get(), &out, &in);
        if (ZSTD_isError(left)) break;
        sum = uint32_t(crc32(sum, output->data + outBefore, uInt(out.pos - outBefore)));
        if (progress && (out.pos - told >= ProgressStep(told) || out.pos == size)) {
            told = uint32_t(out.pos);
            (*progress)(out.pos, size);
        }
        // The frame's end must be the member's end and fill the block: nothing trails it.
        if (left == 0) {
            if (in.pos == in.size && consumed == packedSize && out.pos == size && sum == crc) return UnzipResult::kDone;
            break;
        }
        if (in.pos == in.size) {
            if (consumed == packedSize) break;  // the frame is cut short
            const uint32_t rest = packedSize - consumed;
            const uint32_t step = rest < input.size ? rest : input.size;
            read(input.data, step);
            consumed += step;
            in = {input.data, step, 0};
        } else if (in.pos == inBefore && out.pos == outBefore) {
            break;  // the output is full and the frame wants more
        }
    }
    output->Allocate(0, 0);
    return UnzipResult::kDamaged;
}
