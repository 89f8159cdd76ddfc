// Putting one framed request on the wire: header, payload, checksum, then
// the end of the sending side.
#pragma once

#include <cstdint>
#include <span>

#include "crypto/crypto.hpp"
#include "transport/connection.hpp"
#include "transport/frame_headers.hpp"

namespace zv {

// Sends the three parts in order in one gathered send (as many calls as the
// peer's window needs), then closes the sending side. Returns 0; 510, 511 or 512 when the header,
// the payload or the checksum could not be sent in full (lastSocketError then holds the platform's
// error number); 320 when the sending side could not be closed. Leaves the connection open either
// way.
uint32_t SendFramedRequest(Connection& connection, const RequestHeaderBytes& header,
                           std::span<const uint8_t> payload,
                           std::span<const uint8_t, kChecksumSize> checksum,
                           int32_t& lastSocketError) noexcept;

}  // namespace zv
