// Both ends of an exchange as the client sees them, against scripted peers.
// The bytes it sends are checked in protocol_example_test.cpp; replies cut
// short are in the fault matrix of tests/reliability.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "support/scripted_peer.hpp"
#include "transport/exchange.hpp"
#include "transport/frame_reader.hpp"
#include "transport/framed_request.hpp"
#include "transport/key_negotiation.hpp"

namespace {

using zvtest::Bytes;
using zvtest::ReplyFrame;
using zvtest::ToBytes;

const zv::SessionKey kKey(reinterpret_cast<const uint8_t*>("0123456789abcdef0123456789ABCDEF"));

Bytes Encrypt(std::string_view plaintext) {
    uint32_t length = 0;
    zv::MallocPtr<uint8_t> encrypted(zv::EncryptPayload(
        reinterpret_cast<const uint8_t*>(plaintext.data()), static_cast<uint32_t>(plaintext.size()),
        &length, nullptr, kKey.Bytes()));
    return Bytes(encrypted.get(), encrypted.get() + length);
}

TEST(KeyNegotiation, TakesTheFirst32BytesAsTheKeyOrAnyErrorFlagAsARefusal) {
    std::string key = "k3y-0f-thirty-two-printable-ch@r";
    key[0] = '\0';
    key[9] = '\x1C';
    const zv::SessionIdBytes serverId = {0xAA, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 0xBB};
    const std::string longRefusal(zv::kMaxNegotiationPayload, 'r');
    struct Case {
        Bytes reply;
        uint32_t code;
        std::string keyOrRefusal;
    };
    const Case cases[] = {
        {ReplyFrame(ToBytes(key + "trailing"), 0, 0, serverId), 0, key},
        {ReplyFrame(ToBytes(key.substr(0, 31))), 357, ""},
        // The refusal text comes as it is, unconverted.
        {ReplyFrame(ToBytes("Licence limit \xE9tait"), 1), 999, "Licence limit \xE9tait"},
        {ReplyFrame(ToBytes(longRefusal), 255), 999, longRefusal},
        // A header announcing 4 GiB fails at once, before any of it comes.
        {Bytes(zv::kResponseHeaderSize, 0xFF), 355, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.keyOrRefusal.substr(0, 20));
        zvtest::SocketPair pair;
        std::thread peer([&] {
            zvtest::ReadExactly(pair.peer, zv::kRequestHeaderSize);
            pair.ScriptReply(c.reply);
        });
        zv::NegotiationReply reply;
        EXPECT_EQ(zv::ExchangeKeyNegotiation(pair.client, {}, reply), c.code);
        peer.join();
        EXPECT_EQ(reply.key ? reply.key->Text() : reply.refusalText, c.keyOrRefusal);
        EXPECT_EQ(reply.sessionId, reply.key ? serverId : zv::SessionIdBytes{});
    }
}

TEST(ReceiveResponse, HonoursErrorFlagKeyAndChecksum) {
    Bytes spoiled = ReplyFrame(ToBytes("result"));
    spoiled.back() ^= 1;
    struct Case {
        Bytes frame;
        const zv::SessionKey* key;
        uint32_t code;
        std::string text;
        bool isErrorText;
    };
    const Case cases[] = {
        {ReplyFrame(Encrypt("secret \xC3\xBC"), 0, 1), &kKey, 0, "secret \xFC", false},
        {ReplyFrame(Encrypt("no such file"), 255, 1), &kKey, 0, "no such file", true},
        {ReplyFrame(ToBytes("result"), 254), &kKey, 0, "result", false},
        {ReplyFrame(ToBytes("as it came"), 0, 1), nullptr, 0, "as it came", false},  // no key
        {ReplyFrame({}), nullptr, 0, "", false},
        {spoiled, nullptr, 405, "<null>", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        zvtest::SocketPair pair;
        std::thread peer([&] { pair.ScriptReply(c.frame); });
        zv::Response response;
        EXPECT_EQ(zv::ReceiveResponse(pair.client, response, c.key), c.code);
        peer.join();
        EXPECT_EQ(response.text ? response.text.get() : "<null>", c.text);
        EXPECT_EQ(response.isErrorText, c.isErrorText);
    }
}

TEST(ReadFrame, GrowsThePayloadBlockOnlyAsBytesArrive) {
    zvtest::SocketPair pair;
    Bytes sent(zv::kResponseHeaderSize, 0xFF);  // a length of 0xFFFFFFFF
    sent.resize(sent.size() + 300000, 0x41);
    std::thread peer([&] { pair.ScriptReply(sent); });
    zv::FrameDecoder frame(zv::kResponseHeaderSize, zv::kNoPayloadBound,
                           zv::ReceiveGrowth::kExtend);
    EXPECT_EQ(zv::ReadFrame(pair.client, frame, zv::kResponseFrameCodes),
              zv::kResponsePayloadShort);
    peer.join();
    EXPECT_EQ(frame.Payload().Size(), 300000u);
    // Doubling from 64 KiB: never more than twice what arrived, plus the start.
    EXPECT_LE(frame.Payload().Capacity(), 2 * 300000 + zv::kInitialReceiveCapacity + 1);
}

// The process lives on (no SIGPIPE) and the send reports the error number.
TEST(SendRequest, APeerThatIsGoneFailsTheSendWithoutSigpipe) {
    signal(SIGPIPE, SIG_DFL);
    zvtest::SocketPair pair;
    pair.ClosePeer();
    zv::NegotiationReply reply;
    EXPECT_EQ(zv::ExchangeKeyNegotiation(pair.client, {}, reply), 350u);
    const uint8_t payload[16] = {};
    int32_t lastSocketError = 0;
    EXPECT_EQ(zv::SendFramedRequest(pair.client, {}, payload, payload, lastSocketError), 510u);
    EXPECT_EQ(lastSocketError, EPIPE);
}

TEST(SendRequest, SendsALargePayloadWholeAndAnEmptyOneNotAtAll) {
    zvtest::LoopbackPeer peer;
    Bytes received[2];
    peer.Serve(
        [&](int socket, int index) {
            // A peer slow to start reading fills the socket's buffers, so
            // that the frame leaves in pieces.
            if (index == 0) std::this_thread::sleep_for(std::chrono::milliseconds(100));
            received[index] = zvtest::ReadToEnd(socket);
        },
        2);
    zv::RequestSettings settings;
    settings.encrypt = false;
    std::optional<zv::SessionKey> key;
    zv::SessionIdBytes sessionId{};
    zv::OperationStatus status;
    std::string text(8 << 20, ' ');
    for (std::size_t i = 0; i < text.size(); ++i) text[i] = static_cast<char>('!' + i % 89);
    zv::SendRequest(key, sessionId, "127.0.0.1", peer.Port(), settings, text.c_str(), {}, status);
    EXPECT_EQ(status.code, 0u);
    EXPECT_FALSE(zv::SendRequest(key, sessionId, "127.0.0.1", peer.Port(), settings, "", {}, status)
                     .IsOpen());
    EXPECT_EQ(status.code, 400u);
    peer.Join();
    ASSERT_EQ(received[0].size(), zv::kRequestHeaderSize + text.size() + zv::kChecksumSize);
    EXPECT_TRUE(std::equal(text.begin(), text.end(), received[0].begin() + zv::kRequestHeaderSize));
    EXPECT_TRUE(received[1].empty());
}

}  // namespace
