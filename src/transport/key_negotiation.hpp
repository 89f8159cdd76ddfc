// The key negotiation: a header-only request with operation code 100, whose
// reply hands out the session key and the session identifier the server
// assigns, or the server's refusal text.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "crypto/session_key.hpp"
#include "transport/connection.hpp"
#include "transport/frame_decoder.hpp"
#include "transport/frame_headers.hpp"

namespace zv {

// A key is 32 bytes and a refusal a line of text: a reply announcing more
// is refused from its header, before anything is allocated for it.
inline constexpr uint32_t kMaxNegotiationPayload = 64 * 1024;

struct NegotiationReply {
    std::optional<SessionKey> key;  // the first 32 payload bytes
    SessionIdBytes sessionId{};     // reply header bytes 5-20
    std::string refusalText;        // the payload up to its first zero byte
};

// The negotiation request carrying sessionId.
RequestHeaderBytes NegotiationRequest(const SessionIdBytes& sessionId) noexcept;

// A decoder for the reply: bounded, and wiping every block the key passes
// through.
inline FrameDecoder NegotiationReplyDecoder() noexcept {
    return FrameDecoder(kResponseHeaderSize, kMaxNegotiationPayload, ReceiveGrowth::kCopyAndWipe);
}

// What a complete reply in frame says, once the sending side was closed
// (sendingClosed: whether that worked). A refusal is reported even when the
// close failed: a server that refuses may well have gone already. Returns
// 0, 999 or 352, 356, 357 as ExchangeKeyNegotiation.
uint32_t InterpretNegotiationReply(FrameDecoder& frame, bool sendingClosed,
                                   NegotiationReply& reply) noexcept;

// Sends the negotiation header carrying sessionId on connection, reads the
// whole reply, verifies its checksum and closes the sending side. Returns 0
// with reply.key and reply.sessionId set; 999 with reply.refusalText when the
// server refused (any non-zero error flag); or the failure code: 350 (send),
// 351 (header short), 352 (no memory), 353 (payload short), 354 (checksum
// short), 355 (checksum mismatch, or a payload over kMaxNegotiationPayload),
// 356 (shutdown), 357 (a key shorter than 32 bytes). Does not close or
// replace the connection.
uint32_t ExchangeKeyNegotiation(Connection& connection, const SessionIdBytes& sessionId,
                                NegotiationReply& reply) noexcept;

}  // namespace zv
