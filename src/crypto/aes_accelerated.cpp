// The AES engine on x86-64's AES instructions (AES-NI), reached through
// compiler intrinsics in functions compiled for them alone, so the rest of
// the library still runs on CPUs without them. CBC encryption is serial by
// nature; decryption is not, and runs eight blocks at once to keep the AES
// units busy. Elsewhere (other CPUs, other compilers) there is no such engine.
#include "aes.hpp"

#if (defined(__x86_64__) || defined(__i386__)) && (defined(__GNUC__) || defined(__clang__))
#define ZV_AES_ACCELERATED 1
#endif

#ifdef ZV_AES_ACCELERATED

#include <cpuid.h>
#include <immintrin.h>

#include "crypto.hpp"

#define ZV_AES_TARGET __attribute__((target("aes,sse2")))

namespace zv {
namespace {

constexpr std::size_t kRoundKeys = kAesRounds + 1;
constexpr std::size_t kParallelBlocks = 8;

ZV_AES_TARGET __m128i Load(const uint8_t* bytes) noexcept {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes));
}

ZV_AES_TARGET void Store(uint8_t* bytes, __m128i value) noexcept {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(bytes), value);
}

// The round-key words w[i] to w[i + 3] for i mod 8 = 0 (rotated, substituted
// and with the round constant, which assist carries in its top word) or for
// i mod 8 = 4 (substituted only, in assist's third word): each word is the
// one eight words back XOR the running XOR of the words before it.
ZV_AES_TARGET __m128i NextRoundKey(__m128i eightWordsBack, __m128i assist) noexcept {
    __m128i key = eightWordsBack;
    key = _mm_xor_si128(key, _mm_slli_si128(key, 4));
    key = _mm_xor_si128(key, _mm_slli_si128(key, 4));
    key = _mm_xor_si128(key, _mm_slli_si128(key, 4));
    return _mm_xor_si128(key, assist);
}

// Round keys 2, 4, ... 14 take the round constant, which the instruction
// needs as an immediate; round keys 3, 5, ... 13 take SubWord alone.
template <int RoundConstant>
ZV_AES_TARGET __m128i EvenRoundKey(__m128i twoBack, __m128i previous) noexcept {
    return NextRoundKey(
        twoBack, _mm_shuffle_epi32(_mm_aeskeygenassist_si128(previous, RoundConstant), 0xFF));
}

ZV_AES_TARGET __m128i OddRoundKey(__m128i twoBack, __m128i previous) noexcept {
    return NextRoundKey(twoBack, _mm_shuffle_epi32(_mm_aeskeygenassist_si128(previous, 0), 0xAA));
}

ZV_AES_TARGET void ExpandKey(const uint8_t* key, uint8_t* expandedKey) noexcept {
    __m128i keys[kRoundKeys];
    keys[0] = Load(key);
    keys[1] = Load(key + 16);
    keys[2] = EvenRoundKey<0x01>(keys[0], keys[1]);
    keys[3] = OddRoundKey(keys[1], keys[2]);
    keys[4] = EvenRoundKey<0x02>(keys[2], keys[3]);
    keys[5] = OddRoundKey(keys[3], keys[4]);
    keys[6] = EvenRoundKey<0x04>(keys[4], keys[5]);
    keys[7] = OddRoundKey(keys[5], keys[6]);
    keys[8] = EvenRoundKey<0x08>(keys[6], keys[7]);
    keys[9] = OddRoundKey(keys[7], keys[8]);
    keys[10] = EvenRoundKey<0x10>(keys[8], keys[9]);
    keys[11] = OddRoundKey(keys[9], keys[10]);
    keys[12] = EvenRoundKey<0x20>(keys[10], keys[11]);
    keys[13] = OddRoundKey(keys[11], keys[12]);
    keys[14] = EvenRoundKey<0x40>(keys[12], keys[13]);
    for (std::size_t r = 0; r < kRoundKeys; ++r) Store(expandedKey + 16 * r, keys[r]);
    SecureWipe(keys, sizeof keys);
}

ZV_AES_TARGET void CbcEncrypt(AesContext& context, uint8_t* buffer, uint32_t length) noexcept {
    const uint8_t* k = context.expandedKey;
    const __m128i k0 = Load(k), k1 = Load(k + 16), k2 = Load(k + 32), k3 = Load(k + 48),
                  k4 = Load(k + 64), k5 = Load(k + 80), k6 = Load(k + 96), k7 = Load(k + 112),
                  k8 = Load(k + 128), k9 = Load(k + 144), k10 = Load(k + 160), k11 = Load(k + 176),
                  k12 = Load(k + 192), k13 = Load(k + 208), k14 = Load(k + 224);
    __m128i chain = Load(context.chainingValue);
    for (uint32_t offset = 0; offset < length; offset += 16) {
        // The plaintext's XOR with round key 0 does not wait for the chain.
        const __m128i whitened = _mm_xor_si128(Load(buffer + offset), k0);
        __m128i state = _mm_xor_si128(whitened, chain);
        state = _mm_aesenc_si128(state, k1);
        state = _mm_aesenc_si128(state, k2);
        state = _mm_aesenc_si128(state, k3);
        state = _mm_aesenc_si128(state, k4);
        state = _mm_aesenc_si128(state, k5);
        state = _mm_aesenc_si128(state, k6);
        state = _mm_aesenc_si128(state, k7);
        state = _mm_aesenc_si128(state, k8);
        state = _mm_aesenc_si128(state, k9);
        state = _mm_aesenc_si128(state, k10);
        state = _mm_aesenc_si128(state, k11);
        state = _mm_aesenc_si128(state, k12);
        state = _mm_aesenc_si128(state, k13);
        chain = _mm_aesenclast_si128(state, k14);
        Store(buffer + offset, chain);
    }
    Store(context.chainingValue, chain);
}

// The instructions decrypt with the equivalent inverse cipher, whose middle
// round keys are the encryption keys through InvMixColumns, in reverse order.
ZV_AES_TARGET void DecryptionKeys(const AesContext& context, __m128i (&keys)[kRoundKeys]) noexcept {
    keys[0] = Load(context.expandedKey + 16 * kAesRounds);
    for (std::size_t r = 1; r < kAesRounds; ++r) {
        keys[r] = _mm_aesimc_si128(Load(context.expandedKey + 16 * (kAesRounds - r)));
    }
    keys[kAesRounds] = Load(context.expandedKey);
}

ZV_AES_TARGET void CbcDecrypt(AesContext& context, uint8_t* buffer, uint32_t length) noexcept {
    __m128i keys[kRoundKeys];
    DecryptionKeys(context, keys);
    __m128i chain = Load(context.chainingValue);
    uint32_t offset = 0;
    for (; length - offset >= 16 * kParallelBlocks; offset += 16 * kParallelBlocks) {
        __m128i ciphertext[kParallelBlocks];
        __m128i state[kParallelBlocks];
        for (std::size_t b = 0; b < kParallelBlocks; ++b) {
            ciphertext[b] = Load(buffer + offset + 16 * b);
            state[b] = _mm_xor_si128(ciphertext[b], keys[0]);
        }
        for (std::size_t r = 1; r < kAesRounds; ++r) {
            const __m128i key = keys[r];
            for (std::size_t b = 0; b < kParallelBlocks; ++b) {
                state[b] = _mm_aesdec_si128(state[b], key);
            }
        }
        for (std::size_t b = 0; b < kParallelBlocks; ++b) {
            state[b] = _mm_aesdeclast_si128(state[b], keys[kAesRounds]);
            Store(buffer + offset + 16 * b, _mm_xor_si128(state[b], chain));
            chain = ciphertext[b];
        }
    }
    for (; offset < length; offset += 16) {
        const __m128i ciphertext = Load(buffer + offset);
        __m128i state = _mm_xor_si128(ciphertext, keys[0]);
        for (std::size_t r = 1; r < kAesRounds; ++r) state = _mm_aesdec_si128(state, keys[r]);
        state = _mm_aesdeclast_si128(state, keys[kAesRounds]);
        Store(buffer + offset, _mm_xor_si128(state, chain));
        chain = ciphertext;
    }
    Store(context.chainingValue, chain);
    SecureWipe(keys, sizeof keys);
}

bool CpuHasAesInstructions() noexcept {
    unsigned int eax = 0, ebx = 0, ecx = 0, edx = 0;
    if (__get_cpuid(1, &eax, &ebx, &ecx, &edx) == 0) return false;
    constexpr unsigned int kSse2 = 1u << 26;   // edx
    constexpr unsigned int kAesNi = 1u << 25;  // ecx
    return (edx & kSse2) != 0 && (ecx & kAesNi) != 0;
}

constexpr AesEngine kAcceleratedEngine{"accelerated", ExpandKey, CbcEncrypt, CbcDecrypt};

}  // namespace

const AesEngine* AcceleratedAesEngine() noexcept {
    static const bool available = CpuHasAesInstructions();
    return available ? &kAcceleratedEngine : nullptr;
}

}  // namespace zv

#else

namespace zv {

const AesEngine* AcceleratedAesEngine() noexcept { return nullptr; }

}  // namespace zv

#endif
