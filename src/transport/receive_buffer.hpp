// A payload read off a connection into a block that grows only as bytes
// actually arrive, so that a hostile length in a header costs nothing until
// the data behind it comes.
#pragma once

#include <cstddef>
#include <cstdint>

#include "transport/connection.hpp"

namespace zv {

class PayloadDigest;

// The first block holds at most this much; each growth doubles it.
inline constexpr std::size_t kInitialReceiveCapacity = 64 * 1024;

enum class ReceiveOutcome { kComplete, kShort, kNoMemory };

// How a growing block leaves its earlier self behind.
enum class ReceiveGrowth {
    // realloc: extended where it stands when the allocator can, else moved
    // by the allocator, which frees the earlier block without wiping it. For
    // payloads that hold nothing the network did not see in the clear.
    kExtend,
    // A new block each time, the earlier one copied and wiped: for payloads
    // that carry secrets in the clear, such as a session key.
    kCopyAndWipe,
};

// Owns a block from malloc. The block it holds when it is destroyed or
// refilled is wiped first, whatever the growth: by then it may hold a key or
// decrypted text.
class ReceiveBuffer {
public:
    explicit ReceiveBuffer(ReceiveGrowth growth = ReceiveGrowth::kCopyAndWipe) noexcept
        : growth_(growth) {}
    ~ReceiveBuffer();
    ReceiveBuffer(const ReceiveBuffer&) = delete;
    ReceiveBuffer& operator=(const ReceiveBuffer&) = delete;

    // Reads exactly length bytes from connection (any earlier content is
    // dropped), feeding each piece to digest (when given) as it arrives.
    // kComplete: all arrived, and a zero byte follows them. kShort: the
    // stream ended or failed first. kNoMemory: a growth failed.
    ReceiveOutcome Fill(Connection& connection, uint32_t length,
                        PayloadDigest* digest = nullptr) noexcept;

    uint8_t* Data() noexcept { return data_; }
    const uint8_t* Data() const noexcept { return data_; }
    std::size_t Size() const noexcept { return size_; }
    std::size_t Capacity() const noexcept { return capacity_; }

    // Hands the block, unwiped, to the caller, who frees it; the buffer is
    // then empty.
    uint8_t* Take() noexcept;

private:
    bool Reserve(std::size_t capacity) noexcept;
    void Release() noexcept;

    ReceiveGrowth growth_;
    uint8_t* data_ = nullptr;
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;
};

}  // namespace zv
