// SecureWipe: zeroing that survives optimisation, for keys and plaintext.
#include "crypto.hpp"

namespace zv {

void SecureWipe(void* block, std::size_t size) noexcept {
    if (block == nullptr) return;
    // Stores through a volatile pointer cannot be dropped as dead, unlike a
    // memset of memory that is about to be released.
    volatile unsigned char* bytes = static_cast<volatile unsigned char*>(block);
    for (std::size_t i = 0; i < size; ++i) bytes[i] = 0;
}

}  // namespace zv
