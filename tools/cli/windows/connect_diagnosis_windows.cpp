// The Windows side of the connection diagnosis: the same findings, through
// Windows Sockets (names in UTF-16, a connection tried once with select).
#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <string_view>

#include "../connect_diagnosis.hpp"
#include "windows_security.hpp"

namespace zvcli {
namespace {

constexpr uint32_t kLongestProbeMs = 5000;

// The system's texts start with a capital; ours run on after a colon.
std::string Lowered(std::string text) {
    if (!text.empty())
        text[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(text[0])));
    return text;
}

// Windows Sockets for the lifetime of a diagnosis: the library has released
// its own start of the layer by the time the failure comes back.
class SocketLayer {
public:
    SocketLayer() { started_ = WSAStartup(MAKEWORD(2, 2), &data_) == 0; }
    ~SocketLayer() {
        if (started_) WSACleanup();
    }
    SocketLayer(const SocketLayer&) = delete;
    SocketLayer& operator=(const SocketLayer&) = delete;
    bool started() const { return started_; }

private:
    WSADATA data_{};
    bool started_ = false;
};

std::string AddressText(const ADDRINFOW& address, const std::string& port) {
    wchar_t text[INET6_ADDRSTRLEN] = L"?";
    const void* raw = address.ai_family == AF_INET6
                          ? static_cast<const void*>(
                                &reinterpret_cast<const sockaddr_in6*>(address.ai_addr)->sin6_addr)
                          : &reinterpret_cast<const sockaddr_in*>(address.ai_addr)->sin_addr;
    InetNtopW(address.ai_family, raw, text, INET6_ADDRSTRLEN);
    return address.ai_family == AF_INET6 ? "[" + Narrow(text) + "]:" + port
                                         : Narrow(text) + ":" + port;
}

// Why one more connection to address fails now, or empty when it succeeds.
// select rather than WSAPoll: older Windows lets WSAPoll miss a refusal.
std::string ProbeConnect(const ADDRINFOW& address, uint32_t waitMs) {
    const SOCKET probe = socket(address.ai_family, address.ai_socktype, address.ai_protocol);
    if (probe == INVALID_SOCKET) return Lowered(SystemMessage(WSAGetLastError()));
    u_long nonBlocking = 1;
    int error = ioctlsocket(probe, FIONBIO, &nonBlocking) == 0 ? 0 : WSAGetLastError();
    if (error == 0 && connect(probe, address.ai_addr, static_cast<int>(address.ai_addrlen)) != 0) {
        error = WSAGetLastError();
        if (error == WSAEWOULDBLOCK) {
            fd_set writable, failed;
            FD_ZERO(&writable);
            FD_ZERO(&failed);
            FD_SET(probe, &writable);
            FD_SET(probe, &failed);
            timeval wait{static_cast<long>(waitMs / 1000), static_cast<long>(waitMs % 1000) * 1000};
            const int ready = select(0, nullptr, &writable, &failed, &wait);
            int size = sizeof error;
            if (ready == 0) {
                error = WSAETIMEDOUT;
            } else if (ready < 0 || getsockopt(probe, SOL_SOCKET, SO_ERROR,
                                               reinterpret_cast<char*>(&error), &size) != 0) {
                error = WSAGetLastError();
            }
        }
    }
    closesocket(probe);
    return error == 0 ? std::string() : Lowered(SystemMessage(static_cast<DWORD>(error)));
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

    const SocketLayer layer;
    if (!layer.started()) return {};
    ADDRINFOW hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    ADDRINFOW* found = nullptr;
    if (const int failed = GetAddrInfoW(Wide(host).c_str(), Wide(port).c_str(), &hints, &found)) {
        return "resolving " + host + ": " + Lowered(SystemMessage(static_cast<DWORD>(failed)));
    }
    std::string reasons = "resolving " + host + ": it resolves now";
    if (code == "C104:") {
        const uint32_t waitMs =
            connectMs == 0 ? kLongestProbeMs : std::min(connectMs, kLongestProbeMs);
        reasons.clear();
        for (const ADDRINFOW* address = found; address != nullptr; address = address->ai_next) {
            const std::string reason = ProbeConnect(*address, waitMs);
            reasons += (reasons.empty() ? "connecting to " : "; to ") +
                       AddressText(*address, port) + ": " +
                       (reason.empty() ? "it connects now" : reason);
        }
    }
    FreeAddrInfoW(found);
    return reasons;
}

}  // namespace zvcli
