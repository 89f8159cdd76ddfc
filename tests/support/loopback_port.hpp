// Loopback listeners on ephemeral ports, on POSIX systems and on Windows.
#pragma once

#include <cstdint>

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <netinet/in.h>
#include <sys/socket.h>
#endif

#include "transport/socket_seam.hpp"

namespace zvtest {

// A start-up of the sockets layer for as long as it lives; nothing to start
// on POSIX systems.
struct SocketsLayer {
#ifdef _WIN32
    SocketsLayer() {
        WSADATA data;
        started = WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }
    ~SocketsLayer() {
        if (started) WSACleanup();
    }
    SocketsLayer(const SocketsLayer&) = delete;
    SocketsLayer& operator=(const SocketsLayer&) = delete;
    bool started = false;
#endif
};

// A listener on 127.0.0.1 (or ::1) with the given accept backlog; port
// receives its port. zv::kNoSocket when none could be had. On Windows the
// caller holds a SocketsLayer.
inline zv::NativeSocket ListenOnLoopback(int backlog, int& port, int family = AF_INET) {
#ifdef _WIN32
    const zv::NativeSocket listener = socket(family, SOCK_STREAM, 0);
#else
    const zv::NativeSocket listener = socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0);
#endif
    sockaddr_in v4{};
    sockaddr_in6 v6{};
    v4.sin_family = AF_INET;
    v4.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    v6.sin6_family = AF_INET6;
    v6.sin6_addr = in6addr_loopback;
    auto* address =
        family == AF_INET6 ? reinterpret_cast<sockaddr*>(&v6) : reinterpret_cast<sockaddr*>(&v4);
    socklen_t length = family == AF_INET6 ? sizeof v6 : sizeof v4;
    if (listener == zv::kNoSocket || bind(listener, address, length) != 0 ||
        listen(listener, backlog) != 0 || getsockname(listener, address, &length) != 0) {
        zv::CloseSocket(listener);
        return zv::kNoSocket;
    }
    port = ntohs(family == AF_INET6 ? v6.sin6_port : v4.sin_port);
    return listener;
}

// A loopback port on which nothing listens: taken and released at once; 0
// when no port could be had.
inline uint16_t UnusedLoopbackPort() {
    [[maybe_unused]] const SocketsLayer layer;
    int port = 0;
    zv::CloseSocket(ListenOnLoopback(1, port));
    return static_cast<uint16_t>(port);
}

}  // namespace zvtest
