// The thin layer between the transport and the platform's sockets. Everything
// platform-specific about a TCP stream lives behind these functions, one .cpp
// per platform (socket_posix.cpp, socket_win32.cpp); the rest of the transport
// is portable.
#pragma once

#include <cstddef>
#include <cstdint>
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
// connection. Returns 0 with socket set; 104 when no address accepted a
// connect, 103 when no socket could even be created for any of them.
uint32_t ConnectToFirstAccepting(std::span<const addrinfo* const> addresses, uint16_t port,
                                 NativeSocket& socket) noexcept;

// Resolves host (a name, an IPv4 or an IPv6 literal) and connects to port on
// the first address that accepts. Returns 0 with socket set, or 50 (the name
// resolves to no usable address), 102 (the resolver itself failed), 103 or 104
// (as ConnectToFirstAccepting). Thread-safe.
uint32_t ConnectToHost(const char* host, uint16_t port, NativeSocket& socket) noexcept;

// The platform primitives beneath ConnectToHost, one implementation per
// platform:
// - whether a getaddrinfo failure means the name has no address (50) rather
//   than that the resolver could not work (102);
bool MeansNoSuchHost(int lookupError) noexcept;
// - a stream socket for entry's family that processes this one starts do not
//   inherit, or kNoSocket;
NativeSocket OpenStreamSocket(const addrinfo& entry) noexcept;
// - connect, riding out interruptions; on success the socket sends each
//   write at once rather than waiting to coalesce small ones.
bool ConnectStreamSocket(NativeSocket socket, const sockaddr* address, socklen_t length) noexcept;

// Sends all length bytes, retrying interrupted and partial sends. Returns 0,
// or the platform's error number of the send that failed. A peer that has
// gone never raises SIGPIPE in the caller's process.
int SendAll(NativeSocket socket, const uint8_t* data, std::size_t length) noexcept;

// Receives until length bytes have arrived, the stream ends or an error
// occurs, retrying interrupted receives. Returns how many bytes arrived.
std::size_t ReceiveExactly(NativeSocket socket, uint8_t* buffer, std::size_t length) noexcept;

// Closes the sending side (the peer sees the end of the stream); false when
// the platform refuses.
bool ShutdownSending(NativeSocket socket) noexcept;

void CloseSocket(NativeSocket socket) noexcept;

}  // namespace zv
