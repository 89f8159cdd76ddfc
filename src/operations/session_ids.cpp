#include "session_ids.hpp"

#include <cstring>

namespace zv {

bool TakeSessionId(MallocPtr<uint8_t> bytes, SessionIdBytes& sessionId) noexcept {
    if (!bytes) return false;
    std::memcpy(sessionId.data(), bytes.get(), sessionId.size());
    return true;
}

}  // namespace zv
