// The payload archive appended behind the executable image: keyed entries, loaded from and
// saved to "stub + header + sealed body". Entries are held in memory, but for files added to be
// sealed, which are read a piece at a time only when their turn comes in SaveToExe.
#pragma once
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "xc_memspace.h"
#include "zipmemory.h"

class XC_ExeTailHelper {
public:
    // Why the last LoadFromExe, AddFile, AddMemory or SaveToExe failed, for a person to read.
    enum class Failure : uint8_t {
        kNone,
        kCannotRead,   // missing or unreadable file, or a folder; one added for saving that changed
        kDamaged,      // a payload that does not unseal, or records that run past the body
        kNoMemory,     // an allocation failed
        kTooLarge,     // a file, entry or payload that does not fit the 32-bit sizes
        kBadKey,       // an empty key or one that is present already
        kCannotWrite,  // the new file could not be written
    };

    bool LoadFromExe(const char* path);
    bool IsEmpty() const { return entries_.empty(); }
    bool HasEntry(const char* key) const { return key != nullptr && entries_.count(key) != 0; }
    // The entry's own block, read in place (no copy); valid until the archive changes. Null
    // when there is no such entry, or when it was added with AddFileForSaving.
    const XC_MemSpace* FindEntry(const char* key) const {
        if (key == nullptr) return nullptr;
        const auto entry = entries_.find(key);
        return entry != entries_.end() ? entry->second.block.get() : nullptr;
    }
    bool AddFile(const char* key, const char* path);
    // Adds the file as an entry whose bytes SaveToExe reads when their turn comes, a piece at
    // a time: the archive holds its path and size only, so that a tree of any size is sealed in
    // a few MiB. The file must be readable now, as for AddFile; one that cannot be read again or
    // whose size changed by the save makes it fail with kCannotRead (FailedSource names it).
    bool AddFileForSaving(const char* key, const char* path);
    bool AddMemory(const char* key, const XC_MemSpace* block);
    bool GetEntry(const char* key, XC_MemSpace* block) const;
    bool ExtractToFile(const char* key, const char* path) const;
    // threads: how many deflate the payload at once, 0 for one per processor; pieceSize: the
    // content's pieces deflated on their own (0: the writer's own size). The file's bytes
    // depend on the piece size, never on the threads.
    bool SaveToExe(const char* path, uint32_t threads = 0, uint32_t pieceSize = 0) const;
    // Takes the body's parts in order; false when it refused one.
    using BodyFeed = std::function<bool(const uint8_t* bytes, uint32_t count)>;
    // Packs a body of `total` bytes, which `body` hands to the feed it is given, as the member
    // of `image`, growing it through ZipImage::Room, which hands each complete page on to be
    // written: kNone, or why it could not.
    using ImagePacker = std::function<Failure(uint64_t total, const std::function<bool(const BodyFeed&)>& body,
                                              const ContentProgress* progress, ZipImage* image)>;
    // SaveToExe with the image made by `pack` instead of the deflating writer.
    bool SaveToExe(const char* path, const ImagePacker& pack) const;
    Failure LastFailure() const { return failure_; }
    // The file of an entry added for saving that the last SaveToExe could not read.
    const std::string& FailedSource() const { return failed_source_; }
    // Told now and then how far LoadFromExe has unpacked and SaveToExe has packed the body:
    // bytes done of the total. Empty: nobody is told.
    using Progress = std::function<void(uint64_t done, uint64_t total)>;
    void SetProgress(Progress progress) { progress_ = std::move(progress); }
    // Told once by LoadFromExe, on its thread, as soon as the body's first record is unpacked
    // and while the rest still is: its key and data, valid during the call only. A record that
    // turns out whole and well formed is told even if the load fails later on.
    using FirstRecord = std::function<void(const std::string& key, const uint8_t* data, uint32_t size)>;
    void SetFirstRecord(FirstRecord told) { first_record_ = std::move(told); }
    // The entry SaveToExe writes as the first record, ahead of the key order, so that a reader
    // can use it before the rest is unpacked (the installer's window needs its language archive
    // first). Without such an entry every record is in key order.
    void PutFirst(std::string key) { first_key_ = std::move(key); }

    const XC_MemSpace& Stub() const { return stub_; }
    // The ZIP method of the loaded payload's member (8 deflate, 93 Zstandard); 0 before one
    // has loaded.
    uint16_t MemberMethod() const { return member_method_; }
    // The entries held in memory (every loaded one), in archive order, for inspection.
    template <typename Visit>
    void ForEachEntry(Visit visit) const {
        for (const auto& entry : entries_)
            if (entry.second.block) visit(entry.first, *entry.second.block);
    }

private:
    bool Fail(Failure failure) const {
        failure_ = failure;
        return false;
    }
    bool KeyIsFree(const char* key) const { return key && *key && entries_.count(key) == 0; }

    // A loaded entry borrows its bytes from the unpacked body it came from; one added from
    // memory or by AddFile owns a copy; one added for saving has no block, only its file.
    struct Entry {
        std::unique_ptr<XC_MemSpace> block;
        std::string source;
        uint32_t size = 0;
        uint32_t Size() const { return block ? block->size : size; }
    };
    // Feeds a file entry's bytes to `add` piece by piece through `buffer`; false, with
    // failed_source_ set, when the file cannot be read as it was added.
    bool FeedSource(const Entry& entry, XC_MemSpace* buffer, const BodyFeed& add) const;

    // std::string compares as unsigned bytes, shorter first on a common prefix: the record order.
    std::map<std::string, Entry> entries_;
    // Unpacked bodies, kept for as long as the archive: loaded entries live inside them.
    std::vector<std::unique_ptr<XC_MemSpace>> bodies_;
    XC_MemSpace stub_;
    uint16_t member_method_ = 0;
    // Written by the operations that change the archive or save it, never by lookups, which
    // may run on several threads at once.
    mutable Failure failure_ = Failure::kNone;
    mutable std::string failed_source_;
    Progress progress_;
    FirstRecord first_record_;
    std::string first_key_;
};
