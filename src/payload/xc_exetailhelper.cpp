// The payload archive: "stub | magic, count, length | sealed records", records in key order.
#include "xc_exetailhelper.h"

#include <cstring>

#include "wholefile.h"
#include "xc_aescipher.h"
#include "zipmemory.h"

namespace {

const char kPayloadKey[] = "Qz_R.N.T";
constexpr uint32_t kHeaderSize = 16;
constexpr uint32_t kRecordOverhead = 12;  // data length, key length, four zero bytes

// The reader searches the whole file for the magic, so the image must never hold it as eight
// consecutive bytes: it is kept masked and unmasked at run time through a volatile mask.
constexpr uint8_t kMagicMask = 0xA5;
const uint8_t kMaskedMagic[8] = {'K' ^ kMagicMask, '.' ^ kMagicMask, 'T' ^ kMagicMask, '.' ^ kMagicMask,
                                 'W' ^ kMagicMask, '.' ^ kMagicMask, '*' ^ kMagicMask, '+' ^ kMagicMask};
volatile uint8_t g_magic_mask = kMagicMask;

void MakeMagic(uint8_t magic[8]) {
    const uint8_t mask = g_magic_mask;
    for (int i = 0; i < 8; ++i) magic[i] = kMaskedMagic[i] ^ mask;
}

uint32_t GetU32(const uint8_t* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (uint32_t(p[3]) << 24); }

void PutU32(uint8_t* p, uint32_t value) {
    p[0] = uint8_t(value);
    p[1] = uint8_t(value >> 8);
    p[2] = uint8_t(value >> 16);
    p[3] = uint8_t(value >> 24);
}

// First position from 1 to size - 11 where the magic starts; 0 for none.
uint32_t FindHeader(const uint8_t* bytes, uint32_t size) {
    if (size < 12) return 0;
    uint8_t magic[8];
    MakeMagic(magic);
    const uint32_t last = size - 11;
    for (uint32_t p = 1; p <= last;) {
        const void* hit = std::memchr(bytes + p, magic[0], last - p + 1);
        if (!hit) return 0;
        p = static_cast<uint32_t>(static_cast<const uint8_t*>(hit) - bytes);
        if (std::memcmp(bytes + p, magic, 8) == 0) return p;
        ++p;
    }
    return 0;
}

bool CopyBlock(const uint8_t* bytes, uint32_t size, XC_MemSpace* block) {
    if (size == 0) {
        block->Allocate(0, 0);
        return true;
    }
    if (!block->Allocate(size, 0)) return false;
    std::memcpy(block->data, bytes, size);
    return true;
}

using Entries = std::map<std::string, std::unique_ptr<XC_MemSpace>>;

// Reads `count` records from the unsealed body. A record that runs past the body, a missing
// key terminator or an empty key means a damaged payload: nothing is returned then.
bool ParseRecords(const XC_MemSpace& body, uint32_t count, Entries* parsed) {
    uint64_t offset = 0;
    for (uint32_t i = 0; i < count; ++i) {
        if (offset + kRecordOverhead > body.size) return false;
        const uint8_t* record = body.data + offset;
        const uint32_t data_length = GetU32(record);
        const uint32_t key_length = GetU32(record + 4);
        const uint64_t record_length = uint64_t(kRecordOverhead) + key_length + data_length;
        if (offset + record_length > body.size || key_length == 0) return false;
        const char* key = reinterpret_cast<const char*>(record + 8);
        const size_t key_size = strnlen(key, key_length);
        if (key_size == 0 || record[8 + key_length] != 0) return false;
        auto block = std::make_unique<XC_MemSpace>();
        if (!CopyBlock(record + kRecordOverhead + key_length, data_length, block.get())) return false;
        (*parsed)[std::string(key, key_size)] = std::move(block);
        offset += record_length;
    }
    return true;
}

}  // namespace

bool XC_ExeTailHelper::LoadFromExe(const char* path) {
    XC_MemSpace file;
    if (!ReadWholeFile(path, &file)) return false;

    const uint32_t header = FindHeader(file.data, file.size);
    if (header == 0) return CopyBlock(file.data, file.size, &stub_);

    if (!CopyBlock(file.data, header, &stub_)) return false;
    if (uint64_t(header) + kHeaderSize > file.size) return false;
    const uint32_t count = GetU32(file.data + header + 8);
    const uint32_t length = GetU32(file.data + header + 12);
    if (uint64_t(header) + kHeaderSize + length > file.size) return false;

    uint8_t* sealed = file.data + header + kHeaderSize;
    XC_AesCipher cipher;
    cipher.SetKeyText(kPayloadKey);
    XC_MemSpace body;
    if (!cipher.DecryptBuffer(sealed, length) || !UnzipFromMemory(sealed, length, &body)) return false;

    Entries parsed;
    if (!ParseRecords(body, count, &parsed)) return false;
    for (auto& entry : parsed) entries_[entry.first] = std::move(entry.second);
    return true;
}

bool XC_ExeTailHelper::AddFile(const char* key, const char* path) {
    XC_MemSpace block;
    if (!ReadWholeFile(path, &block)) return false;
    return AddMemory(key, &block);
}

bool XC_ExeTailHelper::AddMemory(const char* key, const XC_MemSpace* block) {
    if (!key || !*key || !block || entries_.count(key)) return false;
    auto copy = std::make_unique<XC_MemSpace>();
    if (!CopyBlock(block->data, block->size, copy.get())) return false;
    entries_.emplace(key, std::move(copy));
    return true;
}

bool XC_ExeTailHelper::GetEntry(const char* key, XC_MemSpace* block) const {
    if (!key || !block) return false;
    auto found = entries_.find(key);
    if (found == entries_.end()) return false;
    return CopyBlock(found->second->data, found->second->size, block);
}

bool XC_ExeTailHelper::ExtractToFile(const char* key, const char* path) const {
    XC_MemSpace block;
    if (!GetEntry(key, &block)) return false;
    return WriteWholeFile(path, &block, 0);
}

bool XC_ExeTailHelper::SaveToExe(const char* path) const {
    if (entries_.empty()) return WriteWholeFile(path, &stub_, 0);

    uint64_t total = 0;
    for (const auto& entry : entries_) total += kRecordOverhead + entry.first.size() + entry.second->size;
    XC_MemSpace records;
    if (total > UINT32_MAX || !records.Allocate(static_cast<uint32_t>(total), 0)) return false;
    uint8_t* out = records.data;
    for (const auto& entry : entries_) {
        const uint32_t key_length = static_cast<uint32_t>(entry.first.size());
        const XC_MemSpace& data = *entry.second;
        PutU32(out, data.size);
        PutU32(out + 4, key_length);
        std::memcpy(out + 8, entry.first.data(), key_length);
        if (data.size) std::memcpy(out + kRecordOverhead + key_length, data.data, data.size);
        out += kRecordOverhead + key_length + data.size;
    }

    XC_MemSpace sealed;
    if (!ZipToMemory(&records, &sealed)) return false;
    records.Allocate(0, 0);
    XC_AesCipher cipher;
    cipher.SetKeyText(kPayloadKey);
    cipher.EncryptBuffer(sealed.data, sealed.size);

    const uint64_t output_size = uint64_t(stub_.size) + kHeaderSize + sealed.size;
    XC_MemSpace output;
    if (output_size > UINT32_MAX || !output.Allocate(static_cast<uint32_t>(output_size), 0)) return false;
    if (stub_.size) std::memcpy(output.data, stub_.data, stub_.size);
    uint8_t* header = output.data + stub_.size;
    MakeMagic(header);
    PutU32(header + 8, static_cast<uint32_t>(entries_.size()));
    PutU32(header + 12, sealed.size);
    std::memcpy(header + kHeaderSize, sealed.data, sealed.size);
    return WriteWholeFile(path, &output, 0);
}
