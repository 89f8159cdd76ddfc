// Sending a request: nothing to send, a peer that is gone, and what the
// client takes from the key negotiation's reply. The bytes it sends are
// checked against docs/protocol.md's worked examples in
// protocol_example_test.cpp.
#include <gtest/gtest.h>
#include <signal.h>

#include <thread>

#include "scripted_peer.hpp"
#include "transport/exchange.hpp"
#include "transport/framed_request.hpp"
#include "transport/key_negotiation.hpp"

namespace {

using zvtest::Bytes;
using zvtest::ReplyFrame;
using zvtest::ToBytes;

const std::string kKeyText = "k3y-0f-thirty-two-printable-ch@r";
const zv::SessionIdBytes kClientId = {9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9};
const zv::SessionIdBytes kServerId = {0xAA, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 0xBB};

TEST(SendRequest, AnEmptyUnencryptedPayloadIsNothingToSend) {
    zvtest::LoopbackPeer peer;
    peer.Serve([](int socket, int) { zvtest::ReadToEnd(socket); });
    zv::RequestSettings settings;
    settings.encrypt = false;
    std::optional<zv::SessionKey> key;
    zv::SessionIdBytes sessionId{};
    zv::OperationStatus status;
    const zv::Connection connection =
        zv::SendRequest(key, sessionId, "127.0.0.1", peer.Port(), settings, "", {}, status);
    EXPECT_EQ(status.code, 400u);
    EXPECT_FALSE(connection.IsOpen());
}

// The process lives on (no SIGPIPE) and the send reports the error number.
TEST(SendFramedRequest, APeerThatIsGoneFailsTheHeaderWith510) {
    signal(SIGPIPE, SIG_DFL);
    zvtest::SocketPair pair;
    pair.ClosePeer();
    const zv::RequestHeaderBytes header{};
    const uint8_t payload[16] = {};
    const uint8_t checksum[16] = {};
    int32_t lastSocketError = 0;
    EXPECT_EQ(zv::SendFramedRequest(pair.client, header, payload, checksum, lastSocketError), 510u);
    EXPECT_EQ(lastSocketError, EPIPE);
}

// The key negotiation's reply, read from a scripted peer; replies cut short
// or spoiled are in the fault matrix of tests/reliability.
struct Negotiated {
    uint32_t code = 0;
    zv::NegotiationReply reply;
};

// Runs the negotiation against a peer that reads the request header, sends
// reply and closes.
Negotiated Negotiate(const Bytes& reply) {
    zvtest::SocketPair pair;
    std::thread peer([&] {
        zvtest::ReadExactly(pair.peer, zv::kRequestHeaderSize);
        pair.ScriptReply(reply);
    });
    Negotiated result;
    result.code = zv::ExchangeKeyNegotiation(pair.client, kClientId, result.reply);
    peer.join();
    return result;
}

TEST(KeyNegotiation, TheKeyIsTheFirst32BytesWhateverTheyHold) {
    std::string key = kKeyText;
    key[0] = '\0';
    key[9] = '\x1C';
    const Negotiated result = Negotiate(ReplyFrame(ToBytes(key + "trailing"), 0, 0, kServerId));
    ASSERT_EQ(result.code, 0u);
    ASSERT_TRUE(result.reply.key.has_value());
    EXPECT_EQ(result.reply.key->Text(), key);
    EXPECT_EQ(result.reply.sessionId, kServerId);
}

TEST(KeyNegotiation, AReplyShorterThanAKeyGives357) {
    for (std::size_t length : {0u, 31u}) {
        const Negotiated result = Negotiate(ReplyFrame(ToBytes(kKeyText.substr(0, length))));
        EXPECT_EQ(result.code, 357u) << length << " key bytes";
        EXPECT_FALSE(result.reply.key.has_value());
    }
}

TEST(KeyNegotiation, AnyNonZeroErrorFlagIsARefusalWithTheServersTextUnconverted) {
    for (uint8_t flag : {1, 254, 255}) {
        const Negotiated result = Negotiate(ReplyFrame(ToBytes("Licence limit \xE9tait"), flag));
        EXPECT_EQ(result.code, 999u);
        EXPECT_EQ(result.reply.refusalText, "Licence limit \xE9tait");
        EXPECT_FALSE(result.reply.key.has_value());
    }
    const std::string longText(200000, 'r');
    EXPECT_EQ(Negotiate(ReplyFrame(ToBytes(longText), 1)).reply.refusalText, longText);
}

TEST(KeyNegotiation, APeerThatIsGoneGives350WithoutSigpipe) {
    signal(SIGPIPE, SIG_DFL);
    zvtest::SocketPair pair;
    pair.ClosePeer();
    zv::NegotiationReply reply;
    EXPECT_EQ(zv::ExchangeKeyNegotiation(pair.client, kClientId, reply), 350u);
}

}  // namespace
