// ZvExecuteDirectOperation: one operation outside any session, on a key
// agreed with the server for this call alone.
#include "operations/operation.hpp"
#include "transport/socket_seam.hpp"
#include "zorvat.h"

extern "C" char* ZvExecuteDirectOperationWithTimeouts(
    char** errorMessage, const char* credentialOptions, uint8_t operationCode,
    const char* operationArguments, uint8_t inputFormat, uint8_t outputFormat,
    uint32_t /*reservedValue: carried, never read*/, uint32_t connectTimeoutMs,
    uint32_t ioTimeoutMs, const int32_t* cancelFlag) {
    if (errorMessage != nullptr) *errorMessage = nullptr;
    zv::Operation operation;
    // A call cancelled before it starts still reports a faulty record first,
    // but its arguments, however large, are not worth assembling.
    if (zv::CancelRequested(cancelFlag)) operationArguments = "";
    operation.StartDirect(credentialOptions, operationCode, operationArguments, inputFormat,
                          outputFormat, connectTimeoutMs, ioTimeoutMs, false);
    zv::RunToCompletion(operation, cancelFlag);
    return operation.Finish(errorMessage, nullptr);
}

extern "C" char* ZvExecuteDirectOperation(char** errorMessage, const char* credentialOptions,
                                          uint8_t operationCode, const char* operationArguments,
                                          uint8_t inputFormat, uint8_t outputFormat,
                                          uint32_t reservedValue) {
    return ZvExecuteDirectOperationWithTimeouts(errorMessage, credentialOptions, operationCode,
                                                operationArguments, inputFormat, outputFormat,
                                                reservedValue, 0, 0, nullptr);
}
