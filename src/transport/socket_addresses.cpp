// Finding the server, the same on every platform: resolve the name, order its
// addresses, and try them until one accepts. The platform files supply the
// socket primitives.
#include <cerrno>
#include <cstring>
#include <memory>
#include <new>

#include "error_codes.hpp"

#include "transport/socket_platform.hpp"

#ifndef _WIN32
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#endif

namespace zv {
namespace {

struct AddressListDeleter {
    void operator()(addrinfo* list) const noexcept { freeaddrinfo(list); }
};
using AddressList = std::unique_ptr<addrinfo, AddressListDeleter>;

}  // namespace

std::vector<const addrinfo*> OrderForConnecting(const addrinfo* list) {
    std::vector<const addrinfo*> ordered;
    for (int family : {AF_INET, AF_INET6}) {
        for (const addrinfo* entry = list; entry != nullptr; entry = entry->ai_next) {
            if (entry->ai_family == family) ordered.push_back(entry);
        }
    }
    return ordered;
}

bool AddressWithPort(const addrinfo& entry, uint16_t port, sockaddr_storage& address,
                     socklen_t& length) noexcept {
    if (entry.ai_addr == nullptr || entry.ai_addrlen > sizeof address) return false;
    std::memset(&address, 0, sizeof address);
    std::memcpy(&address, entry.ai_addr, entry.ai_addrlen);
    length = static_cast<socklen_t>(entry.ai_addrlen);
    if (entry.ai_family == AF_INET && length >= static_cast<socklen_t>(sizeof(sockaddr_in))) {
        reinterpret_cast<sockaddr_in&>(address).sin_port = htons(port);
        return true;
    }
    if (entry.ai_family == AF_INET6 && length >= static_cast<socklen_t>(sizeof(sockaddr_in6))) {
        reinterpret_cast<sockaddr_in6&>(address).sin6_port = htons(port);
        return true;
    }
    return false;
}

uint32_t ConnectToFirstAccepting(std::span<const addrinfo* const> addresses, uint16_t port,
                                 NativeSocket& socket, const Deadline& deadline,
                                 const int32_t* cancelFlag) noexcept {
    socket = kNoSocket;
    bool connectAttempted = false;
    bool timedOut = false;
    for (const addrinfo* entry : addresses) {
        sockaddr_storage address;
        socklen_t length = 0;
        if (!AddressWithPort(*entry, port, address, length)) continue;
        // A family the machine cannot use moves on to the next address.
        const NativeSocket candidate = OpenStreamSocket(*entry);
        if (candidate == kNoSocket) continue;
        connectAttempted = true;
        ConnectStart start =
            StartConnect(candidate, reinterpret_cast<const sockaddr*>(&address), length);
        if (start == ConnectStart::kInProgress) {
            const WaitOutcome outcome = WaitForSocket(candidate, true, deadline, cancelFlag);
            if (outcome == WaitOutcome::kCancelled) {
                CloseSocket(candidate);
                return kCancelled;
            }
            // An address that ran out of time leaves none for the next ones,
            // which fail at once: the budget covers them all.
            timedOut = timedOut || outcome == WaitOutcome::kTimedOut;
            start = outcome == WaitOutcome::kReady && ConnectSucceeded(candidate)
                        ? ConnectStart::kConnected
                        : ConnectStart::kFailed;
        }
        if (start == ConnectStart::kConnected) {
            socket = candidate;
            return kNoError;
        }
        CloseSocket(candidate);
    }
    if (timedOut) return kConnectTimedOut;
    return connectAttempted ? kConnectFailed : kSocketFailed;
}

uint32_t ConnectToHost(const char* host, uint16_t port, NativeSocket& socket,
                       const WaitLimits& limits) noexcept {
    socket = kNoSocket;
    if (CancelRequested(limits.cancelFlag)) return kCancelled;
    // Some resolvers read an empty name as this machine; it names no server.
    if (host == nullptr || *host == '\0') return kUnresolvedHost;
    const Deadline deadline = DeadlineAfter(limits.connectTimeoutMs);
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    addrinfo* found = nullptr;
    errno = 0;  // see MeansNoSuchHost
    const int lookupError = getaddrinfo(host, nullptr, &hints, &found);
    const AddressList list(found);
    if (lookupError != 0) {
        return MeansNoSuchHost(lookupError) ? kUnresolvedHost : kAddressLookupFailed;
    }
    try {
        const std::vector<const addrinfo*> ordered = OrderForConnecting(list.get());
        if (ordered.empty()) return kUnresolvedHost;
        return ConnectToFirstAccepting(ordered, port, socket, deadline, limits.cancelFlag);
    } catch (const std::bad_alloc&) {
        return kAddressLookupFailed;
    }
}

}  // namespace zv
