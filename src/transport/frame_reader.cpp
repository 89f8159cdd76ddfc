#include "transport/frame_reader.hpp"

namespace zv {

uint32_t FrameFailureCodes::For(FrameFailure failure) const noexcept {
    switch (failure) {
        case FrameFailure::kNone:
            return kNoError;
        case FrameFailure::kHeaderShort:
            return headerShort;
        case FrameFailure::kTooLarge:
            return tooLarge;
        case FrameFailure::kNoMemory:
            return noMemory;
        case FrameFailure::kPayloadShort:
            return payloadShort;
        case FrameFailure::kChecksumShort:
            return checksumShort;
        case FrameFailure::kChecksumMismatch:
            return checksumMismatch;
    }
    return noMemory;
}

uint32_t ReadFrame(Connection& connection, FrameDecoder& frame,
                   const FrameFailureCodes& codes) noexcept {
    for (;;) {
        if (frame.GrowthNeeded() != 0) frame.Grow();
        const std::span<uint8_t> room = frame.Room();
        if (room.empty()) break;  // complete or failed
        const std::size_t arrived = connection.ReceiveAvailable(room.data(), room.size());
        if (arrived == 0) {
            frame.EndOfStream();
            break;
        }
        frame.Advance(arrived);
    }
    return codes.For(frame.Failure());
}

}  // namespace zv
