#include <gtest/gtest.h>
#include <signal.h>

#include <cstring>
#include <thread>

#include "crypto/crypto.hpp"
#include "scripted_peer.hpp"
#include "transport/exchange.hpp"
#include "transport/framed_request.hpp"

namespace {

using zvtest::Bytes;
using zvtest::LoopbackPeer;
using zvtest::ReplyFrame;
using zvtest::SocketPair;
using zvtest::ToBytes;

const std::string kKeyText = "k3y-0f-thirty-two-printable-ch@r";
const zv::SessionIdBytes kServerId = {0xAA, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 0xBB};

std::string Decrypt(Bytes ciphertext, const std::string& key) {
    uint32_t length = 0;
    uint8_t* plain =
        zv::DecryptPayload(ciphertext.data(), static_cast<uint32_t>(ciphertext.size()), &length,
                           nullptr, reinterpret_cast<const uint8_t*>(key.data()), false);
    if (plain == nullptr) return "<undecryptable>";
    std::string text(reinterpret_cast<char*>(plain), length);
    std::free(plain);
    return text;
}

// What a request put on the wire, split into its parts.
struct WireRequest {
    zv::RequestHeader header;
    Bytes payload;
    Bytes checksum;
    std::size_t totalBytes = 0;
};

WireRequest Split(const Bytes& wire) {
    WireRequest request;
    request.totalBytes = wire.size();
    if (wire.size() < zv::kRequestHeaderSize + zv::kChecksumSize) return request;
    request.header = zv::DecodeRequestHeader(wire.data());
    request.payload.assign(wire.begin() + zv::kRequestHeaderSize, wire.end() - zv::kChecksumSize);
    request.checksum.assign(wire.end() - zv::kChecksumSize, wire.end());
    return request;
}

class SendRequestTest : public ::testing::Test {
protected:
    void SetUp() override {
        signal(SIGPIPE, SIG_DFL);  // a SIGPIPE would end the test program
        ASSERT_TRUE(peer.Listening());
    }

    LoopbackPeer peer;
    zv::OperationStatus status;
    zv::SessionIdBytes sessionId = {};
    std::optional<zv::SessionKey> key;
};

TEST_F(SendRequestTest, FramesTheRequestAndHalfClosesTheSendingSide) {
    key.emplace(reinterpret_cast<const uint8_t*>(kKeyText.data()));
    sessionId = kServerId;
    Bytes wire;
    peer.Serve([&](int socket) {
        wire = zvtest::ReadToEnd(socket);  // returns at the client's half-close
        const Bytes reply = ReplyFrame(ToBytes("answer after half-close"));
        zv::SendAll(socket, reply.data(), reply.size());
    });
    zv::RequestSettings settings;
    settings.operationCode = 42;
    settings.inputFormat = 5;
    settings.outputFormat = 6;
    settings.persistent = false;
    zv::Connection connection =
        zv::SendRequest(key, sessionId, "127.0.0.1", peer.Port(), settings, "r\xE9sum\xE9", status);
    ASSERT_EQ(status.code, 0u);
    ASSERT_TRUE(connection.IsOpen());
    zv::Response response;
    EXPECT_EQ(zv::ReceiveResponse(connection, response, &*key), 0u);
    EXPECT_STREQ(response.text.get(), "answer after half-close");
    peer.Join();

    const WireRequest request = Split(wire);
    EXPECT_EQ(request.totalBytes, 30 + request.payload.size() + 16);
    EXPECT_EQ(request.header.payloadLength, request.payload.size());
    EXPECT_EQ(request.header.sessionId, kServerId);
    EXPECT_EQ(request.header.operationCode, 42);
    EXPECT_EQ(request.header.inputFormat, 5);
    EXPECT_EQ(request.header.outputFormat, 6);
    EXPECT_EQ(request.header.sessionMode, 128);
    EXPECT_EQ(request.header.encrypted, 1);
    EXPECT_EQ(request.checksum, zvtest::Md5(request.payload));
    EXPECT_EQ(Decrypt(request.payload, kKeyText), "r\xC3\xA9sum\xC3\xA9");  // UTF-8 inside
}

TEST_F(SendRequestTest, NegotiatesThenReconnectsWithTheServersKeyAndIdentifier) {
    const zv::SessionIdBytes clientId = {9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9};
    sessionId = clientId;
    Bytes negotiation, wire;
    peer.Serve(
        [&, first = true](int socket) mutable {
            if (std::exchange(first, false)) {
                negotiation = zvtest::ReadExactly(socket, zv::kRequestHeaderSize);
                const Bytes reply = ReplyFrame(ToBytes(kKeyText), 0, 0, kServerId);
                zv::SendAll(socket, reply.data(), reply.size());
            } else {
                wire = zvtest::ReadToEnd(socket);
            }
        },
        2);
    zv::RequestSettings settings;
    settings.operationCode = 1;
    settings.requireStorableKey = true;
    zv::Connection connection =
        zv::SendRequest(key, sessionId, "127.0.0.1", peer.Port(), settings, "login", status);
    ASSERT_EQ(status.code, 0u);
    connection.Close();
    peer.Join();

    ASSERT_TRUE(key.has_value());
    EXPECT_EQ(key->Text(), kKeyText);
    EXPECT_EQ(sessionId, kServerId);
    EXPECT_EQ(zv::DecodeRequestHeader(negotiation.data()).sessionId, clientId);
    const WireRequest request = Split(wire);
    EXPECT_EQ(request.header.sessionId, kServerId);
    EXPECT_EQ(request.header.sessionMode, 1);
    EXPECT_EQ(Decrypt(request.payload, kKeyText), "login");
}

TEST_F(SendRequestTest, AFailedNegotiationLeavesKeyAndIdentifierAsTheyWere) {
    const zv::SessionIdBytes clientId = {7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7};
    sessionId = clientId;
    peer.Serve([&](int socket) {
        zvtest::ReadExactly(socket, zv::kRequestHeaderSize);
        const Bytes reply = ReplyFrame(ToBytes("Too many users"), 1);
        zv::SendAll(socket, reply.data(), reply.size());
    });
    const zv::Connection connection =
        zv::SendRequest(key, sessionId, "127.0.0.1", peer.Port(), {}, "x", status);
    peer.Join();
    EXPECT_FALSE(connection.IsOpen());
    EXPECT_EQ(status.code, 999u);
    EXPECT_EQ(status.serverErrorText, "Too many users");
    EXPECT_FALSE(key.has_value());
    EXPECT_EQ(sessionId, clientId);
}

TEST_F(SendRequestTest, ALoginRefusesAKeyItCouldNotStoreBeforeSending) {
    std::string unstorable = kKeyText;
    unstorable[4] = '\x1C';
    peer.Serve([&](int socket) {
        zvtest::ReadExactly(socket, zv::kRequestHeaderSize);
        const Bytes reply = ReplyFrame(ToBytes(unstorable), 0, 0, kServerId);
        zv::SendAll(socket, reply.data(), reply.size());
    });
    zv::RequestSettings settings;
    settings.requireStorableKey = true;
    const zv::Connection connection =
        zv::SendRequest(key, sessionId, "127.0.0.1", peer.Port(), settings, "x", status);
    peer.Join();
    EXPECT_EQ(status.code, 357u);
    EXPECT_FALSE(connection.IsOpen());
    EXPECT_FALSE(key.has_value());
}

TEST_F(SendRequestTest, AnEmptyUnencryptedPayloadIsNothingToSend) {
    peer.Serve([](int socket) { zvtest::ReadToEnd(socket); });
    zv::RequestSettings settings;
    settings.encrypt = false;
    const zv::Connection connection =
        zv::SendRequest(key, sessionId, "127.0.0.1", peer.Port(), settings, "", status);
    EXPECT_EQ(status.code, 400u);
    EXPECT_FALSE(connection.IsOpen());
}

TEST_F(SendRequestTest, ConnectionFailuresComeBackAsTheirCodes) {
    zv::SendRequest(key, sessionId, "no-such-host.invalid", 80, {}, "x", status);
    EXPECT_EQ(status.code, 50u);
    zv::SendRequest(key, sessionId, "127.0.0.1", zvtest::UnusedPort(), {}, "x", status);
    EXPECT_EQ(status.code, 104u);
}

TEST_F(SendRequestTest, FailurePathsLeaveNoDescriptorOpen) {
    peer.Serve(
        [&](int socket) {
            zvtest::ReadExactly(socket, zv::kRequestHeaderSize);
            const Bytes reply = ReplyFrame(ToBytes("short"), 0, 0, kServerId);
            zv::SendAll(socket, reply.data(), reply.size());
        },
        3);
    // Three negotiations ending in 357, and connection failures around them.
    const int before = zvtest::OpenDescriptorCount();
    for (int i = 0; i < 3; ++i) {
        zv::SendRequest(key, sessionId, "127.0.0.1", peer.Port(), {}, "x", status);
        EXPECT_EQ(status.code, 357u);
        zv::SendRequest(key, sessionId, "127.0.0.1", zvtest::UnusedPort(), {}, "x", status);
        EXPECT_EQ(status.code, 104u);
    }
    peer.Join();
    EXPECT_EQ(zvtest::OpenDescriptorCount(), before);
}

// Sending to a peer that has gone: the send fails with the error number,
// and the process lives on (no SIGPIPE).
TEST(SendFramedRequest, APeerThatIsGoneFailsTheHeaderWith510) {
    signal(SIGPIPE, SIG_DFL);
    SocketPair pair;
    pair.ClosePeer();
    const zv::RequestHeaderBytes header{};
    const uint8_t payload[16] = {};
    const uint8_t checksum[16] = {};
    int32_t lastSocketError = 0;
    EXPECT_EQ(zv::SendFramedRequest(pair.client, header, payload, checksum, lastSocketError), 510u);
    EXPECT_EQ(lastSocketError, EPIPE);
}

TEST(SendFramedRequest, APeerThatGoesAfterTheHeaderFailsThePayloadWith511) {
    signal(SIGPIPE, SIG_DFL);
    SocketPair pair;
    // The payload is far larger than the socket buffers, so its send is still
    // running when the peer goes.
    const Bytes payload(8 << 20, 0x55);
    std::thread peer([&] {
        zvtest::ReadExactly(pair.peer, zv::kRequestHeaderSize);
        pair.ClosePeer();
    });
    const zv::RequestHeaderBytes header{};
    const uint8_t checksum[16] = {};
    int32_t lastSocketError = 0;
    EXPECT_EQ(zv::SendFramedRequest(pair.client, header, payload, checksum, lastSocketError), 511u);
    EXPECT_TRUE(lastSocketError == EPIPE || lastSocketError == ECONNRESET) << lastSocketError;
    peer.join();
}

}  // namespace
