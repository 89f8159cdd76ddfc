// The one session key the reader and decryption targets use, so that inputs
// encrypted under it (the seeds) stay decryptable while they are mutated.
#pragma once

#include <cstdint>

#include "crypto/session_key.hpp"

namespace zvfuzz {

inline const uint8_t kFuzzKeyBytes[zv::kSessionKeySize + 1] = "k3Y-for-fuzzing.0123456789abcdef";

inline zv::SessionKey FuzzKey() noexcept { return zv::SessionKey(kFuzzKeyBytes); }

}  // namespace zvfuzz
