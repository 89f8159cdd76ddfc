// A request frame through the decoder, fed in pieces the way the connection
// feeds it: which step a cut or spoiled frame fails at, and a payload block
// that grows only as bytes come and ends a complete payload with a zero
// inside the block (lengths at each doubling step included).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "crypto/crypto.hpp"
#include "strings/strings.hpp"
#include "transport/frame_decoder.hpp"
#include "transport/frame_headers.hpp"

namespace {

using zv::FrameFailure;

std::vector<uint8_t> RequestFrame(uint32_t length, bool spoilChecksum) {
    std::vector<uint8_t> frame(zv::kRequestHeaderSize + length, 'p');
    zv::RequestHeader header;
    header.payloadLength = length;
    const zv::RequestHeaderBytes headerBytes = zv::EncodeRequestHeader(header);
    std::copy(headerBytes.begin(), headerBytes.end(), frame.begin());
    const zv::MallocPtr<uint8_t> checksum(
        zv::ComputeChecksum(frame.data() + zv::kRequestHeaderSize, length));
    frame.insert(frame.end(), checksum.get(), checksum.get() + zv::kChecksumSize);
    if (spoilChecksum) frame.back() ^= 1;
    return frame;
}

TEST(RequestFrame, FailsAtTheStepACutOrSpoiledFrameReachesAndGrowsOnlyWithTheBytes) {
    constexpr std::size_t kWhole = SIZE_MAX;
    struct Case {
        uint32_t length;
        uint32_t bound;
        std::size_t delivered;  // bytes of the frame before the stream ends
        bool spoilChecksum;
        FrameFailure failure;
    };
    const Case cases[] = {
        {0, 10, kWhole, false, FrameFailure::kNone},
        {65535, 1 << 20, kWhole, false, FrameFailure::kNone},
        {65536, 1 << 20, kWhole, false, FrameFailure::kNone},
        {300000, 1 << 20, kWhole, false, FrameFailure::kNone},
        {10, 10, 29, false, FrameFailure::kHeaderShort},
        {300000, 1 << 20, 200000, false, FrameFailure::kPayloadShort},
        {10, 10, 45, false, FrameFailure::kChecksumShort},
        {10, 10, kWhole, true, FrameFailure::kChecksumMismatch},
        {11, 10, kWhole, false, FrameFailure::kTooLarge},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.length << " cut at " << c.delivered);
        const std::vector<uint8_t> bytes = RequestFrame(c.length, c.spoilChecksum);
        const std::size_t delivered = std::min(c.delivered, bytes.size());
        zv::FrameDecoder frame(zv::kRequestHeaderSize, c.bound, zv::ReceiveGrowth::kExtend);
        std::size_t fed = 0;
        while (true) {
            if (frame.GrowthNeeded() != 0) {
                ASSERT_TRUE(frame.Grow());
            }
            const std::span<uint8_t> room = frame.Room();
            if (room.empty()) break;
            if (fed == delivered) {
                frame.EndOfStream();
                break;
            }
            // The bytes come in pieces of at most 40000.
            const std::size_t piece = std::min({room.size(), delivered - fed, std::size_t{40000}});
            std::memcpy(room.data(), bytes.data() + fed, piece);
            fed += piece;
            frame.Advance(piece);
            EXPECT_LE(frame.Payload().Capacity(),
                      std::max<std::size_t>(2 * frame.Payload().Size(), 64 * 1024) + 1);
        }
        EXPECT_EQ(frame.Failure(), c.failure);
        if (c.failure == FrameFailure::kNone) {
            EXPECT_EQ(fed, bytes.size());
            ASSERT_EQ(frame.Payload().Size(), c.length);
            EXPECT_GT(frame.Payload().Capacity(), std::size_t{c.length});
            EXPECT_EQ(frame.Payload().Data()[c.length], 0);
        }
    }
}

}  // namespace
