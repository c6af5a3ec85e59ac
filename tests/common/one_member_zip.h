// A ZIP image of one member "N" holding the given bytes as they stand, with the method, sizes and
// CRC-32 a writer claims for them: members the project's own writer never makes, for the
// reader's tests and its fuzzer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// Appends the low `count` bytes of value, least significant first (zeros beyond eight).
inline void PutLittleEndian(std::vector<uint8_t>* out, uint64_t value, int count) {
    for (int i = 0; i < count; ++i) out->push_back(i < 8 ? uint8_t(value >> (8 * i)) : 0);
}

inline std::vector<uint8_t> OneMemberZip(const uint8_t* data, size_t count, uint32_t size, uint32_t crc,
                                         uint16_t method) {
    std::vector<uint8_t> image;
    // The fields the local header and the directory entry share, from "version needed" on.
    const auto fields = [&] {
        PutLittleEndian(&image, 63, 2);
        PutLittleEndian(&image, 0, 2);
        PutLittleEndian(&image, method, 2);
        PutLittleEndian(&image, 0, 4);
        PutLittleEndian(&image, crc, 4);
        PutLittleEndian(&image, count, 4);
        PutLittleEndian(&image, size, 4);
        PutLittleEndian(&image, 1, 2);
        PutLittleEndian(&image, 0, 2);
    };
    PutLittleEndian(&image, 0x04034b50, 4);
    fields();
    image.push_back('N');
    image.insert(image.end(), data, data + count);
    const size_t directory = image.size();
    PutLittleEndian(&image, 0x02014b50, 4);
    PutLittleEndian(&image, 63, 2);
    fields();
    PutLittleEndian(&image, 0, 14);  // comment, disk, attributes, local header at 0
    image.push_back('N');
    const size_t end = image.size();
    PutLittleEndian(&image, 0x06054b50, 4);
    PutLittleEndian(&image, 0, 4);
    PutLittleEndian(&image, 1, 2);
    PutLittleEndian(&image, 1, 2);
    PutLittleEndian(&image, end - directory, 4);
    PutLittleEndian(&image, directory, 4);
    PutLittleEndian(&image, 0, 2);
    return image;
}
