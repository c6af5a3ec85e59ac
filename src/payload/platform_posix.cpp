// POSIX side of the payload cores, for the native build (tests, sanitizers, benchmarks, tools).
#include <sys/mman.h>

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

bool ReadFileInto(const char* path, XC_MemSpace* block) {
    File file(std::fopen(path, "rb"));
    if (!file || std::fseek(file.get(), 0, SEEK_END) != 0) return false;
    long length = std::ftell(file.get());
    if (length < 0 || std::fseek(file.get(), 0, SEEK_SET) != 0) return false;
    uint32_t size = static_cast<uint32_t>(length);  // low 32 bits, as on Windows
    if (size == 0) {
        block->Allocate(0, 0);
        return true;
    }
    if (!block->Allocate(size, 0)) return false;
    return std::fread(block->data, 1, size, file.get()) == size;
}

bool WriteFileBytes(const char* path, const void* bytes, uint32_t count, uint32_t) {
    File file(std::fopen(path, "wb"));
    if (!file) return false;
    if (count == 0 || !bytes) return true;
    bool ok = std::fwrite(bytes, 1, count, file.get()) == count;
    return std::fflush(file.get()) == 0 && ok;
}

}  // namespace platform
