#include "key_store.hpp"

#include <algorithm>

namespace zv::server {

void KeyStore::DropOlderThan(Table& table, Clock::time_point limit) {
    std::erase_if(table, [limit](const auto& item) { return item.second.lastUse <= limit; });
}

void KeyStore::DropOldestAbove(Table& table, std::size_t cap) {
    while (table.size() > cap) {
        const auto oldest = std::min_element(table.begin(), table.end(), [](auto& a, auto& b) {
            return a.second.lastUse < b.second.lastUse;
        });
        table.erase(oldest);
    }
}

void KeyStore::AddPending(const SessionIdBytes& sessionId, const SessionKey& key) {
    const std::lock_guard lock(mutex_);
    const Clock::time_point now = Clock::now();
    DropOlderThan(pending_, now - limits_.pendingKeyLifetime);
    pending_.insert_or_assign(sessionId, Entry{key, now});
    DropOldestAbove(pending_, limits_.maxPendingKeys);
}

std::optional<SessionKey> KeyStore::TakePending(const SessionIdBytes& sessionId) {
    const std::lock_guard lock(mutex_);
    DropOlderThan(pending_, Clock::now() - limits_.pendingKeyLifetime);
    const auto found = pending_.find(sessionId);
    if (found == pending_.end()) return std::nullopt;
    std::optional<SessionKey> key = found->second.key;
    pending_.erase(found);
    return key;
}

void KeyStore::AddSession(const SessionIdBytes& sessionId, const SessionKey& key) {
    const std::lock_guard lock(mutex_);
    const Clock::time_point now = Clock::now();
    DropOlderThan(sessions_, now - limits_.sessionIdleLimit);
    sessions_.insert_or_assign(sessionId, Entry{key, now});
    DropOldestAbove(sessions_, limits_.maxSessions);
}

std::optional<SessionKey> KeyStore::FindSession(const SessionIdBytes& sessionId) {
    const std::lock_guard lock(mutex_);
    const Clock::time_point now = Clock::now();
    DropOlderThan(sessions_, now - limits_.sessionIdleLimit);
    const auto found = sessions_.find(sessionId);
    if (found == sessions_.end()) return std::nullopt;
    found->second.lastUse = now;
    return found->second.key;
}

void KeyStore::RemoveSession(const SessionIdBytes& sessionId) {
    const std::lock_guard lock(mutex_);
    sessions_.erase(sessionId);
}

std::size_t KeyStore::PendingCount() {
    const std::lock_guard lock(mutex_);
    return pending_.size();
}

std::size_t KeyStore::SessionCount() {
    const std::lock_guard lock(mutex_);
    return sessions_.size();
}

}  // namespace zv::server
