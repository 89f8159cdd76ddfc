// The worked examples of docs/protocol.md played through the client: given the
// documented negotiation reply, it must send the documented negotiation request
// and, on a second connection, the documented request frame, then half-close.
#include <gtest/gtest.h>
#include <signal.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "crypto/crypto.hpp"
#include "support/scripted_peer.hpp"
#include "transport/exchange.hpp"
#include "transport/session_id.hpp"

namespace {

using zvtest::Bytes;

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
    // A word that is not hex ends its line early, and the comparison fails.
    Bytes bytes;
    unsigned int byte = 0;
    while (std::getline(document, line) && line.rfind("```", 0) != 0) {
        std::istringstream words(line);
        while (words >> std::hex >> byte) bytes.push_back(static_cast<uint8_t>(byte));
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

TEST(ProtocolExample, TheClientSendsTheDocumentedBytes) {
    signal(SIGPIPE, SIG_DFL);  // a SIGPIPE would end the test program
    zvtest::LoopbackPeer peer;
    ASSERT_TRUE(peer.Listening());
    Bytes negotiation, request;
    peer.Serve(
        [&](int socket, int index) {
            if (index == 0) {
                negotiation = zvtest::ReadExactly(socket, zv::kRequestHeaderSize);
                const Bytes reply = DocumentedBytes("negotiation-reply");
                zv::SendAll(socket, reply.data(), reply.size());
                return;
            }
            request = zvtest::ReadToEnd(socket);  // returns at the client's half-close
            const Bytes reply = zvtest::ReplyFrame(zvtest::ToBytes("answer after half-close"));
            zv::SendAll(socket, reply.data(), reply.size());
        },
        2);
    // A session operation on a record that holds no key yet: it negotiates.
    zv::SessionIdBytes sessionId = IdFromText("00112233-4455-4677-8899-aabbccddeeff");
    std::optional<zv::SessionKey> key;
    zv::RequestSettings settings;
    settings.operationCode = 7;
    settings.outputFormat = 2;
    zv::OperationStatus status;
    zv::Connection connection = zv::SendRequest(key, sessionId, "127.0.0.1", peer.Port(), settings,
                                                "R00000001\x1FLIST CAF\xC9", {}, status);
    ASSERT_EQ(status.code, 0u);
    zv::Response response;
    EXPECT_EQ(zv::ReceiveResponse(connection, response, &*key), 0u);
    EXPECT_STREQ(response.text.get(), "answer after half-close");
    peer.Join();

    EXPECT_EQ(negotiation, DocumentedBytes("negotiation-request")) << HexBlock(negotiation);
    EXPECT_EQ(key->Text(), "Zorvat-example-key-0123456789AB!");
    EXPECT_EQ(sessionId, IdFromText("c0ffee00-1234-4abc-8def-0123456789ab"));
    EXPECT_EQ(request, DocumentedBytes("request-frame")) << HexBlock(request);
    // The ciphertext holds the documented UTF-8 text.
    ASSERT_EQ(request.size(), 30u + 32u + 16u);
    Bytes ciphertext(request.begin() + 30, request.end() - 16);
    uint32_t length = 0;
    const zv::MallocPtr<uint8_t> plain(
        zv::DecryptPayload(ciphertext.data(), static_cast<uint32_t>(ciphertext.size()), &length,
                           nullptr, reinterpret_cast<const uint8_t*>(key->Text().data()), false));
    ASSERT_NE(plain, nullptr);
    EXPECT_EQ(Bytes(plain.get(), plain.get() + length), DocumentedBytes("request-utf8"));
}

}  // namespace
