// 64 threads at once against one server, each running the mix of operations
// of reliability_fixture.hpp: every answer must belong to its own request,
// and one thread's failures never reach another thread's messages.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "support/reliability_fixture.hpp"

using namespace zvtest;

namespace {

constexpr int kThreads = 64;
// Under a sanitizer each operation costs many times more, and under valgrind
// (which runs one thread at a time) more still: there the environment
// variable ZVTEST_STRESS_OPERATIONS sets a smaller count. The mix is the same.
int OperationsPerThread() {
    if (const char* count = std::getenv("ZVTEST_STRESS_OPERATIONS")) return std::atoi(count);
    return kSanitizedBuild ? 100 : 1000;
}

}  // namespace

TEST(Stress, SixtyFourThreadsOfMixedOperations) {
    const int operations = OperationsPerThread();
    ASSERT_GT(operations, 0);
    const std::size_t descriptorsBefore = OpenDescriptorCount();
    {
        const MixServers servers;
        ASSERT_TRUE(servers.Started());
        std::atomic<int> wrong{0};
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; ++t) {
            threads.emplace_back(RunMix, t, operations, std::cref(servers), std::ref(wrong));
        }
        for (auto& thread : threads) thread.join();
        EXPECT_EQ(wrong.load(), 0);
        EXPECT_EQ(servers.serving->Keys().SessionCount(), 0u);
    }
    RecordProperty("operations", kThreads * operations);
    EXPECT_EQ(OpenDescriptorCount(), descriptorsBefore);
}
