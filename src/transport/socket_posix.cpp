// The socket seam on POSIX sockets.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "transport/socket_seam.hpp"

namespace zv {
namespace {

int ConnectRetryingInterrupts(int socket, const sockaddr* address, socklen_t length) noexcept {
    if (connect(socket, address, length) == 0) return 0;
    if (errno != EINTR) return -1;
    // An interrupted connect goes on in the background; wait for its outcome
    // by polling the socket's error once it becomes writable.
    for (;;) {
        pollfd writable{socket, POLLOUT, 0};
        if (poll(&writable, 1, -1) >= 0) break;
        if (errno != EINTR) return -1;
    }
    int error = 0;
    socklen_t errorLength = sizeof error;
    if (getsockopt(socket, SOL_SOCKET, SO_ERROR, &error, &errorLength) != 0 || error != 0) {
        return -1;
    }
    return 0;
}

}  // namespace

bool StartSocketsLayer() noexcept { return true; }
void StopSocketsLayer() noexcept {}

bool MeansNoSuchHost(int lookupError) noexcept {
    switch (lookupError) {
        case EAI_NONAME:
        case EAI_AGAIN:
        case EAI_FAIL:
#ifdef EAI_NODATA
        case EAI_NODATA:
#endif
#ifdef EAI_ADDRFAMILY
        case EAI_ADDRFAMILY:
#endif
            return true;
        default:
            return false;
    }
}

NativeSocket OpenStreamSocket(const addrinfo& entry) noexcept {
    const int created =
        ::socket(entry.ai_family, entry.ai_socktype | SOCK_CLOEXEC, entry.ai_protocol);
    return created < 0 ? kNoSocket : created;
}

bool ConnectStreamSocket(NativeSocket socket, const sockaddr* address, socklen_t length) noexcept {
    if (ConnectRetryingInterrupts(socket, address, length) != 0) return false;
    // A request goes out as header, payload and checksum, each its own send;
    // without this the small checksum would wait for the server's delayed
    // acknowledgement of the payload.
    const int on = 1;
    setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    return true;
}

int SendAll(NativeSocket socket, const uint8_t* data, std::size_t length) noexcept {
    std::size_t sent = 0;
    while (sent < length) {
        const ssize_t count = send(socket, data + sent, length - sent, MSG_NOSIGNAL);
        if (count < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        sent += static_cast<std::size_t>(count);
    }
    return 0;
}

std::size_t ReceiveExactly(NativeSocket socket, uint8_t* buffer, std::size_t length) noexcept {
    std::size_t received = 0;
    while (received < length) {
        const ssize_t count = recv(socket, buffer + received, length - received, 0);
        if (count < 0 && errno == EINTR) continue;
        if (count <= 0) break;
        received += static_cast<std::size_t>(count);
    }
    return received;
}

bool ShutdownSending(NativeSocket socket) noexcept { return shutdown(socket, SHUT_WR) == 0; }

void CloseSocket(NativeSocket socket) noexcept {
    if (socket != kNoSocket) close(socket);
}

}  // namespace zv
