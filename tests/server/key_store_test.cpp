// The key store's limits and expiry; that a pending key serves one request
// is checked through the server in reference_server_test.cpp.
#include "key_store.hpp"

#include <gtest/gtest.h>

#include <array>
#include <string>

namespace {

zv::SessionIdBytes Id(uint8_t n) {
    zv::SessionIdBytes id{};
    id[0] = n;
    return id;
}

zv::SessionKey Key(uint8_t fill) {
    std::array<uint8_t, zv::kSessionKeySize> bytes;
    bytes.fill(fill);
    return zv::SessionKey(bytes.data());
}

TEST(KeyStore, HoldsNoMoreThanItsCapsDroppingTheOldestFirst) {
    zv::server::ServerLimits limits;
    limits.maxPendingKeys = 3;
    limits.maxSessions = 2;
    zv::server::KeyStore store(limits);
    for (uint8_t i = 1; i <= 5; ++i) {
        store.AddPending(Id(i), Key(i));
        store.AddSession(Id(i), Key(i));
    }
    EXPECT_EQ(store.PendingCount(), 3u);
    EXPECT_EQ(store.SessionCount(), 2u);
    EXPECT_FALSE(store.TakePending(Id(2)).has_value());
    EXPECT_TRUE(store.TakePending(Id(3)).has_value());
    EXPECT_FALSE(store.FindSession(Id(3)).has_value());
    EXPECT_TRUE(store.FindSession(Id(5)).has_value());
    store.RemoveSession(Id(5));
    EXPECT_FALSE(store.FindSession(Id(5)).has_value());
}

TEST(KeyStore, ForgetsKeysPastTheirLifetime) {
    zv::server::ServerLimits limits;
    limits.pendingKeyLifetime = std::chrono::seconds(0);
    limits.sessionIdleLimit = std::chrono::seconds(0);
    zv::server::KeyStore store(limits);
    store.AddPending(Id(1), Key('p'));
    store.AddSession(Id(1), Key('s'));
    EXPECT_FALSE(store.TakePending(Id(1)).has_value());
    EXPECT_FALSE(store.FindSession(Id(1)).has_value());
}

}  // namespace
