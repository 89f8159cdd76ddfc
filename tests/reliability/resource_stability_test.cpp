// Many operations in one process, failed and successful: afterwards the
// process holds exactly the descriptors it held before, and its heap has not
// grown beyond what allocator caches account for.
#include <gtest/gtest.h>
#include <malloc.h>

#include <atomic>
#include <cstdio>
#include <string>

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

    const std::size_t descriptorsAfter = OpenDescriptorCount();
    const std::size_t heapAfter = HeapInUse();
    EXPECT_EQ(descriptorsAfter, descriptorsBefore);
    if (!kSanitizedBuild) {
        // A leak of a few bytes per operation would show as hundreds of KiB.
        EXPECT_LE(heapAfter, heapBefore + 64 * 1024);
    }
    std::printf("%d operations: descriptors %zu -> %zu, heap in use %zu -> %zu bytes\n", count,
                descriptorsBefore, descriptorsAfter, heapBefore, heapAfter);
}
