// The key negotiation's reply as the client reads it. The request header is
// checked in send_request_test.cpp; replies cut short or spoiled are in the
// fault matrix of tests/reliability.
#include "transport/key_negotiation.hpp"

#include <gtest/gtest.h>
#include <signal.h>

#include <thread>

#include "scripted_peer.hpp"

namespace {

using zvtest::Bytes;
using zvtest::ReplyFrame;
using zvtest::ToBytes;

const zv::SessionIdBytes kClientId = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
const zv::SessionIdBytes kServerId = {0xC0, 0xC1, 0xC2, 0xC3, 0xC4, 0xC5, 0xC6, 0xC7,
                                      0xC8, 0xC9, 0xCA, 0xCB, 0xCC, 0xCD, 0xCE, 0xCF};
const std::string kKeyText = "ABCDEFGHIJKLMNOPQRSTUVWXYZ012345";

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
