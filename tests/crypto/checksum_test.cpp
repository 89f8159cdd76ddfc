// The MD5 checksum against RFC 1321's test suite, and HashBuffer against the
// standard examples of each digest it offers.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "crypto/crypto.hpp"
#include "crypto_test_support.hpp"

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
    // Bytes after a zero byte count too.
    EXPECT_NE(Checksum(std::string("ab\0cd", 5)), Checksum(std::string("ab\0ce", 5)));
    EXPECT_EQ(
        Checksum(
            "12345678901234567890123456789012345678901234567890123456789012345678901234567890"),
        "57edf4a22be3c955ac49da2e2107b67a");
}

TEST(HashBuffer, GivesLowercaseHexAndRawDigestsOnlyWhenTheHexAreaIsLargeEnough) {
    struct Case {
        uint32_t algorithmId;
        const char* digestOfAbc;
    };
    const Case cases[] = {
        {zv::kAlgorithmMd5, "900150983cd24fb0d6963f7d28e17f72"},
        {zv::kAlgorithmSha1, "a9993e364706816aba3e25717850c26c9cd0d89d"},
        {zv::kAlgorithmSha256, "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
    };
    const uint8_t abc[] = {'a', 'b', 'c'};
    for (const Case& c : cases) {
        const auto hexLength = static_cast<uint32_t>(std::strlen(c.digestOfAbc));
        char hex[129];
        uint8_t raw[64];
        std::memset(hex, '#', sizeof hex);
        std::memset(raw, 0xEE, sizeof raw);
        // One byte short of the terminator: nothing is written.
        EXPECT_EQ(zv::HashBuffer(hex, raw, hexLength, abc, sizeof abc, c.algorithmId), 0);
        EXPECT_EQ(std::string(hex, sizeof hex), std::string(sizeof hex, '#'));
        EXPECT_EQ(raw[0], 0xEE);

        ASSERT_EQ(zv::HashBuffer(hex, raw, hexLength + 1, abc, sizeof abc, c.algorithmId), 1);
        EXPECT_EQ(std::string(hex), c.digestOfAbc);
        EXPECT_EQ(zvtest::ToHex(raw, hexLength / 2), c.digestOfAbc);
        EXPECT_EQ(hex[hexLength + 1], '#');  // nothing written past the terminator
    }
    // 0x8001 and 0x8002 are MD2 and MD4, which the library does not offer.
    char hex[129];
    uint8_t raw[64];
    for (const uint32_t algorithm : {0u, 0x8001u, 0x8002u, 0x800Du, 0x6610u}) {
        EXPECT_EQ(zv::HashBuffer(hex, raw, sizeof hex, abc, sizeof abc, algorithm), 0) << algorithm;
    }
}

}  // namespace
