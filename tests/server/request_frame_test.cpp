// The payload collector: whatever the announced length, the block grows only
// as bytes come, and the terminating zero after a complete payload stays
// inside the block (lengths at each doubling step included).
#include "request_frame.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

namespace {

TEST(PayloadCollector, GrowsWithTheBytesAndEndsThemWithAZeroInsideTheBlock) {
    for (const uint32_t length : {0u, 1u, 65535u, 65536u, 65537u, 131072u, 300000u}) {
        SCOPED_TRACE(length);
        zv::server::PayloadCollector payload(length);
        std::size_t arrived = 0;
        while (true) {
            if (payload.GrowthNeeded() != 0) {
                ASSERT_TRUE(payload.Grow());
            }
            if (payload.PayloadComplete()) break;
            // The bytes come in pieces of at most 40000.
            const std::size_t piece = std::min<std::size_t>(payload.RoomSize(), 40000);
            ASSERT_GT(piece, 0u);
            std::memset(payload.Room(), 'p', piece);
            payload.Advance(piece);
            arrived += piece;
            EXPECT_LE(payload.Capacity(), std::max<std::size_t>(2 * arrived, 64 * 1024) + 1);
        }
        EXPECT_EQ(payload.Size(), length);
        EXPECT_GT(payload.Capacity(), std::size_t{length});
        EXPECT_EQ(payload.Data()[length], 0);
    }
}

}  // namespace
