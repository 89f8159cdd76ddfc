#include "transport/framed_request.hpp"

#include "error_codes.hpp"

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
    const std::span<const uint8_t> frame[] = {header, payload, checksum};
    std::size_t sent = 0;
    const int error = connection.SendAllGathered(frame, sent);
    if (error != 0) {
        lastSocketError = error;
        // The code names the first part that did not go out in full.
        for (const Part& part : parts) {
            if (sent < part.bytes.size()) return part.failureCode;
            sent -= part.bytes.size();
        }
        return kChecksumSendShort;
    }
    return connection.ShutdownSending() ? kNoError : kShutdownFailed;
}

}  // namespace zv
