// Reading one frame off a connection, blocking, with the frame decoder. Key
// negotiation replies and responses are read by this one reader; each names
// the codes its failures report.
#pragma once

#include <cstdint>

#include "error_codes.hpp"
#include "transport/connection.hpp"
#include "transport/frame_decoder.hpp"

namespace zv {

// The failure code of each way reading a frame can fail.
struct FrameFailureCodes {
    uint32_t headerShort;
    uint32_t noMemory;
    uint32_t payloadShort;
    uint32_t checksumShort;
    uint32_t checksumMismatch;
    uint32_t tooLarge;  // the header announced more than the reader's bound

    uint32_t For(FrameFailure failure) const noexcept;
};

inline constexpr FrameFailureCodes kResponseFrameCodes = {
    kResponseHeaderShort,   kResponseNoMemory,         kResponsePayloadShort,
    kResponseChecksumShort, kResponseChecksumMismatch, kResponseNoMemory};
// A negotiation reply longer than its bound cannot be a key or a refusal:
// it fails as a reply that does not check out.
inline constexpr FrameFailureCodes kNegotiationFrameCodes = {
    kNegotiationHeaderShort,   kNegotiationNoMemory,         kNegotiationPayloadShort,
    kNegotiationChecksumShort, kNegotiationChecksumMismatch, kNegotiationChecksumMismatch};

// Reads one frame into frame. Returns 0 or the code codes names for the step
// that failed; frame's payload then holds whatever it could. Leaves the
// connection open.
uint32_t ReadFrame(Connection& connection, FrameDecoder& frame,
                   const FrameFailureCodes& codes) noexcept;

}  // namespace zv
