#include "request_builders.hpp"

#include <cstring>
#include <vector>

#include "crypto/crypto.hpp"
#include "error_codes.hpp"
#include "records/records.hpp"

namespace zv {
namespace {

// The server tells its clients apart by this literal; it is part of the
// protocol and stays as it is on every platform.
constexpr std::string_view kClientType = "C_Windows";

enum class RequestKind { kDirect, kLogin, kLogout, kSession };

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

uint32_t BuildRequest(RequestKind kind, const char* record, const char* arguments,
                      RequestParts& parts) noexcept {
    const bool direct = kind == RequestKind::kDirect;
    const uint32_t itemCountCode = direct ? kCredentialOptionsItemCount : kConnectionInfoItemCount;
    if (record == nullptr) return itemCountCode;
    const std::string_view argumentText = arguments == nullptr ? "" : arguments;
    return NoThrow<uint32_t>(kOutOfMemory, [&]() -> uint32_t {
        const auto items = SplitItems(record, kItemSeparator);
        if (items.size() != (direct ? kCredentialOptionsItems : kConnectionInfoItems)) {
            return itemCountCode;
        }
        if (!ParsePort(items[kPortItem], parts.port)) return kInvalidPort;
        parts.host = items[kHostItem];

        std::vector<std::string_view> fields;
        switch (kind) {
            case RequestKind::kDirect:
            case RequestKind::kLogin:
                fields = {items[kCredentialItem3], items[kCredentialItem4],
                          items[kCredentialItem1], items[kCredentialItem5],
                          items[kCredentialItem6], argumentText,
                          items[kPluginItem],      kClientType};
                break;
            case RequestKind::kLogout:
                fields = {items[kCredentialItem3],
                          items[kCredentialItem4],
                          items[kCredentialItem1],
                          items[kCredentialItem5],
                          argumentText,
                          items[kRecordIdItem]};
                break;
            case RequestKind::kSession:
                fields = {items[kRecordIdItem], argumentText};
                break;
        }
        if (kind == RequestKind::kLogout || kind == RequestKind::kSession) {
            parts.sessionIdText = items[kSessionIdItem];
            parts.sessionKey = items[kSessionKeyItem];
        }
        parts.payload.reset(JoinItems(fields, std::string_view(&kArgumentSeparator, 1)));
        return parts.payload ? kNoError : kOutOfMemory;
    });
}

}  // namespace

void WipingTextDeleter::operator()(char* text) const noexcept {
    if (text == nullptr) return;
    SecureWipe(text, std::strlen(text));
    std::free(text);
}

RequestParts::~RequestParts() { SecureWipe(sessionKey.data(), sessionKey.size()); }

bool ParsePort(std::string_view text, uint16_t& port) noexcept {
    std::size_t at = 0;
    while (at < text.size() && IsBlank(text[at])) ++at;
    bool negative = false;
    if (at < text.size() && (text[at] == '+' || text[at] == '-')) negative = text[at++] == '-';
    long value = 0;
    for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at) {
        value = value * 10 + (text[at] - '0');
        if (value > 65535) return false;  // stops before any overflow
    }
    if (negative || value == 0) return false;
    port = static_cast<uint16_t>(value);
    return true;
}

uint32_t BuildDirectRequest(const char* credentialOptions, const char* arguments,
                            RequestParts& parts) noexcept {
    return BuildRequest(RequestKind::kDirect, credentialOptions, arguments, parts);
}

uint32_t BuildLoginRequest(const char* connectionInfo, const char* arguments,
                           RequestParts& parts) noexcept {
    return BuildRequest(RequestKind::kLogin, connectionInfo, arguments, parts);
}

uint32_t BuildLogoutRequest(const char* connectionInfo, const char* arguments,
                            RequestParts& parts) noexcept {
    return BuildRequest(RequestKind::kLogout, connectionInfo, arguments, parts);
}

uint32_t BuildSessionRequest(const char* connectionInfo, const char* arguments,
                             RequestParts& parts) noexcept {
    return BuildRequest(RequestKind::kSession, connectionInfo, arguments, parts);
}

}  // namespace zv
