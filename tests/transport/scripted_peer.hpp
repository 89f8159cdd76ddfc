// Scripted peers for the transport tests: the far end of a socket pair, or a
// one-connection loopback listener, that sends exactly the bytes a test gives
// and records what the client sent.
#pragma once

#include <dirent.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "crypto/crypto.hpp"
#include "transport/connection.hpp"
#include "transport/frame_headers.hpp"

namespace zvtest {

using Bytes = std::vector<uint8_t>;

inline Bytes ToBytes(std::string_view text) { return Bytes(text.begin(), text.end()); }

inline Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

inline Bytes Md5(const Bytes& data) {
    uint8_t* digest = zv::ComputeChecksum(data.data(), static_cast<uint32_t>(data.size()));
    Bytes result(digest, digest + zv::kChecksumSize);
    std::free(digest);
    return result;
}

// A reply frame as the server sends it: header, payload, MD5 of the payload.
inline Bytes ReplyFrame(const Bytes& payload, uint8_t errorFlag = 0, uint8_t encrypted = 0,
                        const zv::SessionIdBytes& sessionId = {}) {
    zv::ResponseHeader header;
    header.payloadLength = static_cast<uint32_t>(payload.size());
    header.sessionId = sessionId;
    header.errorFlag = errorFlag;
    header.encrypted = encrypted;
    const auto headerBytes = zv::EncodeResponseHeader(header);
    return Concat({Bytes(headerBytes.begin(), headerBytes.end()), payload, Md5(payload)});
}

inline Bytes Prefix(const Bytes& bytes, std::size_t count) {
    return Bytes(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(count));
}

// Reads what is there until the end of the stream.
inline Bytes ReadToEnd(int socket) {
    Bytes all;
    uint8_t chunk[4096];
    for (;;) {
        const ssize_t count = recv(socket, chunk, sizeof chunk, 0);
        if (count <= 0) return all;
        all.insert(all.end(), chunk, chunk + count);
    }
}

inline Bytes ReadExactly(int socket, std::size_t length) {
    Bytes bytes(length);
    bytes.resize(zv::ReceiveExactly(socket, bytes.data(), length));
    return bytes;
}

// Sends bytes in pieces of pieceSize, each its own write, so that the
// reader sees them arrive in many segments.
inline void SendInPieces(int socket, const Bytes& bytes, std::size_t pieceSize) {
    for (std::size_t sent = 0; sent < bytes.size(); sent += pieceSize) {
        zv::SendAll(socket, bytes.data() + sent, std::min(pieceSize, bytes.size() - sent));
        std::this_thread::yield();
    }
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

// A listener on 127.0.0.1 or ::1 with an ephemeral port; Serve runs script on
// the next accepted connection, on a thread.
class LoopbackPeer {
public:
    explicit LoopbackPeer(int family = AF_INET) {
        listener_ = socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_storage address{};
        socklen_t length = 0;
        if (family == AF_INET6) {
            auto& v6 = reinterpret_cast<sockaddr_in6&>(address);
            v6.sin6_family = AF_INET6;
            v6.sin6_addr = in6addr_loopback;
            length = sizeof v6;
        } else {
            auto& v4 = reinterpret_cast<sockaddr_in&>(address);
            v4.sin_family = AF_INET;
            v4.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            length = sizeof v4;
        }
        if (listener_ < 0 || bind(listener_, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
            listen(listener_, 8) != 0) {
            Close();
            return;
        }
        getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(family == AF_INET6 ? reinterpret_cast<sockaddr_in6&>(address).sin6_port
                                         : reinterpret_cast<sockaddr_in&>(address).sin_port);
    }
    ~LoopbackPeer() {
        Join();
        Close();
    }
    LoopbackPeer(const LoopbackPeer&) = delete;
    LoopbackPeer& operator=(const LoopbackPeer&) = delete;

    bool Listening() const { return listener_ >= 0; }
    uint16_t Port() const { return port_; }

    // Runs script on each of the next count accepted connections, in turn.
    void Serve(std::function<void(int socket)> script, int count = 1) {
        thread_ = std::thread([this, script, count] {
            for (int i = 0; i < count; ++i) {
                const int socket = accept(listener_, nullptr, nullptr);
                if (socket < 0) return;
                script(socket);
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

// A port on which nothing listens: bound once, then released.
inline uint16_t UnusedPort(int family = AF_INET) {
    LoopbackPeer peer(family);
    return peer.Port();
}

inline int OpenDescriptorCount() {
    int count = 0;
    if (DIR* directory = opendir("/proc/self/fd")) {
        while (readdir(directory) != nullptr) ++count;
        closedir(directory);
    }
    return count;
}

}  // namespace zvtest
