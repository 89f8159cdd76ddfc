// Payload encryption and decryption fed piece by piece, so that a large
// payload can be worked through in slices between other work: the chaining
// value and the digest carry over from one piece to the next.
#pragma once

#include <cstddef>
#include <cstdint>

#include "aes.hpp"
#include "crypto.hpp"
#include "md5.hpp"
#include "payload_digest.hpp"

namespace zv {

// AES-256-CBC encryption in place with the checksum of the ciphertext, on the
// active checksum engine.
class PayloadEncryptor {
public:
    // iv null: the built-in vector.
    PayloadEncryptor(const uint8_t* key, const uint8_t* iv) noexcept;
    ~PayloadEncryptor();
    PayloadEncryptor(const PayloadEncryptor&) = delete;
    PayloadEncryptor& operator=(const PayloadEncryptor&) = delete;

    // Encrypts length bytes (whole blocks) at data in place and digests them.
    // Every piece but the last must be a whole number of 64-byte blocks.
    void Encrypt(uint8_t* data, std::size_t length) noexcept;
    // False, with checksum untouched, when the hash service failed.
    bool Finish(uint8_t (&checksum)[kChecksumSize]) noexcept;

private:
    AesContext context_;
    const ChecksumEngine& engine_;
    Md5Context md5_;
    PayloadDigest digest_;
};

// AES-256-CBC decryption in place.
class PayloadDecryptor {
public:
    PayloadDecryptor(const uint8_t* key, const uint8_t* iv) noexcept;
    ~PayloadDecryptor();
    PayloadDecryptor(const PayloadDecryptor&) = delete;
    PayloadDecryptor& operator=(const PayloadDecryptor&) = delete;

    // length: whole blocks.
    void Decrypt(uint8_t* data, std::size_t length) noexcept;

private:
    AesContext context_;
};

// Whether the last block of a decrypted payload ends with valid PKCS#7
// padding (1 to 16 bytes of that count). All of them are compared, so that
// the time taken does not tell where a mismatch was.
bool HasValidPadding(const uint8_t* lastBlock) noexcept;

}  // namespace zv
