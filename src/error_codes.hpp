// The failure codes of an operation. Their numbers are part of the messages
// callers see ("Cnnn: text") and are never renumbered. This header sits
// beneath every layer: the transport reports these codes and the operations
// turn them into messages, so it belongs to neither.
#pragma once

#include <cstdint>
#include <string>

namespace zv {

enum ErrorCode : uint32_t {
    kNoError = 0,

    // Request assembly.
    kOutOfMemory = 10,
    kInvalidPort = 30,
    kCredentialOptionsItemCount = 31,
    kConnectionInfoItemCount = 32,
    kNoSessionKey = 33,
    kInvalidSessionId = 34,

    // Connection set-up.
    kUnresolvedHost = 50,
    kSocketsLayerStartFailed = 101,
    kAddressLookupFailed = 102,
    kSocketFailed = 103,
    kConnectFailed = 104,
    kConnectTimedOut = 105,

    // Sending and receiving a request.
    kShutdownFailed = 320,
    kNothingToSend = 400,
    kResponseHeaderShort = 401,
    kResponseNoMemory = 402,
    kResponsePayloadShort = 403,
    kResponseChecksumShort = 404,
    kResponseChecksumMismatch = 405,
    kInvalidEncryptedData = 406,
    kIoTimedOut = 407,
    kCancelled = 408,
    kHeaderSendShort = 510,
    kPayloadSendShort = 511,
    kChecksumSendShort = 512,

    // Key negotiation.
    kNegotiationSendShort = 350,
    kNegotiationHeaderShort = 351,
    kNegotiationNoMemory = 352,
    kNegotiationPayloadShort = 353,
    kNegotiationChecksumShort = 354,
    kNegotiationChecksumMismatch = 355,
    kNegotiationShutdownFailed = 356,
    kNegotiationInvalidKey = 357,
    kNegotiationRefused = 999,
};

// The outcome of the steps of one operation. The diagnostics travel with the
// failure instead of living in process-wide slots, so concurrent operations
// never see each other's values.
struct OperationStatus {
    uint32_t code = kNoError;
    // The platform's socket error number when a send fell short (510 to 512).
    int32_t lastSocketError = 0;
    // The server's own text when it refused the key negotiation (999).
    std::string serverErrorText;

    bool Failed() const noexcept { return code != kNoError; }
};

}  // namespace zv
