// AES against published vectors, the buffer rules (tail complement, in place) and key texts.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "xc_aescipher.h"

namespace {

std::vector<uint8_t> FromHex(const std::string& hex) {
    std::vector<uint8_t> bytes;
    for (size_t i = 0; i + 1 < hex.size(); i += 2) bytes.push_back(uint8_t(std::stoul(hex.substr(i, 2), nullptr, 16)));
    return bytes;
}

std::string TextOf(const std::vector<uint8_t>& bytes) { return std::string(bytes.begin(), bytes.end()); }

std::vector<uint8_t> RandomBytes(size_t count, unsigned seed) {
    std::mt19937 random(seed);
    std::vector<uint8_t> bytes(count);
    for (auto& b : bytes) b = uint8_t(random());
    return bytes;
}

struct KnownAnswer {
    const char* name;
    std::string key_text;  // the key bytes as the text passed to SetKeyText
    const char* plain;
    const char* cipher;
};

// FIPS-197 appendix B (AES-128, key of appendix A.1), and SP 800-38A F.1.1 / F.1.5 (ECB, four
// blocks) with the appendix A.1 and A.3 keys. A key text longer than 32 bytes selects AES-256
// from its first 32 bytes, hence the extra character after the A.3 key.
const KnownAnswer kKnownAnswers[] = {
    {"fips197_appendix_b", TextOf(FromHex("2b7e151628aed2a6abf7158809cf4f3c")), "3243f6a8885a308d313198a2e0370734",
     "3925841d02dc09fbdc118597196a0b32"},
    {"ecb_aes128_four_blocks", TextOf(FromHex("2b7e151628aed2a6abf7158809cf4f3c")),
     "6bc1bee22e409f96e93d7e117393172aae2d8a571e03ac9c9eb76fac45af8e5130c81c46a35ce411e5fbc1191a0a52eff69f244"
     "5df4f9b17ad2b417be66c3710",
     "3ad77bb40d7a3660a89ecaf32466ef97f5d3d58503b9699de785895a96fdbaaf43b1cd7f598ece23881b00e3ed0306887b0c785"
     "e27e8ad3f8223207104725dd4"},
    {"ecb_aes256_four_blocks",
     TextOf(FromHex("603deb1015ca71be2b73aef0857d77811f352c073b6108d72d9810a30914dff4")) + "!",
     "6bc1bee22e409f96e93d7e117393172aae2d8a571e03ac9c9eb76fac45af8e5130c81c46a35ce411e5fbc1191a0a52eff69f244"
     "5df4f9b17ad2b417be66c3710",
     "f3eed1bdb5d2a03c064b5a7e3db181f8591ccb10d410ed26dc5ba74a31362870b6ed21b99ca6f4f9f153e7b1beafed1d23304b7"
     "a39f9f3ff067d8d8f9e24ecc7"},
};

void PrintTo(const KnownAnswer& vector, std::ostream* out) { *out << vector.name; }

class AesKnownAnswer : public testing::TestWithParam<KnownAnswer> {};

TEST_P(AesKnownAnswer, BlocksAndBuffersMatchTheVector) {
    const KnownAnswer& vector = GetParam();
    XC_AesCipher cipher;
    cipher.SetKeyText(vector.key_text.c_str());
    const std::vector<uint8_t> plain = FromHex(vector.plain), expected = FromHex(vector.cipher);

    uint8_t block[16];
    cipher.EncryptBlock(plain.data(), block);
    EXPECT_EQ(std::vector<uint8_t>(block, block + 16), std::vector<uint8_t>(expected.begin(), expected.begin() + 16));
    cipher.DecryptBlock(expected.data(), block);
    EXPECT_EQ(std::vector<uint8_t>(block, block + 16), std::vector<uint8_t>(plain.begin(), plain.begin() + 16));

    std::vector<uint8_t> buffer = plain;
    ASSERT_TRUE(cipher.EncryptBuffer(buffer.data(), uint32_t(buffer.size())));
    EXPECT_EQ(buffer, expected);
    ASSERT_TRUE(cipher.DecryptBuffer(buffer.data(), uint32_t(buffer.size())));
    EXPECT_EQ(buffer, plain);
}

INSTANTIATE_TEST_SUITE_P(Vectors, AesKnownAnswer, testing::ValuesIn(kKnownAnswers),
                         [](const testing::TestParamInfo<KnownAnswer>& info) { return std::string(info.param.name); });

XC_AesCipher PayloadCipher() {
    XC_AesCipher cipher;
    cipher.SetKeyText("Qz_R.N.T");
    return cipher;
}

TEST(AesBuffer, WholeBlocksAreEncryptedAndTheTailIsComplemented) {
    const XC_AesCipher cipher = PayloadCipher();
    for (uint32_t length : {16u, 32u, 5u, 16u * 3 + 5, 16u * 9 + 15}) {
        SCOPED_TRACE(length);
        const std::vector<uint8_t> plain = RandomBytes(length, length);
        std::vector<uint8_t> buffer = plain;
        ASSERT_TRUE(cipher.EncryptBuffer(buffer.data(), length));
        const uint32_t whole = length - length % 16;
        for (uint32_t offset = 0; offset < whole; offset += 16) {
            uint8_t block[16];
            cipher.EncryptBlock(plain.data() + offset, block);
            EXPECT_EQ(0, memcmp(block, buffer.data() + offset, 16)) << "block at " << offset;
        }
        for (uint32_t i = whole; i < length; ++i) EXPECT_EQ(uint8_t(~plain[i]), buffer[i]) << "tail byte " << i;
    }
}

// The buffer functions may take a faster path than the block functions; both must agree, for
// any number of blocks and tail.
TEST(AesBuffer, RoundTripsAndAgreesWithTheBlockFunctions) {
    const XC_AesCipher cipher = PayloadCipher();
    for (uint32_t length : {1u, 15u, 17u, 63u, 64u, 65u, 4096u + 7, 1024u * 1024 + 3}) {
        SCOPED_TRACE(length);
        const std::vector<uint8_t> plain = RandomBytes(length, length + 1);
        std::vector<uint8_t> buffer = plain;
        ASSERT_TRUE(cipher.EncryptBuffer(buffer.data(), length));
        std::vector<uint8_t> by_blocks = plain;
        for (uint32_t offset = 0; offset + 16 <= length; offset += 16)
            cipher.EncryptBlock(by_blocks.data() + offset, by_blocks.data() + offset);
        for (uint32_t i = length - length % 16; i < length; ++i) by_blocks[i] = uint8_t(~by_blocks[i]);
        EXPECT_EQ(buffer, by_blocks);
        ASSERT_TRUE(cipher.DecryptBuffer(buffer.data(), length));
        EXPECT_EQ(buffer, plain);
    }
}

// Any range of a sealed buffer reads back as the same range of the whole buffer decrypted:
// ranges that start and end inside blocks, run of whole blocks, and reach into the tail.
TEST(AesBuffer, RangesDecryptLikeTheWholeBuffer) {
    const XC_AesCipher cipher = PayloadCipher();
    for (uint32_t length : {5u, 16u, 53u, 16u * 40 + 9}) {
        const std::vector<uint8_t> plain = RandomBytes(length, length);
        std::vector<uint8_t> sealed = plain;
        cipher.EncryptBuffer(sealed.data(), length);
        for (uint32_t offset = 0; offset <= length; ++offset) {
            for (uint32_t count : {0u, 1u, 15u, 16u, 17u, 40u, length}) {
                if (count > length - offset) continue;
                std::vector<uint8_t> out(count + 1, 0xEE);
                ASSERT_TRUE(cipher.DecryptRange(sealed.data(), length, offset, out.data(), count));
                EXPECT_TRUE(std::equal(out.begin(), out.begin() + count, plain.begin() + offset))
                    << length << " " << offset << " " << count;
                EXPECT_EQ(0xEE, out[count]);  // nothing written past the range
            }
        }
        uint8_t out[2];
        EXPECT_FALSE(cipher.DecryptRange(sealed.data(), length, length, out, 1));
        EXPECT_FALSE(cipher.DecryptRange(sealed.data(), length, length + 1, out, 0));
    }
}

TEST(AesBuffer, NullOrEmptyBufferIsRefused) {
    const XC_AesCipher cipher = PayloadCipher();
    uint8_t byte = 0x5a;
    EXPECT_FALSE(cipher.EncryptBuffer(nullptr, 16));
    EXPECT_FALSE(cipher.DecryptBuffer(nullptr, 16));
    EXPECT_FALSE(cipher.EncryptBuffer(&byte, 0));
    EXPECT_FALSE(cipher.DecryptBuffer(&byte, 0));
    EXPECT_EQ(0x5a, byte);
}

std::vector<uint8_t> EncryptWith(const char* key_text) {
    XC_AesCipher cipher;
    cipher.SetKeyText(key_text);
    std::vector<uint8_t> buffer(48, 0x11);
    cipher.EncryptBuffer(buffer.data(), uint32_t(buffer.size()));
    return buffer;
}

TEST(AesKeyText, OnlyTheBytesThatMakeTheKeyCount) {
    // Up to 32 bytes: AES-128 from the first 16, zero padded.
    EXPECT_EQ(EncryptWith("ABCDEFGHIJKLMNOPQRST"), EncryptWith("ABCDEFGHIJKLMNOP"));
    EXPECT_EQ(EncryptWith("ABCDEFGHIJKLMNOPQRSTUVWXYZ012345"), EncryptWith("ABCDEFGHIJKLMNOP"));
    EXPECT_NE(EncryptWith("ABCDEFGHIJKLMNO"), EncryptWith("ABCDEFGHIJKLMNOP"));
    EXPECT_EQ(EncryptWith(nullptr), EncryptWith(""));
    // Above 32 bytes: AES-256 from the first 32.
    EXPECT_EQ(EncryptWith("ABCDEFGHIJKLMNOPQRSTUVWXYZ012345x"), EncryptWith("ABCDEFGHIJKLMNOPQRSTUVWXYZ012345yz"));
    EXPECT_NE(EncryptWith("ABCDEFGHIJKLMNOPQRSTUVWXYZ012345x"), EncryptWith("ABCDEFGHIJKLMNOPQRSTUVWXYZ012345"));
    EXPECT_NE(EncryptWith("ABCDEFGHIJKLMNOPQRSTUVWXYZ012345x"), EncryptWith("ABCDEFGHIJKLMNOPQRSTUVWXYZ012346x"));
}

}  // namespace
