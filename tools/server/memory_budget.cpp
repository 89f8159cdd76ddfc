#include "memory_budget.hpp"

#include <algorithm>
#include <utility>

namespace zv::server {

MemoryBudget::MemoryBudget(std::size_t limit)
    : limit_(limit), reserve_(std::min<std::size_t>(limit / 8, 64u << 20)) {}

std::size_t MemoryBudget::CeilingFor(std::size_t requestSize) const {
    return requestSize <= kSmallRequest ? limit_ : limit_ - reserve_;
}

bool MemoryBudget::Fits(std::size_t bytes, std::size_t requestSize) const {
    const std::size_t ceiling = CeilingFor(requestSize);
    return bytes <= ceiling && inUse_ <= ceiling - bytes;
}

bool MemoryBudget::Claim(std::size_t bytes, std::size_t requestSize, Ticket* ticket,
                         std::function<void()> granted) {
    const std::lock_guard lock(mutex_);
    const bool small = requestSize <= kSmallRequest;
    const bool largeWaiting =
        std::any_of(waiters_.begin(), waiters_.end(),
                    [](const Waiter& waiter) { return waiter.requestSize > kSmallRequest; });
    if (Fits(bytes, requestSize) && (small || !largeWaiting)) {
        inUse_ += bytes;
        return true;
    }
    *ticket = nextTicket_++;
    waiters_.push_back({*ticket, bytes, requestSize, std::move(granted)});
    return false;
}

void MemoryBudget::GrantWaiting(std::deque<std::function<void()>>& calls) {
    bool largeBlocked = false;
    for (auto waiter = waiters_.begin(); waiter != waiters_.end();) {
        const bool small = waiter->requestSize <= kSmallRequest;
        if ((small || !largeBlocked) && Fits(waiter->bytes, waiter->requestSize)) {
            calls.push_back(std::move(waiter->granted));
            inUse_ += waiter->bytes;
            waiter = waiters_.erase(waiter);
            continue;
        }
        // A large claim that does not fit holds back the large ones after
        // it: otherwise a stream of middling requests could starve it.
        largeBlocked = largeBlocked || !small;
        ++waiter;
    }
}

void MemoryBudget::CallAll(std::deque<std::function<void()>>& calls) noexcept {
    for (auto& call : calls) {
        try {
            if (call) call();
        } catch (...) {
            // Out of memory to tell a waiter: it keeps its claim until its
            // connection ends. Release runs in destructors, so nothing may
            // leave it.
        }
    }
}

void MemoryBudget::Withdraw(Ticket ticket) noexcept {
    std::deque<std::function<void()>> calls;
    std::function<void()> dropped;  // may own the waiter: ended unlocked
    {
        const std::lock_guard lock(mutex_);
        const auto found = std::find_if(waiters_.begin(), waiters_.end(),
                                        [ticket](const Waiter& w) { return w.ticket == ticket; });
        if (found == waiters_.end()) return;
        dropped = std::move(found->granted);
        waiters_.erase(found);
        // Whoever waited behind it may fit now.
        try {
            GrantWaiting(calls);
        } catch (...) {
            // Out of memory to list them: those granted so far are told, the
            // rest on the next release.
        }
    }
    CallAll(calls);
}

void MemoryBudget::Release(std::size_t bytes) noexcept {
    if (bytes == 0) return;
    std::deque<std::function<void()>> calls;
    {
        const std::lock_guard lock(mutex_);
        inUse_ -= std::min(bytes, inUse_);
        try {
            GrantWaiting(calls);
        } catch (...) {
            // Out of memory to list them: those granted so far are told, the
            // rest on the next release.
        }
    }
    CallAll(calls);
}

bool MemoryBudget::CouldEverClaim(std::size_t bytes, std::size_t requestSize) const {
    return bytes <= CeilingFor(requestSize);
}

std::size_t MemoryBudget::InUse() const {
    const std::lock_guard lock(mutex_);
    return inUse_;
}

}  // namespace zv::server
