#include "transport/connection.hpp"

#include <utility>

#include "error_codes.hpp"

namespace zv {

Connection::Connection(Connection&& other) noexcept
    : socket_(std::exchange(other.socket_, kNoSocket)),
      holdsSocketsLayer_(std::exchange(other.holdsSocketsLayer_, false)),
      limits_(other.limits_),
      stopCode_(std::exchange(other.stopCode_, 0)) {}

Connection& Connection::operator=(Connection&& other) noexcept {
    if (this != &other) {
        Close();
        socket_ = std::exchange(other.socket_, kNoSocket);
        holdsSocketsLayer_ = std::exchange(other.holdsSocketsLayer_, false);
        limits_ = other.limits_;
        stopCode_ = std::exchange(other.stopCode_, 0);
    }
    return *this;
}

Connection Connection::Open(const char* host, uint16_t port, uint32_t& code,
                            const WaitLimits& limits) noexcept {
    if (!StartSocketsLayer()) {
        code = kSocketsLayerStartFailed;
        return {};
    }
    NativeSocket socket = kNoSocket;
    code = ConnectToHost(host, port, socket, limits);
    if (code != kNoError) {
        StopSocketsLayer();
        return {};
    }
    return Connection(socket, true, limits);
}

Connection Connection::Adopt(NativeSocket socket, const WaitLimits& limits) noexcept {
    return Connection(socket, false, limits);
}

int Connection::SendAll(const uint8_t* data, std::size_t length) noexcept {
    return zv::SendAll(socket_, data, length, limits_, stopCode_);
}

int Connection::SendAllGathered(ByteParts parts, std::size_t& sent) noexcept {
    return zv::SendAllGathered(socket_, parts, limits_, stopCode_, sent);
}

std::size_t Connection::ReceiveAvailable(uint8_t* buffer, std::size_t length) noexcept {
    return zv::ReceiveAvailable(socket_, buffer, length, limits_, stopCode_);
}

std::size_t Connection::ReceiveExactly(uint8_t* buffer, std::size_t length) noexcept {
    return zv::ReceiveExactly(socket_, buffer, length, limits_, stopCode_);
}

bool Connection::ShutdownSending() noexcept { return zv::ShutdownSending(socket_); }

void Connection::Close() noexcept {
    if (socket_ != kNoSocket) CloseSocket(std::exchange(socket_, kNoSocket));
    if (std::exchange(holdsSocketsLayer_, false)) StopSocketsLayer();
}

}  // namespace zv
