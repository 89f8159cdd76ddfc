// Putting a reply frame (23-byte header, payload, MD5 of the payload) on the
// wire, with the framing faults of a test plan applied.
#pragma once

#include <cstdint>
#include <vector>

#include "server_options.hpp"
#include "transport/connection.hpp"
#include "transport/frame_headers.hpp"

namespace zv::server {

struct Reply {
    ResponseHeader header;         // payloadLength is filled in from payload
    std::vector<uint8_t> payload;  // as it travels
};

// The frame's bytes: header, payload, checksum of the payload.
std::vector<uint8_t> FrameBytes(const Reply& reply);

// Sends the frame as fault says (kWrongChecksum, kShortHeader, kFragmented,
// kHugeLength, kCloseAfter; other kinds send it whole). A fault that cuts
// the reply short leaves the connection to be closed by the caller.
void SendReply(Connection& connection, const Reply& reply, const Fault& fault);

}  // namespace zv::server
