#include "transport/connection.hpp"
#include "transport/socket_platform.hpp"

#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>

#include "support/owned_results.hpp"
#include "support/scripted_peer.hpp"

namespace {

using zvtest::LoopbackPeer;

// The lowest descriptor number free: it moves when one is left open.
int NextDescriptor() {
    const int next = dup(0);
    close(next);
    return next;
}

TEST(Connection, ReachesAServerByNameIpv4AndIpv6LiteralOnCloseOnExecSockets) {
    LoopbackPeer v4(AF_INET);
    ASSERT_TRUE(v4.Listening());
    uint32_t code = 1;
    for (const char* host : {"127.0.0.1", "localhost"}) {
        const zv::Connection connection = zv::Connection::Open(host, v4.Port(), code);
        ASSERT_EQ(code, 0u) << host;
        EXPECT_NE(fcntl(connection.Native(), F_GETFD) & FD_CLOEXEC, 0) << host;
    }
    LoopbackPeer v6(AF_INET6);
    if (!v6.Listening()) GTEST_SKIP() << "no IPv6 loopback on this machine";
    EXPECT_TRUE(zv::Connection::Open("::1", v6.Port(), code).IsOpen());
    EXPECT_EQ(code, 0u);
}

TEST(Connection, RunningOutOfDescriptorsIsNeverAnUnknownHost) {
    // With no descriptor left below the limit, socket() fails for every
    // address; a numeric host needs no descriptor to resolve, a name does.
    rlimit old{};
    getrlimit(RLIMIT_NOFILE, &old);
    rlimit low = old;
    low.rlim_cur = static_cast<rlim_t>(NextDescriptor());
    for (const auto& [host, expected] : {std::pair{"127.0.0.1", "C103: Socket failed"},
                                         std::pair{"localhost", "C102: getaddrinfo failed"}}) {
        const std::string options = host + zvtest::R("|a|80|b|c|d|e|");
        ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &low), 0);
        char* message = nullptr;
        char* answer = ZvExecuteDirectOperation(&message, options.c_str(), 2, "", 1, 1, 0);
        setrlimit(RLIMIT_NOFILE, &old);
        EXPECT_EQ(answer, nullptr);
        EXPECT_EQ(zvtest::Text(zvtest::Own(message)), expected);
    }
}

// Hand-made resolver results, to check the order in which they are tried.
struct FakeAddress {
    addrinfo entry{};
    sockaddr_storage address{};

    FakeAddress(int family, const char* text) {
        entry.ai_family = family;
        entry.ai_socktype = SOCK_STREAM;
        entry.ai_protocol = IPPROTO_TCP;
        entry.ai_addr = reinterpret_cast<sockaddr*>(&address);
        address.ss_family = static_cast<sa_family_t>(family);
        if (family == AF_INET) {
            inet_pton(AF_INET, text, &reinterpret_cast<sockaddr_in&>(address).sin_addr);
            entry.ai_addrlen = sizeof(sockaddr_in);
        } else {
            inet_pton(AF_INET6, text, &reinterpret_cast<sockaddr_in6&>(address).sin6_addr);
            entry.ai_addrlen = sizeof(sockaddr_in6);
        }
    }
};

TEST(AddressOrder, Ipv4FirstThenIpv6ClosingEveryFailure) {
    // A broadcast address fails at once; nothing listens on the port over
    // IPv4, so that connect is refused later. Neither leaves a descriptor.
    FakeAddress accepting(AF_INET6, "::1"), unreachable(AF_INET, "255.255.255.255"),
        unix(AF_UNIX, ""), unused(AF_INET6, "::2"), refusing(AF_INET, "127.0.0.1");
    accepting.entry.ai_next = &unreachable.entry;
    unreachable.entry.ai_next = &unix.entry;
    unix.entry.ai_next = &unused.entry;
    unused.entry.ai_next = &refusing.entry;
    const std::vector<const addrinfo*> order = zv::OrderForConnecting(&accepting.entry);
    ASSERT_EQ(order, (std::vector<const addrinfo*>{&unreachable.entry, &refusing.entry,
                                                   &accepting.entry, &unused.entry}));

    zv::NativeSocket socket = zv::kNoSocket;
    const int next = NextDescriptor();
    const std::span failing(order.data(), 2);
    EXPECT_EQ(zv::ConnectToFirstAccepting(failing, zvtest::UnusedLoopbackPort(), socket), 104u);
    EXPECT_EQ(socket, zv::kNoSocket);
    EXPECT_EQ(NextDescriptor(), next);
    EXPECT_EQ(zv::ConnectToFirstAccepting({}, 1, socket), 103u);

    LoopbackPeer v6(AF_INET6);
    if (!v6.Listening()) GTEST_SKIP() << "no IPv6 loopback on this machine";
    ASSERT_EQ(zv::ConnectToFirstAccepting(order, v6.Port(), socket), 0u);
    sockaddr_storage peer{};
    socklen_t length = sizeof peer;
    getpeername(socket, reinterpret_cast<sockaddr*>(&peer), &length);
    EXPECT_EQ(peer.ss_family, AF_INET6);
    zv::CloseSocket(socket);
}

}  // namespace
