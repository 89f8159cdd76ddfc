// HashBuffer and ComputeChecksum: digests from the platform's hash service,
// raw and as lowercase hex.
#include <cstdlib>

#include "crypto.hpp"
#include "digest_service.hpp"

namespace zv {

int HashBuffer(char* hexText, uint8_t* rawDigest, uint32_t hexTextSize, const uint8_t* input,
               uint32_t length, uint32_t algorithmId) noexcept {
    if (hexText == nullptr || rawDigest == nullptr || (input == nullptr && length != 0)) return 0;
    uint8_t digest[kMaxDigestSize];
    uint32_t digestLength = 0;
    if (!DigestWithPlatformService(algorithmId, input, length, digest, digestLength)) return 0;
    // Two digits per byte and the terminator must fit, or nothing is written.
    if (2 * static_cast<uint64_t>(digestLength) + 1 > hexTextSize) return 0;

    static constexpr char kDigits[] = "0123456789abcdef";
    for (uint32_t i = 0; i < digestLength; ++i) {
        hexText[2 * i] = kDigits[digest[i] >> 4];
        hexText[2 * i + 1] = kDigits[digest[i] & 0x0f];
        rawDigest[i] = digest[i];
    }
    hexText[2 * digestLength] = '\0';
    return 1;
}

uint8_t* ComputeChecksum(const uint8_t* data, uint32_t length) noexcept {
    auto* checksum = static_cast<uint8_t*>(std::malloc(kChecksumSize));
    if (checksum == nullptr) return nullptr;
    char hexText[2 * kChecksumSize + 1];
    if (HashBuffer(hexText, checksum, sizeof hexText, data, length, kAlgorithmMd5) != 1) {
        std::free(checksum);
        return nullptr;
    }
    return checksum;
}

}  // namespace zv
