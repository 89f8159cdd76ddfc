// Many operations in one process, failed and successful: afterwards the
// process holds exactly the descriptors it held before, and its heap has not
// grown beyond what allocator caches account for.
#include <gtest/gtest.h>
#include <malloc.h>

#include <cstdio>
#include <memory>
#include <string>

#include "reliability_fixture.hpp"

using namespace zvtest;
using zv::server::FaultKind;

namespace {

constexpr int kEach = 10000;

// Runs count failed and count successful operations, in turns. Returns how
// many of them did not end as they should.
int RunOperations(int count) {
    zv::server::ReferenceServer good{zv::server::ServerOptions{}};
    zv::server::ServerOptions spoilingOptions;
    spoilingOptions.faults.negotiation.kind = FaultKind::kRefuse;
    spoilingOptions.faults.negotiation.text = "Refused";
    spoilingOptions.faults.response.kind = FaultKind::kWrongChecksum;
    zv::server::ReferenceServer spoiling{spoilingOptions};
    if (!good.Start() || !spoiling.Start()) return count * 2;
    const std::string options = OptionsAt(good.Port());
    const std::string refused = OptionsAt(spoiling.Port());
    // A session the server never heard of: answered with its error text.
    std::string unknownSession =
        WithMadeUpSession(Text(OwnedText(ZvCreateConnectionInfo(refused.c_str(), 0))));
    const std::string badPort = OptionsAt(0);
    int wrong = 0;
    for (int i = 0; i < count; ++i) {
        const std::string tag = std::to_string(i);
        wrong += Direct(options, 20, tag).Item("ARGUMENTS") != tag;
        switch (i % 3) {
            case 0:
                wrong += Direct(refused, 20, tag).Message() != "Refused";
                break;
            case 1:
                wrong += Persistent(unknownSession, 20, tag).Message() != "Unknown session";
                break;
            default:
                wrong += Direct(badPort, 20, tag).Message() != "C030: Invalid PORT number";
                break;
        }
    }
    return wrong;
}

std::size_t HeapInUse() { return mallinfo2().uordblks; }

}  // namespace

TEST(ResourceStability, TenThousandFailuresAndSuccessesLeaveNothingBehind) {
    // Under a sanitizer the allocator is its own and the leak checker watches
    // every block, so the heap figure means nothing and fewer rounds do.
    const int count = kSanitizedBuild ? kEach / 10 : kEach;
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
    std::printf(
        "%d failed and %d successful operations: descriptors %zu -> %zu, heap in use "
        "%zu -> %zu bytes\n",
        count, count, descriptorsBefore, descriptorsAfter, heapBefore, heapAfter);
}
