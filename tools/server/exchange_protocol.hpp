// The protocol of the reference server, without I/O: what it answers to a
// key negotiation and to an operation request, as reply bytes ready for the
// wire, with the line it logs and, when asked, the decoded exchange.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "key_store.hpp"
#include "reply_writer.hpp"
#include "request_frame.hpp"
#include "server_options.hpp"
#include "transport/receive_buffer.hpp"

namespace zv::server {

struct ExchangeOutcome {
    WireReply wire;
    std::string logLine;
    std::string dump;  // empty unless the options ask for dumps
};

class ExchangeProtocol {
public:
    ExchangeProtocol(const ServerOptions& options, KeyStore& keys)
        : options_(options), keys_(keys) {}

    ExchangeOutcome Negotiate(const RequestHeader& request, const Fault& fault);
    // Decrypts and answers one request, or refuses it when its checksum did
    // not match. Takes the payload, and lets go of each of its forms as soon
    // as the next one is made, so that the request costs at most a few times
    // its size at any moment.
    ExchangeOutcome Answer(const RequestHeader& header, ReceiveBuffer payload, bool checksumMatched,
                           const Fault& fault);

    // The reply for a client the server has no room for: a refusal that the
    // client reports as the server's text, whatever it was about to send.
    static std::vector<uint8_t> BusyReply();

private:
    bool Dumping() const { return static_cast<bool>(options_.dump); }

    const ServerOptions& options_;
    KeyStore& keys_;
    std::atomic<uint64_t> recordCounter_{0};
};

}  // namespace zv::server
