// A 32-byte AES-256 session key that wipes itself when it goes.
#pragma once

#include <array>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "crypto.hpp"

namespace zv {

class SessionKey {
public:
    SessionKey() noexcept { bytes_.fill(0); }
    explicit SessionKey(const uint8_t* bytes) noexcept {
        std::memcpy(bytes_.data(), bytes, bytes_.size());
    }
    SessionKey(const SessionKey&) noexcept = default;
    SessionKey& operator=(const SessionKey&) noexcept = default;
    ~SessionKey() { SecureWipe(bytes_.data(), bytes_.size()); }

    const uint8_t* Bytes() const noexcept { return bytes_.data(); }
    // The key as the 32 characters a connection-info record stores.
    std::string_view Text() const noexcept {
        return {reinterpret_cast<const char*>(bytes_.data()), bytes_.size()};
    }
    // A key can be stored as record text only without 0x00 (which would end
    // the text early) and 0x1C (which would split the record).
    bool IsStorableAsText() const noexcept {
        return std::memchr(bytes_.data(), 0x00, bytes_.size()) == nullptr &&
               std::memchr(bytes_.data(), 0x1C, bytes_.size()) == nullptr;
    }

private:
    std::array<uint8_t, kSessionKeySize> bytes_;
};

}  // namespace zv
