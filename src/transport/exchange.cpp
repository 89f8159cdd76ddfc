#include "transport/exchange.hpp"

#include <cstdint>
#include <utility>

#include "crypto/crypto.hpp"
#include "crypto/payload_digest.hpp"
#include "transport/frame_headers.hpp"
#include "transport/frame_reader.hpp"
#include "transport/framed_request.hpp"
#include "transport/key_negotiation.hpp"
#include "transport/response_assembly.hpp"
#include "transport/wire_payload.hpp"

namespace zv {
namespace {

// Runs the key negotiation on connection and, when the server hands out a
// key, replaces key and sessionId and reconnects. Returns 0 with connection
// open on the new one, or a failure code with connection closed.
uint32_t NegotiateSessionKey(Connection& connection, std::optional<SessionKey>& key,
                             SessionIdBytes& sessionId, const char* host, uint16_t port,
                             bool requireStorableKey, const WaitLimits& limits,
                             OperationStatus& status) noexcept {
    NegotiationReply reply;
    const uint32_t code =
        connection.FailureCode(ExchangeKeyNegotiation(connection, sessionId, reply));
    connection.Close();
    if (code == kNegotiationRefused) {
        status.serverErrorText = std::move(reply.refusalText);
        return code;
    }
    if (code != kNoError) return code;
    // The login keeps the key as record text, which cannot hold these bytes;
    // refusing here is better than a session whose key comes back mangled.
    if (requireStorableKey && !reply.key->IsStorableAsText()) return kNegotiationInvalidKey;
    key = reply.key;
    sessionId = reply.sessionId;
    uint32_t openCode = kNoError;
    connection = Connection::Open(host, port, openCode, limits);
    return openCode;
}

}  // namespace

Connection SendRequest(std::optional<SessionKey>& key, SessionIdBytes& sessionId, const char* host,
                       uint16_t port, const RequestSettings& settings, const char* payload,
                       const WaitLimits& limits, OperationStatus& status) {
    status.code = kNoError;
    Connection connection = Connection::Open(host, port, status.code, limits);
    if (status.code != kNoError) return {};

    if (settings.encrypt && !key.has_value()) {
        status.code = NegotiateSessionKey(connection, key, sessionId, host, port,
                                          settings.requireStorableKey, limits, status);
        if (status.code != kNoError) return {};
    }

    WirePayload wire;
    std::size_t unlimited = SIZE_MAX;
    if (!wire.Begin(payload, settings.encrypt ? &*key : nullptr) ||
        wire.Work(unlimited) != WorkResult::kDone || wire.Bytes().empty()) {
        status.code = kNothingToSend;
        return {};
    }

    RequestHeader header;
    header.payloadLength = static_cast<uint32_t>(wire.Bytes().size());
    header.sessionId = sessionId;
    header.operationCode = settings.operationCode;
    header.inputFormat = settings.inputFormat;
    header.outputFormat = settings.outputFormat;
    header.sessionMode = settings.persistent ? kSessionModePersistent : kSessionModeDirect;
    header.encrypted = settings.encrypt ? 1 : 0;

    status.code = connection.FailureCode(SendFramedRequest(connection, EncodeRequestHeader(header),
                                                           wire.Bytes(), wire.Checksum(),
                                                           status.lastSocketError));
    if (status.code != kNoError) return {};
    return connection;
}

namespace {

uint32_t ReadResponse(Connection& connection, Response& response, const SessionKey* key) {
    // Growth by realloc: until it is decrypted, the block holds only what
    // crossed the network.
    FrameDecoder frame(kResponseHeaderSize, kNoPayloadBound, ReceiveGrowth::kExtend);
    const uint32_t code = ReadFrame(connection, frame, kResponseFrameCodes);
    if (code != kNoError) return code;
    ResponseAssembly assembly(frame, key);
    std::size_t unlimited = SIZE_MAX;
    return assembly.Work(unlimited, response) == WorkResult::kDone ? kNoError
                                                                   : kInvalidEncryptedData;
}

}  // namespace

uint32_t ReceiveResponse(Connection& connection, Response& response, const SessionKey* key) {
    response = Response{};
    return connection.FailureCode(ReadResponse(connection, response, key));
}

}  // namespace zv
