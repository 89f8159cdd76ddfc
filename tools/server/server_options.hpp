// What the reference server can be told: where to listen, its limits, and the
// faults it injects for tests.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace zv::server {

// A fault the server puts into the reply of one phase of an exchange.
enum class FaultKind {
    kNone,
    kRefuse,         // negotiation: error flag `flag` (default 1) and `text` as the payload
    kErrorFlag,      // response: error flag 255 with `text`, encrypted like any answer
    kWrongChecksum,  // the checksum trailer has one byte flipped
    kShortHeader,    // only `count` header bytes (default 10), then close
    kFragmented,     // the whole reply in pieces of `count` bytes (default 3), `delay` apart
    kBadPadding,     // response: encrypted payload whose last block has invalid padding
    kWrongLength,    // response: encrypted payload one byte short of a block multiple
    kHugeLength,     // payloadLength 0xFFFFFFFF, then `count` payload bytes (default 64), close
    kShortKey,       // negotiation: a key of only `count` bytes (default 16)
    kCloseAfter,     // only the first `count` bytes (default: all but the last), then close
    kUnstorableKey,  // negotiation: a key that holds the bytes 0x00 and 0x1C
    kNoReply,        // reads the request, then closes without sending a byte
    kDelay,          // the whole reply, `delay` after it is ready (a busy database)
};

struct Fault {
    FaultKind kind = FaultKind::kNone;
    std::string text;
    uint32_t count = 0;  // 0: the kind's default
    uint8_t flag = 1;
    std::chrono::milliseconds delay{2};  // between pieces (kFragmented), or before the reply
};

// Faults per phase, so that a test can target exactly one of them. Each
// applies to every exchange of its phase until the plan is replaced.
struct FaultPlan {
    Fault negotiation;
    Fault response;
};

struct ServerLimits {
    std::size_t maxConnections = 4096;        // clients beyond it are closed at once
    std::chrono::seconds requestTimeout{30};  // the whole request must arrive within it
    std::chrono::seconds idleTimeout{10};     // each read and each write must progress within it
    uint32_t maxRequestPayload = 64u << 20;   // larger requests are refused unread
    std::size_t memoryLimit = std::size_t{512} << 20;  // for all requests in flight together
    std::size_t maxPendingKeys = 10000;
    std::chrono::seconds pendingKeyLifetime{60};
    std::size_t maxSessions = 10000;
    std::chrono::seconds sessionIdleLimit{3600};
};

struct ServerOptions {
    std::string host = "127.0.0.1";
    uint16_t port = 0;  // 0: an ephemeral port
    ServerLimits limits;
    FaultPlan faults;
    // When set, the login and direct operations must present these as
    // credentialItem3 and credentialItem4; otherwise anything is accepted.
    std::optional<std::string> requiredItem3;
    std::optional<std::string> requiredItem4;
    // Receives one line per exchange, and one per resource trouble, when set.
    std::function<void(const std::string&)> log;
    // Receives each exchange decoded, for people debugging a client, when set.
    std::function<void(const std::string&)> dump;
};

}  // namespace zv::server
