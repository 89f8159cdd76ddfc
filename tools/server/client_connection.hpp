// One client's connection, served by the event loop: the request read with
// its deadlines, its memory claimed from the server's budget before it is
// allocated, the answer worked out on the worker pool, the reply sent, the
// connection closed. Nothing here blocks, so a slow or stuck client delays
// nobody else.
#pragma once

#include <asio/ip/tcp.hpp>
#include <asio/steady_timer.hpp>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <unordered_set>

#include "exchange_protocol.hpp"
#include "memory_budget.hpp"
#include "request_frame.hpp"
#include "server_options.hpp"
#include "transport/frame_decoder.hpp"
#include "worker_pool.hpp"

namespace zv::server {

class ClientConnection;

// What every connection shares; the server owns it. Used on the loop thread
// only, but for the budget, the protocol and the exchange count.
struct ServingContext {
    asio::io_context& loop;
    const ServerOptions& options;
    MemoryBudget& budget;
    ExchangeProtocol& protocol;
    WorkerPool& workers;
    std::function<FaultPlan()> faults;
    std::atomic<uint64_t>& exchanges;
    std::unordered_set<ClientConnection*> open;

    void Log(const std::string& line) const {
        if (options.log) options.log(line);
    }
};

class ClientConnection : public std::enable_shared_from_this<ClientConnection> {
public:
    ClientConnection(asio::ip::tcp::socket socket, ServingContext& context);
    ~ClientConnection();
    ClientConnection(const ClientConnection&) = delete;
    ClientConnection& operator=(const ClientConnection&) = delete;

    void Start();
    // Ends the connection at once, wherever it stands; idempotent.
    void Close();

private:
    using Clock = std::chrono::steady_clock;
    using Step = void (ClientConnection::*)();

    // Reads the request's next bytes into the frame, growing its payload
    // block first (within the budget) when it is full.
    void ReadFrame();
    void OnFrameEvent(FrameEvent event);
    void OnHeader();
    void OnFrameFailure();
    void Process();
    void Send(ExchangeOutcome outcome);
    void SendRest();

    std::string RequestLine() const;
    // Claims bytes for this request from the budget; when they are not to be
    // had, waits (within the request deadline) and retries step.
    bool Claim(std::size_t bytes, Step retry);
    void Run(Step step);
    // Runs body, turning an exception into a log line and a closed connection.
    template <typename Body>
    void Guarded(Body&& body);

    void Progress();
    void Watch();
    void OnWatchdog();

    asio::ip::tcp::socket socket_;
    ServingContext& context_;
    asio::steady_timer watchdog_;
    asio::steady_timer pause_;  // between the pieces of a fragmented reply
    Clock::time_point requestDeadline_ = Clock::time_point::max();
    Clock::time_point progressDeadline_ = Clock::time_point::max();
    bool watching_ = false;
    bool closed_ = false;
    bool replying_ = false;

    FrameDecoder frame_;
    RequestHeader header_;
    std::size_t claimed_ = 0;
    WireReply reply_;
    std::size_t sent_ = 0;
};

}  // namespace zv::server
