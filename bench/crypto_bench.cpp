// The AES-256-CBC engines against OpenSSL's, the MD5 checksum, and
// encryption with its checksum (each checksum engine, and the stitched kernel
// against OpenSSL's cipher followed by OpenSSL's MD5). The cipher benchmarks
// keep one context and run the chain on over the same buffer, so they measure
// the cipher alone, not the key expansion.
#include <benchmark/benchmark.h>
#include <openssl/evp.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

#include "crypto/aes.hpp"
#include "crypto/checksum_engine.hpp"
#include "crypto/crypto.hpp"
#include "thread_cpu_time.hpp"

namespace {

constexpr int kSmall = 1024;
constexpr int kLarge = 1048576;
constexpr int kPayload = 16384;

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

// Encryption with the checksum of the ciphertext, as a request payload gets
// it: a fresh key schedule, the cipher and the digest, on one checksum engine.
void RunEncryptAndDigest(benchmark::State& state, const zv::ChecksumEngine* engine) {
    if (engine == nullptr) {
        state.SkipWithError("this CPU cannot run the engine");
        return;
    }
    state.SetLabel(engine->name);
    zv::OverrideChecksumEngineForTesting(engine);
    const auto key = PatternBytes(zv::kSessionKeySize, 1);
    auto buffer = PatternBytes(static_cast<std::size_t>(state.range(0)), 3);
    uint8_t checksum[zv::kChecksumSize];
    for (auto _ : state) {
        zv::EncryptInPlaceAndDigest(key.data(), nullptr, buffer.data(),
                                    static_cast<uint32_t>(buffer.size()), checksum);
        benchmark::DoNotOptimize(checksum);
        benchmark::ClobberMemory();
    }
    zv::OverrideChecksumEngineForTesting(nullptr);
    state.SetBytesProcessed(state.iterations() * state.range(0));
}

void BM_EncryptAndDigestStitched(benchmark::State& state) {
    RunEncryptAndDigest(state, zv::StitchedChecksumEngine());
}
void BM_EncryptAndDigestPortable(benchmark::State& state) {
    RunEncryptAndDigest(state, &zv::PortableChecksumEngine());
}
void BM_EncryptAndDigestService(benchmark::State& state) {
    RunEncryptAndDigest(state, &zv::ServiceChecksumEngine());
}

// OpenSSL's AES-256-CBC followed by OpenSSL's MD5 over the ciphertext, both
// algorithm objects fetched once: the best the composed pair does.
class OpenSslEncryptThenDigest {
public:
    OpenSslEncryptThenDigest()
        : cipher_(EVP_CIPHER_CTX_new(), EVP_CIPHER_CTX_free),
          md5_(EVP_MD_fetch(nullptr, "MD5", "-fips"), EVP_MD_free),
          aes_(EVP_CIPHER_fetch(nullptr, "AES-256-CBC", nullptr), EVP_CIPHER_free) {}
    bool Ready() const { return cipher_ && md5_ && aes_; }

    void Run(const uint8_t* key, const uint8_t* iv, uint8_t* buffer, int length,
             uint8_t* checksum) {
        int written = 0;
        EVP_EncryptInit_ex(cipher_.get(), aes_.get(), nullptr, key, iv);
        EVP_CIPHER_CTX_set_padding(cipher_.get(), 0);
        EVP_EncryptUpdate(cipher_.get(), buffer, &written, buffer, length);
        unsigned int digestLength = 0;
        EVP_Digest(buffer, static_cast<std::size_t>(length), checksum, &digestLength, md5_.get(),
                   nullptr);
    }

private:
    std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)> cipher_;
    std::unique_ptr<EVP_MD, decltype(&EVP_MD_free)> md5_;
    std::unique_ptr<EVP_CIPHER, decltype(&EVP_CIPHER_free)> aes_;
};

void BM_OpenSslEncryptThenMd5(benchmark::State& state) {
    OpenSslEncryptThenDigest pair;
    if (!pair.Ready()) {
        state.SkipWithError("OpenSSL lacks AES-256-CBC or MD5");
        return;
    }
    const auto key = PatternBytes(zv::kSessionKeySize, 1);
    const auto iv = PatternBytes(zv::kAesBlockSize, 2);
    auto buffer = PatternBytes(static_cast<std::size_t>(state.range(0)), 3);
    uint8_t checksum[EVP_MAX_MD_SIZE];
    for (auto _ : state) {
        pair.Run(key.data(), iv.data(), buffer.data(), static_cast<int>(buffer.size()), checksum);
        benchmark::DoNotOptimize(checksum);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * state.range(0));
}

// The stitched kernel and the OpenSSL pair alternated over the same buffer in
// one loop, so that both meet the same machine; "speedup" is the pair's CPU
// time over the kernel's.
void BM_StitchedVersusOpenSsl(benchmark::State& state) {
    const zv::ChecksumEngine* stitched = zv::StitchedChecksumEngine();
    OpenSslEncryptThenDigest pair;
    if (stitched == nullptr || !pair.Ready()) {
        state.SkipWithError("no stitched kernel here, or OpenSSL lacks AES-256-CBC or MD5");
        return;
    }
    zv::OverrideChecksumEngineForTesting(stitched);
    const auto key = PatternBytes(zv::kSessionKeySize, 1);
    const auto iv = PatternBytes(zv::kAesBlockSize, 2);
    auto buffer = PatternBytes(static_cast<std::size_t>(state.range(0)), 3);
    const auto length = static_cast<uint32_t>(buffer.size());
    uint8_t checksum[EVP_MAX_MD_SIZE];
    std::chrono::nanoseconds kernelTime{};
    std::chrono::nanoseconds pairTime{};
    for (auto _ : state) {
        const auto start = zvbench::ThreadCpuTime();
        zv::EncryptInPlaceAndDigest(key.data(), iv.data(), buffer.data(), length,
                                    *reinterpret_cast<uint8_t(*)[zv::kChecksumSize]>(checksum));
        const auto between = zvbench::ThreadCpuTime();
        pair.Run(key.data(), iv.data(), buffer.data(), static_cast<int>(length), checksum);
        kernelTime += between - start;
        pairTime += zvbench::ThreadCpuTime() - between;
        benchmark::DoNotOptimize(checksum);
        benchmark::ClobberMemory();
    }
    zv::OverrideChecksumEngineForTesting(nullptr);
    const auto seconds = [](std::chrono::nanoseconds d) {
        return std::chrono::duration<double>(d).count();
    };
    const double bytes = static_cast<double>(state.iterations()) * length;
    state.counters["kernel_MBps"] = bytes / seconds(kernelTime) / 1e6;
    state.counters["openssl_MBps"] = bytes / seconds(pairTime) / 1e6;
    state.counters["speedup"] = seconds(pairTime) / seconds(kernelTime);
}

}  // namespace

BENCHMARK(BM_AesCbcEncrypt)->Arg(kSmall)->Arg(kLarge);
BENCHMARK(BM_AesCbcDecrypt)->Arg(kSmall)->Arg(kLarge);
BENCHMARK(BM_AesCbcEncryptPortable)->Arg(kSmall)->Arg(kLarge);
BENCHMARK(BM_AesCbcDecryptPortable)->Arg(kSmall)->Arg(kLarge);
BENCHMARK(BM_OpenSslAesCbcEncrypt)->Arg(kSmall)->Arg(kLarge);
BENCHMARK(BM_OpenSslAesCbcDecrypt)->Arg(kSmall)->Arg(kLarge);
BENCHMARK(BM_Md5)->Arg(kSmall)->Arg(kLarge);
BENCHMARK(BM_EncryptAndDigestStitched)->Arg(kPayload)->Arg(kLarge);
BENCHMARK(BM_EncryptAndDigestPortable)->Arg(kPayload)->Arg(kLarge);
BENCHMARK(BM_EncryptAndDigestService)->Arg(kPayload)->Arg(kLarge);
BENCHMARK(BM_OpenSslEncryptThenMd5)->Arg(kPayload)->Arg(kLarge);
BENCHMARK(BM_StitchedVersusOpenSsl)->Arg(kPayload)->Arg(kLarge);
