// The platform's MD5 on OpenSSL's libcrypto, through its EVP digest interface.
#include <openssl/evp.h>
#include <openssl/opensslv.h>

#include <atomic>
#include <cstdlib>
#include <thread>

#include "digest_service.hpp"

namespace zv {
namespace {

#if OPENSSL_VERSION_NUMBER >= 0x30000000L

// OpenSSL 3 looks an algorithm up in its providers, which costs a lock and a
// search; the MD5 object is looked up once per process and kept until exit.
// MD5 is a checksum here, not a security function: "-fips" takes the fips
// property out of the default query, so that an OpenSSL configured to prefer
// FIPS implementations still hands out the default provider's MD5.
//
// Both variables are trivially destructible, so that a digest started after
// the release at exit finds a null pointer rather than a destroyed object.
constinit std::atomic<EVP_MD*> fetchedMd5{nullptr};
constinit std::atomic<unsigned> startingDigests{0};

void ReleaseFetchedMd5() noexcept {
    EVP_MD* md5 = fetchedMd5.exchange(nullptr);
    // A digest that has read the pointer takes its own reference in
    // EVP_DigestInit_ex; wait for those still between the two.
    while (startingDigests.load() != 0) std::this_thread::yield();
    EVP_MD_free(md5);
}

bool FetchMd5Once() noexcept {
    static const bool fetched = []() noexcept {
        EVP_MD* md5 = EVP_MD_fetch(nullptr, "MD5", "-fips");
        if (md5 == nullptr) return false;
        fetchedMd5.store(md5);
        // Registered after OpenSSL registered its own clean-up, so it runs
        // before that one (and when the library is unloaded, then). Should
        // registering fail, the object simply lives until the process ends.
        std::atexit(ReleaseFetchedMd5);
        return true;
    }();
    return fetched;
}

bool InitMd5(EVP_MD_CTX* context) noexcept {
    if (!FetchMd5Once()) return false;
    startingDigests.fetch_add(1);
    EVP_MD* md5 = fetchedMd5.load();
    const bool started = md5 != nullptr && EVP_DigestInit_ex(context, md5, nullptr) == 1;
    startingDigests.fetch_sub(1);
    return started;
}

#else

// OpenSSL 1.1 hands out a static MD5 object: nothing to fetch or release.
bool FetchMd5Once() noexcept { return EVP_md5() != nullptr; }

bool InitMd5(EVP_MD_CTX* context) noexcept {
    return EVP_DigestInit_ex(context, EVP_md5(), nullptr) == 1;
}

#endif

EVP_MD_CTX* Context(const std::uintptr_t (&handles)[2]) noexcept {
    return reinterpret_cast<EVP_MD_CTX*>(handles[0]);
}

}  // namespace

bool ServiceOffersMd5() noexcept { return FetchMd5Once(); }

ServiceMd5::~ServiceMd5() { Release(); }

void ServiceMd5::Release() noexcept {
    EVP_MD_CTX_free(Context(handles_));
    handles_[0] = 0;
}

bool ServiceMd5::Start() noexcept {
    Release();
    EVP_MD_CTX* context = EVP_MD_CTX_new();
    if (context == nullptr) return false;
    handles_[0] = reinterpret_cast<std::uintptr_t>(context);
    if (InitMd5(context)) return true;
    Release();
    return false;
}

bool ServiceMd5::Update(const uint8_t* data, std::size_t length) noexcept {
    EVP_MD_CTX* context = Context(handles_);
    if (context == nullptr) return false;
    if (EVP_DigestUpdate(context, data, length) == 1) return true;
    Release();
    return false;
}

bool ServiceMd5::Finish(uint8_t (&digest)[kMd5DigestSize]) noexcept {
    EVP_MD_CTX* context = Context(handles_);
    if (context == nullptr) return false;
    uint8_t result[EVP_MAX_MD_SIZE];
    unsigned int resultLength = 0;
    const bool done =
        EVP_DigestFinal_ex(context, result, &resultLength) == 1 && resultLength == kMd5DigestSize;
    Release();
    if (!done) return false;
    for (std::size_t i = 0; i < kMd5DigestSize; ++i) digest[i] = result[i];
    return true;
}

}  // namespace zv
