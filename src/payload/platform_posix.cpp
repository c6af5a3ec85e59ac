// POSIX side of the payload cores, for the native build (tests, sanitizers, benchmarks, tools).
#include <pthread.h>
#include <sched.h>
#include <semaphore.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

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

struct InputFile::State {
    int file = -1;
};

InputFile::InputFile() : state_(new State) {}

InputFile::~InputFile() {
    if (state_->file >= 0) close(state_->file);
}

FileRead InputFile::Open(const char* path, uint32_t* size) {
    if (state_->file >= 0) return FileRead::kCannotRead;
    state_->file = open(path, O_RDONLY);
    return SizeOf(state_->file, size);
}

bool InputFile::Read(uint8_t* bytes, uint32_t count) {
    while (count > 0) {
        const ssize_t got = read(state_->file, bytes, count);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        bytes += got;
        count -= uint32_t(got);
    }
    return true;
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

bool WriteFilePieces(const char* path, const FilePiece* pieces, size_t count, uint32_t) {
    File file(std::fopen(path, "wb"));
    if (!file) return false;
    bool ok = true;
    for (size_t i = 0; ok && i < count; ++i)
        ok = pieces[i].count == 0 || std::fwrite(pieces[i].bytes, 1, pieces[i].count, file.get()) == pieces[i].count;
    return std::fflush(file.get()) == 0 && ok;
}

struct ReplacementFile::State {
    std::string path;
    std::string temporary;
    int file = -1;
};

ReplacementFile::ReplacementFile() : state_(new State) {}

ReplacementFile::~ReplacementFile() {
    if (state_->file < 0) return;
    close(state_->file);
    unlink(state_->temporary.c_str());
}

bool ReplacementFile::Open(const char* path) {
    if (state_->file >= 0) return false;
    struct stat existing;
    const bool exists = stat(path, &existing) == 0;
    if (exists && !S_ISREG(existing.st_mode)) return false;
    const std::string target = path;
    const size_t slash = target.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string(".") : target.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
    int file = -1;
    for (int attempt = 0; file < 0 && attempt < 100; ++attempt) {
        state_->temporary =
            folder + "/." + name + "." + std::to_string(getpid()) + "." + std::to_string(attempt) + ".part";
        file = open(state_->temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0666);
        if (file < 0 && errno != EEXIST) return false;
    }
    if (file < 0) return false;
    state_->file = file;
    state_->path = path;
    // The replaced file's mode is kept (an installer stays executable); a new one gets the
    // usual mode of a new file.
    return !exists || fchmod(file, existing.st_mode & 07777) == 0;
}

bool ReplacementFile::WriteAt(uint64_t offset, const void* bytes, uint32_t count) {
    const uint8_t* next = static_cast<const uint8_t*>(bytes);
    while (count > 0) {
        const ssize_t written = pwrite(state_->file, next, count, off_t(offset));
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        next += written;
        offset += uint64_t(written);
        count -= uint32_t(written);
    }
    return true;
}

bool ReplacementFile::Commit() {
    if (state_->file < 0) return false;
    bool ok = fsync(state_->file) == 0;
    ok = close(state_->file) == 0 && ok;
    state_->file = -1;
    ok = ok && rename(state_->temporary.c_str(), state_->path.c_str()) == 0;
    if (!ok) unlink(state_->temporary.c_str());
    return ok;
}

bool IsSameFile(const char* first, const char* second) {
    struct stat one, two;
    return stat(first, &one) == 0 && stat(second, &two) == 0 && one.st_dev == two.st_dev && one.st_ino == two.st_ino;
}

bool IsRegularOrMissing(const char* path) {
    struct stat status;
    if (stat(path, &status) == 0) return S_ISREG(status.st_mode);
    return errno == ENOENT;
}

uint32_t ProcessorCount() {
    cpu_set_t set;
    if (sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) > 0) return uint32_t(CPU_COUNT(&set));
    const unsigned count = std::thread::hardware_concurrency();
    return count > 0 ? count : 1;
}

struct BackgroundJob::Thread {
    pthread_t thread;
    bool started = false;
};

namespace {
void* RunJob(void* parameter) {
    (*static_cast<std::function<void()>*>(parameter))();
    return nullptr;
}
}  // namespace

BackgroundJob::BackgroundJob(std::function<void()> job) : job_(std::move(job)), thread_(new Thread) {
    thread_->started = pthread_create(&thread_->thread, nullptr, RunJob, &job_) == 0;
    if (!thread_->started) job_();
}

BackgroundJob::~BackgroundJob() { Wait(); }

void BackgroundJob::Wait() {
    if (!thread_->started) return;
    thread_->started = false;
    pthread_join(thread_->thread, nullptr);
}

struct Semaphore::Count {
    sem_t semaphore;
    bool ready = false;
};

Semaphore::Semaphore() : count_(new Count) { count_->ready = sem_init(&count_->semaphore, 0, 0) == 0; }

Semaphore::~Semaphore() {
    if (count_->ready) sem_destroy(&count_->semaphore);
}

bool Semaphore::IsReady() const { return count_->ready; }

void Semaphore::Release() { sem_post(&count_->semaphore); }

void Semaphore::Acquire() {
    while (sem_wait(&count_->semaphore) != 0 && errno == EINTR) {
    }
}

}  // namespace platform
