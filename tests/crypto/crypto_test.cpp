// Payload encryption and checksums on every pair of engines this machine can
// run: the standards' known answers, agreement with OpenSSL on random inputs,
// whole and in pieces, and the refusal of payloads that cannot be ours.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <random>
#include <stdexcept>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "crypto/aes.hpp"
#include "crypto/checksum_engine.hpp"
#include "crypto/crypto.hpp"
#include "crypto/payload_digest.hpp"
#include "strings/strings.hpp"

#ifndef _WIN32
#include <openssl/evp.h>
#endif

namespace {

using Bytes = std::vector<uint8_t>;

Bytes FromHex(std::string_view hex) {
    Bytes bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
        bytes.push_back(
            static_cast<uint8_t>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16)));
    }
    return bytes;
}

Bytes RandomBytes(std::mt19937& generator, std::size_t size) {
    std::uniform_int_distribution<int> byte(0, 255);
    Bytes bytes(size);
    for (auto& b : bytes) b = static_cast<uint8_t>(byte(generator));
    return bytes;
}

Bytes Encrypt(const Bytes& plaintext, const Bytes& key, const uint8_t* iv = nullptr) {
    uint32_t length = 0;
    const zv::MallocPtr<uint8_t> block(zv::EncryptPayload(
        plaintext.data(), static_cast<uint32_t>(plaintext.size()), &length, iv, key.data()));
    if (!block) return {};
    return Bytes(block.get(), block.get() + length);
}

// The plaintext, or "<null>" when DecryptPayload refused.
std::string Decrypt(Bytes ciphertext, const Bytes& key, const uint8_t* iv = nullptr,
                    bool terminate = true) {
    uint32_t plainLength = 0;
    const zv::MallocPtr<uint8_t> plain(zv::DecryptPayload(ciphertext.data(),
                                                          static_cast<uint32_t>(ciphertext.size()),
                                                          &plainLength, iv, key.data(), terminate));
    if (!plain) return "<null>";
    EXPECT_TRUE(!terminate || plain.get()[plainLength] == 0);
    return std::string(reinterpret_cast<const char*>(plain.get()), plainLength);
}

std::vector<const zv::AesEngine*> AesEngines() {
    std::vector<const zv::AesEngine*> engines{&zv::PortableAesEngine()};
    if (zv::AcceleratedAesEngine() != nullptr) engines.push_back(zv::AcceleratedAesEngine());
    return engines;
}

std::vector<const zv::ChecksumEngine*> ChecksumEngines() {
    std::vector<const zv::ChecksumEngine*> engines{&zv::ServiceChecksumEngine(),
                                                   &zv::PortableChecksumEngine()};
    if (zv::StitchedChecksumEngine() != nullptr) engines.push_back(zv::StitchedChecksumEngine());
    return engines;
}

using Engines = std::tuple<const zv::AesEngine*, const zv::ChecksumEngine*>;

class CryptoEngines : public ::testing::TestWithParam<Engines> {
protected:
    void SetUp() override {
        zv::OverrideAesEngineForTesting(std::get<0>(GetParam()));
        zv::OverrideChecksumEngineForTesting(std::get<1>(GetParam()));
    }
    void TearDown() override {
        zv::OverrideAesEngineForTesting(nullptr);
        zv::OverrideChecksumEngineForTesting(nullptr);
    }
};

TEST_P(CryptoEngines, ReproduceTheKnownAnswers) {
    // SP 800-38A F.2.5 and F.2.6; the padding block follows the example's.
    const Bytes key = FromHex("603deb1015ca71be2b73aef0857d77811f352c073b6108d72d9810a30914dff4");
    const Bytes iv = FromHex("000102030405060708090a0b0c0d0e0f");
    const Bytes plaintext = FromHex(
        "6bc1bee22e409f96e93d7e117393172aae2d8a571e03ac9c9eb76fac45af8e51"
        "30c81c46a35ce411e5fbc1191a0a52eff69f2445df4f9b17ad2b417be66c3710");
    const Bytes ciphertext = Encrypt(plaintext, key, iv.data());
    ASSERT_EQ(ciphertext.size(), 80u);
    EXPECT_EQ(Bytes(ciphertext.begin(), ciphertext.begin() + 64),
              FromHex("f58c4c04d6e5f1ba779eabfb5f7bfbd69cfc4e967edb808d679f777bc6702c7d"
                      "39f23369a9d9bacfa530e26304231461b2eb05e2c39be9fcda6c19078c6a9d1b"));
    EXPECT_EQ(Decrypt(ciphertext, key, iv.data()), std::string(plaintext.begin(), plaintext.end()));

    // From RFC 1321's test suite: no text, and one and two blocks of padding.
    const std::pair<std::string, const char*> suite[] = {
        {"", "d41d8cd98f00b204e9800998ecf8427e"},
        {"abc", "900150983cd24fb0d6963f7d28e17f72"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
         "d174ab98d277d9f5a5611c2c9f419d9f"},
        {"1234567890123456789012345678901234567890"
         "1234567890123456789012345678901234567890",
         "57edf4a22be3c955ac49da2e2107b67a"},
    };
    for (const auto& [text, digest] : suite) {
        const zv::MallocPtr<uint8_t> checksum(zv::ComputeChecksum(
            reinterpret_cast<const uint8_t*>(text.data()), static_cast<uint32_t>(text.size())));
        ASSERT_NE(checksum, nullptr);
        EXPECT_EQ(Bytes(checksum.get(), checksum.get() + zv::kChecksumSize), FromHex(digest))
            << text;
    }
}

// Windows has no OpenSSL: there the known answers alone pin the engines.
#ifndef _WIN32

// OpenSSL's AES-256-CBC encryption with PKCS#7 padding.
Bytes ReferenceCbc(const Bytes& key, const Bytes& iv, const Bytes& input) {
    std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)> context(EVP_CIPHER_CTX_new(),
                                                                            EVP_CIPHER_CTX_free);
    Bytes output(input.size() + 16);
    int written = 0;
    int finalWritten = 0;
    if (!context ||
        EVP_EncryptInit_ex(context.get(), EVP_aes_256_cbc(), nullptr, key.data(), iv.data()) != 1 ||
        EVP_EncryptUpdate(context.get(), output.data(), &written, input.data(),
                          static_cast<int>(input.size())) != 1 ||
        EVP_EncryptFinal_ex(context.get(), output.data() + written, &finalWritten) != 1) {
        throw std::runtime_error("OpenSSL AES failed");
    }
    output.resize(static_cast<std::size_t>(written + finalWritten));
    return output;
}

Bytes ReferenceMd5(const Bytes& input) {
    Bytes digest(zv::kChecksumSize);
    if (EVP_Digest(input.data(), input.size(), digest.data(), nullptr, EVP_md5(), nullptr) != 1) {
        throw std::runtime_error("OpenSSL MD5 failed");
    }
    return digest;
}

const Bytes kBuiltInIv = {'R', 'b', '5', 'w', '@', 'G', 'z', '1',
                          'p', 'Q', '8', '$', 'm', 'X', 't', '3'};

TEST_P(CryptoEngines, AgreeWithOpenSslOnRandomInputs) {
    std::mt19937 generator(20240601);
    // Up to 36 blocks meet every remainder of the multi-block decryption
    // paths and of the 64-byte chunks digested beside encryption.
    std::vector<std::size_t> lengths;
    for (std::size_t length = 0; length <= 16 * 35; length += 7) lengths.push_back(length);
    lengths.insert(lengths.end(), {1000, 16 * 257, 16 * 4099 - 1});
    for (const std::size_t length : lengths) {
        const Bytes key = RandomBytes(generator, 32);
        const Bytes iv = RandomBytes(generator, 16);
        const Bytes plaintext = RandomBytes(generator, length);
        // Every other payload goes under the built-in vector.
        const bool builtIn = length % 2 == 0;
        const uint8_t* givenIv = builtIn ? nullptr : iv.data();
        const Bytes ciphertext = Encrypt(plaintext, key, givenIv);
        ASSERT_EQ(ciphertext, ReferenceCbc(key, builtIn ? kBuiltInIv : iv, plaintext)) << length;
        ASSERT_EQ(Decrypt(ciphertext, key, givenIv, builtIn),
                  std::string(plaintext.begin(), plaintext.end()))
            << length;

        // In place, with the checksum taken on the way; only whole blocks.
        Bytes buffer = plaintext;
        buffer.resize(zv::PaddedPayloadLength(static_cast<uint32_t>(length)));
        zv::PadPayload(buffer.data(), static_cast<uint32_t>(length));
        uint8_t checksum[zv::kChecksumSize];
        const auto size = static_cast<uint32_t>(buffer.size());
        EXPECT_FALSE(
            zv::EncryptInPlaceAndDigest(key.data(), givenIv, buffer.data(), size - 1, checksum));
        ASSERT_TRUE(
            zv::EncryptInPlaceAndDigest(key.data(), givenIv, buffer.data(), size, checksum));
        ASSERT_EQ(buffer, ciphertext) << length;
        ASSERT_EQ(Bytes(checksum, checksum + sizeof checksum), ReferenceMd5(ciphertext)) << length;
        // The lengths meet every remainder of MD5's padding, here in two pieces.
        zv::PayloadDigest digest;
        digest.Update(plaintext.data(), length / 3);
        digest.Update(plaintext.data() + length / 3, length - length / 3);
        ASSERT_TRUE(digest.Finish(checksum));
        ASSERT_EQ(Bytes(checksum, checksum + sizeof checksum), ReferenceMd5(plaintext)) << length;
    }
}

#endif

INSTANTIATE_TEST_SUITE_P(Pairs, CryptoEngines,
                         ::testing::Combine(::testing::ValuesIn(AesEngines()),
                                            ::testing::ValuesIn(ChecksumEngines())),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param)->name) + "_" +
                                    std::get<1>(info.param)->name;
                         });

TEST(Payload, RefusesWhatCannotBeOurs) {
    std::mt19937 generator(99);
    const Bytes key = RandomBytes(generator, 32);
    // Lengths that are not whole blocks.
    const Bytes whole = Encrypt(Bytes(40, 'a'), key);
    for (const std::size_t cut : {0, 1, 15, 17, 47}) {
        EXPECT_EQ(Decrypt(Bytes(whole.begin(), whole.begin() + cut), key), "<null>") << cut;
    }
    // Last blocks ending in a count of 0, a count above 16 (with every byte
    // of the block matching it), and counts whose padding bytes differ, each
    // encrypted as it is, without padding; a whole block of padding is valid.
    const std::string body(16, 'b');
    const std::pair<std::string, std::string> cases[] = {
        {std::string(15, 'c') + '\x00', "<null>"},
        {std::string(16, '\x11'), "<null>"},
        {std::string(13, 'c') + "\x04\x03\x03", "<null>"},
        {std::string(1, '\x0f') + std::string(14, '\x10') + '\x10', "<null>"},
        {std::string(16, '\x10'), body},
    };
    for (const auto& [lastBlock, expected] : cases) {
        const std::string padded = body + lastBlock;
        Bytes ciphertext(padded.begin(), padded.end());
        uint8_t checksum[zv::kChecksumSize];
        ASSERT_TRUE(
            zv::EncryptInPlaceAndDigest(key.data(), nullptr, ciphertext.data(), 32, checksum));
        EXPECT_EQ(Decrypt(ciphertext, key), expected) << lastBlock;
    }
    // A length whose padding would overflow 32 bits.
    const uint8_t byte = 0;
    uint32_t length = 0;
    EXPECT_EQ(zv::EncryptPayload(&byte, 0xFFFFFFF5u, &length, nullptr, key.data()), nullptr);
}

TEST(HashBuffer, GivesHexAndRawMd5OnlyWhenTheHexAreaHoldsTheTerminatorToo) {
    const uint8_t abc[] = {'a', 'b', 'c'};
    char hex[34] = {};
    uint8_t raw[16] = {};
    hex[33] = '#';
    EXPECT_EQ(zv::HashBuffer(hex, raw, 32, abc, sizeof abc, zv::kAlgorithmMd5), 0);
    // MD2, MD4, SHA-1 and others are not offered.
    for (const uint32_t algorithm : {0u, 0x8001u, 0x8002u, 0x8004u}) {
        EXPECT_EQ(zv::HashBuffer(hex, raw, sizeof hex, abc, sizeof abc, algorithm), 0);
    }
    EXPECT_EQ(raw[0], 0);
    ASSERT_EQ(zv::HashBuffer(hex, raw, 33, abc, sizeof abc, zv::kAlgorithmMd5), 1);
    EXPECT_STREQ(hex, "900150983cd24fb0d6963f7d28e17f72");
    EXPECT_EQ(Bytes(raw, raw + 16), FromHex(hex));
    EXPECT_EQ(hex[33], '#');
}

}  // namespace
