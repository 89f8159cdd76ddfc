// Helpers of the crypto tests: hex, seeded random bytes, and OpenSSL's
// AES-256-CBC as an independent reference.
#pragma once

#include <openssl/evp.h>

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

// AES-256-CBC through OpenSSL's EVP interface; padding adds PKCS#7 on
// encryption and removes it on decryption.
inline Bytes OpenSslCbc(bool encrypt, const Bytes& key, const Bytes& iv, const Bytes& input,
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

}  // namespace zvtest
