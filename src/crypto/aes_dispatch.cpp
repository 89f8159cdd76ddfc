// The choice of AES engine, made once on first use, and the three operations
// that forward to it.
#include <atomic>

#include "aes.hpp"

namespace zv {
namespace {

std::atomic<const AesEngine*> overridingEngine{nullptr};

const AesEngine& DetectedEngine() noexcept {
    // A function-local static is initialised exactly once, even when several
    // threads arrive here together.
    static const AesEngine& detected = []() noexcept -> const AesEngine& {
        const AesEngine* accelerated = AcceleratedAesEngine();
        return accelerated != nullptr ? *accelerated : PortableAesEngine();
    }();
    return detected;
}

}  // namespace

const AesEngine& ActiveAesEngine() noexcept {
    const AesEngine* engine = overridingEngine.load(std::memory_order_acquire);
    return engine != nullptr ? *engine : DetectedEngine();
}

void OverrideAesEngineForTesting(const AesEngine* engine) noexcept {
    overridingEngine.store(engine, std::memory_order_release);
}

void AesInitContext(AesContext& context, const uint8_t* key, const uint8_t* iv) noexcept {
    ActiveAesEngine().expandKey(key, context.expandedKey);
    for (std::size_t i = 0; i < sizeof context.chainingValue; ++i) context.chainingValue[i] = iv[i];
}

void AesCbcEncryptBuffer(AesContext& context, uint8_t* buffer, uint32_t length) noexcept {
    ActiveAesEngine().cbcEncrypt(context, buffer, length);
}

void AesCbcDecryptBuffer(AesContext& context, uint8_t* buffer, uint32_t length) noexcept {
    ActiveAesEngine().cbcDecrypt(context, buffer, length);
}

}  // namespace zv
