// The keys the server holds: those handed out by a negotiation and not yet
// used, and those of logged-in sessions. Both kinds are bounded, so that a
// long-running server holds bounded memory whatever its clients do.
#pragma once

#include <chrono>
#include <cstddef>
#include <map>
#include <mutex>
#include <optional>

#include "crypto/session_key.hpp"
#include "server_options.hpp"
#include "transport/frame_headers.hpp"

namespace zv::server {

class KeyStore {
public:
    using Clock = std::chrono::steady_clock;

    explicit KeyStore(const ServerLimits& limits) : limits_(limits) {}

    // A negotiated key waits for its one request. Keys older than the
    // lifetime are dropped; above the cap the oldest goes first.
    void AddPending(const SessionIdBytes& sessionId, const SessionKey& key);
    // Removes and returns a pending key.
    std::optional<SessionKey> TakePending(const SessionIdBytes& sessionId);

    // A logged-in session keeps its key until its logout, or until it has
    // been idle longer than the limit; above the cap the least recently used
    // session goes first.
    void AddSession(const SessionIdBytes& sessionId, const SessionKey& key);
    std::optional<SessionKey> FindSession(const SessionIdBytes& sessionId);
    void RemoveSession(const SessionIdBytes& sessionId);

    std::size_t PendingCount();
    std::size_t SessionCount();

private:
    struct Entry {
        SessionKey key;
        Clock::time_point lastUse;
    };
    using Table = std::map<SessionIdBytes, Entry>;

    static void DropOlderThan(Table& table, Clock::time_point limit);
    static void DropOldestAbove(Table& table, std::size_t cap);

    ServerLimits limits_;
    std::mutex mutex_;
    Table pending_;
    Table sessions_;
};

}  // namespace zv::server
