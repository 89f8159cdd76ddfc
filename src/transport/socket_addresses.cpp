// The address handling that both socket layers share: the order in which a
// host's addresses are tried, and an address with the port filled in.
#include <cstring>

#include "transport/socket_seam.hpp"

#ifndef _WIN32
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#endif

namespace zv {

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

}  // namespace zv
