// The floor the library is measured against: the least a client must do for
// the same exchanges, written straight on POSIX sockets and OpenSSL. One
// connect per connection, EVP AES-256-CBC, one-shot MD5, one sendmsg per
// request frame, one buffer per stage and no checks beyond the protocol's.
// It trusts its server (a length is allocated as announced) and exists only
// to be timed beside the library.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zvbench {

inline constexpr std::size_t kFloorSessionIdSize = 16;
inline constexpr std::size_t kFloorKeySize = 32;

// The credential items a login or direct operation presents, in ISO-8859-15.
struct FloorCredentials {
    std::string item1, item3, item4, item5, item6, plugin;
};

// What a login left behind: the session identifier as it travels, the key,
// and the record identifier of the server's answer.
struct FloorSession {
    uint8_t sessionId[kFloorSessionIdSize];
    uint8_t key[kFloorKeySize];
    std::string recordId;
};

class FloorClient {
public:
    explicit FloorClient(uint16_t port) : port_(port) {}

    // Each returns the answer converted to ISO-8859-15, or nothing when any
    // step fails or the server flags an error.
    // A direct operation: a key negotiation on one connection, then the
    // request on a second.
    std::optional<std::string> Direct(const FloorCredentials& credentials, uint8_t operationCode,
                                      std::string_view arguments, uint8_t inputFormat,
                                      uint8_t outputFormat) const;
    // An operation inside a logged-in session: one connection.
    std::optional<std::string> InSession(const FloorSession& session, uint8_t operationCode,
                                         std::string_view arguments, uint8_t inputFormat,
                                         uint8_t outputFormat) const;

private:
    uint16_t port_;
};

// The 16 bytes that travel for a 36-character session identifier; false when
// the text is not one.
bool ParseFloorSessionId(std::string_view text, uint8_t (&bytes)[kFloorSessionIdSize]);

}  // namespace zvbench
