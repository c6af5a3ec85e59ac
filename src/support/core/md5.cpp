// MD5 message digest as described in RFC 1321, byte-order independent.
#include "md5.h"

#include <cstring>

namespace {

const uint32_t kSines[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391};

const int kShifts[64] = {7,  12, 17, 22, 7,  12, 17, 22, 7,  12, 17, 22, 7,  12, 17, 22, 5,  9,  14, 20, 5,  9,
                         14, 20, 5,  9,  14, 20, 5,  9,  14, 20, 4,  11, 16, 23, 4,  11, 16, 23, 4,  11, 16, 23,
                         4,  11, 16, 23, 6,  10, 15, 21, 6,  10, 15, 21, 6,  10, 15, 21, 6,  10, 15, 21};

uint32_t RotateLeft(uint32_t value, int count) { return (value << count) | (value >> (32 - count)); }

}  // namespace

MD5::MD5() { Reset(); }

void MD5::Reset() {
    state_[0] = 0x67452301;
    state_[1] = 0xefcdab89;
    state_[2] = 0x98badcfe;
    state_[3] = 0x10325476;
    length_ = 0;
}

void MD5::Transform(const uint8_t block[64]) {
    uint32_t words[16];
    for (int i = 0; i < 16; ++i) {
        words[i] = static_cast<uint32_t>(block[i * 4]) | static_cast<uint32_t>(block[i * 4 + 1]) << 8 |
                   static_cast<uint32_t>(block[i * 4 + 2]) << 16 | static_cast<uint32_t>(block[i * 4 + 3]) << 24;
    }
    uint32_t a = state_[0], b = state_[1], c = state_[2], d = state_[3];
    for (int i = 0; i < 64; ++i) {
        uint32_t f;
        int g;
        if (i < 16) {
            f = (b & c) | (~b & d);
            g = i;
        } else if (i < 32) {
            f = (b & d) | (c & ~d);
            g = (5 * i + 1) % 16;
        } else if (i < 48) {
            f = b ^ c ^ d;
            g = (3 * i + 5) % 16;
        } else {
            f = c ^ (b | ~d);
            g = (7 * i) % 16;
        }
        const uint32_t next = b + RotateLeft(a + f + kSines[i] + words[g], kShifts[i]);
        a = d;
        d = c;
        c = b;
        b = next;
    }
    state_[0] += a;
    state_[1] += b;
    state_[2] += c;
    state_[3] += d;
}

void MD5::Update(const void* data, size_t size) {
    const uint8_t* bytes = static_cast<const uint8_t*>(data);
    size_t used = static_cast<size_t>(length_ % 64);
    length_ += size;
    while (size > 0) {
        const size_t take = size < 64 - used ? size : 64 - used;
        memcpy(buffer_ + used, bytes, take);
        used += take;
        bytes += take;
        size -= take;
        if (used == 64) {
            Transform(buffer_);
            used = 0;
        }
    }
}

void MD5::Final(uint8_t digest[16]) {
    const uint64_t bits = length_ * 8;
    uint8_t padding[72] = {0x80};
    const size_t used = static_cast<size_t>(length_ % 64);
    const size_t padSize = used < 56 ? 56 - used : 120 - used;
    for (int i = 0; i < 8; ++i) padding[padSize + i] = static_cast<uint8_t>(bits >> (8 * i));
    Update(padding, padSize + 8);
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 4; ++j) digest[i * 4 + j] = static_cast<uint8_t>(state_[i] >> (8 * j));
    }
    Reset();
}

std::string MD5::HexDigest(const void* data, size_t size) {
    static const char kDigits[] = "0123456789ABCDEF";
    MD5 md5;
    md5.Update(data, size);
    uint8_t digest[16];
    md5.Final(digest);
    std::string text;
    for (uint8_t byte : digest) {
        text += kDigits[byte >> 4];
        text += kDigits[byte & 15];
    }
    return text;
}
