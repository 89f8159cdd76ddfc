// The socket seam on Windows Sockets 2.
// winsock2.h comes first: windows.h would bring in the older winsock.h.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <windows.h>

#include <algorithm>
#include <climits>

#include "transport/socket_seam.hpp"

namespace zv {
namespace {

// A socket that a process this one starts does not inherit: the flag makes
// that atomic, so a CreateProcess on another thread cannot slip in between.
// Systems older than the flag refuse it; their sockets lose the inheritance
// right after creation instead.
SOCKET NonInheritableSocket(const addrinfo& entry) noexcept {
    const SOCKET created = WSASocketW(entry.ai_family, entry.ai_socktype, entry.ai_protocol,
                                      nullptr, 0, WSA_FLAG_OVERLAPPED | WSA_FLAG_NO_HANDLE_INHERIT);
    if (created != INVALID_SOCKET || WSAGetLastError() != WSAEINVAL) return created;
    const SOCKET fallback = ::socket(entry.ai_family, entry.ai_socktype, entry.ai_protocol);
    if (fallback != INVALID_SOCKET) {
        SetHandleInformation(reinterpret_cast<HANDLE>(fallback), HANDLE_FLAG_INHERIT, 0);
    }
    return fallback;
}

// A send or receive moves at most INT_MAX bytes per call.
int ChunkLength(std::size_t remaining) noexcept {
    return static_cast<int>(std::min<std::size_t>(remaining, INT_MAX));
}

}  // namespace

bool StartSocketsLayer() noexcept {
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data) == 0;
}

void StopSocketsLayer() noexcept { WSACleanup(); }

bool MeansNoSuchHost(int lookupError) noexcept {
    switch (lookupError) {
        case WSAHOST_NOT_FOUND:
        case WSATRY_AGAIN:
        case WSANO_RECOVERY:
        case WSANO_DATA:
            return true;
        default:
            return false;
    }
}

NativeSocket OpenStreamSocket(const addrinfo& entry) noexcept {
    return NonInheritableSocket(entry);
}

bool ConnectStreamSocket(NativeSocket socket, const sockaddr* address, socklen_t length) noexcept {
    if (connect(socket, address, length) != 0) return false;
    // A request goes out as header, payload and checksum, each its own send;
    // without this the small checksum would wait for the server's delayed
    // acknowledgement of the payload.
    const BOOL on = TRUE;
    setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
    return true;
}

int SendAll(NativeSocket socket, const uint8_t* data, std::size_t length) noexcept {
    std::size_t sent = 0;
    while (sent < length) {
        const int count =
            send(socket, reinterpret_cast<const char*>(data + sent), ChunkLength(length - sent), 0);
        if (count == SOCKET_ERROR) {
            const int error = WSAGetLastError();
            // A failure must never read as success, even without a number.
            return error != 0 ? error : -1;
        }
        sent += static_cast<std::size_t>(count);
    }
    return 0;
}

std::size_t ReceiveExactly(NativeSocket socket, uint8_t* buffer, std::size_t length) noexcept {
    std::size_t received = 0;
    while (received < length) {
        const int count = recv(socket, reinterpret_cast<char*>(buffer + received),
                               ChunkLength(length - received), 0);
        if (count <= 0) break;
        received += static_cast<std::size_t>(count);
    }
    return received;
}

bool ShutdownSending(NativeSocket socket) noexcept { return shutdown(socket, SD_SEND) == 0; }

void CloseSocket(NativeSocket socket) noexcept {
    if (socket != kNoSocket) closesocket(socket);
}

}  // namespace zv
