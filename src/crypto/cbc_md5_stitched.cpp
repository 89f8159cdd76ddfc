// The stitched engine: AES-256-CBC encryption and MD5 of the ciphertext in one
// loop. Each of the two is a single chain of dependent operations (every CBC
// block waits for the block before, every MD5 step for the step before), so
// either alone leaves most of the core idle. Encrypting 64 bytes while the 64
// bytes before them are digested gives the core two independent chains, and
// the pair runs in about the time of the slower one.
#include "checksum_engine.hpp"

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define ZV_CBC_MD5_STITCHED 1
#endif

#ifdef ZV_CBC_MD5_STITCHED

#include <immintrin.h>

#include <utility>

#include "crypto.hpp"
#include "md5_steps.hpp"

#define ZV_STITCHED_TARGET __attribute__((target("aes,sse2")))

namespace zv {
namespace {

constexpr std::size_t kRoundKeys = kAesRounds + 1;

using RoundKeys = __m128i[kRoundKeys];

ZV_STITCHED_TARGET ZV_MD5_INLINE __m128i Load(const uint8_t* bytes) noexcept {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes));
}

ZV_STITCHED_TARGET ZV_MD5_INLINE void Store(uint8_t* bytes, __m128i value) noexcept {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(bytes), value);
}

// One CBC block in place; returns its ciphertext, the next chaining value.
ZV_STITCHED_TARGET ZV_MD5_INLINE __m128i EncryptBlock(const RoundKeys& k, __m128i chain,
                                                      uint8_t* block) noexcept {
    __m128i state = _mm_xor_si128(_mm_xor_si128(Load(block), k[0]), chain);
    for (std::size_t r = 1; r < kAesRounds; ++r) state = _mm_aesenc_si128(state, k[r]);
    state = _mm_aesenclast_si128(state, k[kAesRounds]);
    Store(block, state);
    return state;
}

// The same, with MD5 steps First to First + 15 placed between the rounds:
// two before the first round, then one after each.
template <std::size_t First, std::size_t... R>
ZV_STITCHED_TARGET ZV_MD5_INLINE __m128i EncryptBlockBesideSteps(
    const RoundKeys& k, __m128i chain, uint8_t* block, uint32_t (&v)[4],
    const uint32_t (&words)[16], std::index_sequence<R...> /*rounds 1 to 13*/) noexcept {
    __m128i state = _mm_xor_si128(_mm_xor_si128(Load(block), k[0]), chain);
    md5::Step<First>(v, words);
    md5::Step<First + 1>(v, words);
    ((state = _mm_aesenc_si128(state, k[R + 1]), md5::Step<First + 2 + R>(v, words)), ...);
    state = _mm_aesenclast_si128(state, k[kAesRounds]);
    md5::Step<First + 15>(v, words);
    Store(block, state);
    return state;
}

ZV_STITCHED_TARGET void EncryptAndDigest(AesContext& context, Md5Context& md5, uint8_t* data,
                                         std::size_t length) noexcept {
    RoundKeys k;
    for (std::size_t r = 0; r < kRoundKeys; ++r) k[r] = Load(context.expandedKey + 16 * r);
    __m128i chain = Load(context.chainingValue);
    constexpr auto kRounds = std::make_index_sequence<kAesRounds - 1>{};

    const std::size_t chunks = length / kMd5BlockSize;
    if (chunks != 0) {
        // The first 64 bytes have nothing digested beside them, the last 64
        // nothing encrypted beside them.
        for (std::size_t b = 0; b < 4; ++b) chain = EncryptBlock(k, chain, data + 16 * b);
        for (std::size_t c = 1; c < chunks; ++c) {
            uint8_t* current = data + kMd5BlockSize * c;
            uint32_t words[16];
            md5::LoadBlock(current - kMd5BlockSize, words);
            uint32_t v[4] = {md5.state[0], md5.state[1], md5.state[2], md5.state[3]};
            chain = EncryptBlockBesideSteps<0>(k, chain, current, v, words, kRounds);
            chain = EncryptBlockBesideSteps<16>(k, chain, current + 16, v, words, kRounds);
            chain = EncryptBlockBesideSteps<32>(k, chain, current + 32, v, words, kRounds);
            chain = EncryptBlockBesideSteps<48>(k, chain, current + 48, v, words, kRounds);
            for (std::size_t i = 0; i < 4; ++i) md5.state[i] += v[i];
        }
        Md5CompressBlocks(md5.state, data + kMd5BlockSize * (chunks - 1), 1);
        md5.length += kMd5BlockSize * chunks;
    }
    // Up to three blocks after the last whole 64 bytes.
    const std::size_t done = kMd5BlockSize * chunks;
    for (std::size_t offset = done; offset < length; offset += 16) {
        chain = EncryptBlock(k, chain, data + offset);
    }
    Md5Update(md5, data + done, length - done);
    Store(context.chainingValue, chain);
    SecureWipe(k, sizeof k);
}

constexpr ChecksumEngine kStitchedEngine{"stitched", true, EncryptAndDigest};

}  // namespace

const ChecksumEngine* StitchedChecksumEngine() noexcept {
    // The accelerated AES engine exists exactly where the CPU has the
    // instructions this kernel needs.
    return AcceleratedAesEngine() != nullptr ? &kStitchedEngine : nullptr;
}

}  // namespace zv

#else

namespace zv {

const ChecksumEngine* StitchedChecksumEngine() noexcept { return nullptr; }

}  // namespace zv

#endif
