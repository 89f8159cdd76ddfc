// A side door into a running reference server, for tests that cannot hold the
// server in their own process (the Windows test programs under Wine talk to a
// server running natively). It listens on 127.0.0.1 only and takes one
// command per connection: a line in, a line out.
//
//   faults[<TAB>PHASE:KIND[=VALUE]]...   replace the fault plan; each flag is
//                                        read as --fault reads it, none clears it
//   exchanges                            the number of exchanges completed
//
// The answer is "ok", the number, or "error: " and why.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>
#include <thread>

#include "reference_server.hpp"
#include "transport/connection.hpp"

namespace zv::server {

// Runs one command against server and returns the answer line, without its
// line end.
std::string RunControlCommand(ReferenceServer& server, std::string_view command);

class ControlChannel {
public:
    explicit ControlChannel(ReferenceServer& server) : server_(server) {}
    ~ControlChannel() { Stop(); }
    ControlChannel(const ControlChannel&) = delete;
    ControlChannel& operator=(const ControlChannel&) = delete;

    // Listens on 127.0.0.1:port (0 picks a free port) and serves commands in
    // the background. Returns false, with Error() telling why, when it cannot.
    bool Start(uint16_t port);
    void Stop();

    uint16_t Port() const { return port_; }
    const std::string& Error() const { return error_; }

private:
    void ServeCommands();

    ReferenceServer& server_;
    NativeSocket listener_ = kNoSocket;
    uint16_t port_ = 0;
    std::string error_;
    std::atomic<bool> stopping_{false};
    std::thread thread_;
};

}  // namespace zv::server
