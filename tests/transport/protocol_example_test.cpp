// The worked examples of docs/protocol.md are checked here: each block of
// example bytes in the document must be what the library produces from the
// example's inputs.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "crypto/crypto.hpp"
#include "scripted_peer.hpp"
#include "transport/frame_headers.hpp"
#include "transport/session_id.hpp"
#include "transport/text_conversion.hpp"

namespace {

using zvtest::Bytes;
using zvtest::Concat;

// The bytes of the block that follows "<!-- example-bytes: name -->" in the
// document: a fenced block of lines of two-digit hex numbers.
Bytes DocumentedBytes(const std::string& name) {
    std::ifstream document(ZORVAT_SOURCE_DIR "/docs/protocol.md");
    const std::string marker = "<!-- example-bytes: " + name + " -->";
    std::string line;
    while (std::getline(document, line) && line != marker) {
    }
    while (std::getline(document, line) && line.rfind("```", 0) != 0) {
    }
    Bytes bytes;
    while (std::getline(document, line) && line.rfind("```", 0) != 0) {
        std::istringstream words(line);
        std::string word;
        while (words >> word) {
            if (word.size() != 2 || !std::isxdigit(static_cast<unsigned char>(word[0])) ||
                !std::isxdigit(static_cast<unsigned char>(word[1]))) {
                ADD_FAILURE() << "not a hex byte in " << name << ": " << word;
                continue;
            }
            bytes.push_back(static_cast<uint8_t>(std::stoi(word, nullptr, 16)));
        }
    }
    return bytes;
}

// Sixteen bytes a line, as the document shows them.
std::string HexBlock(const Bytes& bytes) {
    std::string text;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        char pair[4];
        std::snprintf(pair, sizeof pair, "%02x", bytes[i]);
        text += pair;
        text += (i % 16 == 15 || i + 1 == bytes.size()) ? "\n" : " ";
    }
    return text;
}

zv::SessionIdBytes IdFromText(const char* text) {
    uint8_t* bytes = zv::SessionIdFromText(text);
    zv::SessionIdBytes id{};
    if (bytes != nullptr) std::copy(bytes, bytes + id.size(), id.begin());
    std::free(bytes);
    return id;
}

Bytes Owned(uint8_t* block, std::size_t length) {
    Bytes bytes(block, block + length);
    std::free(block);
    return bytes;
}

// The inputs of the examples, as the document states them.
const char* const kClientIdText = "00112233-4455-4677-8899-aabbccddeeff";
const char* const kServerIdText = "c0ffee00-1234-4abc-8def-0123456789ab";
const std::string kKey = "Zorvat-example-key-0123456789AB!";
const std::string kPayload = "R00000001\x1FLIST CAF\xC9";

TEST(ProtocolExample, NegotiationRequest) {
    zv::RequestHeader header;
    header.sessionId = IdFromText(kClientIdText);
    header.operationCode = zv::kKeyNegotiationCode;
    const auto bytes = zv::EncodeRequestHeader(header);
    const Bytes expected(bytes.begin(), bytes.end());
    EXPECT_EQ(DocumentedBytes("negotiation-request"), expected) << HexBlock(expected);
}

TEST(ProtocolExample, NegotiationReply) {
    zv::ResponseHeader header;
    header.payloadLength = 32;
    header.sessionId = IdFromText(kServerIdText);
    const auto headerBytes = zv::EncodeResponseHeader(header);
    const Bytes key(kKey.begin(), kKey.end());
    const Bytes expected =
        Concat({Bytes(headerBytes.begin(), headerBytes.end()), key, zvtest::Md5(key)});
    EXPECT_EQ(DocumentedBytes("negotiation-reply"), expected) << HexBlock(expected);
}

TEST(ProtocolExample, RequestPayloadAsUtf8) {
    char* utf8 = zv::Iso885915ToUtf8(kPayload.c_str());
    const Bytes expected = Owned(reinterpret_cast<uint8_t*>(utf8), std::strlen(utf8));
    EXPECT_EQ(DocumentedBytes("request-utf8"), expected) << HexBlock(expected);
}

TEST(ProtocolExample, RequestFrame) {
    char* utf8 = zv::Iso885915ToUtf8(kPayload.c_str());
    uint32_t length = 0;
    uint8_t* encrypted = zv::EncryptPayload(reinterpret_cast<const uint8_t*>(utf8),
                                            static_cast<uint32_t>(std::strlen(utf8)), &length,
                                            nullptr, reinterpret_cast<const uint8_t*>(kKey.data()));
    std::free(utf8);
    const Bytes payload = Owned(encrypted, length);

    zv::RequestHeader header;
    header.payloadLength = length;
    header.sessionId = IdFromText(kServerIdText);
    header.operationCode = 7;
    header.inputFormat = 1;
    header.outputFormat = 2;
    header.encrypted = 1;
    const auto headerBytes = zv::EncodeRequestHeader(header);
    const Bytes expected =
        Concat({Bytes(headerBytes.begin(), headerBytes.end()), payload, zvtest::Md5(payload)});
    EXPECT_EQ(DocumentedBytes("request-frame"), expected) << HexBlock(expected);
}

}  // namespace
