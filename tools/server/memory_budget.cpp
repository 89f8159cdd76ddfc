#include "memory_budget.hpp"

#include <algorithm>
#include <utility>

namespace zv::server {

MemoryBudget::MemoryBudget(std::size_t limit)
    : limit_(limit), reserve_(std::min<std::size_t>(limit / 8, 64u << 20)) {}

std::size_t MemoryBudget::CeilingFor(std::size_t requestSize) const {
    return requestSize <= kSmallRequest ? limit_ : limit_ - reserve_;
}

bool MemoryBudget::ClaimOrWait(std::size_t bytes, std::size_t requestSize,
                               std::function<void()> wake) {
    const std::lock_guard lock(mutex_);
    const std::size_t ceiling = CeilingFor(requestSize);
    if (bytes <= ceiling && inUse_ <= ceiling - bytes) {
        inUse_ += bytes;
        return true;
    }
    waiters_.push_back(std::move(wake));
    return false;
}

bool MemoryBudget::CouldEverClaim(std::size_t bytes, std::size_t requestSize) const {
    return bytes <= CeilingFor(requestSize);
}

void MemoryBudget::Release(std::size_t bytes) noexcept {
    std::vector<std::function<void()>> woken;
    {
        const std::lock_guard lock(mutex_);
        inUse_ -= std::min(bytes, inUse_);
        woken.swap(waiters_);
    }
    for (auto& wake : woken) {
        try {
            wake();
        } catch (...) {
            // Out of memory to wake a waiter: it runs into its request
            // deadline instead. Release runs in destructors, so nothing
            // may leave it.
        }
    }
}

std::size_t MemoryBudget::InUse() const {
    const std::lock_guard lock(mutex_);
    return inUse_;
}

}  // namespace zv::server
