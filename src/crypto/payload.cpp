// Payload encryption: AES-256-CBC with PKCS#7 padding under a session key,
// with a fresh context for every payload; in place, with the checksum taken
// on the way, or into new blocks.
#include <cstdlib>
#include <cstring>
#include <limits>

#include "crypto.hpp"
#include "payload_cipher.hpp"
#include "payload_digest.hpp"

namespace zv {

uint32_t PaddedPayloadLength(uint32_t length) noexcept {
    if (length > std::numeric_limits<uint32_t>::max() - kAesBlockSize) return 0;
    return length + static_cast<uint32_t>(kAesBlockSize - length % kAesBlockSize);
}

void PadPayload(uint8_t* data, uint32_t length) noexcept {
    const auto padding = static_cast<uint8_t>(kAesBlockSize - length % kAesBlockSize);
    std::memset(data + length, padding, padding);
}

bool EncryptInPlaceAndDigest(const uint8_t* key, const uint8_t* iv, uint8_t* data,
                             uint32_t paddedLength, uint8_t (&checksum)[kChecksumSize]) noexcept {
    // The engines work in whole blocks only: a stray length must not run them
    // past the buffer.
    if (key == nullptr || data == nullptr || paddedLength == 0 ||
        paddedLength % kAesBlockSize != 0) {
        return false;
    }
    PayloadEncryptor encryptor(key, iv);
    encryptor.Encrypt(data, paddedLength);
    return encryptor.Finish(checksum);
}

bool DecryptInPlace(const uint8_t* key, const uint8_t* iv, uint8_t* data, uint32_t length,
                    uint32_t& plaintextLength) noexcept {
    // Only whole blocks, at least one, can be a CBC payload with its padding.
    if (key == nullptr || data == nullptr || length == 0 || length % kAesBlockSize != 0) {
        return false;
    }
    PayloadDecryptor(key, iv).Decrypt(data, length);
    if (!HasValidPadding(data + length - kAesBlockSize)) return false;
    plaintextLength = length - data[length - 1];
    return true;
}

uint8_t* EncryptPayload(const uint8_t* plaintext, uint32_t length, uint32_t* encryptedLength,
                        const uint8_t* iv, const uint8_t* key) noexcept {
    if ((plaintext == nullptr && length != 0) || encryptedLength == nullptr || key == nullptr) {
        return nullptr;
    }
    // The padded length must still fit the 32-bit length of a frame.
    const uint32_t paddedLength = PaddedPayloadLength(length);
    if (paddedLength == 0) return nullptr;

    auto* block = static_cast<uint8_t*>(std::malloc(paddedLength));
    if (block == nullptr) return nullptr;
    if (length != 0) std::memcpy(block, plaintext, length);
    PadPayload(block, length);

    PayloadEncryptor(key, iv).Encrypt(block, paddedLength);
    *encryptedLength = paddedLength;
    return block;
}

uint8_t* DecryptPayload(uint8_t* payload, uint32_t length, uint32_t* plaintextLength,
                        const uint8_t* iv, const uint8_t* key, bool terminate) noexcept {
    if (payload == nullptr || plaintextLength == nullptr || key == nullptr) return nullptr;
    uint32_t resultLength = 0;
    if (!DecryptInPlace(key, iv, payload, length, resultLength)) return nullptr;

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
