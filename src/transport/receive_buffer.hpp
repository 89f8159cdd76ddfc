// The block a payload arrives in. It grows only as bytes actually arrive, so
// that a hostile length in a header costs nothing until the data behind it
// comes; the frame decoder decides when.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zv {

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
// released is wiped first, whatever the growth: by then it may hold a key or
// decrypted text.
class ReceiveBuffer {
public:
    explicit ReceiveBuffer(ReceiveGrowth growth = ReceiveGrowth::kCopyAndWipe) noexcept
        : growth_(growth) {}
    ~ReceiveBuffer() { Release(); }
    ReceiveBuffer(ReceiveBuffer&& other) noexcept;
    ReceiveBuffer& operator=(ReceiveBuffer&&) = delete;
    ReceiveBuffer(const ReceiveBuffer&) = delete;
    ReceiveBuffer& operator=(const ReceiveBuffer&) = delete;

    // Grows the block to hold capacity bytes, keeping the Size() filled
    // ones; false, with the block as it was, when memory ran out.
    bool Reserve(std::size_t capacity) noexcept;
    // Counts count more bytes, written past Size(), as filled.
    void Append(std::size_t count) noexcept { size_ += count; }

    uint8_t* Data() noexcept { return data_; }
    const uint8_t* Data() const noexcept { return data_; }
    std::size_t Size() const noexcept { return size_; }
    std::size_t Capacity() const noexcept { return capacity_; }

    // Hands the block, unwiped, to the caller, who frees it; the buffer is
    // then empty.
    uint8_t* Take() noexcept;
    // Wipes and frees the block; the buffer is then empty.
    void Release() noexcept;

private:
    ReceiveGrowth growth_;
    uint8_t* data_ = nullptr;
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;
};

}  // namespace zv
