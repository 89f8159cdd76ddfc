// The Windows socket layer against loopback peers: streams, handles, Winsock
// error numbers, one start-up of the layer per connection, and the limits and
// cancel flag of the WithTimeouts entry points.
#include <gtest/gtest.h>
// winsock2.h comes first: windows.h would bring in the older winsock.h.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <windows.h>

#include <array>
#include <cstdint>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "error_codes.hpp"
#include "support/loopback_port.hpp"
#include "transport/connection.hpp"
#include "transport/framed_request.hpp"
#include "zorvat.h"

namespace {

// A listener on 127.0.0.1 holding the test's own start-up of the layer.
struct LoopbackListener {
    zvtest::SocketsLayer layer;
    int port = 0;
    SOCKET socket = zvtest::ListenOnLoopback(4, port);

    LoopbackListener() = default;
    ~LoopbackListener() { zv::CloseSocket(socket); }
    LoopbackListener(const LoopbackListener&) = delete;
    LoopbackListener& operator=(const LoopbackListener&) = delete;
    uint16_t Port() const { return static_cast<uint16_t>(port); }
    SOCKET Accept() const { return accept(socket, nullptr, nullptr); }
};

// Whether this thread can still use sockets without a start-up of its own.
bool SocketsLayerStillStarted() {
    const SOCKET probe = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (probe == INVALID_SOCKET) return WSAGetLastError() != WSANOTINITIALISED;
    closesocket(probe);
    return true;
}

TEST(WindowsSockets, CarriesBytesBothWaysOnUninheritedHandlesAndGives510AfterAReset) {
    LoopbackListener listener;
    ASSERT_NE(listener.Port(), 0);
    for (const char* host : {"127.0.0.1", "localhost"}) {
        std::size_t received = 0;
        std::thread peer([&] {
            const SOCKET socket = listener.Accept();
            char chunk[4096];
            // Ends only at the client's half-close.
            for (int count; (count = recv(socket, chunk, sizeof chunk, 0)) > 0;) received += count;
            send(socket, "reply", 5, 0);
            closesocket(socket);
        });
        uint32_t code = 99;
        zv::Connection connection = zv::Connection::Open(host, listener.Port(), code);
        ASSERT_EQ(code, zv::kNoError) << host;
        DWORD flags = 0;
        ASSERT_TRUE(GetHandleInformation(reinterpret_cast<HANDLE>(connection.Native()), &flags));
        EXPECT_EQ(flags & HANDLE_FLAG_INHERIT, 0u);
        // More than one send call's worth goes out whole.
        const std::vector<uint8_t> request(3 << 20, 'q');
        EXPECT_EQ(connection.SendAll(request.data(), request.size()), 0);
        EXPECT_TRUE(connection.ShutdownSending());
        std::array<uint8_t, 16> answer{};
        // The stream ends after five bytes: that is all there is.
        EXPECT_EQ(connection.ReceiveExactly(answer.data(), answer.size()), 5u);
        EXPECT_EQ(std::string(answer.begin(), answer.begin() + 5), "reply");
        peer.join();
        EXPECT_EQ(received, request.size()) << host;
    }
    // Once a receive has seen the peer reset the connection, every send
    // fails at once.
    std::thread peer([&] {
        const SOCKET socket = listener.Accept();
        const linger abort{1, 0};  // closing with a zero linger resets
        setsockopt(socket, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&abort),
                   sizeof abort);
        closesocket(socket);
    });
    uint32_t code = 0;
    zv::Connection connection = zv::Connection::Open("127.0.0.1", listener.Port(), code);
    ASSERT_EQ(code, zv::kNoError);
    peer.join();
    uint8_t byte = 0;
    EXPECT_EQ(connection.ReceiveExactly(&byte, 1), 0u);
    const std::vector<uint8_t> payload(64, 'p');
    const std::array<uint8_t, zv::kChecksumSize> checksum{};
    int32_t lastSocketError = 0;
    EXPECT_EQ(zv::SendFramedRequest(connection, {}, payload, checksum, lastSocketError),
              zv::kHeaderSendShort);
    EXPECT_TRUE(lastSocketError == WSAECONNRESET || lastSocketError == WSAECONNABORTED)
        << lastSocketError;
}

TEST(WindowsSockets, EachConnectionReleasesItsOwnStartOfTheLayer) {
    const uint16_t unused = zvtest::UnusedLoopbackPort();
    ASSERT_FALSE(SocketsLayerStillStarted()) << "the layer was started before the test";
    {
        LoopbackListener listener;
        ASSERT_NE(listener.Port(), 0);
        uint32_t code = 0;
        std::vector<zv::Connection> open;
        for (int i = 0; i < 3; ++i) {
            open.push_back(zv::Connection::Open("127.0.0.1", listener.Port(), code));
            ASSERT_EQ(code, zv::kNoError);
        }
        EXPECT_FALSE(zv::Connection::Open("127.0.0.1", unused, code).IsOpen());
        EXPECT_FALSE(zv::Connection::Open("no-such-host.invalid", unused, code).IsOpen());
        // Moving a connection hands its start-up over; it is not released twice.
        zv::Connection moved = std::move(open.front());
        open.erase(open.begin());
        EXPECT_TRUE(SocketsLayerStillStarted());
    }
    EXPECT_FALSE(SocketsLayerStillStarted());
}

TEST(WindowsSockets, TheWithTimeoutsEntryPointsBoundTheWaitAndCancel) {
    // The listener never accepts: the connect completes in its backlog and no
    // answer ever comes.
    LoopbackListener listener;
    ASSERT_NE(listener.Port(), 0);
    for (const auto& [host, cancel, expected] :
         {std::tuple{"127.0.0.1", 0, "C407: Timed out waiting for the server"},
          std::tuple{"127.0.0.1", 1, "C408: Operation cancelled"},
          std::tuple{"", 0, "C050: Unable to resolve hostname"}}) {
        char* options = ZvCreateCredentialOptions(host, "a", listener.Port(), "b", "c", "d", "e");
        char* message = nullptr;
        EXPECT_EQ(ZvExecuteDirectOperationWithTimeouts(&message, options, 2, "", 1, 1, 0, 2000, 300,
                                                       &cancel),
                  nullptr);
        EXPECT_STREQ(message, expected) << host;
        ZvFreeMemory(message);
        ZvFreeMemory(options);
    }
}

}  // namespace
