// AES (FIPS-197) in electronic-codebook mode over whole buffers, keyed from a text.
#pragma once
#include <cstdint>

class XC_AesCipher {
public:
    // Up to 32 bytes of text: AES-128 from the first 16 (zero padded); longer: AES-256 from 32.
    void SetKeyText(const char* text);
    // Complete 16-byte blocks are transformed; the 0..15 bytes left over are complemented.
    bool EncryptBuffer(uint8_t* bytes, uint32_t length) const;
    bool DecryptBuffer(uint8_t* bytes, uint32_t length) const;
    // Bytes [offset, offset + count) of a buffer of `length` bytes that EncryptBuffer sealed,
    // decrypted into `out` while the sealed bytes are only read: what DecryptBuffer would leave
    // there. False when the range passes the end.
    bool DecryptRange(const uint8_t* sealed, uint32_t length, uint32_t offset, uint8_t* out, uint32_t count) const;
    void EncryptBlock(const uint8_t in[16], uint8_t out[16]) const;
    void DecryptBlock(const uint8_t in[16], uint8_t out[16]) const;

private:
    uint32_t rounds_ = 0;
    // Round keys as bytes, 16 per round: encryption order, and the equivalent inverse cipher's.
    alignas(16) uint8_t encrypt_keys_[15 * 16] = {};
    alignas(16) uint8_t decrypt_keys_[15 * 16] = {};
};
