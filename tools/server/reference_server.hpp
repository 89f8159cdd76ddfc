// The reference server: the server side of the wire protocol, exactly as the
// client relies on it. It listens on one address, serves each client on a
// thread of its own (up to a cap) and can inject faults for tests.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "key_store.hpp"
#include "server_options.hpp"
#include "transport/connection.hpp"
#include "transport/frame_headers.hpp"

namespace zv::server {

class ReferenceServer {
public:
    explicit ReferenceServer(ServerOptions options);
    ~ReferenceServer();
    ReferenceServer(const ReferenceServer&) = delete;
    ReferenceServer& operator=(const ReferenceServer&) = delete;

    // Binds, listens and starts accepting in the background. Returns false
    // (with error() telling why) when the address cannot be used.
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

private:
    void AcceptLoop();
    void Serve(NativeSocket socket);
    void ServeExchange(Connection& connection);
    void Negotiate(Connection& connection, const RequestHeader& header);
    void Answer(Connection& connection, const RequestHeader& header);
    FaultPlan CurrentFaults();
    void Log(const std::string& line);
    void JoinFinished();

    ServerOptions options_;
    KeyStore keys_;
    NativeSocket listener_ = kNoSocket;
    uint16_t port_ = 0;
    std::string error_;
    std::thread acceptThread_;
    std::atomic<bool> stopping_{false};
    std::atomic<uint64_t> exchanges_{0};
    std::atomic<uint64_t> recordCounter_{0};

    std::mutex mutex_;  // guards everything below
    std::condition_variable slotFreed_;
    FaultPlan faults_;
    std::map<std::thread::id, std::thread> workers_;
    std::vector<std::thread::id> finished_;
    std::set<NativeSocket> openSockets_;
};

}  // namespace zv::server
