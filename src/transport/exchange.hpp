// One exchange with the server: a request (after a key negotiation when no
// key is held) and its response, each on a connection of its own.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "crypto/session_key.hpp"
#include "error_codes.hpp"
#include "strings/strings.hpp"
#include "transport/connection.hpp"
#include "transport/response_assembly.hpp"
#include "transport/session_id.hpp"

namespace zv {

using SessionIdBytes = std::array<uint8_t, kSessionIdSize>;

// The request header fields an operation chooses.
struct RequestSettings {
    uint8_t operationCode = 0;
    uint8_t inputFormat = 1;
    uint8_t outputFormat = 1;
    bool persistent = true;  // sessionMode 1; false gives 128, as direct operations send
    bool encrypt = true;
    // The login keeps the negotiated key as record text: a key holding 0x00
    // or 0x1C cannot be stored and fails the negotiation with 357 before the
    // request is sent.
    bool requireStorableKey = false;
};

// Opens a connection to host and port within limits (which bound every wait
// of the exchange, on each connection it opens) and, when settings.encrypt is set and
// key holds nothing, runs the key negotiation on it: key and sessionId then
// hold what the server assigned, and a new connection replaces the first.
// Converts payload (zero-terminated ISO-8859-15) to UTF-8, encrypts it under
// the key, sends header, payload and checksum, and closes the sending side.
// Returns the open connection; on failure a closed one, with status.code set
// (and status.lastSocketError or status.serverErrorText where they apply).
// key and sessionId are changed only by a successful negotiation.
Connection SendRequest(std::optional<SessionKey>& key, SessionIdBytes& sessionId, const char* host,
                       uint16_t port, const RequestSettings& settings, const char* payload,
                       const WaitLimits& limits, OperationStatus& status);

// Reads the response from connection: header, payload and checksum; verifies
// the checksum, decrypts with key when the payload is flagged encrypted and a
// key is given, and converts the text to ISO-8859-15. Returns 0 or a failure
// code (407 or 408 when a wait was stopped); response.text is set only on
// success.
uint32_t ReceiveResponse(Connection& connection, Response& response, const SessionKey* key);

}  // namespace zv
