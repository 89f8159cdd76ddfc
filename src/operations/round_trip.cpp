#include "round_trip.hpp"

#include <cstring>

namespace zv {

bool TakeSessionId(MallocPtr<uint8_t> bytes, SessionIdBytes& sessionId) noexcept {
    if (!bytes) return false;
    std::memcpy(sessionId.data(), bytes.get(), sessionId.size());
    return true;
}

uint32_t RoundTrip(const RequestParts& parts, const RequestSettings& settings,
                   const WaitLimits& limits, std::optional<SessionKey>& key,
                   SessionIdBytes& sessionId, OperationStatus& status, Response& response) {
    Connection connection = SendRequest(key, sessionId, parts.host.c_str(), parts.port, settings,
                                        parts.payload.get(), limits, status);
    if (status.Failed()) return status.code;
    return ReceiveResponse(connection, response, key ? &*key : nullptr);
}

}  // namespace zv
