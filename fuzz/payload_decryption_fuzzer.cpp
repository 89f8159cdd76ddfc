// Payload decryption on arbitrary ciphertext and padding. Input: a flags byte
// (bit 0: the input supplies the key, else the fixed one; bit 1: it supplies
// the initialisation vector, else the built-in one; bit 2: ask for a
// terminating zero), then the key and vector bytes so chosen, then the
// ciphertext. Encryption of the same bytes is checked to round-trip as well,
// and encryption in place with its checksum to give the same bytes and the
// checksum of them.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <span>

#include "crypto/crypto.hpp"
#include "fuzz_input.hpp"
#include "fuzz_key.hpp"
#include "strings/strings.hpp"

namespace {

using zvfuzz::Require;

// A copy in a block of exactly its size, so that any read past it is caught.
zv::MallocPtr<uint8_t> ExactCopy(std::span<const uint8_t> bytes) {
    zv::MallocPtr<uint8_t> copy(
        static_cast<uint8_t*>(std::malloc(bytes.empty() ? 1 : bytes.size())));
    Require(copy != nullptr);
    if (!bytes.empty()) std::memcpy(copy.get(), bytes.data(), bytes.size());
    return copy;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    zvfuzz::FuzzInput input(data, size);
    const uint8_t flags = input.TakeByte();
    uint8_t key[zv::kSessionKeySize];
    std::memcpy(key, zvfuzz::kFuzzKeyBytes, sizeof key);
    if ((flags & 1) != 0) {
        const auto given = input.TakeBytes(sizeof key);
        std::copy(given.begin(), given.end(), key);
    }
    uint8_t iv[zv::kAesBlockSize] = {};
    const bool ownVector = (flags & 2) != 0;
    if (ownVector) {
        const auto given = input.TakeBytes(sizeof iv);
        std::copy(given.begin(), given.end(), iv);
    }
    const uint8_t* vector = ownVector ? iv : nullptr;
    const bool terminate = (flags & 4) != 0;
    const auto ciphertext = input.TakeRest();
    const auto length = static_cast<uint32_t>(ciphertext.size());

    // Decryption: a result only for whole blocks with valid padding, and then
    // one that encrypts back to exactly the ciphertext.
    const zv::MallocPtr<uint8_t> work = ExactCopy(ciphertext);
    uint32_t plainLength = 0xFFFFFFFF;
    const zv::MallocPtr<uint8_t> plain(
        zv::DecryptPayload(work.get(), length, &plainLength, vector, key, terminate));
    if (plain != nullptr) {
        Require(length != 0 && length % zv::kAesBlockSize == 0);
        Require(plainLength < length && length - plainLength <= zv::kAesBlockSize);
        if (terminate) Require(plain.get()[plainLength] == 0);
        uint32_t againLength = 0;
        const zv::MallocPtr<uint8_t> again(
            zv::EncryptPayload(plain.get(), plainLength, &againLength, vector, key));
        Require(again != nullptr && againLength == length);
        Require(std::memcmp(again.get(), ciphertext.data(), length) == 0);
    }

    // Encryption of the same bytes as plaintext, and back.
    uint32_t encryptedLength = 0;
    const zv::MallocPtr<uint8_t> encrypted(
        zv::EncryptPayload(ciphertext.data(), length, &encryptedLength, vector, key));
    Require(encrypted != nullptr);
    Require(encryptedLength % zv::kAesBlockSize == 0 && encryptedLength > length &&
            encryptedLength - length <= zv::kAesBlockSize);
    const zv::MallocPtr<uint8_t> inPlace(static_cast<uint8_t*>(std::malloc(encryptedLength)));
    Require(inPlace != nullptr);
    if (length != 0) std::memcpy(inPlace.get(), ciphertext.data(), length);
    zv::PadPayload(inPlace.get(), length);
    uint8_t checksum[zv::kChecksumSize];
    Require(zv::EncryptInPlaceAndDigest(key, vector, inPlace.get(), encryptedLength, checksum));
    Require(std::memcmp(inPlace.get(), encrypted.get(), encryptedLength) == 0);
    const zv::MallocPtr<uint8_t> expected(zv::ComputeChecksum(encrypted.get(), encryptedLength));
    Require(expected != nullptr && std::memcmp(expected.get(), checksum, sizeof checksum) == 0);

    uint32_t decryptedLength = 0;
    const zv::MallocPtr<uint8_t> decrypted(zv::DecryptPayload(
        encrypted.get(), encryptedLength, &decryptedLength, vector, key, terminate));
    Require(decrypted != nullptr && decryptedLength == length);
    Require(length == 0 || std::memcmp(decrypted.get(), ciphertext.data(), length) == 0);
    zv::SecureWipe(key, sizeof key);
    return 0;
}
