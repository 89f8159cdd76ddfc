#include "exchange_protocol.hpp"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "answers.hpp"
#include "crypto/crypto.hpp"
#include "dump_text.hpp"
#include "fault_flags.hpp"
#include "strings/strings.hpp"
#include "transport/random_source.hpp"
#include "transport/session_id.hpp"
#include "transport/text_conversion.hpp"
#include "transport/wiped_block.hpp"

namespace zv::server {
namespace {

constexpr uint8_t kLoginCode = 1;
constexpr uint8_t kLogoutCode = 8;

// 32 characters from 0x21 to 0x7E, drawn without bias from the secure source.
std::optional<SessionKey> RandomPrintableKey() {
    std::array<uint8_t, kSessionKeySize> key{};
    std::size_t filled = 0;
    uint8_t random[64];
    while (filled < key.size()) {
        if (!FillWithSecureRandom(random, sizeof random)) return std::nullopt;
        for (uint8_t byte : random) {
            // 188 = 2 * 94: the bytes above it would favour some characters.
            if (byte < 188 && filled < key.size()) key[filled++] = 0x21 + byte % 94;
        }
    }
    SessionKey result(key.data());
    SecureWipe(key.data(), key.size());
    SecureWipe(random, sizeof random);
    return result;
}

std::string IdText(const SessionIdBytes& id) {
    const MallocPtr<char> text(SessionIdToText(id.data()));
    return text ? text.get() : "?";
}

std::string FaultNote(FaultKind kind) {
    if (kind == FaultKind::kNone) return "";
    return " [fault: " + std::string(FaultKindName(kind)) + "]";
}

std::vector<uint8_t> Bytes(const void* data, std::size_t size) {
    const auto* bytes = static_cast<const uint8_t*>(data);
    return std::vector<uint8_t>(bytes, bytes + size);
}

// The payload of an answer: text (ISO-8859-15) as UTF-8, encrypted under key
// when one is given. The bad-padding and wrong-length faults spoil the
// encrypted form here. The text is consumed, so that its memory goes back
// before the encrypted copy is made.
std::vector<uint8_t> AnswerPayload(std::string text, const SessionKey* key, FaultKind fault) {
    MallocPtr<char> utf8(Iso885915ToUtf8(text.c_str()));
    std::string().swap(text);
    if (utf8 == nullptr) return {};
    std::size_t plainLength = std::strlen(utf8.get());
    if (key == nullptr) return Bytes(utf8.get(), plainLength);
    if (fault == FaultKind::kBadPadding) {
        // Whole blocks ending in a zero byte: encryption appends a block of
        // pure padding, and dropping it leaves a last block whose padding
        // byte reads 0, which no valid padding has.
        const std::size_t padded = plainLength + kAesBlockSize - plainLength % kAesBlockSize;
        auto* grown = static_cast<char*>(std::realloc(utf8.get(), padded));
        if (grown == nullptr) return {};
        static_cast<void>(utf8.release());
        utf8.reset(grown);
        std::memset(grown + plainLength, 0, padded - plainLength);
        plainLength = padded;
    }
    uint32_t length = 0;
    const MallocPtr<uint8_t> encrypted(EncryptPayload(reinterpret_cast<const uint8_t*>(utf8.get()),
                                                      static_cast<uint32_t>(plainLength), &length,
                                                      nullptr, key->Bytes()));
    SecureWipe(utf8.get(), plainLength);
    utf8.reset();
    if (encrypted == nullptr) return {};
    if (fault == FaultKind::kBadPadding) length -= kAesBlockSize;
    if (fault == FaultKind::kWrongLength) length -= 1;
    return Bytes(encrypted.get(), length);
}

// The outcome of a reply: its wire bytes and, when dumping, the reply's
// header and payload decoded.
ExchangeOutcome Finish(const Reply& reply, const Fault& fault, std::string logLine,
                       std::string dump, std::string_view answerText, bool dumping) {
    ExchangeOutcome outcome{PlanReply(reply, fault), std::move(logLine), std::move(dump)};
    if (dumping) {
        ResponseHeader header = reply.header;
        header.payloadLength = static_cast<uint32_t>(reply.payload.size());
        outcome.dump += ">> " + DescribeResponseHeader(header) + FaultNote(fault.kind) + "\n";
        outcome.dump += ">> answer: " + TerminalSafe(answerText) + "\n";
    }
    return outcome;
}

}  // namespace

std::vector<uint8_t> ExchangeProtocol::BusyReply() {
    static constexpr std::string_view kText = "Too many connections; try again later";
    Reply reply;
    reply.header.errorFlag = kErrorFlagServerText;
    reply.payload = Bytes(kText.data(), kText.size());
    return FrameBytes(reply);
}

ExchangeOutcome ExchangeProtocol::Negotiate(const RequestHeader& request, const Fault& fault) {
    std::string dump;
    if (Dumping()) dump = "<< negotiation " + DescribeRequestHeader(request) + "\n";
    Reply reply;
    const MallocPtr<uint8_t> newId(NewRandomUuidBytes());
    if (newId == nullptr) return {{}, "negotiation failed: no random bytes; closed", dump};
    std::copy(newId.get(), newId.get() + kSessionIdSize, reply.header.sessionId.begin());
    const std::string line = "negotiation " + IdText(request.sessionId) + " -> ";

    if (fault.kind == FaultKind::kRefuse) {
        reply.header.errorFlag = fault.flag;
        reply.payload = Bytes(fault.text.data(), fault.text.size());
        return Finish(reply, fault, line + "refused" + FaultNote(fault.kind), std::move(dump),
                      fault.text, Dumping());
    }
    std::optional<SessionKey> key = RandomPrintableKey();
    if (!key) return {{}, line + "no random bytes; closed", dump};
    if (fault.kind == FaultKind::kUnstorableKey) {
        std::array<uint8_t, kSessionKeySize> spoiled;
        std::copy(key->Bytes(), key->Bytes() + kSessionKeySize, spoiled.begin());
        spoiled[3] = 0x00;
        spoiled[17] = 0x1C;
        key.emplace(spoiled.data());
        SecureWipe(spoiled.data(), spoiled.size());
    }
    std::size_t keyLength = kSessionKeySize;
    if (fault.kind == FaultKind::kShortKey) {
        keyLength = std::min<std::size_t>(fault.count != 0 ? fault.count : 16, kSessionKeySize - 1);
    } else {
        keys_.AddPending(reply.header.sessionId, *key);
    }
    reply.payload = Bytes(key->Bytes(), keyLength);
    // The key itself is not dumped: the answer line shows its length only.
    ExchangeOutcome outcome =
        Finish(reply, fault, line + IdText(reply.header.sessionId) + FaultNote(fault.kind),
               std::move(dump), "(a key of " + std::to_string(keyLength) + " bytes)", Dumping());
    SecureWipe(reply.payload.data(), reply.payload.size());
    return outcome;
}

ExchangeOutcome ExchangeProtocol::Answer(const RequestHeader& header, ReceiveBuffer payload,
                                         bool checksumMatched, const Fault& fault) {
    std::string line = "request op=" + std::to_string(header.operationCode) +
                       " mode=" + std::to_string(header.sessionMode) + " " +
                       IdText(header.sessionId) + " -> ";
    std::string dump;
    if (Dumping()) dump = "<< request " + DescribeRequestHeader(header) + "\n";

    Reply reply;
    reply.header.sessionId = header.sessionId;
    const auto refuse = [&](const std::string& text) {
        reply.header.errorFlag = kErrorFlagServerText;
        reply.payload = AnswerPayload(text, nullptr, FaultKind::kNone);
        return Finish(reply, Fault{}, line + "error: " + text, std::move(dump), text, Dumping());
    };

    if (!checksumMatched) return refuse("Checksum error");
    DecodedRequest request;
    request.header = header;
    if (header.sessionMode == kSessionModeDirect) {
        request.kind = RequestKind::kDirect;
    } else if (header.sessionMode != kSessionModePersistent) {
        return refuse("Unknown session mode " + std::to_string(header.sessionMode));
    } else if (header.operationCode == kLoginCode) {
        request.kind = RequestKind::kLogin;
    } else if (header.operationCode == kLogoutCode) {
        request.kind = RequestKind::kLogout;
    } else {
        request.kind = RequestKind::kSession;
    }
    // A login and a direct operation use the key of the negotiation just
    // before them, once; session operations and the logout the session's.
    const bool fresh = request.kind == RequestKind::kLogin || request.kind == RequestKind::kDirect;
    const std::optional<SessionKey> key =
        fresh ? keys_.TakePending(header.sessionId) : keys_.FindSession(header.sessionId);
    if (!key) return refuse("Unknown session");

    MallocPtr<char> text;
    {
        WipedBlock<uint8_t> plaintext;
        const char* utf8 = reinterpret_cast<const char*>(payload.Data());
        if (header.encrypted != 0) {
            uint32_t length = 0;
            uint8_t* decrypted = DecryptPayload(payload.Data(), header.payloadLength, &length,
                                                nullptr, key->Bytes(), true);
            if (decrypted == nullptr) return refuse("Invalid encrypted data");
            plaintext = WipedBlock<uint8_t>(decrypted, std::size_t{length} + 1);
            utf8 = reinterpret_cast<const char*>(decrypted);
            payload.Release();
        }
        text.reset(Utf8ToIso885915(utf8));
    }
    payload.Release();
    if (text == nullptr) return refuse("Out of memory");
    if (Dumping()) dump += "<< payload: " + TerminalSafe(text.get()) + "\n";
    const bool split = SplitFields(request.kind, text.get(), request.fields);
    SecureWipe(text.get(), std::strlen(text.get()));
    text.reset();
    if (!split) {
        return refuse("Malformed request: fewer than " + std::to_string(FieldCount(request.kind)) +
                      " fields");
    }
    if (fresh && ((options_.requiredItem3 && request.fields[0] != *options_.requiredItem3) ||
                  (options_.requiredItem4 && request.fields[1] != *options_.requiredItem4))) {
        return refuse("Invalid credentials");
    }

    std::string answer;
    switch (request.kind) {
        case RequestKind::kLogin: {
            char recordId[16];
            std::snprintf(recordId, sizeof recordId, "R%08llu",
                          static_cast<unsigned long long>(++recordCounter_));
            keys_.AddSession(header.sessionId, *key);
            answer = LoginAnswer(std::move(request), recordId);
            line += std::string("LOGIN ") + recordId;
            break;
        }
        case RequestKind::kLogout:
            keys_.RemoveSession(header.sessionId);
            answer = DescriptionAnswer(std::move(request));
            line += "LOGOUT";
            break;
        case RequestKind::kDirect:
            answer = DescriptionAnswer(std::move(request));
            line += "DIRECT";
            break;
        case RequestKind::kSession:
            answer = DescriptionAnswer(std::move(request));
            line += "SESSION";
            break;
    }
    if (fault.kind == FaultKind::kErrorFlag) {
        reply.header.errorFlag = kErrorFlagServerText;
        answer = fault.text;
    }
    std::string shown;
    if (Dumping()) shown = answer.substr(0, 4096);
    const bool encrypt = header.encrypted != 0;
    reply.header.encrypted = encrypt ? 1 : 0;
    reply.payload = AnswerPayload(std::move(answer), encrypt ? &*key : nullptr, fault.kind);
    return Finish(reply, fault, line + FaultNote(fault.kind), std::move(dump), shown, Dumping());
}

}  // namespace zv::server
