#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <new>

#include "operations/error_codes.hpp"
#include "transport/socket_seam.hpp"

namespace zv {
namespace {

struct AddressListDeleter {
    void operator()(addrinfo* list) const noexcept { freeaddrinfo(list); }
};
using AddressList = std::unique_ptr<addrinfo, AddressListDeleter>;

// Lookup failures that mean "this name has no address" rather than "the
// resolver could not work".
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

uint32_t ConnectToFirstAccepting(std::span<const addrinfo* const> addresses, uint16_t port,
                                 NativeSocket& socket) noexcept {
    socket = kNoSocket;
    bool connectAttempted = false;
    for (const addrinfo* entry : addresses) {
        sockaddr_storage address;
        socklen_t length = 0;
        if (!AddressWithPort(*entry, port, address, length)) continue;
        const int candidate =
            ::socket(entry->ai_family, entry->ai_socktype | SOCK_CLOEXEC, entry->ai_protocol);
        if (candidate < 0) continue;
        connectAttempted = true;
        if (ConnectRetryingInterrupts(candidate, reinterpret_cast<const sockaddr*>(&address),
                                      length) == 0) {
            // A request goes out as header, payload and checksum, each its own
            // send; without this the small checksum would wait for the
            // server's delayed acknowledgement of the payload.
            const int on = 1;
            setsockopt(candidate, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
            socket = candidate;
            return kNoError;
        }
        close(candidate);
    }
    return connectAttempted ? kConnectFailed : kSocketFailed;
}

uint32_t ConnectToHost(const char* host, uint16_t port, NativeSocket& socket) noexcept {
    socket = kNoSocket;
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    addrinfo* found = nullptr;
    const int lookupError = getaddrinfo(host != nullptr ? host : "", nullptr, &hints, &found);
    AddressList list(found);
    if (lookupError != 0) {
        return MeansNoSuchHost(lookupError) ? kUnresolvedHost : kAddressLookupFailed;
    }
    try {
        const std::vector<const addrinfo*> ordered = OrderForConnecting(list.get());
        if (ordered.empty()) return kUnresolvedHost;
        return ConnectToFirstAccepting(ordered, port, socket);
    } catch (const std::bad_alloc&) {
        return kAddressLookupFailed;
    }
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
