// Payload encryption: padding, the built-in vector, agreement with an
// independent cipher, and the refusal of payloads that cannot be ours.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "crypto/crypto.hpp"
#include "crypto_test_support.hpp"

using zvtest::Bytes;

namespace {

const Bytes kBuiltInIv = [] {
    const std::string text = "Rb5w@Gz1pQ8$mXt3";
    return Bytes(text.begin(), text.end());
}();

struct FreeDeleter {
    void operator()(uint8_t* block) const { std::free(block); }
};
using Owned = std::unique_ptr<uint8_t, FreeDeleter>;

Bytes Encrypt(const Bytes& plaintext, const Bytes& key, const uint8_t* iv = nullptr) {
    uint32_t length = 0;
    Owned block(zv::EncryptPayload(plaintext.data(), static_cast<uint32_t>(plaintext.size()),
                                   &length, iv, key.data()));
    if (!block) return {};
    return Bytes(block.get(), block.get() + length);
}

// The plaintext, or "<null>" when DecryptPayload refused; buffer is left
// holding whatever the call left in it.
std::string Decrypt(Bytes& buffer, const Bytes& key, bool terminate) {
    uint32_t length = 0;
    Owned plain(zv::DecryptPayload(buffer.data(), static_cast<uint32_t>(buffer.size()), &length,
                                   nullptr, key.data(), terminate));
    if (!plain) return "<null>";
    if (terminate) {
        EXPECT_EQ(plain.get()[length], 0);
    }
    return std::string(reinterpret_cast<const char*>(plain.get()), length);
}

// The engines themselves are checked one by one in aes_engine_test.cpp; the
// payload layer runs on whichever this machine chooses.
const Bytes kKey = [] {
    std::mt19937 generator(99);
    return zvtest::RandomBytes(generator, 32);
}();

TEST(Payload, PadsLikeTheReferenceCipherAndRoundTrips) {
    std::mt19937 generator(5);
    for (const std::size_t length : {0, 1, 15, 16, 17, 31, 32, 33, 1000}) {
        const Bytes plaintext = zvtest::RandomBytes(generator, length);
        Bytes ciphertext = Encrypt(plaintext, kKey);
        EXPECT_EQ(ciphertext.size(), (length / 16 + 1) * 16) << length;
        EXPECT_EQ(ciphertext, zvtest::ReferenceCbc(true, kKey, kBuiltInIv, plaintext, true))
            << length;
        Bytes again = ciphertext;
        const std::string text(plaintext.begin(), plaintext.end());
        EXPECT_EQ(Decrypt(ciphertext, kKey, true), text);
        EXPECT_EQ(Decrypt(again, kKey, false), text);
    }
    // A vector of the caller's own replaces the built-in one.
    const Bytes otherIv(16, 0x42);
    EXPECT_EQ(Encrypt({'p', 'a', 'y'}, kKey, otherIv.data()),
              zvtest::ReferenceCbc(true, kKey, otherIv, {'p', 'a', 'y'}, true));
}

TEST(Payload, RefusesLengthsThatAreNotWholeBlocks) {
    Bytes buffer = Encrypt(Bytes(40, 'a'), kKey);
    const Bytes untouched = buffer;
    uint32_t length = 7;
    for (const uint32_t cut : {0u, 1u, 15u, 17u, 47u}) {
        EXPECT_EQ(zv::DecryptPayload(buffer.data(), cut, &length, nullptr, kKey.data(), true),
                  nullptr)
            << cut;
    }
    EXPECT_EQ(buffer, untouched);
}

TEST(Payload, RefusesPaddingThatIsNotPkcs7) {
    // Last blocks ending in a count of 0, a count above 16, and counts whose
    // padding bytes differ, each encrypted without padding of its own.
    const std::string body(16, 'b');
    for (const std::string& lastBlock : std::vector<std::string>{
             std::string(15, 'c') + '\x00', std::string(15, 'c') + '\x11',
             std::string(15, '\x20') + '\x20', std::string(13, 'c') + "\x04\x03\x03",
             std::string(1, '\x0f') + std::string(14, '\x10') + '\x10'}) {
        const std::string padded = body + lastBlock;
        Bytes buffer = zvtest::ReferenceCbc(true, kKey, kBuiltInIv,
                                            Bytes(padded.begin(), padded.end()), false);
        EXPECT_EQ(Decrypt(buffer, kKey, true), "<null>")
            << zvtest::ToHex(Bytes(lastBlock.begin(), lastBlock.end()));
    }
    // A whole block of padding is valid and leaves nothing of it.
    const std::string whole = body + std::string(16, '\x10');
    Bytes buffer =
        zvtest::ReferenceCbc(true, kKey, kBuiltInIv, Bytes(whole.begin(), whole.end()), false);
    EXPECT_EQ(Decrypt(buffer, kKey, true), body);
}

TEST(Payload, RefusesLengthsWhosePaddingWouldOverflow) {
    uint8_t byte = 0;
    uint32_t length = 0;
    EXPECT_EQ(zv::EncryptPayload(&byte, 0xFFFFFFF5u, &length, nullptr, kKey.data()), nullptr);
}

}  // namespace
