#include "transport/key_negotiation.hpp"

#include <cstring>
#include <new>

#include "crypto/crypto.hpp"
#include "error_codes.hpp"
#include "transport/frame_reader.hpp"

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

    // The key travels in the clear: every block it passed through is wiped.
    FrameDecoder frame(kResponseHeaderSize, kNoPayloadBound, ReceiveGrowth::kCopyAndWipe);
    const uint32_t code = ReadFrame(connection, frame, kNegotiationFrameCodes);
    if (code != kNoError) return code;
    const ResponseHeader header = DecodeResponseHeader(frame.Header().data());
    const ReceiveBuffer& payload = frame.Payload();
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
