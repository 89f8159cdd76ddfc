// The constant tables of AES: the S-box, its inverse and the round constants.
#pragma once

#include <cstdint>

namespace zv {

extern const uint8_t kAesSbox[256];
extern const uint8_t kAesInverseSbox[256];
// Entries 1 to 7 are the round constants AES-256 uses; entry 0 never is.
extern const uint8_t kAesRoundConstants[11];

}  // namespace zv
