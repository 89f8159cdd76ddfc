#include "transport/exchange.hpp"

#include <cstdlib>
#include <cstring>
#include <limits>
#include <utility>

#include "crypto/crypto.hpp"
#include "crypto/payload_digest.hpp"
#include "transport/frame_headers.hpp"
#include "transport/frame_reader.hpp"
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

// The request payload as it travels, built in one block: converted to
// UTF-8, then (under a key) padded and encrypted where it stands, with the
// checksum computed in the same pass.
struct WirePayload {
    // An encrypted block holds only ciphertext by the time it goes, so only
    // an unencrypted one is wiped (its size counts the text).
    WipedBlock<uint8_t> block;
    uint32_t length = 0;
    uint8_t checksum[kChecksumSize] = {};
};

// False when memory runs out, the text is too long for the header or the
// hash service fails.
bool BuildWirePayload(const char* payload, const SessionKey* key, WirePayload& wire) noexcept {
    if (payload == nullptr) payload = "";
    const std::size_t length = std::strlen(payload);
    // Room for the padding block, so that the length still fits the header.
    constexpr std::size_t kLongest = std::numeric_limits<uint32_t>::max() - 2 * kAesBlockSize;
    if (length > kLongest) return false;
    // Sized for the worst case rather than measured first: the pages the
    // text does not reach are never touched.
    auto* block = static_cast<uint8_t*>(std::malloc(MaxUtf8Length(length) + kAesBlockSize));
    if (block == nullptr) return false;
    const std::size_t utf8Length = Iso885915ToUtf8(payload, length, reinterpret_cast<char*>(block));
    wire.block = WipedBlock<uint8_t>(block, key == nullptr ? utf8Length : 0);
    if (utf8Length > kLongest) return false;
    wire.length = static_cast<uint32_t>(utf8Length);
    if (key == nullptr) return DigestPayload(block, utf8Length, wire.checksum);
    PadPayload(block, wire.length);
    wire.length = PaddedPayloadLength(wire.length);
    return EncryptInPlaceAndDigest(key->Bytes(), nullptr, block, wire.length, wire.checksum);
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
    if (!BuildWirePayload(payload, settings.encrypt ? &*key : nullptr, wire) || wire.length == 0) {
        status.code = kNothingToSend;
        return {};
    }

    RequestHeader header;
    header.payloadLength = wire.length;
    header.sessionId = sessionId;
    header.operationCode = settings.operationCode;
    header.inputFormat = settings.inputFormat;
    header.outputFormat = settings.outputFormat;
    header.sessionMode = settings.persistent ? kSessionModePersistent : kSessionModeDirect;
    header.encrypted = settings.encrypt ? 1 : 0;

    status.code = connection.FailureCode(SendFramedRequest(connection, EncodeRequestHeader(header),
                                                           {wire.block.Get(), wire.length},
                                                           wire.checksum, status.lastSocketError));
    if (status.code != kNoError) return {};
    return connection;
}

namespace {

uint32_t ReadResponse(Connection& connection, Response& response, const SessionKey* key) {
    // Growth by realloc: until it is decrypted below, the block holds only
    // what crossed the network.
    FrameDecoder frame(kResponseHeaderSize, kNoPayloadBound, ReceiveGrowth::kExtend);
    const uint32_t code = ReadFrame(connection, frame, kResponseFrameCodes);
    if (code != kNoError) return code;
    const ResponseHeader header = DecodeResponseHeader(frame.Header().data());
    ReceiveBuffer& payload = frame.Payload();

    // Without a key an encrypted payload is handed on as it came. Padding
    // follows decrypted text, so the zero that ends it still fits.
    const std::size_t used = std::size_t{header.payloadLength} + 1;
    if (header.encrypted != 0 && key != nullptr) {
        uint32_t plaintextLength = 0;
        if (!DecryptInPlace(key->Bytes(), nullptr, payload.Data(), header.payloadLength,
                            plaintextLength)) {
            return kInvalidEncryptedData;
        }
        payload.Data()[plaintextLength] = 0;
    }
    const std::size_t length = Utf8ToIso885915InPlace(reinterpret_cast<char*>(payload.Data()));
    // What lies past the text (bytes the conversion freed, the padding) may
    // be plaintext: wiped before the fitting can give it back.
    SecureWipe(payload.Data() + length + 1, used - length - 1);
    uint8_t* text = payload.Take();
    // A shrink that fails leaves the block as it was, which is as good.
    if (void* fitted = std::realloc(text, length + 1)) text = static_cast<uint8_t*>(fitted);
    response.text.reset(reinterpret_cast<char*>(text));
    response.length = static_cast<uint32_t>(length);
    response.isErrorText = header.errorFlag == kErrorFlagServerText;
    return kNoError;
}

}  // namespace

uint32_t ReceiveResponse(Connection& connection, Response& response, const SessionKey* key) {
    response = Response{};
    return connection.FailureCode(ReadResponse(connection, response, key));
}

}  // namespace zv
