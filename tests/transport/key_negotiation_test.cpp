#include "transport/key_negotiation.hpp"

#include <gtest/gtest.h>

#include <thread>

#include "scripted_peer.hpp"

namespace {

using zvtest::Bytes;
using zvtest::ReplyFrame;
using zvtest::SocketPair;
using zvtest::ToBytes;

const zv::SessionIdBytes kClientId = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
const zv::SessionIdBytes kServerId = {0xC0, 0xC1, 0xC2, 0xC3, 0xC4, 0xC5, 0xC6, 0xC7,
                                      0xC8, 0xC9, 0xCA, 0xCB, 0xCC, 0xCD, 0xCE, 0xCF};
const std::string kKeyText = "ABCDEFGHIJKLMNOPQRSTUVWXYZ012345";

struct Negotiated {
    uint32_t code = 0;
    zv::NegotiationReply reply;
    Bytes requestSeen;  // what the peer received
};

// Runs the negotiation against a peer that reads the 30-byte request, then
// sends reply in pieces of pieceSize and closes.
Negotiated Negotiate(const Bytes& reply, std::size_t pieceSize = 1 << 20) {
    SocketPair pair;
    Negotiated result;
    std::thread peer([&] {
        result.requestSeen = zvtest::ReadExactly(pair.peer, zv::kRequestHeaderSize);
        zvtest::SendInPieces(pair.peer, reply, pieceSize);
        pair.ClosePeer();
    });
    result.code = zv::ExchangeKeyNegotiation(pair.client, kClientId, result.reply);
    peer.join();
    return result;
}

std::string KeyOf(const zv::NegotiationReply& reply) {
    return reply.key ? std::string(reply.key->Text()) : "<none>";
}

TEST(KeyNegotiation, SendsAHeaderOnlyRequestAndTakesKeyAndIdentifier) {
    const Negotiated result = Negotiate(ReplyFrame(ToBytes(kKeyText), 0, 0, kServerId));
    ASSERT_EQ(result.code, 0u);
    EXPECT_EQ(KeyOf(result.reply), kKeyText);
    EXPECT_EQ(result.reply.sessionId, kServerId);

    ASSERT_EQ(result.requestSeen.size(), zv::kRequestHeaderSize);
    const zv::RequestHeader sent = zv::DecodeRequestHeader(result.requestSeen.data());
    EXPECT_EQ(sent.payloadLength, 0u);
    EXPECT_EQ(sent.sessionId, kClientId);
    EXPECT_EQ(sent.operationCode, 100);
    EXPECT_EQ(sent.inputFormat, 1);
    EXPECT_EQ(sent.outputFormat, 1);
    EXPECT_EQ(sent.sessionMode, 1);
    EXPECT_EQ(sent.encrypted, 0);
}

TEST(KeyNegotiation, AReplyInManySegmentsSucceeds) {
    for (std::size_t piece : {1u, 5u, 24u}) {
        const Negotiated result = Negotiate(ReplyFrame(ToBytes(kKeyText), 0, 0, kServerId), piece);
        EXPECT_EQ(result.code, 0u) << "pieces of " << piece;
        EXPECT_EQ(KeyOf(result.reply), kKeyText);
    }
}

TEST(KeyNegotiation, TheKeyIsTheFirst32BytesWhateverTheyHold) {
    std::string key = kKeyText;
    key[0] = '\0';
    key[9] = '\x1C';
    const Negotiated result = Negotiate(ReplyFrame(ToBytes(key + "trailing"), 0, 0, kServerId));
    ASSERT_EQ(result.code, 0u);
    EXPECT_EQ(KeyOf(result.reply), key);
}

TEST(KeyNegotiation, AReplyShorterThanAKeyGives357) {
    for (std::size_t length : {0u, 1u, 31u}) {
        const Negotiated result = Negotiate(ReplyFrame(ToBytes(kKeyText.substr(0, length))));
        EXPECT_EQ(result.code, 357u) << length << " key bytes";
        EXPECT_FALSE(result.reply.key.has_value());
    }
}

TEST(KeyNegotiation, AnyNonZeroErrorFlagIsARefusalWithTheServersText) {
    for (uint8_t flag : {1, 254, 255}) {
        const Negotiated result = Negotiate(ReplyFrame(ToBytes("Licence limit \xE9tait"), flag));
        EXPECT_EQ(result.code, 999u);
        EXPECT_EQ(result.reply.refusalText, "Licence limit \xE9tait");  // unconverted
        EXPECT_FALSE(result.reply.key.has_value());
    }
    // A long refusal text comes through whole.
    const std::string longText(200000, 'r');
    EXPECT_EQ(Negotiate(ReplyFrame(ToBytes(longText), 1)).reply.refusalText, longText);
}

TEST(KeyNegotiation, EachPartCutShortGivesItsCode) {
    const Bytes reply = ReplyFrame(ToBytes(kKeyText));
    const std::size_t header = zv::kResponseHeaderSize;
    struct Case {
        std::size_t sentBytes;
        uint32_t code;
    };
    for (const Case& cut :
         {Case{0, 351}, Case{header - 1, 351}, Case{header, 353}, Case{header + 31, 353},
          Case{header + 32, 354}, Case{reply.size() - 1, 354}}) {
        EXPECT_EQ(Negotiate(zvtest::Prefix(reply, cut.sentBytes)).code, cut.code)
            << cut.sentBytes << " bytes sent";
    }
}

TEST(KeyNegotiation, AWrongChecksumGives355EvenOnARefusal) {
    for (uint8_t flag : {0, 1}) {
        Bytes reply = ReplyFrame(ToBytes(kKeyText), flag);
        reply.back() ^= 0x80;
        EXPECT_EQ(Negotiate(reply).code, 355u);
    }
}

TEST(KeyNegotiation, APeerThatIsGoneGives350WithoutSigpipe) {
    SocketPair pair;
    pair.ClosePeer();
    zv::NegotiationReply reply;
    EXPECT_EQ(zv::ExchangeKeyNegotiation(pair.client, kClientId, reply), 350u);
}

}  // namespace
