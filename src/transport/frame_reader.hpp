// Reading one frame off a connection: a header whose first four bytes give
// the payload length (little-endian), the payload, and its checksum. Key
// negotiation replies and responses are read by this one reader; each names
// the codes its failures report.
#pragma once

#include <cstdint>
#include <span>

#include "error_codes.hpp"
#include "transport/connection.hpp"
#include "transport/receive_buffer.hpp"

namespace zv {

// The failure code of each way reading a frame can fail.
struct FrameFailureCodes {
    uint32_t headerShort;
    uint32_t noMemory;
    uint32_t payloadShort;
    uint32_t checksumShort;
    uint32_t checksumMismatch;
};

inline constexpr FrameFailureCodes kResponseFrameCodes = {
    kResponseHeaderShort, kResponseNoMemory, kResponsePayloadShort, kResponseChecksumShort,
    kResponseChecksumMismatch};
inline constexpr FrameFailureCodes kNegotiationFrameCodes = {
    kNegotiationHeaderShort, kNegotiationNoMemory, kNegotiationPayloadShort,
    kNegotiationChecksumShort, kNegotiationChecksumMismatch};

// Reads header (at least 4 bytes), then the payload into payload (digested as
// it arrives), then the checksum, and compares it with the digest. Returns 0
// or the code codes names for the step that failed; payload then holds
// whatever it could. Leaves the connection open.
uint32_t ReadFrame(Connection& connection, std::span<uint8_t> header, ReceiveBuffer& payload,
                   const FrameFailureCodes& codes) noexcept;

}  // namespace zv
