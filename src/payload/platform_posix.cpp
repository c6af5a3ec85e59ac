// POSIX side of the payload cores, for the native build (tests, sanitizers, benchmarks, tools).
#include <sys/mman.h>
#include <sys/stat.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include <cstdio>
#include <memory>

#include "platform.h"
#include "xc_memspace.h"

namespace {
struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;
}  // namespace

namespace platform {

uint8_t* AllocatePages(uint32_t size) {
    // Populated at once: the blocks are large and written whole right away, and one bulk fault
    // is much cheaper than one per page.
    void* pages = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_POPULATE, -1, 0);
    return pages == MAP_FAILED ? nullptr : static_cast<uint8_t*>(pages);
}

void FreePages(uint8_t* pages, uint32_t size) { munmap(pages, size); }

namespace {

// The size of an open regular file, which must fit in 32 bits; folders and other kinds of file
// are refused as unreadable.
FileRead SizeOf(int file, uint32_t* size) {
    struct stat status;
    if (file < 0 || fstat(file, &status) != 0 || !S_ISREG(status.st_mode)) return FileRead::kCannotRead;
    if (uint64_t(status.st_size) > UINT32_MAX) return FileRead::kTooLarge;
    *size = uint32_t(status.st_size);
    return FileRead::kDone;
}

}  // namespace

FileRead ReadFileInto(const char* path, XC_MemSpace* block) {
    File file(std::fopen(path, "rb"));
    uint32_t size = 0;
    const FileRead opened = file ? SizeOf(fileno(file.get()), &size) : FileRead::kCannotRead;
    if (opened != FileRead::kDone) return opened;
    if (size == 0) {
        block->Allocate(0, 0);
        return FileRead::kDone;
    }
    if (!block->Allocate(size, 0)) return FileRead::kNoMemory;
    return std::fread(block->data, 1, size, file.get()) == size ? FileRead::kDone : FileRead::kCannotRead;
}

FileRead MapFile(const char* path, const uint8_t** bytes, uint32_t* size) {
    const int file = open(path, O_RDONLY);
    uint32_t length = 0;
    FileRead result = SizeOf(file, &length);
    if (result == FileRead::kDone && length == 0) {
        *bytes = nullptr;
        *size = 0;
    } else if (result == FileRead::kDone) {
        // Populated at once: the whole file is read right away.
        void* view = mmap(nullptr, length, PROT_READ, MAP_PRIVATE | MAP_POPULATE, file, 0);
        if (view != MAP_FAILED) {
            *bytes = static_cast<const uint8_t*>(view);
            *size = length;
        } else {
            result = errno == ENOMEM ? FileRead::kNoMemory : FileRead::kCannotRead;
        }
    }
    if (file >= 0) close(file);
    return result;
}

void UnmapFile(const uint8_t* bytes, uint32_t size) {
    if (bytes) munmap(const_cast<uint8_t*>(bytes), size);
}

bool WriteFilePieces(const char* path, const FilePiece* pieces, size_t count, uint32_t, KeepPartial keep) {
    File file(std::fopen(path, "wb"));
    if (!file) return false;
    bool ok = true;
    for (size_t i = 0; ok && i < count; ++i)
        ok = pieces[i].count == 0 || std::fwrite(pieces[i].bytes, 1, pieces[i].count, file.get()) == pieces[i].count;
    ok = std::fflush(file.get()) == 0 && ok;
    if (!ok && keep == KeepPartial::kNo) {
        file.reset();
        std::remove(path);
    }
    return ok;
}

}  // namespace platform
