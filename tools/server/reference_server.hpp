// The reference server: the server side of the wire protocol, exactly as the
// client relies on it. One event loop serves every client; a few worker
// threads do the cryptography. Limits on connections, time and memory keep
// it serving whatever its clients do, and it can inject faults for tests.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "exchange_protocol.hpp"
#include "key_store.hpp"
#include "memory_budget.hpp"
#include "server_options.hpp"
#include "worker_pool.hpp"

namespace zv::server {

class ReferenceServer {
public:
    explicit ReferenceServer(ServerOptions options);
    ~ReferenceServer();
    ReferenceServer(const ReferenceServer&) = delete;
    ReferenceServer& operator=(const ReferenceServer&) = delete;

    // Binds, listens and starts serving in the background. Returns false
    // (with Error() telling why) when the address cannot be used or no
    // thread can be started for the loop.
    bool Start();
    // Stops accepting, ends every open exchange and waits for its threads.
    void Stop();

    uint16_t Port() const { return port_; }
    const std::string& Error() const { return error_; }

    // Replaces the fault plan for the exchanges that start from now on.
    void SetFaults(const FaultPlan& faults);

    KeyStore& Keys() { return keys_; }
    // Exchanges completed so far (a reply sent or a request refused).
    uint64_t ExchangeCount() const { return exchanges_.load(); }
    // Bytes the requests in flight hold now.
    std::size_t MemoryInUse() const { return budget_.InUse(); }

private:
    FaultPlan CurrentFaults();

    ServerOptions options_;
    KeyStore keys_;
    MemoryBudget budget_;
    ExchangeProtocol protocol_;
    std::string error_;
    std::atomic<uint64_t> exchanges_{0};
    std::mutex faultMutex_;
    FaultPlan faults_;

    // Declared after everything the connections use, so that they end first.
    WorkerPool workers_;
    // The event loop and what lives on it, from Start to Stop: Stop gives
    // back every descriptor the server held.
    struct Loop;
    std::unique_ptr<Loop> loop_;
    uint16_t port_ = 0;
};

}  // namespace zv::server
