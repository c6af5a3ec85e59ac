// A payload of an application tree's size through the archive of the 32-bit product: loaded
// whole, then every entry read and extracted. The size comes from TARVIK_LARGE_PAYLOAD_MIB
// (default 1024). The installer file is written here by a writer of its own, streaming and at
// deflate level 1, to keep the test short; the loader takes any deflate level.
#include <gtest/gtest.h>

#include <zip.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "test_files.h"
#include "wholefile.h"
#include "xc_aescipher.h"
#include "xc_exetailhelper.h"

namespace {

struct Expected {
    std::string key;
    uint32_t size;
    uint32_t crc;
};

// Entry contents of an application tree: incompressible media, sparse binaries and markup.
class TreeContent {
public:
    explicit TreeContent(uint64_t seed) : state_(seed * 0x9E3779B97F4A7C15ull + 1) {}

    void Fill(uint8_t* bytes, size_t count, int kind) {
        static const char* words[] = {"<path ",     "d=\"M ",
                                      "fill:none;", "stroke-width:0.26458",
                                      "</g>\r\n",   "transform=\"matrix(",
                                      "id=\"rect",  "inkscape:label=\"",
                                      "0.5 ",       "12.75,"};
        size_t i = 0;
        while (i < count) {
            const uint64_t value = Next();
            if (kind == 0) {
                const size_t n = count - i < 8 ? count - i : 8;
                std::memcpy(bytes + i, &value, n);
                i += n;
            } else if (kind == 1) {
                const size_t run = value % 200;
                for (size_t j = 0; j < run && i < count; ++j) bytes[i++] = 0;
                if (i < count) bytes[i++] = uint8_t(value >> 32);
            } else {
                const char* word = words[value % 10];
                for (size_t j = 0; word[j] && i < count; ++j) bytes[i++] = uint8_t(word[j]);
            }
        }
    }
    uint64_t Next() {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 7;
        state_ ^= state_ << 17;
        return state_;
    }

private:
    uint64_t state_;
};

void PutU32(uint8_t* p, uint32_t value) { std::memcpy(p, &value, 4); }

// Writes stub, header and sealed body of `mib` MiB of entries to `path`; returns the entries.
bool WriteLargeInstaller(const std::string& path, const std::string& zip_path, size_t mib,
                         std::vector<Expected>* expected) {
    zipFile zip = zipOpen64(zip_path.c_str(), APPEND_STATUS_CREATE);
    if (!zip) return false;
    zip_fileinfo info{};
    bool ok = zipOpenNewFileInZip(zip, "N", &info, nullptr, 0, nullptr, 0, nullptr, Z_DEFLATED, 1) == ZIP_OK;
    const uint64_t total = uint64_t(mib) << 20;
    uint64_t written = 0;
    std::unique_ptr<uint8_t[]> buffer(new uint8_t[16u << 20]);
    TreeContent sizes(1);
    for (uint32_t index = 0; ok && written < total; ++index) {
        const std::string key = "FILE" + std::to_string(index);
        const uint64_t room = total - written - std::min<uint64_t>(total - written, 12 + key.size());
        const uint32_t size = uint32_t(std::min<uint64_t>(room, sizes.Next() % (16u << 20)));
        TreeContent content(index + 2);
        content.Fill(buffer.get(), size, index % 3);
        uint8_t head[64] = {};
        PutU32(head, size);
        PutU32(head + 4, uint32_t(key.size()));
        std::memcpy(head + 8, key.data(), key.size());
        ok = zipWriteInFileInZip(zip, head, unsigned(12 + key.size())) == ZIP_OK &&
             (size == 0 || zipWriteInFileInZip(zip, buffer.get(), size) == ZIP_OK);
        expected->push_back({key, size, uint32_t(crc32(0, buffer.get(), size))});
        written += 12 + key.size() + size;
    }
    // Records in key order, as a saved payload holds them.
    std::sort(expected->begin(), expected->end(), [](const Expected& a, const Expected& b) { return a.key < b.key; });
    ok = zipCloseFileInZip(zip) == ZIP_OK && ok;
    ok = zipClose(zip, nullptr) == ZIP_OK && ok;
    if (!ok) return false;

    // Stub, header, then the image encrypted in pieces of whole cipher blocks.
    std::FILE* in = std::fopen(zip_path.c_str(), "rb");
    std::FILE* out = std::fopen(path.c_str(), "wb");
    std::error_code error;
    const uint64_t image_size = std::filesystem::file_size(zip_path, error);
    ok = in && out && !error && image_size > 0 && image_size <= UINT32_MAX;
    const Bytes stub = RandomBytes(70000, 3);
    uint8_t header[16] = {'K', '.', 'T', '.', 'W', '.', '*', '+'};
    PutU32(header + 8, uint32_t(expected->size()));
    PutU32(header + 12, uint32_t(image_size));
    ok = ok && std::fwrite(stub.data(), 1, stub.size(), out) == stub.size() && std::fwrite(header, 1, 16, out) == 16;
    XC_AesCipher cipher;
    cipher.SetKeyText("Qz_R.N.T");
    size_t got = 0;
    while (ok && (got = std::fread(buffer.get(), 1, 16u << 20, in)) > 0) {
        cipher.EncryptBuffer(buffer.get(), uint32_t(got));  // every piece but the last is 16-aligned
        ok = std::fwrite(buffer.get(), 1, got, out) == got;
    }
    if (in) std::fclose(in);
    if (out) ok = std::fclose(out) == 0 && ok;
    std::remove(zip_path.c_str());
    return ok;
}

// One suite name per Wine prefix, so that each run can be picked on its own.
TEST(LARGE_PAYLOAD_SUITE, LoadsAndExtractsEveryEntry) {
    const char* setting = std::getenv("TARVIK_LARGE_PAYLOAD_MIB");
    const size_t mib = setting ? std::strtoul(setting, nullptr, 10) : 1024;
    ASSERT_GT(mib, 0u);
    TempFolder folder;
    const std::string installer = folder.File("large.exe"), out = folder.File("entry.out");
    std::vector<Expected> expected;
    ASSERT_TRUE(WriteLargeInstaller(installer, folder.File("image.zip"), mib, &expected));

    XC_ExeTailHelper archive;
    ASSERT_TRUE(archive.LoadFromExe(installer.c_str())) << "failure " << int(archive.LastFailure());
    std::remove(installer.c_str());
    size_t index = 0;
    archive.ForEachEntry([&](const std::string& key, const XC_MemSpace& data) {
        ASSERT_LT(index, expected.size());
        const Expected& entry = expected[index++];
        EXPECT_EQ(entry.key, key);
        EXPECT_EQ(entry.size, data.size) << key;
        EXPECT_EQ(entry.crc, uint32_t(crc32(0, data.data, data.size))) << key;
    });
    EXPECT_EQ(expected.size(), index);
    for (const Expected& entry : expected) {
        ASSERT_TRUE(archive.ExtractToFile(entry.key.c_str(), out.c_str())) << entry.key;
        XC_MemSpace file;
        ASSERT_TRUE(ReadWholeFile(out.c_str(), &file)) << entry.key;
        EXPECT_EQ(entry.size, file.size) << entry.key;
        EXPECT_EQ(entry.crc, uint32_t(crc32(0, file.data, file.size))) << entry.key;
    }
    XC_MemSpace copy;
    ASSERT_TRUE(archive.GetEntry(expected.back().key.c_str(), &copy));
    EXPECT_EQ(expected.back().crc, uint32_t(crc32(0, copy.data, copy.size)));
}

}  // namespace
