#include "request_frame.hpp"

#include <algorithm>
#include <cstdlib>
#include <utility>

#include "crypto/crypto.hpp"

namespace zv::server {
namespace {

constexpr std::size_t kFirstBlock = 64 * 1024;

}  // namespace

PayloadCollector::~PayloadCollector() { Release(); }

PayloadCollector::PayloadCollector(PayloadCollector&& other) noexcept
    : checksum(other.checksum),
      expected_(other.expected_),
      data_(std::exchange(other.data_, nullptr)),
      size_(std::exchange(other.size_, 0)),
      capacity_(std::exchange(other.capacity_, 0)) {}

void PayloadCollector::Release() noexcept {
    if (data_ != nullptr) {
        SecureWipe(data_, size_);
        std::free(data_);
    }
    data_ = nullptr;
    size_ = capacity_ = 0;
}

std::size_t PayloadCollector::NextCapacity() const noexcept {
    // One byte beyond the payload for its terminating zero.
    const std::size_t whole = std::size_t{expected_} + 1;
    return std::min(whole, capacity_ == 0 ? kFirstBlock : capacity_ * 2);
}

std::size_t PayloadCollector::GrowthNeeded() const noexcept {
    if (RoomSize() != 0 || (PayloadComplete() && capacity_ != 0)) return 0;
    return NextCapacity() - capacity_;
}

std::size_t PayloadCollector::RoomSize() const noexcept {
    // The block always keeps one byte beyond the payload for its
    // terminating zero.
    if (capacity_ == 0) return 0;
    return std::min<std::size_t>(capacity_ - 1, expected_) - size_;
}

bool PayloadCollector::Grow() noexcept {
    const std::size_t capacity = NextCapacity();
    // realloc moves large blocks by remapping pages, not by copying. What it
    // leaves behind is not wiped: operations travel encrypted.
    auto* grown = static_cast<uint8_t*>(std::realloc(data_, capacity));
    if (grown == nullptr) return false;
    data_ = grown;
    capacity_ = capacity;
    if (PayloadComplete()) data_[size_] = 0;
    return true;
}

void PayloadCollector::Advance(std::size_t count) noexcept {
    size_ += count;
    if (PayloadComplete()) data_[size_] = 0;
}

}  // namespace zv::server
