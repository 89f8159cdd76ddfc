// The platform's MD5, fed piece by piece, behind one class so that each
// platform brings its own: OpenSSL's libcrypto on Linux, CryptoAPI on Windows.
#pragma once

#include <cstddef>
#include <cstdint>

#include "md5.hpp"

namespace zv {

class ServiceMd5 {
public:
    ServiceMd5() noexcept = default;
    ~ServiceMd5();
    ServiceMd5(const ServiceMd5&) = delete;
    ServiceMd5& operator=(const ServiceMd5&) = delete;

    // Each returns false when the service fails; the digest is then lost and
    // later calls fail too. Start once, then Update any number of times, then
    // Finish once.
    bool Start() noexcept;
    bool Update(const uint8_t* data, std::size_t length) noexcept;
    bool Finish(uint8_t (&digest)[kMd5DigestSize]) noexcept;

private:
    void Release() noexcept;

    // The service's own handles: an EVP_MD_CTX pointer, or CryptoAPI's
    // provider and hash. Plain numbers keep the platform headers out of here.
    std::uintptr_t handles_[2] = {0, 0};
};

// Whether this process's service offers MD5 at all (a FIPS-only OpenSSL
// without its default provider does not). Asked once and remembered.
bool ServiceOffersMd5() noexcept;

}  // namespace zv
