// Whole-file reads and writes in one call each. None of them creates folders.
#pragma once
#include <cstdint>
#include <string>

class XC_MemSpace;

// Outcome of reading a whole file, for callers that tell a person why it failed.
enum class FileRead : uint8_t {
    kDone,
    kCannotRead,  // missing, a folder, or the read failed
    kTooLarge,    // 4 GiB or more: sizes are 32-bit
    kNoMemory,
};

// One part of a file being written, in file order.
struct FilePiece {
    const void* bytes;
    uint32_t count;
};

// A whole file mapped read-only for as long as the object lives.
class MappedFile {
public:
    MappedFile() = default;
    ~MappedFile();
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;

    FileRead Open(const char* path);
    const uint8_t* Data() const { return bytes_; }
    uint32_t Size() const { return size_; }

private:
    void Close();
    const uint8_t* bytes_ = nullptr;
    uint32_t size_ = 0;
};

bool ReadWholeFile(const char* path, XC_MemSpace* block);
FileRead ReadWholeFileStatus(const char* path, XC_MemSpace* block);
bool WriteBytesToFile(const char* path, const void* bytes, uint32_t count, uint32_t attributes);
bool WriteWholeFile(const char* path, const XC_MemSpace* block, uint32_t attributes);
// Writes the pieces one after another into a new file in path's folder and renames it over
// path once complete: a failed write leaves whatever was at path untouched (an older
// installer, the stub being packed) and no half-written file behind. Refused when path exists
// and is not a regular file.
bool WritePiecesToFile(const char* path, const FilePiece* pieces, size_t count);
// text as the whole file at path, as WritePiecesToFile writes it.
bool WriteTextFile(const char* path, const std::string& text);
// True when both paths name one existing file: an output that is one of the inputs.
bool IsSameFile(const char* first, const char* second);
// True when path names nothing yet or a regular file, which WritePiecesToFile may replace.
bool IsReplaceableOutput(const char* path);
// The file's bytes up to the first zero byte; empty when unreadable.
std::string ReadTextFile(const char* path);
