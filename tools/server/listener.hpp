// The listening socket: accepts without pause for as long as the system gives
// descriptors, hands each client a connection of its own, and closes at once
// (with a short refusal) whoever comes beyond the connection limit or its
// address's share of it.
#pragma once

#include <asio/ip/tcp.hpp>
#include <asio/steady_timer.hpp>
#include <string>
#include <unordered_set>

#include "client_connection.hpp"

namespace zv::server {

class Listener {
public:
    explicit Listener(ServingContext& context)
        : context_(context), acceptor_(context.loop), pause_(context.loop) {}

    // Binds and listens on host:port (0: an ephemeral port). False, with
    // error telling why, when the address cannot be used.
    bool Open(const std::string& host, uint16_t port, std::string& error);
    uint16_t Port() const { return port_; }

    // On the loop thread: accept until Close. Whatever fails on the way
    // (memory, descriptors, the log), accepting goes on or resumes shortly.
    void Accept() noexcept;
    // On the loop thread: accepts again if nothing is waiting to (after a
    // failure so thorough that not even a timer could be set).
    void Resume() noexcept;
    // On the loop thread: stop accepting and end every open connection.
    void Close();

private:
    void Admit(asio::ip::tcp::socket socket);
    void Refuse(asio::ip::tcp::socket socket);
    void PauseAfter(const std::error_code& error) noexcept;

    ServingContext& context_;
    asio::ip::tcp::acceptor acceptor_;
    asio::steady_timer pause_;
    uint16_t port_ = 0;
    bool pausing_ = false;
    bool waiting_ = false;  // an accept or the pause after a failure is pending
    struct Refusal;
    std::unordered_set<Refusal*> refusing_;  // refused clients on their way out
};

}  // namespace zv::server
