// The hash service on OpenSSL's libcrypto, through its EVP digest interface.
#include <openssl/evp.h>

#include <memory>

#include "crypto.hpp"
#include "digest_service.hpp"

namespace zv {
namespace {

const EVP_MD* DigestFor(uint32_t algorithmId) noexcept {
    switch (algorithmId) {
        case kAlgorithmMd5:
            return EVP_md5();
        case kAlgorithmSha1:
            return EVP_sha1();
        case kAlgorithmSha256:
            return EVP_sha256();
        default:
            return nullptr;
    }
}

struct DigestContextDeleter {
    void operator()(EVP_MD_CTX* context) const noexcept { EVP_MD_CTX_free(context); }
};

}  // namespace

bool DigestWithPlatformService(uint32_t algorithmId, const uint8_t* input, uint32_t length,
                               uint8_t (&digest)[kMaxDigestSize], uint32_t& digestLength) noexcept {
    const EVP_MD* algorithm = DigestFor(algorithmId);
    if (algorithm == nullptr) return false;
    std::unique_ptr<EVP_MD_CTX, DigestContextDeleter> context(EVP_MD_CTX_new());
    if (context == nullptr) return false;
    // A provider may refuse an algorithm (MD5 in a FIPS-only setup): that is a
    // failing service like any other.
    if (EVP_DigestInit_ex(context.get(), algorithm, nullptr) != 1) return false;
    if (EVP_DigestUpdate(context.get(), input, length) != 1) return false;
    uint8_t result[EVP_MAX_MD_SIZE];
    unsigned int resultLength = 0;
    if (EVP_DigestFinal_ex(context.get(), result, &resultLength) != 1) return false;
    if (resultLength > kMaxDigestSize) return false;
    for (unsigned int i = 0; i < resultLength; ++i) digest[i] = result[i];
    digestLength = resultLength;
    return true;
}

}  // namespace zv
