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
    const zv::MallocPtr<uint8_t> bytes(zv::SessionIdFromText(text));
    zv::SessionIdBytes id{};
    if (bytes) std::copy(bytes.get(), bytes.get() + id.size(), id.begin());
    return id;
}

// The inputs of the examples, as the document states them.
const char* const kClientIdText = "00112233-4455-4677-8899-aabbccddeeff";
const char* const kServerIdText = "c0ffee00-1234-4abc-8def-0123456789ab";
const std::string kKey = "Zorvat-example-key-0123456789AB!";
const std::string kPayload = "R00000001\x1FLIST CAF\xC9";

TEST(ProtocolExample, NegotiationRequestAndReply) {
    zv::RequestHeader request;
    request.sessionId = IdFromText(kClientIdText);
    request.operationCode = zv::kKeyNegotiationCode;
    const auto requestBytes = zv::EncodeRequestHeader(request);
    const Bytes expectedRequest(requestBytes.begin(), requestBytes.end());
    EXPECT_EQ(DocumentedBytes("negotiation-request"), expectedRequest) << HexBlock(expectedRequest);

    zv::ResponseHeader reply;
    reply.payloadLength = 32;
    reply.sessionId = IdFromText(kServerIdText);
    const auto replyBytes = zv::EncodeResponseHeader(reply);
    const Bytes key(kKey.begin(), kKey.end());
    const Bytes expectedReply =
        Concat({Bytes(replyBytes.begin(), replyBytes.end()), key, zvtest::Md5(key)});
    EXPECT_EQ(DocumentedBytes("negotiation-reply"), expectedReply) << HexBlock(expectedReply);
}

TEST(ProtocolExample, RequestAsUtf8AndAsFramed) {
    const zv::CString utf8(zv::Iso885915ToUtf8(kPayload.c_str()));
    const Bytes text(utf8.get(), utf8.get() + std::strlen(utf8.get()));
    EXPECT_EQ(DocumentedBytes("request-utf8"), text) << HexBlock(text);

    uint32_t length = 0;
    const zv::MallocPtr<uint8_t> encrypted(
        zv::EncryptPayload(text.data(), static_cast<uint32_t>(text.size()), &length, nullptr,
                           reinterpret_cast<const uint8_t*>(kKey.data())));
    zv::RequestHeader header;
    header.payloadLength = length;
    header.sessionId = IdFromText(kServerIdText);
    header.operationCode = 7;
    header.inputFormat = 1;
    header.outputFormat = 2;
    header.encrypted = 1;
    const auto headerBytes = zv::EncodeRequestHeader(header);
    const Bytes payload(encrypted.get(), encrypted.get() + length);
    const Bytes expected =
        Concat({Bytes(headerBytes.begin(), headerBytes.end()), payload, zvtest::Md5(payload)});
    EXPECT_EQ(DocumentedBytes("request-frame"), expected) << HexBlock(expected);
}

}  // namespace
