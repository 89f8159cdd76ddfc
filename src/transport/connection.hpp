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

    // Resolves host and connects to port. On failure returns a closed
    // Connection and sets code (50, 101, 102, 103 or 104); else sets code 0.
    static Connection Open(const char* host, uint16_t port, uint32_t& code) noexcept;

    // Takes ownership of an already-connected stream socket, for instance one
    // end of a socket pair whose other end a test or fuzz target scripts.
    static Connection Adopt(NativeSocket socket) noexcept;

    bool IsOpen() const noexcept { return socket_ != kNoSocket; }
    NativeSocket Native() const noexcept { return socket_; }

    // See SendAll and ReceiveExactly in socket_seam.hpp.
    int SendAll(const uint8_t* data, std::size_t length) noexcept;
    std::size_t ReceiveExactly(uint8_t* buffer, std::size_t length) noexcept;
    bool ShutdownSending() noexcept;
    void Close() noexcept;

private:
    Connection(NativeSocket socket, bool holdsSocketsLayer) noexcept
        : socket_(socket), holdsSocketsLayer_(holdsSocketsLayer) {}

    NativeSocket socket_ = kNoSocket;
    bool holdsSocketsLayer_ = false;
};

}  // namespace zv
