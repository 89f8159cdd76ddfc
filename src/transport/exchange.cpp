#include "transport/exchange.hpp"

#include <cstring>
#include <limits>
#include <utility>

#include "crypto/crypto.hpp"
#include "transport/frame_headers.hpp"
#include "transport/framed_request.hpp"
#include "transport/key_negotiation.hpp"
#include "transport/receive_buffer.hpp"
#include "transport/text_conversion.hpp"
#include "transport/wiped_block.hpp"

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

// The payload as it travels: UTF-8, encrypted under key when given. Empty
// when conversion or encryption fails.
WipedBlock<uint8_t> WirePayload(const char* payload, const SessionKey* key) noexcept {
    char* converted = Iso885915ToUtf8(payload);
    if (converted == nullptr) return {};
    const std::size_t length = std::strlen(converted);
    // Only the first length bytes are text; the zeros after them need no wipe.
    WipedBlock<uint8_t> utf8(reinterpret_cast<uint8_t*>(converted), length);
    // Room for the padding block, so that the length still fits the header.
    if (length > std::numeric_limits<uint32_t>::max() - 2 * kAesBlockSize) return {};
    if (key == nullptr) return utf8;
    uint32_t encryptedLength = 0;
    uint8_t* encrypted = EncryptPayload(utf8.Get(), static_cast<uint32_t>(length), &encryptedLength,
                                        nullptr, key->Bytes());
    return WipedBlock<uint8_t>(encrypted, encryptedLength);
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

    const WipedBlock<uint8_t> wire = WirePayload(payload, settings.encrypt ? &*key : nullptr);
    if (!wire || wire.Size() == 0) {
        status.code = kNothingToSend;
        return {};
    }
    const auto wireLength = static_cast<uint32_t>(wire.Size());
    const MallocPtr<uint8_t> checksum(ComputeChecksum(wire.Get(), wireLength));
    if (checksum == nullptr) {
        status.code = kNothingToSend;
        return {};
    }

    RequestHeader header;
    header.payloadLength = wireLength;
    header.sessionId = sessionId;
    header.operationCode = settings.operationCode;
    header.inputFormat = settings.inputFormat;
    header.outputFormat = settings.outputFormat;
    header.sessionMode = settings.persistent ? kSessionModePersistent : kSessionModeDirect;
    header.encrypted = settings.encrypt ? 1 : 0;

    status.code = connection.FailureCode(
        SendFramedRequest(connection, EncodeRequestHeader(header), {wire.Get(), wire.Size()},
                          std::span<const uint8_t, kChecksumSize>(checksum.get(), kChecksumSize),
                          status.lastSocketError));
    if (status.code != kNoError) return {};
    return connection;
}

namespace {

uint32_t ReadResponse(Connection& connection, Response& response, const SessionKey* key) {
    ResponseHeaderBytes headerBytes;
    if (connection.ReceiveExactly(headerBytes.data(), headerBytes.size()) != headerBytes.size()) {
        return kResponseHeaderShort;
    }
    const ResponseHeader header = DecodeResponseHeader(headerBytes.data());

    ReceiveBuffer payload;
    switch (payload.Fill(connection, header.payloadLength)) {
        case ReceiveOutcome::kNoMemory:
            return kResponseNoMemory;
        case ReceiveOutcome::kShort:
            return kResponsePayloadShort;
        case ReceiveOutcome::kComplete:
            break;
    }
    // The checksum covers the bytes as they travelled, before decryption.
    const MallocPtr<uint8_t> computed(ComputeChecksum(payload.Data(), header.payloadLength));
    if (computed == nullptr) return kResponseNoMemory;
    uint8_t received[kChecksumSize];
    if (connection.ReceiveExactly(received, kChecksumSize) != kChecksumSize) {
        return kResponseChecksumShort;
    }
    if (std::memcmp(received, computed.get(), kChecksumSize) != 0) {
        return kResponseChecksumMismatch;
    }

    // Without a key an encrypted payload is handed on as it came.
    const char* utf8 = reinterpret_cast<const char*>(payload.Data());
    WipedBlock<uint8_t> plaintext;
    if (header.encrypted != 0 && key != nullptr) {
        uint32_t plaintextLength = 0;
        uint8_t* decrypted = DecryptPayload(payload.Data(), header.payloadLength, &plaintextLength,
                                            nullptr, key->Bytes(), true);
        if (decrypted == nullptr) return kInvalidEncryptedData;
        plaintext = WipedBlock<uint8_t>(decrypted, std::size_t{plaintextLength} + 1);
        utf8 = reinterpret_cast<const char*>(decrypted);
    }
    CString text(Utf8ToIso885915(utf8));
    if (text == nullptr) return kResponseNoMemory;
    response.length = static_cast<uint32_t>(std::strlen(text.get()));
    response.text = std::move(text);
    response.isErrorText = header.errorFlag == kErrorFlagServerText;
    return kNoError;
}

}  // namespace

uint32_t ReceiveResponse(Connection& connection, Response& response, const SessionKey* key) {
    response = Response{};
    return connection.FailureCode(ReadResponse(connection, response, key));
}

}  // namespace zv
