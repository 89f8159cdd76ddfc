// PayloadEncryptor and PayloadDecryptor: one AES context per payload, wiped
// when it goes, carried over from piece to piece.
#include "payload_cipher.hpp"

#include "checksum_engine.hpp"

namespace zv {
namespace {

// Both directions of every exchange use this vector unless a caller gives one.
constexpr uint8_t kBuiltInIv[kAesBlockSize] = {'R', 'b', '5', 'w', '@', 'G', 'z', '1',
                                               'p', 'Q', '8', '$', 'm', 'X', 't', '3'};

}  // namespace

PayloadEncryptor::PayloadEncryptor(const uint8_t* key, const uint8_t* iv) noexcept
    : engine_(ActiveChecksumEngine()), digest_(engine_) {
    AesInitContext(context_, key, iv != nullptr ? iv : kBuiltInIv);
    Md5Init(md5_);
}

PayloadEncryptor::~PayloadEncryptor() { SecureWipe(&context_, sizeof context_); }

void PayloadEncryptor::Encrypt(uint8_t* data, std::size_t length) noexcept {
    if (length == 0) return;
    if (engine_.encryptAndDigest != nullptr) {
        engine_.encryptAndDigest(context_, md5_, data, length);
        return;
    }
    AesCbcEncryptBuffer(context_, data, static_cast<uint32_t>(length));
    digest_.Update(data, length);
}

bool PayloadEncryptor::Finish(uint8_t (&checksum)[kChecksumSize]) noexcept {
    if (engine_.encryptAndDigest != nullptr) {
        Md5Final(md5_, checksum);
        return true;
    }
    return digest_.Finish(checksum);
}

PayloadDecryptor::PayloadDecryptor(const uint8_t* key, const uint8_t* iv) noexcept {
    AesInitContext(context_, key, iv != nullptr ? iv : kBuiltInIv);
}

PayloadDecryptor::~PayloadDecryptor() { SecureWipe(&context_, sizeof context_); }

void PayloadDecryptor::Decrypt(uint8_t* data, std::size_t length) noexcept {
    if (length != 0) AesCbcDecryptBuffer(context_, data, static_cast<uint32_t>(length));
}

bool HasValidPadding(const uint8_t* lastBlock) noexcept {
    const uint8_t count = lastBlock[kAesBlockSize - 1];
    if (count == 0 || count > kAesBlockSize) return false;
    uint8_t mismatch = 0;
    for (std::size_t i = kAesBlockSize - count; i < kAesBlockSize; ++i) {
        mismatch |= static_cast<uint8_t>(lastBlock[i] ^ count);
    }
    return mismatch == 0;
}

}  // namespace zv
