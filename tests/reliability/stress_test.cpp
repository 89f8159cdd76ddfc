// The mix of operations of reliability_fixture.hpp, failed and successful,
// run long: by one thread, after which the process holds exactly the
// descriptors it held before and its heap has not grown beyond what allocator
// caches account for; and by 64 threads at once against the same servers,
// where every answer must belong to its own request and one thread's failures
// never reach another thread's messages.
#include <gtest/gtest.h>
#include <malloc.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "support/reliability_fixture.hpp"

using namespace zvtest;

namespace {

// Runs count operations of the mix against servers of their own, started and
// stopped here. Returns how many of them did not end as they should.
int RunOperations(int count) {
    const MixServers servers;
    std::atomic<int> wrong{0};
    if (servers.Started()) RunMix(0, count, servers, wrong);
    return servers.Started() ? wrong.load() : count;
}

std::size_t HeapInUse() { return mallinfo2().uordblks; }

}  // namespace

TEST(ResourceStability, TwentyThousandFailedAndSuccessfulOperationsLeaveNothingBehind) {
    // Under a sanitizer the allocator is its own and the leak checker watches
    // every block, so the heap figure means nothing and fewer rounds do.
    const int count = kSanitizedBuild ? 2000 : 20000;
    // Warm-up: the first calls fill caches (the allocator's arenas, the
    // resolver, the cipher's tables) that later calls reuse.
    ASSERT_EQ(RunOperations(200), 0);
    const std::size_t descriptorsBefore = OpenDescriptorCount();
    const std::size_t heapBefore = HeapInUse();

    EXPECT_EQ(RunOperations(count), 0);

    EXPECT_EQ(OpenDescriptorCount(), descriptorsBefore);
    // A leak of a few bytes per operation would show as hundreds of KiB.
    EXPECT_TRUE(kSanitizedBuild || HeapInUse() <= heapBefore + 64 * 1024);
    std::printf("%d operations: heap in use %zu -> %zu bytes\n", count, heapBefore, HeapInUse());
}

TEST(Stress, SixtyFourThreadsOfMixedOperations) {
    // Under a sanitizer each operation costs many times more, and under
    // valgrind (which runs one thread at a time) more still: there the
    // environment variable ZVTEST_STRESS_OPERATIONS sets a smaller count.
    const char* given = std::getenv("ZVTEST_STRESS_OPERATIONS");
    const int operations = given != nullptr ? std::atoi(given) : kSanitizedBuild ? 100 : 1000;
    ASSERT_GT(operations, 0);
    const std::size_t descriptorsBefore = OpenDescriptorCount();
    {
        const MixServers servers;
        ASSERT_TRUE(servers.Started());
        std::atomic<int> wrong{0};
        std::vector<std::thread> threads;
        for (int t = 0; t < 64; ++t) {
            threads.emplace_back(RunMix, t, operations, std::cref(servers), std::ref(wrong));
        }
        for (auto& thread : threads) thread.join();
        EXPECT_EQ(wrong.load(), 0);
        EXPECT_EQ(servers.serving->Keys().SessionCount(), 0u);
    }
    RecordProperty("operations", 64 * operations);
    EXPECT_EQ(OpenDescriptorCount(), descriptorsBefore);
}
