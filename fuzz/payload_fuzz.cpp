// Fuzzes the payload reader with damaged installers. The first input byte picks the layer:
// even, the bytes are the whole file (header search, unsealing); odd, the rest are the
// record block behind a correct seal (record walk) with an entry count from the input.
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "wholefile.h"
#include "xc_aescipher.h"
#include "xc_exetailhelper.h"
#include "zipmemory.h"

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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1 || size > (1u << 20)) return 0;
    const uint32_t rest = static_cast<uint32_t>(size - 1);
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
