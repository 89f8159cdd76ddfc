// ZvExecutePersistentOperation: the login (code 1), which stores the session
// in the caller's connection-info record, the logout (code 8), and every other
// operation inside the stored session.
#include "operations/outcome.hpp"
#include "operations/request_builders.hpp"
#include "operations/round_trip.hpp"
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

uint32_t RunLogin(char** connectionInfo, const char* operationArguments, const WaitLimits& limits,
                  OperationStatus& status, Response& response) {
    RequestParts parts;
    if (const uint32_t code = BuildLoginRequest(*connectionInfo, operationArguments, parts)) {
        return code;
    }
    const CString newId(NewSessionId());
    SessionIdBytes sessionId;
    if (!TakeSessionId(MallocPtr<uint8_t>(newId ? SessionIdFromText(newId.get()) : nullptr),
                       sessionId)) {
        return kOutOfMemory;
    }

    std::optional<SessionKey> key;
    // The login sends formats 1 whatever the caller asked for.
    const RequestSettings settings{.operationCode = kLoginCode, .requireStorableKey = true};
    if (const uint32_t code =
            RoundTrip(parts, settings, limits, key, sessionId, status, response)) {
        return code;
    }
    if (response.isErrorText || !key) return kNoError;  // the record stays as it was

    char* updated = RecordWithSession(*connectionInfo, response.text.get(), sessionId, *key);
    if (updated == nullptr) {
        response.text.reset();
        return kOutOfMemory;
    }
    *connectionInfo = updated;  // the previous string stays the caller's
    return kNoError;
}

// The logout and every other operation of a session: the request carries the
// identifier and is encrypted with the key that the login stored.
uint32_t RunInSession(const char* connectionInfo, uint8_t operationCode,
                      const char* operationArguments, uint8_t inputFormat, uint8_t outputFormat,
                      const WaitLimits& limits, OperationStatus& status, Response& response) {
    const bool logout = operationCode == kLogoutCode;
    TranslatedArguments arguments;
    if (!logout &&
        !TranslateOperationArguments(operationCode, outputFormat, operationArguments, arguments)) {
        return kOutOfMemory;
    }
    RequestParts parts;
    const uint32_t code = logout ? BuildLogoutRequest(connectionInfo, operationArguments, parts)
                                 : BuildSessionRequest(connectionInfo, arguments.Text(), parts);
    if (code != kNoError) return code;

    // A record that never went through a login has no key to encrypt with;
    // refuse it here rather than send what the server cannot read.
    if (parts.sessionKey.size() != kSessionKeySize) return kNoSessionKey;
    SessionIdBytes sessionId;
    if (!TakeSessionId(MallocPtr<uint8_t>(SessionIdFromText(parts.sessionIdText.c_str())),
                       sessionId)) {
        return kInvalidSessionId;
    }

    std::optional<SessionKey> key(
        SessionKey(reinterpret_cast<const uint8_t*>(parts.sessionKey.data())));
    const RequestSettings settings{
        .operationCode = operationCode, .inputFormat = inputFormat, .outputFormat = outputFormat};
    return RoundTrip(parts, settings, limits, key, sessionId, status, response);
}

}  // namespace
}  // namespace zv

extern "C" char* ZvExecutePersistentOperationWithTimeouts(
    char** errorMessage, char** connectionInfo, uint8_t operationCode,
    const char* operationArguments, uint8_t inputFormat, uint8_t outputFormat,
    uint32_t /*reservedValue: carried, never read*/, uint32_t connectTimeoutMs,
    uint32_t ioTimeoutMs, const int32_t* cancelFlag) {
    if (errorMessage != nullptr) *errorMessage = nullptr;
    const zv::WaitLimits limits{connectTimeoutMs, ioTimeoutMs, cancelFlag};
    zv::OperationStatus status;
    zv::Response response;
    status.code = zv::RunOperationStep([&]() -> uint32_t {
        if (connectionInfo == nullptr || *connectionInfo == nullptr) {
            return zv::kConnectionInfoItemCount;
        }
        if (operationCode == zv::kLoginCode) {
            return zv::RunLogin(connectionInfo, operationArguments, limits, status, response);
        }
        return zv::RunInSession(*connectionInfo, operationCode, operationArguments, inputFormat,
                                outputFormat, limits, status, response);
    });
    return zv::FinishOperation(status, response, errorMessage);
}

extern "C" char* ZvExecutePersistentOperation(char** errorMessage, char** connectionInfo,
                                              uint8_t operationCode, const char* operationArguments,
                                              uint8_t inputFormat, uint8_t outputFormat,
                                              uint32_t reservedValue) {
    return ZvExecutePersistentOperationWithTimeouts(errorMessage, connectionInfo, operationCode,
                                                    operationArguments, inputFormat, outputFormat,
                                                    reservedValue, 0, 0, nullptr);
}
