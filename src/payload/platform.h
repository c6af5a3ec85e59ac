// The few operating-system calls the payload cores need; one implementation per platform.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

#include "wholefile.h"

class XC_MemSpace;

namespace platform {
// Committed read-write pages, zero-filled; null when memory is short.
uint8_t* AllocatePages(uint32_t size);
void FreePages(uint8_t* pages, uint32_t size);
FileRead ReadFileInto(const char* path, XC_MemSpace* block);
// The file's bytes mapped read-only: read without a copy into memory of our own. An empty file
// gives null bytes and size 0.
FileRead MapFile(const char* path, const uint8_t** bytes, uint32_t* size);
void UnmapFile(const uint8_t* bytes, uint32_t size);
// Creates or replaces the file (normal attributes for 0) and writes the pieces in order; a
// failed write may leave a partial file.
bool WriteFilePieces(const char* path, const FilePiece* pieces, size_t count, uint32_t attributes);
// Writes the pieces into a new file beside path and renames it over path only once complete:
// whatever was at path stays as it was when anything fails, and only the new file is ever
// removed. An existing path that is not a regular file is refused.
bool ReplaceFileWithPieces(const char* path, const FilePiece* pieces, size_t count);
// True when both paths name one existing file (through links too).
bool IsSameFile(const char* first, const char* second);
// True when nothing is at path or a regular file is.
bool IsRegularOrMissing(const char* path);
// The number of processors this process may run on, at least 1.
uint32_t ProcessorCount();
// A job run on a thread of its own while the caller goes on. Wait() returns once it has run;
// should no thread have started, Wait() runs it on the caller's. The destructor waits.
class BackgroundJob {
public:
    explicit BackgroundJob(std::function<void()> job);
    ~BackgroundJob();
    BackgroundJob(const BackgroundJob&) = delete;
    BackgroundJob& operator=(const BackgroundJob&) = delete;
    void Wait();

private:
    struct Thread;
    std::function<void()> job_;
    std::unique_ptr<Thread> thread_;
    bool done_ = false;
};
}  // namespace platform
