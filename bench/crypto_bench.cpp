// The AES-256-CBC engines against OpenSSL's, and the MD5 checksum. The cipher
// benchmarks keep one context and run the chain on over the same buffer, so
// they measure the cipher alone, not the key expansion.
#include <benchmark/benchmark.h>
#include <openssl/evp.h>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

#include "crypto/aes.hpp"
#include "crypto/crypto.hpp"

namespace {

constexpr int kSmall = 1024;
constexpr int kLarge = 1048576;

std::vector<uint8_t> PatternBytes(std::size_t size, uint8_t seed) {
    std::vector<uint8_t> bytes(size);
    uint32_t state = seed;
    for (auto& b : bytes) {
        state = state * 1664525u + 1013904223u;
        b = static_cast<uint8_t>(state >> 24);
    }
    return bytes;
}

using EngineCall = void (*)(zv::AesContext&, uint8_t*, uint32_t) noexcept;

void RunCbc(benchmark::State& state, EngineCall call) {
    const auto key = PatternBytes(zv::kSessionKeySize, 1);
    const auto iv = PatternBytes(zv::kAesBlockSize, 2);
    auto buffer = PatternBytes(static_cast<std::size_t>(state.range(0)), 3);
    zv::AesContext context;
    zv::AesInitContext(context, key.data(), iv.data());
    for (auto _ : state) {
        call(context, buffer.data(), static_cast<uint32_t>(buffer.size()));
        benchmark::DoNotOptimize(buffer.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * state.range(0));
}

void BM_AesCbcEncrypt(benchmark::State& state) {
    state.SetLabel(zv::ActiveAesEngine().name);
    RunCbc(state, zv::AesCbcEncryptBuffer);
}
void BM_AesCbcDecrypt(benchmark::State& state) {
    state.SetLabel(zv::ActiveAesEngine().name);
    RunCbc(state, zv::AesCbcDecryptBuffer);
}
void BM_AesCbcEncryptPortable(benchmark::State& state) {
    RunCbc(state, zv::PortableAesEngine().cbcEncrypt);
}
void BM_AesCbcDecryptPortable(benchmark::State& state) {
    RunCbc(state, zv::PortableAesEngine().cbcDecrypt);
}

void RunOpenSslCbc(benchmark::State& state, bool encrypt) {
    const auto key = PatternBytes(zv::kSessionKeySize, 1);
    const auto iv = PatternBytes(zv::kAesBlockSize, 2);
    auto input = PatternBytes(static_cast<std::size_t>(state.range(0)), 3);
    std::vector<uint8_t> output(input.size() + zv::kAesBlockSize);
    std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)> context(EVP_CIPHER_CTX_new(),
                                                                            EVP_CIPHER_CTX_free);
    if (!context || EVP_CipherInit_ex(context.get(), EVP_aes_256_cbc(), nullptr, key.data(),
                                      iv.data(), encrypt ? 1 : 0) != 1) {
        state.SkipWithError("OpenSSL has no AES-256-CBC");
        return;
    }
    EVP_CIPHER_CTX_set_padding(context.get(), 0);
    for (auto _ : state) {
        int written = 0;
        EVP_CipherUpdate(context.get(), output.data(), &written, input.data(),
                         static_cast<int>(input.size()));
        benchmark::DoNotOptimize(output.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * state.range(0));
}

void BM_OpenSslAesCbcEncrypt(benchmark::State& state) { RunOpenSslCbc(state, true); }
void BM_OpenSslAesCbcDecrypt(benchmark::State& state) { RunOpenSslCbc(state, false); }

void BM_Md5(benchmark::State& state) {
    const auto data = PatternBytes(static_cast<std::size_t>(state.range(0)), 4);
    for (auto _ : state) {
        uint8_t* checksum = zv::ComputeChecksum(data.data(), static_cast<uint32_t>(data.size()));
        benchmark::DoNotOptimize(checksum);
        std::free(checksum);
    }
    state.SetBytesProcessed(state.iterations() * state.range(0));
}

}  // namespace

BENCHMARK(BM_AesCbcEncrypt)->Arg(kSmall)->Arg(kLarge);
BENCHMARK(BM_AesCbcDecrypt)->Arg(kSmall)->Arg(kLarge);
BENCHMARK(BM_AesCbcEncryptPortable)->Arg(kSmall)->Arg(kLarge);
BENCHMARK(BM_AesCbcDecryptPortable)->Arg(kSmall)->Arg(kLarge);
BENCHMARK(BM_OpenSslAesCbcEncrypt)->Arg(kSmall)->Arg(kLarge);
BENCHMARK(BM_OpenSslAesCbcDecrypt)->Arg(kSmall)->Arg(kLarge);
BENCHMARK(BM_Md5)->Arg(kSmall)->Arg(kLarge);
