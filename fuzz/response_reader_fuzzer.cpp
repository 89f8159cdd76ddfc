// The response reader against whatever a server may send. Input: two bytes
// that choose how the reply is cut into writes, a flags byte, then either the
// raw reply (flag bit 1 clear) or a header and a payload that the target frames
// itself with a matching length and checksum (bit 1 set), so that mutations
// reach decryption and conversion instead of dying at the checksum. Bit 0
// gives the reader the key; bit 2 encrypts the framed payload under it.
#include <cstdint>
#include <cstring>
#include <optional>

#include "fuzz_input.hpp"
#include "fuzz_key.hpp"
#include "scripted_reply.hpp"
#include "strings/strings.hpp"
#include "transport/exchange.hpp"
#include "transport/text_conversion.hpp"

namespace {

using zvfuzz::Bytes;
using zvfuzz::Require;

// What the reader must hand back for a framed reply whose plaintext is known.
std::string ExpectedText(const Bytes& plaintext) {
    const std::string utf8(plaintext.begin(), plaintext.end());
    const zv::CString converted(zv::Utf8ToIso885915(utf8.c_str()));
    Require(converted != nullptr);
    return converted.get();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    zvfuzz::FuzzInput input(data, size);
    const zvfuzz::Fragmentation cut = zvfuzz::Fragmentation::Take(input);
    const uint8_t flags = input.TakeByte();
    const bool giveKey = (flags & 1) != 0;
    const bool framed = (flags & 2) != 0;
    const bool encryptHere = framed && (flags & 4) != 0;
    const zv::SessionKey key = zvfuzz::FuzzKey();

    Bytes reply;
    std::optional<Bytes> plaintext;  // set when the outcome is known in advance
    if (framed) {
        const zv::ResponseHeader header = zvfuzz::TakeHeader(input);
        const auto rest = input.TakeRest();
        Bytes payload(rest.begin(), rest.end());
        if (encryptHere) {
            uint32_t length = 0;
            const zv::MallocPtr<uint8_t> encrypted(
                zv::EncryptPayload(payload.data(), static_cast<uint32_t>(payload.size()), &length,
                                   nullptr, key.Bytes()));
            Require(encrypted != nullptr);
            const bool decrypts = header.encrypted != 0 && giveKey;
            if (decrypts) plaintext = payload;
            payload.assign(encrypted.get(), encrypted.get() + length);
        } else if (header.encrypted == 0 || !giveKey) {
            plaintext = payload;
        }
        reply = zvfuzz::Frame(header, payload);
    } else {
        const auto rest = input.TakeRest();
        reply.assign(rest.begin(), rest.end());
    }
    const uint8_t errorFlag = reply.size() > 21 ? reply[21] : 0;

    zv::Response response;
    uint32_t code = 0;
    {
        zvfuzz::ScriptedReply server(reply, cut, 0);
        code = zv::ReceiveResponse(server.Client(), response, giveKey ? &key : nullptr);
    }

    // A text exactly when the read succeeded, and its length is its own.
    Require((code == 0) == (response.text != nullptr));
    if (code == 0) {
        Require(response.length == std::strlen(response.text.get()));
        Require(response.isErrorText == (errorFlag == zv::kErrorFlagServerText));
    } else {
        Require(response.length == 0 && !response.isErrorText);
    }
    if (plaintext) {
        Require(code == 0);
        Require(ExpectedText(*plaintext) == response.text.get());
    }
    return 0;
}
