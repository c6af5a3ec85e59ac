// Zstandard members (ZIP method 93) read by the installer: frames made by hand, block by block,
// so that every field a damaged or hostile payload could bend is under the test's control.
#include <gtest/gtest.h>

#include <zlib.h>

#include <algorithm>
#include <cstring>

#include "one_member_zip.h"
#include "test_files.h"
#include "zipmemory.h"
#include "zstdmember.h"

namespace {

void Put(Bytes* out, uint64_t value, int count) { PutLittleEndian(out, value, count); }

uint32_t Crc(const Bytes& data) { return uint32_t(crc32(0, data.data(), uInt(data.size()))); }

// A Zstandard frame of `content` in raw blocks (or one byte repeated, in RLE blocks), with the
// header fields a writer may choose or a forger may bend.
struct Frame {
    Bytes content;
    bool rle = false;                // content is content[0] repeated: RLE blocks of one byte each
    uint64_t declared = UINT64_MAX;  // the frame's content size; UINT64_MAX: content's size
    bool declare = true;             // without a content size the frame needs a window descriptor
    int window_log = 0;              // 0: a single-segment frame, whose window is its content
    uint32_t dictionary = 0;
    bool checksum = false;  // a checksum flag with a checksum that is never right
    uint32_t magic = 0xFD2FB528;

    Bytes Make() const {
        Bytes out;
        Put(&out, magic, 4);
        const uint64_t size = declared == UINT64_MAX ? content.size() : declared;
        const bool single = window_log == 0;
        const int sizeField = !declare               ? 0
                              : single && size < 256 ? 0
                              : size < 65536 + 256   ? 1
                              : size <= UINT32_MAX   ? 2
                                                     : 3;
        const int sizeBytes[] = {single ? 1 : 0, 2, 4, 8};
        Put(&out, (declare ? sizeField << 6 : 0) | (single ? 0x20 : 0) | (checksum ? 4 : 0) | (dictionary ? 2 : 0), 1);
        if (!single) Put(&out, uint8_t((window_log - 10) << 3), 1);
        if (dictionary) Put(&out, dictionary, 2);
        if (declare) Put(&out, sizeField == 1 ? size - 256 : size, sizeBytes[sizeField]);
        const size_t blockMax = single || window_log >= 17 ? 128u << 10 : size_t(1) << window_log;
        size_t done = 0;
        do {
            const size_t part = std::min(blockMax, content.size() - done);
            const bool last = done + part == content.size();
            Put(&out, (part << 3) | (rle ? 2 : 0) | (last ? 1 : 0), 3);
            if (rle)
                out.push_back(content.empty() ? 0 : content[0]);
            else
                out.insert(out.end(), content.begin() + done, content.begin() + done + part);
            done += part;
        } while (done < content.size());
        if (checksum) Put(&out, 0x12345678, 4);
        return out;
    }
};

// A ZIP image of one member "N" holding `data` as they stand, with the method, size and CRC-32
// a writer claims for them.
Bytes ZipOf(const Bytes& data, uint32_t size, uint32_t crc, uint16_t method = kZstdMethod) {
    return OneMemberZip(data.data(), data.size(), size, crc, method);
}

Bytes ZipOf(const Bytes& frame, const Bytes& content) { return ZipOf(frame, uint32_t(content.size()), Crc(content)); }

UnzipResult Unpack(const Bytes& image, Bytes* content, uint16_t* method = nullptr) {
    XC_MemSpace out(9, 0);
    const ImageReader read = [&](uint32_t offset, uint8_t* bytes, uint32_t count) {
        std::memcpy(bytes, image.data() + offset, count);
    };
    const UnzipResult result = UnzipImage(read, uint32_t(image.size()), &out, nullptr, method);
    *content = BytesOf(out);
    return result;
}

Bytes Repeated(uint8_t byte, size_t count) { return Bytes(count, byte); }

TEST(ZstdMember, SoundFramesUnpack) {
    const Bytes random = RandomBytes(1300000, 11);  // several input steps of the reader
    const struct {
        const char* what;
        Frame frame;
    } cases[] = {
        {"one byte, single segment", Frame{Bytes{0x42}}},
        {"raw blocks over several reads", Frame{random}},
        {"raw blocks with a window of 1 MiB", Frame{random, false, UINT64_MAX, true, 20}},
        {"RLE blocks", Frame{Repeated(7, 700000), true}},
        {"content of 200 bytes", Frame{RandomBytes(200, 12)}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Bytes content;
        uint16_t method = 0;
        EXPECT_EQ(UnzipResult::kDone, Unpack(ZipOf(c.frame.Make(), c.frame.content), &content, &method));
        EXPECT_TRUE(content == c.frame.content);
        EXPECT_EQ(kZstdMethod, method);
    }
}

// Every bent field is a damaged payload: never a crash, never "not enough memory", and the
// output is left empty.
TEST(ZstdMember, BentFramesAreDamaged) {
    const Bytes content = RandomBytes(300000, 13);
    const Bytes sound = Frame{content}.Make();
    Frame longer{content};
    longer.declared = content.size() + 1;
    Frame shorter{content};
    shorter.declared = content.size() - 1;
    Frame undeclared{content, false, UINT64_MAX, false, 19};
    Frame wide{content, false, UINT64_MAX, true, 20};  // 1 MiB for 300,000 bytes: 512 KiB would do
    Frame dictionary{content};
    dictionary.dictionary = 77;
    Frame checksum{content};
    checksum.checksum = true;
    Frame legacy{content};
    legacy.magic = 0xFD2FB527;
    Bytes skippable;
    Put(&skippable, 0x184D2A50, 4);
    Put(&skippable, 4, 4);
    Put(&skippable, 0, 4);
    skippable.insert(skippable.end(), sound.begin(), sound.end());
    Bytes trailing = sound;
    Put(&trailing, 0, 4);
    Bytes twice = sound;
    twice.insert(twice.end(), sound.begin(), sound.end());
    const Bytes truncated(sound.begin(), sound.end() - 10);
    const Bytes headerOnly(sound.begin(), sound.begin() + 6);
    Bytes flippedBlockType = sound;
    flippedBlockType[9] ^= 0x06;  // behind the 9-byte header: the first block turns reserved
    const struct {
        const char* what;
        Bytes image;
    } cases[] = {
        {"frame declares a byte more than the member", ZipOf(longer.Make(), content)},
        {"frame declares a byte less than the member", ZipOf(shorter.Make(), content)},
        {"frame without a content size", ZipOf(undeclared.Make(), content)},
        {"window larger than the member needs", ZipOf(wide.Make(), content)},
        {"frame that needs a dictionary", ZipOf(dictionary.Make(), content)},
        {"frame checksum that does not hold", ZipOf(checksum.Make(), content)},
        {"legacy frame format", ZipOf(legacy.Make(), content)},
        {"skippable frame in front", ZipOf(skippable, content)},
        {"bytes trailing the frame", ZipOf(trailing, content)},
        {"a second frame behind the first", ZipOf(twice, content)},
        {"truncated frame", ZipOf(truncated, content)},
        {"frame header only", ZipOf(headerOnly, content)},
        {"reserved block type", ZipOf(flippedBlockType, content)},
        {"CRC-32 that does not hold", ZipOf(sound, uint32_t(content.size()), Crc(content) ^ 1)},
        {"no data at all", ZipOf(Bytes(), content)},
        {"deflate method over a Zstandard frame", ZipOf(sound, uint32_t(content.size()), Crc(content), 8)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Bytes out;
        EXPECT_EQ(UnzipResult::kDamaged, Unpack(c.image, &out));
        EXPECT_TRUE(out.empty());
    }
}

// Sizes a forger claims are checked before the member's block is committed: a frame that
// declares 1 GiB with a window of 256 MiB, or a directory that claims more than the frame can
// expand to, is refused as damaged, not as a failed allocation.
TEST(ZstdMember, ClaimedSizesAreRefusedBeforeMemoryIsCommitted) {
    const uint32_t gib = 1u << 30;
    Frame huge{RandomBytes(40000, 14), false, gib, true, 28};
    Frame claimed{Repeated(1, 128u << 10), true};
    const Bytes rle = claimed.Make();
    const struct {
        const char* what;
        Bytes image;
    } cases[] = {
        {"1 GiB declared, 256 MiB window", ZipOf(huge.Make(), gib, 0)},
        {"1 GiB in directory and frame, 128 KiB of data",
         ZipOf(Frame{RandomBytes(128u << 10, 15), false, gib}.Make(), gib, 0)},
        {"more than 32768 times the data", ZipOf(rle, uint32_t(rle.size()) * 32768 + 1, 0)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Bytes out;
        EXPECT_EQ(UnzipResult::kDamaged, Unpack(c.image, &out));
        EXPECT_TRUE(out.empty());
    }
}

TEST(ZstdMember, ProgressFollowsTheOutputToItsEnd) {
    const Bytes content = RandomBytes(9u << 20, 16);
    const Bytes image = ZipOf(Frame{content}.Make(), content);
    uint64_t last = 0, calls = 0;
    bool ordered = true;
    const ContentProgress progress = [&](uint64_t done, uint64_t total) {
        ordered = ordered && done > last && total == content.size();
        last = done;
        ++calls;
    };
    const ImageReader read = [&](uint32_t offset, uint8_t* bytes, uint32_t count) {
        std::memcpy(bytes, image.data() + offset, count);
    };
    XC_MemSpace out;
    ASSERT_EQ(UnzipResult::kDone, UnzipImage(read, uint32_t(image.size()), &out, &progress));
    EXPECT_TRUE(ordered);
    EXPECT_EQ(content.size(), last);
    EXPECT_GE(calls, 2u);
}

}  // namespace
