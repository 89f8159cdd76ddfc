// The secure random source on the system's preferred generator (BCrypt).
#include <windows.h>

#include <bcrypt.h>  // needs the types of windows.h

#include <algorithm>

#include "random_source.hpp"

namespace zv {

bool FillWithSecureRandom(uint8_t* bytes, std::size_t size) noexcept {
    // The generator takes a 32-bit count; larger requests go in pieces.
    constexpr std::size_t kLargestRequest = 0xFFFFFFFFu;
    std::size_t filled = 0;
    while (filled < size) {
        const ULONG piece = static_cast<ULONG>(std::min(size - filled, kLargestRequest));
        if (!BCRYPT_SUCCESS(
                BCryptGenRandom(nullptr, bytes + filled, piece, BCRYPT_USE_SYSTEM_PREFERRED_RNG))) {
            return false;
        }
        filled += piece;
    }
    return true;
}

}  // namespace zv
