// The response as the client reads it: which flags mark the server's error
// text, decryption, and a payload block that grows only with what arrives.
// Replies cut short or spoiled are in the fault matrix of tests/reliability.
#include <gtest/gtest.h>

#include <thread>

#include "scripted_peer.hpp"
#include "transport/exchange.hpp"
#include "transport/frame_reader.hpp"

namespace {

using zvtest::Bytes;
using zvtest::ToBytes;

const zv::SessionKey kKey(reinterpret_cast<const uint8_t*>("0123456789abcdef0123456789ABCDEF"));

Bytes Encrypt(std::string_view plaintext) {
    uint32_t length = 0;
    zv::MallocPtr<uint8_t> encrypted(zv::EncryptPayload(
        reinterpret_cast<const uint8_t*>(plaintext.data()), static_cast<uint32_t>(plaintext.size()),
        &length, nullptr, kKey.Bytes()));
    return Bytes(encrypted.get(), encrypted.get() + length);
}

TEST(ReceiveResponse, OnlyFlag255MarksErrorTextAndOnlyAKeyDecrypts) {
    struct Case {
        Bytes payload;
        uint8_t errorFlag;
        uint8_t encrypted;
        const zv::SessionKey* key;
        std::string text;
        bool isErrorText;
    };
    const Case cases[] = {
        {Encrypt("secret \xC3\xBC"), 0, 1, &kKey, "secret \xFC", false},
        {Encrypt("no such file"), 255, 1, &kKey, "no such file", true},
        {ToBytes("result"), 254, 0, &kKey, "result", false},
        {ToBytes("result"), 1, 0, nullptr, "result", false},
        {ToBytes("as it came"), 0, 1, nullptr, "as it came", false},  // flagged, but no key
        {Bytes{}, 0, 0, nullptr, "", false},
    };
    for (const Case& c : cases) {
        zvtest::SocketPair pair;
        std::thread peer(
            [&] { pair.ScriptReply(zvtest::ReplyFrame(c.payload, c.errorFlag, c.encrypted)); });
        zv::Response response;
        EXPECT_EQ(zv::ReceiveResponse(pair.client, response, c.key), 0u) << c.text;
        peer.join();
        EXPECT_STREQ(response.text.get(), c.text.c_str());
        EXPECT_EQ(response.isErrorText, c.isErrorText) << c.text;
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

}  // namespace
