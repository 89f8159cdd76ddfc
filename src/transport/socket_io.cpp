// Waiting for a socket and moving bytes through it, the same on every
// platform: the platform files supply one non-blocking call and one bounded
// wait; here they are put together with the caller's limits and cancel flag.
#include <algorithm>

#include "operations/error_codes.hpp"
#include "transport/socket_seam.hpp"

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

int SendAll(NativeSocket socket, const uint8_t* data, std::size_t length, const WaitLimits& limits,
            uint32_t& stopCode) noexcept {
    std::size_t sent = 0;
    while (sent < length) {
        // Checked before every call, so that a stream that never makes us
        // wait still stops.
        if (CancelRequested(limits.cancelFlag)) {
            stopCode = kCancelled;
            return -1;
        }
        std::size_t moved = 0;
        int error = 0;
        switch (SendSome(socket, data + sent, length - sent, moved, error)) {
            case IoStep::kMoved:
                sent += moved;
                break;
            case IoStep::kWouldBlock: {
                const WaitOutcome outcome = WaitForSocket(
                    socket, true, DeadlineAfter(limits.ioTimeoutMs), limits.cancelFlag);
                if (outcome == WaitOutcome::kReady) break;
                if (outcome != WaitOutcome::kFailed) stopCode = StopCode(outcome);
                return -1;
            }
            case IoStep::kEnded:
            case IoStep::kFailed:
                return error != 0 ? error : -1;
        }
    }
    return 0;
}

std::size_t ReceiveExactly(NativeSocket socket, uint8_t* buffer, std::size_t length,
                           const WaitLimits& limits, uint32_t& stopCode) noexcept {
    std::size_t received = 0;
    while (received < length) {
        if (CancelRequested(limits.cancelFlag)) {
            stopCode = kCancelled;
            break;
        }
        std::size_t moved = 0;
        const IoStep step = ReceiveSome(socket, buffer + received, length - received, moved);
        if (step == IoStep::kMoved) {
            received += moved;
            continue;
        }
        if (step != IoStep::kWouldBlock) break;
        const WaitOutcome outcome =
            WaitForSocket(socket, false, DeadlineAfter(limits.ioTimeoutMs), limits.cancelFlag);
        if (outcome == WaitOutcome::kReady) continue;
        if (outcome != WaitOutcome::kFailed) stopCode = StopCode(outcome);
        break;
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
