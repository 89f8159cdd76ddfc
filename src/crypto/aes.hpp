// The AES-256 engine beneath payload encryption: key expansion and CBC over a
// buffer in place. Two implementations share one interface: a small portable
// one, and one on the CPU's AES instructions where the CPU has them. The
// engine is chosen once, on first use.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zv {

inline constexpr std::size_t kAesRounds = 14;
inline constexpr std::size_t kAesExpandedKeySize = 16 * (kAesRounds + 1);  // 240

// Owned by the caller, one per key and vector. The expanded key holds the
// words w[0] to w[59] of the key schedule, so round r uses bytes 16r to 16r+15;
// the chaining value starts as the vector and holds the last ciphertext block
// after each CBC call, so that a further call continues the chain.
struct AesContext {
    uint8_t expandedKey[kAesExpandedKeySize];
    uint8_t chainingValue[16];
};

// Expands the 32-byte key and takes the 16-byte vector as the chaining value.
void AesInitContext(AesContext& context, const uint8_t* key, const uint8_t* iv) noexcept;

// CBC over length bytes in place; length must be a multiple of 16.
void AesCbcEncryptBuffer(AesContext& context, uint8_t* buffer, uint32_t length) noexcept;
void AesCbcDecryptBuffer(AesContext& context, uint8_t* buffer, uint32_t length) noexcept;

// One implementation of the three operations above.
struct AesEngine {
    const char* name;
    void (*expandKey)(const uint8_t* key, uint8_t* expandedKey) noexcept;
    void (*cbcEncrypt)(AesContext& context, uint8_t* buffer, uint32_t length) noexcept;
    void (*cbcDecrypt)(AesContext& context, uint8_t* buffer, uint32_t length) noexcept;
};

// Byte-oriented FIPS-197: small and portable, but slow, and not constant-time
// since it indexes its S-boxes with key- and data-dependent bytes.
const AesEngine& PortableAesEngine() noexcept;

// On the CPU's AES instructions: fast and constant-time. Null when the library
// was built for a target without them or this CPU lacks them.
const AesEngine* AcceleratedAesEngine() noexcept;

// The engine the three operations use: the accelerated one where there is one.
const AesEngine& ActiveAesEngine() noexcept;

// For tests only: makes every later call use engine, or the detected engine
// again when engine is null.
void OverrideAesEngineForTesting(const AesEngine* engine) noexcept;

}  // namespace zv
