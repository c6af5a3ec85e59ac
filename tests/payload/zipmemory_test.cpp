// The in-memory ZIP image: one deflated member "N", read back by its first member, CRC checked.
#include <gtest/gtest.h>

#include <unzip.h>
#include <zip.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <vector>

#include "test_files.h"
#include "zipmemory.h"

#ifdef _WIN32
#include <windows.h>

#include "import_patch.h"
#endif

namespace {

Bytes Pack(const Bytes& input) {
    XC_MemSpace in, out;
    Fill(&in, input);
    EXPECT_TRUE(ZipToMemory(&in, &out));
    return BytesOf(out);
}

bool Unpack(const Bytes& image, Bytes* content) {
    XC_MemSpace out;
    bool ok = UnzipFromMemory(image.data(), uint32_t(image.size()), &out);
    *content = BytesOf(out);
    return ok;
}

Bytes TextBytes(size_t count) {
    Bytes bytes(count);
    for (size_t i = 0; i < count; ++i) bytes[i] = "the quick brown fox jumps over the lazy dog\r\n"[i % 45];
    return bytes;
}

TEST(ZipToMemory, RoundTripsAnyContent) {
    for (const Bytes& input : {Bytes{0x42}, TextBytes(100000), RandomBytes(70000, 1)}) {
        Bytes content;
        ASSERT_TRUE(Unpack(Pack(input), &content));
        EXPECT_EQ(content, input);
    }
}

// Incompressible input grows under deflate by more than any fixed margin once it is large.
TEST(ZipToMemory, IncompressibleInputStillPacks) {
    const Bytes input = RandomBytes(8 * 1024 * 1024 + 3, 2);
    Bytes content;
    ASSERT_TRUE(Unpack(Pack(input), &content));
    EXPECT_EQ(content, input);
}

TEST(ZipToMemory, ImageHoldsOneDeflatedMemberNamedN) {
    TempFolder folder;
    const std::string path = folder.File("image.zip");
    WriteBytes(path, Pack(TextBytes(5000)));
    unzFile zip = unzOpen(path.c_str());
    ASSERT_NE(nullptr, zip);
    unz_global_info global{};
    ASSERT_EQ(UNZ_OK, unzGetGlobalInfo(zip, &global));
    EXPECT_EQ(1u, global.number_entry);
    unz_file_info info{};
    char name[16] = {};
    ASSERT_EQ(UNZ_OK, unzGetCurrentFileInfo(zip, &info, name, sizeof name, nullptr, 0, nullptr, 0));
    EXPECT_STREQ("N", name);
    EXPECT_EQ(8u, info.compression_method);
    EXPECT_EQ(5000u, info.uncompressed_size);
    unzClose(zip);
}

TEST(ZipToMemory, SameInputGivesTheSameImage) {
    const Bytes input = TextBytes(30000);
    EXPECT_EQ(Pack(input), Pack(input));
}

TEST(ZipToMemory, EmptyInputIsRefusedAndOutputUntouched) {
    XC_MemSpace empty, out(7, 0);
    EXPECT_FALSE(ZipToMemory(&empty, &out));
    EXPECT_EQ(7u, out.size);
    EXPECT_FALSE(ZipToMemory(nullptr, &out));
}

// Writes a ZIP file with minizip's own file writer; members are (name, content) pairs.
Bytes ZipFileWith(const std::vector<std::pair<std::string, Bytes>>& members) {
    TempFolder folder;
    const std::string path = folder.File("multi.zip");
    zipFile zip = zipOpen(path.c_str(), APPEND_STATUS_CREATE);
    for (const auto& member : members) {
        zip_fileinfo info{};
        zipOpenNewFileInZip(zip, member.first.c_str(), &info, nullptr, 0, nullptr, 0, nullptr, Z_DEFLATED, 8);
        if (!member.second.empty()) zipWriteInFileInZip(zip, member.second.data(), unsigned(member.second.size()));
        zipCloseFileInZip(zip);
    }
    zipClose(zip, nullptr);
    return ReadBytes(path);
}

TEST(UnzipFromMemory, TakesTheFirstMemberWhateverItsName) {
    Bytes content;
    ASSERT_TRUE(Unpack(ZipFileWith({{"first.bin", TextBytes(300)}, {"N", RandomBytes(50, 3)}}), &content));
    EXPECT_EQ(TextBytes(300), content);
}

TEST(UnzipFromMemory, RefusesDamagedImagesAndEmptiesTheOutput) {
    const Bytes good = Pack(TextBytes(20000));
    Bytes flipped = good;
    flipped[30 + 1 + 40] ^= 0x55;  // inside the deflated data, behind the local header and name
    Bytes stored = ZipFileWith({{"N", RandomBytes(2000, 4)}});
    Bytes bad_crc = stored;
    bad_crc[30 + 1 + 1000] ^= 0x01;  // random data is stored nearly verbatim by deflate
    const struct {
        const char* what;
        Bytes image;
    } cases[] = {
        {"flipped compressed byte", flipped},
        {"content that fails its CRC", bad_crc},
        {"truncated image", Bytes(good.begin(), good.begin() + good.size() / 2)},
        {"not a ZIP image", TextBytes(500)},
        {"empty first member", ZipFileWith({{"N", Bytes()}})},
        {"three bytes", Bytes{0x50, 0x4b, 0x03}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        XC_MemSpace out(9, 0);
        EXPECT_FALSE(UnzipFromMemory(c.image.data(), uint32_t(c.image.size()), &out));
        EXPECT_EQ(nullptr, out.data);
        EXPECT_EQ(0u, out.size);
    }
    XC_MemSpace untouched(9, 0);
    EXPECT_FALSE(UnzipFromMemory(nullptr, 10, &untouched));
    EXPECT_EQ(9u, untouched.size);
}

// A one-member ZIP file whose member data are `data` as they stand, with the sizes and CRC a
// hostile writer claims for them.
Bytes HandMadeZip(int method, const Bytes& data, uint64_t claimed_size, uint32_t crc) {
    TempFolder folder;
    const std::string path = folder.File("hand.zip");
    zipFile zip = zipOpen64(path.c_str(), APPEND_STATUS_CREATE);
    zip_fileinfo info{};
    const int zip64 = claimed_size >= 0xFFFFFFFFu ? 1 : 0;
    EXPECT_EQ(ZIP_OK, zipOpenNewFileInZip2_64(zip, "N", &info, nullptr, 0, nullptr, 0, nullptr, method, 0, 1, zip64));
    EXPECT_EQ(ZIP_OK, zipWriteInFileInZip(zip, data.data(), unsigned(data.size())));
    EXPECT_EQ(ZIP_OK, zipCloseFileInZipRaw64(zip, claimed_size, crc));
    zipClose(zip, nullptr);
    return ReadBytes(path);
}

// The image with another method number in the local and the central header.
Bytes WithMethod(uint16_t method, Bytes image) {
    const Bytes central = {'P', 'K', 1, 2};
    const size_t at = std::search(image.begin(), image.end(), central.begin(), central.end()) - image.begin();
    std::memcpy(&image[8], &method, 2);
    if (at + 12 <= image.size()) std::memcpy(&image[at + 10], &method, 2);
    return image;
}

uint32_t Crc(const Bytes& data) { return uint32_t(crc32(0, data.data(), uInt(data.size()))); }

// Sizes the directory claims must pass the rule of the member's method before any memory is
// committed for them: a refusal here is "damaged", never "not enough memory".
TEST(UnzipFromMemory, RefusesClaimedSizesBeforeCommittingMemory) {
    const Bytes four_mb = RandomBytes(4u << 20, 5), forty = RandomBytes(40, 6);
    const struct {
        const char* what;
        Bytes image;
    } cases[] = {
        {"stored member of 4 MB claiming 0xFFFFFFFF bytes", HandMadeZip(0, four_mb, 0xFFFFFFFFu, Crc(four_mb))},
        {"stored member claiming one byte more than it holds", HandMadeZip(0, forty, 41, Crc(forty))},
        {"ZIP64 size 2^32 + 40 with a wrong CRC", HandMadeZip(0, forty, (1ull << 32) + 40, Crc(forty) ^ 1)},
        {"deflated member claiming more than 1032 times its size", HandMadeZip(Z_DEFLATED, forty, 40 * 1032 + 65, 0)},
        {"member of an unknown method", WithMethod(12, HandMadeZip(0, forty, 40, Crc(forty)))},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        XC_MemSpace out(9, 0);
        const ImageReader read = [&](uint32_t offset, uint8_t* bytes, uint32_t count) {
            std::memcpy(bytes, c.image.data() + offset, count);
        };
        EXPECT_EQ(UnzipResult::kDamaged, UnzipImage(read, uint32_t(c.image.size()), &out));
        EXPECT_EQ(0u, out.size);
    }
}

TEST(UnzipFromMemory, StoredMemberOfExactSizeUnpacks) {
    const Bytes data = RandomBytes(3000, 8);
    Bytes content;
    ASSERT_TRUE(Unpack(HandMadeZip(0, data, data.size(), Crc(data)), &content));
    EXPECT_EQ(data, content);
}

// The image is written in pages: one that ends exactly on a page boundary, and one a byte past
// it, come out whole.
TEST(ZipToMemory, ImagesAroundThePageSizeRoundTrip) {
    for (const uint32_t target : {ZipImage::kPageSize, ZipImage::kPageSize + 1}) {
        // Random input is stored by deflate: the image grows with the input, byte for byte
        // between block boundaries, so a few steps find the input of the wanted image size.
        Bytes input = RandomBytes(target - 600, 9), image = Pack(input);
        for (int step = 0; step < 8 && image.size() != target; ++step) {
            input = RandomBytes(input.size() + target - image.size(), 9);
            image = Pack(input);
        }
        ASSERT_EQ(target, image.size());
        Bytes content;
        ASSERT_TRUE(Unpack(image, &content));
        EXPECT_EQ(input, content);
    }
}

// The image of `input` from a writer with these threads and pieces; `completed`, when given,
// takes the pages handed on, and the result holds only what the writer kept.
Bytes PackIn(const Bytes& input, uint32_t threads, uint32_t pieceSize,
             std::function<bool(size_t, uint8_t*)> completed = nullptr) {
    ZipImage image;
    image.completed = std::move(completed);
    ZipImageWriter writer(&image, threads, pieceSize);
    if (!writer.Add(input.data(), uint32_t(input.size())) || !writer.Finish()) return Bytes();
    Bytes bytes(image.size);
    for (size_t i = 0; i < image.pages.size(); ++i)
        if (image.pages[i])
            std::memcpy(bytes.data() + i * ZipImage::kPageSize, image.pages[i]->data, image.PageBytes(i));
    return bytes;
}

// Four letters in random order: many short matches, the slowest kind of input for deflate.
Bytes LetterBytes(size_t count, unsigned seed) {
    Bytes bytes = RandomBytes(count, seed);
    for (uint8_t& byte : bytes) byte = "ACGT"[byte % 4];
    return bytes;
}

constexpr uint32_t kSmallPiece = 16 * 1024;

// Pieces of kSmallPiece that take very different times to deflate: letters, zeros, noise.
Bytes UnevenPieces() {
    Bytes input;
    for (int i = 0; i < 60; ++i) {
        const Bytes part = i % 3 == 0   ? LetterBytes(kSmallPiece * 2 + 17, i)
                           : i % 3 == 1 ? Bytes(kSmallPiece / 2)
                                        : RandomBytes(kSmallPiece, i);
        input.insert(input.end(), part.begin(), part.end());
    }
    return input;
}

// Such pieces finish out of order on several threads; handed on in order, they make the image
// that one thread makes.
TEST(ZipImageWriter, ThreadsNeverChangeTheImage) {
    const Bytes input = UnevenPieces();
    const Bytes one = PackIn(input, 1, kSmallPiece);
    Bytes content;
    ASSERT_TRUE(Unpack(one, &content));
    EXPECT_EQ(input, content);
    for (const uint32_t threads : {2u, 3u, 8u})
        EXPECT_EQ(one, PackIn(input, threads, kSmallPiece)) << threads << " threads";
}

#ifdef _WIN32
HANDLE WINAPI NoThread(LPSECURITY_ATTRIBUTES, SIZE_T, LPTHREAD_START_ROUTINE, LPVOID, DWORD, LPDWORD) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
}

// When no thread starts, each piece deflates at once on the writer's own: the same image, and
// no wait for a piece that nobody deflates.
TEST(ZipImageWriter, PiecesDeflateWhenNoThreadStarts) {
    const Bytes input = UnevenPieces();
    const Bytes one = PackIn(input, 1, kSmallPiece);
    ImportPatch patch("kernel32.dll", "CreateThread", reinterpret_cast<void*>(&NoThread));
    if (!patch.Applied()) GTEST_SKIP() << "this program does not import CreateThread";
    EXPECT_EQ(one, PackIn(input, 4, kSmallPiece));
}
#endif

// The pages handed on while the image grows are its final bytes: put back in their places they
// make the image of a writer that keeps every page. The first is kept to the end, since its
// local header is completed last. A page that is refused stops the writer.
TEST(ZipImage, PagesHandedOnAreFinal) {
    const Bytes input = RandomBytes(4 * ZipImage::kPageSize + 5, 3);
    const Bytes whole = PackIn(input, 2, 0);
    ASSERT_GT(whole.size(), 4 * ZipImage::kPageSize);
    std::vector<size_t> handed;
    std::vector<Bytes> pages;
    Bytes assembled = PackIn(input, 2, 0, [&](size_t index, uint8_t* bytes) {
        handed.push_back(index);
        pages.emplace_back(bytes, bytes + ZipImage::kPageSize);
        return true;
    });
    ASSERT_EQ(whole.size(), assembled.size());
    for (size_t i = 0; i < handed.size(); ++i)
        std::copy(pages[i].begin(), pages[i].end(), assembled.begin() + handed[i] * ZipImage::kPageSize);
    EXPECT_EQ((std::vector<size_t>{1, 2, 3}), handed);
    EXPECT_EQ(whole, assembled);

    ZipImage image;
    image.completed = [](size_t, uint8_t*) { return false; };
    ZipImageWriter writer(&image, 2);
    writer.Add(input.data(), uint32_t(input.size()));
    EXPECT_FALSE(writer.Finish());
    EXPECT_TRUE(image.pages.empty());
    EXPECT_EQ(0u, image.size);
}

}  // namespace
