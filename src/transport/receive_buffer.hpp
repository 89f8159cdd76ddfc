// A payload read off a connection into a block that grows only as bytes
// actually arrive, so that a hostile length in a header costs nothing until
// the data behind it comes.
#pragma once

#include <cstddef>
#include <cstdint>

#include "transport/connection.hpp"

namespace zv {

// The first block holds at most this much; each growth doubles it.
inline constexpr std::size_t kInitialReceiveCapacity = 64 * 1024;

enum class ReceiveOutcome { kComplete, kShort, kNoMemory };

// Owns a block from malloc. Every block it lets go of, on growth or
// destruction, is wiped first: it may hold a key or decrypted text.
class ReceiveBuffer {
public:
    ReceiveBuffer() noexcept = default;
    ~ReceiveBuffer();
    ReceiveBuffer(const ReceiveBuffer&) = delete;
    ReceiveBuffer& operator=(const ReceiveBuffer&) = delete;

    // Reads exactly length bytes from connection (any earlier content is
    // dropped). kComplete: all arrived, and a zero byte follows them.
    // kShort: the stream ended or failed first. kNoMemory: a growth failed.
    ReceiveOutcome Fill(Connection& connection, uint32_t length) noexcept;

    uint8_t* Data() noexcept { return data_; }
    const uint8_t* Data() const noexcept { return data_; }
    std::size_t Size() const noexcept { return size_; }
    std::size_t Capacity() const noexcept { return capacity_; }

private:
    bool Reserve(std::size_t capacity) noexcept;
    void Release() noexcept;

    uint8_t* data_ = nullptr;
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;
};

}  // namespace zv
