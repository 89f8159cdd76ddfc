// The key negotiation's reply reader against whatever a server may send.
// Input: two bytes that choose how the reply is cut into writes, a flags byte,
// then either the raw reply (flag bit 1 clear) or a header and a payload that
// the target frames itself with a matching length and checksum (bit 1 set).
#include <cstdint>
#include <cstring>
#include <string>

#include "fuzz_input.hpp"
#include "scripted_reply.hpp"
#include "transport/key_negotiation.hpp"

using zvfuzz::Bytes;
using zvfuzz::Require;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    zvfuzz::FuzzInput input(data, size);
    const zvfuzz::Fragmentation cut = zvfuzz::Fragmentation::Take(input);
    const bool framed = (input.TakeByte() & 2) != 0;

    Bytes reply;
    Bytes payload;
    zv::ResponseHeader header;
    if (framed) {
        header = zvfuzz::TakeHeader(input);
        const auto rest = input.TakeRest();
        payload.assign(rest.begin(), rest.end());
        reply = zvfuzz::Frame(header, payload);
    } else {
        const auto rest = input.TakeRest();
        reply.assign(rest.begin(), rest.end());
    }

    const zv::SessionIdBytes ourId{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    zv::NegotiationReply result;
    uint32_t code = 0;
    {
        zvfuzz::ScriptedReply server(reply, cut, zv::kRequestHeaderSize);
        code = zv::ExchangeKeyNegotiation(server.Client(), ourId, result);
    }

    Require(result.key.has_value() == (code == 0));
    Require(code == 999 || result.refusalText.empty());
    if (code == 0) {
        Require(reply.size() >= zv::kResponseHeaderSize + zv::kSessionKeySize + zv::kChecksumSize);
    }
    if (!framed) return 0;

    // A well-formed reply: a refusal for any non-zero flag, else a key of its
    // first 32 bytes and the identifier of header bytes 5 to 20.
    if (header.errorFlag != 0) {
        Require(code == 999);
        const std::string text(payload.begin(), payload.end());
        Require(result.refusalText == text.substr(0, text.find('\0')));
    } else if (payload.size() < zv::kSessionKeySize) {
        Require(code == 357);
    } else {
        Require(code == 0);
        Require(std::memcmp(result.key->Bytes(), payload.data(), zv::kSessionKeySize) == 0);
        Require(result.sessionId == header.sessionId);
    }
    return 0;
}
