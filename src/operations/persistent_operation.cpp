// ZvExecutePersistentOperation: the login (code 1), which stores the session
// in the caller's connection-info record, the logout (code 8), and every other
// operation inside the stored session.
#include "operations/operation.hpp"
#include "transport/socket_seam.hpp"
#include "zorvat.h"

extern "C" char* ZvExecutePersistentOperationWithTimeouts(
    char** errorMessage, char** connectionInfo, uint8_t operationCode,
    const char* operationArguments, uint8_t inputFormat, uint8_t outputFormat,
    uint32_t /*reservedValue: carried, never read*/, uint32_t connectTimeoutMs,
    uint32_t ioTimeoutMs, const int32_t* cancelFlag) {
    if (errorMessage != nullptr) *errorMessage = nullptr;
    zv::Operation operation;
    // A call cancelled before it starts still reports a faulty record first,
    // but its arguments, however large, are not worth assembling.
    if (zv::CancelRequested(cancelFlag)) operationArguments = "";
    operation.StartPersistent(connectionInfo != nullptr ? *connectionInfo : nullptr, operationCode,
                              operationArguments, inputFormat, outputFormat, connectTimeoutMs,
                              ioTimeoutMs, false);
    zv::RunToCompletion(operation, cancelFlag);
    // A login that succeeded replaces the record; the previous string stays
    // the caller's.
    return operation.Finish(errorMessage, connectionInfo);
}

extern "C" char* ZvExecutePersistentOperation(char** errorMessage, char** connectionInfo,
                                              uint8_t operationCode, const char* operationArguments,
                                              uint8_t inputFormat, uint8_t outputFormat,
                                              uint32_t reservedValue) {
    return ZvExecutePersistentOperationWithTimeouts(errorMessage, connectionInfo, operationCode,
                                                    operationArguments, inputFormat, outputFormat,
                                                    reservedValue, 0, 0, nullptr);
}
