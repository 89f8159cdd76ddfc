#include "server_frame_headers.hpp"

#include <algorithm>

namespace zv {

RequestHeader DecodeRequestHeader(const uint8_t* bytes) noexcept {
    RequestHeader header;
    header.payloadLength = GetLittleEndian32(&bytes[0]);
    std::copy(&bytes[4], &bytes[20], header.sessionId.begin());
    header.versionMajor = bytes[20];
    header.versionMinor = bytes[21];
    header.versionPatch = bytes[22];
    header.reserved = bytes[23];
    header.marker = bytes[24];
    header.operationCode = bytes[25];
    header.inputFormat = bytes[26];
    header.outputFormat = bytes[27];
    header.sessionMode = bytes[28];
    header.encrypted = bytes[29];
    return header;
}

ResponseHeaderBytes EncodeResponseHeader(const ResponseHeader& header) noexcept {
    ResponseHeaderBytes bytes{};
    PutLittleEndian32(header.payloadLength, &bytes[0]);
    bytes[4] = header.unused;
    std::copy(header.sessionId.begin(), header.sessionId.end(), &bytes[5]);
    bytes[21] = header.errorFlag;
    bytes[22] = header.encrypted;
    return bytes;
}

}  // namespace zv
