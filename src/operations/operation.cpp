#include "operations/operation.hpp"

#include "operations/outcome.hpp"
#include "operations/session_ids.hpp"
#include "operations/translation.hpp"
#include "records/records.hpp"
#include "transport/session_id.hpp"
#include "zorvat.h"

namespace zv {
namespace {

constexpr uint8_t kLoginCode = 1;
constexpr uint8_t kLogoutCode = 8;

// A new record with the session items the login produced, or null when
// memory runs out. Items 8 to 10 are replaced; the rest stay as they were.
char* RecordWithSession(const char* connectionInfo, const char* loginAnswer,
                        const SessionIdBytes& sessionId, const SessionKey& key) {
    auto items = SplitItems(connectionInfo, kItemSeparator);
    // A login answer without a RECORD_ID leaves the item empty.
    const CString recordId(ZvExtractData(loginAnswer, "RECORD_ID", kItemSeparator,
                                         static_cast<uint8_t>(kSubitemSeparator)));
    const CString sessionIdText(SessionIdToText(sessionId.data()));
    if (!sessionIdText) return nullptr;
    items[kRecordIdItem] = recordId ? recordId.get() : "";
    items[kSessionIdItem] = sessionIdText.get();
    items[kSessionKeyItem] = key.Text();
    return JoinItems(items, std::string_view(&kItemSeparator, 1));
}

uint32_t PrepareDirect(const char* credentialOptions, uint8_t operationCode,
                       const char* operationArguments, uint8_t outputFormat, RequestParts& parts,
                       SessionIdBytes& sessionId) {
    TranslatedArguments arguments;
    if (!TranslateOperationArguments(operationCode, outputFormat, operationArguments, arguments)) {
        return kOutOfMemory;
    }
    if (const uint32_t code = BuildDirectRequest(credentialOptions, arguments.Text(), parts)) {
        return code;
    }
    // The negotiation replaces these bytes with the identifier the server assigns.
    if (!TakeSessionId(MallocPtr<uint8_t>(NewRandomUuidBytes()), sessionId)) return kOutOfMemory;
    return kNoError;
}

uint32_t PrepareLogin(const char* connectionInfo, const char* operationArguments,
                      RequestParts& parts, SessionIdBytes& sessionId, std::string& record) {
    if (const uint32_t code = BuildLoginRequest(connectionInfo, operationArguments, parts)) {
        return code;
    }
    const CString newId(NewSessionId());
    if (!TakeSessionId(MallocPtr<uint8_t>(newId ? SessionIdFromText(newId.get()) : nullptr),
                       sessionId)) {
        return kOutOfMemory;
    }
    record = connectionInfo;
    return kNoError;
}

// The logout and every other operation of a session: the request carries the
// identifier and is encrypted with the key that the login stored.
uint32_t PrepareInSession(const char* connectionInfo, uint8_t operationCode,
                          const char* operationArguments, uint8_t outputFormat, RequestParts& parts,
                          SessionIdBytes& sessionId, std::optional<SessionKey>& key) {
    const bool logout = operationCode == kLogoutCode;
    TranslatedArguments arguments;
    if (!logout &&
        !TranslateOperationArguments(operationCode, outputFormat, operationArguments, arguments)) {
        return kOutOfMemory;
    }
    const uint32_t code = logout ? BuildLogoutRequest(connectionInfo, operationArguments, parts)
                                 : BuildSessionRequest(connectionInfo, arguments.Text(), parts);
    if (code != kNoError) return code;

    // A record that never went through a login has no key to encrypt with;
    // refuse it here rather than send what the server cannot read.
    if (parts.sessionKey.size() != kSessionKeySize) return kNoSessionKey;
    if (!TakeSessionId(MallocPtr<uint8_t>(SessionIdFromText(parts.sessionIdText.c_str())),
                       sessionId)) {
        return kInvalidSessionId;
    }
    key.emplace(reinterpret_cast<const uint8_t*>(parts.sessionKey.data()));
    return kNoError;
}

}  // namespace

void Operation::StartDirect(const char* credentialOptions, uint8_t operationCode,
                            const char* operationArguments, uint8_t inputFormat,
                            uint8_t outputFormat, uint32_t connectTimeoutMs, uint32_t ioTimeoutMs,
                            bool loopWaits) noexcept {
    startCode_ = RunOperationStep([&] {
        return PrepareDirect(credentialOptions, operationCode, operationArguments, outputFormat,
                             parts_, sessionId_);
    });
    settings_ = {.operationCode = operationCode,
                 .inputFormat = inputFormat,
                 .outputFormat = outputFormat,
                 .persistent = false};
    Begin(connectTimeoutMs, ioTimeoutMs, loopWaits);
}

void Operation::StartPersistent(const char* connectionInfo, uint8_t operationCode,
                                const char* operationArguments, uint8_t inputFormat,
                                uint8_t outputFormat, uint32_t connectTimeoutMs,
                                uint32_t ioTimeoutMs, bool loopWaits) noexcept {
    login_ = operationCode == kLoginCode;
    startCode_ = RunOperationStep([&]() -> uint32_t {
        if (connectionInfo == nullptr) return kConnectionInfoItemCount;
        if (login_) {
            return PrepareLogin(connectionInfo, operationArguments, parts_, sessionId_,
                                loginRecord_);
        }
        return PrepareInSession(connectionInfo, operationCode, operationArguments, outputFormat,
                                parts_, sessionId_, key_);
    });
    // The login sends formats 1 whatever the caller asked for.
    if (login_) {
        settings_ = {.operationCode = kLoginCode, .requireStorableKey = true};
    } else {
        settings_ = {.operationCode = operationCode,
                     .inputFormat = inputFormat,
                     .outputFormat = outputFormat};
    }
    Begin(connectTimeoutMs, ioTimeoutMs, loopWaits);
}

void Operation::Begin(uint32_t connectTimeoutMs, uint32_t ioTimeoutMs, bool loopWaits) noexcept {
    request_ = {.host = parts_.host.c_str(),
                .port = parts_.port,
                .settings = settings_,
                .payload = parts_.payload.get(),
                .connectTimeoutMs = connectTimeoutMs,
                .ioTimeoutMs = ioTimeoutMs,
                .loopWaitsOnDescriptor = loopWaits};
}

Wait Operation::Poll(bool ready, const int32_t* cancelFlag) noexcept {
    if (done_) return Wait::kDone;
    if (startCode_ != kNoError) {
        status_.code = startCode_;
        done_ = true;
        return Wait::kDone;
    }
    if (!machine_) machine_.emplace(request_, key_, sessionId_, status_, response_);
    if (CancelRequested(cancelFlag)) machine_->Stop(kCancelled);
    lastWait_ = machine_->Advance(ready);
    if (lastWait_ == Wait::kDone) AfterExchange();
    return lastWait_;
}

void Operation::WaitFailed() noexcept {
    if (machine_ && !done_) {
        machine_->WaitFailed();
        if (machine_->Done()) AfterExchange();
    }
}

void Operation::AfterExchange() noexcept {
    done_ = true;
    if (!login_ || status_.Failed() || response_.isErrorText || !key_) return;
    newRecord_.reset(NoThrow<char*>(nullptr, [&] {
        return RecordWithSession(loginRecord_.c_str(), response_.text.get(), sessionId_, *key_);
    }));
    if (!newRecord_) {
        response_.text.reset();
        status_.code = kOutOfMemory;
    }
}

NativeSocket Operation::Descriptor() const noexcept {
    return machine_ && !done_ ? machine_->Descriptor() : kNoSocket;
}

Deadline Operation::NextDeadline() const noexcept {
    return machine_ && !done_ ? machine_->NextDeadline() : std::nullopt;
}

char* Operation::Finish(char** errorMessage, char** newRecord) noexcept {
    if (!done_) {
        // Everything it opened is closed here, at once.
        machine_.reset();
        status_.code = kCancelled;
        response_ = Response{};
        done_ = true;
    }
    char* answer = FinishOperation(status_, response_, errorMessage);
    if (answer != nullptr && newRecord_ && newRecord != nullptr) *newRecord = newRecord_.release();
    return answer;
}

void RunToCompletion(Operation& operation, const int32_t* cancelFlag) noexcept {
    bool ready = false;
    for (;;) {
        const Wait wait = operation.Poll(ready, cancelFlag);
        ready = false;
        if (wait == Wait::kDone) return;
        if (wait == Wait::kNone) continue;
        switch (WaitForSocket(operation.Descriptor(), wait == Wait::kWrite,
                              operation.NextDeadline(), cancelFlag)) {
            case WaitOutcome::kReady:
                ready = true;
                break;
            case WaitOutcome::kTimedOut:
            case WaitOutcome::kCancelled:
                break;
            case WaitOutcome::kFailed:
                operation.WaitFailed();
                break;
        }
    }
}

}  // namespace zv
