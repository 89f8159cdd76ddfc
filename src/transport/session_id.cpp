// Session identifiers: random version-4 UUIDs in GUID memory order, their
// 36-character text and its parser.
#include <cstdlib>

#include "transport/random_source.hpp"
#include "transport/session_id.hpp"

namespace zv {
namespace {

// Text pair k of an identifier holds byte kTextOrder[k]: the first three
// fields are stored byte-reversed.
constexpr std::size_t kTextOrder[kSessionIdSize] = {3, 2, 1,  0,  5,  4,  7,  6,
                                                    8, 9, 10, 11, 12, 13, 14, 15};

constexpr bool IsSeparatorPosition(std::size_t position) noexcept {
    return position == 8 || position == 13 || position == 18 || position == 23;
}

// The value of a hex digit of either case, or -1.
int HexValue(char digit) noexcept {
    if (digit >= '0' && digit <= '9') return digit - '0';
    if (digit >= 'a' && digit <= 'f') return digit - 'a' + 10;
    if (digit >= 'A' && digit <= 'F') return digit - 'A' + 10;
    return -1;
}

}  // namespace

uint8_t* NewRandomUuidBytes() noexcept {
    uint8_t random[kSessionIdSize];
    if (!FillWithSecureRandom(random, sizeof random)) return nullptr;
    random[6] = static_cast<uint8_t>((random[6] & 0x0F) | 0x40);  // version 4
    random[8] = static_cast<uint8_t>((random[8] & 0x3F) | 0x80);  // variant bits 10

    auto* bytes = static_cast<uint8_t*>(std::malloc(kSessionIdSize));
    if (bytes == nullptr) return nullptr;
    // The random bytes are in text order; the identifier is kept in memory order.
    for (std::size_t pair = 0; pair < kSessionIdSize; ++pair)
        bytes[kTextOrder[pair]] = random[pair];
    return bytes;
}

void ByteToHexPair(uint8_t byte, char* pair) noexcept {
    static constexpr char kDigits[] = "0123456789abcdef";
    pair[0] = kDigits[byte >> 4];
    pair[1] = kDigits[byte & 0x0F];
}

char* SessionIdToText(const uint8_t* bytes) noexcept {
    if (bytes == nullptr) return nullptr;
    auto* text = static_cast<char*>(std::malloc(kSessionIdTextLength + 1));
    if (text == nullptr) return nullptr;
    std::size_t position = 0;
    for (std::size_t pair = 0; pair < kSessionIdSize; ++pair) {
        if (IsSeparatorPosition(position)) text[position++] = '-';
        ByteToHexPair(bytes[kTextOrder[pair]], text + position);
        position += 2;
    }
    text[kSessionIdTextLength] = '\0';
    return text;
}

char* NewSessionId() noexcept {
    uint8_t* bytes = NewRandomUuidBytes();
    if (bytes == nullptr) return nullptr;
    char* text = SessionIdToText(bytes);
    std::free(bytes);
    return text;
}

uint8_t* SessionIdFromText(const char* text) noexcept {
    if (text == nullptr) return nullptr;
    uint8_t parsed[kSessionIdSize];
    std::size_t pair = 0;
    // Every character is checked before the next is read, and the terminator
    // fails every check, so the scan stops there.
    for (std::size_t position = 0; position < kSessionIdTextLength; ++position) {
        if (IsSeparatorPosition(position)) {
            if (text[position] != '-') return nullptr;
            continue;
        }
        const int high = HexValue(text[position]);
        if (high < 0) return nullptr;
        const int low = HexValue(text[++position]);
        if (low < 0) return nullptr;
        parsed[pair++] = static_cast<uint8_t>(high << 4 | low);
    }
    if (text[kSessionIdTextLength] != '\0') return nullptr;

    auto* bytes = static_cast<uint8_t*>(std::malloc(kSessionIdSize));
    if (bytes == nullptr) return nullptr;
    for (std::size_t i = 0; i < kSessionIdSize; ++i) bytes[kTextOrder[i]] = parsed[i];
    return bytes;
}

}  // namespace zv
