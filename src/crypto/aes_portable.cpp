// The portable AES-256 engine: FIPS-197 byte by byte, with the two S-boxes and
// the round constants as its only tables. Byte i of a block is row i mod 4 of
// column i div 4, so each column is four consecutive bytes.
#include <cstring>

#include "aes.hpp"
#include "aes_tables.hpp"
#include "crypto.hpp"

namespace zv {
namespace {

constexpr std::size_t kKeyWords = 8;
constexpr std::size_t kScheduleWords = 4 * (kAesRounds + 1);

using Block = uint8_t[16];

void ExpandKey(const uint8_t* key, uint8_t* expandedKey) noexcept {
    std::memcpy(expandedKey, key, 4 * kKeyWords);
    for (std::size_t i = kKeyWords; i < kScheduleWords; ++i) {
        uint8_t temp[4];
        std::memcpy(temp, expandedKey + 4 * (i - 1), 4);
        if (i % kKeyWords == 0) {
            const uint8_t first = temp[0];
            temp[0] = static_cast<uint8_t>(kAesSbox[temp[1]] ^ kAesRoundConstants[i / kKeyWords]);
            temp[1] = kAesSbox[temp[2]];
            temp[2] = kAesSbox[temp[3]];
            temp[3] = kAesSbox[first];
        } else if (i % kKeyWords == 4) {
            for (uint8_t& byte : temp) byte = kAesSbox[byte];
        }
        for (std::size_t j = 0; j < 4; ++j) {
            expandedKey[4 * i + j] = expandedKey[4 * (i - kKeyWords) + j] ^ temp[j];
        }
    }
}

uint8_t Xtime(uint8_t x) noexcept {
    return static_cast<uint8_t>((x << 1) ^ ((x & 0x80) != 0 ? 0x1b : 0x00));
}

// x times factor in GF(2^8), summing x, 2x, 4x and 8x for the bits of factor.
uint8_t Multiply(uint8_t x, uint8_t factor) noexcept {
    uint8_t product = 0;
    for (; factor != 0; factor >>= 1, x = Xtime(x)) {
        if ((factor & 1) != 0) product ^= x;
    }
    return product;
}

void AddRoundKey(Block& state, const uint8_t* roundKey) noexcept {
    for (std::size_t i = 0; i < 16; ++i) state[i] ^= roundKey[i];
}

void SubBytes(Block& state, const uint8_t (&box)[256]) noexcept {
    for (uint8_t& byte : state) byte = box[byte];
}

// Row r (bytes r, r + 4, r + 8, r + 12) rotates left by r columns, or right
// by r when inverse is set.
void ShiftRows(Block& state, bool inverse) noexcept {
    Block shifted;
    for (std::size_t column = 0; column < 4; ++column) {
        for (std::size_t row = 0; row < 4; ++row) {
            const std::size_t from = inverse ? (column + 4 - row) % 4 : (column + row) % 4;
            shifted[4 * column + row] = state[4 * from + row];
        }
    }
    std::memcpy(state, shifted, sizeof shifted);
}

void MixColumns(Block& state) noexcept {
    for (std::size_t c = 0; c < 16; c += 4) {
        const uint8_t a0 = state[c], a1 = state[c + 1], a2 = state[c + 2], a3 = state[c + 3];
        const uint8_t t = a0 ^ a1 ^ a2 ^ a3;
        state[c] = a0 ^ t ^ Xtime(a0 ^ a1);
        state[c + 1] = a1 ^ t ^ Xtime(a1 ^ a2);
        state[c + 2] = a2 ^ t ^ Xtime(a2 ^ a3);
        state[c + 3] = a3 ^ t ^ Xtime(a3 ^ a0);
    }
}

void InverseMixColumns(Block& state) noexcept {
    for (std::size_t c = 0; c < 16; c += 4) {
        const uint8_t a0 = state[c], a1 = state[c + 1], a2 = state[c + 2], a3 = state[c + 3];
        state[c] =
            Multiply(a0, 0x0e) ^ Multiply(a1, 0x0b) ^ Multiply(a2, 0x0d) ^ Multiply(a3, 0x09);
        state[c + 1] =
            Multiply(a0, 0x09) ^ Multiply(a1, 0x0e) ^ Multiply(a2, 0x0b) ^ Multiply(a3, 0x0d);
        state[c + 2] =
            Multiply(a0, 0x0d) ^ Multiply(a1, 0x09) ^ Multiply(a2, 0x0e) ^ Multiply(a3, 0x0b);
        state[c + 3] =
            Multiply(a0, 0x0b) ^ Multiply(a1, 0x0d) ^ Multiply(a2, 0x09) ^ Multiply(a3, 0x0e);
    }
}

void EncryptBlock(Block& state, const uint8_t* expandedKey) noexcept {
    AddRoundKey(state, expandedKey);
    for (std::size_t round = 1; round < kAesRounds; ++round) {
        SubBytes(state, kAesSbox);
        ShiftRows(state, false);
        MixColumns(state);
        AddRoundKey(state, expandedKey + 16 * round);
    }
    SubBytes(state, kAesSbox);
    ShiftRows(state, false);
    AddRoundKey(state, expandedKey + 16 * kAesRounds);
}

void DecryptBlock(Block& state, const uint8_t* expandedKey) noexcept {
    AddRoundKey(state, expandedKey + 16 * kAesRounds);
    for (std::size_t round = kAesRounds - 1; round > 0; --round) {
        ShiftRows(state, true);
        SubBytes(state, kAesInverseSbox);
        AddRoundKey(state, expandedKey + 16 * round);
        InverseMixColumns(state);
    }
    ShiftRows(state, true);
    SubBytes(state, kAesInverseSbox);
    AddRoundKey(state, expandedKey);
}

void CbcEncrypt(AesContext& context, uint8_t* buffer, uint32_t length) noexcept {
    Block chain;
    std::memcpy(chain, context.chainingValue, sizeof chain);
    for (uint32_t offset = 0; offset < length; offset += 16) {
        for (std::size_t i = 0; i < 16; ++i) chain[i] ^= buffer[offset + i];
        EncryptBlock(chain, context.expandedKey);
        std::memcpy(buffer + offset, chain, sizeof chain);
    }
    std::memcpy(context.chainingValue, chain, sizeof chain);
}

void CbcDecrypt(AesContext& context, uint8_t* buffer, uint32_t length) noexcept {
    Block state;
    for (uint32_t offset = 0; offset < length; offset += 16) {
        Block ciphertext;
        std::memcpy(ciphertext, buffer + offset, sizeof ciphertext);
        std::memcpy(state, ciphertext, sizeof state);
        DecryptBlock(state, context.expandedKey);
        for (std::size_t i = 0; i < 16; ++i)
            buffer[offset + i] = state[i] ^ context.chainingValue[i];
        std::memcpy(context.chainingValue, ciphertext, sizeof ciphertext);
    }
    SecureWipe(state, sizeof state);
}

constexpr AesEngine kPortableEngine{"portable", ExpandKey, CbcEncrypt, CbcDecrypt};

}  // namespace

const AesEngine& PortableAesEngine() noexcept { return kPortableEngine; }

}  // namespace zv
