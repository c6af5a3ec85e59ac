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
// A file read from its start in pieces, open for as long as the object lives.
class InputFile {
public:
    InputFile();
    ~InputFile();
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;
    // Opens a regular file (no folder, pipe or device) and takes its size, which must fit in
    // 32 bits.
    FileRead Open(const char* path, uint32_t* size);
    // The next `count` bytes; false when the read fails or the file ends sooner.
    bool Read(uint8_t* bytes, uint32_t count);

private:
    struct State;
    std::unique_ptr<State> state_;
};
// The file's bytes mapped read-only: read without a copy into memory of our own. An empty file
// gives null bytes and size 0.
FileRead MapFile(const char* path, const uint8_t** bytes, uint32_t* size);
void UnmapFile(const uint8_t* bytes, uint32_t size);
// Creates or replaces the file (normal attributes for 0) and writes the pieces in order; a
// failed write may leave a partial file.
bool WriteFilePieces(const char* path, const FilePiece* pieces, size_t count, uint32_t attributes);
// A new file beside `path`, written at any offsets, that takes path's place only once
// committed: whatever was at path stays as it was when anything fails, and only the new file
// is ever removed (by the destructor, unless committed). Open refuses an existing path that is
// not a regular file.
class ReplacementFile {
public:
    ReplacementFile();
    ~ReplacementFile();
    ReplacementFile(const ReplacementFile&) = delete;
    ReplacementFile& operator=(const ReplacementFile&) = delete;
    bool Open(const char* path);
    bool WriteAt(uint64_t offset, const void* bytes, uint32_t count);
    // Puts the new file on disk and renames it over path.
    bool Commit();

private:
    struct State;
    std::unique_ptr<State> state_;
};
// True when both paths name one existing file (through links too).
bool IsSameFile(const char* first, const char* second);
// True when nothing is at path or a regular file is.
bool IsRegularOrMissing(const char* path);
// The number of processors this process may run on, at least 1.
uint32_t ProcessorCount();
// A job run on a thread of its own while the caller goes on. Should no thread start, the job
// runs at once on the caller's. Wait() returns once it has run; the destructor waits.
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
};
// Counts releases made on any thread; Acquire() waits for one and takes it. IsReady() is false
// when the system could not make one.
class Semaphore {
public:
    Semaphore();
    ~Semaphore();
    Semaphore(const Semaphore&) = delete;
    Semaphore& operator=(const Semaphore&) = delete;
    bool IsReady() const;
    void Release();
    void Acquire();

private:
    struct Count;
    std::unique_ptr<Count> count_;
};
}  // namespace platform
