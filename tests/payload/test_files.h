// Scratch folder and byte-file helpers for the payload tests (native and under Wine).
#pragma once
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "xc_memspace.h"

using Bytes = std::vector<uint8_t>;

class TempFolder {
public:
    TempFolder() {
        std::random_device seed;
        path_ = std::filesystem::temp_directory_path() / ("tarvik-payload-" + std::to_string(seed()));
        std::filesystem::create_directories(path_);
    }
    ~TempFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    std::string File(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

inline Bytes ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteBytes(const std::string& path, const Bytes& bytes) {
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

inline Bytes RandomBytes(size_t count, unsigned seed) {
    std::mt19937 random(seed);
    Bytes bytes(count);
    for (auto& b : bytes) b = uint8_t(random());
    return bytes;
}

inline Bytes BytesOf(const XC_MemSpace& block) { return Bytes(block.data, block.data + block.size); }

inline void Fill(XC_MemSpace* block, const Bytes& bytes) {
    block->Allocate(uint32_t(bytes.size()), 0);
    if (!bytes.empty()) std::copy(bytes.begin(), bytes.end(), block->data);
}
