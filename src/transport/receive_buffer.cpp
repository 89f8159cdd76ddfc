#include "transport/receive_buffer.hpp"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "crypto/crypto.hpp"
#include "crypto/payload_digest.hpp"

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

uint8_t* ReceiveBuffer::Take() noexcept {
    size_ = 0;
    capacity_ = 0;
    return std::exchange(data_, nullptr);
}

bool ReceiveBuffer::Reserve(std::size_t capacity) noexcept {
    if (capacity <= capacity_) return true;
    if (growth_ == ReceiveGrowth::kExtend) {
        // Large blocks are mapped pages that the allocator remaps rather
        // than copies, so what already arrived is not touched again.
        auto* grown = static_cast<uint8_t*>(std::realloc(data_, capacity));
        if (grown == nullptr) return false;
        data_ = grown;
        capacity_ = capacity;
        return true;
    }
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

ReceiveOutcome ReceiveBuffer::Fill(Connection& connection, uint32_t length,
                                   PayloadDigest* digest) noexcept {
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
        // Whatever has arrived is digested while the network delivers more.
        const std::size_t arrived = connection.ReceiveAvailable(data_ + size_, room);
        if (arrived == 0) return ReceiveOutcome::kShort;
        if (digest != nullptr) digest->Update(data_ + size_, arrived);
        size_ += arrived;
    }
    data_[size_] = 0;
    return ReceiveOutcome::kComplete;
}

}  // namespace zv
