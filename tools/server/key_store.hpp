// The keys the server holds: those handed out by a negotiation and not yet
// used, and those of logged-in sessions. Each kind lives in a table of its
// own with its own cap, so that a flood of negotiations can never push a
// logged-in session out; every operation costs constant time, eviction
// included.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstring>
#include <list>
#include <mutex>
#include <optional>
#include <unordered_map>

#include "crypto/session_key.hpp"
#include "server_options.hpp"
#include "transport/frame_headers.hpp"

namespace zv::server {

struct SessionIdHash {
    std::size_t operator()(const SessionIdBytes& id) const noexcept {
        // The identifiers are random (or the client's own choice; a client
        // that picks colliding ones only slows its own lookups a little).
        std::size_t low = 0, high = 0;
        std::memcpy(&low, id.data(), sizeof low);
        std::memcpy(&high, id.data() + 8, sizeof high);
        return low ^ (high * 0x9E3779B97F4A7C15ull);
    }
};

// Keys by session identifier, most recently used first: lookups go through a
// hash map, ageing and eviction take from the back of the list.
class KeyTable {
public:
    using Clock = std::chrono::steady_clock;

    KeyTable(std::size_t cap, std::chrono::seconds lifetime) : cap_(cap), lifetime_(lifetime) {}

    // Inserts or replaces, as the most recently used; drops what aged out
    // and, above the cap, the least recently used.
    void Put(const SessionIdBytes& id, const SessionKey& key, Clock::time_point now);
    // The key, marked as used now; none when absent or aged out.
    std::optional<SessionKey> Touch(const SessionIdBytes& id, Clock::time_point now);
    std::optional<SessionKey> Take(const SessionIdBytes& id, Clock::time_point now);
    void Remove(const SessionIdBytes& id);
    std::size_t Size() const { return index_.size(); }

private:
    struct Entry {
        SessionIdBytes id;
        SessionKey key;
        Clock::time_point lastUse;
    };
    using Order = std::list<Entry>;

    void DropAged(Clock::time_point now);
    Order::iterator FindLive(const SessionIdBytes& id, Clock::time_point now);

    std::size_t cap_;
    std::chrono::seconds lifetime_;
    Order order_;  // front: most recently used
    std::unordered_map<SessionIdBytes, Order::iterator, SessionIdHash> index_;
};

class KeyStore {
public:
    using Clock = KeyTable::Clock;

    explicit KeyStore(const ServerLimits& limits)
        : pending_(limits.maxPendingKeys, limits.pendingKeyLifetime),
          sessions_(limits.maxSessions, limits.sessionIdleLimit) {}

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
    std::mutex mutex_;  // one per table: negotiations never wait for sessions
    KeyTable pending_;
    std::mutex sessionMutex_;
    KeyTable sessions_;
};

}  // namespace zv::server
