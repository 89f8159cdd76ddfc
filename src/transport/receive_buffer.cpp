#include "transport/receive_buffer.hpp"

#include <cstdlib>
#include <cstring>
#include <utility>

#include "crypto/crypto.hpp"

namespace zv {

ReceiveBuffer::ReceiveBuffer(ReceiveBuffer&& other) noexcept
    : growth_(other.growth_),
      data_(std::exchange(other.data_, nullptr)),
      size_(std::exchange(other.size_, 0)),
      capacity_(std::exchange(other.capacity_, 0)) {}

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

}  // namespace zv
