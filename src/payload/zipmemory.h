// The payload body's ZIP image: one member "N", deflated at level 8, built and read in memory.
#pragma once
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <vector>

#include "platform.h"
#include "xc_memspace.h"

bool ZipToMemory(const XC_MemSpace* input, XC_MemSpace* output);
bool UnzipFromMemory(const uint8_t* bytes, uint32_t length, XC_MemSpace* output);

// Told how many of the content's bytes are done so far, and of how many (0 when the writer
// cannot know), now and then, on the calling thread.
using ContentProgress = std::function<void(uint64_t done, uint64_t total)>;
// How many more bytes an unpacker produces before it tells its progress again, `done` bytes
// being unpacked: steps that double from 64 KiB up to 4 MiB, so that the start of the content
// (the payload's first record) is told soon, and the rest seldom.
inline uint64_t ProgressStep(uint64_t done) {
    constexpr uint64_t kFirst = 64u << 10, kMost = 4u << 20;
    return done < kFirst ? kFirst : done < kMost ? done : kMost;
}

// Why an image did not unpack: a short memory is not a damaged payload.
enum class UnzipResult : uint8_t { kDone, kDamaged, kNoMemory };
// Copies `count` bytes of the image from `offset` on into `out`; the range lies within the image.
using ImageReader = std::function<void(uint32_t offset, uint8_t* out, uint32_t count)>;
// UnzipFromMemory over an image that is read through `read` (one that is decrypted on the way,
// say), with the reason of a failure. The member may be deflated (method 8) or compressed with
// Zstandard (93); `method`, when given, receives the member's method once it unpacked.
UnzipResult UnzipImage(const ImageReader& read, uint32_t length, XC_MemSpace* output,
                       const ContentProgress* progress = nullptr, uint16_t* method = nullptr);

// An image in pages of kPageSize bytes, each full but the last, so that it never needs one
// block of its whole size. The page size is a multiple of the cipher's 16-byte block, so the
// pages can be encrypted one by one exactly as the whole image would be.
struct ZipImage {
    static constexpr uint32_t kPageSize = 1u << 20;
    // Null where a page was handed on to `completed`.
    std::vector<std::unique_ptr<XC_MemSpace>> pages;
    uint32_t size = 0;
    // Told of each page but the first once the image has grown past it: the page never
    // changes again and is released after the call. (The first holds the member's local
    // header, which is completed last.) False stops the image. Empty: every page is kept.
    std::function<bool(size_t index, uint8_t* bytes)> completed;
    // Bytes of the image in page `index`.
    uint32_t PageBytes(size_t index) const {
        return index + 1 < pages.size() ? kPageSize : size - uint32_t(index) * kPageSize;
    }
    // Where the byte at `position` (at most `size`) is kept, with the room from there to the
    // end of its page in `room`; a new page when position is the end on a page boundary. Null
    // when memory is short, the page was handed on or `completed` refused it.
    uint8_t* Room(uint32_t position, uint32_t* room);
};

// Packs content handed over in any number of parts as the member of one image: the content
// never needs to lie in one block either. The content is deflated in pieces of a fixed size on
// several threads at once: each piece primed with the end of the one before it as its
// dictionary and ended on a byte boundary, the last one finished, so that the pieces form one
// deflate stream any inflater reads. The bytes depend on the content and the piece size only,
// never on the number of threads.
class ZipImageWriter {
public:
    static constexpr uint32_t kPieceSize = 1u << 20;
    // threads 0: one per processor. With several, as many pieces deflate at a time as threads,
    // each on a thread of its own, while the next one fills; a thread that is done takes the
    // next piece at once, and the pieces are handed on in content order.
    explicit ZipImageWriter(ZipImage* image, uint32_t threads = 0, uint32_t pieceSize = kPieceSize,
                            const ContentProgress* progress = nullptr);
    ~ZipImageWriter();
    ZipImageWriter(const ZipImageWriter&) = delete;
    ZipImageWriter& operator=(const ZipImageWriter&) = delete;

    bool Add(const uint8_t* bytes, uint32_t count);
    // Ends the member and the archive; false, with the image emptied, when anything failed.
    bool Finish();
    bool OutOfMemory() const { return out_of_memory_; }

private:
    friend struct ImageStream;  // the ZIP layer's file functions over the pages
    struct Piece;
    bool WriteAt(const uint8_t* bytes, uint32_t count);
    void Discard();
    // Deflates the piece, on a thread of its own when there are several threads, once one is
    // free; `last` finishes the stream with it.
    bool Start(std::unique_ptr<Piece> piece, bool last);
    // Hands the done pieces at the front on to the ZIP layer in order, waiting for more to be
    // done until at most `keep` pieces are left on the way.
    bool HandOver(size_t keep);
    // Waits until one more of the running pieces is done.
    void TakeFinished();
    // Gives a new piece the end of the one filling (up to deflate's window).
    bool TakeDictionary(Piece* piece);

    ZipImage* image_;
    uint32_t threads_;
    uint32_t piece_size_;
    const ContentProgress* progress_;
    // Released by each piece done on a thread; declared before the pieces, whose threads use it
    // to the end.
    platform::Semaphore finished_;
    uint32_t running_ = 0;                       // pieces started on threads whose release is not taken yet
    std::deque<std::unique_ptr<Piece>> pieces_;  // on the way: deflating or done, in content order
    std::unique_ptr<Piece> filling_;
    uint32_t crc_ = 0;
    uint64_t total_ = 0;
    void* zip_ = nullptr;
    uint64_t position_ = 0;
    bool failed_ = false;
    bool out_of_memory_ = false;
};
