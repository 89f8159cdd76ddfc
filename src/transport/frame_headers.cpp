#include "transport/frame_headers.hpp"

#include <algorithm>

namespace zv {

void PutLittleEndian32(uint32_t value, uint8_t* bytes) noexcept {
    for (int i = 0; i < 4; ++i) bytes[i] = static_cast<uint8_t>(value >> (8 * i));
}

uint32_t GetLittleEndian32(const uint8_t* bytes) noexcept {
    uint32_t value = 0;
    for (int i = 3; i >= 0; --i) value = (value << 8) | bytes[i];
    return value;
}

RequestHeaderBytes EncodeRequestHeader(const RequestHeader& header) noexcept {
    RequestHeaderBytes bytes{};
    PutLittleEndian32(header.payloadLength, &bytes[0]);
    std::copy(header.sessionId.begin(), header.sessionId.end(), &bytes[4]);
    bytes[20] = header.versionMajor;
    bytes[21] = header.versionMinor;
    bytes[22] = header.versionPatch;
    bytes[23] = header.reserved;
    bytes[24] = header.marker;
    bytes[25] = header.operationCode;
    bytes[26] = header.inputFormat;
    bytes[27] = header.outputFormat;
    bytes[28] = header.sessionMode;
    bytes[29] = header.encrypted;
    return bytes;
}

ResponseHeader DecodeResponseHeader(const uint8_t* bytes) noexcept {
    ResponseHeader header;
    header.payloadLength = GetLittleEndian32(&bytes[0]);
    header.unused = bytes[4];
    std::copy(&bytes[5], &bytes[21], header.sessionId.begin());
    header.errorFlag = bytes[21];
    header.encrypted = bytes[22];
    return header;
}

}  // namespace zv
