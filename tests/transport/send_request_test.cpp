// What the client puts on the wire, byte for byte: the key negotiation's
// header, then on a new connection the request header, the encrypted payload
// and its checksum, and the half-close that tells the server the request is
// complete; and what it takes from the negotiation's reply.
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

Bytes Header(std::initializer_list<uint8_t> length, const zv::SessionIdBytes& id,
             std::initializer_list<uint8_t> fields) {
    Bytes bytes(length);
    bytes.insert(bytes.end(), id.begin(), id.end());
    bytes.insert(bytes.end(), {2, 1, 0, 0, 1});  // version 2.1.0, reserved, marker
    bytes.insert(bytes.end(), fields);
    return bytes;
}

TEST(SendRequest, NegotiatesThenSendsTheFramedEncryptedRequestAndHalfCloses) {
    signal(SIGPIPE, SIG_DFL);  // a SIGPIPE would end the test program
    zvtest::LoopbackPeer peer;
    ASSERT_TRUE(peer.Listening());
    Bytes negotiation, request;
    peer.Serve(
        [&](int socket, int index) {
            if (index == 0) {
                negotiation = zvtest::ReadExactly(socket, zv::kRequestHeaderSize);
                const Bytes reply = ReplyFrame(ToBytes(kKeyText), 0, 0, kServerId);
                zv::SendAll(socket, reply.data(), reply.size());
                return;
            }
            request = zvtest::ReadToEnd(socket);  // returns at the client's half-close
            const Bytes reply = ReplyFrame(ToBytes("answer after half-close"));
            zv::SendAll(socket, reply.data(), reply.size());
        },
        2);
    zv::RequestSettings settings;
    settings.operationCode = 42;
    settings.inputFormat = 5;
    settings.outputFormat = 6;
    settings.persistent = false;
    std::optional<zv::SessionKey> key;
    zv::SessionIdBytes sessionId = kClientId;
    zv::OperationStatus status;
    zv::Connection connection =
        zv::SendRequest(key, sessionId, "127.0.0.1", peer.Port(), settings, "r\xE9sum\xE9", status);
    ASSERT_EQ(status.code, 0u);
    zv::Response response;
    EXPECT_EQ(zv::ReceiveResponse(connection, response, &*key), 0u);
    EXPECT_STREQ(response.text.get(), "answer after half-close");
    peer.Join();

    // Header only: operation 100, formats 1, sessionMode 1, not encrypted.
    EXPECT_EQ(negotiation, Header({0, 0, 0, 0}, kClientId, {100, 1, 1, 1, 0}));
    ASSERT_TRUE(key.has_value());
    EXPECT_EQ(key->Text(), kKeyText);
    EXPECT_EQ(sessionId, kServerId);

    // The server's identifier, sessionMode 128 for a direct operation,
    // encrypted; the payload is "résumé" in UTF-8 padded to one block.
    ASSERT_EQ(request.size(), 30u + 16u + 16u);
    EXPECT_EQ(Bytes(request.begin(), request.begin() + 30),
              Header({16, 0, 0, 0}, kServerId, {42, 5, 6, 128, 1}));
    const Bytes payload(request.begin() + 30, request.end() - 16);
    EXPECT_EQ(Bytes(request.end() - 16, request.end()), zvtest::Md5(payload));
    Bytes plain = payload;
    uint32_t length = 0;
    zv::MallocPtr<uint8_t> decrypted(
        zv::DecryptPayload(plain.data(), static_cast<uint32_t>(plain.size()), &length, nullptr,
                           reinterpret_cast<const uint8_t*>(kKeyText.data()), false));
    ASSERT_NE(decrypted, nullptr);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(decrypted.get()), length),
              "r\xC3\xA9sum\xC3\xA9");
}

TEST(SendRequest, AnEmptyUnencryptedPayloadIsNothingToSend) {
    zvtest::LoopbackPeer peer;
    peer.Serve([](int socket, int) { zvtest::ReadToEnd(socket); });
    zv::RequestSettings settings;
    settings.encrypt = false;
    std::optional<zv::SessionKey> key;
    zv::SessionIdBytes sessionId{};
    zv::OperationStatus status;
    const zv::Connection connection =
        zv::SendRequest(key, sessionId, "127.0.0.1", peer.Port(), settings, "", status);
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
