// The platform side of the socket seam, for the seam's own files and the
// tests that probe them: address structures and the single non-blocking calls
// that socket_io.cpp builds its waits on. Portable code includes
// socket_seam.hpp instead, which exposes none of this.
#pragma once

#include <span>
#include <vector>

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>

#include <type_traits>
#else
#include <netdb.h>
#include <sys/socket.h>
#include <sys/uio.h>
#endif

#include "transport/socket_seam.hpp"

namespace zv {

#ifdef _WIN32
static_assert(std::is_same_v<NativeSocket, SOCKET> && kNoSocket == INVALID_SOCKET);
#endif

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

// The platform primitives beneath the functions above, one implementation
// per platform:
// - a descriptor that another thread can make readable, for a loop that waits
//   on descriptors alone: an eventfd on Linux (the two ends are then one), a
//   pipe on other POSIX systems, a connected loopback socket pair on Windows
//   (WSAPoll watches sockets only). False when it could not be made;
bool OpenWakeChannel(NativeSocket& readEnd, NativeSocket& writeEnd) noexcept;
void SignalWakeChannel(NativeSocket writeEnd) noexcept;
void CloseWakeChannel(NativeSocket readEnd, NativeSocket writeEnd) noexcept;
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
// - how a connect under way stands now, without waiting: asked again of the
//   system where it answers that in one call (POSIX), else through a
//   zero-time wait and ConnectSucceeded; ready: the caller just saw the
//   socket writable;
ConnectStart ContinueConnect(NativeSocket socket, const sockaddr* address, socklen_t length,
                             bool ready) noexcept;
bool ConnectSucceeded(NativeSocket socket) noexcept;
// - one send or receive call, without waiting: kMoved with moved set, or
//   kWouldBlock, kEnded (receive only: the peer closed) or kFailed (with
//   error for a send); a send gathers parts (at most kMaxGatheredParts, the
//   first not empty) into one call;
enum class IoStep { kMoved, kWouldBlock, kEnded, kFailed };
IoStep SendSome(NativeSocket socket, ByteParts parts, std::size_t& moved, int& error) noexcept;
IoStep ReceiveSome(NativeSocket socket, uint8_t* buffer, std::size_t length,
                   std::size_t& moved) noexcept;
// - one wait of at most timeoutMs (-1: no limit) for the socket to become
//   writable or readable: kReady, kTimedOut when the time passed, kFailed.
WaitOutcome PollSocket(NativeSocket socket, bool forWriting, int timeoutMs) noexcept;

}  // namespace zv
