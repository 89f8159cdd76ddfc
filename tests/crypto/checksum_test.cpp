// Every checksum engine this machine can run, each forced in turn: MD5 against
// RFC 1321's test suite and an independent MD5, fed whole and in pieces; and
// encryption with the checksum taken on the way against an independent cipher
// and MD5. Then HashBuffer's hex form.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "crypto/checksum_engine.hpp"
#include "crypto/crypto.hpp"
#include "crypto/payload_digest.hpp"
#include "crypto_test_support.hpp"

using zvtest::Bytes;

namespace {

std::vector<const zv::ChecksumEngine*> AvailableEngines() {
    std::vector<const zv::ChecksumEngine*> engines{&zv::ServiceChecksumEngine(),
                                                   &zv::PortableChecksumEngine()};
    if (zv::StitchedChecksumEngine() != nullptr) engines.push_back(zv::StitchedChecksumEngine());
    return engines;
}

class ChecksumEngineTest : public ::testing::TestWithParam<const zv::ChecksumEngine*> {
protected:
    void SetUp() override { zv::OverrideChecksumEngineForTesting(GetParam()); }
    void TearDown() override { zv::OverrideChecksumEngineForTesting(nullptr); }
};

std::string Checksum(const std::string& data) {
    uint8_t* digest = zv::ComputeChecksum(reinterpret_cast<const uint8_t*>(data.data()),
                                          static_cast<uint32_t>(data.size()));
    if (digest == nullptr) return "<null>";
    const std::string hex = zvtest::ToHex(digest, zv::kChecksumSize);
    std::free(digest);
    return hex;
}

// The digest of data fed in two pieces, cut at split.
Bytes DigestInTwoPieces(const Bytes& data, std::size_t split) {
    zv::PayloadDigest digest;
    digest.Update(data.data(), split);
    digest.Update(data.data() + split, data.size() - split);
    uint8_t checksum[zv::kChecksumSize];
    if (!digest.Finish(checksum)) return {};
    return Bytes(checksum, checksum + sizeof checksum);
}

TEST_P(ChecksumEngineTest, ReproducesTheMd5TestSuite) {
    EXPECT_EQ(Checksum(""), "d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(Checksum("a"), "0cc175b9c0f1b6a831c399e269772661");
    EXPECT_EQ(Checksum("abc"), "900150983cd24fb0d6963f7d28e17f72");
    EXPECT_EQ(Checksum("message digest"), "f96b697d7cb7938d525a2f31aaf161d0");
    EXPECT_EQ(Checksum("abcdefghijklmnopqrstuvwxyz"), "c3fcd3d76192e4007dfb496cca67e13b");
    // Bytes after a zero byte count too.
    EXPECT_NE(Checksum(std::string("ab\0cd", 5)), Checksum(std::string("ab\0ce", 5)));
    EXPECT_EQ(
        Checksum(
            "12345678901234567890123456789012345678901234567890123456789012345678901234567890"),
        "57edf4a22be3c955ac49da2e2107b67a");
}

TEST_P(ChecksumEngineTest, AgreesWithTheReferenceMd5WholeAndInPieces) {
    std::mt19937 generator(1321);
    std::uniform_int_distribution<std::size_t> length(0, 4096);
    for (int round = 0; round < 200; ++round) {
        const Bytes data = zvtest::RandomBytes(generator, length(generator));
        ASSERT_EQ(DigestInTwoPieces(data, data.size()), zvtest::ReferenceMd5(data)) << data.size();
    }
    // Every cut of 1 KiB, across and on block boundaries and the padding's.
    const Bytes data = zvtest::RandomBytes(generator, 1024);
    const Bytes expected = zvtest::ReferenceMd5(data);
    for (std::size_t split = 0; split <= data.size(); ++split) {
        ASSERT_EQ(DigestInTwoPieces(data, split), expected) << split;
    }
}

TEST_P(ChecksumEngineTest, EncryptsInPlaceAndDigestsTheCiphertext) {
    // The request of the protocol's worked example: 20 bytes of UTF-8 under
    // its key give 32 bytes of ciphertext and their MD5.
    const std::string key = "Zorvat-example-key-0123456789AB!";
    const auto* keyBytes = reinterpret_cast<const uint8_t*>(key.data());
    Bytes data = zvtest::FromHex("5230303030303030311f4c49535420434146c389");
    ASSERT_EQ(zv::PaddedPayloadLength(20), 32u);
    data.resize(32);
    uint8_t checksum[zv::kChecksumSize];
    // Unpadded, the length is no whole number of blocks and is refused.
    EXPECT_FALSE(zv::EncryptInPlaceAndDigest(keyBytes, nullptr, data.data(), 20, checksum));
    zv::PadPayload(data.data(), 20);
    ASSERT_TRUE(zv::EncryptInPlaceAndDigest(keyBytes, nullptr, data.data(), 32, checksum));
    EXPECT_EQ(zvtest::ToHex(data),
              "386c4d0dff89f703f303d670f08bb3d68528ad1a3f7f84b79d7cbbf1857105e9");
    EXPECT_EQ(zvtest::ToHex(checksum, sizeof checksum), "eb3a02da8b3bf8f9b1383cc89c09327a");

    // Random keys, vectors and lengths against the reference cipher and MD5:
    // 1 to 40 blocks cover every remainder beside whole 64-byte chunks.
    std::mt19937 generator(642);
    std::vector<std::size_t> blockCounts;
    for (std::size_t blocks = 1; blocks <= 40; ++blocks) blockCounts.push_back(blocks);
    blockCounts.insert(blockCounts.end(), {1024, 4099});
    for (const std::size_t blocks : blockCounts) {
        const Bytes randomKey = zvtest::RandomBytes(generator, 32);
        const Bytes iv = zvtest::RandomBytes(generator, 16);
        Bytes buffer = zvtest::RandomBytes(generator, 16 * blocks);
        const Bytes expected = zvtest::ReferenceCbc(true, randomKey, iv, buffer, false);
        ASSERT_TRUE(zv::EncryptInPlaceAndDigest(randomKey.data(), iv.data(), buffer.data(),
                                                static_cast<uint32_t>(buffer.size()), checksum));
        ASSERT_EQ(buffer, expected) << blocks;
        ASSERT_EQ(Bytes(checksum, checksum + sizeof checksum), zvtest::ReferenceMd5(expected))
            << blocks;
    }
}

INSTANTIATE_TEST_SUITE_P(Engines, ChecksumEngineTest, ::testing::ValuesIn(AvailableEngines()),
                         [](const auto& info) { return std::string(info.param->name); });

TEST(HashBuffer, GivesLowercaseHexAndRawMd5OnlyWhenTheHexAreaIsLargeEnough) {
    const char* digestOfAbc = "900150983cd24fb0d6963f7d28e17f72";
    const uint8_t abc[] = {'a', 'b', 'c'};
    char hex[40];
    uint8_t raw[16];
    std::memset(hex, '#', sizeof hex);
    std::memset(raw, 0xEE, sizeof raw);
    // One byte short of the terminator: nothing is written.
    EXPECT_EQ(zv::HashBuffer(hex, raw, 32, abc, sizeof abc, zv::kAlgorithmMd5), 0);
    EXPECT_EQ(std::string(hex, sizeof hex), std::string(sizeof hex, '#'));
    EXPECT_EQ(raw[0], 0xEE);

    ASSERT_EQ(zv::HashBuffer(hex, raw, 33, abc, sizeof abc, zv::kAlgorithmMd5), 1);
    EXPECT_EQ(std::string(hex), digestOfAbc);
    EXPECT_EQ(zvtest::ToHex(raw, sizeof raw), digestOfAbc);
    EXPECT_EQ(hex[33], '#');  // nothing written past the terminator

    // MD2, MD4, SHA-1, SHA-256 and others are not offered.
    for (const uint32_t algorithm : {0u, 0x8001u, 0x8002u, 0x8004u, 0x800Cu, 0x800Du, 0x6610u}) {
        EXPECT_EQ(zv::HashBuffer(hex, raw, sizeof hex, abc, sizeof abc, algorithm), 0) << algorithm;
    }
}

}  // namespace
