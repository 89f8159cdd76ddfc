// Helpers of the crypto tests: hex, seeded random bytes, and an independent
// AES-256-CBC and MD5 to check against: OpenSSL's, or on Windows CryptoAPI's.
#pragma once

#ifdef _WIN32
#include <windows.h>

#include <wincrypt.h>  // needs the types of windows.h
#else
#include <openssl/evp.h>
#endif

#include <algorithm>
#include <cstdint>
#include <memory>
#include <random>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace zvtest {

using Bytes = std::vector<uint8_t>;

inline Bytes FromHex(std::string_view hex) {
    Bytes bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
        bytes.push_back(
            static_cast<uint8_t>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16)));
    }
    return bytes;
}

inline std::string ToHex(const uint8_t* bytes, std::size_t size) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string hex;
    for (std::size_t i = 0; i < size; ++i) {
        hex += kDigits[bytes[i] >> 4];
        hex += kDigits[bytes[i] & 0x0f];
    }
    return hex;
}
inline std::string ToHex(const Bytes& bytes) { return ToHex(bytes.data(), bytes.size()); }

inline Bytes RandomBytes(std::mt19937& generator, std::size_t size) {
    std::uniform_int_distribution<int> byte(0, 255);
    Bytes bytes(size);
    for (auto& b : bytes) b = static_cast<uint8_t>(byte(generator));
    return bytes;
}

#ifdef _WIN32

// AES-256-CBC through CryptoAPI's AES provider; padding adds PKCS#7 on
// encryption and removes it on decryption.
inline Bytes ReferenceCbc(bool encrypt, const Bytes& key, const Bytes& iv, const Bytes& input,
                          bool padding) {
    HCRYPTPROV provider = 0;
    if (!CryptAcquireContextW(&provider, nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT)) {
        throw std::runtime_error("CryptAcquireContextW failed");
    }
    struct {
        BLOBHEADER header;
        DWORD size;
        BYTE key[32];
    } blob{{PLAINTEXTKEYBLOB, CUR_BLOB_VERSION, 0, CALG_AES_256}, 32, {}};
    std::copy(key.begin(), key.begin() + 32, blob.key);
    HCRYPTKEY handle = 0;
    DWORD mode = CRYPT_MODE_CBC;
    Bytes output(input);
    output.resize(input.size() + 16);
    DWORD length = static_cast<DWORD>(input.size());
    const bool done = CryptImportKey(provider, reinterpret_cast<const BYTE*>(&blob), sizeof blob, 0,
                                     0, &handle) &&
                      CryptSetKeyParam(handle, KP_MODE, reinterpret_cast<const BYTE*>(&mode), 0) &&
                      CryptSetKeyParam(handle, KP_IV, iv.data(), 0) &&
                      (encrypt ? CryptEncrypt(handle, 0, padding, 0, output.data(), &length,
                                              static_cast<DWORD>(output.size()))
                               : CryptDecrypt(handle, 0, padding, 0, output.data(), &length));
    if (handle != 0) CryptDestroyKey(handle);
    CryptReleaseContext(provider, 0);
    if (!done) throw std::runtime_error("CryptoAPI AES failed");
    output.resize(length);
    return output;
}

inline Bytes ReferenceMd5(const Bytes& input) {
    HCRYPTPROV provider = 0;
    HCRYPTHASH hash = 0;
    Bytes digest(16);
    DWORD length = 16;
    const bool done =
        CryptAcquireContextW(&provider, nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT) &&
        CryptCreateHash(provider, CALG_MD5, 0, 0, &hash) &&
        CryptHashData(hash, input.data(), static_cast<DWORD>(input.size()), 0) &&
        CryptGetHashParam(hash, HP_HASHVAL, digest.data(), &length, 0);
    if (hash != 0) CryptDestroyHash(hash);
    if (provider != 0) CryptReleaseContext(provider, 0);
    if (!done) throw std::runtime_error("CryptoAPI MD5 failed");
    return digest;
}

#else

// AES-256-CBC through OpenSSL's EVP interface; padding adds PKCS#7 on
// encryption and removes it on decryption.
inline Bytes ReferenceCbc(bool encrypt, const Bytes& key, const Bytes& iv, const Bytes& input,
                          bool padding) {
    std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)> context(EVP_CIPHER_CTX_new(),
                                                                            EVP_CIPHER_CTX_free);
    if (!context || EVP_CipherInit_ex(context.get(), EVP_aes_256_cbc(), nullptr, key.data(),
                                      iv.data(), encrypt ? 1 : 0) != 1) {
        throw std::runtime_error("EVP_CipherInit_ex failed");
    }
    EVP_CIPHER_CTX_set_padding(context.get(), padding ? 1 : 0);
    Bytes output(input.size() + 32);
    int written = 0;
    int finalWritten = 0;
    if (EVP_CipherUpdate(context.get(), output.data(), &written, input.data(),
                         static_cast<int>(input.size())) != 1 ||
        EVP_CipherFinal_ex(context.get(), output.data() + written, &finalWritten) != 1) {
        throw std::runtime_error("EVP cipher failed");
    }
    output.resize(static_cast<std::size_t>(written + finalWritten));
    return output;
}

inline Bytes ReferenceMd5(const Bytes& input) {
    Bytes digest(EVP_MAX_MD_SIZE);
    unsigned int length = 0;
    if (EVP_Digest(input.data(), input.size(), digest.data(), &length, EVP_md5(), nullptr) != 1) {
        throw std::runtime_error("EVP_Digest failed");
    }
    digest.resize(length);
    return digest;
}

#endif

}  // namespace zvtest
