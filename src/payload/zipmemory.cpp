// The payload body's ZIP image, built and read entirely in memory through minizip's file
// function table: read from one block, written into pages.
#include "zipmemory.h"

#include <zip.h>
#include <unzip.h>
#include <zlib.h>

#include <atomic>
#include <cstring>

#include "platform.h"
#include "zstdmember.h"

namespace {

constexpr int kLevel = 8;
// The largest piece handed to the ZIP layer at once; its counts are unsigned int.
constexpr uint32_t kMaxPiece = 1u << 30;

voidpf ZCALLBACK OpenStream(voidpf opaque, const void*, int) { return opaque; }
int ZCALLBACK CloseStream(voidpf, voidpf) { return 0; }

// Where a seek lands, or -1 past the end: neither stream has room beyond what it holds.
int64_t SeekTarget(uint64_t position, uint64_t size, ZPOS64_T offset, int origin) {
    uint64_t base = 0;
    switch (origin) {
        case ZLIB_FILEFUNC_SEEK_CUR:
            base = position;
            break;
        case ZLIB_FILEFUNC_SEEK_END:
            base = size;
            break;
        case ZLIB_FILEFUNC_SEEK_SET:
            break;
        default:
            return -1;
    }
    const uint64_t target = base + offset;
    return target > size ? -1 : int64_t(target);
}

// An image being read: reads stop at `size`.
struct ReadStream {
    const ImageReader* read = nullptr;
    uint32_t size = 0;
    uint32_t position = 0;
};

uLong ZCALLBACK ReadBytes(voidpf, voidpf stream, void* buffer, uLong count) {
    auto* s = static_cast<ReadStream*>(stream);
    const uLong available = s->size - s->position;
    if (count > available) count = available;
    if (count > 0) (*s->read)(s->position, static_cast<uint8_t*>(buffer), static_cast<uint32_t>(count));
    s->position += static_cast<uint32_t>(count);
    return count;
}

uLong ZCALLBACK RefuseWrite(voidpf, voidpf, const void*, uLong) { return 0; }

ZPOS64_T ZCALLBACK TellRead(voidpf, voidpf stream) { return static_cast<ReadStream*>(stream)->position; }

long ZCALLBACK SeekRead(voidpf, voidpf stream, ZPOS64_T offset, int origin) {
    auto* s = static_cast<ReadStream*>(stream);
    const int64_t target = SeekTarget(s->position, s->size, offset, origin);
    if (target < 0) return -1;
    s->position = static_cast<uint32_t>(target);
    return 0;
}

int ZCALLBACK NoError(voidpf, voidpf) { return 0; }

// Stored members hold exactly their compressed size; deflate expands at most 1032-fold,
// Zstandard 32768-fold. A member also lies within its image and must fit the 32-bit sizes. A
// directory that claims more must not make us commit gigabytes before the unpack fails.
bool PlausibleSize(const unz_file_info64& info, uint32_t image_length) {
    constexpr uint64_t kMaxDeflateRatio = 1032;
    if (info.compressed_size > image_length || info.uncompressed_size == 0 || info.uncompressed_size > UINT32_MAX)
        return false;
    if (info.compression_method == 0) return info.uncompressed_size == info.compressed_size;
    if (info.compression_method == Z_DEFLATED)
        return info.uncompressed_size <= info.compressed_size * kMaxDeflateRatio + 64;
    if (info.compression_method == kZstdMethod) return info.uncompressed_size <= info.compressed_size * kZstdMaxRatio;
    return false;
}

uint32_t Read16(const uint8_t* p) { return p[0] | (p[1] << 8); }
uint32_t Read32(const uint8_t* p) { return Read16(p) | (Read16(p + 2) << 16); }

// Where the data of the current member begin, from its local header, read as minizip reads a
// deflated member's: minizip opens no member of a method it does not know, not even as stored
// bytes. 0 when the headers disagree or the data run past the image.
uint32_t ZstdDataStart(unzFile zip, const unz_file_info64& info, const ReadStream& stream) {
    constexpr uint32_t kDirectoryEntry = 46, kLocalHeader = 30;
    const ZPOS64_T entryAt = unzGetOffset64(zip);
    uint8_t bytes[kDirectoryEntry];
    if (entryAt == 0 || entryAt + kDirectoryEntry > stream.size) return 0;
    (*stream.read)(uint32_t(entryAt), bytes, kDirectoryEntry);
    const uint32_t local = Read32(bytes + 42);
    if (Read32(bytes) != 0x02014b50 || uint64_t(local) + kLocalHeader > stream.size) return 0;
    (*stream.read)(local, bytes, kLocalHeader);
    const uint32_t flags = Read16(bytes + 6);
    // Sizes and CRC-32 may trail the data (flag 8); otherwise they must be the directory's.
    const bool sizesHere = (flags & 8) == 0;
    if (Read32(bytes) != 0x04034b50 || (flags & 1) != 0 || Read16(bytes + 8) != kZstdMethod ||
        (sizesHere && (Read32(bytes + 14) != info.crc || Read32(bytes + 18) != info.compressed_size ||
                       Read32(bytes + 22) != info.uncompressed_size)))
        return 0;
    const uint64_t start = uint64_t(local) + kLocalHeader + Read16(bytes + 26) + Read16(bytes + 28);
    return start + info.compressed_size <= stream.size ? uint32_t(start) : 0;
}

// A Zstandard member: its data read from the image as they are stored; the decoder checks the
// frame against the directory's sizes and CRC-32.
UnzipResult UnzipZstdMember(unzFile zip, const unz_file_info64& info, const ReadStream& stream, XC_MemSpace* output,
                            const ContentProgress* progress) {
    uint32_t position = ZstdDataStart(zip, info, stream);
    if (position == 0) return UnzipResult::kDamaged;
    const MemberSource read = [&](uint8_t* out, uint32_t count) {
        (*stream.read)(position, out, count);
        position += count;
    };
    return UnpackZstdMember(read, uint32_t(info.compressed_size), uint32_t(info.uncompressed_size), uint32_t(info.crc),
                            output, progress);
}

}  // namespace

// The writer's file functions: the image grows page by page; minizip seeks back once, to
// complete the local header.
struct ImageStream {
    static uLong ZCALLBACK Write(voidpf, voidpf stream, const void* buffer, uLong count) {
        auto* writer = static_cast<ZipImageWriter*>(stream);
        return writer->WriteAt(static_cast<const uint8_t*>(buffer), static_cast<uint32_t>(count)) ? count : 0;
    }
    static uLong ZCALLBACK Read(voidpf, voidpf, void*, uLong) { return 0; }
    static ZPOS64_T ZCALLBACK Tell(voidpf, voidpf stream) { return static_cast<ZipImageWriter*>(stream)->position_; }
    static long ZCALLBACK Seek(voidpf, voidpf stream, ZPOS64_T offset, int origin) {
        auto* writer = static_cast<ZipImageWriter*>(stream);
        const int64_t target = SeekTarget(writer->position_, writer->image_->size, offset, origin);
        if (target < 0) return -1;
        writer->position_ = uint64_t(target);
        return 0;
    }
    static int ZCALLBACK Error(voidpf, voidpf stream) { return static_cast<ZipImageWriter*>(stream)->failed_ ? 1 : 0; }
};

// One piece of the content: its bytes, and once deflated its output and CRC-32.
struct ZipImageWriter::Piece {
    XC_MemSpace dictionary;  // the end of the content before this piece
    XC_MemSpace input;
    uint32_t used = 0;
    XC_MemSpace output;
    uint32_t written = 0;
    uint32_t crc = 0;
    bool ok = false;
    std::atomic<bool> done{false};
    // Last, so that it is waited for before the buffers it works on go.
    std::unique_ptr<platform::BackgroundJob> job;
};

namespace {

// Deflate's window: the most of the previous piece that can be referred back to.
constexpr uint32_t kWindow = 32768;

// Deflates one piece as raw deflate data at the payload's level, primed with the end of the
// previous piece; ends on a byte boundary, or finishes the stream when `last`.
bool DeflatePiece(const uint8_t* input, uint32_t count, const uint8_t* dictionary, uint32_t dictionaryLength, bool last,
                  XC_MemSpace* output, uint32_t* written) {
    z_stream stream{};
    if (deflateInit2(&stream, kLevel, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK) return false;
    bool ok = dictionaryLength == 0 || deflateSetDictionary(&stream, dictionary, dictionaryLength) == Z_OK;
    // Room for the worst case and the flush marker, so that one call does it all.
    const uLong bound = deflateBound(&stream, count) + 16;
    ok = ok && output->Allocate(uint32_t(bound), 0) != nullptr;
    if (ok) {
        stream.next_in = const_cast<uint8_t*>(input);
        stream.avail_in = count;
        stream.next_out = output->data;
        stream.avail_out = output->size;
        const int result = deflate(&stream, last ? Z_FINISH : Z_SYNC_FLUSH);
        ok = (last ? result == Z_STREAM_END : result == Z_OK) && stream.avail_in == 0 && stream.avail_out > 0;
        *written = uint32_t(stream.total_out);
    }
    deflateEnd(&stream);
    return ok;
}

}  // namespace

ZipImageWriter::ZipImageWriter(ZipImage* image, uint32_t threads, uint32_t pieceSize, const ContentProgress* progress)
    : image_(image),
      threads_(threads ? threads : platform::ProcessorCount()),
      piece_size_(pieceSize ? pieceSize : kPieceSize),
      progress_(progress) {
    // Without a way to learn which piece is done, one piece at a time on this thread.
    if (!finished_.IsReady()) threads_ = 1;
    image_->pages.clear();
    image_->size = 0;
    zlib_filefunc64_def functions{};
    functions.zopen64_file = OpenStream;
    functions.zread_file = ImageStream::Read;
    functions.zwrite_file = ImageStream::Write;
    functions.ztell64_file = ImageStream::Tell;
    functions.zseek64_file = ImageStream::Seek;
    functions.zclose_file = CloseStream;
    functions.zerror_file = ImageStream::Error;
    functions.opaque = this;
    zip_ = zipOpen2_64("N", APPEND_STATUS_CREATE, nullptr, &functions);
    // A fixed date keeps the image, and so the installer, byte-identical for the same input.
    zip_fileinfo info{};
    info.tmz_date.tm_year = 2000;
    info.tmz_date.tm_mon = 0;
    info.tmz_date.tm_mday = 1;
    // Raw: the member's data are the pieces' deflate stream, its CRC-32 combined from theirs.
    if (!zip_ ||
        zipOpenNewFileInZip2(zip_, "N", &info, nullptr, 0, nullptr, 0, nullptr, Z_DEFLATED, kLevel, 1) != ZIP_OK)
        failed_ = true;
}

ZipImageWriter::~ZipImageWriter() {
    if (zip_) zipClose(zip_, nullptr);
}

bool ZipImageWriter::Add(const uint8_t* bytes, uint32_t count) {
    while (!failed_ && count > 0) {
        // A full piece is deflated only once more content follows: the last piece must know
        // it is the last.
        if (!filling_ || filling_->used == piece_size_) {
            auto piece = std::make_unique<Piece>();
            if (!piece->input.Allocate(piece_size_, 0) || !TakeDictionary(piece.get())) {
                failed_ = out_of_memory_ = true;
                break;
            }
            if (filling_ && !Start(std::move(filling_), false)) break;
            filling_ = std::move(piece);
        }
        Piece& piece = *filling_;
        const uint32_t room = piece_size_ - piece.used;
        const uint32_t part = count < room ? count : room;
        std::memcpy(piece.input.data + piece.used, bytes, part);
        piece.used += part;
        bytes += part;
        count -= part;
    }
    return !failed_;
}

bool ZipImageWriter::TakeDictionary(Piece* piece) {
    if (!filling_) return true;
    const uint32_t length = filling_->used < kWindow ? filling_->used : kWindow;
    if (length == 0) return true;
    if (!piece->dictionary.Allocate(length, 0)) return false;
    std::memcpy(piece->dictionary.data, filling_->input.data + filling_->used - length, length);
    return true;
}

bool ZipImageWriter::Start(std::unique_ptr<Piece> piece, bool last) {
    Piece* const work = piece.get();
    const bool threaded = threads_ > 1;
    auto deflate = [this, work, last, threaded] {
        work->ok = DeflatePiece(work->input.data, work->used, work->dictionary.data, work->dictionary.size, last,
                                &work->output, &work->written);
        work->crc = uint32_t(crc32(0, work->input.data, work->used));
        work->input.Allocate(0, 0);
        work->dictionary.Allocate(0, 0);
        work->done.store(true, std::memory_order_release);
        if (threaded) finished_.Release();
    };
    if (threaded) {
        while (running_ == threads_) TakeFinished();
        ++running_;
        work->job = std::make_unique<platform::BackgroundJob>(deflate);
    } else {
        deflate();
    }
    pieces_.push_back(std::move(piece));
    // Pieces done early wait for those before them: about two per thread on the way at most.
    return HandOver(2 * size_t(threads_));
}

void ZipImageWriter::TakeFinished() {
    finished_.Acquire();
    --running_;
}

bool ZipImageWriter::HandOver(size_t keep) {
    while (!pieces_.empty()) {
        Piece& piece = *pieces_.front();
        if (!piece.done.load(std::memory_order_acquire)) {
            if (pieces_.size() <= keep) break;
            TakeFinished();
            continue;
        }
        if (!failed_ && !piece.ok) {
            failed_ = true;
            // Deflate fails for want of memory only.
            out_of_memory_ = true;
        }
        if (!failed_) {
            crc_ = uint32_t(crc32_combine(crc_, piece.crc, piece.used));
            total_ += piece.used;
            if (zipWriteInFileInZip(zip_, piece.output.data, piece.written) != ZIP_OK) failed_ = true;
        }
        pieces_.pop_front();
        if (progress_ && !failed_) (*progress_)(total_, 0);
    }
    return !failed_;
}

bool ZipImageWriter::Finish() {
    // The content's end: the stream is finished with the last piece, even an empty content's.
    if (!failed_) {
        if (!filling_) filling_ = std::make_unique<Piece>();
        Start(std::move(filling_), true);
    }
    bool ok = HandOver(0) && total_ <= UINT32_MAX && zipCloseFileInZipRaw(zip_, uLong(total_), uLong(crc_)) == ZIP_OK;
    ok = zipClose(zip_, nullptr) == ZIP_OK && ok && !failed_;
    zip_ = nullptr;
    if (!ok) Discard();
    return ok;
}

bool ZipImageWriter::WriteAt(const uint8_t* bytes, uint32_t count) {
    // The header's body length is 32-bit: an image must stay below 4 GiB.
    if (failed_ || position_ + count > UINT32_MAX) {
        failed_ = true;
        return false;
    }
    while (count > 0) {
        uint32_t room = 0;
        uint8_t* out = image_->Room(uint32_t(position_), &room);
        if (!out) {
            failed_ = out_of_memory_ = true;
            return false;
        }
        const uint32_t piece = count < room ? count : room;
        std::memcpy(out, bytes, piece);
        bytes += piece;
        count -= piece;
        position_ += piece;
        if (position_ > image_->size) image_->size = uint32_t(position_);
    }
    return true;
}

uint8_t* ZipImage::Room(uint32_t position, uint32_t* room) {
    const size_t index = position / kPageSize;
    if (position > size || index > pages.size()) return nullptr;
    if (index == pages.size()) {
        if (index >= 2 && completed) {
            if (!completed(index - 1, pages[index - 1]->data)) return nullptr;
            pages[index - 1].reset();
        }
        auto page = std::make_unique<XC_MemSpace>();
        if (!page->Allocate(kPageSize, XC_MemSpace::kPages)) return nullptr;
        pages.push_back(std::move(page));
    }
    if (!pages[index]) return nullptr;
    *room = kPageSize - position % kPageSize;
    return pages[index]->data + position % kPageSize;
}

void ZipImageWriter::Discard() {
    image_->pages.clear();
    image_->size = 0;
}

bool ZipToMemory(const XC_MemSpace* input, XC_MemSpace* output) {
    if (!input || !input->data || !output) return false;
    ZipImage image;
    {
        ZipImageWriter writer(&image);
        if (!writer.Add(input->data, input->size) || !writer.Finish()) {
            output->Allocate(0, 0);
            return false;
        }
    }
    if (!output->Allocate(image.size, XC_MemSpace::kPages)) return false;
    for (size_t i = 0; i < image.pages.size(); ++i)
        std::memcpy(output->data + i * ZipImage::kPageSize, image.pages[i]->data, image.PageBytes(i));
    return true;
}

bool UnzipFromMemory(const uint8_t* bytes, uint32_t length, XC_MemSpace* output) {
    if (!bytes || !output) return false;
    const ImageReader copy = [bytes](uint32_t offset, uint8_t* out, uint32_t count) {
        std::memcpy(out, bytes + offset, count);
    };
    return UnzipImage(copy, length, output) == UnzipResult::kDone;
}

UnzipResult UnzipImage(const ImageReader& read, uint32_t length, XC_MemSpace* output, const ContentProgress* progress,
                       uint16_t* method) {
    if (!output) return UnzipResult::kDamaged;
    ReadStream stream;
    stream.read = &read;
    stream.size = length;
    zlib_filefunc64_def functions{};
    functions.zopen64_file = OpenStream;
    functions.zread_file = ReadBytes;
    functions.zwrite_file = RefuseWrite;
    functions.ztell64_file = TellRead;
    functions.zseek64_file = SeekRead;
    functions.zclose_file = CloseStream;
    functions.zerror_file = NoError;
    functions.opaque = &stream;
    unzFile zip = unzOpen2_64("N", &functions);
    output->Allocate(0, 0);
    if (!zip) return UnzipResult::kDamaged;
    // The 64-bit member information on every platform: the 32-bit one cuts sizes to their low
    // half where long is 32-bit, and a cut size would dodge both the size and the CRC checks.
    unz_file_info64 info{};
    UnzipResult result = UnzipResult::kDamaged;
    if (unzGoToFirstFile(zip) == UNZ_OK &&
        unzGetCurrentFileInfo64(zip, &info, nullptr, 0, nullptr, 0, nullptr, 0) == UNZ_OK &&
        PlausibleSize(info, length)) {
        if (info.compression_method == kZstdMethod) {
            result = UnzipZstdMember(zip, info, stream, output, progress);
        } else if (!output->Allocate(static_cast<uint32_t>(info.uncompressed_size), XC_MemSpace::kPages)) {
            result = UnzipResult::kNoMemory;
        } else if (unzOpenCurrentFile(zip) == UNZ_OK) {
            bool ok = true;
            uint32_t done = 0;
            while (ok && done < output->size) {
                const uint32_t left = output->size - done;
                // In steps a progress line can follow; one step with nobody to tell.
                const uint32_t step = progress ? uint32_t(ProgressStep(done)) : kMaxPiece;
                const int got = unzReadCurrentFile(zip, output->data + done, left < step ? left : step);
                ok = got > 0;
                done += ok ? static_cast<uint32_t>(got) : 0;
                if (ok && progress) (*progress)(done, output->size);
            }
            // Closing the member checks its CRC-32: a damaged download is refused here.
            if (unzCloseCurrentFile(zip) == UNZ_OK && ok) result = UnzipResult::kDone;
        }
    }
    unzClose(zip);
    if (result != UnzipResult::kDone) output->Allocate(0, 0);
    if (result == UnzipResult::kDone && method) *method = uint16_t(info.compression_method);
    return result;
}
