#include "reply_writer.hpp"

#include <algorithm>
#include <cstring>
#include <thread>

#include "crypto/crypto.hpp"
#include "strings/strings.hpp"

namespace zv::server {
namespace {

uint32_t CountOr(const Fault& fault, uint32_t fallback) {
    return fault.count != 0 ? fault.count : fallback;
}

void SendPrefix(Connection& connection, const std::vector<uint8_t>& bytes, std::size_t count) {
    connection.SendAll(bytes.data(), std::min(count, bytes.size()));
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

void SendReply(Connection& connection, const Reply& reply, const Fault& fault) {
    std::vector<uint8_t> bytes = FrameBytes(reply);
    switch (fault.kind) {
        case FaultKind::kWrongChecksum:
            bytes.back() ^= 0x5A;
            break;
        case FaultKind::kShortHeader:
            SendPrefix(connection, bytes,
                       std::min<uint32_t>(CountOr(fault, 10), kResponseHeaderSize - 1));
            return;
        case FaultKind::kNoReply:
            return;
        case FaultKind::kCloseAfter:
            SendPrefix(connection, bytes, CountOr(fault, static_cast<uint32_t>(bytes.size() - 1)));
            return;
        case FaultKind::kHugeLength: {
            for (std::size_t i = 0; i < 4; ++i) bytes[i] = 0xFF;
            SendPrefix(connection, bytes, kResponseHeaderSize + CountOr(fault, 64));
            return;
        }
        case FaultKind::kFragmented: {
            const std::size_t piece = CountOr(fault, 3);
            for (std::size_t sent = 0; sent < bytes.size(); sent += piece) {
                if (sent != 0) std::this_thread::sleep_for(fault.delay);
                if (connection.SendAll(bytes.data() + sent, std::min(piece, bytes.size() - sent)) !=
                    0) {
                    return;
                }
            }
            return;
        }
        default:
            break;
    }
    connection.SendAll(bytes.data(), bytes.size());
}

}  // namespace zv::server
