// Waiting for a socket and moving bytes through it, the same on every
// platform: the platform files supply one non-blocking call and one bounded
// wait; here they are put together with the caller's limits and cancel flag.
#include <algorithm>

#include "error_codes.hpp"
#include "transport/socket_platform.hpp"

namespace zv {
namespace {

using std::chrono::milliseconds;

// With a cancel flag to watch, no single wait lasts longer than this, so that
// the flag is seen well within 100 ms.
constexpr milliseconds kCancelSlice{50};

// The code a stopped wait gives its operation.
uint32_t StopCode(WaitOutcome outcome) noexcept {
    return outcome == WaitOutcome::kCancelled ? kCancelled : kIoTimedOut;
}

}  // namespace

Deadline DeadlineAfter(uint32_t timeoutMs) noexcept {
    if (timeoutMs == 0) return std::nullopt;
    return SteadyClock::now() + milliseconds(timeoutMs);
}

bool CancelRequested(const int32_t* cancelFlag) noexcept {
    return cancelFlag != nullptr && __atomic_load_n(cancelFlag, __ATOMIC_ACQUIRE) != 0;
}

WaitOutcome WaitForSocket(NativeSocket socket, bool forWriting, const Deadline& deadline,
                          const int32_t* cancelFlag) noexcept {
    for (;;) {
        if (CancelRequested(cancelFlag)) return WaitOutcome::kCancelled;
        milliseconds slice{-1};
        if (deadline) {
            // Rounded up, so that a remainder below a millisecond is not a
            // run of zero-length waits.
            slice = std::chrono::ceil<milliseconds>(*deadline - SteadyClock::now());
            if (slice.count() <= 0) return WaitOutcome::kTimedOut;
        }
        if (cancelFlag != nullptr)
            slice = slice.count() < 0 ? kCancelSlice : std::min(slice, kCancelSlice);
        const WaitOutcome outcome = PollSocket(
            socket, forWriting, static_cast<int>(std::min<long long>(slice.count(), 0x7FFFFFFF)));
        if (outcome != WaitOutcome::kTimedOut) return outcome;
    }
}

namespace {

// Whether the wait before the next call may go on; sets stopCode when not.
bool WaitGoesOn(NativeSocket socket, bool forWriting, const WaitLimits& limits,
                uint32_t& stopCode) noexcept {
    const WaitOutcome outcome =
        WaitForSocket(socket, forWriting, DeadlineAfter(limits.ioTimeoutMs), limits.cancelFlag);
    if (outcome == WaitOutcome::kReady) return true;
    if (outcome != WaitOutcome::kFailed) stopCode = StopCode(outcome);
    return false;
}

}  // namespace

int SendAllGathered(NativeSocket socket, ByteParts parts, const WaitLimits& limits,
                    uint32_t& stopCode, std::size_t& sent) noexcept {
    sent = 0;
    if (parts.size() > kMaxGatheredParts) return -1;
    // What is still to go: the parts not yet sent, the first one cut to its
    // unsent rest, empty parts left out.
    std::array<std::span<const uint8_t>, kMaxGatheredParts> rest;
    std::size_t count = 0;
    for (const std::span<const uint8_t> part : parts) {
        if (!part.empty()) rest[count++] = part;
    }
    std::size_t first = 0;
    while (first < count) {
        // Checked before every call, so that a stream that never makes us
        // wait still stops.
        if (CancelRequested(limits.cancelFlag)) {
            stopCode = kCancelled;
            return -1;
        }
        std::size_t moved = 0;
        int error = 0;
        switch (SendSome(socket, ByteParts(rest.data() + first, count - first), moved, error)) {
            case IoStep::kMoved:
                sent += moved;
                while (first < count && moved >= rest[first].size()) {
                    moved -= rest[first].size();
                    ++first;
                }
                if (first < count) rest[first] = rest[first].subspan(moved);
                break;
            case IoStep::kWouldBlock:
                if (!WaitGoesOn(socket, true, limits, stopCode)) return -1;
                break;
            case IoStep::kEnded:
            case IoStep::kFailed:
                return error != 0 ? error : -1;
        }
    }
    return 0;
}

int SendAll(NativeSocket socket, const uint8_t* data, std::size_t length, const WaitLimits& limits,
            uint32_t& stopCode) noexcept {
    const std::span<const uint8_t> part(data, length);
    std::size_t sent = 0;
    return SendAllGathered(socket, ByteParts(&part, 1), limits, stopCode, sent);
}

std::size_t ReceiveAvailable(NativeSocket socket, uint8_t* buffer, std::size_t length,
                             const WaitLimits& limits, uint32_t& stopCode) noexcept {
    for (;;) {
        if (CancelRequested(limits.cancelFlag)) {
            stopCode = kCancelled;
            return 0;
        }
        std::size_t moved = 0;
        switch (ReceiveSome(socket, buffer, length, moved)) {
            case IoStep::kMoved:
                return moved;
            case IoStep::kWouldBlock:
                if (!WaitGoesOn(socket, false, limits, stopCode)) return 0;
                break;
            case IoStep::kEnded:
            case IoStep::kFailed:
                return 0;
        }
    }
}

std::size_t ReceiveExactly(NativeSocket socket, uint8_t* buffer, std::size_t length,
                           const WaitLimits& limits, uint32_t& stopCode) noexcept {
    std::size_t received = 0;
    while (received < length) {
        const std::size_t moved =
            ReceiveAvailable(socket, buffer + received, length - received, limits, stopCode);
        if (moved == 0) break;
        received += moved;
    }
    return received;
}

int SendAll(NativeSocket socket, const uint8_t* data, std::size_t length) noexcept {
    uint32_t ignored = 0;
    return SendAll(socket, data, length, WaitLimits{}, ignored);
}

std::size_t ReceiveExactly(NativeSocket socket, uint8_t* buffer, std::size_t length) noexcept {
    uint32_t ignored = 0;
    return ReceiveExactly(socket, buffer, length, WaitLimits{}, ignored);
}

}  // namespace zv
