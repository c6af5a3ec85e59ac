// The Zstandard member's image: the frame streamed straight into the image's pages behind a
// local header that is completed once the sizes and the CRC-32 are known, then the central
// directory and the end record.
#include "zstdimage.h"

#include <zlib.h>
#include <zstd.h>
#include <zstd_errors.h>

#include <cstring>
#include <memory>

#include "platform.h"
#include "zstdmember.h"

namespace {

constexpr uint32_t kLocalHeaderSize = 30;
constexpr uint32_t kDirectorySize = 46;
constexpr uint32_t kEndSize = 22;
// The ZIP version that brought method 93.
constexpr uint16_t kVersionNeeded = 63;
// 2000-01-01 00:00 in DOS form: a fixed date keeps the installer byte-identical.
constexpr uint16_t kDosDate = (20 << 9) | (1 << 5) | 1;
const char kName[] = "N";

struct FreeEncoder {
    void operator()(ZSTD_CCtx* encoder) const { ZSTD_freeCCtx(encoder); }
};
using Encoder = std::unique_ptr<ZSTD_CCtx, FreeEncoder>;

void Put16(uint8_t* p, uint32_t value) {
    p[0] = uint8_t(value);
    p[1] = uint8_t(value >> 8);
}

void Put32(uint8_t* p, uint32_t value) {
    Put16(p, value);
    Put16(p + 2, value >> 16);
}

// The fields the local header and the directory entry share, from "version needed" on.
void PutMemberFields(uint8_t* p, uint32_t crc, uint32_t packed, uint32_t size) {
    Put16(p, kVersionNeeded);
    Put16(p + 2, 0);  // flags
    Put16(p + 4, kZstdMethod);
    Put16(p + 6, 0);  // time
    Put16(p + 8, kDosDate);
    Put32(p + 10, crc);
    Put32(p + 14, packed);
    Put32(p + 18, size);
    Put16(p + 22, sizeof kName - 1);
    Put16(p + 24, 0);  // extra field
}

// Appends to the image page by page, and hands out the room left in the last page so that
// the compressor writes there directly.
class PageWriter {
public:
    explicit PageWriter(ZipImage* image) : image_(image) {
        image_->pages.clear();
        image_->size = 0;
    }
    // Room at the end of the image, a new page when the last is full; null when memory is short,
    // the image would reach 4 GiB or a complete page could not be handed on.
    uint8_t* Room(uint32_t* count) {
        const bool newPage = image_->size % ZipImage::kPageSize == 0;
        if (newPage && uint64_t(image_->size) + ZipImage::kPageSize > UINT32_MAX) return nullptr;
        return image_->Room(image_->size, count);
    }
    void Advance(uint32_t count) { image_->size += count; }
    bool Append(const uint8_t* bytes, uint32_t count) {
        while (count > 0) {
            uint32_t room = 0;
            uint8_t* out = Room(&room);
            if (!out) return false;
            const uint32_t part = count < room ? count : room;
            std::memcpy(out, bytes, part);
            Advance(part);
            bytes += part;
            count -= part;
        }
        return true;
    }
    // The image's first bytes: the local header lies within the first page.
    uint8_t* Start() { return image_->pages.front()->data; }

private:
    ZipImage* image_;
};

// Why an attempt at the frame stopped short.
enum class Shortage { kNone, kImage, kCompressor };

// Feeds `input` to the encoder (all of it) or ends the frame, writing its output into the pages.
bool Compress(ZSTD_CCtx* encoder, PageWriter* pages, const uint8_t* bytes, uint32_t count, ZSTD_EndDirective mode,
              Shortage* shortage) {
    ZSTD_inBuffer in{bytes, count, 0};
    for (;;) {
        uint32_t room = 0;
        uint8_t* room_start = pages->Room(&room);
        if (!room_start) {
            *shortage = Shortage::kImage;
            return false;
        }
        ZSTD_outBuffer out{room_start, room, 0};
        const size_t left = ZSTD_compressStream2(encoder, &out, &in, mode);
        if (ZSTD_isError(left)) {
            if (ZSTD_getErrorCode(left) == ZSTD_error_memory_allocation) *shortage = Shortage::kCompressor;
            return false;
        }
        pages->Advance(uint32_t(out.pos));
        const bool done = mode == ZSTD_e_end ? left == 0 : in.pos == in.size;
        if (done) return true;
    }
}

// One attempt at the image with `workers` compressor threads.
XC_ExeTailHelper::Failure PackZstdOnce(int level, int workers, uint64_t total,
                                       const std::function<bool(const XC_ExeTailHelper::BodyFeed&)>& body,
                                       const ContentProgress* progress, ZipImage* image, Shortage* shortage) {
    using Failure = XC_ExeTailHelper::Failure;
    *shortage = Shortage::kNone;
    Encoder encoder(ZSTD_createCCtx());
    if (!encoder) {
        *shortage = Shortage::kCompressor;
        return Failure::kNoMemory;
    }
    // Worker threads always, even one: zstd's output is the same for any number of workers,
    // but not the same as without any.
    if (ZSTD_isError(ZSTD_CCtx_setParameter(encoder.get(), ZSTD_c_compressionLevel, level)) ||
        ZSTD_isError(ZSTD_CCtx_setParameter(encoder.get(), ZSTD_c_windowLog, kZstdWindowLogMax)) ||
        ZSTD_isError(ZSTD_CCtx_setParameter(encoder.get(), ZSTD_c_enableLongDistanceMatching, 1)) ||
        ZSTD_isError(ZSTD_CCtx_setParameter(encoder.get(), ZSTD_c_checksumFlag, 0)) ||
        ZSTD_isError(ZSTD_CCtx_setParameter(encoder.get(), ZSTD_c_nbWorkers, workers)) ||
        ZSTD_isError(ZSTD_CCtx_setPledgedSrcSize(encoder.get(), total)))
        return Failure::kNoMemory;

    PageWriter pages(image);
    uint8_t local[kLocalHeaderSize + sizeof kName - 1] = {};
    bool ok = pages.Append(local, sizeof local);
    if (!ok) *shortage = Shortage::kImage;
    uint32_t crc = uint32_t(crc32(0, nullptr, 0));
    uint64_t done = 0;
    ok = ok && body([&](const uint8_t* bytes, uint32_t count) {
             if (count == 0) return true;  // an empty entry's data: zlib's CRC-32 of no buffer is 0
             crc = uint32_t(crc32_z(crc, bytes, count));
             if (!Compress(encoder.get(), &pages, bytes, count, ZSTD_e_continue, shortage)) return false;
             done += count;
             if (progress) (*progress)(done, total);
             return true;
         });
    ok = ok && Compress(encoder.get(), &pages, nullptr, 0, ZSTD_e_end, shortage);
    const uint64_t packed = uint64_t(image->size) - sizeof local;
    const uint64_t end = uint64_t(image->size) + kDirectorySize + sizeof kName - 1 + kEndSize;
    if (ok && end <= UINT32_MAX) {
        uint8_t* header = pages.Start();
        Put32(header, 0x04034b50);
        PutMemberFields(header + 4, crc, uint32_t(packed), uint32_t(total));
        std::memcpy(header + kLocalHeaderSize, kName, sizeof kName - 1);

        uint8_t tail[kDirectorySize + sizeof kName - 1 + kEndSize] = {};
        uint8_t* entry = tail;
        Put32(entry, 0x02014b50);
        Put16(entry + 4, kVersionNeeded);  // made by
        PutMemberFields(entry + 6, crc, uint32_t(packed), uint32_t(total));
        // Comment length, disk, attributes and the local header's offset 0 stay zero.
        std::memcpy(entry + kDirectorySize, kName, sizeof kName - 1);
        uint8_t* record = entry + kDirectorySize + sizeof kName - 1;
        Put32(record, 0x06054b50);
        Put16(record + 8, 1);  // entries on this disk
        Put16(record + 10, 1);
        Put32(record + 12, kDirectorySize + sizeof kName - 1);
        Put32(record + 16, image->size);
        if (pages.Append(tail, sizeof tail)) return Failure::kNone;
        *shortage = Shortage::kImage;
    }
    image->pages.clear();
    image->size = 0;
    return *shortage != Shortage::kNone ? Failure::kNoMemory : Failure::kTooLarge;
}

// Each worker holds a job's input and match tables of its own, at level 19 some 100 to 200 MiB:
// one per processor can be more than a 32-bit process has room for. The frame is the same for
// any number of workers, so when the compressor runs short it is made again, from the start,
// with half as many.
XC_ExeTailHelper::Failure PackZstd(int level, uint32_t threads, uint64_t total,
                                   const std::function<bool(const XC_ExeTailHelper::BodyFeed&)>& body,
                                   const ContentProgress* progress, ZipImage* image) {
    int workers = int(threads ? threads : platform::ProcessorCount());
    for (;;) {
        Shortage shortage = Shortage::kNone;
        const auto failure = PackZstdOnce(level, workers, total, body, progress, image, &shortage);
        if (shortage != Shortage::kCompressor || workers == 1) return failure;
        workers = (workers + 1) / 2;
    }
}

}  // namespace

XC_ExeTailHelper::ImagePacker ZstdImagePacker(int level, uint32_t threads) {
    return [level, threads](uint64_t total, const std::function<bool(const XC_ExeTailHelper::BodyFeed&)>& body,
                            const ContentProgress* progress,
                            ZipImage* image) { return PackZstd(level, threads, total, body, progress, image); };
}
