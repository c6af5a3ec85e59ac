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

FileRead ReadFileInto(const char* path, XC_MemSpace* block) {
    File file(std::fopen(path, "rb"));
    struct stat status;
    if (!file || fstat(fileno(file.get()), &status) != 0 || !S_ISREG(status.st_mode)) return FileRead::kCannotRead;
    if (uint64_t(status.st_size) > UINT32_MAX) return FileRead::kTooLarge;
    const uint32_t size = static_cast<uint32_t>(status.st_size);
    if (size == 0) {
        block->Allocate(0, 0);
        return FileRead::kDone;
    }
    if (!block->Allocate(size, 0)) return FileRead::kNoMemory;
    return std::fread(block->data, 1, size, file.get()) == size ? FileRead::kDone : FileRead::kCannotRead;
}

FileRead MapFile(const char* path, const uint8_t** bytes, uint32_t* size) {
    const int file = open(path, O_RDONLY);
    struct stat status;
    FileRead result = FileRead::kCannotRead;
    if (file >= 0 && fstat(file, &status) == 0 && S_ISREG(status.st_mode)) {
        if (uint64_t(status.st_size) > UINT32_MAX) {
            result = FileRead::kTooLarge;
        } else if (status.st_size == 0) {
            *bytes = nullptr;
            *size = 0;
            result = FileRead::kDone;
        } else {
            // Populated at once: the whole file is read right away.
            void* view = mmap(nullptr, size_t(status.st_size), PROT_READ, MAP_PRIVATE | MAP_POPULATE, file, 0);
            if (view != MAP_FAILED) {
                *bytes = static_cast<const uint8_t*>(view);
                *size = uint32_t(status.st_size);
                result = FileRead::kDone;
            } else if (errno == ENOMEM) {
                result = FileRead::kNoMemory;
            }
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
