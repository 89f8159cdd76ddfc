// The two binary headers of the wire: the 30-byte header in front of every
// request and the 23-byte header in front of every response. Their layouts
// live here, so that the client and the reference server cannot disagree
// about a byte.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "transport/session_id.hpp"

namespace zv {

using SessionIdBytes = std::array<uint8_t, kSessionIdSize>;

inline constexpr std::size_t kRequestHeaderSize = 30;
inline constexpr std::size_t kResponseHeaderSize = 23;

inline constexpr uint8_t kKeyNegotiationCode = 100;
inline constexpr uint8_t kSessionModePersistent = 1;
inline constexpr uint8_t kSessionModeDirect = 128;
// In a response, the payload is the server's error text only under this
// value; in a key negotiation reply every non-zero value is a refusal.
inline constexpr uint8_t kErrorFlagServerText = 255;

// The protocol version "2.1.0", one byte per part.
inline constexpr std::array<uint8_t, 3> kProtocolVersion = {2, 1, 0};

using RequestHeaderBytes = std::array<uint8_t, kRequestHeaderSize>;
using ResponseHeaderBytes = std::array<uint8_t, kResponseHeaderSize>;

struct RequestHeader {
    uint32_t payloadLength = 0;  // bytes 0-3, little-endian
    SessionIdBytes sessionId{};  // bytes 4-19
    uint8_t versionMajor = kProtocolVersion[0];
    uint8_t versionMinor = kProtocolVersion[1];
    uint8_t versionPatch = kProtocolVersion[2];
    uint8_t reserved = 0;
    uint8_t marker = 1;
    uint8_t operationCode = 0;  // byte 25
    uint8_t inputFormat = 1;
    uint8_t outputFormat = 1;
    uint8_t sessionMode = kSessionModePersistent;  // byte 28
    uint8_t encrypted = 0;                         // byte 29
};

struct ResponseHeader {
    uint32_t payloadLength = 0;  // bytes 0-3, little-endian
    uint8_t unused = 0;          // byte 4, never read by the client
    SessionIdBytes sessionId{};  // bytes 5-20
    uint8_t errorFlag = 0;       // byte 21
    uint8_t encrypted = 0;       // byte 22
};

void PutLittleEndian32(uint32_t value, uint8_t* bytes) noexcept;
uint32_t GetLittleEndian32(const uint8_t* bytes) noexcept;

// The payload length both headers lead with (bytes 0-3, little-endian).
inline uint32_t FramePayloadLength(const uint8_t* headerBytes) noexcept {
    return GetLittleEndian32(headerBytes);
}

// The client's directions; the server's are in tools/wire.
RequestHeaderBytes EncodeRequestHeader(const RequestHeader& header) noexcept;
ResponseHeader DecodeResponseHeader(const uint8_t* bytes) noexcept;

}  // namespace zv
