// ZvExecuteDirectOperation: one operation outside any session, on a key
// agreed with the server for this call alone.
#include "operations/outcome.hpp"
#include "operations/request_builders.hpp"
#include "operations/round_trip.hpp"
#include "operations/translation.hpp"
#include "transport/session_id.hpp"
#include "zorvat.h"

namespace zv {
namespace {

uint32_t RunDirectOperation(const char* credentialOptions, uint8_t operationCode,
                            const char* operationArguments, uint8_t inputFormat,
                            uint8_t outputFormat, const WaitLimits& limits, OperationStatus& status,
                            Response& response) {
    TranslatedArguments arguments;
    if (!TranslateOperationArguments(operationCode, outputFormat, operationArguments, arguments)) {
        return kOutOfMemory;
    }
    RequestParts parts;
    if (const uint32_t code = BuildDirectRequest(credentialOptions, arguments.Text(), parts)) {
        return code;
    }

    // The negotiation replaces these bytes with the identifier the server assigns.
    SessionIdBytes sessionId;
    if (!TakeSessionId(MallocPtr<uint8_t>(NewRandomUuidBytes()), sessionId)) return kOutOfMemory;

    std::optional<SessionKey> key;
    const RequestSettings settings{.operationCode = operationCode,
                                   .inputFormat = inputFormat,
                                   .outputFormat = outputFormat,
                                   .persistent = false};
    return RoundTrip(parts, settings, limits, key, sessionId, status, response);
}

}  // namespace
}  // namespace zv

extern "C" char* ZvExecuteDirectOperationWithTimeouts(
    char** errorMessage, const char* credentialOptions, uint8_t operationCode,
    const char* operationArguments, uint8_t inputFormat, uint8_t outputFormat,
    uint32_t /*reservedValue: carried, never read*/, uint32_t connectTimeoutMs,
    uint32_t ioTimeoutMs, const int32_t* cancelFlag) {
    if (errorMessage != nullptr) *errorMessage = nullptr;
    const zv::WaitLimits limits{connectTimeoutMs, ioTimeoutMs, cancelFlag};
    zv::OperationStatus status;
    zv::Response response;
    status.code = zv::RunOperationStep([&] {
        return zv::RunDirectOperation(credentialOptions, operationCode, operationArguments,
                                      inputFormat, outputFormat, limits, status, response);
    });
    return zv::FinishOperation(status, response, errorMessage);
}

extern "C" char* ZvExecuteDirectOperation(char** errorMessage, const char* credentialOptions,
                                          uint8_t operationCode, const char* operationArguments,
                                          uint8_t inputFormat, uint8_t outputFormat,
                                          uint32_t reservedValue) {
    return ZvExecuteDirectOperationWithTimeouts(errorMessage, credentialOptions, operationCode,
                                                operationArguments, inputFormat, outputFormat,
                                                reservedValue, 0, 0, nullptr);
}
