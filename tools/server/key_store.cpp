#include "key_store.hpp"

namespace zv::server {

void KeyTable::DropAged(Clock::time_point now) {
    while (!order_.empty() && now - order_.back().lastUse >= lifetime_) {
        index_.erase(order_.back().id);
        order_.pop_back();
    }
}

KeyTable::Order::iterator KeyTable::FindLive(const SessionIdBytes& id, Clock::time_point now) {
    DropAged(now);
    const auto found = index_.find(id);
    return found == index_.end() ? order_.end() : found->second;
}

void KeyTable::Put(const SessionIdBytes& id, const SessionKey& key, Clock::time_point now) {
    Remove(id);
    DropAged(now);
    if (cap_ == 0) return;
    while (order_.size() >= cap_) {
        index_.erase(order_.back().id);
        order_.pop_back();
    }
    order_.push_front(Entry{id, key, now});
    try {
        index_.emplace(id, order_.begin());
    } catch (...) {
        order_.pop_front();  // keeps list and index in step
        throw;
    }
}

std::optional<SessionKey> KeyTable::Touch(const SessionIdBytes& id, Clock::time_point now) {
    const auto entry = FindLive(id, now);
    if (entry == order_.end()) return std::nullopt;
    entry->lastUse = now;
    order_.splice(order_.begin(), order_, entry);
    return entry->key;
}

std::optional<SessionKey> KeyTable::Take(const SessionIdBytes& id, Clock::time_point now) {
    const auto entry = FindLive(id, now);
    if (entry == order_.end()) return std::nullopt;
    std::optional<SessionKey> key = entry->key;
    index_.erase(id);
    order_.erase(entry);
    return key;
}

void KeyTable::Remove(const SessionIdBytes& id) {
    const auto found = index_.find(id);
    if (found == index_.end()) return;
    order_.erase(found->second);
    index_.erase(found);
}

void KeyStore::AddPending(const SessionIdBytes& sessionId, const SessionKey& key) {
    const std::lock_guard lock(mutex_);
    pending_.Put(sessionId, key, Clock::now());
}

std::optional<SessionKey> KeyStore::TakePending(const SessionIdBytes& sessionId) {
    const std::lock_guard lock(mutex_);
    return pending_.Take(sessionId, Clock::now());
}

void KeyStore::AddSession(const SessionIdBytes& sessionId, const SessionKey& key) {
    const std::lock_guard lock(sessionMutex_);
    sessions_.Put(sessionId, key, Clock::now());
}

std::optional<SessionKey> KeyStore::FindSession(const SessionIdBytes& sessionId) {
    const std::lock_guard lock(sessionMutex_);
    return sessions_.Touch(sessionId, Clock::now());
}

void KeyStore::RemoveSession(const SessionIdBytes& sessionId) {
    const std::lock_guard lock(sessionMutex_);
    sessions_.Remove(sessionId);
}

std::size_t KeyStore::PendingCount() {
    const std::lock_guard lock(mutex_);
    return pending_.Size();
}

std::size_t KeyStore::SessionCount() {
    const std::lock_guard lock(sessionMutex_);
    return sessions_.Size();
}

}  // namespace zv::server
