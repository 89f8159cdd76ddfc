#include "transport/frame_decoder.hpp"

#include <algorithm>
#include <cstring>

#include "transport/frame_headers.hpp"

namespace zv {

FrameEvent FrameDecoder::Fail(FrameFailure failure) noexcept {
    failure_ = failure;
    step_ = Step::kDone;
    return FrameEvent::kFailed;
}

std::size_t FrameDecoder::GrowthNeeded() const noexcept {
    if (step_ != Step::kPayload) return 0;
    // One byte beyond the payload for its terminating zero; size_t
    // arithmetic, so that it does not wrap for a length of 0xFFFFFFFF.
    const std::size_t capacity = payload_.Capacity();
    if (capacity == 0) return std::min(length_, kInitialReceiveCapacity) + 1;
    if (payload_.Size() + 1 < capacity) return 0;
    return std::min(length_, (capacity - 1) * 2) + 1 - capacity;
}

bool FrameDecoder::Grow() noexcept {
    if (!payload_.Reserve(payload_.Capacity() + GrowthNeeded())) {
        Fail(FrameFailure::kNoMemory);
        return false;
    }
    // An empty payload is complete as soon as it has a block.
    if (step_ == Step::kPayload && payload_.Size() == length_) {
        return EndPayload() != FrameEvent::kFailed;
    }
    return true;
}

std::span<uint8_t> FrameDecoder::Room() noexcept {
    switch (step_) {
        case Step::kHeader:
            return {header_.data() + filled_, headerSize_ - filled_};
        case Step::kPayload:
            if (GrowthNeeded() != 0) return {};
            return {payload_.Data() + payload_.Size(),
                    std::min(length_, payload_.Capacity() - 1) - payload_.Size()};
        case Step::kChecksum:
            return {received_ + filled_, kChecksumSize - filled_};
        case Step::kDone:
            break;
    }
    return {};
}

FrameEvent FrameDecoder::EndPayload() noexcept {
    payload_.Data()[length_] = 0;
    if (!digest_.Finish(computed_)) return Fail(FrameFailure::kNoMemory);
    step_ = Step::kChecksum;
    return FrameEvent::kNeedBytes;
}

FrameEvent FrameDecoder::Advance(std::size_t count) noexcept {
    switch (step_) {
        case Step::kHeader:
            filled_ += count;
            if (filled_ < headerSize_) return FrameEvent::kNeedBytes;
            filled_ = 0;
            length_ = FramePayloadLength(header_.data());
            if (length_ > maxPayload_) return Fail(FrameFailure::kTooLarge);
            step_ = Step::kPayload;
            return FrameEvent::kHeader;
        case Step::kPayload:
            // The checksum covers the bytes as they travelled.
            digest_.Update(payload_.Data() + payload_.Size(), count);
            payload_.Append(count);
            if (payload_.Size() < length_) return FrameEvent::kNeedBytes;
            return EndPayload();
        case Step::kChecksum:
            filled_ += count;
            if (filled_ < kChecksumSize) return FrameEvent::kNeedBytes;
            step_ = Step::kDone;
            if (std::memcmp(received_, computed_, kChecksumSize) != 0) {
                return Fail(FrameFailure::kChecksumMismatch);
            }
            return FrameEvent::kComplete;
        case Step::kDone:
            break;
    }
    return failure_ == FrameFailure::kNone ? FrameEvent::kComplete : FrameEvent::kFailed;
}

FrameFailure FrameDecoder::EndOfStream() noexcept {
    switch (step_) {
        case Step::kHeader:
            Fail(FrameFailure::kHeaderShort);
            break;
        case Step::kPayload:
            Fail(FrameFailure::kPayloadShort);
            break;
        case Step::kChecksum:
            Fail(FrameFailure::kChecksumShort);
            break;
        case Step::kDone:
            break;
    }
    return failure_;
}

}  // namespace zv
