// The payload body's ZIP image, built and read entirely in memory through minizip's file
// function table.
#include "zipmemory.h"

#include <zip.h>
#include <unzip.h>
#include <zlib.h>

#include <cstring>

#include "xc_memspace.h"

namespace {

// A file in memory: reads stop at `size`, writes may not pass `capacity`.
struct MemoryStream {
    uint8_t* data = nullptr;
    uint32_t size = 0;
    uint32_t capacity = 0;
    uint32_t position = 0;
    bool failed = false;
};

voidpf ZCALLBACK OpenStream(voidpf opaque, const char*, int) { return opaque; }

uLong ZCALLBACK ReadStream(voidpf, voidpf stream, void* buffer, uLong count) {
    auto* s = static_cast<MemoryStream*>(stream);
    uLong available = s->position < s->size ? s->size - s->position : 0;
    if (count > available) count = available;
    std::memcpy(buffer, s->data + s->position, count);
    s->position += static_cast<uint32_t>(count);
    return count;
}

uLong ZCALLBACK WriteStream(voidpf, voidpf stream, const void* buffer, uLong count) {
    auto* s = static_cast<MemoryStream*>(stream);
    if (count > s->capacity - s->position) {
        s->failed = true;
        return 0;
    }
    std::memcpy(s->data + s->position, buffer, count);
    s->position += static_cast<uint32_t>(count);
    if (s->position > s->size) s->size = s->position;
    return count;
}

long ZCALLBACK TellStream(voidpf, voidpf stream) {
    return static_cast<long>(static_cast<MemoryStream*>(stream)->position);
}

long ZCALLBACK SeekStream(voidpf, voidpf stream, uLong offset, int origin) {
    auto* s = static_cast<MemoryStream*>(stream);
    uint64_t base = 0;
    switch (origin) {
        case ZLIB_FILEFUNC_SEEK_CUR:
            base = s->position;
            break;
        case ZLIB_FILEFUNC_SEEK_END:
            base = s->size;
            break;
        case ZLIB_FILEFUNC_SEEK_SET:
            base = 0;
            break;
        default:
            return -1;
    }
    uint64_t target = base + offset;
    uint32_t limit = s->capacity > s->size ? s->capacity : s->size;
    if (target > limit) return -1;
    s->position = static_cast<uint32_t>(target);
    return 0;
}

int ZCALLBACK CloseStream(voidpf, voidpf) { return 0; }

int ZCALLBACK StreamError(voidpf, voidpf stream) { return static_cast<MemoryStream*>(stream)->failed ? 1 : 0; }

zlib_filefunc_def MemoryFunctions(MemoryStream* stream) {
    zlib_filefunc_def functions{};
    functions.zopen_file = OpenStream;
    functions.zread_file = ReadStream;
    functions.zwrite_file = WriteStream;
    functions.ztell_file = TellStream;
    functions.zseek_file = SeekStream;
    functions.zclose_file = CloseStream;
    functions.zerror_file = StreamError;
    functions.opaque = stream;
    return functions;
}

constexpr int kLevel = 8;
// Local header, central header and end record of the one member "N"; generous on purpose.
constexpr uint64_t kHeaderRoom = 512;

// Room for the image: deflate's worst case for the member, as minizip sets up its stream, plus
// the headers. Input that deflate cannot shrink grows with its size, so a fixed margin would
// refuse large payloads. 0 when it cannot be had in 32 bits.
uint64_t ImageCapacity(uint32_t input_size) {
    z_stream probe{};
    if (deflateInit2(&probe, kLevel, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK) return 0;
    uLong bound = deflateBound(&probe, input_size);
    deflateEnd(&probe);
    if (bound < input_size) return 0;  // wrapped around: far too large anyway
    return bound + kHeaderRoom;
}

// Deflate expands at most 1032-fold, and a member lies within its image: a damaged directory
// that claims more must not make us commit gigabytes before the inflate fails.
bool PlausibleSize(const unz_file_info& info, uint32_t image_length) {
    constexpr uint64_t kMaxDeflateRatio = 1032;
    return info.compressed_size <= image_length &&
           uint64_t(info.uncompressed_size) <= uint64_t(info.compressed_size) * kMaxDeflateRatio + 64;
}

}  // namespace

bool ZipToMemory(const XC_MemSpace* input, XC_MemSpace* output) {
    if (!input || !input->data || !output) return false;
    const uint64_t capacity = ImageCapacity(input->size);
    XC_MemSpace work;
    if (capacity == 0 || capacity > UINT32_MAX || !work.Allocate(static_cast<uint32_t>(capacity), 1)) {
        output->Allocate(0, 0);
        return false;
    }
    MemoryStream stream;
    stream.data = work.data;
    stream.capacity = work.size;
    zlib_filefunc_def functions = MemoryFunctions(&stream);
    zipFile zip = zipOpen2("N", APPEND_STATUS_CREATE, nullptr, &functions);
    if (!zip) {
        output->Allocate(0, 0);
        return false;
    }
    // A fixed date keeps the image, and so the installer, byte-identical for the same input.
    zip_fileinfo info{};
    info.tmz_date.tm_year = 2000;
    info.tmz_date.tm_mon = 0;
    info.tmz_date.tm_mday = 1;
    bool ok = zipOpenNewFileInZip(zip, "N", &info, nullptr, 0, nullptr, 0, nullptr, Z_DEFLATED, kLevel) == ZIP_OK;
    const uint8_t* next = input->data;
    uint32_t left = input->size;
    while (ok && left > 0) {
        unsigned piece = left < (1u << 30) ? left : (1u << 30);
        ok = zipWriteInFileInZip(zip, next, piece) == ZIP_OK;
        next += piece;
        left -= piece;
    }
    ok = ok && zipCloseFileInZip(zip) == ZIP_OK;
    ok = zipClose(zip, nullptr) == ZIP_OK && ok && !stream.failed;
    if (!ok || !output->Allocate(stream.size, 1)) {
        output->Allocate(0, 0);
        return false;
    }
    std::memcpy(output->data, work.data, stream.size);
    return true;
}

bool UnzipFromMemory(const uint8_t* bytes, uint32_t length, XC_MemSpace* output) {
    if (!bytes || !output) return false;
    MemoryStream stream;
    stream.data = const_cast<uint8_t*>(bytes);  // only ever read
    stream.size = length;
    zlib_filefunc_def functions = MemoryFunctions(&stream);
    unzFile zip = unzOpen2("N", &functions);
    if (!zip) {
        output->Allocate(0, 0);
        return false;
    }
    unz_file_info info{};
    bool ok = unzGoToFirstFile(zip) == UNZ_OK &&
              unzGetCurrentFileInfo(zip, &info, nullptr, 0, nullptr, 0, nullptr, 0) == UNZ_OK &&
              info.uncompressed_size > 0 && info.uncompressed_size <= UINT32_MAX && PlausibleSize(info, length) &&
              output->Allocate(static_cast<uint32_t>(info.uncompressed_size), 1) && unzOpenCurrentFile(zip) == UNZ_OK;
    if (ok) {
        uint32_t done = 0;
        while (ok && done < output->size) {
            uint32_t left = output->size - done;
            int got = unzReadCurrentFile(zip, output->data + done, left < (1u << 30) ? left : (1u << 30));
            ok = got > 0;
            done += ok ? static_cast<uint32_t>(got) : 0;
        }
        // Closing the member checks its CRC-32: a damaged download is refused here.
        ok = unzCloseCurrentFile(zip) == UNZ_OK && ok;
    }
    unzClose(zip);
    if (!ok) output->Allocate(0, 0);
    return ok;
}
