// EncryptPayload and DecryptPayload: AES-256-CBC with PKCS#7 padding under a
// session key, with a fresh context for every payload.
#include <cstdlib>
#include <cstring>
#include <limits>

#include "aes.hpp"
#include "crypto.hpp"

namespace zv {
namespace {

// Both directions of every exchange use this vector unless a caller gives one.
constexpr uint8_t kBuiltInIv[kAesBlockSize] = {'R', 'b', '5', 'w', '@', 'G', 'z', '1',
                                               'p', 'Q', '8', '$', 'm', 'X', 't', '3'};

// An AES context that wipes its round keys when it goes.
class ScopedAesContext {
public:
    ScopedAesContext(const uint8_t* key, const uint8_t* iv) noexcept {
        AesInitContext(context_, key, iv != nullptr ? iv : kBuiltInIv);
    }
    ScopedAesContext(const ScopedAesContext&) = delete;
    ScopedAesContext& operator=(const ScopedAesContext&) = delete;
    ~ScopedAesContext() { SecureWipe(&context_, sizeof context_); }

    AesContext& Get() noexcept { return context_; }

private:
    AesContext context_;
};

// The padding count is the last byte: 1 to 16, and that many bytes of that
// value end the block. All of them are compared, so that the time taken does
// not tell where a mismatch was.
bool HasValidPadding(const uint8_t* lastBlock) noexcept {
    const uint8_t count = lastBlock[kAesBlockSize - 1];
    if (count == 0 || count > kAesBlockSize) return false;
    uint8_t mismatch = 0;
    for (std::size_t i = kAesBlockSize - count; i < kAesBlockSize; ++i) {
        mismatch |= static_cast<uint8_t>(lastBlock[i] ^ count);
    }
    return mismatch == 0;
}

}  // namespace

uint8_t* EncryptPayload(const uint8_t* plaintext, uint32_t length, uint32_t* encryptedLength,
                        const uint8_t* iv, const uint8_t* key) noexcept {
    if ((plaintext == nullptr && length != 0) || encryptedLength == nullptr || key == nullptr) {
        return nullptr;
    }
    // The padded length must still fit the 32-bit length of a frame.
    if (length > std::numeric_limits<uint32_t>::max() - kAesBlockSize) return nullptr;
    const auto padding = static_cast<uint8_t>(kAesBlockSize - length % kAesBlockSize);
    const uint32_t paddedLength = length + padding;

    auto* block = static_cast<uint8_t*>(std::malloc(paddedLength));
    if (block == nullptr) return nullptr;
    if (length != 0) std::memcpy(block, plaintext, length);
    std::memset(block + length, padding, padding);

    ScopedAesContext context(key, iv);
    AesCbcEncryptBuffer(context.Get(), block, paddedLength);
    *encryptedLength = paddedLength;
    return block;
}

uint8_t* DecryptPayload(uint8_t* payload, uint32_t length, uint32_t* plaintextLength,
                        const uint8_t* iv, const uint8_t* key, bool terminate) noexcept {
    if (payload == nullptr || plaintextLength == nullptr || key == nullptr) return nullptr;
    // Only whole blocks, at least one, can be a CBC payload with its padding.
    if (length == 0 || length % kAesBlockSize != 0) return nullptr;
    {
        ScopedAesContext context(key, iv);
        AesCbcDecryptBuffer(context.Get(), payload, length);
    }
    if (!HasValidPadding(payload + length - kAesBlockSize)) return nullptr;

    const uint32_t resultLength = length - payload[length - 1];
    // A plaintext of 0 bytes without a terminator still gets a block, so that
    // a null result always means failure.
    const std::size_t blockSize = resultLength + (terminate ? 1 : 0);
    auto* result = static_cast<uint8_t*>(std::malloc(blockSize != 0 ? blockSize : 1));
    if (result == nullptr) return nullptr;
    if (resultLength != 0) std::memcpy(result, payload, resultLength);
    if (terminate) result[resultLength] = 0;
    *plaintextLength = resultLength;
    return result;
}

}  // namespace zv
