#include <gtest/gtest.h>

#include <cstring>
#include <thread>

#include "crypto/crypto.hpp"
#include "scripted_peer.hpp"
#include "transport/exchange.hpp"
#include "transport/receive_buffer.hpp"

namespace {

using zvtest::Bytes;
using zvtest::ReplyFrame;
using zvtest::SocketPair;
using zvtest::ToBytes;

const zv::SessionKey kKey(reinterpret_cast<const uint8_t*>("0123456789abcdef0123456789ABCDEF"));

Bytes Encrypt(std::string_view plaintext) {
    uint32_t length = 0;
    uint8_t* encrypted =
        zv::EncryptPayload(reinterpret_cast<const uint8_t*>(plaintext.data()),
                           static_cast<uint32_t>(plaintext.size()), &length, nullptr, kKey.Bytes());
    Bytes bytes(encrypted, encrypted + length);
    std::free(encrypted);
    return bytes;
}

struct Received {
    uint32_t code = 0;
    zv::Response response;
};

// The client's view of a server that sends exactly reply and closes.
Received Receive(const Bytes& reply, const zv::SessionKey* key = nullptr) {
    SocketPair pair;
    std::thread peer([&] { pair.ScriptReply(reply); });
    Received received;
    received.code = zv::ReceiveResponse(pair.client, received.response, key);
    peer.join();
    return received;
}

std::string Text(const zv::Response& response) {
    return response.text ? std::string(response.text.get()) : "<none>";
}

TEST(ReceiveResponse, ConvertsTheAnswerToIso885915) {
    const Received received = Receive(ReplyFrame(ToBytes("caf\xC3\xA9 \xE2\x82\xAC")));
    ASSERT_EQ(received.code, 0u);
    EXPECT_EQ(Text(received.response), "caf\xE9 \xA4");
    EXPECT_EQ(received.response.length, 6u);
    EXPECT_FALSE(received.response.isErrorText);
}

TEST(ReceiveResponse, AnEmptyAnswerIsAnEmptyText) {
    const Received received = Receive(ReplyFrame({}));
    ASSERT_EQ(received.code, 0u);
    EXPECT_EQ(Text(received.response), "");
}

TEST(ReceiveResponse, OnlyErrorFlag255MarksTheServersErrorText) {
    EXPECT_TRUE(Receive(ReplyFrame(ToBytes("no such file"), 255)).response.isErrorText);
    EXPECT_FALSE(Receive(ReplyFrame(ToBytes("result"), 254)).response.isErrorText);
    EXPECT_FALSE(Receive(ReplyFrame(ToBytes("result"), 1)).response.isErrorText);
    const Received flagged = Receive(ReplyFrame(ToBytes("no such file"), 255));
    EXPECT_EQ(Text(flagged.response), "no such file");
}

TEST(ReceiveResponse, DecryptsWithTheKeyAndHandsOnWithoutOne) {
    const Received decrypted = Receive(ReplyFrame(Encrypt("secret \xC3\xBC"), 0, 1), &kKey);
    ASSERT_EQ(decrypted.code, 0u);
    EXPECT_EQ(Text(decrypted.response), "secret \xFC");

    // Flagged encrypted but no key given: converted as it came.
    const Received undecrypted = Receive(ReplyFrame(ToBytes("as it came"), 0, 1), nullptr);
    ASSERT_EQ(undecrypted.code, 0u);
    EXPECT_EQ(Text(undecrypted.response), "as it came");
}

TEST(ReceiveResponse, ReadsAnAnswerThatArrivesInManySegments) {
    const Bytes reply = ReplyFrame(Encrypt(std::string(5000, 'x')), 0, 1);
    for (std::size_t piece : {1u, 7u, 1000u}) {
        SocketPair pair;
        std::thread peer([&] {
            zvtest::SendInPieces(pair.peer, reply, piece);
            pair.ClosePeer();
        });
        zv::Response response;
        EXPECT_EQ(zv::ReceiveResponse(pair.client, response, &kKey), 0u) << "pieces of " << piece;
        peer.join();
        EXPECT_EQ(Text(response), std::string(5000, 'x'));
    }
}

TEST(ReceiveResponse, EachPartCutShortGivesItsCode) {
    const Bytes reply = ReplyFrame(ToBytes("twelve bytes"));
    const std::size_t header = zv::kResponseHeaderSize;
    struct Case {
        std::size_t sentBytes;
        uint32_t code;
    };
    for (const Case& cut :
         {Case{0, 401}, Case{header - 1, 401}, Case{header, 403}, Case{header + 11, 403},
          Case{header + 12, 404}, Case{reply.size() - 1, 404}}) {
        const Received received = Receive(zvtest::Prefix(reply, cut.sentBytes));
        EXPECT_EQ(received.code, cut.code) << cut.sentBytes << " bytes sent";
        EXPECT_EQ(received.response.text, nullptr);
    }
}

TEST(ReceiveResponse, AChecksumThatDoesNotMatchGives405AndNoText) {
    Bytes reply = ReplyFrame(ToBytes("payload"));
    reply.back() ^= 1;
    const Received received = Receive(reply);
    EXPECT_EQ(received.code, 405u);
    EXPECT_EQ(received.response.text, nullptr);
}

TEST(ReceiveResponse, CiphertextOfInvalidLengthOrPaddingGives406AndNoText) {
    Bytes badPadding = Encrypt("0123456789abcdef");  // one block of text, one of padding
    badPadding.resize(16);                           // now the text's last byte is the padding
    Bytes shortBlock = Encrypt("text");
    shortBlock.pop_back();
    for (const Bytes& payload : {badPadding, shortBlock, Bytes{}}) {
        const Received received = Receive(ReplyFrame(payload, 0, 1), &kKey);
        EXPECT_EQ(received.code, 406u) << payload.size() << " bytes";
        EXPECT_EQ(received.response.text, nullptr);
    }
}

TEST(ReceiveResponse, AHugeLengthThenAnEarlyCloseGives403) {
    Bytes reply = ReplyFrame(ToBytes("a few bytes"));
    std::memset(reply.data(), 0xFF, 4);  // payloadLength 0xFFFFFFFF
    const Received received = Receive(reply);
    EXPECT_EQ(received.code, 403u);
}

TEST(ReceiveBuffer, GrowsOnlyAsBytesArrive) {
    SocketPair pair;
    const Bytes sent(300000, 0x41);
    std::thread peer([&] { pair.ScriptReply(sent); });
    zv::ReceiveBuffer buffer;
    EXPECT_EQ(buffer.Fill(pair.client, 0xFFFFFFFF), zv::ReceiveOutcome::kShort);
    peer.join();
    EXPECT_EQ(buffer.Size(), sent.size());
    // Doubling from 64 KiB: never more than twice what arrived, plus the start.
    EXPECT_LE(buffer.Capacity(), 2 * sent.size() + zv::kInitialReceiveCapacity + 1);
}

TEST(ReceiveBuffer, EndsACompletePayloadWithAZeroByte) {
    SocketPair pair;
    const Bytes sent(zv::kInitialReceiveCapacity * 2 + 5, 0x42);
    std::thread peer([&] { pair.ScriptReply(sent); });
    zv::ReceiveBuffer buffer;
    ASSERT_EQ(buffer.Fill(pair.client, static_cast<uint32_t>(sent.size())),
              zv::ReceiveOutcome::kComplete);
    peer.join();
    ASSERT_EQ(buffer.Size(), sent.size());
    EXPECT_EQ(Bytes(buffer.Data(), buffer.Data() + buffer.Size()), sent);
    EXPECT_EQ(buffer.Data()[buffer.Size()], 0);
}

}  // namespace
