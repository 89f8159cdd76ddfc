// The 64 steps of MD5's compression function, one inline function per step,
// so that the portable MD5 and the stitched cipher kernel unroll the same
// code: the kernel places the steps between its AES rounds.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <utility>

#if defined(__GNUC__) || defined(__clang__)
#define ZV_MD5_INLINE inline __attribute__((always_inline))
#else
#define ZV_MD5_INLINE inline
#endif

namespace zv::md5 {

inline constexpr uint32_t kInitialState[4] = {0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476};

// The additive constants: the integer part of 2^32 |sin(i + 1)|.
inline constexpr uint32_t kSineTable[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391,
};

inline constexpr int kRotations[4][4] = {
    {7, 12, 17, 22}, {5, 9, 14, 20}, {4, 11, 16, 23}, {6, 10, 15, 21}};

// Which message word step s reads.
constexpr std::size_t MessageWord(std::size_t s) {
    const std::size_t i = s % 16;
    switch (s / 16) {
        case 0:
            return i;
        case 1:
            return (5 * i + 1) % 16;
        case 2:
            return (3 * i + 5) % 16;
        default:
            return (7 * i) % 16;
    }
}

// The sixteen little-endian words of a 64-byte block.
ZV_MD5_INLINE void LoadBlock(const uint8_t* block, uint32_t (&words)[16]) noexcept {
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(words, block, sizeof words);
    } else {
        for (std::size_t i = 0; i < 16; ++i) {
            const uint8_t* p = block + 4 * i;
            words[i] = static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
                       static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
        }
    }
}

// Step S on the working variables v = {a, b, c, d}. The variable a step
// replaces moves one place back each step, so step S writes v[(4 - S) % 4].
template <std::size_t S>
ZV_MD5_INLINE void Step(uint32_t (&v)[4], const uint32_t (&words)[16]) noexcept {
    constexpr std::size_t t = (4 - S % 4) % 4;
    uint32_t& a = v[t];
    const uint32_t b = v[(t + 1) % 4];
    const uint32_t c = v[(t + 2) % 4];
    const uint32_t d = v[(t + 3) % 4];
    // What does not depend on b, the result of the step before, is summed
    // first, so that only the last few operations wait for it.
    uint32_t sum = a + words[MessageWord(S)] + kSineTable[S];
#if defined(__clang__)
    // Clang would otherwise add the constant after the function of b, one
    // more operation on the chain that bounds MD5's speed.
    __asm__("" : "+r"(sum));
#endif
    if constexpr (S < 16) {
        sum += d ^ (b & (c ^ d));
    } else if constexpr (S < 32) {
        // (b & d) | (c & ~d), whose halves never share a bit, as a sum.
        sum += c & ~d;
        sum += b & d;
    } else if constexpr (S < 48) {
        sum += b ^ c ^ d;
    } else {
        sum += c ^ (b | ~d);
    }
    constexpr int r = kRotations[S / 16][S % 4];
    a = b + ((sum << r) | (sum >> (32 - r)));
}

// Steps First to First + Count - 1.
template <std::size_t First, std::size_t... I>
ZV_MD5_INLINE void StepsFrom(uint32_t (&v)[4], const uint32_t (&words)[16],
                             std::index_sequence<I...> /*unused*/) noexcept {
    (Step<First + I>(v, words), ...);
}

}  // namespace zv::md5
