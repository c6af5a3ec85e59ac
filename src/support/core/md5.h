// MD5 message digest (RFC 1321), for the computer identifiers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class MD5 {
public:
    MD5();

    void Update(const void* data, size_t size);
    // Writes the 16-byte digest; the object is then reset for a new message.
    void Final(uint8_t digest[16]);

    // The digest of data as 32 uppercase hexadecimal digits.
    static std::string HexDigest(const void* data, size_t size);

private:
    void Reset();
    void Transform(const uint8_t block[64]);

    uint32_t state_[4];
    uint64_t length_;  // message length in bytes so far
    uint8_t buffer_[64];
};
