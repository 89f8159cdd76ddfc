// The server-wide allowance of bytes for requests in flight: a request's
// buffers are claimed here before they are allocated, so that no client, nor
// all of them together, can make the server hold more than the limit. A
// slice at the top is kept for small requests, so that a few huge stalled
// uploads cannot keep ordinary clients waiting.
#pragma once

#include <cstddef>
#include <functional>
#include <mutex>
#include <vector>

namespace zv::server {

class MemoryBudget {
public:
    // Requests of at most this many bytes may use the reserved slice.
    static constexpr std::size_t kSmallRequest = 64 * 1024;

    explicit MemoryBudget(std::size_t limit);

    // Claims bytes for a request of requestSize bytes. When that would pass
    // the limit (or, for a request that is not small, the part of it below
    // the reserved slice), claims nothing, returns false and calls wake once
    // after the next release, from the releasing thread, so that the waiter
    // can try again. A wake may come for a waiter that has gone meanwhile.
    bool ClaimOrWait(std::size_t bytes, std::size_t requestSize, std::function<void()> wake);
    void Release(std::size_t bytes) noexcept;
    // Whether a claim of bytes could ever be granted, with nothing else held.
    bool CouldEverClaim(std::size_t bytes, std::size_t requestSize) const;

    std::size_t InUse() const;
    std::size_t Limit() const { return limit_; }

private:
    std::size_t CeilingFor(std::size_t requestSize) const;

    const std::size_t limit_;
    const std::size_t reserve_;
    mutable std::mutex mutex_;
    std::size_t inUse_ = 0;
    std::vector<std::function<void()>> waiters_;
};

}  // namespace zv::server
