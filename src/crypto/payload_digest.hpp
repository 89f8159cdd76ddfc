// The checksum of a payload as it travels, fed piece by piece as the payload
// is produced or arrives, on the active checksum engine.
#pragma once

#include <cstddef>
#include <cstdint>

#include "checksum_engine.hpp"
#include "crypto.hpp"
#include "digest_service.hpp"
#include "md5.hpp"

namespace zv {

class PayloadDigest {
public:
    PayloadDigest() noexcept : PayloadDigest(ActiveChecksumEngine()) {}
    explicit PayloadDigest(const ChecksumEngine& engine) noexcept;
    PayloadDigest(const PayloadDigest&) = delete;
    PayloadDigest& operator=(const PayloadDigest&) = delete;

    void Update(const uint8_t* data, std::size_t length) noexcept;
    // Writes the digest of everything fed. False, with checksum untouched,
    // when the hash service failed at any point. Call once.
    bool Finish(uint8_t (&checksum)[kChecksumSize]) noexcept;

private:
    bool ownMd5_;
    bool failed_ = false;
    Md5Context md5_;
    ServiceMd5 service_;
};

// The checksum of length bytes at data, in one call; false when the hash
// service fails.
bool DigestPayload(const uint8_t* data, std::size_t length,
                   uint8_t (&checksum)[kChecksumSize]) noexcept;

}  // namespace zv
