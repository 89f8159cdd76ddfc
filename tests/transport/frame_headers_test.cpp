#include "transport/frame_headers.hpp"

#include <gtest/gtest.h>

#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

zv::SessionIdBytes CountingId(uint8_t first) {
    zv::SessionIdBytes id;
    for (std::size_t i = 0; i < id.size(); ++i) id[i] = static_cast<uint8_t>(first + i);
    return id;
}

TEST(RequestHeader, LaysOutEveryFieldAtItsOffset) {
    zv::RequestHeader header;
    header.payloadLength = 0x12345678;
    header.sessionId = CountingId(0xA0);
    header.operationCode = 42;
    header.inputFormat = 3;
    header.outputFormat = 7;
    header.sessionMode = zv::kSessionModeDirect;
    header.encrypted = 1;
    const auto bytes = zv::EncodeRequestHeader(header);
    const Bytes expected = {0x78, 0x56, 0x34, 0x12,                          // payloadLength
                            0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6, 0xA7,  // sessionId
                            0xA8, 0xA9, 0xAA, 0xAB, 0xAC, 0xAD, 0xAE, 0xAF,  //
                            2,    1,    0,                                   // version 2.1.0
                            0,                                               // reserved
                            1,                                               // marker
                            42,   3,    7,                                   // operation, formats
                            128,                                             // sessionMode
                            1};                                              // encrypted
    EXPECT_EQ(Bytes(bytes.begin(), bytes.end()), expected);
}

TEST(RequestHeader, DecodesWhatItEncodes) {
    zv::RequestHeader header;
    header.payloadLength = 0xFFFFFFFF;
    header.sessionId = CountingId(1);
    header.operationCode = zv::kKeyNegotiationCode;
    const zv::RequestHeader decoded =
        zv::DecodeRequestHeader(zv::EncodeRequestHeader(header).data());
    EXPECT_EQ(decoded.payloadLength, 0xFFFFFFFFu);
    EXPECT_EQ(decoded.sessionId, header.sessionId);
    EXPECT_EQ(decoded.operationCode, 100);
    EXPECT_EQ(decoded.sessionMode, zv::kSessionModePersistent);
    EXPECT_EQ(decoded.encrypted, 0);
    EXPECT_EQ(decoded.marker, 1);
}

TEST(ResponseHeader, LaysOutEveryFieldAtItsOffset) {
    zv::ResponseHeader header;
    header.payloadLength = 0x01020304;
    header.sessionId = CountingId(0x10);
    header.errorFlag = 255;
    header.encrypted = 1;
    const auto bytes = zv::EncodeResponseHeader(header);
    const Bytes expected = {0x04, 0x03, 0x02, 0x01,                          // payloadLength
                            0,                                               // not read
                            0x10, 0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17,  // sessionId
                            0x18, 0x19, 0x1A, 0x1B, 0x1C, 0x1D, 0x1E, 0x1F,  //
                            255,                                             // errorFlag
                            1};                                              // encrypted
    EXPECT_EQ(Bytes(bytes.begin(), bytes.end()), expected);
}

TEST(ResponseHeader, ReadsTheLengthAsUnsignedLittleEndian) {
    Bytes bytes(zv::kResponseHeaderSize, 0);
    bytes[0] = 0xFF;
    bytes[1] = 0xFF;
    bytes[2] = 0xFF;
    bytes[3] = 0xFF;
    bytes[4] = 0x77;  // byte 4 carries nothing the client uses
    bytes[21] = 254;
    const zv::ResponseHeader header = zv::DecodeResponseHeader(bytes.data());
    EXPECT_EQ(header.payloadLength, 0xFFFFFFFFu);
    EXPECT_EQ(header.errorFlag, 254);
    EXPECT_EQ(header.encrypted, 0);
}

}  // namespace
