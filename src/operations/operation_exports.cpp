// The operations that the caller's event loop drives: start, poll, the
// descriptor and the time to wait, finish.
#include <chrono>
#include <limits>
#include <new>

#include "operations/operation.hpp"
#include "zorvat.h"

namespace {

constexpr uint32_t kNoLimit = std::numeric_limits<uint32_t>::max();

ZvOperation* NewOperation() noexcept { return new (std::nothrow) ZvOperation(); }

}  // namespace

extern "C" ZvOperation* ZvStartDirectOperation(const char* credentialOptions, uint8_t operationCode,
                                               const char* operationArguments, uint8_t inputFormat,
                                               uint8_t outputFormat,
                                               uint32_t /*reservedValue: carried, never read*/,
                                               uint32_t connectTimeoutMs, uint32_t ioTimeoutMs) {
    ZvOperation* operation = NewOperation();
    if (operation != nullptr) {
        operation->StartDirect(credentialOptions, operationCode, operationArguments, inputFormat,
                               outputFormat, connectTimeoutMs, ioTimeoutMs, true);
    }
    return operation;
}

extern "C" ZvOperation* ZvStartPersistentOperation(
    const char* connectionInfo, uint8_t operationCode, const char* operationArguments,
    uint8_t inputFormat, uint8_t outputFormat, uint32_t /*reservedValue*/,
    uint32_t connectTimeoutMs, uint32_t ioTimeoutMs) {
    ZvOperation* operation = NewOperation();
    if (operation != nullptr) {
        operation->StartPersistent(connectionInfo, operationCode, operationArguments, inputFormat,
                                   outputFormat, connectTimeoutMs, ioTimeoutMs, true);
    }
    return operation;
}

extern "C" int32_t ZvPollOperation(ZvOperation* operation) {
    if (operation == nullptr) return ZV_OPERATION_DONE;
    switch (operation->Poll(false, nullptr)) {
        case zv::Wait::kRead:
            return ZV_OPERATION_WANTS_READ;
        case zv::Wait::kWrite:
        case zv::Wait::kNone:  // on a descriptor that is writable at once
            return ZV_OPERATION_WANTS_WRITE;
        case zv::Wait::kDone:
            break;
    }
    return ZV_OPERATION_DONE;
}

extern "C" int64_t ZvGetOperationSocket(const ZvOperation* operation) {
    if (operation == nullptr) return -1;
    const zv::NativeSocket socket = operation->Descriptor();
    return socket == zv::kNoSocket ? -1 : static_cast<int64_t>(socket);
}

extern "C" uint32_t ZvGetOperationTimeout(const ZvOperation* operation) {
    if (operation == nullptr || operation->Done() || !operation->HasLimits()) return kNoLimit;
    // Not polled yet, or work left that goes on at once: poll now.
    if (operation->WorkLeft() || operation->Descriptor() == zv::kNoSocket) return 0;
    const zv::Deadline deadline = operation->NextDeadline();
    if (!deadline) return kNoLimit;
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(*deadline - zv::SteadyClock::now()).count();
    if (left <= 0) return 0;
    return left >= kNoLimit ? kNoLimit - 1 : static_cast<uint32_t>(left);
}

extern "C" char* ZvFinishOperation(ZvOperation* operation, char** errorMessage,
                                   char** connectionInfo) {
    if (errorMessage != nullptr) *errorMessage = nullptr;
    if (operation == nullptr) return nullptr;
    char* answer = operation->Finish(errorMessage, connectionInfo);
    delete operation;
    return answer;
}
