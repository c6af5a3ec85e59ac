// The payload archive on disk: stub, header found by its magic, sealed records in key order.
#include <gtest/gtest.h>

#include <zip.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <iterator>
#include <map>
#include <random>
#include <string>

#include "md5.h"
#include "test_files.h"
#include "wholefile.h"
#include "xc_aescipher.h"
#include "xc_exetailhelper.h"
#include "zipmemory.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/resource.h>

#include <csignal>
#endif

namespace {

// Built at run time, so that this test's own image holds no magic either: read backwards through
// a volatile pointer, which no compiler folds (a 64-bit one stores eight constant letters as one
// immediate, the magic itself, in the code).
Bytes Magic() {
    const char* volatile backwards = "+*.W.T.K";
    return Bytes(std::make_reverse_iterator(backwards + 8), std::make_reverse_iterator(backwards));
}

Bytes Concat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

uint32_t U32At(const Bytes& bytes, size_t offset) {
    uint32_t value;
    std::memcpy(&value, bytes.data() + offset, 4);
    return value;
}

void PutU32(Bytes* bytes, size_t offset, uint32_t value) { std::memcpy(bytes->data() + offset, &value, 4); }

size_t FindMagic(const Bytes& bytes) {
    const Bytes magic = Magic();
    return std::search(bytes.begin() + 1, bytes.end(), magic.begin(), magic.end()) - bytes.begin();
}

// A ZIP image of one member "N" holding `data` as they stand (stored, or taken as deflated
// data), with the sizes of the data.
Bytes ZipOfMember(int method, const Bytes& data, uint32_t claimed_size) {
    TempFolder folder;
    const std::string path = folder.File("member.zip");
    zipFile zip = zipOpen(path.c_str(), APPEND_STATUS_CREATE);
    zip_fileinfo info{};
    zipOpenNewFileInZip2(zip, "N", &info, nullptr, 0, nullptr, 0, nullptr, method, 0, 1);
    zipWriteInFileInZip(zip, data.data(), unsigned(data.size()));
    zipCloseFileInZipRaw(zip, claimed_size, 0);
    zipClose(zip, nullptr);
    return ReadBytes(path);
}

// Makes the local and the central header claim `size` uncompressed bytes.
void PatchClaimedSize(Bytes* image, uint32_t size) {
    const Bytes central = {'P', 'K', 1, 2};
    const size_t at = std::search(image->begin(), image->end(), central.begin(), central.end()) - image->begin();
    ASSERT_LT(at + 28, image->size());
    PutU32(image, 22, size);
    PutU32(image, at + 24, size);
}

// The record bytes of the payload at header in file, unsealed by hand: decrypted in place and
// inflated; empty when they do not inflate.
Bytes Unsealed(Bytes* file, size_t header, uint32_t length) {
    XC_AesCipher cipher;
    cipher.SetKeyText("Qz_R.N.T");
    cipher.DecryptBuffer(file->data() + header + 16, length);
    XC_MemSpace records;
    if (!UnzipFromMemory(file->data() + header + 16, length, &records)) return Bytes();
    return BytesOf(records);
}

class ExeTail : public testing::Test {
protected:
    // Saves an archive with `stub` in front and the given entries, the entry `first` (when one
    // is named) as the first record; returns the file's bytes.
    Bytes SaveWith(const Bytes& stub, const std::vector<std::pair<std::string, Bytes>>& entries,
                   const char* first = nullptr) {
        const std::string stub_path = folder_.File("stub.exe"), out_path = folder_.File("out.exe");
        WriteBytes(stub_path, stub);
        XC_ExeTailHelper archive;
        EXPECT_TRUE(archive.LoadFromExe(stub_path.c_str()));
        for (const auto& entry : entries) {
            XC_MemSpace block;
            Fill(&block, entry.second);
            EXPECT_TRUE(archive.AddMemory(entry.first.c_str(), &block));
        }
        if (first != nullptr) archive.PutFirst(first);
        EXPECT_TRUE(archive.SaveToExe(out_path.c_str()));
        return ReadBytes(out_path);
    }

    // Writes `bytes` to a file and loads it into `archive`.
    bool Load(const Bytes& bytes, XC_ExeTailHelper* archive) {
        const std::string path = folder_.File("load.exe");
        WriteBytes(path, bytes);
        return archive->LoadFromExe(path.c_str());
    }

    // Header and sealed body for hand-made record bytes, as a writer with a bug would make them.
    static Bytes RawPayload(uint32_t count, const Bytes& records) {
        XC_MemSpace in, sealed;
        Fill(&in, records);
        EXPECT_TRUE(ZipToMemory(&in, &sealed));
        XC_AesCipher cipher;
        cipher.SetKeyText("Qz_R.N.T");
        cipher.EncryptBuffer(sealed.data, sealed.size);
        Bytes header = Concat(Magic(), Bytes(8));
        PutU32(&header, 8, count);
        PutU32(&header, 12, sealed.size);
        return Concat(header, BytesOf(sealed));
    }

    // Header and sealed body around a ready ZIP image.
    static Bytes SealedImage(uint32_t count, Bytes image) {
        XC_AesCipher cipher;
        cipher.SetKeyText("Qz_R.N.T");
        cipher.EncryptBuffer(image.data(), uint32_t(image.size()));
        Bytes header = Concat(Magic(), Bytes(8));
        PutU32(&header, 8, count);
        PutU32(&header, 12, uint32_t(image.size()));
        return Concat(header, image);
    }

    static Bytes Record(const std::string& key, const Bytes& data) {
        Bytes record(12 + key.size() + data.size());
        PutU32(&record, 0, uint32_t(data.size()));
        PutU32(&record, 4, uint32_t(key.size()));
        std::memcpy(record.data() + 8, key.data(), key.size());
        std::copy(data.begin(), data.end(), record.begin() + 12 + key.size());
        return record;
    }

    const Bytes stub_ = Concat({'M', 'Z'}, RandomBytes(3000, 7));
    TempFolder folder_;
};

TEST_F(ExeTail, FileWithoutPayloadLoadsAsStubAlone) {
    for (const Bytes& file : {stub_, Bytes{'a', 'b', 'c'}, Concat(Magic(), Bytes(3))}) {  // under 12 bytes
        XC_ExeTailHelper archive;
        ASSERT_TRUE(Load(file, &archive));
        EXPECT_TRUE(archive.IsEmpty());
        EXPECT_EQ(file, BytesOf(archive.Stub()));
    }
}

TEST_F(ExeTail, SaveThenLoadRestoresStubKeysAndBytes) {
    const std::vector<std::pair<std::string, Bytes>> entries = {{"FILE0", RandomBytes(100000, 1)},
                                                                {"FilesInfo", Bytes{'<', '?', 0}},
                                                                {"empty", Bytes()},
                                                                {"MyLangage", Bytes(5000, 'x')}};
    const Bytes file = SaveWith(stub_, entries);
    ASSERT_EQ(stub_, Bytes(file.begin(), file.begin() + stub_.size()));

    XC_ExeTailHelper archive;
    ASSERT_TRUE(Load(file, &archive));
    EXPECT_EQ(stub_, BytesOf(archive.Stub()));
    for (const auto& entry : entries) {
        XC_MemSpace block(3, 0);
        ASSERT_TRUE(archive.GetEntry(entry.first.c_str(), &block)) << entry.first;
        EXPECT_EQ(entry.second, BytesOf(block)) << entry.first;
    }
    const std::string empty_file = folder_.File("empty.out");
    ASSERT_TRUE(archive.ExtractToFile("empty", empty_file.c_str()));
    EXPECT_TRUE(ReadBytes(empty_file).empty());

    // Saving a loaded installer again gives the same stub and a fresh payload, never two.
    const std::string again = folder_.File("again.exe");
    ASSERT_TRUE(archive.SaveToExe(again.c_str()));
    EXPECT_EQ(file, ReadBytes(again));
}

TEST_F(ExeTail, RecordsAreStoredInByteWiseKeyOrder) {
    const char* keys[] = {"xp_2303_ser2pl_cat",   "FILE2", "MyLangage", "ch341ser_ch341pt_dll", "FILE10", "FilesInfo",
                          "win7_2303_ser2pl_cat", "FILE0"};
    std::vector<std::pair<std::string, Bytes>> entries;
    for (const char* key : keys) entries.push_back({key, Bytes(std::strlen(key), uint8_t(key[0]))});
    Bytes file = SaveWith(stub_, entries);

    // Unseal by hand and walk the records as they lie on disk.
    const size_t header = FindMagic(file);
    ASSERT_EQ(stub_.size(), header);
    EXPECT_EQ(8u, U32At(file, header + 8));
    const uint32_t length = U32At(file, header + 12);
    ASSERT_EQ(file.size(), header + 16 + length);
    const Bytes body = Unsealed(&file, header, length);
    ASSERT_FALSE(body.empty());

    const std::vector<std::string> expected = {"FILE0",
                                               "FILE10",
                                               "FILE2",
                                               "FilesInfo",
                                               "MyLangage",
                                               "ch341ser_ch341pt_dll",
                                               "win7_2303_ser2pl_cat",
                                               "xp_2303_ser2pl_cat"};
    size_t offset = 0;
    for (const std::string& key : expected) {
        ASSERT_LE(offset + 12, body.size());
        const uint32_t data_length = U32At(body, offset), key_length = U32At(body, offset + 4);
        EXPECT_EQ(key, std::string(reinterpret_cast<const char*>(&body[offset + 8]), key_length));
        EXPECT_EQ(0u, U32At(body, offset + 8 + key_length)) << "terminator and gap of " << key;
        EXPECT_EQ(Bytes(key.size(), uint8_t(key[0])), Bytes(body.begin() + offset + 12 + key_length,
                                                            body.begin() + offset + 12 + key_length + data_length));
        offset += 12 + key_length + data_length;
    }
    EXPECT_EQ(body.size(), offset);
}

// The entry put first leads the records on disk; the others follow in key order.
TEST_F(ExeTail, EntryPutFirstLeadsTheRecords) {
    std::vector<std::pair<std::string, Bytes>> entries;
    for (const char* key : {"FILE0", "MyLangage", "FilesInfo", "xp_fix"})
        entries.push_back({key, Bytes(std::strlen(key), uint8_t(key[0]))});
    Bytes file = SaveWith(stub_, entries, "MyLangage");
    const size_t header = FindMagic(file);
    const uint32_t length = U32At(file, header + 12);
    const Bytes body = Unsealed(&file, header, length);
    ASSERT_FALSE(body.empty());
    std::vector<std::string> keys;
    for (size_t offset = 0; offset + 12 <= body.size();) {
        const uint32_t data_length = U32At(body, offset), key_length = U32At(body, offset + 4);
        keys.emplace_back(reinterpret_cast<const char*>(&body[offset + 8]), key_length);
        offset += 12 + key_length + data_length;
    }
    EXPECT_EQ((std::vector<std::string>{"MyLangage", "FILE0", "FilesInfo", "xp_fix"}), keys);
}

// The first record is told while the rest is still unpacking (the archive holds no entry yet),
// once, whatever its key; a load that fails behind it has told it all the same. A first record
// that is not whole is never told.
TEST_F(ExeTail, FirstRecordIsToldBeforeTheRest) {
    const Bytes language = RandomBytes(5000, 3);
    // Over the reader's 4 MiB steps, so that the rest is still to come when the first is told.
    const std::vector<std::pair<std::string, Bytes>> entries = {
        {"FILE0", RandomBytes(6u << 20, 4)}, {"FilesInfo", Bytes(300, 'i')}, {"MyLangage", language}};
    const Bytes key_order = SaveWith(stub_, entries);
    const Bytes language_first = SaveWith(stub_, entries, "MyLangage");
    Bytes damaged_behind = language_first;
    damaged_behind[damaged_behind.size() - 4000] ^= 0x20;  // deep in FILE0's data
    Bytes data_too_long = Record("MyLangage", Bytes(5, 1));
    PutU32(&data_too_long, 0, 6);

    const struct {
        const char* what;
        Bytes file;
        bool loads;
        const char* told_key;  // null: nothing told
        Bytes told_data;
    } cases[] = {
        {"language first", language_first, true, "MyLangage", language},
        {"key order", key_order, true, "FILE0", entries[0].second},
        {"damaged behind the first record", damaged_behind, false, "MyLangage", language},
        {"first record past the body", Concat(stub_, RawPayload(1, data_too_long)), false, nullptr, Bytes()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        XC_ExeTailHelper archive;
        int told = 0;
        std::string told_key;
        Bytes told_data;
        bool empty_when_told = false;
        archive.SetFirstRecord([&](const std::string& key, const uint8_t* data, uint32_t size) {
            ++told;
            told_key = key;
            told_data.assign(data, data + size);
            empty_when_told = archive.IsEmpty();
        });
        EXPECT_EQ(c.loads, Load(c.file, &archive));
        EXPECT_EQ(c.told_key ? 1 : 0, told);
        if (c.told_key) {
            EXPECT_EQ(c.told_key, told_key);
            EXPECT_TRUE(told_data == c.told_data);
            EXPECT_TRUE(empty_when_told);
        }
        EXPECT_EQ(c.loads, !archive.IsEmpty());
    }
}

TEST_F(ExeTail, MagicAtOffsetZeroIsIgnoredAndTheFirstOfTwoWins) {
    const Bytes one_byte_stub = SaveWith(Bytes{'Z'}, {{"a", Bytes{1}}});
    ASSERT_EQ(1u, FindMagic(one_byte_stub));
    XC_ExeTailHelper at_one;
    ASSERT_TRUE(Load(one_byte_stub, &at_one));
    EXPECT_FALSE(at_one.IsEmpty());

    const Bytes at_zero(one_byte_stub.begin() + 1, one_byte_stub.end());
    XC_ExeTailHelper archive_at_zero;
    ASSERT_TRUE(Load(at_zero, &archive_at_zero));
    EXPECT_TRUE(archive_at_zero.IsEmpty());
    EXPECT_EQ(at_zero, BytesOf(archive_at_zero.Stub()));

    const Bytes first = SaveWith(stub_, {{"first", Bytes{1}}});
    const Bytes second = SaveWith(stub_, {{"second", Bytes{2}}});
    XC_ExeTailHelper archive;
    ASSERT_TRUE(Load(Concat(first, Bytes(second.begin() + stub_.size(), second.end())), &archive));
    XC_MemSpace block;
    EXPECT_TRUE(archive.GetEntry("first", &block));
    EXPECT_FALSE(archive.GetEntry("second", &block));
}

TEST_F(ExeTail, DamagedPayloadsAreRefusedWithoutAnyEntry) {
    const Bytes good = SaveWith(stub_, {{"FILE0", RandomBytes(4000, 9)}, {"FilesInfo", Bytes(300, 'i')}});
    const size_t header = stub_.size();
    const Bytes two_records = Concat(Record("a", Bytes(5, 1)), Record("b", Bytes(6, 2)));
    Bytes wrong_count = good;
    PutU32(&wrong_count, header + 8, 3);
    Bytes long_body = good;
    PutU32(&long_body, header + 12, U32At(good, header + 12) + 1);
    Bytes flipped = good;
    flipped[header + 16 + 100] ^= 0x20;
    Bytes data_too_long = Record("a", Bytes(5, 1)), key_too_long = data_too_long, no_terminator = data_too_long;
    PutU32(&data_too_long, 0, 6);
    PutU32(&key_too_long, 4, 100);
    no_terminator[9] = 'x';
    Bytes empty_key = Record("a", Bytes(5, 1));
    PutU32(&empty_key, 4, 0);

    const struct {
        const char* what;
        Bytes file;
    } cases[] = {
        {"header cut short", Bytes(good.begin(), good.begin() + header + 12)},
        {"body cut short", Bytes(good.begin(), good.end() - 1)},
        {"body length past the end", long_body},
        {"entry count larger than the records", wrong_count},
        {"damaged body", flipped},
        {"count over hand-made records", Concat(stub_, RawPayload(3, two_records))},
        {"record data past the body", Concat(stub_, RawPayload(1, data_too_long))},
        {"record key past the body", Concat(stub_, RawPayload(1, key_too_long))},
        {"key without terminator", Concat(stub_, RawPayload(1, no_terminator))},
        {"empty key", Concat(stub_, RawPayload(1, empty_key))},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        XC_ExeTailHelper archive;
        EXPECT_FALSE(Load(c.file, &archive));
        EXPECT_TRUE(archive.IsEmpty());
    }
    XC_ExeTailHelper sound;
    EXPECT_TRUE(Load(Concat(stub_, RawPayload(2, two_records)), &sound));
}

// Loaded entries are not copied out of the unpacked body: each lies where its record put it, so
// a payload that inflates to gigabytes costs the body and nothing more.
TEST_F(ExeTail, LoadedEntriesStayInsideTheUnpackedBody) {
    const std::vector<std::pair<std::string, Bytes>> entries = {
        {"FILE0", RandomBytes(70000, 1)}, {"FILE1", Bytes(300000, 0)}, {"FilesInfo", Bytes(900, 'i')}};
    XC_ExeTailHelper archive;
    ASSERT_TRUE(Load(SaveWith(stub_, entries), &archive));
    const uint8_t* expected_at = nullptr;
    archive.ForEachEntry([&](const std::string& key, const XC_MemSpace& data) {
        if (expected_at) {
            EXPECT_EQ(expected_at + 12 + key.size(), data.data) << key;
        }
        expected_at = data.data + data.size;
    });
    XC_MemSpace copy;
    ASSERT_TRUE(archive.GetEntry("FILE1", &copy));
    EXPECT_EQ(Bytes(300000, 0), BytesOf(copy));
    EXPECT_EQ(XC_MemSpace::kHeap, copy.kind);
    copy.Allocate(0, 0);  // the caller's copy goes; the entry stays
    ASSERT_TRUE(archive.GetEntry("FILE1", &copy));
    EXPECT_EQ(300000u, copy.size);
}

// Hostile payloads are refused as damaged before any memory is committed for their claims.
TEST_F(ExeTail, ClaimedSizesAreCheckedBeforeMemoryIsCommitted) {
    const Bytes four_mb = RandomBytes(4u << 20, 5);
    Bytes stored = ZipOfMember(0, four_mb, four_mb.size());
    PatchClaimedSize(&stored, 0xFFFFFFFFu);
    XC_ExeTailHelper archive;
    EXPECT_FALSE(Load(Concat(stub_, SealedImage(1, stored)), &archive));
    EXPECT_EQ(XC_ExeTailHelper::Failure::kDamaged, archive.LastFailure());
    EXPECT_TRUE(archive.IsEmpty());
}

#if defined(_WIN32) && !defined(_WIN64)
// A plausible claim that the 32-bit address space cannot hold is a shortage, not damage.
TEST_F(ExeTail, PayloadLargerThanTheAddressSpaceIsShortOfMemory) {
    Bytes deflated = ZipOfMember(Z_DEFLATED, RandomBytes(4u << 20, 6), 4u << 20);
    PatchClaimedSize(&deflated, 0xF0000000u);
    XC_ExeTailHelper archive;
    EXPECT_FALSE(Load(Concat(stub_, SealedImage(1, deflated)), &archive));
    EXPECT_EQ(XC_ExeTailHelper::Failure::kNoMemory, archive.LastFailure());
    EXPECT_TRUE(archive.IsEmpty());
}
#endif

TEST_F(ExeTail, FilesOfFourGigabytesOrMoreAreRefused) {
    const std::string huge = folder_.File("huge.bin");
    WriteBytes(huge, Bytes{1});
    std::error_code error;
    std::filesystem::resize_file(huge, (uint64_t(1) << 32) + 5, error);  // sparse: no disk space used
    if (error) GTEST_SKIP() << "cannot make a sparse file of 4 GiB + 5: " << error.message();
    XC_ExeTailHelper archive;
    EXPECT_FALSE(archive.AddFile("huge", huge.c_str()));
    EXPECT_EQ(XC_ExeTailHelper::Failure::kTooLarge, archive.LastFailure());
    EXPECT_FALSE(archive.AddFileForSaving("huge", huge.c_str()));
    EXPECT_EQ(XC_ExeTailHelper::Failure::kTooLarge, archive.LastFailure());
    EXPECT_TRUE(archive.IsEmpty());
    EXPECT_FALSE(archive.LoadFromExe(huge.c_str()));
    EXPECT_EQ(XC_ExeTailHelper::Failure::kTooLarge, archive.LastFailure());
    XC_MemSpace block;
    EXPECT_FALSE(ReadWholeFile(huge.c_str(), &block));
    EXPECT_EQ(nullptr, block.data);
}

TEST_F(ExeTail, FailuresSayWhy) {
    XC_ExeTailHelper archive;
    EXPECT_FALSE(archive.LoadFromExe(folder_.File("missing.exe").c_str()));
    EXPECT_EQ(XC_ExeTailHelper::Failure::kCannotRead, archive.LastFailure());
    std::filesystem::create_directory(folder_.File("folder"));
    EXPECT_FALSE(archive.LoadFromExe(folder_.File("folder").c_str()));
    EXPECT_EQ(XC_ExeTailHelper::Failure::kCannotRead, archive.LastFailure());
    const Bytes good = SaveWith(stub_, {{"a", Bytes{1}}});
    EXPECT_FALSE(Load(Bytes(good.begin(), good.end() - 1), &archive));
    EXPECT_EQ(XC_ExeTailHelper::Failure::kDamaged, archive.LastFailure());
    XC_MemSpace block;
    Fill(&block, Bytes{1});
    ASSERT_TRUE(archive.AddMemory("a", &block));
    EXPECT_FALSE(archive.AddMemory("a", &block));
    EXPECT_EQ(XC_ExeTailHelper::Failure::kBadKey, archive.LastFailure());
    EXPECT_FALSE(archive.SaveToExe(folder_.File("no-folder/out.exe").c_str()));
    EXPECT_EQ(XC_ExeTailHelper::Failure::kCannotWrite, archive.LastFailure());
    ASSERT_TRUE(archive.SaveToExe(folder_.File("out.exe").c_str()));
    EXPECT_EQ(XC_ExeTailHelper::Failure::kNone, archive.LastFailure());
}

#ifndef _WIN32
// Pages are written while later ones still pack: a disk that fills part-way (here a file size
// limit a few pages in) fails the save as a write failure, keeps the older file as it was and
// leaves no part file behind.
TEST_F(ExeTail, DiskFullPartWayKeepsTheOlderFile) {
    XC_ExeTailHelper archive;
    XC_MemSpace block;
    Fill(&block, RandomBytes(6 * ZipImage::kPageSize, 4));
    ASSERT_TRUE(archive.AddMemory("a", &block));
    const std::string out = folder_.File("out.exe");
    WriteBytes(out, Bytes{'o', 'l', 'd'});
    rlimit limit{}, kept{};
    ASSERT_EQ(0, getrlimit(RLIMIT_FSIZE, &kept));
    limit = kept;
    limit.rlim_cur = 3 * ZipImage::kPageSize;
    const auto signal_was = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(0, setrlimit(RLIMIT_FSIZE, &limit));
    const bool saved = archive.SaveToExe(out.c_str(), 2);
    setrlimit(RLIMIT_FSIZE, &kept);
    std::signal(SIGXFSZ, signal_was);
    EXPECT_FALSE(saved);
    EXPECT_EQ(XC_ExeTailHelper::Failure::kCannotWrite, archive.LastFailure());
    EXPECT_EQ((Bytes{'o', 'l', 'd'}), ReadBytes(out));
    const auto folder = std::filesystem::path(out).parent_path();
    EXPECT_EQ(1, std::distance(std::filesystem::directory_iterator(folder), std::filesystem::directory_iterator()));
}
#endif

// Entries loaded, added from memory and files, refused as repeated, and replaced by a second
// load, in random mixes: every view of the archive agrees with a plain map, and the saved file
// is the one the single-block writer makes from the same records.
TEST_F(ExeTail, MixedOperationsAgreeWithAPlainMap) {
    for (unsigned seed = 1; seed <= 6; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        std::mt19937 random(seed);
        auto some_bytes = [&] {
            const size_t size = random() % 4 == 0 ? 0 : random() % 20000;
            return random() % 2 ? RandomBytes(size, random()) : Bytes(size, uint8_t(random()));
        };
        auto some_key = [&] { return "K" + std::to_string(random() % 12); };
        std::map<std::string, Bytes> model;
        Bytes model_stub;
        XC_ExeTailHelper archive;
        for (int step = 0; step < 14; ++step) {
            const std::string key = some_key();
            switch (random() % 4) {
                case 0: {  // load another installer over what is there: its keys replace
                    std::vector<std::pair<std::string, Bytes>> loaded;
                    std::map<std::string, Bytes> unique;
                    for (int i = random() % 4 + 1; i > 0; --i) unique[some_key()] = some_bytes();
                    for (const auto& entry : unique) loaded.push_back(entry);
                    const Bytes stub = Concat({'M', 'Z'}, RandomBytes(100 + random() % 900, random()));
                    ASSERT_TRUE(Load(SaveWith(stub, loaded), &archive));
                    for (const auto& entry : loaded) model[entry.first] = entry.second;
                    model_stub = stub;
                    break;
                }
                case 1: {
                    const Bytes data = some_bytes();
                    XC_MemSpace block;
                    Fill(&block, data);
                    EXPECT_EQ(model.count(key) == 0, archive.AddMemory(key.c_str(), &block));
                    model.emplace(key, data);
                    break;
                }
                case 2: {
                    const Bytes data = some_bytes();
                    const std::string source = folder_.File("source.bin");
                    WriteBytes(source, data);
                    EXPECT_EQ(model.count(key) == 0, archive.AddFile(key.c_str(), source.c_str()));
                    model.emplace(key, data);
                    break;
                }
                default: {
                    const std::string out = folder_.File("extracted.bin");
                    std::filesystem::remove(out);
                    EXPECT_EQ(model.count(key) == 1, archive.ExtractToFile(key.c_str(), out.c_str()));
                    if (model.count(key)) {
                        EXPECT_EQ(model[key], ReadBytes(out)) << key;
                    }
                    break;
                }
            }
        }
        auto model_it = model.begin();
        archive.ForEachEntry([&](const std::string& key, const XC_MemSpace& data) {
            ASSERT_NE(model.end(), model_it);
            EXPECT_EQ(model_it->first, key);
            EXPECT_EQ(model_it->second, BytesOf(data)) << key;
            ++model_it;
        });
        EXPECT_EQ(model.end(), model_it);
        for (const auto& entry : model) {
            XC_MemSpace block;
            ASSERT_TRUE(archive.GetEntry(entry.first.c_str(), &block));
            EXPECT_EQ(entry.second, BytesOf(block)) << entry.first;
        }
        if (model.empty()) continue;

        const std::string saved = folder_.File("mixed.exe");
        ASSERT_TRUE(archive.SaveToExe(saved.c_str()));
        Bytes records;
        for (const auto& entry : model) records = Concat(records, Record(entry.first, entry.second));
        EXPECT_TRUE(Concat(model_stub, RawPayload(uint32_t(model.size()), records)) == ReadBytes(saved));
        XC_ExeTailHelper reloaded;
        ASSERT_TRUE(reloaded.LoadFromExe(saved.c_str()));
        for (const auto& entry : model) {
            XC_MemSpace block;
            ASSERT_TRUE(reloaded.GetEntry(entry.first.c_str(), &block));
            EXPECT_EQ(entry.second, BytesOf(block)) << entry.first;
        }
    }
}

TEST_F(ExeTail, AddAndGetKeepExistingEntries) {
    XC_ExeTailHelper archive;
    XC_MemSpace first, second, out(4, 0);
    Fill(&first, Bytes{1, 2, 3});
    Fill(&second, Bytes{9});
    EXPECT_TRUE(archive.AddMemory("key", &first));
    EXPECT_FALSE(archive.AddMemory("key", &second));
    EXPECT_FALSE(archive.AddMemory("", &second));
    EXPECT_FALSE(archive.AddMemory(nullptr, &second));
    EXPECT_FALSE(archive.AddMemory("other", nullptr));
    EXPECT_FALSE(archive.AddFile("missing", folder_.File("no-such-file").c_str()));
    EXPECT_FALSE(archive.GetEntry("absent", &out));
    EXPECT_EQ(4u, out.size);
    EXPECT_FALSE(archive.ExtractToFile("absent", folder_.File("absent.out").c_str()));
    EXPECT_FALSE(std::filesystem::exists(folder_.File("absent.out")));
    ASSERT_TRUE(archive.GetEntry("key", &out));
    EXPECT_EQ((Bytes{1, 2, 3}), BytesOf(out));
    int count = 0;
    archive.ForEachEntry([&](const std::string&, const XC_MemSpace&) { ++count; });
    EXPECT_EQ(1, count);
}

TEST_F(ExeTail, ArchiveWithoutEntriesSavesTheStubAlone) {
    const std::string stub_path = folder_.File("plain.exe"), copy = folder_.File("copy.exe");
    WriteBytes(stub_path, stub_);
    XC_ExeTailHelper archive;
    ASSERT_TRUE(archive.LoadFromExe(stub_path.c_str()));
    ASSERT_TRUE(archive.SaveToExe(copy.c_str()));
    EXPECT_EQ(stub_, ReadBytes(copy));
}

// Files added for saving are read a piece at a time when their turn comes: the installer is the
// one their bytes held in memory make, for sizes around the piece read at a time, on one thread
// and on three, with a first record. The archive holds their sizes only, yet every lookup but
// the in-place one gives their bytes.
TEST_F(ExeTail, FilesAddedForSavingGiveTheSameInstaller) {
    constexpr uint32_t kPiece = ZipImageWriter::kPieceSize;
    std::vector<std::pair<std::string, Bytes>> entries = {
        {"FILE0", Bytes()},
        {"FILE1", Bytes{9}},
        {"FILE2", RandomBytes(kPiece - 1, 31)},
        {"FILE3", Bytes(kPiece, 'x')},
        {"FILE4", RandomBytes(kPiece + 1, 32)},
        {"FILE5", Bytes(2 * kPiece + 7, 0)},
        {"MyLangage", RandomBytes(5000, 33)},
    };
    const std::string stub_path = folder_.File("stub.exe");
    WriteBytes(stub_path, stub_);
    for (size_t i = 0; i < entries.size(); ++i) WriteBytes(folder_.File(entries[i].first), entries[i].second);
    for (uint32_t threads : {1u, 3u}) {
        SCOPED_TRACE(threads);
        XC_ExeTailHelper held, streamed;
        ASSERT_TRUE(held.LoadFromExe(stub_path.c_str()));
        ASSERT_TRUE(streamed.LoadFromExe(stub_path.c_str()));
        held.PutFirst("MyLangage");
        streamed.PutFirst("MyLangage");
        for (const auto& entry : entries) {
            const std::string source = folder_.File(entry.first);
            ASSERT_TRUE(held.AddFile(entry.first.c_str(), source.c_str()));
            ASSERT_TRUE(streamed.AddFileForSaving(entry.first.c_str(), source.c_str()));
        }
        const std::string held_out = folder_.File("held.exe"), streamed_out = folder_.File("streamed.exe");
        ASSERT_TRUE(held.SaveToExe(held_out.c_str(), threads));
        ASSERT_TRUE(streamed.SaveToExe(streamed_out.c_str(), threads));
        EXPECT_TRUE(ReadBytes(held_out) == ReadBytes(streamed_out));
    }

    XC_ExeTailHelper streamed;
    const std::string source = folder_.File("FILE4");
    ASSERT_TRUE(streamed.AddFileForSaving("FILE4", source.c_str()));
    EXPECT_TRUE(streamed.HasEntry("FILE4"));
    EXPECT_EQ(nullptr, streamed.FindEntry("FILE4"));
    XC_MemSpace block;
    ASSERT_TRUE(streamed.GetEntry("FILE4", &block));
    EXPECT_TRUE(BytesOf(block) == entries[4].second);
    const std::string extracted = folder_.File("extracted.bin");
    ASSERT_TRUE(streamed.ExtractToFile("FILE4", extracted.c_str()));
    EXPECT_TRUE(ReadBytes(extracted) == entries[4].second);
}

// A file added for saving is checked when added as AddFile checks it, and read again when its
// turn comes: one that is gone or has another size by then fails the save as unreadable, named,
// and the older file at the output stays as it was, with nothing else left beside it.
TEST_F(ExeTail, FilesForSavingAreReadAsTheyWereAdded) {
    XC_ExeTailHelper refused;
    std::filesystem::create_directory(folder_.File("folder"));
    const std::string present = folder_.File("present.bin");
    WriteBytes(present, Bytes{1, 2});
    const struct {
        const char* key;
        std::string path;
        XC_ExeTailHelper::Failure failure;
    } refusals[] = {
        {"a", folder_.File("missing.bin"), XC_ExeTailHelper::Failure::kCannotRead},
        {"a", folder_.File("folder"), XC_ExeTailHelper::Failure::kCannotRead},
        {"a", "", XC_ExeTailHelper::Failure::kCannotRead},
        {"", present, XC_ExeTailHelper::Failure::kBadKey},
        {"b", present, XC_ExeTailHelper::Failure::kBadKey},  // added once below already
    };
    ASSERT_TRUE(refused.AddFileForSaving("b", present.c_str()));
    for (const auto& refusal : refusals) {
        SCOPED_TRACE(refusal.path);
        EXPECT_FALSE(refused.AddFileForSaving(refusal.key, refusal.path.c_str()));
        EXPECT_EQ(refusal.failure, refused.LastFailure());
    }

    const Bytes data = RandomBytes(3 * ZipImageWriter::kPieceSize / 2, 34);
    const struct {
        const char* change;
        std::function<void(const std::string&)> make;
    } changes[] = {
        {"removed", [](const std::string& path) { std::filesystem::remove(path); }},
        {"grown", [&](const std::string& path) { WriteBytes(path, Concat(data, Bytes{1})); }},
        {"shrunk", [&](const std::string& path) { WriteBytes(path, Bytes(data.begin(), data.end() - 1)); }},
        {"a folder now",
         [](const std::string& path) {
             std::filesystem::remove(path);
             std::filesystem::create_directory(path);
         }},
    };
    const std::string out = folder_.File("changes/out.exe");
    std::filesystem::create_directory(folder_.File("changes"));
    for (const auto& change : changes) {
        SCOPED_TRACE(change.change);
        const std::string source = folder_.File("changes/source.bin");
        std::filesystem::remove_all(source);
        WriteBytes(source, data);
        WriteBytes(out, Bytes{'o', 'l', 'd'});
        XC_ExeTailHelper archive;
        ASSERT_TRUE(archive.AddFileForSaving("FILE0", source.c_str()));
        change.make(source);
        EXPECT_FALSE(archive.SaveToExe(out.c_str(), 2));
        EXPECT_EQ(XC_ExeTailHelper::Failure::kCannotRead, archive.LastFailure());
        EXPECT_EQ(source, archive.FailedSource());
        XC_MemSpace block;
        EXPECT_FALSE(archive.GetEntry("FILE0", &block));
        EXPECT_EQ((Bytes{'o', 'l', 'd'}), ReadBytes(out));
        std::filesystem::remove_all(source);
        EXPECT_EQ(1, std::distance(std::filesystem::directory_iterator(folder_.File("changes")),
                                   std::filesystem::directory_iterator()));
    }
}

TEST_F(ExeTail, UnreadableFileIsRefused) {
    XC_ExeTailHelper archive;
    EXPECT_FALSE(archive.LoadFromExe(folder_.File("missing.exe").c_str()));
    EXPECT_FALSE(archive.LoadFromExe(""));
    EXPECT_FALSE(archive.LoadFromExe(nullptr));
    EXPECT_TRUE(archive.IsEmpty());
}

// The reader searches the whole file for the magic, so a program built from this code must not
// contain it: this test program links the whole archive code.
TEST_F(ExeTail, OwnImageHoldsNoMagic) {
#ifdef _WIN32
    char own[MAX_PATH] = {};
    ASSERT_NE(0u, GetModuleFileNameA(nullptr, own, MAX_PATH));
#else
    const std::string own = std::filesystem::read_symlink("/proc/self/exe").string();
#endif
    XC_ExeTailHelper archive;
    ASSERT_TRUE(archive.LoadFromExe(std::string(own).c_str()));
    EXPECT_TRUE(archive.IsEmpty());
}

// Large incompressible entries: deflate makes them grow, and the whole file passes through memory.
TEST_F(ExeTail, SixtyFourMegabytesOfIncompressibleBytesSaveAndLoad) {
    const Bytes big = RandomBytes(64u * 1024 * 1024 + 5, 11);
    const std::string stub_path = folder_.File("stub.exe"), out_path = folder_.File("big.exe");
    WriteBytes(stub_path, stub_);
    {
        XC_ExeTailHelper archive;
        ASSERT_TRUE(archive.LoadFromExe(stub_path.c_str()));
        XC_MemSpace block;
        Fill(&block, big);
        ASSERT_TRUE(archive.AddMemory("FILE0", &block));
        ASSERT_TRUE(archive.SaveToExe(out_path.c_str()));
    }
    XC_ExeTailHelper loaded;
    ASSERT_TRUE(loaded.LoadFromExe(out_path.c_str()));
    XC_MemSpace block;
    ASSERT_TRUE(loaded.GetEntry("FILE0", &block));
    EXPECT_TRUE(BytesOf(block) == big);
}

TEST(WholeFile, ReadWriteAndTextRules) {
    TempFolder folder;
    const std::string path = folder.File("text.txt");
    XC_MemSpace block;
    EXPECT_FALSE(ReadWholeFile(path.c_str(), &block));
    EXPECT_FALSE(ReadWholeFile("", &block));
    EXPECT_FALSE(ReadWholeFile(path.c_str(), nullptr));
    EXPECT_FALSE(WriteBytesToFile("", "x", 1, 0));
    EXPECT_FALSE(WriteBytesToFile(folder.File("no-folder/x.txt").c_str(), "x", 1, 0));
    EXPECT_FALSE(WriteWholeFile(path.c_str(), nullptr, 0));

    ASSERT_TRUE(WriteBytesToFile(path.c_str(), "ab\0cd", 5, 0));
    EXPECT_EQ("ab", ReadTextFile(path.c_str()));
    ASSERT_TRUE(ReadWholeFile(path.c_str(), &block));
    EXPECT_EQ((Bytes{'a', 'b', 0, 'c', 'd'}), BytesOf(block));

    ASSERT_TRUE(WriteBytesToFile(path.c_str(), nullptr, 0, 0));
    EXPECT_TRUE(ReadBytes(path).empty());
    ASSERT_TRUE(ReadWholeFile(path.c_str(), &block));
    EXPECT_EQ(0u, block.size);
    EXPECT_EQ("", ReadTextFile(path.c_str()));
    EXPECT_EQ("", ReadTextFile(folder.File("missing").c_str()));
}

TEST(MemSpace, AllocateDiscardsAndZeroFills) {
    for (uint8_t kind : {0, 1}) {
        XC_MemSpace block(10, kind);
        ASSERT_NE(nullptr, block.data);
        EXPECT_EQ(kind, block.kind);
        block.data[3] = 7;
        ASSERT_NE(nullptr, block.Allocate(20, kind));
        EXPECT_EQ(Bytes(20, 0), BytesOf(block));
        EXPECT_EQ(nullptr, block.Allocate(0, 0));
        EXPECT_EQ(nullptr, block.data);
        EXPECT_EQ(0u, block.size);
    }
}

}  // namespace

namespace {

// A fixed archive of every kind of content; the digest of its saved file was taken from the
// first release's writer, so that installers stay byte-identical whatever the writer becomes.
std::vector<std::pair<std::string, Bytes>> FixedEntries() {
    std::mt19937 random(2024);
    std::vector<std::pair<std::string, Bytes>> entries;
    for (int i = 0; i < 12; ++i) {
        Bytes data(random() % 70000);
        for (size_t j = 0; j < data.size(); ++j) {
            switch (i % 3) {
                case 0:
                    data[j] = uint8_t(random());
                    break;
                case 1:
                    data[j] = "<path d=\"M 10 20 L 30 40\"/>\r\n"[j % 29];
                    break;
                default:
                    data[j] = j % 97 == 0 ? uint8_t(random()) : 0;
                    break;
            }
        }
        entries.push_back({"FILE" + std::to_string(i), data});
    }
    entries.push_back({"FilesInfo", Bytes(4000, 'f')});
    entries.push_back({"empty", Bytes()});
    return entries;
}

// How the fixed entries reach the archive: from memory, or as files read when saved.
enum class EntrySource : uint8_t { kMemory, kFileForSaving };

TEST(SavedFile, FixedInputGivesThePinnedDigest) {
    for (EntrySource source : {EntrySource::kMemory, EntrySource::kFileForSaving}) {
        SCOPED_TRACE(int(source));
        TempFolder folder;
        const std::string stub_path = folder.File("stub.exe"), out_path = folder.File("out.exe");
        WriteBytes(stub_path, RandomBytes(5000, 5));
        XC_ExeTailHelper archive;
        ASSERT_TRUE(archive.LoadFromExe(stub_path.c_str()));
        for (const auto& entry : FixedEntries()) {
            XC_MemSpace block;
            Fill(&block, entry.second);
            const std::string path = folder.File(entry.first);
            WriteBytes(path, entry.second);
            ASSERT_TRUE(source == EntrySource::kMemory ? archive.AddMemory(entry.first.c_str(), &block)
                                                       : archive.AddFileForSaving(entry.first.c_str(), path.c_str()));
        }
        ASSERT_TRUE(archive.SaveToExe(out_path.c_str()));
        const Bytes file = ReadBytes(out_path);
        EXPECT_EQ(129070u, file.size());
        EXPECT_EQ("C6963EE98BDEAFB05888D43DF22460DB", MD5::HexDigest(file.data(), file.size()));
    }
}

}  // namespace
