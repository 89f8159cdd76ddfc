// A reply frame (23-byte header, payload, MD5 of the payload) as it goes on
// the wire, with the framing faults of a test plan applied. No I/O here: the
// connection sends what this plans.
#pragma once

#include <chrono>
#include <cstdint>
#include <vector>

#include "server_frame_headers.hpp"
#include "server_options.hpp"

namespace zv::server {

struct Reply {
    ResponseHeader header;         // payloadLength is filled in from payload
    std::vector<uint8_t> payload;  // as it travels
};

// The frame's bytes: header, payload, checksum of the payload.
std::vector<uint8_t> FrameBytes(const Reply& reply);

// The bytes to send and how: whole, or in pieces `delay` apart. The
// connection closes once they are out, so a fault that cuts the reply short
// only has to send fewer bytes.
struct WireReply {
    std::vector<uint8_t> bytes;
    std::size_t pieceSize = 0;  // 0: all at once
    std::chrono::milliseconds delay{0};
    std::chrono::milliseconds holdBack{0};  // before the first byte goes
};

// The frame as fault says (kWrongChecksum, kShortHeader, kFragmented,
// kHugeLength, kCloseAfter, kNoReply, kDelay; other kinds send it whole).
WireReply PlanReply(const Reply& reply, const Fault& fault);

}  // namespace zv::server
