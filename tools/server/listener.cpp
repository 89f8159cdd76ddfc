#include "listener.hpp"

#include <netdb.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <cstring>
#include <memory>
#include <vector>

namespace zv::server {
namespace {

// Long enough for a few connections to end and give their descriptors back,
// short enough that nobody notices.
constexpr auto kAcceptPause = std::chrono::milliseconds(100);
// How long, and for how many clients at once, a refusal waits for the client
// to finish sending before the connection is closed.
constexpr auto kRefusalLinger = std::chrono::seconds(1);
constexpr std::size_t kMostRefusing = 64;

// As many waiting connections as the server may hold, where the system allows
// that many, so that a burst of clients connecting at once is not left to
// retry a dropped handshake a second later.
int Backlog(std::size_t maxConnections) {
    return static_cast<int>(std::clamp<std::size_t>(maxConnections, SOMAXCONN, INT_MAX));
}

bool IsShortage(const std::error_code& error) {
    const int code = error.value();
    return error.category() == asio::error::get_system_category() &&
           (code == EMFILE || code == ENFILE || code == ENOBUFS || code == ENOMEM);
}

}  // namespace

// A refused client on its way out.
struct Listener::Refusal : std::enable_shared_from_this<Refusal> {
    Refusal(asio::ip::tcp::socket client, asio::io_context& loop, std::unordered_set<Refusal*>& all)
        : socket(std::move(client)), timer(loop), all(all) {
        all.insert(this);
    }
    ~Refusal() { all.erase(this); }

    void Drain() {
        socket.async_read_some(
            asio::buffer(scratch),
            [self = shared_from_this()](const std::error_code& error, std::size_t) {
                if (!error) return self->Drain();
                self->End();
            });
    }
    void End() {
        std::error_code ignored;
        timer.cancel();
        socket.close(ignored);
    }

    asio::ip::tcp::socket socket;
    asio::steady_timer timer;
    std::unordered_set<Refusal*>& all;
    std::array<uint8_t, 512> scratch{};
};

bool Listener::Open(const std::string& host, uint16_t port, std::string& error) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    addrinfo* found = nullptr;
    const std::string service = std::to_string(port);
    const int lookup = getaddrinfo(host.c_str(), service.c_str(), &hints, &found);
    if (lookup != 0) {
        error = "cannot resolve " + host + ": " + gai_strerror(lookup);
        return false;
    }
    for (addrinfo* entry = found; entry != nullptr && !acceptor_.is_open();
         entry = entry->ai_next) {
        const int candidate =
            socket(entry->ai_family, entry->ai_socktype | SOCK_CLOEXEC, entry->ai_protocol);
        if (candidate < 0) continue;
        const int on = 1;
        setsockopt(candidate, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        if (bind(candidate, entry->ai_addr, entry->ai_addrlen) != 0 ||
            listen(candidate, Backlog(context_.options.limits.maxConnections)) != 0) {
            error = "cannot listen on " + host + ": " + std::strerror(errno);
            close(candidate);
            continue;
        }
        std::error_code assigned;
        const auto protocol =
            entry->ai_family == AF_INET6 ? asio::ip::tcp::v6() : asio::ip::tcp::v4();
        acceptor_.assign(protocol, candidate, assigned);
        if (assigned) {
            error = "cannot listen on " + host + ": " + assigned.message();
            close(candidate);
        }
    }
    freeaddrinfo(found);
    if (!acceptor_.is_open()) return false;
    std::error_code ignored;
    acceptor_.non_blocking(true, ignored);
    port_ = acceptor_.local_endpoint(ignored).port();
    error.clear();
    return true;
}

void Listener::Accept() {
    try {
        acceptor_.async_accept([this](const std::error_code& error, asio::ip::tcp::socket socket) {
            if (!acceptor_.is_open() || error == asio::error::operation_aborted) return;
            try {
                if (error && IsShortage(error)) return PauseAfter(error);
                pausing_ = false;
                if (!error) Admit(std::move(socket));
            } catch (const std::exception&) {
                // Out of memory for this one client, which is closed: the
                // listener goes on.
            }
            Accept();
        });
    } catch (const std::exception&) {
        PauseAfter(asio::error::no_memory);
    }
}

void Listener::PauseAfter(const std::error_code& error) {
    // Out of descriptors or buffers: the clients already in are served and
    // give theirs back; accepting resumes shortly. One line per episode.
    if (!pausing_) context_.Log("accept failed (" + error.message() + "); pausing briefly");
    pausing_ = true;
    pause_.expires_after(kAcceptPause);
    pause_.async_wait([this](const std::error_code& waited) {
        if (!waited && acceptor_.is_open()) Accept();
    });
}

void Listener::Admit(asio::ip::tcp::socket socket) {
    if (context_.open.size() >= context_.options.limits.maxConnections) {
        context_.Log("connection refused: " + std::to_string(context_.open.size()) +
                     " connections open");
        return Refuse(std::move(socket));
    }
    try {
        std::make_shared<ClientConnection>(std::move(socket), context_)->Start();
    } catch (const std::exception& failure) {
        context_.Log(std::string("connection dropped: ") + failure.what());
    }
}

void Listener::Refuse(asio::ip::tcp::socket socket) {
    // Told at once rather than left to wait: a client reads this as the
    // server's refusal, whether it was negotiating or not.
    static const std::vector<uint8_t> busy = ExchangeProtocol::BusyReply();
    std::error_code ignored;
    socket.non_blocking(true, ignored);
    ::send(socket.native_handle(), busy.data(), busy.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    socket.shutdown(asio::socket_base::shutdown_send, ignored);
    if (refusing_.size() >= kMostRefusing) return;  // closed here, unread
    // Closing with the client's request unread would reset the connection
    // and lose the refusal on its way: read to the client's end first, for
    // a moment at most.
    const auto refusal = std::make_shared<Refusal>(std::move(socket), context_.loop, refusing_);
    refusal->timer.expires_after(kRefusalLinger);
    refusal->timer.async_wait([refusal](const std::error_code&) { refusal->End(); });
    refusal->Drain();
}

void Listener::Close() {
    std::error_code ignored;
    acceptor_.close(ignored);
    pause_.cancel();
    // Close takes each connection out of the set.
    const std::vector<ClientConnection*> open(context_.open.begin(), context_.open.end());
    for (ClientConnection* connection : open) connection->Close();
    for (Refusal* refusal : refusing_) refusal->End();
}

}  // namespace zv::server
