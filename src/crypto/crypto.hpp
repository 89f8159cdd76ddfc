// What the rest of the library uses of the cryptography: payload encryption
// under a session key, the MD5 checksum of a frame's payload, and wiping.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zv {

inline constexpr std::size_t kAesBlockSize = 16;
inline constexpr std::size_t kSessionKeySize = 32;
inline constexpr std::size_t kChecksumSize = 16;

// The CryptoAPI algorithm identifier of MD5, the one digest frames carry and
// the one HashBuffer offers.
inline constexpr uint32_t kAlgorithmMd5 = 0x8003;

// The length of length bytes of plaintext once padded (PKCS#7): the next
// multiple of 16 above it. 0 when that does not fit 32 bits.
uint32_t PaddedPayloadLength(uint32_t length) noexcept;

// Writes the padding behind length bytes of plaintext at data, so that data
// then holds PaddedPayloadLength(length) bytes.
void PadPayload(uint8_t* data, uint32_t length) noexcept;

// Encrypts paddedLength bytes (padded plaintext, whole blocks) in place with
// AES-256-CBC under the 32-byte key and the vector iv (null: the built-in
// one), and writes the checksum of the resulting ciphertext, computed in the
// same pass where the engine allows. False, with checksum untouched, when
// paddedLength is 0 or not a multiple of 16 (data then untouched too) or when
// the hash service fails (data then encrypted).
bool EncryptInPlaceAndDigest(const uint8_t* key, const uint8_t* iv, uint8_t* data,
                             uint32_t paddedLength, uint8_t (&checksum)[kChecksumSize]) noexcept;

// Decrypts length bytes in place and checks their padding; on success data
// starts with *plaintextLength bytes of plaintext. False, with data untouched,
// when length is 0 or not a multiple of 16; false, with data decrypted, when
// the padding is not valid PKCS#7.
bool DecryptInPlace(const uint8_t* key, const uint8_t* iv, uint8_t* data, uint32_t length,
                    uint32_t& plaintextLength) noexcept;

// Pads plaintext (PKCS#7) and encrypts it with AES-256-CBC under the 32-byte
// key and the 16-byte vector iv (null: the built-in vector). Returns a new
// block from malloc of *encryptedLength bytes, or null when memory runs out.
uint8_t* EncryptPayload(const uint8_t* plaintext, uint32_t length, uint32_t* encryptedLength,
                        const uint8_t* iv, const uint8_t* key) noexcept;

// Decrypts payload in place (it then holds the padded plaintext) and returns
// the plaintext without its padding in a new block from malloc, followed by a
// zero byte when terminate is set; *plaintextLength excludes that zero.
// Returns null when the length is 0 or not a multiple of 16, when the padding
// is not valid PKCS#7, or when memory runs out.
uint8_t* DecryptPayload(uint8_t* payload, uint32_t length, uint32_t* plaintextLength,
                        const uint8_t* iv, const uint8_t* key, bool terminate) noexcept;

// The 16-byte MD5 digest of exactly length bytes of data, in a new block from
// malloc, or null when memory runs out or the hash service fails.
uint8_t* ComputeChecksum(const uint8_t* data, uint32_t length) noexcept;

// Digests input with the algorithm algorithmId (a CryptoAPI ALG_ID; only MD5
// is offered) into rawDigest and, as lowercase hex with a terminator, into
// hexText of hexTextSize bytes. Returns 1, or 0 when the algorithm is another,
// the service fails or hexText is too small (neither output is then written).
int HashBuffer(char* hexText, uint8_t* rawDigest, uint32_t hexTextSize, const uint8_t* input,
               uint32_t length, uint32_t algorithmId) noexcept;

// Overwrites size bytes at block with zeros in a way the compiler keeps.
void SecureWipe(void* block, std::size_t size) noexcept;

}  // namespace zv
