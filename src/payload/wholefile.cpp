// Whole-file helpers: argument checks here, the file calls in the platform layer.
#include "wholefile.h"

#include <cstring>

#include "platform.h"
#include "xc_memspace.h"

bool ReadWholeFile(const char* path, XC_MemSpace* block) { return ReadWholeFileStatus(path, block) == FileRead::kDone; }

FileRead ReadWholeFileStatus(const char* path, XC_MemSpace* block) {
    if (!path || !*path || !block) return FileRead::kCannotRead;
    platform::InputFile file;
    uint32_t size = 0;
    const FileRead opened = file.Open(path, &size);
    if (opened != FileRead::kDone) return opened;
    if (size == 0) {
        block->Allocate(0, 0);
        return FileRead::kDone;
    }
    if (!block->Allocate(size, 0)) return FileRead::kNoMemory;
    return file.Read(block->data, size) ? FileRead::kDone : FileRead::kCannotRead;
}

MappedFile::~MappedFile() { Close(); }

FileRead MappedFile::Open(const char* path) {
    Close();
    if (!path || !*path) return FileRead::kCannotRead;
    return platform::MapFile(path, &bytes_, &size_);
}

void MappedFile::Close() {
    platform::UnmapFile(bytes_, size_);
    bytes_ = nullptr;
    size_ = 0;
}

bool WriteBytesToFile(const char* path, const void* bytes, uint32_t count, uint32_t attributes) {
    if (!path || !*path) return false;
    const FilePiece piece = {bytes, bytes ? count : 0};
    return platform::WriteFilePieces(path, &piece, 1, attributes);
}

bool WriteWholeFile(const char* path, const XC_MemSpace* block, uint32_t attributes) {
    if (!block) return false;
    return WriteBytesToFile(path, block->data, block->size, attributes);
}

bool WritePiecesToFile(const char* path, const FilePiece* pieces, size_t count) {
    if (!path || !*path) return false;
    platform::ReplacementFile file;
    if (!file.Open(path)) return false;
    uint64_t offset = 0;
    for (size_t i = 0; i < count; offset += pieces[i].count, ++i)
        if (!file.WriteAt(offset, pieces[i].bytes, pieces[i].count)) return false;
    return file.Commit();
}

bool WriteTextFile(const char* path, const std::string& text) {
    const FilePiece piece = {text.data(), uint32_t(text.size())};
    return WritePiecesToFile(path, &piece, 1);
}

bool IsSameFile(const char* first, const char* second) {
    return first && second && *first && *second && platform::IsSameFile(first, second);
}

bool IsReplaceableOutput(const char* path) { return path && *path && platform::IsRegularOrMissing(path); }

std::string ReadTextFile(const char* path) {
    XC_MemSpace block;
    if (!ReadWholeFile(path, &block) || !block.data) return std::string();
    const char* text = reinterpret_cast<const char*>(block.data);
    const void* zero = std::memchr(text, 0, block.size);
    return std::string(text, zero ? static_cast<const char*>(zero) - text : block.size);
}
