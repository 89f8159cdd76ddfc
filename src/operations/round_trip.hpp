// The part every operation shares once its request is assembled: one request
// to the server and its answer.
#pragma once

#include <optional>

#include "error_codes.hpp"
#include "operations/request_builders.hpp"
#include "transport/exchange.hpp"

namespace zv {

// Copies identifier bytes that a session-identifier function returned into
// sessionId and releases them; false when there were none.
bool TakeSessionId(MallocPtr<uint8_t> bytes, SessionIdBytes& sessionId) noexcept;

// Sends the request parts describe with settings, every wait bounded by
// limits (after a key negotiation
// when key holds nothing: key and sessionId then hold what the server
// assigned) and reads the answer into response. Returns 0 or the failure
// code, whose diagnostics status holds.
uint32_t RoundTrip(const RequestParts& parts, const RequestSettings& settings,
                   const WaitLimits& limits, std::optional<SessionKey>& key,
                   SessionIdBytes& sessionId, OperationStatus& status, Response& response);

}  // namespace zv
