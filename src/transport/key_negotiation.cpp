#include "transport/key_negotiation.hpp"

#include <cstring>
#include <new>

#include "crypto/crypto.hpp"
#include "operations/error_codes.hpp"
#include "strings/strings.hpp"
#include "transport/receive_buffer.hpp"

namespace zv {

uint32_t ExchangeKeyNegotiation(Connection& connection, const SessionIdBytes& sessionId,
                                NegotiationReply& reply) noexcept {
    RequestHeader request;
    request.sessionId = sessionId;
    request.operationCode = kKeyNegotiationCode;
    request.sessionMode = kSessionModePersistent;  // also when a direct operation follows
    const RequestHeaderBytes requestBytes = EncodeRequestHeader(request);
    if (connection.SendAll(requestBytes.data(), requestBytes.size()) != 0) {
        return kNegotiationSendShort;
    }

    ResponseHeaderBytes headerBytes;
    if (connection.ReceiveExactly(headerBytes.data(), headerBytes.size()) != headerBytes.size()) {
        return kNegotiationHeaderShort;
    }
    const ResponseHeader header = DecodeResponseHeader(headerBytes.data());

    ReceiveBuffer payload;
    switch (payload.Fill(connection, header.payloadLength)) {
        case ReceiveOutcome::kNoMemory:
            return kNegotiationNoMemory;
        case ReceiveOutcome::kShort:
            return kNegotiationPayloadShort;
        case ReceiveOutcome::kComplete:
            break;
    }
    const MallocPtr<uint8_t> computed(ComputeChecksum(payload.Data(), header.payloadLength));
    if (computed == nullptr) return kNegotiationNoMemory;

    uint8_t received[kChecksumSize];
    if (connection.ReceiveExactly(received, kChecksumSize) != kChecksumSize) {
        return kNegotiationChecksumShort;
    }
    if (std::memcmp(received, computed.get(), kChecksumSize) != 0) {
        return kNegotiationChecksumMismatch;
    }
    if (!connection.ShutdownSending()) return kNegotiationShutdownFailed;

    if (header.errorFlag != 0) {
        const char* text = reinterpret_cast<const char*>(payload.Data());
        try {
            reply.refusalText.assign(text, strnlen(text, payload.Size()));
        } catch (const std::bad_alloc&) {
            return kNegotiationNoMemory;
        }
        return kNegotiationRefused;
    }
    // The key is always exactly the first 32 bytes; a shorter payload holds
    // no key at all.
    if (payload.Size() < kSessionKeySize) return kNegotiationInvalidKey;
    reply.key.emplace(payload.Data());
    reply.sessionId = header.sessionId;
    return kNoError;
}

}  // namespace zv
