#include "transport/framed_request.hpp"

#include "operations/error_codes.hpp"

namespace zv {

uint32_t SendFramedRequest(Connection& connection, const RequestHeaderBytes& header,
                           std::span<const uint8_t> payload,
                           std::span<const uint8_t, kChecksumSize> checksum,
                           int32_t& lastSocketError) noexcept {
    struct Part {
        std::span<const uint8_t> bytes;
        uint32_t failureCode;
    };
    const Part parts[] = {
        {header, kHeaderSendShort}, {payload, kPayloadSendShort}, {checksum, kChecksumSendShort}};
    for (const Part& part : parts) {
        const int error = connection.SendAll(part.bytes.data(), part.bytes.size());
        if (error != 0) {
            lastSocketError = error;
            return part.failureCode;
        }
    }
    return connection.ShutdownSending() ? kNoError : kShutdownFailed;
}

}  // namespace zv
