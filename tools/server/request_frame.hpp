// The server's side of a request frame: which kind of exchange a 30-byte
// header opens, and the payload collected as its bytes arrive. No I/O here:
// the connection feeds the bytes in.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "transport/frame_headers.hpp"

namespace zv::server {

inline constexpr std::size_t kChecksumBytes = 16;

// A key negotiation is exactly a bare header: operation 100, no payload, no
// encryption. Operation 100 with a payload or the encryption flag is an
// ordinary operation that happens to use that code.
inline bool IsKeyNegotiation(const RequestHeader& header) {
    return header.operationCode == kKeyNegotiationCode && header.payloadLength == 0 &&
           header.encrypted == 0;
}

// The payload of one request and its checksum trailer, in a block from malloc
// that grows (by doubling, from 64 KiB) only as bytes arrive, so that the
// length a header announces costs nothing until the data behind it comes. A
// zero byte follows a complete payload. The block is wiped when let go.
class PayloadCollector {
public:
    explicit PayloadCollector(uint32_t expected) noexcept : expected_(expected) {}
    ~PayloadCollector();
    PayloadCollector(PayloadCollector&& other) noexcept;
    PayloadCollector& operator=(PayloadCollector&&) = delete;
    PayloadCollector(const PayloadCollector&) = delete;

    bool PayloadComplete() const noexcept { return size_ == expected_; }
    // How many more bytes of block the next read needs before it can start;
    // 0 while there is room.
    std::size_t GrowthNeeded() const noexcept;
    // Grows the block by GrowthNeeded(); false when memory ran out.
    bool Grow() noexcept;
    // Where the next payload bytes go, and how many may come there.
    uint8_t* Room() noexcept { return data_ + size_; }
    std::size_t RoomSize() const noexcept;
    void Advance(std::size_t count) noexcept;

    uint8_t* Data() noexcept { return data_; }
    const uint8_t* Data() const noexcept { return data_; }
    uint32_t Size() const noexcept { return static_cast<uint32_t>(size_); }
    std::size_t Capacity() const noexcept { return capacity_; }
    // Drops the payload (wiped) once it is no longer needed.
    void Release() noexcept;

    std::array<uint8_t, kChecksumBytes> checksum{};

private:
    std::size_t NextCapacity() const noexcept;

    uint32_t expected_;
    uint8_t* data_ = nullptr;
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;
};

}  // namespace zv::server
