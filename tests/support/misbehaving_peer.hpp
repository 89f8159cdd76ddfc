// A loopback server that misbehaves in one chosen way, for the tests of time
// limits and cancellation. POSIX only.
#pragma once

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <thread>
#include <vector>

namespace zvtest {

// 127.0.0.1 at port.
inline sockaddr_in LoopbackAddress(uint16_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    return address;
}

// A listener on an ephemeral loopback port with the given accept backlog;
// port receives the port. -1 when none could be had.
inline int ListenOnLoopback(int backlog, int& port) {
    const int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address = LoopbackAddress(0);
    socklen_t length = sizeof address;
    if (listener < 0 || bind(listener, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        listen(listener, backlog) != 0 ||
        getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        if (listener >= 0) close(listener);
        return -1;
    }
    port = ntohs(address.sin_port);
    return listener;
}

enum class Misbehaviour {
    kSilent,     // accepts and holds the connection, reading and sending nothing
    kDrip,       // reads the request to its end, then sends the reply a byte at a time
    kStall,      // reads the request to its end, sends a few bytes of the reply, then nothing
    kFullQueue,  // never accepts, with its accept queue full: a connect waits for ever
};

class MisbehavingPeer {
public:
    explicit MisbehavingPeer(Misbehaviour how, std::vector<uint8_t> reply = {},
                             std::chrono::milliseconds dripInterval = std::chrono::milliseconds(20))
        : how_(how), reply_(std::move(reply)), dripInterval_(dripInterval) {
        int port = 0;
        listener_ = ListenOnLoopback(0, port);
        if (listener_ < 0) return;
        port_ = static_cast<uint16_t>(port);
        if (how_ == Misbehaviour::kFullQueue) {
            FillAcceptQueue(LoopbackAddress(port_));
        } else {
            thread_ = std::thread([this] { Serve(); });
        }
    }
    ~MisbehavingPeer() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
        for (const int socket : held_) close(socket);
        if (listener_ >= 0) close(listener_);
    }
    MisbehavingPeer(const MisbehavingPeer&) = delete;
    MisbehavingPeer& operator=(const MisbehavingPeer&) = delete;

    // 0 when the peer could not be set up.
    uint16_t Port() const { return port_; }
    int Accepted() const { return accepted_; }

private:
    // Linux queues one connection beyond a backlog of 0 and then drops new
    // handshakes; connect until one stays pending, and keep them all.
    void FillAcceptQueue(const sockaddr_in& address) {
        for (int i = 0; i < 16; ++i) {
            const int filler = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
            held_.push_back(filler);
            connect(filler, reinterpret_cast<const sockaddr*>(&address), sizeof address);
            pollfd done{filler, POLLOUT, 0};
            if (poll(&done, 1, 200) == 0) return;
        }
        port_ = 0;  // the queue never filled
    }

    bool Waited(int socket, short events) {
        pollfd ready{socket, events, 0};
        while (!stop_) {
            if (poll(&ready, 1, 20) != 0) return true;
        }
        return false;
    }

    void Serve() {
        while (Waited(listener_, POLLIN)) {
            const int connection = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
            if (connection < 0) continue;
            ++accepted_;
            held_.push_back(connection);
            if (how_ == Misbehaviour::kSilent) continue;
            uint8_t chunk[4096];
            while (Waited(connection, POLLIN) && recv(connection, chunk, sizeof chunk, 0) > 0) {
            }
            const std::size_t count = how_ == Misbehaviour::kDrip
                                          ? reply_.size()
                                          : std::min<std::size_t>(10, reply_.size());
            for (std::size_t i = 0; i < count && !stop_; ++i) {
                if (how_ == Misbehaviour::kDrip) std::this_thread::sleep_for(dripInterval_);
                send(connection, &reply_[i], 1, MSG_NOSIGNAL);
            }
        }
    }

    Misbehaviour how_;
    std::vector<uint8_t> reply_;
    std::chrono::milliseconds dripInterval_;
    int listener_ = -1;
    uint16_t port_ = 0;
    std::vector<int> held_;
    std::atomic<bool> stop_{false};
    std::atomic<int> accepted_{0};
    std::thread thread_;
};

}  // namespace zvtest
