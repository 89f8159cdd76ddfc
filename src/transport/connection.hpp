// One TCP connection to the server, owned: closing happens when it goes.
#pragma once

#include <cstddef>
#include <cstdint>

#include "transport/socket_seam.hpp"

namespace zv {

// Movable, not copyable. A default-constructed Connection is closed. While
// open it holds one start of the platform's sockets layer (on platforms that
// have one), released with the socket.
class Connection {
public:
    Connection() noexcept = default;
    ~Connection() { Close(); }
    Connection(Connection&& other) noexcept;
    Connection& operator=(Connection&& other) noexcept;
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // Resolves host and connects to port within limits, which then also
    // bound every send and receive on the connection. On failure returns a
    // closed Connection and sets code (50, 101 to 105, 408); else sets code 0.
    static Connection Open(const char* host, uint16_t port, uint32_t& code,
                           const WaitLimits& limits = {}) noexcept;

    // Takes ownership of an already-connected stream socket, for instance one
    // end of a socket pair whose other end a test or fuzz target scripts.
    static Connection Adopt(NativeSocket socket, const WaitLimits& limits = {}) noexcept;

    bool IsOpen() const noexcept { return socket_ != kNoSocket; }
    NativeSocket Native() const noexcept { return socket_; }

    // See SendAll, SendAllGathered, ReceiveAvailable and ReceiveExactly in
    // socket_seam.hpp.
    int SendAll(const uint8_t* data, std::size_t length) noexcept;
    int SendAllGathered(ByteParts parts, std::size_t& sent) noexcept;
    std::size_t ReceiveAvailable(uint8_t* buffer, std::size_t length) noexcept;
    std::size_t ReceiveExactly(uint8_t* buffer, std::size_t length) noexcept;
    bool ShutdownSending() noexcept;
    void Close() noexcept;

    // The code a failed step on this connection reports: 407 or 408 when a
    // wait was stopped by the limits or the cancel flag, else failureCode.
    uint32_t FailureCode(uint32_t failureCode) const noexcept {
        return failureCode != 0 && stopCode_ != 0 ? stopCode_ : failureCode;
    }

private:
    Connection(NativeSocket socket, bool holdsSocketsLayer, const WaitLimits& limits) noexcept
        : socket_(socket), holdsSocketsLayer_(holdsSocketsLayer), limits_(limits) {}

    NativeSocket socket_ = kNoSocket;
    bool holdsSocketsLayer_ = false;
    WaitLimits limits_;
    uint32_t stopCode_ = 0;
};

}  // namespace zv
