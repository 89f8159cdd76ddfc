// One client's connection, served by the event loop: the header read within
// its deadline, the request's whole working set claimed from the server's
// budget (or queued for) before the payload is read, the payload read within
// its deadline, the answer worked out on the worker pool, the reply sent
// within its deadline, the connection closed. Nothing here blocks, so a slow
// or stuck client delays nobody else.
#pragma once

#include <asio/ip/tcp.hpp>
#include <asio/steady_timer.hpp>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

#include "exchange_protocol.hpp"
#include "memory_budget.hpp"
#include "request_frame.hpp"
#include "server_options.hpp"
#include "transport/frame_decoder.hpp"
#include "trouble_log.hpp"
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
    std::unordered_map<asio::ip::address, std::size_t> openFrom;  // per client address
    TroubleLog trouble;

    // Never throws: logging is what the error paths do, and they must go on.
    void Log(const std::string& line) const noexcept {
        try {
            if (options.log) options.log(line);
        } catch (...) {
        }
    }
    // A line about one client's trouble, held back when one of its kind went
    // out less than a second ago (kind: a literal naming it).
    void LogTrouble(std::string_view kind, std::string line) noexcept {
        if (!options.log) return;
        try {
            if (auto passed = trouble.Pass(kind, std::move(line))) Log(*passed);
        } catch (...) {
        }
    }
};

class ClientConnection : public std::enable_shared_from_this<ClientConnection> {
public:
    ClientConnection(asio::ip::tcp::socket socket, asio::ip::address address,
                     ServingContext& context);
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
    // block first (within what was admitted) when it is full.
    void ReadFrame();
    void OnFrameEvent(FrameEvent event);
    void OnHeader();
    // Claims the request's whole working set, or queues for it, before any
    // of its payload is read.
    void Admit();
    void ReadPayload();
    void OnFrameFailure();
    void Process();
    void Send(ExchangeOutcome outcome);
    void StartReply();
    void SendRest();

    std::string RequestLine() const;
    void Run(Step step);
    // Runs body, turning an exception into a log line and a closed connection.
    template <typename Body>
    void Guarded(Body&& body);

    void Progress();
    void Watch();
    void OnWatchdog();

    asio::ip::tcp::socket socket_;
    asio::ip::address address_;
    ServingContext& context_;
    asio::steady_timer watchdog_;
    asio::steady_timer pause_;  // between the pieces of a fragmented reply
    Clock::time_point requestDeadline_ = Clock::time_point::max();
    Clock::time_point progressDeadline_ = Clock::time_point::max();
    bool watching_ = false;
    bool closed_ = false;
    bool counted_ = false;  // in the open connections of its address
    bool headerRead_ = false;
    bool replying_ = false;
    std::optional<MemoryBudget::Ticket> queued_;  // waiting for memory under it

    FrameDecoder frame_;
    RequestHeader header_;
    std::size_t claimed_ = 0;
    WireReply reply_;
    std::size_t sent_ = 0;
};

}  // namespace zv::server
