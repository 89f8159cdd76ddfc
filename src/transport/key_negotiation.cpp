#include "transport/key_negotiation.hpp"

#include <cstring>
#include <new>

#include "crypto/crypto.hpp"
#include "error_codes.hpp"
#include "transport/frame_reader.hpp"

namespace zv {

RequestHeaderBytes NegotiationRequest(const SessionIdBytes& sessionId) noexcept {
    RequestHeader request;
    request.sessionId = sessionId;
    request.operationCode = kKeyNegotiationCode;
    request.sessionMode = kSessionModePersistent;  // also when a direct operation follows
    return EncodeRequestHeader(request);
}

uint32_t InterpretNegotiationReply(FrameDecoder& frame, bool sendingClosed,
                                   NegotiationReply& reply) noexcept {
    const ResponseHeader header = DecodeResponseHeader(frame.Header().data());
    const ReceiveBuffer& payload = frame.Payload();
    if (header.errorFlag != 0) {
        const char* text = reinterpret_cast<const char*>(payload.Data());
        try {
            reply.refusalText.assign(text, strnlen(text, payload.Size()));
        } catch (const std::bad_alloc&) {
            return kNegotiationNoMemory;
        }
        return kNegotiationRefused;
    }
    if (!sendingClosed) return kNegotiationShutdownFailed;
    // The key is always exactly the first 32 bytes; a shorter payload holds
    // no key at all.
    if (payload.Size() < kSessionKeySize) return kNegotiationInvalidKey;
    reply.key.emplace(payload.Data());
    reply.sessionId = header.sessionId;
    return kNoError;
}

uint32_t ExchangeKeyNegotiation(Connection& connection, const SessionIdBytes& sessionId,
                                NegotiationReply& reply) noexcept {
    const RequestHeaderBytes requestBytes = NegotiationRequest(sessionId);
    if (connection.SendAll(requestBytes.data(), requestBytes.size()) != 0) {
        return kNegotiationSendShort;
    }
    FrameDecoder frame = NegotiationReplyDecoder();
    const uint32_t code = ReadFrame(connection, frame, kNegotiationFrameCodes);
    if (code != kNoError) return code;
    return InterpretNegotiationReply(frame, connection.ShutdownSending(), reply);
}

}  // namespace zv
