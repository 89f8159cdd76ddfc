// A loopback port on which nothing listens, on POSIX systems and on Windows.
#pragma once

#include <cstdint>

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace zvtest {

// Binds an ephemeral port on 127.0.0.1 and releases it at once; 0 when no
// port could be had.
inline uint16_t UnusedLoopbackPort() {
#ifdef _WIN32
    WSADATA data;
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0) return 0;
    const SOCKET socket = ::socket(AF_INET, SOCK_STREAM, 0);
    const bool created = socket != INVALID_SOCKET;
#else
    const int socket = ::socket(AF_INET, SOCK_STREAM, 0);
    const bool created = socket >= 0;
#endif
    uint16_t port = 0;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (created && bind(socket, reinterpret_cast<sockaddr*>(&address), length) == 0 &&
        getsockname(socket, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
        port = ntohs(address.sin_port);
    }
#ifdef _WIN32
    if (created) closesocket(socket);
    WSACleanup();
#else
    if (created) close(socket);
#endif
    return port;
}

}  // namespace zvtest
