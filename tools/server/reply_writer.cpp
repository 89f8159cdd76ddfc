#include "reply_writer.hpp"

#include <algorithm>
#include <cstring>

#include "crypto/crypto.hpp"
#include "strings/strings.hpp"

namespace zv::server {
namespace {

uint32_t CountOr(const Fault& fault, uint32_t fallback) {
    return fault.count != 0 ? fault.count : fallback;
}

void KeepPrefix(std::vector<uint8_t>& bytes, std::size_t count) {
    bytes.resize(std::min(count, bytes.size()));
}

}  // namespace

std::vector<uint8_t> FrameBytes(const Reply& reply) {
    ResponseHeader header = reply.header;
    header.payloadLength = static_cast<uint32_t>(reply.payload.size());
    const ResponseHeaderBytes headerBytes = EncodeResponseHeader(header);
    const MallocPtr<uint8_t> checksum(
        ComputeChecksum(reply.payload.data(), static_cast<uint32_t>(reply.payload.size())));
    std::vector<uint8_t> bytes(headerBytes.size() + reply.payload.size() + kChecksumSize);
    std::memcpy(bytes.data(), headerBytes.data(), headerBytes.size());
    if (!reply.payload.empty()) {
        std::memcpy(bytes.data() + headerBytes.size(), reply.payload.data(), reply.payload.size());
    }
    if (checksum != nullptr) {
        std::memcpy(bytes.data() + bytes.size() - kChecksumSize, checksum.get(), kChecksumSize);
    }
    return bytes;
}

WireReply PlanReply(const Reply& reply, const Fault& fault) {
    WireReply wire{FrameBytes(reply)};
    std::vector<uint8_t>& bytes = wire.bytes;
    switch (fault.kind) {
        case FaultKind::kWrongChecksum:
            bytes.back() ^= 0x5A;
            break;
        case FaultKind::kShortHeader:
            KeepPrefix(bytes, std::min<uint32_t>(CountOr(fault, 10), kResponseHeaderSize - 1));
            break;
        case FaultKind::kNoReply:
            bytes.clear();
            break;
        case FaultKind::kCloseAfter:
            KeepPrefix(bytes, CountOr(fault, static_cast<uint32_t>(bytes.size() - 1)));
            break;
        case FaultKind::kHugeLength:
            for (std::size_t i = 0; i < 4; ++i) bytes[i] = 0xFF;
            KeepPrefix(bytes, kResponseHeaderSize + CountOr(fault, 64));
            break;
        case FaultKind::kFragmented:
            wire.pieceSize = CountOr(fault, 3);
            wire.delay = fault.delay;
            break;
        case FaultKind::kDelay:
            wire.holdBack = fault.delay;
            break;
        default:
            break;
    }
    return wire;
}

}  // namespace zv::server
