// The library's own MD5 (RFC 1321) in portable C++, fed piece by piece. It
// gives the same digests as any other MD5; the library has one of its own so
// that the stitched cipher kernel can run MD5's compression between its AES
// rounds, and so that a checksum never depends on what a provider offers.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zv {

inline constexpr std::size_t kMd5BlockSize = 64;
inline constexpr std::size_t kMd5DigestSize = 16;

// Owned by the caller, one per digest: Md5Init, any number of Md5Update,
// one Md5Final.
struct Md5Context {
    uint32_t state[4];
    uint64_t length;                 // bytes fed so far
    uint8_t pending[kMd5BlockSize];  // the unfinished block: length % 64 bytes
};

void Md5Init(Md5Context& context) noexcept;
void Md5Update(Md5Context& context, const uint8_t* data, std::size_t length) noexcept;
// Pads and writes the digest; the context is then spent. Nothing here is
// wiped: the library digests only ciphertext and keys that travel in clear.
void Md5Final(Md5Context& context, uint8_t (&digest)[kMd5DigestSize]) noexcept;

// Folds count whole 64-byte blocks into state, without buffering.
void Md5CompressBlocks(uint32_t (&state)[4], const uint8_t* blocks, std::size_t count) noexcept;

}  // namespace zv
