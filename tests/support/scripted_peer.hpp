// Scripted peers: the far end of a socket pair, or a loopback listener, that
// sends exactly the bytes a test gives and records what the client sent; and
// a listener that misbehaves in one chosen way, for the tests of time limits
// and cancellation. POSIX only.
#pragma once

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <limits>
#include <string_view>
#include <thread>
#include <vector>

#include "crypto/crypto.hpp"
#include "server_frame_headers.hpp"
#include "strings/strings.hpp"
#include "support/loopback_port.hpp"
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

// A listener on 127.0.0.1 or ::1 that runs a script on the connections it
// accepts, on a thread. Connections stay open until the peer goes.
class LoopbackPeer {
public:
    explicit LoopbackPeer(int family = AF_INET, int backlog = 8) {
        int port = 0;
        listener_ = ListenOnLoopback(backlog, port, family);
        port_ = static_cast<uint16_t>(port);
    }
    ~LoopbackPeer() {
        stopping_ = true;
        Join();
        for (const int socket : accepted_) close(socket);
        if (Listening()) close(listener_);
    }
    LoopbackPeer(const LoopbackPeer&) = delete;
    LoopbackPeer& operator=(const LoopbackPeer&) = delete;

    bool Listening() const { return listener_ >= 0; }
    uint16_t Port() const { return port_; }
    int Accepted() const { return acceptedCount_; }
    bool Stopping() const { return stopping_; }

    // Runs script on each of the next count accepted connections, in turn;
    // index counts them from 0.
    void Serve(std::function<void(int socket, int index)> script, int count = 1) {
        thread_ = std::thread([this, script, count] {
            for (int i = 0; i < count && Waited(listener_, POLLIN); ++i) {
                const int socket = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
                if (socket < 0) return;
                accepted_.push_back(socket);
                ++acceptedCount_;
                script(socket, i);
            }
        });
    }
    void Join() {
        if (thread_.joinable()) thread_.join();
    }
    // Waits for events on socket; false once the peer is going.
    bool Waited(int socket, short events) const {
        pollfd ready{socket, events, 0};
        while (!stopping_) {
            if (poll(&ready, 1, 20) != 0) return true;
        }
        return false;
    }

private:
    int listener_ = -1;
    uint16_t port_ = 0;
    std::vector<int> accepted_;
    std::atomic<int> acceptedCount_{0};
    std::atomic<bool> stopping_{false};
    std::thread thread_;
};

enum class Misbehaviour {
    kSilent,     // accepts and holds the connection, reading and sending nothing
    kDrip,       // reads the request to its end, then sends the reply a byte at a time
    kStall,      // reads the request to its end, sends a few bytes of the reply, then nothing
    kFullQueue,  // never accepts, with its accept queue full: a connect waits for ever
};

class MisbehavingPeer {
public:
    MisbehavingPeer(Misbehaviour how, Bytes reply) : peer_(AF_INET, 0) {
        if (!peer_.Listening()) return;
        port_ = peer_.Port();
        if (how == Misbehaviour::kFullQueue) {
            FillAcceptQueue();
            return;
        }
        peer_.Serve(
            [this, how, reply = std::move(reply)](int connection, int) {
                if (how == Misbehaviour::kSilent) return;
                uint8_t chunk[4096];
                while (peer_.Waited(connection, POLLIN) &&
                       recv(connection, chunk, sizeof chunk, 0) > 0) {
                }
                const std::size_t count = how == Misbehaviour::kDrip
                                              ? reply.size()
                                              : std::min<std::size_t>(10, reply.size());
                for (std::size_t i = 0; i < count && !peer_.Stopping(); ++i) {
                    if (how == Misbehaviour::kDrip) std::this_thread::sleep_for(kDripInterval);
                    send(connection, &reply[i], 1, MSG_NOSIGNAL);
                }
            },
            std::numeric_limits<int>::max());
    }
    ~MisbehavingPeer() {
        for (const int socket : fillers_) close(socket);
    }
    MisbehavingPeer(const MisbehavingPeer&) = delete;
    MisbehavingPeer& operator=(const MisbehavingPeer&) = delete;

    // 0 when the peer could not be set up.
    uint16_t Port() const { return port_; }
    int Accepted() const { return peer_.Accepted(); }

private:
    static constexpr std::chrono::milliseconds kDripInterval{20};

    // Linux queues one connection beyond a backlog of 0 and then drops new
    // handshakes; connect until one stays pending, and keep them all.
    void FillAcceptQueue() {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(port_);
        for (int i = 0; i < 16; ++i) {
            const int filler = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
            fillers_.push_back(filler);
            connect(filler, reinterpret_cast<const sockaddr*>(&address), sizeof address);
            pollfd done{filler, POLLOUT, 0};
            if (poll(&done, 1, 200) == 0) return;
        }
        port_ = 0;  // the queue never filled
    }

    LoopbackPeer peer_;
    uint16_t port_ = 0;
    std::vector<int> fillers_;
};

}  // namespace zvtest
