// The choice of checksum engine, made once on first use.
#include <atomic>

#include "checksum_engine.hpp"
#include "digest_service.hpp"

namespace zv {
namespace {

constexpr ChecksumEngine kServiceEngine{"service", false, nullptr};
constexpr ChecksumEngine kPortableEngine{"portable", true, nullptr};

std::atomic<const ChecksumEngine*> overridingEngine{nullptr};

const ChecksumEngine& DetectedEngine() noexcept {
    static const ChecksumEngine& detected = []() noexcept -> const ChecksumEngine& {
#ifndef _WIN32
        if (const ChecksumEngine* stitched = StitchedChecksumEngine()) return *stitched;
#endif
        return ServiceOffersMd5() ? kServiceEngine : kPortableEngine;
    }();
    return detected;
}

}  // namespace

const ChecksumEngine& ServiceChecksumEngine() noexcept { return kServiceEngine; }
const ChecksumEngine& PortableChecksumEngine() noexcept { return kPortableEngine; }

const ChecksumEngine& ActiveChecksumEngine() noexcept {
    const ChecksumEngine* engine = overridingEngine.load(std::memory_order_acquire);
    return engine != nullptr ? *engine : DetectedEngine();
}

void OverrideChecksumEngineForTesting(const ChecksumEngine* engine) noexcept {
    overridingEngine.store(engine, std::memory_order_release);
}

}  // namespace zv
