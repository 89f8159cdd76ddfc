// The server's side of a request frame: which kind of exchange a 30-byte
// header opens.
#pragma once

#include "server_frame_headers.hpp"

namespace zv::server {

// A key negotiation is exactly a bare header: operation 100, no payload, no
// encryption. Operation 100 with a payload or the encryption flag is an
// ordinary operation that happens to use that code.
inline bool IsKeyNegotiation(const RequestHeader& header) {
    return header.operationCode == kKeyNegotiationCode && header.payloadLength == 0 &&
           header.encrypted == 0;
}

}  // namespace zv::server
