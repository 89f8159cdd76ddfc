// Assembling a request from the caller's record: where to connect, the
// payload text and, for operations inside a session, the stored session items.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "strings/strings.hpp"

namespace zv {

// Request text holds credentials: it is wiped before it goes back to the
// allocator.
struct WipingTextDeleter {
    void operator()(char* text) const noexcept;
};
using SecretText = std::unique_ptr<char, WipingTextDeleter>;

struct RequestParts {
    RequestParts() = default;
    RequestParts(const RequestParts&) = delete;
    RequestParts& operator=(const RequestParts&) = delete;
    ~RequestParts();

    SecretText payload;  // ISO-8859-15 fields joined by 0x1F
    std::string host;
    uint16_t port = 0;
    std::string sessionIdText;  // item 9 (logout and session requests)
    std::string sessionKey;     // item 10 (logout and session requests)
};

// The port item as atoi reads it (leading blanks, a sign, digits up to the
// first other character). Returns false for anything outside 1..65535,
// which the caller reports as code 30; nothing wraps to its low 16 bits.
bool ParsePort(std::string_view text, uint16_t& port) noexcept;

// Each returns 0 and fills parts, or a failure code: 31 (credential options
// without exactly 8 items) or 32 (connection info without exactly 12), 30
// (port), 10 (no memory). A null record counts as one of the wrong count; a
// null argument string as empty.

// credentialItem3, credentialItem4, credentialItem1, credentialItem5,
// credentialItem6, the (translated) arguments, plugin, the client type.
uint32_t BuildDirectRequest(const char* credentialOptions, const char* arguments,
                            RequestParts& parts) noexcept;
// The same layout from a connection-info record, with untranslated arguments.
uint32_t BuildLoginRequest(const char* connectionInfo, const char* arguments,
                           RequestParts& parts) noexcept;
// credentialItem3, credentialItem4, credentialItem1, credentialItem5, the
// arguments, recordId.
uint32_t BuildLogoutRequest(const char* connectionInfo, const char* arguments,
                            RequestParts& parts) noexcept;
// recordId, the (translated) arguments.
uint32_t BuildSessionRequest(const char* connectionInfo, const char* arguments,
                             RequestParts& parts) noexcept;

}  // namespace zv
