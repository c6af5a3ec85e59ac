// Installers sealed with Zstandard as the tools seal them: the archive loads them back
// through the installer's own reader, their bytes do not depend on the number of threads, and
// their one frame asks for no more window than the body needs.
#include <gtest/gtest.h>

#define ZSTD_STATIC_LINKING_ONLY
#include <zstd.h>

#include <cstring>

#include "test_files.h"
#include "xc_exetailhelper.h"
#include "zstdimage.h"
#include "zstdmember.h"

namespace {

class ZstdSealing : public ::testing::Test {
protected:
    // An archive on a small stub with the given entries.
    void Fill(XC_ExeTailHelper* archive, const std::vector<std::pair<std::string, Bytes>>& entries) {
        const std::string stub = folder_.File("stub.exe");
        WriteBytes(stub, RandomBytes(3000, 21));
        ASSERT_TRUE(archive->LoadFromExe(stub.c_str()));
        for (const auto& entry : entries) {
            XC_MemSpace block;
            ::Fill(&block, entry.second);
            ASSERT_TRUE(archive->AddMemory(entry.first.c_str(), &block));
        }
    }
    std::string Seal(const std::vector<std::pair<std::string, Bytes>>& entries, int level, uint32_t threads,
                     const std::string& name) {
        XC_ExeTailHelper archive;
        Fill(&archive, entries);
        const std::string path = folder_.File(name);
        EXPECT_TRUE(archive.SaveToExe(path.c_str(), ZstdImagePacker(level, threads)));
        return path;
    }
    TempFolder folder_;
};

Bytes Text(size_t count) {
    Bytes bytes(count);
    for (size_t i = 0; i < count; ++i) bytes[i] = uint8_t("Mini Tarvik engraves wood\r\n"[i % 27] + i / 100000);
    return bytes;
}

TEST_F(ZstdSealing, LoadsBackThroughTheInstallersReader) {
    const std::vector<std::pair<std::string, Bytes>> entries = {
        {"FILE0", Text(3000000)}, {"FILE1", RandomBytes(700000, 22)}, {"FILE2", Bytes()}, {"MyLangage", Bytes{1}}};
    for (int level : {1, kZstdDefaultLevel, kZstdMaxLevel}) {
        SCOPED_TRACE(level);
        XC_ExeTailHelper loaded;
        ASSERT_TRUE(loaded.LoadFromExe(Seal(entries, level, 2, "sealed.exe").c_str()));
        EXPECT_EQ(kZstdMethod, loaded.MemberMethod());
        for (const auto& entry : entries) {
            const XC_MemSpace* found = loaded.FindEntry(entry.first.c_str());
            ASSERT_NE(nullptr, found);
            EXPECT_TRUE(BytesOf(*found) == entry.second) << entry.first;
        }
    }
}

// The entry put first is told while the rest is still decoding.
TEST_F(ZstdSealing, FirstRecordIsToldBeforeTheRest) {
    const std::vector<std::pair<std::string, Bytes>> entries = {{"FILE0", RandomBytes(6u << 20, 23)},
                                                                {"MyLangage", Text(4000)}};
    XC_ExeTailHelper archive;
    Fill(&archive, entries);
    archive.PutFirst("MyLangage");
    const std::string path = folder_.File("first.exe");
    ASSERT_TRUE(archive.SaveToExe(path.c_str(), ZstdImagePacker(3, 1)));

    XC_ExeTailHelper loaded;
    int told = 0;
    loaded.SetFirstRecord([&](const std::string& key, const uint8_t* data, uint32_t size) {
        ++told;
        EXPECT_EQ("MyLangage", key);
        EXPECT_TRUE(Bytes(data, data + size) == entries[1].second);
        EXPECT_TRUE(loaded.IsEmpty());
    });
    ASSERT_TRUE(loaded.LoadFromExe(path.c_str()));
    EXPECT_EQ(1, told);
    EXPECT_TRUE(loaded.HasEntry("FILE0"));
}

// Files added for saving reach the compressor a piece at a time instead of whole: the same
// bytes as from memory, at the default level and the highest.
TEST_F(ZstdSealing, FilesReadWhenSavedGiveTheSameBytes) {
    const std::vector<std::pair<std::string, Bytes>> entries = {
        {"FILE0", Text(5000000)}, {"FILE1", Bytes()}, {"FILE2", RandomBytes(1500000, 24)}, {"MyLangage", Text(3000)}};
    for (const auto& entry : entries) WriteBytes(folder_.File(entry.first), entry.second);
    for (int level : {kZstdDefaultLevel, kZstdMaxLevel}) {
        SCOPED_TRACE(level);
        XC_ExeTailHelper archive;
        const std::string stub = folder_.File("stub.exe");
        WriteBytes(stub, RandomBytes(3000, 21));
        ASSERT_TRUE(archive.LoadFromExe(stub.c_str()));
        archive.PutFirst("MyLangage");
        for (const auto& entry : entries)
            ASSERT_TRUE(archive.AddFileForSaving(entry.first.c_str(), folder_.File(entry.first).c_str()));
        const std::string streamed = folder_.File("streamed.exe");
        ASSERT_TRUE(archive.SaveToExe(streamed.c_str(), ZstdImagePacker(level, 2)));

        XC_ExeTailHelper held;
        Fill(&held, entries);
        held.PutFirst("MyLangage");
        const std::string whole = folder_.File("whole.exe");
        ASSERT_TRUE(held.SaveToExe(whole.c_str(), ZstdImagePacker(level, 2)));
        EXPECT_TRUE(ReadBytes(streamed) == ReadBytes(whole));
    }
}

TEST_F(ZstdSealing, SameBytesForAnyNumberOfThreads) {
    const std::vector<std::pair<std::string, Bytes>> entries = {{"FILE0", Text(9000000)},
                                                                {"FILE1", RandomBytes(2000000, 23)}};
    const Bytes one = ReadBytes(Seal(entries, kZstdDefaultLevel, 1, "one.exe"));
    EXPECT_TRUE(one == ReadBytes(Seal(entries, kZstdDefaultLevel, 3, "three.exe")));
    EXPECT_TRUE(one == ReadBytes(Seal(entries, kZstdDefaultLevel, 8, "eight.exe")));
    EXPECT_TRUE(one == ReadBytes(Seal(entries, kZstdDefaultLevel, 0, "every.exe")));
}

// The reader refuses a window wider than the body needs, so the writer must never ask for one:
// bodies just below and above powers of two, at the default level and the highest.
TEST_F(ZstdSealing, WindowFitsTheBody) {
    for (size_t size : {size_t(1), size_t(1000), size_t(65536 - 40), size_t(65536 + 1), size_t(5u << 20)}) {
        for (int level : {kZstdDefaultLevel, kZstdMaxLevel}) {
            SCOPED_TRACE(::testing::Message() << size << " bytes at level " << level);
            XC_ExeTailHelper loaded;
            const std::string path = Seal({{"FILE0", Text(size)}}, level, 1, "window.exe");
            EXPECT_TRUE(loaded.LoadFromExe(path.c_str()));
        }
    }
}

TEST_F(ZstdSealing, ProgressCountsTheBody) {
    XC_ExeTailHelper archive;
    Fill(&archive, {{"FILE0", Text(4000000)}});
    uint64_t last = 0, total = 0;
    archive.SetProgress([&](uint64_t done, uint64_t of) {
        last = done;
        total = of;
    });
    ASSERT_TRUE(archive.SaveToExe(folder_.File("p.exe").c_str(), ZstdImagePacker(3, 1)));
    EXPECT_EQ(total, last);
    EXPECT_EQ(4000000u + 12 + 5, total);
}

}  // namespace
