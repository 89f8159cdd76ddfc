// Session identifiers as the operations take them from the functions that
// make or parse them.
#pragma once

#include "strings/strings.hpp"
#include "transport/exchange.hpp"

namespace zv {

// Copies identifier bytes that a session-identifier function returned into
// sessionId and releases them; false when there were none.
bool TakeSessionId(MallocPtr<uint8_t> bytes, SessionIdBytes& sessionId) noexcept;

}  // namespace zv
