// Fuzzes the payload reader with damaged installers, and the parallel save with contents cut
// into small pieces. The first input byte picks the layer: even, the bytes are the whole file
// (header search, unsealing); 1 modulo 4, the rest are the record block behind a correct seal
// (record walk) with an entry count from the input; 3 modulo 4, the rest are entries saved in
// pieces of 1 byte to 4 KiB on several threads (up to 16 KiB of entries, at most 16 pieces'
// worth), which must give the bytes one thread gives and load back unchanged; 2 modulo 4, the
// next eight bytes are the size and CRC-32 a ZIP directory claims and the rest the data of a
// Zstandard member (method 93), whose unpack must be complete and sound or leave nothing.
#include <unistd.h>
#include <zlib.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "one_member_zip.h"
#include "wholefile.h"
#include "xc_aescipher.h"
#include "xc_exetailhelper.h"
#include "zipmemory.h"
#include "zstdmember.h"

namespace {

// One scratch file per process, removed when the fuzzer exits.
struct ScratchFile {
    std::string path = "/tmp/payload_fuzz_" + std::to_string(getpid()) + ".exe";
    ~ScratchFile() { unlink(path.c_str()); }
};

const std::string& ScratchPath() {
    static const ScratchFile file;
    return file.path;
}

// "MZ" stub, then header and sealed body over `records`, as SaveToExe would write them.
bool WriteSealed(const uint8_t* records, uint32_t size, uint32_t count) {
    XC_MemSpace input(size, 0), sealed;
    std::memcpy(input.data, records, size);
    if (!ZipToMemory(&input, &sealed)) return false;
    XC_AesCipher cipher;
    cipher.SetKeyText("Qz_R.N.T");
    cipher.EncryptBuffer(sealed.data, sealed.size);
    XC_MemSpace file(2 + 16 + sealed.size, 0);
    const uint8_t header[8] = {'K', '.', 'T', '.', 'W', '.', '*', '+'};
    file.data[0] = 'M';
    file.data[1] = 'Z';
    std::memcpy(file.data + 2, header, 8);
    std::memcpy(file.data + 10, &count, 4);
    std::memcpy(file.data + 14, &sealed.size, 4);
    std::memcpy(file.data + 18, sealed.data, sealed.size);
    return WriteWholeFile(ScratchPath().c_str(), &file, 0);
}

std::string ReadAll(const std::string& path) {
    XC_MemSpace block;
    if (!ReadWholeFile(path.c_str(), &block) || !block.data) return std::string();
    return std::string(reinterpret_cast<const char*>(block.data), block.size);
}

// Entries cut from the input at its zero bytes, saved with the piece size and thread count the
// input's first bytes choose, once more on one thread, and loaded back.
void RoundTrip(const uint8_t* data, uint32_t size) {
    if (size < 3 || size > (16u << 10)) return;
    const uint32_t piece = 1 + ((data[0] | (data[1] << 8)) & 0xFFF);
    const uint32_t threads = 2 + data[2] % 7;
    data += 3;
    size -= 3;
    // A few dozen pieces hit every kind of piece edge; thousands of one-byte pieces (a deflate
    // stream set up for each) would only slow the round to a crawl.
    if (size > piece * 16) size = piece * 16;
    const std::string stub = ScratchPath() + ".stub", single = ScratchPath() + ".one";
    XC_ExeTailHelper archive;
    if (!WriteBytesToFile(stub.c_str(), "MZ", 2, 0) || !archive.LoadFromExe(stub.c_str())) __builtin_trap();
    unlink(stub.c_str());
    std::vector<std::string> contents(1);
    for (uint32_t i = 0; i < size; ++i) {
        if (data[i] == 0)
            contents.emplace_back();
        else
            contents.back().push_back(char(data[i]));
    }
    for (size_t i = 0; i < contents.size(); ++i) {
        XC_MemSpace block(uint32_t(contents[i].size()), 0);
        if (block.data) std::memcpy(block.data, contents[i].data(), contents[i].size());
        if (!archive.AddMemory(("FILE" + std::to_string(i)).c_str(), &block)) __builtin_trap();
    }
    if (!archive.SaveToExe(ScratchPath().c_str(), threads, piece) || !archive.SaveToExe(single.c_str(), 1, piece))
        __builtin_trap();
    const bool same = ReadAll(ScratchPath()) == ReadAll(single);
    unlink(single.c_str());
    if (!same) __builtin_trap();  // the bytes depend on the thread count
    XC_ExeTailHelper loaded;
    if (!loaded.LoadFromExe(ScratchPath().c_str())) __builtin_trap();
    for (size_t i = 0; i < contents.size(); ++i) {
        const XC_MemSpace* entry = loaded.FindEntry(("FILE" + std::to_string(i)).c_str());
        if (!entry || entry->size != contents[i].size() ||
            (entry->size && std::memcmp(entry->data, contents[i].data(), entry->size) != 0))
            __builtin_trap();
    }
}

void UnpackZstd(const uint8_t* data, uint32_t size) {
    if (size < 8) return;
    uint32_t claimed, crc;
    std::memcpy(&claimed, data, 4);
    std::memcpy(&crc, data + 4, 4);
    const std::vector<uint8_t> image = OneMemberZip(data + 8, size - 8, claimed, crc, kZstdMethod);
    const ImageReader read = [&](uint32_t offset, uint8_t* out, uint32_t count) {
        if (uint64_t(offset) + count > image.size()) __builtin_trap();
        std::memcpy(out, image.data() + offset, count);
    };
    XC_MemSpace out;
    uint16_t method = 0;
    const UnzipResult result = UnzipImage(read, uint32_t(image.size()), &out, nullptr, &method);
    if (result == UnzipResult::kDone) {
        if (out.size != claimed || method != kZstdMethod || uint32_t(crc32(0, out.data, out.size)) != crc)
            __builtin_trap();
    } else if (out.data || out.size) {
        __builtin_trap();  // a refused member leaves nothing behind
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1 || size > (1u << 20)) return 0;
    const uint32_t rest = static_cast<uint32_t>(size - 1);
    if ((data[0] & 3) == 3) {
        RoundTrip(data + 1, rest);
        return 0;
    }
    if ((data[0] & 3) == 2) {
        UnpackZstd(data + 1, rest);
        return 0;
    }
    if (data[0] & 1) {
        if (rest < 2 || !WriteSealed(data + 2, rest - 1, data[1] % 8)) return 0;
    } else if (!WriteBytesToFile(ScratchPath().c_str(), data + 1, rest, 0)) {
        return 0;
    }
    XC_ExeTailHelper archive;
    if (archive.LoadFromExe(ScratchPath().c_str())) {
        archive.ForEachEntry([&](const std::string& key, const XC_MemSpace& block) {
            if (key.empty() || (block.size != 0) != (block.data != nullptr)) __builtin_trap();
            // A copy handed out equals the entry, which lives on inside the archive.
            XC_MemSpace copy;
            if (!archive.GetEntry(key.c_str(), &copy) || copy.size != block.size ||
                (block.size && std::memcmp(copy.data, block.data, block.size) != 0))
                __builtin_trap();
        });
    } else if (!archive.IsEmpty() || archive.LastFailure() == XC_ExeTailHelper::Failure::kNone) {
        __builtin_trap();  // a refused payload adds no entry, and says why
    }
    return 0;
}
