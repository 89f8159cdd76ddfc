// One operation from its start to its outcome: the request assembled from the
// caller's record when it starts, then the exchange machine driven by
// whoever waits (the blocking calls' own loop or the caller's event loop),
// then the answer, and for a login the record that holds the new session.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "crypto/session_key.hpp"
#include "error_codes.hpp"
#include "operations/request_builders.hpp"
#include "transport/exchange_machine.hpp"

namespace zv {

class Operation {
public:
    Operation() noexcept = default;
    Operation(const Operation&) = delete;
    Operation& operator=(const Operation&) = delete;

    // Assemble the request without any I/O, copying what the operation
    // keeps. A fault in the record or the arguments is kept for the first
    // Poll, which then answers kDone. loopWaits: the caller's event loop
    // waits on Descriptor() (see ExchangeRequest).
    void StartDirect(const char* credentialOptions, uint8_t operationCode,
                     const char* operationArguments, uint8_t inputFormat, uint8_t outputFormat,
                     uint32_t connectTimeoutMs, uint32_t ioTimeoutMs, bool loopWaits) noexcept;
    void StartPersistent(const char* connectionInfo, uint8_t operationCode,
                         const char* operationArguments, uint8_t inputFormat, uint8_t outputFormat,
                         uint32_t connectTimeoutMs, uint32_t ioTimeoutMs, bool loopWaits) noexcept;

    // Goes on as far as it can without waiting; see ExchangeMachine::Advance.
    // A cancelFlag that is set ends the operation with 408.
    Wait Poll(bool ready, const int32_t* cancelFlag) noexcept;
    void WaitFailed() noexcept;
    NativeSocket Descriptor() const noexcept;
    Deadline NextDeadline() const noexcept;
    bool Done() const noexcept { return done_; }
    // The last poll returned with work left that goes on at once.
    bool WorkLeft() const noexcept { return lastWait_ == Wait::kNone; }
    // Started with a connect or an I/O limit.
    bool HasLimits() const noexcept {
        return request_.connectTimeoutMs != 0 || request_.ioTimeoutMs != 0;
    }

    // What the blocking call returns: the answer, or null with the message
    // in *errorMessage (when given). Cancels an operation that is not done.
    // newRecord receives the record a login that succeeded made, when given.
    char* Finish(char** errorMessage, char** newRecord) noexcept;

private:
    void Begin(uint32_t connectTimeoutMs, uint32_t ioTimeoutMs, bool loopWaits) noexcept;
    void AfterExchange() noexcept;

    uint32_t startCode_ = kNoError;
    bool login_ = false;
    bool done_ = false;
    Wait lastWait_ = Wait::kNone;
    RequestParts parts_;
    RequestSettings settings_;
    std::optional<SessionKey> key_;
    SessionIdBytes sessionId_{};
    std::string loginRecord_;  // the record a login's new one is made from
    CString newRecord_;
    OperationStatus status_;
    Response response_;
    ExchangeRequest request_;
    // Last: it refers to the members above and goes first.
    std::optional<ExchangeMachine> machine_;
};

// The blocking calls' loop: polls, waits on the descriptor within the
// operation's limits and the cancel flag (which it reads at least every
// 50 ms), and polls again, until the operation is done.
void RunToCompletion(Operation& operation, const int32_t* cancelFlag) noexcept;

}  // namespace zv

// The handle the C interface hands out.
struct ZvOperation : zv::Operation {};
