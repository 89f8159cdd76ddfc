// The platform's MD5 on Windows CryptoAPI: a provider and a hash object for
// each digest, both released when the digest finishes or fails, or when its
// owner goes. CryptHashData may be called any number of times on one hash.
#include <windows.h>

#include <wincrypt.h>  // needs the types of windows.h

#include <algorithm>

#include "digest_service.hpp"

namespace zv {

bool ServiceOffersMd5() noexcept { return true; }

ServiceMd5::~ServiceMd5() { Release(); }

// Hash first, then its provider.
void ServiceMd5::Release() noexcept {
    if (handles_[1] != 0) CryptDestroyHash(static_cast<HCRYPTHASH>(handles_[1]));
    if (handles_[0] != 0) CryptReleaseContext(static_cast<HCRYPTPROV>(handles_[0]), 0);
    handles_[0] = 0;
    handles_[1] = 0;
}

bool ServiceMd5::Start() noexcept {
    Release();
    // No key container is opened or created, and the service never asks the
    // user anything.
    HCRYPTPROV provider = 0;
    if (!CryptAcquireContextA(&provider, nullptr, nullptr, PROV_RSA_FULL,
                              CRYPT_VERIFYCONTEXT | CRYPT_SILENT)) {
        return false;
    }
    handles_[0] = provider;
    HCRYPTHASH hash = 0;
    if (!CryptCreateHash(provider, CALG_MD5, 0, 0, &hash)) {
        Release();
        return false;
    }
    handles_[1] = hash;
    return true;
}

bool ServiceMd5::Update(const uint8_t* data, std::size_t length) noexcept {
    if (handles_[1] == 0) return false;
    // CryptHashData counts in 32 bits; a larger piece goes in several calls.
    do {
        const auto piece = static_cast<DWORD>(std::min<std::size_t>(length, 0x40000000));
        if (!CryptHashData(static_cast<HCRYPTHASH>(handles_[1]), data, piece, 0)) {
            Release();
            return false;
        }
        data += piece;
        length -= piece;
    } while (length != 0);
    return true;
}

bool ServiceMd5::Finish(uint8_t (&digest)[kMd5DigestSize]) noexcept {
    if (handles_[1] == 0) return false;
    BYTE result[kMd5DigestSize];
    DWORD resultLength = sizeof result;
    const bool done = CryptGetHashParam(static_cast<HCRYPTHASH>(handles_[1]), HP_HASHVAL, result,
                                        &resultLength, 0) &&
                      resultLength == kMd5DigestSize;
    Release();
    if (!done) return false;
    std::copy(result, result + kMd5DigestSize, digest);
    return true;
}

}  // namespace zv
