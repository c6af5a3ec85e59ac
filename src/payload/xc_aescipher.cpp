// AES (FIPS-197) for the payload seal. Table-driven portable code, and AES-NI where the CPU
// has it; both use the same round keys (equivalent inverse cipher for decryption) and give
// identical bytes.
#include "xc_aescipher.h"

#include <algorithm>
#include <cstring>

#if defined(__i386__) || defined(__x86_64__)
#include <cpuid.h>
#include <wmmintrin.h>
#define TARVIK_AESNI 1
#endif

namespace {

constexpr uint8_t Xtime(uint8_t x) { return static_cast<uint8_t>((x << 1) ^ ((x & 0x80) ? 0x1b : 0)); }

constexpr uint8_t Multiply(uint8_t a, uint8_t b) {
    uint8_t product = 0;
    for (int bit = 0; bit < 8; ++bit) {
        if (b & 1) product ^= a;
        a = Xtime(a);
        b >>= 1;
    }
    return product;
}

constexpr uint32_t Word(uint8_t b0, uint8_t b1, uint8_t b2, uint8_t b3) {
    return (uint32_t(b0) << 24) | (uint32_t(b1) << 16) | (uint32_t(b2) << 8) | b3;
}

constexpr uint32_t RotateRight8(uint32_t w) { return (w >> 8) | (w << 24); }

struct Tables {
    uint8_t sbox[256] = {};
    uint8_t inverse_sbox[256] = {};
    uint32_t encrypt[4][256] = {};
    uint32_t decrypt[4][256] = {};
};

// The S-box from its definition: multiplicative inverse in GF(2^8), then the affine map. The
// inverses come from powers of the generator 3: inverse(3^k) = 3^(255 - k).
constexpr Tables MakeTables() {
    Tables t;
    uint8_t power[256] = {};
    uint8_t logarithm[256] = {};
    uint8_t p = 1;
    for (int k = 0; k < 255; ++k) {
        power[k] = p;
        logarithm[p] = uint8_t(k);
        p = Multiply(p, 3);
    }
    for (int x = 0; x < 256; ++x) {
        uint8_t s = x == 0 ? 0 : power[(255 - logarithm[x]) % 255];
        uint8_t affine = 0x63;
        for (int shift = 0; shift < 5; ++shift) affine ^= uint8_t((s << shift) | (s >> ((8 - shift) & 7)));
        t.sbox[x] = affine;
        t.inverse_sbox[affine] = uint8_t(x);
    }
    for (int x = 0; x < 256; ++x) {
        uint8_t s = t.sbox[x];
        uint32_t e = Word(Multiply(s, 2), s, s, Multiply(s, 3));
        uint8_t i = t.inverse_sbox[x];
        uint32_t d = Word(Multiply(i, 14), Multiply(i, 9), Multiply(i, 13), Multiply(i, 11));
        for (int k = 0; k < 4; ++k) {
            t.encrypt[k][x] = e;
            t.decrypt[k][x] = d;
            e = RotateRight8(e);
            d = RotateRight8(d);
        }
    }
    return t;
}

constexpr Tables kTables = MakeTables();

inline uint32_t Load(const uint8_t* p) { return Word(p[0], p[1], p[2], p[3]); }

inline void Store(uint8_t* p, uint32_t w) {
    p[0] = uint8_t(w >> 24);
    p[1] = uint8_t(w >> 16);
    p[2] = uint8_t(w >> 8);
    p[3] = uint8_t(w);
}

uint32_t SubWord(uint32_t w) {
    return Word(kTables.sbox[w >> 24], kTables.sbox[(w >> 16) & 0xff], kTables.sbox[(w >> 8) & 0xff],
                kTables.sbox[w & 0xff]);
}

// InvMixColumns of one column: turns an encryption round key into one of the equivalent
// inverse cipher.
uint32_t InverseMixColumn(uint32_t w) {
    uint8_t a = uint8_t(w >> 24), b = uint8_t(w >> 16), c = uint8_t(w >> 8), d = uint8_t(w);
    return Word(Multiply(a, 14) ^ Multiply(b, 11) ^ Multiply(c, 13) ^ Multiply(d, 9),
                Multiply(a, 9) ^ Multiply(b, 14) ^ Multiply(c, 11) ^ Multiply(d, 13),
                Multiply(a, 13) ^ Multiply(b, 9) ^ Multiply(c, 14) ^ Multiply(d, 11),
                Multiply(a, 11) ^ Multiply(b, 13) ^ Multiply(c, 9) ^ Multiply(d, 14));
}

void EncryptPortable(const uint8_t* keys, uint32_t rounds, const uint8_t in[16], uint8_t out[16]) {
    const auto& T = kTables.encrypt;
    uint32_t s0 = Load(in) ^ Load(keys), s1 = Load(in + 4) ^ Load(keys + 4);
    uint32_t s2 = Load(in + 8) ^ Load(keys + 8), s3 = Load(in + 12) ^ Load(keys + 12);
    for (uint32_t round = 1; round < rounds; ++round) {
        const uint8_t* k = keys + 16 * round;
        uint32_t t0 = T[0][s0 >> 24] ^ T[1][(s1 >> 16) & 0xff] ^ T[2][(s2 >> 8) & 0xff] ^ T[3][s3 & 0xff] ^ Load(k);
        uint32_t t1 = T[0][s1 >> 24] ^ T[1][(s2 >> 16) & 0xff] ^ T[2][(s3 >> 8) & 0xff] ^ T[3][s0 & 0xff] ^ Load(k + 4);
        uint32_t t2 = T[0][s2 >> 24] ^ T[1][(s3 >> 16) & 0xff] ^ T[2][(s0 >> 8) & 0xff] ^ T[3][s1 & 0xff] ^ Load(k + 8);
        uint32_t t3 =
            T[0][s3 >> 24] ^ T[1][(s0 >> 16) & 0xff] ^ T[2][(s1 >> 8) & 0xff] ^ T[3][s2 & 0xff] ^ Load(k + 12);
        s0 = t0, s1 = t1, s2 = t2, s3 = t3;
    }
    const uint8_t* S = kTables.sbox;
    const uint8_t* k = keys + 16 * rounds;
    Store(out, Word(S[s0 >> 24], S[(s1 >> 16) & 0xff], S[(s2 >> 8) & 0xff], S[s3 & 0xff]) ^ Load(k));
    Store(out + 4, Word(S[s1 >> 24], S[(s2 >> 16) & 0xff], S[(s3 >> 8) & 0xff], S[s0 & 0xff]) ^ Load(k + 4));
    Store(out + 8, Word(S[s2 >> 24], S[(s3 >> 16) & 0xff], S[(s0 >> 8) & 0xff], S[s1 & 0xff]) ^ Load(k + 8));
    Store(out + 12, Word(S[s3 >> 24], S[(s0 >> 16) & 0xff], S[(s1 >> 8) & 0xff], S[s2 & 0xff]) ^ Load(k + 12));
}

void DecryptPortable(const uint8_t* keys, uint32_t rounds, const uint8_t in[16], uint8_t out[16]) {
    const auto& T = kTables.decrypt;
    uint32_t s0 = Load(in) ^ Load(keys), s1 = Load(in + 4) ^ Load(keys + 4);
    uint32_t s2 = Load(in + 8) ^ Load(keys + 8), s3 = Load(in + 12) ^ Load(keys + 12);
    for (uint32_t round = 1; round < rounds; ++round) {
        const uint8_t* k = keys + 16 * round;
        uint32_t t0 = T[0][s0 >> 24] ^ T[1][(s3 >> 16) & 0xff] ^ T[2][(s2 >> 8) & 0xff] ^ T[3][s1 & 0xff] ^ Load(k);
        uint32_t t1 = T[0][s1 >> 24] ^ T[1][(s0 >> 16) & 0xff] ^ T[2][(s3 >> 8) & 0xff] ^ T[3][s2 & 0xff] ^ Load(k + 4);
        uint32_t t2 = T[0][s2 >> 24] ^ T[1][(s1 >> 16) & 0xff] ^ T[2][(s0 >> 8) & 0xff] ^ T[3][s3 & 0xff] ^ Load(k + 8);
        uint32_t t3 =
            T[0][s3 >> 24] ^ T[1][(s2 >> 16) & 0xff] ^ T[2][(s1 >> 8) & 0xff] ^ T[3][s0 & 0xff] ^ Load(k + 12);
        s0 = t0, s1 = t1, s2 = t2, s3 = t3;
    }
    const uint8_t* S = kTables.inverse_sbox;
    const uint8_t* k = keys + 16 * rounds;
    Store(out, Word(S[s0 >> 24], S[(s3 >> 16) & 0xff], S[(s2 >> 8) & 0xff], S[s1 & 0xff]) ^ Load(k));
    Store(out + 4, Word(S[s1 >> 24], S[(s0 >> 16) & 0xff], S[(s3 >> 8) & 0xff], S[s2 & 0xff]) ^ Load(k + 4));
    Store(out + 8, Word(S[s2 >> 24], S[(s1 >> 16) & 0xff], S[(s0 >> 8) & 0xff], S[s3 & 0xff]) ^ Load(k + 8));
    Store(out + 12, Word(S[s3 >> 24], S[(s2 >> 16) & 0xff], S[(s1 >> 8) & 0xff], S[s0 & 0xff]) ^ Load(k + 12));
}

#ifdef TARVIK_AESNI
bool CpuHasAesNi() {
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
    return __get_cpuid(1, &eax, &ebx, &ecx, &edx) && (ecx & bit_AES) && (edx & bit_SSE2);
}

const bool kHasAesNi = CpuHasAesNi();

template <bool Decrypt>
__attribute__((target("aes,sse2"))) inline __m128i Round(__m128i state, __m128i key) {
    if constexpr (Decrypt) return _mm_aesdec_si128(state, key);
    return _mm_aesenc_si128(state, key);
}

template <bool Decrypt>
__attribute__((target("aes,sse2"))) inline __m128i LastRound(__m128i state, __m128i key) {
    if constexpr (Decrypt) return _mm_aesdeclast_si128(state, key);
    return _mm_aesenclast_si128(state, key);
}

// Four blocks at a time keep the AES unit's pipeline full; ECB blocks are independent.
template <bool Decrypt>
// The stack is realigned here: 32-bit Windows threads may enter with 4-byte alignment.
__attribute__((target("aes,sse2"), force_align_arg_pointer)) void CipherBlocksAesNi(const uint8_t* keys,
                                                                                    uint32_t rounds, uint8_t* bytes,
                                                                                    uint32_t blocks) {
    __m128i k[15];
    for (uint32_t r = 0; r <= rounds; ++r) k[r] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(keys + 16 * r));
    __m128i* p = reinterpret_cast<__m128i*>(bytes);
    uint32_t i = 0;
    for (; i + 4 <= blocks; i += 4) {
        __m128i a = _mm_xor_si128(_mm_loadu_si128(p + i), k[0]);
        __m128i b = _mm_xor_si128(_mm_loadu_si128(p + i + 1), k[0]);
        __m128i c = _mm_xor_si128(_mm_loadu_si128(p + i + 2), k[0]);
        __m128i d = _mm_xor_si128(_mm_loadu_si128(p + i + 3), k[0]);
        for (uint32_t r = 1; r < rounds; ++r) {
            a = Round<Decrypt>(a, k[r]);
            b = Round<Decrypt>(b, k[r]);
            c = Round<Decrypt>(c, k[r]);
            d = Round<Decrypt>(d, k[r]);
        }
        _mm_storeu_si128(p + i, LastRound<Decrypt>(a, k[rounds]));
        _mm_storeu_si128(p + i + 1, LastRound<Decrypt>(b, k[rounds]));
        _mm_storeu_si128(p + i + 2, LastRound<Decrypt>(c, k[rounds]));
        _mm_storeu_si128(p + i + 3, LastRound<Decrypt>(d, k[rounds]));
    }
    for (; i < blocks; ++i) {
        __m128i a = _mm_xor_si128(_mm_loadu_si128(p + i), k[0]);
        for (uint32_t r = 1; r < rounds; ++r) a = Round<Decrypt>(a, k[r]);
        _mm_storeu_si128(p + i, LastRound<Decrypt>(a, k[rounds]));
    }
}
#endif

}  // namespace

void XC_AesCipher::SetKeyText(const char* text) {
    uint32_t length = text ? static_cast<uint32_t>(std::strlen(text)) : 0;
    uint8_t key[64] = {};
    uint32_t key_words = 4;
    if (length <= 32) {
        if (length) std::memcpy(key, text, length);
    } else {
        std::memcpy(key, text, length < 64 ? length : 64);
        key_words = 8;
    }
    rounds_ = key_words + 6;

    // FIPS-197 key expansion into 4 * (rounds + 1) words.
    uint32_t w[60];
    const uint32_t total = 4 * (rounds_ + 1);
    for (uint32_t i = 0; i < key_words; ++i) w[i] = Load(key + 4 * i);
    uint8_t rcon = 1;
    for (uint32_t i = key_words; i < total; ++i) {
        uint32_t temp = w[i - 1];
        if (i % key_words == 0) {
            temp = SubWord((temp << 8) | (temp >> 24)) ^ (uint32_t(rcon) << 24);
            rcon = Xtime(rcon);
        } else if (key_words > 6 && i % key_words == 4) {
            temp = SubWord(temp);
        }
        w[i] = w[i - key_words] ^ temp;
    }
    for (uint32_t i = 0; i < total; ++i) Store(encrypt_keys_ + 4 * i, w[i]);

    // Equivalent inverse cipher: round keys in reverse order, the inner ones through InvMixColumns.
    for (uint32_t round = 0; round <= rounds_; ++round) {
        const uint32_t* source = w + 4 * (rounds_ - round);
        for (uint32_t c = 0; c < 4; ++c) {
            uint32_t word = source[c];
            if (round != 0 && round != rounds_) word = InverseMixColumn(word);
            Store(decrypt_keys_ + 16 * round + 4 * c, word);
        }
    }
}

void XC_AesCipher::EncryptBlock(const uint8_t in[16], uint8_t out[16]) const {
    EncryptPortable(encrypt_keys_, rounds_, in, out);
}

void XC_AesCipher::DecryptBlock(const uint8_t in[16], uint8_t out[16]) const {
    DecryptPortable(decrypt_keys_, rounds_, in, out);
}

namespace {
// The bytes after the last whole block are complemented, which the same call undoes.
void ComplementTail(uint8_t* bytes, uint32_t length) {
    for (uint32_t i = length - length % 16; i < length; ++i) bytes[i] = uint8_t(~bytes[i]);
}
}  // namespace

bool XC_AesCipher::EncryptBuffer(uint8_t* bytes, uint32_t length) const {
    if (!bytes || length < 1) return false;
    const uint32_t blocks = length / 16;
#ifdef TARVIK_AESNI
    if (kHasAesNi) {
        CipherBlocksAesNi<false>(encrypt_keys_, rounds_, bytes, blocks);
        ComplementTail(bytes, length);
        return true;
    }
#endif
    for (uint32_t i = 0; i < blocks; ++i) EncryptBlock(bytes + 16 * i, bytes + 16 * i);
    ComplementTail(bytes, length);
    return true;
}

bool XC_AesCipher::DecryptBuffer(uint8_t* bytes, uint32_t length) const {
    if (!bytes || length < 1) return false;
    const uint32_t blocks = length / 16;
#ifdef TARVIK_AESNI
    if (kHasAesNi) {
        CipherBlocksAesNi<true>(decrypt_keys_, rounds_, bytes, blocks);
        ComplementTail(bytes, length);
        return true;
    }
#endif
    for (uint32_t i = 0; i < blocks; ++i) DecryptBlock(bytes + 16 * i, bytes + 16 * i);
    ComplementTail(bytes, length);
    return true;
}

bool XC_AesCipher::DecryptRange(const uint8_t* sealed, uint32_t length, uint32_t offset, uint8_t* out,
                                uint32_t count) const {
    if (!sealed || !out || offset > length || count > length - offset) return false;
    const uint32_t whole = length - length % 16;  // end of the complete blocks
    while (count > 0 && offset < whole) {
        const uint32_t skip = offset % 16;
        uint32_t done;
        if (skip == 0 && count >= 16) {
            done = std::min(count, whole - offset) & ~15u;  // a run of whole blocks, decrypted at once
            std::memcpy(out, sealed + offset, done);
            DecryptBuffer(out, done);
        } else {
            uint8_t plain[16];
            DecryptBlock(sealed + offset - skip, plain);
            done = std::min(count, 16 - skip);
            std::memcpy(out, plain + skip, done);
        }
        offset += done;
        out += done;
        count -= done;
    }
    for (; count > 0; --count) *out++ = uint8_t(~sealed[offset++]);  // the tail is only complemented
    return true;
}
