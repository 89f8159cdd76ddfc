// How payload checksums are computed, and how encryption and checksum meet on
// the way out. Three engines share one interface: the platform's hash service
// after the AES engine; the library's own MD5 after the AES engine; and, on
// x86-64 with AES instructions, a kernel that runs CBC encryption and MD5 in
// one pass. The engine is chosen once, on first use.
#pragma once

#include <cstddef>
#include <cstdint>

#include "aes.hpp"
#include "md5.hpp"

namespace zv {

struct ChecksumEngine {
    const char* name;
    // Digests on the library's own MD5, or else on the platform's service.
    bool ownMd5;
    // CBC-encrypts length bytes (whole blocks) in place and feeds the
    // ciphertext to md5, which must hold a whole number of 64-byte blocks;
    // null when the engine encrypts first and digests afterwards.
    void (*encryptAndDigest)(AesContext& context, Md5Context& md5, uint8_t* data,
                             std::size_t length) noexcept;
};

// The platform's hash service (OpenSSL's libcrypto, CryptoAPI on Windows).
const ChecksumEngine& ServiceChecksumEngine() noexcept;

// The library's own MD5, in portable C++.
const ChecksumEngine& PortableChecksumEngine() noexcept;

// CBC encryption and MD5 interleaved so that their two dependency chains
// overlap: the encryption of each 64 bytes runs beside the digest of the 64
// before. Null when the library was built for a target without AES
// instructions or this CPU lacks them.
const ChecksumEngine* StitchedChecksumEngine() noexcept;

// The engine digests and encryption use: the stitched one where it runs;
// else the platform's service, or the portable MD5 where the service has no
// MD5. Windows keeps CryptoAPI.
const ChecksumEngine& ActiveChecksumEngine() noexcept;

// For tests only: makes every later call use engine, or the detected engine
// again when engine is null.
void OverrideChecksumEngineForTesting(const ChecksumEngine* engine) noexcept;

}  // namespace zv
