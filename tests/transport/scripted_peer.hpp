// Scripted peers for the transport tests: the far end of a socket pair, or a
// loopback listener, that sends exactly the bytes a test gives and records
// what the client sent.
#pragma once

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "crypto/crypto.hpp"
#include "server_frame_headers.hpp"
#include "strings/strings.hpp"
#include "transport/connection.hpp"

namespace zvtest {

using Bytes = std::vector<uint8_t>;

inline Bytes ToBytes(std::string_view text) { return Bytes(text.begin(), text.end()); }

// A reply frame as the server sends it: header, payload, MD5 of the payload.
inline Bytes ReplyFrame(const Bytes& payload, uint8_t errorFlag = 0, uint8_t encrypted = 0,
                        const zv::SessionIdBytes& sessionId = {}) {
    zv::ResponseHeader header;
    header.payloadLength = static_cast<uint32_t>(payload.size());
    header.sessionId = sessionId;
    header.errorFlag = errorFlag;
    header.encrypted = encrypted;
    const auto headerBytes = zv::EncodeResponseHeader(header);
    const zv::MallocPtr<uint8_t> checksum(
        zv::ComputeChecksum(payload.data(), static_cast<uint32_t>(payload.size())));
    Bytes frame(headerBytes.size() + payload.size() + zv::kChecksumSize);
    auto end = std::copy(headerBytes.begin(), headerBytes.end(), frame.begin());
    end = std::copy(payload.begin(), payload.end(), end);
    std::copy(checksum.get(), checksum.get() + zv::kChecksumSize, end);
    return frame;
}

// Reads what is there until the end of the stream.
inline Bytes ReadToEnd(int socket) {
    Bytes all;
    uint8_t chunk[4096];
    for (ssize_t count; (count = recv(socket, chunk, sizeof chunk, 0)) > 0;) {
        all.insert(all.end(), chunk, chunk + count);
    }
    return all;
}

inline Bytes ReadExactly(int socket, std::size_t length) {
    Bytes bytes(length);
    bytes.resize(zv::ReceiveExactly(socket, bytes.data(), length));
    return bytes;
}

// A socket pair: the client end is adopted by a Connection, the peer end is
// scripted by the test (on a thread when it must run alongside the client).
struct SocketPair {
    zv::Connection client;
    int peer = -1;

    SocketPair() {
        int ends[2];
        if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) == 0) {
            client = zv::Connection::Adopt(ends[0]);
            peer = ends[1];
        }
    }
    ~SocketPair() { ClosePeer(); }
    SocketPair(const SocketPair&) = delete;
    SocketPair& operator=(const SocketPair&) = delete;

    void ClosePeer() {
        if (peer >= 0) close(peer);
        peer = -1;
    }
    // Sends bytes from the peer and closes it, as a server that is done.
    void ScriptReply(const Bytes& bytes) {
        zv::SendAll(peer, bytes.data(), bytes.size());
        ClosePeer();
    }
};

// A listener on 127.0.0.1 or ::1 with an ephemeral port; Serve runs a script
// on the next accepted connections, on a thread.
class LoopbackPeer {
public:
    explicit LoopbackPeer(int family = AF_INET) {
        listener_ = socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in6 v6{};
        sockaddr_in v4{};
        v6.sin6_family = AF_INET6;
        v6.sin6_addr = in6addr_loopback;
        v4.sin_family = AF_INET;
        v4.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        auto* address = family == AF_INET6 ? reinterpret_cast<sockaddr*>(&v6)
                                           : reinterpret_cast<sockaddr*>(&v4);
        socklen_t length = family == AF_INET6 ? sizeof v6 : sizeof v4;
        if (listener_ < 0 || bind(listener_, address, length) != 0 || listen(listener_, 8) != 0 ||
            getsockname(listener_, address, &length) != 0) {
            Close();
            return;
        }
        port_ = ntohs(family == AF_INET6 ? v6.sin6_port : v4.sin_port);
    }
    ~LoopbackPeer() {
        Join();
        Close();
    }
    LoopbackPeer(const LoopbackPeer&) = delete;
    LoopbackPeer& operator=(const LoopbackPeer&) = delete;

    bool Listening() const { return listener_ >= 0; }
    uint16_t Port() const { return port_; }

    // Runs script on each of the next count accepted connections, in turn;
    // index counts them from 0.
    void Serve(std::function<void(int socket, int index)> script, int count = 1) {
        thread_ = std::thread([this, script, count] {
            for (int i = 0; i < count; ++i) {
                const int socket = accept(listener_, nullptr, nullptr);
                if (socket < 0) return;
                script(socket, i);
                close(socket);
            }
        });
    }
    void Join() {
        if (thread_.joinable()) thread_.join();
    }
    void Close() {
        if (listener_ >= 0) close(listener_);
        listener_ = -1;
    }

private:
    int listener_ = -1;
    uint16_t port_ = 0;
    std::thread thread_;
};

}  // namespace zvtest
