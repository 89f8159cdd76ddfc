// The MD5 checksum and HashBuffer, against RFC 1321's examples and an
// independent implementation's digests.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <random>
#include <string>

#include "crypto/crypto.hpp"
#include "crypto_test_support.hpp"

using zvtest::Bytes;

namespace {

std::string Checksum(const std::string& data) {
    uint8_t* digest = zv::ComputeChecksum(reinterpret_cast<const uint8_t*>(data.data()),
                                          static_cast<uint32_t>(data.size()));
    if (digest == nullptr) return "<null>";
    const std::string hex = zvtest::ToHex(digest, zv::kChecksumSize);
    std::free(digest);
    return hex;
}

TEST(Checksum, ReproducesTheMd5TestSuite) {
    EXPECT_EQ(Checksum(""), "d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(Checksum("a"), "0cc175b9c0f1b6a831c399e269772661");
    EXPECT_EQ(Checksum("abc"), "900150983cd24fb0d6963f7d28e17f72");
    EXPECT_EQ(Checksum("message digest"), "f96b697d7cb7938d525a2f31aaf161d0");
    EXPECT_EQ(Checksum("abcdefghijklmnopqrstuvwxyz"), "c3fcd3d76192e4007dfb496cca67e13b");
    EXPECT_EQ(
        Checksum(
            "12345678901234567890123456789012345678901234567890123456789012345678901234567890"),
        "57edf4a22be3c955ac49da2e2107b67a");
}

TEST(Checksum, CoversEveryGivenByteIncludingZeros) {
    const std::string withZero("ab\0cd", 5);
    EXPECT_NE(Checksum(withZero), Checksum("ab"));
    EXPECT_EQ(Checksum(withZero), Checksum(withZero));
    std::string flipped = withZero;
    flipped[4] ^= 0x01;
    EXPECT_NE(Checksum(flipped), Checksum(withZero));
}

struct HashCase {
    uint32_t algorithmId;
    uint32_t digestLength;
};

class HashBufferTest : public ::testing::TestWithParam<HashCase> {};

TEST_P(HashBufferTest, GivesRawAndLowercaseHexDigestLikeTheReference) {
    std::mt19937 generator(1);
    const Bytes input = zvtest::RandomBytes(generator, 1000);
    const Bytes expected = zvtest::ReferenceDigest(GetParam().algorithmId, input);
    const uint32_t expectedLength = static_cast<uint32_t>(expected.size());
    ASSERT_EQ(expectedLength, GetParam().digestLength);

    char hex[129];
    std::memset(hex, '#', sizeof hex);
    uint8_t raw[64] = {};
    ASSERT_EQ(zv::HashBuffer(hex, raw, 2 * expectedLength + 1, input.data(),
                             static_cast<uint32_t>(input.size()), GetParam().algorithmId),
              1);
    EXPECT_EQ(std::string(hex), zvtest::ToHex(expected));
    EXPECT_EQ(0, std::memcmp(raw, expected.data(), expectedLength));
    EXPECT_EQ(hex[2 * expectedLength + 1], '#');  // nothing written past the terminator
}

TEST_P(HashBufferTest, AHexAreaOneByteShortFailsWithoutWriting) {
    const uint8_t input[] = {1, 2, 3};
    const uint32_t digestLength = GetParam().digestLength;
    char hex[129];
    std::memset(hex, '#', sizeof hex);
    uint8_t raw[64];
    std::memset(raw, 0xEE, sizeof raw);
    EXPECT_EQ(
        zv::HashBuffer(hex, raw, 2 * digestLength, input, sizeof input, GetParam().algorithmId), 0);
    EXPECT_EQ(std::string(hex, sizeof hex), std::string(sizeof hex, '#'));
    EXPECT_EQ(Bytes(raw, raw + sizeof raw), Bytes(sizeof raw, 0xEE));
}

INSTANTIATE_TEST_SUITE_P(Algorithms, HashBufferTest,
                         ::testing::Values(HashCase{zv::kAlgorithmMd5, 16},
                                           HashCase{zv::kAlgorithmSha1, 20},
                                           HashCase{zv::kAlgorithmSha256, 32}));

TEST(HashBuffer, AnUnknownAlgorithmFails) {
    char hex[129];
    uint8_t raw[64];
    const uint8_t input[] = {1};
    // 0x8001 and 0x8002 are MD2 and MD4, which the library does not offer.
    for (const uint32_t algorithm : {0u, 0x8001u, 0x8002u, 0x800Du, 0x6610u}) {
        EXPECT_EQ(zv::HashBuffer(hex, raw, sizeof hex, input, sizeof input, algorithm), 0)
            << algorithm;
    }
}

}  // namespace
