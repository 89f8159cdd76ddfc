// The platform's hash service, behind one function so that each platform
// brings its own: OpenSSL's libcrypto on Linux, CryptoAPI on Windows.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zv {

// Large enough for every digest the service may be asked for.
inline constexpr std::size_t kMaxDigestSize = 64;

// Digests length bytes of input with the algorithm algorithmId (a CryptoAPI
// ALG_ID: MD5, SHA-1 or SHA-256) into digest and stores the digest's length.
// Returns false, with neither output written, when the algorithm is unknown
// or the service fails.
bool DigestWithPlatformService(uint32_t algorithmId, const uint8_t* input, uint32_t length,
                               uint8_t (&digest)[kMaxDigestSize], uint32_t& digestLength) noexcept;

}  // namespace zv
