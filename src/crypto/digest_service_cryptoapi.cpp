// The hash service on Windows CryptoAPI: a provider and a hash object for each
// digest, both released before the call returns, whatever happens.
#include <windows.h>

#include <wincrypt.h>  // needs the types of windows.h

#include "crypto.hpp"
#include "digest_service.hpp"

namespace zv {
namespace {

// MD5 and SHA-1 come from the full RSA provider type. SHA-256 is not
// offered there by every version of Windows, only by the AES provider type,
// which is asked for that one algorithm.
bool ProviderTypeFor(uint32_t algorithmId, DWORD& providerType) noexcept {
    switch (algorithmId) {
        case kAlgorithmMd5:
        case kAlgorithmSha1:
            providerType = PROV_RSA_FULL;
            return true;
        case kAlgorithmSha256:
            providerType = PROV_RSA_AES;
            return true;
        default:
            return false;
    }
}

// The two handles are plain numbers, not pointers, so each gets a small owner
// of its own rather than a std::unique_ptr.
class Provider {
public:
    explicit Provider(HCRYPTPROV handle) noexcept : handle_(handle) {}
    ~Provider() { CryptReleaseContext(handle_, 0); }
    Provider(const Provider&) = delete;
    Provider& operator=(const Provider&) = delete;
    HCRYPTPROV Handle() const noexcept { return handle_; }

private:
    HCRYPTPROV handle_;
};

class HashObject {
public:
    explicit HashObject(HCRYPTHASH handle) noexcept : handle_(handle) {}
    ~HashObject() { CryptDestroyHash(handle_); }
    HashObject(const HashObject&) = delete;
    HashObject& operator=(const HashObject&) = delete;
    HCRYPTHASH Handle() const noexcept { return handle_; }

private:
    HCRYPTHASH handle_;
};

}  // namespace

bool DigestWithPlatformService(uint32_t algorithmId, const uint8_t* input, uint32_t length,
                               uint8_t (&digest)[kMaxDigestSize], uint32_t& digestLength) noexcept {
    DWORD providerType = 0;
    if (!ProviderTypeFor(algorithmId, providerType)) return false;
    // No key container is opened or created, and the service never asks the
    // user anything.
    HCRYPTPROV acquired = 0;
    if (!CryptAcquireContextA(&acquired, nullptr, nullptr, providerType,
                              CRYPT_VERIFYCONTEXT | CRYPT_SILENT)) {
        return false;
    }
    // Declared before the hash so that the hash is destroyed first.
    const Provider provider(acquired);
    HCRYPTHASH created = 0;
    if (!CryptCreateHash(provider.Handle(), algorithmId, 0, 0, &created)) return false;
    const HashObject hash(created);
    if (!CryptHashData(hash.Handle(), input, length, 0)) return false;
    BYTE result[kMaxDigestSize];
    DWORD resultLength = sizeof result;
    if (!CryptGetHashParam(hash.Handle(), HP_HASHVAL, result, &resultLength, 0)) return false;
    if (resultLength > kMaxDigestSize) return false;
    for (DWORD i = 0; i < resultLength; ++i) digest[i] = result[i];
    digestLength = resultLength;
    return true;
}

}  // namespace zv
