// SecureWipe: zeroing that survives optimisation, for keys and plaintext.
#include <cstring>

#include "crypto.hpp"

namespace zv {

void SecureWipe(void* block, std::size_t size) noexcept {
    if (block == nullptr) return;
#if defined(__GNUC__) || defined(__clang__)
    // A memset of memory about to be released is dead to the optimiser; the
    // empty assembly statement claims to read it, which keeps the memset.
    std::memset(block, 0, size);
    __asm__ __volatile__("" : : "r"(block) : "memory");
#else
    volatile unsigned char* bytes = static_cast<volatile unsigned char*>(block);
    for (std::size_t i = 0; i < size; ++i) bytes[i] = 0;
#endif
}

}  // namespace zv
