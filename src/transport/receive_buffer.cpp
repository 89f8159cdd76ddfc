#include "transport/receive_buffer.hpp"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "crypto/crypto.hpp"

namespace zv {

ReceiveBuffer::~ReceiveBuffer() { Release(); }

void ReceiveBuffer::Release() noexcept {
    if (data_ != nullptr) {
        SecureWipe(data_, capacity_);
        std::free(data_);
    }
    data_ = nullptr;
    size_ = 0;
    capacity_ = 0;
}

// Grows by copying rather than realloc, so that the old block can be wiped
// before it goes back to the allocator.
bool ReceiveBuffer::Reserve(std::size_t capacity) noexcept {
    if (capacity <= capacity_) return true;
    auto* grown = static_cast<uint8_t*>(std::malloc(capacity));
    if (grown == nullptr) return false;
    if (data_ != nullptr) {
        std::memcpy(grown, data_, size_);
        SecureWipe(data_, capacity_);
        std::free(data_);
    }
    data_ = grown;
    capacity_ = capacity;
    return true;
}

ReceiveOutcome ReceiveBuffer::Fill(Connection& connection, uint32_t length) noexcept {
    Release();
    // size_t arithmetic throughout: length + 1 must not wrap for 0xFFFFFFFF.
    const std::size_t total = length;
    if (!Reserve(std::min(total, kInitialReceiveCapacity) + 1)) return ReceiveOutcome::kNoMemory;
    while (size_ < total) {
        if (size_ + 1 == capacity_) {
            const std::size_t doubled = (capacity_ - 1) * 2;
            if (!Reserve(std::min(total, doubled) + 1)) return ReceiveOutcome::kNoMemory;
        }
        const std::size_t room = std::min(total, capacity_ - 1) - size_;
        const std::size_t arrived = connection.ReceiveExactly(data_ + size_, room);
        size_ += arrived;
        if (arrived < room) return ReceiveOutcome::kShort;
    }
    data_[size_] = 0;
    return ReceiveOutcome::kComplete;
}

}  // namespace zv
