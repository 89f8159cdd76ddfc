// The thin layer between the transport and the platform's sockets. Everything
// platform-specific about a TCP stream lives behind these functions, one .cpp
// per platform (socket_posix.cpp, socket_win32.cpp); the rest of the transport
// is portable, and this header brings in no platform header. What only the
// seam's own files use (addresses, single calls) is in socket_platform.hpp.
// Sockets are non-blocking: every wait for the network goes through
// WaitForSocket, which is where limits and cancellation are honoured.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace zv {

#ifdef _WIN32
// SOCKET and INVALID_SOCKET, spelt without <winsock2.h>; socket_platform.hpp
// checks that they agree.
using NativeSocket = std::uintptr_t;
inline constexpr NativeSocket kNoSocket = ~NativeSocket{0};
#else
using NativeSocket = int;
inline constexpr NativeSocket kNoSocket = -1;
#endif

// How long one operation may wait for the network, and whether its caller
// wants it to stop. Zero limits and a null flag wait as long as it takes.
struct WaitLimits {
    // The set-up of one connection, name resolution and all addresses together.
    uint32_t connectTimeoutMs = 0;
    // Any one wait for the server to take or deliver bytes; it starts again
    // whenever bytes move, so a long transfer that keeps moving is never cut.
    uint32_t ioTimeoutMs = 0;
    // Set to non-zero by another thread to stop the operation; read atomically.
    const int32_t* cancelFlag = nullptr;
};

using SteadyClock = std::chrono::steady_clock;
// A point in time after which a wait gives up; none waits for ever.
using Deadline = std::optional<SteadyClock::time_point>;

// The deadline timeoutMs from now; none for 0.
Deadline DeadlineAfter(uint32_t timeoutMs) noexcept;

// Whether flag is given and set.
bool CancelRequested(const int32_t* cancelFlag) noexcept;

enum class WaitOutcome { kReady, kTimedOut, kCancelled, kFailed };

// Waits until socket is writable (forWriting) or readable, including an
// error or the end of the stream, which the next call then reports. Gives up
// at deadline or, within 50 ms, once cancelFlag is set. kFailed when the
// platform cannot wait at all.
WaitOutcome WaitForSocket(NativeSocket socket, bool forWriting, const Deadline& deadline,
                          const int32_t* cancelFlag) noexcept;

// Starts the platform's sockets layer for one connection. Each true result is
// matched by one StopSocketsLayer when that connection closes. Always true
// where the layer needs no start (POSIX).
bool StartSocketsLayer() noexcept;
void StopSocketsLayer() noexcept;

// Resolves host (a name, an IPv4 or an IPv6 literal) and connects to port on
// the first address that accepts. Returns 0 with socket set, or 50 (the name
// is empty or resolves to no usable address), 102 (the resolver itself
// failed), 103, 104, 105 or 408 (as ConnectToFirstAccepting; a flag already
// set gives 408 before anything else). Thread-safe. The resolver is the
// system's, bounded by its own time-outs; its time counts against
// limits.connectTimeoutMs.
uint32_t ConnectToHost(const char* host, uint16_t port, NativeSocket& socket,
                       const WaitLimits& limits = {}) noexcept;

// Pieces of memory that leave as one stream, in order.
using ByteParts = std::span<const std::span<const uint8_t>>;
// The most parts one gathered send takes.
inline constexpr std::size_t kMaxGatheredParts = 4;

// Sends every byte of parts (at most kMaxGatheredParts) as one gathered send,
// retrying interrupted and partial sends and waiting while the peer's window
// is full; sent counts the bytes that went out, over all parts. Returns 0, or
// the platform's error number of the send that failed, or -1 when a wait ran
// past limits.ioTimeoutMs (stopCode 407) or the cancel flag was set
// (stopCode 408). A peer that has gone never raises SIGPIPE in the caller's
// process.
int SendAllGathered(NativeSocket socket, ByteParts parts, const WaitLimits& limits,
                    uint32_t& stopCode, std::size_t& sent) noexcept;

// SendAllGathered with one part.
int SendAll(NativeSocket socket, const uint8_t* data, std::size_t length, const WaitLimits& limits,
            uint32_t& stopCode) noexcept;

// Receives what has arrived, at least one byte and at most length (not 0),
// waiting as SendAll does until something comes. Returns how many bytes
// arrived: 0 when the stream ended, failed or a wait was stopped.
std::size_t ReceiveAvailable(NativeSocket socket, uint8_t* buffer, std::size_t length,
                             const WaitLimits& limits, uint32_t& stopCode) noexcept;

// Receives until length bytes have arrived, the stream ends, an error occurs
// or a wait is stopped as for SendAll (stopCode 407 or 408). Returns how many
// bytes arrived.
std::size_t ReceiveExactly(NativeSocket socket, uint8_t* buffer, std::size_t length,
                           const WaitLimits& limits, uint32_t& stopCode) noexcept;

// The same without limits, for peers that wait as long as it takes.
int SendAll(NativeSocket socket, const uint8_t* data, std::size_t length) noexcept;
std::size_t ReceiveExactly(NativeSocket socket, uint8_t* buffer, std::size_t length) noexcept;

// Closes the sending side (the peer sees the end of the stream); false when
// the platform refuses.
bool ShutdownSending(NativeSocket socket) noexcept;

void CloseSocket(NativeSocket socket) noexcept;

}  // namespace zv
