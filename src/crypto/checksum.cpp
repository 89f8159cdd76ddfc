// HashBuffer and ComputeChecksum: MD5 digests on the active checksum engine,
// raw and as lowercase hex.
#include <cstdlib>
#include <cstring>

#include "crypto.hpp"
#include "payload_digest.hpp"

namespace zv {

int HashBuffer(char* hexText, uint8_t* rawDigest, uint32_t hexTextSize, const uint8_t* input,
               uint32_t length, uint32_t algorithmId) noexcept {
    if (hexText == nullptr || rawDigest == nullptr || (input == nullptr && length != 0)) return 0;
    if (algorithmId != kAlgorithmMd5) return 0;
    // Two digits per byte and the terminator must fit, or nothing is written.
    if (2 * kChecksumSize + 1 > hexTextSize) return 0;
    uint8_t digest[kChecksumSize];
    if (!DigestPayload(input, length, digest)) return 0;

    static constexpr char kDigits[] = "0123456789abcdef";
    for (std::size_t i = 0; i < kChecksumSize; ++i) {
        hexText[2 * i] = kDigits[digest[i] >> 4];
        hexText[2 * i + 1] = kDigits[digest[i] & 0x0f];
        rawDigest[i] = digest[i];
    }
    hexText[2 * kChecksumSize] = '\0';
    return 1;
}

uint8_t* ComputeChecksum(const uint8_t* data, uint32_t length) noexcept {
    auto* checksum = static_cast<uint8_t*>(std::malloc(kChecksumSize));
    if (checksum == nullptr) return nullptr;
    uint8_t digest[kChecksumSize];
    if ((data == nullptr && length != 0) || !DigestPayload(data, length, digest)) {
        std::free(checksum);
        return nullptr;
    }
    std::memcpy(checksum, digest, kChecksumSize);
    return checksum;
}

}  // namespace zv
