// The server-wide allowance of bytes for requests in flight: a request's
// whole working set is claimed here before its payload is read, so that no
// client, nor all of them together, can make the server hold more than the
// limit, and a request once admitted has all it needs to complete. Claims
// that do not fit wait in a queue and are granted in turn. A slice at the top
// is kept for small requests, which pass the queue, so that a few huge
// stalled uploads cannot keep ordinary clients waiting.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>

namespace zv::server {

class MemoryBudget {
public:
    // Requests of at most this many bytes may use the reserved slice.
    static constexpr std::size_t kSmallRequest = 64 * 1024;
    using Ticket = uint64_t;

    explicit MemoryBudget(std::size_t limit);

    // Claims bytes for a request of requestSize bytes and returns true when
    // they fit now (within the limit or, for a request that is not small, the
    // part of it below the reserved slice) and no earlier claim of its kind
    // waits. Otherwise claims nothing, queues the claim under *ticket and
    // returns false: once every earlier claim has been granted or withdrawn
    // and this one fits, the bytes are claimed and granted is called once,
    // from the thread that gave them back. Claims are granted in the order
    // they were made, so that a large one is never passed over for ever.
    bool Claim(std::size_t bytes, std::size_t requestSize, Ticket* ticket,
               std::function<void()> granted);
    // Drops a queued claim that has not been granted; nothing otherwise.
    void Withdraw(Ticket ticket) noexcept;
    void Release(std::size_t bytes) noexcept;
    // Whether a claim of bytes could ever be granted, with nothing else held.
    bool CouldEverClaim(std::size_t bytes, std::size_t requestSize) const;

    std::size_t InUse() const;
    std::size_t Limit() const { return limit_; }

private:
    struct Waiter {
        Ticket ticket;
        std::size_t bytes;
        std::size_t requestSize;
        std::function<void()> granted;
    };

    std::size_t CeilingFor(std::size_t requestSize) const;
    bool Fits(std::size_t bytes, std::size_t requestSize) const;
    // Grants the queued claims that fit now, in order, adding to calls what
    // is to be called once the lock is let go.
    void GrantWaiting(std::deque<std::function<void()>>& calls);
    static void CallAll(std::deque<std::function<void()>>& calls) noexcept;

    const std::size_t limit_;
    const std::size_t reserve_;
    mutable std::mutex mutex_;
    std::size_t inUse_ = 0;
    Ticket nextTicket_ = 1;
    std::deque<Waiter> waiters_;
};

}  // namespace zv::server
