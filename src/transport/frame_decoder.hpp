// One frame as it arrives: a header whose first four bytes give the payload
// length (little-endian), the payload, and the payload's checksum. No I/O
// here: each user runs its own loop, receiving into the room the decoder
// offers and telling it how much came, and names its own failure codes.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <span>

#include "crypto/crypto.hpp"
#include "crypto/payload_digest.hpp"
#include "transport/receive_buffer.hpp"

namespace zv {

inline constexpr std::size_t kMaxFrameHeaderSize = 32;
inline constexpr uint32_t kNoPayloadBound = std::numeric_limits<uint32_t>::max();
// The first payload block holds at most this much; each growth doubles it.
inline constexpr std::size_t kInitialReceiveCapacity = 64 * 1024;

// The step that failed or ran short.
enum class FrameFailure {
    kNone,
    kHeaderShort,
    kNoMemory,
    kPayloadShort,
    kTooLarge,  // the header announced more than the bound
    kChecksumShort,
    kChecksumMismatch,
};

enum class FrameEvent {
    kNeedBytes,
    kHeader,    // the header is complete and within the bound
    kComplete,  // the checksum arrived and matches the payload
    kFailed,
};

class FrameDecoder {
public:
    // headerSize: 4 to kMaxFrameHeaderSize bytes.
    FrameDecoder(std::size_t headerSize, uint32_t maxPayload, ReceiveGrowth growth) noexcept
        : headerSize_(headerSize), maxPayload_(maxPayload), payload_(growth) {}
    FrameDecoder(const FrameDecoder&) = delete;
    FrameDecoder& operator=(const FrameDecoder&) = delete;

    // How many more bytes of block the next payload bytes need before they
    // can come; 0 while there is room, and outside the payload.
    std::size_t GrowthNeeded() const noexcept;
    // Grows the block by GrowthNeeded(). False, and failed for want of
    // memory, when the block could not grow.
    bool Grow() noexcept;
    // Where the next bytes go and how many the current step takes. Empty
    // once the frame is complete or failed, and while the block must grow.
    std::span<uint8_t> Room() noexcept;
    // Takes count bytes that arrived at Room(). The payload is digested as
    // it comes, so that the digest overlaps the wait for the rest.
    FrameEvent Advance(std::size_t count) noexcept;
    // The stream ended or failed before the frame was complete: fails with
    // the shortness of the step it was in.
    FrameFailure EndOfStream() noexcept;

    FrameFailure Failure() const noexcept { return failure_; }
    // Complete from the kHeader event on.
    std::span<const uint8_t> Header() const noexcept { return {header_.data(), headerSize_}; }
    // Whatever of the payload arrived; a zero byte follows a complete one.
    ReceiveBuffer& Payload() noexcept { return payload_; }

private:
    enum class Step { kHeader, kPayload, kChecksum, kDone };

    FrameEvent Fail(FrameFailure failure) noexcept;
    FrameEvent EndPayload() noexcept;

    std::size_t headerSize_;
    uint32_t maxPayload_;
    Step step_ = Step::kHeader;
    FrameFailure failure_ = FrameFailure::kNone;
    std::size_t filled_ = 0;  // of the header or the checksum
    std::size_t length_ = 0;  // of the payload, as the header announced it
    std::array<uint8_t, kMaxFrameHeaderSize> header_{};
    ReceiveBuffer payload_;
    PayloadDigest digest_;
    uint8_t computed_[kChecksumSize] = {};
    uint8_t received_[kChecksumSize] = {};
};

}  // namespace zv
