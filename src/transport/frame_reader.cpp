#include "transport/frame_reader.hpp"

#include <cstring>

#include "crypto/payload_digest.hpp"
#include "transport/frame_headers.hpp"

namespace zv {

uint32_t ReadFrame(Connection& connection, std::span<uint8_t> header, ReceiveBuffer& payload,
                   const FrameFailureCodes& codes) noexcept {
    if (header.size() < 4 ||
        connection.ReceiveExactly(header.data(), header.size()) != header.size()) {
        return codes.headerShort;
    }
    const uint32_t length = FramePayloadLength(header.data());

    // The checksum covers the bytes as they travelled, before decryption.
    PayloadDigest digest;
    switch (payload.Fill(connection, length, &digest)) {
        case ReceiveOutcome::kNoMemory:
            return codes.noMemory;
        case ReceiveOutcome::kShort:
            return codes.payloadShort;
        case ReceiveOutcome::kComplete:
            break;
    }
    uint8_t computed[kChecksumSize];
    if (!digest.Finish(computed)) return codes.noMemory;
    uint8_t received[kChecksumSize];
    if (connection.ReceiveExactly(received, kChecksumSize) != kChecksumSize) {
        return codes.checksumShort;
    }
    return std::memcmp(received, computed, kChecksumSize) == 0 ? kNoError : codes.checksumMismatch;
}

}  // namespace zv
