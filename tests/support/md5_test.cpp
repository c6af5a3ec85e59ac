// MD5 against the RFC 1321 test suite and the padding boundaries around one block.
#include "md5.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>

namespace {

struct DigestCase {
    std::string input;
    const char* digest;
};

class MD5Digest : public ::testing::TestWithParam<DigestCase> {};

TEST_P(MD5Digest, MatchesKnownDigest) {
    const DigestCase& c = GetParam();
    EXPECT_EQ(c.digest, MD5::HexDigest(c.input.data(), c.input.size()));
}

// Bytes fed in uneven pieces must give the digest of the whole.
TEST_P(MD5Digest, PiecewiseUpdateMatches) {
    const DigestCase& c = GetParam();
    MD5 md5;
    size_t offset = 0;
    for (size_t piece = 1; offset < c.input.size(); piece = piece * 3 + 1) {
        const size_t take = std::min(piece, c.input.size() - offset);
        md5.Update(c.input.data() + offset, take);
        offset += take;
    }
    uint8_t digest[16];
    md5.Final(digest);
    char text[33];
    for (int i = 0; i < 16; ++i) snprintf(text + i * 2, 3, "%02X", digest[i]);
    EXPECT_EQ(c.digest, std::string(text));
}

INSTANTIATE_TEST_SUITE_P(Rfc1321AndBoundaries, MD5Digest,
                         ::testing::Values(DigestCase{"", "D41D8CD98F00B204E9800998ECF8427E"},
                                           DigestCase{"a", "0CC175B9C0F1B6A831C399E269772661"},
                                           DigestCase{"abc", "900150983CD24FB0D6963F7D28E17F72"},
                                           DigestCase{"message digest", "F96B697D7CB7938D525A2F31AAF161D0"},
                                           DigestCase{"abcdefghijklmnopqrstuvwxyz", "C3FCD3D76192E4007DFB496CCA67E13B"},
                                           DigestCase{"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
                                                      "D174AB98D277D9F5A5611C2C9F419D9F"},
                                           DigestCase{
                                               "1234567890123456789012345678901234567890123456789012345678901234567890"
                                               "1234567890",
                                               "57EDF4A22BE3C955AC49DA2E2107B67A"},
                                           DigestCase{std::string(55, 'a'), "EF1772B6DFF9A122358552954AD0DF65"},
                                           DigestCase{std::string(56, 'a'), "3B0C8AC703F828B04C6C197006D17218"},
                                           DigestCase{std::string(63, 'a'), "B06521F39153D618550606BE297466D5"},
                                           DigestCase{std::string(64, 'a'), "014842D480B571495A4A0363793F7367"},
                                           DigestCase{std::string(65, 'a'), "C743A45E0D2E6A95CB859ADAE0248435"},
                                           DigestCase{std::string(1000, 'a'), "CABE45DCC9AE5B66BA86600CCA6B8BA8"}));

// High bytes (GBK text) are digested as unsigned bytes.
TEST(MD5Bytes, HighBytesDigestAsUnsigned) {
    const unsigned char gbk[] = {0xBC, 0xA4, 0xB9, 0xE2};
    EXPECT_EQ("9F180289FE4E24E9D2861BEDDE4EC436", MD5::HexDigest(gbk, sizeof(gbk)));
}

}  // namespace
