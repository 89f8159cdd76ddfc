#include "connect_diagnosis.hpp"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string_view>

namespace zvcli {
namespace {

constexpr uint32_t kLongestProbeMs = 5000;

// The system's texts start with a capital; ours run on after a colon.
std::string Lowered(std::string text) {
    if (!text.empty())
        text[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(text[0])));
    return text;
}

std::string AddressText(const addrinfo& address, const std::string& port) {
    char text[INET6_ADDRSTRLEN] = "?";
    const void* raw = address.ai_family == AF_INET6
                          ? static_cast<const void*>(
                                &reinterpret_cast<const sockaddr_in6*>(address.ai_addr)->sin6_addr)
                          : &reinterpret_cast<const sockaddr_in*>(address.ai_addr)->sin_addr;
    inet_ntop(address.ai_family, raw, text, sizeof text);
    return address.ai_family == AF_INET6 ? "[" + std::string(text) + "]:" + port
                                         : std::string(text) + ":" + port;
}

// Why one more connection to address fails now, or empty when it succeeds.
std::string ProbeConnect(const addrinfo& address, uint32_t waitMs) {
    const int fd = socket(address.ai_family, address.ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC,
                          address.ai_protocol);
    if (fd < 0) return Lowered(std::strerror(errno));
    int error = 0;
    if (connect(fd, address.ai_addr, address.ai_addrlen) != 0) {
        error = errno;
        if (error == EINPROGRESS) {
            pollfd wanted{fd, POLLOUT, 0};
            const int ready = poll(&wanted, 1, static_cast<int>(waitMs));
            socklen_t size = sizeof error;
            if (ready == 0) {
                error = ETIMEDOUT;
            } else if (ready < 0 || getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) != 0) {
                error = errno;
            }
        }
    }
    close(fd);
    return error == 0 ? std::string() : Lowered(std::strerror(error));
}

}  // namespace

std::string DiagnoseConnectFailure(const char* message, const std::string& host,
                                   const std::string& port, uint32_t connectMs) {
    const std::string_view code = std::string_view(message).substr(0, 5);
    if (code != "C050:" && code != "C104:" && code != "C105:") return {};
    if (code == "C105:") {
        char seconds[32];
        std::snprintf(seconds, sizeof seconds, "%g", connectMs / 1000.0);
        return "connecting to " + host + ":" + port + ": no answer within " + seconds +
               " s (--connect-timeout)";
    }
    if (host.empty()) return "no host name given";

    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (const int failed = getaddrinfo(host.c_str(), port.c_str(), &hints, &found)) {
        return "resolving " + host + ": " +
               Lowered(failed == EAI_SYSTEM ? std::strerror(errno) : gai_strerror(failed));
    }
    std::string reasons = "resolving " + host + ": it resolves now";
    if (code == "C104:") {
        const uint32_t waitMs =
            connectMs == 0 ? kLongestProbeMs : std::min(connectMs, kLongestProbeMs);
        reasons.clear();
        for (const addrinfo* address = found; address != nullptr; address = address->ai_next) {
            const std::string reason = ProbeConnect(*address, waitMs);
            reasons += (reasons.empty() ? "connecting to " : "; to ") +
                       AddressText(*address, port) + ": " +
                       (reason.empty() ? "it connects now" : reason);
        }
    }
    freeaddrinfo(found);
    return reasons;
}

}  // namespace zvcli
