// The payload archive: "stub | magic, count, length | sealed records", records in key order.
#include "xc_exetailhelper.h"

#include <cstring>
#include <vector>

#include "platform.h"
#include "wholefile.h"
#include "xc_aescipher.h"
#include "zipmemory.h"

namespace {

const char kPayloadKey[] = "Qz_R.N.T";
constexpr uint32_t kHeaderSize = 16;
constexpr uint32_t kRecordOverhead = 12;  // data length, key length, four zero bytes
// How much of a file added for saving is read at a time: the deflate writer's piece.
constexpr uint32_t kSourcePiece = ZipImageWriter::kPieceSize;

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

XC_ExeTailHelper::Failure FailureOf(FileRead read) {
    switch (read) {
        case FileRead::kDone:
            return XC_ExeTailHelper::Failure::kNone;
        case FileRead::kTooLarge:
            return XC_ExeTailHelper::Failure::kTooLarge;
        case FileRead::kNoMemory:
            return XC_ExeTailHelper::Failure::kNoMemory;
        case FileRead::kCannotRead:
            break;
    }
    return XC_ExeTailHelper::Failure::kCannotRead;
}

// Where a record's data lie inside the unsealed body.
struct RecordSpan {
    std::string key;
    uint32_t offset;
    uint32_t length;
};

enum class RecordRead : uint8_t { kDone, kNotYet, kDamaged };

// Reads the record at `offset` of a body of `size` bytes of which the first `available` are
// unpacked. A record that runs past the body, a missing key terminator or an empty key is
// damaged; one that runs past the unpacked bytes only is not there yet.
RecordRead ReadRecord(const uint8_t* body, uint32_t size, uint32_t available, uint64_t offset, RecordSpan* record) {
    if (offset + kRecordOverhead > size) return RecordRead::kDamaged;
    if (offset + kRecordOverhead > available) return RecordRead::kNotYet;
    const uint8_t* bytes = body + offset;
    const uint32_t data_length = GetU32(bytes);
    const uint32_t key_length = GetU32(bytes + 4);
    const uint64_t end = offset + kRecordOverhead + key_length + data_length;
    if (end > size || key_length == 0) return RecordRead::kDamaged;
    if (end > available) return RecordRead::kNotYet;
    const char* key = reinterpret_cast<const char*>(bytes + 8);
    const size_t key_size = strnlen(key, key_length);
    if (key_size == 0 || bytes[8 + key_length] != 0) return RecordRead::kDamaged;
    *record = {std::string(key, key_size), uint32_t(offset + kRecordOverhead + key_length), data_length};
    return RecordRead::kDone;
}

// Reads `count` records from the unsealed body; false when one is damaged.
bool ParseRecords(const XC_MemSpace& body, uint32_t count, std::vector<RecordSpan>* records) {
    uint64_t offset = 0;
    for (uint32_t i = 0; i < count; ++i) {
        RecordSpan record;
        if (ReadRecord(body.data, body.size, body.size, offset, &record) != RecordRead::kDone) return false;
        offset = uint64_t(record.offset) + record.length;
        records->push_back(std::move(record));
    }
    return true;
}

}  // namespace

bool XC_ExeTailHelper::LoadFromExe(const char* path) {
    failure_ = Failure::kNone;
    // Mapped, not read: the sealed body is decrypted piece by piece on its way into the ZIP
    // layer, so the file costs no memory of our own and is never written to.
    MappedFile file;
    const FileRead read = file.Open(path);
    if (read != FileRead::kDone) return Fail(FailureOf(read));
    const uint8_t* bytes = file.Data();
    const uint32_t size = file.Size();

    const uint32_t header = FindHeader(bytes, size);
    if (header == 0) return CopyBlock(bytes, size, &stub_) || Fail(Failure::kNoMemory);

    if (!CopyBlock(bytes, header, &stub_)) return Fail(Failure::kNoMemory);
    if (uint64_t(header) + kHeaderSize > size) return Fail(Failure::kDamaged);
    const uint32_t count = GetU32(bytes + header + 8);
    const uint32_t length = GetU32(bytes + header + 12);
    if (length == 0 || uint64_t(header) + kHeaderSize + length > size) return Fail(Failure::kDamaged);

    const uint8_t* sealed = bytes + header + kHeaderSize;
    XC_AesCipher cipher;
    cipher.SetKeyText(kPayloadKey);
    const ImageReader decrypt = [&](uint32_t offset, uint8_t* out, uint32_t piece) {
        cipher.DecryptRange(sealed, length, offset, out, piece);
    };
    auto body = std::make_unique<XC_MemSpace>();
    // The unpacked bytes are final as they come, so the first record can be told as soon as
    // they hold it.
    bool first_pending = first_record_ && count > 0;
    const ContentProgress watch = [&](uint64_t done, uint64_t total) {
        if (first_pending) {
            RecordSpan first;
            const RecordRead read = ReadRecord(body->data, body->size, uint32_t(done), 0, &first);
            if (read == RecordRead::kDone) first_record_(first.key, body->data + first.offset, first.length);
            first_pending = read == RecordRead::kNotYet;
        }
        if (progress_) progress_(done, total);
    };
    const bool watched = progress_ || first_pending;
    switch (UnzipImage(decrypt, length, body.get(), watched ? &watch : nullptr, &member_method_)) {
        case UnzipResult::kDone:
            break;
        case UnzipResult::kNoMemory:
            return Fail(Failure::kNoMemory);
        case UnzipResult::kDamaged:
            return Fail(Failure::kDamaged);
    }

    // The entries stay inside the body: the payload is held once, not once more per entry.
    std::vector<RecordSpan> records;
    if (!ParseRecords(*body, count, &records)) return Fail(Failure::kDamaged);
    for (const RecordSpan& record : records) {
        auto entry = std::make_unique<XC_MemSpace>();
        entry->Borrow(body->data + record.offset, record.length);
        entries_[record.key] = Entry{std::move(entry), std::string(), 0};
    }
    bodies_.push_back(std::move(body));
    return true;
}

bool XC_ExeTailHelper::AddFile(const char* key, const char* path) {
    failure_ = Failure::kNone;
    // Read straight into the entry's own block: a large file is never held twice.
    if (!KeyIsFree(key)) return Fail(Failure::kBadKey);
    auto block = std::make_unique<XC_MemSpace>();
    const FileRead read = ReadWholeFileStatus(path, block.get());
    if (read != FileRead::kDone) return Fail(FailureOf(read));
    entries_.emplace(key, Entry{std::move(block), std::string(), 0});
    return true;
}

bool XC_ExeTailHelper::AddFileForSaving(const char* key, const char* path) {
    failure_ = Failure::kNone;
    if (!KeyIsFree(key)) return Fail(Failure::kBadKey);
    if (!path || !*path) return Fail(Failure::kCannotRead);
    platform::InputFile file;
    uint32_t size = 0;
    const FileRead opened = file.Open(path, &size);
    if (opened != FileRead::kDone) return Fail(FailureOf(opened));
    entries_.emplace(key, Entry{nullptr, path, size});
    return true;
}

bool XC_ExeTailHelper::AddMemory(const char* key, const XC_MemSpace* block) {
    failure_ = Failure::kNone;
    if (!block || !KeyIsFree(key)) return Fail(Failure::kBadKey);
    auto copy = std::make_unique<XC_MemSpace>();
    if (!CopyBlock(block->data, block->size, copy.get())) return Fail(Failure::kNoMemory);
    entries_.emplace(key, Entry{std::move(copy), std::string(), 0});
    return true;
}

bool XC_ExeTailHelper::GetEntry(const char* key, XC_MemSpace* block) const {
    if (!key || !block) return false;
    auto found = entries_.find(key);
    if (found == entries_.end()) return false;
    const Entry& entry = found->second;
    // A file added for saving is read as SaveToExe would read it.
    if (!entry.block) return ReadWholeFile(entry.source.c_str(), block) && block->size == entry.size;
    return CopyBlock(entry.block->data, entry.block->size, block);
}

bool XC_ExeTailHelper::ExtractToFile(const char* key, const char* path) const {
    if (!key) return false;
    auto found = entries_.find(key);
    if (found == entries_.end()) return false;
    if (found->second.block) return WriteWholeFile(path, found->second.block.get(), 0);
    XC_MemSpace bytes;
    return GetEntry(key, &bytes) && WriteWholeFile(path, &bytes, 0);
}

bool XC_ExeTailHelper::FeedSource(const Entry& entry, XC_MemSpace* buffer, const BodyFeed& add) const {
    platform::InputFile file;
    uint32_t size = 0;
    if (file.Open(entry.source.c_str(), &size) != FileRead::kDone || size != entry.size) {
        failed_source_ = entry.source;
        return false;
    }
    for (uint32_t left = size; left > 0;) {
        const uint32_t piece = left < buffer->size ? left : buffer->size;
        if (!file.Read(buffer->data, piece)) {
            failed_source_ = entry.source;
            return false;
        }
        if (!add(buffer->data, piece)) return false;
        left -= piece;
    }
    return true;
}

bool XC_ExeTailHelper::SaveToExe(const char* path, uint32_t threads, uint32_t pieceSize) const {
    return SaveToExe(path, [&](uint64_t, const std::function<bool(const BodyFeed&)>& body,
                               const ContentProgress* progress, ZipImage* image) {
        ZipImageWriter writer(image, threads, pieceSize, progress);
        const bool fed = body([&](const uint8_t* bytes, uint32_t count) { return writer.Add(bytes, count); });
        if (writer.Finish() && fed) return Failure::kNone;
        return writer.OutOfMemory() ? Failure::kNoMemory : Failure::kTooLarge;
    });
}

bool XC_ExeTailHelper::SaveToExe(const char* path, const ImagePacker& pack) const {
    failure_ = Failure::kNone;
    failed_source_.clear();
    if (entries_.empty()) return WriteWholeFile(path, &stub_, 0) || Fail(Failure::kCannotWrite);

    uint64_t total = 0;
    for (const auto& entry : entries_) total += kRecordOverhead + entry.first.size() + entry.second.Size();
    if (total > UINT32_MAX) return Fail(Failure::kTooLarge);
    // The files added for saving pass through one buffer, a piece at a time.
    XC_MemSpace buffer;
    if (!buffer.Allocate(kSourcePiece, 0)) return Fail(Failure::kNoMemory);

    // The records go to the ZIP layer one part at a time, straight from the entries, and the
    // image grows in pages: neither the record block nor the image is ever held in one piece.
    // Each page is sealed and written as soon as it is complete, while later ones still pack.
    platform::ReplacementFile file;
    if (!file.Open(path) || !file.WriteAt(0, stub_.data, stub_.size)) return Fail(Failure::kCannotWrite);
    const uint64_t imageAt = uint64_t(stub_.size) + kHeaderSize;
    // Every page but the last is a whole number of cipher blocks, so page by page is the same
    // as the whole image at once.
    XC_AesCipher cipher;
    cipher.SetKeyText(kPayloadKey);
    bool written = true;
    const auto seal = [&](size_t index, uint8_t* bytes, uint32_t count) {
        cipher.EncryptBuffer(bytes, count);
        written = written && file.WriteAt(imageAt + uint64_t(index) * ZipImage::kPageSize, bytes, count);
        return written;
    };
    ZipImage image;
    image.completed = [&](size_t index, uint8_t* bytes) { return seal(index, bytes, ZipImage::kPageSize); };
    const ContentProgress progress = [&](uint64_t done, uint64_t) { progress_(done, total); };
    const auto body = [&](const BodyFeed& add) {
        std::string head;
        const auto addRecord = [&](const std::string& key, const Entry& entry) {
            const uint32_t key_length = static_cast<uint32_t>(key.size());
            head.assign(kRecordOverhead + key_length, '\0');
            uint8_t* bytes = reinterpret_cast<uint8_t*>(&head[0]);
            PutU32(bytes, entry.Size());
            PutU32(bytes + 4, key_length);
            std::memcpy(bytes + 8, key.data(), key_length);
            if (!add(bytes, uint32_t(head.size()))) return false;
            return entry.block ? add(entry.block->data, entry.block->size) : FeedSource(entry, &buffer, add);
        };
        const auto first = entries_.find(first_key_);
        if (first != entries_.end() && !addRecord(first->first, first->second)) return false;
        for (const auto& entry : entries_)
            if (entry.first != first_key_ && !addRecord(entry.first, entry.second)) return false;
        return true;
    };
    const Failure packed = pack(total, body, progress_ ? &progress : nullptr, &image);
    // A page that could not be written, or a file that could not be read, stops the packer as
    // if memory were short.
    if (!written) return Fail(Failure::kCannotWrite);
    if (!failed_source_.empty()) return Fail(Failure::kCannotRead);
    if (packed != Failure::kNone) return Fail(packed);
    if (imageAt + image.size > UINT32_MAX) return Fail(Failure::kTooLarge);

    // The pages still held (the first, completed last, and the end) and the header, which
    // knows the image's length only now.
    for (size_t i = 0; i < image.pages.size(); ++i)
        if (image.pages[i] && !seal(i, image.pages[i]->data, image.PageBytes(i))) return Fail(Failure::kCannotWrite);
    uint8_t header[kHeaderSize];
    MakeMagic(header);
    PutU32(header + 8, static_cast<uint32_t>(entries_.size()));
    PutU32(header + 12, image.size);
    return (file.WriteAt(stub_.size, header, kHeaderSize) && file.Commit()) || Fail(Failure::kCannotWrite);
}
