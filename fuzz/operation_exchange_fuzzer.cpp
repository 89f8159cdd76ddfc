// Whole operations through the exported functions, against a scripted server
// on a loopback port: arbitrary operation codes, formats and arguments on the
// way out, arbitrary negotiation replies and responses on the way back.
// Input: the kind of operation (direct, login, session, logout), its code and
// two formats, the arguments (zero-terminated), then the negotiation reply
// and the response, each a flags byte (bit 1: framed by the target with a
// matching length and checksum; bit 2, response only: payload encrypted under
// the key the client holds), a two-byte length and that many bytes (for a
// framed reply, a header and the payload).
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <thread>
#include <utility>

#include "fuzz_input.hpp"
#include "fuzz_key.hpp"
#include "scripted_reply.hpp"
#include "strings/strings.hpp"
#include "transport/session_id.hpp"
#include "zorvat.h"

namespace {

using zvfuzz::Bytes;
using zvfuzz::Require;

enum class Kind { kDirect, kLogin, kSession, kLogout };

struct ScriptedFrame {
    bool framed = false;
    bool encrypt = false;
    zv::ResponseHeader header;
    Bytes body;  // the payload when framed, else the raw reply

    static ScriptedFrame Take(zvfuzz::FuzzInput& input) {
        ScriptedFrame frame;
        const uint8_t flags = input.TakeByte();
        frame.framed = (flags & 2) != 0;
        frame.encrypt = (flags & 4) != 0;
        std::size_t length = input.TakeByte();
        length = length << 8 | input.TakeByte();
        if (frame.framed) {
            frame.header = zvfuzz::TakeHeader(input);
            length -= std::min<std::size_t>(length, zv::kResponseHeaderSize);
        }
        const auto bytes = input.TakeBytes(length);
        frame.body.assign(bytes.begin(), bytes.end());
        return frame;
    }

    // The bytes on the wire, the payload encrypted under key when asked and
    // a key is given (the negotiation reply never is).
    Bytes Wire(const uint8_t* key) const {
        if (!framed) return body;
        if (!encrypt || key == nullptr) return zvfuzz::Frame(header, body);
        uint32_t length = 0;
        const zv::MallocPtr<uint8_t> encrypted(zv::EncryptPayload(
            body.data(), static_cast<uint32_t>(body.size()), &length, nullptr, key));
        Require(encrypted != nullptr);
        return zvfuzz::Frame(header, Bytes(encrypted.get(), encrypted.get() + length));
    }
};

// One listener on an ephemeral loopback port for the whole run: a new one
// per input would soon find every ephemeral port held by connections that
// are still closing. The server of each input waits on it and on a pipe of
// its own, which the target closes to end that server.
class Listener {
public:
    static Listener& Shared() {
        static Listener listener;
        return listener;
    }
    int Native() const { return socket_; }
    int Port() const { return port_; }

private:
    Listener() {
        socket_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        Require(socket_ >= 0 && bind(socket_, reinterpret_cast<sockaddr*>(&address), length) == 0 &&
                listen(socket_, 16) == 0 &&
                getsockname(socket_, reinterpret_cast<sockaddr*>(&address), &length) == 0);
        port_ = ntohs(address.sin_port);
    }

    int socket_ = -1;
    int port_ = 0;
};

class StopSignal {
public:
    StopSignal() { Require(pipe2(ends_, O_CLOEXEC) == 0); }
    ~StopSignal() {
        Raise();
        close(ends_[0]);
    }
    StopSignal(const StopSignal&) = delete;
    StopSignal& operator=(const StopSignal&) = delete;

    int Watched() const { return ends_[0]; }
    void Raise() {
        if (ends_[1] >= 0) close(std::exchange(ends_[1], -1));
    }

private:
    int ends_[2] = {-1, -1};
};

// The next connection on the listener, or -1 once stop is raised.
int AcceptUnlessStopped(const Listener& listener, const StopSignal& stop) {
    for (;;) {
        pollfd watched[2] = {{listener.Native(), POLLIN, 0}, {stop.Watched(), POLLIN, 0}};
        if (poll(watched, 2, -1) < 0) continue;
        if (watched[1].revents != 0) return -1;
        const int connection = accept4(listener.Native(), nullptr, nullptr, SOCK_CLOEXEC);
        if (connection >= 0) return connection;
    }
}

// Reads until the client closes, so that it, not the server, ends the
// connection with everything read.
void Drain(int connection) {
    uint8_t sink[4096];
    while (recv(connection, sink, sizeof sink, 0) > 0) {
    }
}

// What the scripted server saw of the client's request.
struct SeenRequest {
    bool arrived = false;
    zv::RequestHeader header;
};

// Answers the negotiation (when the client asks for one) and then one
// request, checking that the request is well formed: its checksum matches and
// its payload decrypts under the key the client must be using.
void Serve(const Listener& listener, const StopSignal& stop, const Bytes& negotiationReply,
           const uint8_t* negotiatedKey, const ScriptedFrame& response, const uint8_t* sessionKey,
           SeenRequest& seen) {
    for (;;) {
        const int connection = AcceptUnlessStopped(listener, stop);
        if (connection < 0) return;
        zv::RequestHeaderBytes headerBytes;
        if (zv::ReceiveExactly(connection, headerBytes.data(), headerBytes.size()) !=
            headerBytes.size()) {
            // Nothing sent: a connection whose client gave up, maybe in an
            // earlier run, before it was accepted.
            close(connection);
            continue;
        }
        const zv::RequestHeader header = zv::DecodeRequestHeader(headerBytes.data());
        const bool negotiation = header.operationCode == zv::kKeyNegotiationCode &&
                                 header.payloadLength == 0 && header.encrypted == 0;
        const uint8_t* key = negotiation ? nullptr : (sessionKey ? sessionKey : negotiatedKey);
        if (!negotiation) {
            Require(header.encrypted == 1 && header.payloadLength % zv::kAesBlockSize == 0);
            Bytes payload(header.payloadLength + zv::kChecksumSize);
            Require(zv::ReceiveExactly(connection, payload.data(), payload.size()) ==
                    payload.size());
            const Bytes checksum(payload.end() - zv::kChecksumSize, payload.end());
            payload.resize(header.payloadLength);
            Require(zvfuzz::Md5Of(payload) == checksum);
            uint32_t plainLength = 0;
            const zv::MallocPtr<uint8_t> plain(zv::DecryptPayload(
                payload.data(), header.payloadLength, &plainLength, nullptr, key, true));
            Require(plain != nullptr);
            seen.arrived = true;
            seen.header = header;
        }
        const Bytes reply = negotiation ? negotiationReply : response.Wire(key);
        zv::SendAll(connection, reply.data(), reply.size());
        shutdown(connection, SHUT_WR);
        Drain(connection);
        close(connection);
        if (!negotiation) return;
    }
}

std::string Item(const std::string& record, uint32_t index) {
    const zv::CString item(ZvExtractDataFromConnectionInfo(record.c_str(), index));
    return item ? item.get() : "<none>";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    zvfuzz::FuzzInput input(data, size);
    auto kind = static_cast<Kind>(input.TakeByte() % 4);
    const uint8_t operationCode = input.TakeByte();
    // Inside a session, codes 1 and 8 are the login and the logout.
    if (kind == Kind::kSession && operationCode == 1) kind = Kind::kLogin;
    if (kind == Kind::kSession && operationCode == 8) kind = Kind::kLogout;
    const uint8_t inputFormat = input.TakeByte();
    const uint8_t outputFormat = input.TakeByte();
    const std::string arguments = input.TakeString();
    const ScriptedFrame negotiation = ScriptedFrame::Take(input);
    const ScriptedFrame response = ScriptedFrame::Take(input);

    const Bytes negotiationReply = negotiation.Wire(nullptr);
    // What a successful negotiation hands out: the identifier of header bytes
    // 5 to 20 and the key of the first 32 payload bytes.
    zv::ResponseHeaderBytes replyHeader{};
    std::copy_n(negotiationReply.begin(), std::min(negotiationReply.size(), replyHeader.size()),
                replyHeader.begin());
    const zv::SessionIdBytes negotiatedId = zv::DecodeResponseHeader(replyHeader.data()).sessionId;
    uint8_t negotiatedKey[zv::kSessionKeySize];
    std::memcpy(negotiatedKey, zvfuzz::kFuzzKeyBytes, sizeof negotiatedKey);
    if (negotiationReply.size() > zv::kResponseHeaderSize) {
        std::memcpy(
            negotiatedKey, negotiationReply.data() + zv::kResponseHeaderSize,
            std::min(negotiationReply.size() - zv::kResponseHeaderSize, sizeof negotiatedKey));
    }

    const Listener& listener = Listener::Shared();
    StopSignal stop;
    const zv::CString options(ZvCreateCredentialOptionsPlugin(
        "127.0.0.1", "ACCOUNT", listener.Port(), "user", "secret", "five", "six", "plugin"));
    Require(options != nullptr);
    std::string record;
    {
        const zv::CString fresh(ZvCreateConnectionInfo(options.get(), 0));
        const zv::CString id(zv::NewSessionId());
        const zv::CString withId(ZvChangeConnectionInfo(fresh.get(), 9, id.get()));
        const zv::CString withKey(ZvChangeConnectionInfo(
            withId.get(), 10, reinterpret_cast<const char*>(zvfuzz::kFuzzKeyBytes)));
        Require(withKey != nullptr);
        record = kind == Kind::kLogin ? fresh.get() : withKey.get();
    }
    const bool session = kind == Kind::kSession || kind == Kind::kLogout;

    SeenRequest seen;
    std::thread server([&] {
        Serve(listener, stop, negotiationReply, negotiatedKey, response,
              session ? zvfuzz::kFuzzKeyBytes : nullptr, seen);
    });
    char* message = nullptr;
    char* answer = nullptr;
    char* current = record.data();
    if (kind == Kind::kDirect) {
        answer = ZvExecuteDirectOperation(&message, options.get(), operationCode, arguments.c_str(),
                                          inputFormat, outputFormat, 0);
    } else {
        const uint8_t code = kind == Kind::kLogin ? 1 : kind == Kind::kLogout ? 8 : operationCode;
        answer = ZvExecutePersistentOperation(&message, &current, code, arguments.c_str(),
                                              inputFormat, outputFormat, 0);
    }
    stop.Raise();
    server.join();

    // An answer or a message, never both, never neither.
    Require((answer == nullptr) != (message == nullptr));
    if (seen.arrived) {
        const uint8_t expectedCode = kind == Kind::kLogin    ? 1
                                     : kind == Kind::kLogout ? 8
                                                             : operationCode;
        Require(seen.header.operationCode == expectedCode);
        Require(seen.header.sessionMode ==
                (kind == Kind::kDirect ? zv::kSessionModeDirect : zv::kSessionModePersistent));
    }
    // Only a successful login replaces the record, with the negotiated
    // session in items 9 and 10.
    if (current != record.data()) {
        Require(kind == Kind::kLogin && answer != nullptr);
        const std::string updated = current;
        ZvFreeMemory(current);
        char** items = ZvExtractAllDataFromConnectionInfo(updated.c_str());
        Require(items != nullptr);
        ZvFreeMemoryStringArray(items, ZV_CONNECTION_INFO_ITEMS);
        Require(Item(updated, 10) ==
                std::string(reinterpret_cast<const char*>(negotiatedKey), sizeof negotiatedKey));
        const zv::CString idText(zv::SessionIdToText(negotiatedId.data()));
        Require(Item(updated, 9) == idText.get());
    } else {
        Require(kind != Kind::kLogin || answer == nullptr);
    }
    ZvFreeMemory(answer);
    ZvFreeMemory(message);
    return 0;
}
