// Every AES engine this machine can run, the portable one forced, against the
// standards' examples and an independent cipher on random keys, vectors and
// lengths; and CBC chaining across calls.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "crypto/aes.hpp"
#include "crypto_test_support.hpp"

using zvtest::Bytes;
using zvtest::FromHex;
using zvtest::ToHex;

namespace {

std::vector<const zv::AesEngine*> AvailableEngines() {
    std::vector<const zv::AesEngine*> engines{&zv::PortableAesEngine()};
    if (zv::AcceleratedAesEngine() != nullptr) engines.push_back(zv::AcceleratedAesEngine());
    return engines;
}

class AesEngineTest : public ::testing::TestWithParam<const zv::AesEngine*> {
protected:
    void SetUp() override { zv::OverrideAesEngineForTesting(GetParam()); }
    void TearDown() override { zv::OverrideAesEngineForTesting(nullptr); }

    static zv::AesContext Context(const Bytes& key, const Bytes& iv) {
        zv::AesContext context;
        zv::AesInitContext(context, key.data(), iv.data());
        return context;
    }
    static Bytes Encrypt(zv::AesContext& context, Bytes data) {
        zv::AesCbcEncryptBuffer(context, data.data(), static_cast<uint32_t>(data.size()));
        return data;
    }
    static Bytes Decrypt(zv::AesContext& context, Bytes data) {
        zv::AesCbcDecryptBuffer(context, data.data(), static_cast<uint32_t>(data.size()));
        return data;
    }
};

const Bytes kZeroIv(16, 0);

TEST_P(AesEngineTest, ReproducesTheAes256CipherExample) {
    // FIPS-197 C.3: one CBC block under a zero vector is the bare cipher.
    const Bytes key = FromHex("000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f");
    const Bytes plaintext = FromHex("00112233445566778899aabbccddeeff");
    auto context = Context(key, kZeroIv);
    const Bytes ciphertext = Encrypt(context, plaintext);
    EXPECT_EQ(ToHex(ciphertext), "8ea2b7ca516745bfeafc49904b496089");
    auto decryptor = Context(key, kZeroIv);
    EXPECT_EQ(Decrypt(decryptor, ciphertext), plaintext);
}

TEST_P(AesEngineTest, ReproducesTheCbcAes256Examples) {
    // SP 800-38A F.2.5 and F.2.6.
    const Bytes key = FromHex("603deb1015ca71be2b73aef0857d77811f352c073b6108d72d9810a30914dff4");
    const Bytes iv = FromHex("000102030405060708090a0b0c0d0e0f");
    const Bytes plaintext = FromHex(
        "6bc1bee22e409f96e93d7e117393172aae2d8a571e03ac9c9eb76fac45af8e51"
        "30c81c46a35ce411e5fbc1191a0a52eff69f2445df4f9b17ad2b417be66c3710");
    const Bytes ciphertext = FromHex(
        "f58c4c04d6e5f1ba779eabfb5f7bfbd69cfc4e967edb808d679f777bc6702c7d"
        "39f23369a9d9bacfa530e26304231461b2eb05e2c39be9fcda6c19078c6a9d1b");
    auto encryptor = Context(key, iv);
    EXPECT_EQ(Encrypt(encryptor, plaintext), ciphertext);
    auto decryptor = Context(key, iv);
    EXPECT_EQ(Decrypt(decryptor, ciphertext), plaintext);
}

TEST_P(AesEngineTest, SuccessiveCallsContinueTheChain) {
    std::mt19937 generator(11);
    const Bytes key = zvtest::RandomBytes(generator, 32);
    const Bytes iv = zvtest::RandomBytes(generator, 16);
    const Bytes data = zvtest::RandomBytes(generator, 16 * 19);
    auto whole = Context(key, iv);
    const Bytes expected = Encrypt(whole, data);
    // Pieces of 1, 2, ... blocks through one context chain like one call,
    // and decryption across the same cuts restores the data.
    auto encryptor = Context(key, iv);
    auto decryptor = Context(key, iv);
    Bytes pieces;
    Bytes restored;
    for (std::size_t offset = 0, blocks = 1; offset < data.size(); offset += 16 * blocks++) {
        const std::size_t end = std::min(data.size(), offset + 16 * blocks);
        const Bytes cipher = Encrypt(encryptor, Bytes(data.begin() + offset, data.begin() + end));
        pieces.insert(pieces.end(), cipher.begin(), cipher.end());
        const Bytes plain = Decrypt(decryptor, cipher);
        restored.insert(restored.end(), plain.begin(), plain.end());
    }
    EXPECT_EQ(pieces, expected);
    EXPECT_EQ(restored, data);
}

TEST_P(AesEngineTest, AgreesWithTheReferenceCipherOnRandomInputs) {
    std::mt19937 generator(20240601);
    // 1 to 35 blocks cover every remainder of the multi-block decryption
    // paths; the longer ones run through them many times over.
    std::vector<std::size_t> blockCounts;
    for (std::size_t blocks = 1; blocks <= 35; ++blocks) blockCounts.push_back(blocks);
    blockCounts.insert(blockCounts.end(), {64, 257, 4099});
    for (const std::size_t blocks : blockCounts) {
        const Bytes key = zvtest::RandomBytes(generator, 32);
        const Bytes iv = zvtest::RandomBytes(generator, 16);
        const Bytes data = zvtest::RandomBytes(generator, 16 * blocks);
        auto encryptor = Context(key, iv);
        const Bytes ciphertext = Encrypt(encryptor, data);
        ASSERT_EQ(ciphertext, zvtest::ReferenceCbc(true, key, iv, data, false)) << blocks;
        auto decryptor = Context(key, iv);
        ASSERT_EQ(Decrypt(decryptor, ciphertext), data) << blocks;
    }
}

INSTANTIATE_TEST_SUITE_P(Engines, AesEngineTest, ::testing::ValuesIn(AvailableEngines()),
                         [](const auto& info) { return std::string(info.param->name); });

}  // namespace
