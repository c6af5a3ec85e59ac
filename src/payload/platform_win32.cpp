// Windows side of the payload cores: committed pages, files read in pieces, mapped files and
// writes in pieces.
#include <windows.h>

#include <memory>
#include <string>

#include "platform.h"
#include "xc_handle.h"
#include "xc_memspace.h"

namespace platform {

uint8_t* AllocatePages(uint32_t size) {
    return static_cast<uint8_t*>(VirtualAlloc(nullptr, size, MEM_COMMIT, PAGE_READWRITE));
}

void FreePages(uint8_t* pages, uint32_t) { VirtualFree(pages, 0, MEM_RELEASE); }

namespace {

// Opens an existing file for reading and takes its size, which must fit in 32 bits. A folder
// does not open without backup semantics: it is refused here as unreadable.
FileRead OpenForReading(const char* path, XC_File* file, uint32_t* size) {
    file->Reset(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    // A pipe or a device opened by name is no file to read whole.
    if (!file->IsOpen() || GetFileType(file->Get()) != FILE_TYPE_DISK) return FileRead::kCannotRead;
    DWORD high = 0;
    const DWORD low = GetFileSize(file->Get(), &high);
    if (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) return FileRead::kCannotRead;
    if (high != 0) return FileRead::kTooLarge;
    *size = low;
    return FileRead::kDone;
}

}  // namespace

struct InputFile::State {
    XC_File file;
};

InputFile::InputFile() : state_(new State) {}

InputFile::~InputFile() = default;

FileRead InputFile::Open(const char* path, uint32_t* size) {
    if (state_->file.IsOpen()) return FileRead::kCannotRead;
    return OpenForReading(path, &state_->file, size);
}

bool InputFile::Read(uint8_t* bytes, uint32_t count) {
    while (count > 0) {
        DWORD got = 0;
        if (!ReadFile(state_->file.Get(), bytes, count, &got, nullptr) || got == 0) return false;
        bytes += got;
        count -= got;
    }
    return true;
}

FileRead MapFile(const char* path, const uint8_t** bytes, uint32_t* size) {
    XC_File file;
    uint32_t length = 0;
    const FileRead opened = OpenForReading(path, &file, &length);
    if (opened != FileRead::kDone) return opened;
    if (length == 0) {
        *bytes = nullptr;
        *size = 0;
        return FileRead::kDone;
    }
    XC_KernelHandle mapping(CreateFileMappingA(file.Get(), nullptr, PAGE_READONLY, 0, 0, nullptr));
    if (!mapping.IsOpen()) return FileRead::kCannotRead;
    // The view keeps the mapping alive after its handle is closed.
    const void* view = MapViewOfFile(mapping.Get(), FILE_MAP_READ, 0, 0, 0);
    if (!view) return GetLastError() == ERROR_NOT_ENOUGH_MEMORY ? FileRead::kNoMemory : FileRead::kCannotRead;
    *bytes = static_cast<const uint8_t*>(view);
    *size = length;
    return FileRead::kDone;
}

void UnmapFile(const uint8_t* bytes, uint32_t) {
    if (bytes) UnmapViewOfFile(bytes);
}

namespace {

bool WriteAll(XC_File& file, const FilePiece* pieces, size_t count) {
    bool ok = true;
    for (size_t i = 0; ok && i < count; ++i) ok = pieces[i].count == 0 || file.Write(pieces[i].bytes, pieces[i].count);
    return ok;
}

}  // namespace

bool WriteFilePieces(const char* path, const FilePiece* pieces, size_t count, uint32_t attributes) {
    XC_File file(CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                             attributes ? attributes : FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.IsOpen()) return false;
    const bool ok = WriteAll(file, pieces, count);
    FlushFileBuffers(file.Get());
    return ok;
}

struct ReplacementFile::State {
    std::string path;
    char temporary[MAX_PATH] = {};
    XC_File file;
};

ReplacementFile::ReplacementFile() : state_(new State) {}

ReplacementFile::~ReplacementFile() {
    if (!state_->file.IsOpen()) return;
    state_->file.Reset(nullptr);
    DeleteFileA(state_->temporary);
}

bool ReplacementFile::Open(const char* path) {
    if (state_->file.IsOpen() || !IsRegularOrMissing(path)) return false;
    const std::string target = path;
    const size_t slash = target.find_last_of("\\/");
    const std::string folder = slash == std::string::npos ? std::string(".") : target.substr(0, slash + 1);
    // Creates a new, empty file of a unique name: the only file this class ever removes.
    if (!GetTempFileNameA(folder.c_str(), "tvk", 0, state_->temporary)) return false;
    state_->file.Reset(
        CreateFileA(state_->temporary, GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!state_->file.IsOpen()) {
        DeleteFileA(state_->temporary);
        return false;
    }
    state_->path = path;
    return true;
}

bool ReplacementFile::WriteAt(uint64_t offset, const void* bytes, uint32_t count) {
    if (count == 0) return true;
    // On a handle opened without FILE_FLAG_OVERLAPPED the write starts at the structure's
    // offset and is complete when WriteFile returns.
    OVERLAPPED at{};
    at.Offset = DWORD(offset);
    at.OffsetHigh = DWORD(offset >> 32);
    DWORD written = 0;
    return WriteFile(state_->file.Get(), bytes, count, &written, &at) && written == count;
}

bool ReplacementFile::Commit() {
    if (!state_->file.IsOpen()) return false;
    bool ok = FlushFileBuffers(state_->file.Get()) != 0;
    state_->file.Reset(nullptr);
    ok = ok && MoveFileExA(state_->temporary, state_->path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    if (!ok) DeleteFileA(state_->temporary);
    return ok;
}

namespace {

// Volume and file index of an existing file, opened without any access to its data.
bool FileIdentity(const char* path, BY_HANDLE_FILE_INFORMATION* info) {
    XC_File file(CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                             FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    return file.IsOpen() && GetFileInformationByHandle(file.Get(), info);
}

}  // namespace

bool IsSameFile(const char* first, const char* second) {
    BY_HANDLE_FILE_INFORMATION one, two;
    return FileIdentity(first, &one) && FileIdentity(second, &two) &&
           one.dwVolumeSerialNumber == two.dwVolumeSerialNumber && one.nFileIndexHigh == two.nFileIndexHigh &&
           one.nFileIndexLow == two.nFileIndexLow;
}

bool IsRegularOrMissing(const char* path) {
    const DWORD attributes = GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return GetLastError() == ERROR_FILE_NOT_FOUND || GetLastError() == ERROR_PATH_NOT_FOUND;
    return (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) == 0;
}

uint32_t ProcessorCount() {
    DWORD_PTR process = 0, system = 0;
    uint32_t count = 0;
    if (GetProcessAffinityMask(GetCurrentProcess(), &process, &system))
        for (; process != 0; process &= process - 1) ++count;
    return count > 0 ? count : 1;
}

struct BackgroundJob::Thread {
    XC_KernelHandle handle;
};

namespace {
DWORD WINAPI RunJob(void* parameter) {
    (*static_cast<std::function<void()>*>(parameter))();
    return 0;
}
}  // namespace

BackgroundJob::BackgroundJob(std::function<void()> job) : job_(std::move(job)), thread_(new Thread) {
    thread_->handle.Reset(CreateThread(nullptr, 0, RunJob, &job_, 0, nullptr));
    if (!thread_->handle.IsOpen()) job_();
}

BackgroundJob::~BackgroundJob() { Wait(); }

void BackgroundJob::Wait() {
    if (!thread_->handle.IsOpen()) return;
    WaitForSingleObject(thread_->handle.Get(), INFINITE);
    thread_->handle.Reset(nullptr);
}

struct Semaphore::Count {
    XC_KernelHandle handle;
};

Semaphore::Semaphore() : count_(new Count) { count_->handle.Reset(CreateSemaphoreA(nullptr, 0, LONG_MAX, nullptr)); }

Semaphore::~Semaphore() = default;

bool Semaphore::IsReady() const { return count_->handle.IsOpen(); }

void Semaphore::Release() { ReleaseSemaphore(count_->handle.Get(), 1, nullptr); }

void Semaphore::Acquire() { WaitForSingleObject(count_->handle.Get(), INFINITE); }

}  // namespace platform
