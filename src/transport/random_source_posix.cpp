// The secure random source on getrandom.
#include <sys/random.h>

#include <cerrno>

#include "random_source.hpp"

namespace zv {

bool FillWithSecureRandom(uint8_t* bytes, std::size_t size) noexcept {
    std::size_t filled = 0;
    while (filled < size) {
        // A signal may interrupt the call, and a large request may come back
        // short: both just ask again for what is missing.
        const ssize_t got = getrandom(bytes + filled, size - filled, 0);
        if (got < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        filled += static_cast<std::size_t>(got);
    }
    return true;
}

}  // namespace zv
