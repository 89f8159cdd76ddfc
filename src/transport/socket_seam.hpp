// The thin layer between the transport and the platform's sockets. Everything
// platform-specific about a TCP stream lives behind these functions, one .cpp
// per platform (socket_posix.cpp, socket_win32.cpp); the rest of the transport
// is portable. Sockets are non-blocking: every wait for the network goes
// through WaitForSocket, which is where limits and cancellation are honoured.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <netdb.h>
#include <sys/socket.h>
#endif

namespace zv {

#ifdef _WIN32
using NativeSocket = SOCKET;
inline constexpr NativeSocket kNoSocket = INVALID_SOCKET;
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

// The addresses a host name resolved to, in the order they are tried: the
// IPv4 ones first, then the IPv6 ones, each group in the resolver's order.
// Entries of other families are left out.
std::vector<const addrinfo*> OrderForConnecting(const addrinfo* list);

// A copy of entry's address with port filled in; false for a family we do not
// connect to or an entry too short for its family.
bool AddressWithPort(const addrinfo& entry, uint16_t port, sockaddr_storage& address,
                     socklen_t& length) noexcept;

// Tries each address in order, with port set on it, until one accepts a
// connection, all of them before deadline. Returns 0 with socket set; 105
// when none connected and at least one ran out of time; 408 once cancelFlag
// is set; 104 when no address accepted a connect, 103 when no socket could
// even be created for any of them.
uint32_t ConnectToFirstAccepting(std::span<const addrinfo* const> addresses, uint16_t port,
                                 NativeSocket& socket, const Deadline& deadline = {},
                                 const int32_t* cancelFlag = nullptr) noexcept;

// Resolves host (a name, an IPv4 or an IPv6 literal) and connects to port on
// the first address that accepts. Returns 0 with socket set, or 50 (the name
// is empty or resolves to no usable address), 102 (the resolver itself
// failed), 103, 104, 105 or 408 (as ConnectToFirstAccepting; a flag already
// set gives 408 before anything else). Thread-safe. The resolver is the
// system's, bounded by its own time-outs; its time counts against
// limits.connectTimeoutMs.
uint32_t ConnectToHost(const char* host, uint16_t port, NativeSocket& socket,
                       const WaitLimits& limits = {}) noexcept;

// Sends all length bytes, retrying interrupted and partial sends and waiting
// while the peer's window is full. Returns 0, or the platform's error number
// of the send that failed, or -1 when a wait ran past limits.ioTimeoutMs
// (stopCode 407) or the cancel flag was set (stopCode 408). A peer that has
// gone never raises SIGPIPE in the caller's process.
int SendAll(NativeSocket socket, const uint8_t* data, std::size_t length, const WaitLimits& limits,
            uint32_t& stopCode) noexcept;

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

// The platform primitives beneath the functions above, one implementation
// per platform:
// - whether a getaddrinfo failure means the name has no address (50) rather
//   than that the resolver could not work (102), read right after the call
//   with errno cleared before it;
bool MeansNoSuchHost(int lookupError) noexcept;
// - a non-blocking stream socket for entry's family, with keepalive probes
//   and without delayed small sends, that processes this one starts do not
//   inherit; or kNoSocket;
NativeSocket OpenStreamSocket(const addrinfo& entry) noexcept;
// - starting a connect: done at once, under way (wait for writability, then
//   ask ConnectSucceeded), or refused;
enum class ConnectStart { kConnected, kInProgress, kFailed };
ConnectStart StartConnect(NativeSocket socket, const sockaddr* address, socklen_t length) noexcept;
bool ConnectSucceeded(NativeSocket socket) noexcept;
// - one send or receive call, without waiting: kMoved with moved set, or
//   kWouldBlock, kEnded (receive only: the peer closed) or kFailed with error.
enum class IoStep { kMoved, kWouldBlock, kEnded, kFailed };
IoStep SendSome(NativeSocket socket, const uint8_t* data, std::size_t length, std::size_t& moved,
                int& error) noexcept;
IoStep ReceiveSome(NativeSocket socket, uint8_t* buffer, std::size_t length,
                   std::size_t& moved) noexcept;
// - one wait of at most timeoutMs (-1: no limit) for the socket to become
//   writable or readable: kReady, kTimedOut when the time passed, kFailed.
WaitOutcome PollSocket(NativeSocket socket, bool forWriting, int timeoutMs) noexcept;

}  // namespace zv
