// Session identifiers: version-4 UUIDs held as 16 bytes in GUID memory order
// (the first three fields byte-reversed) and written as 36-character text.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zv {

inline constexpr std::size_t kSessionIdSize = 16;
inline constexpr std::size_t kSessionIdTextLength = 36;

// 16 random bytes from the operating system's secure source, with the version
// and variant bits of a version-4 UUID, in GUID memory order; a new block from
// malloc, or null when memory or the random source fails.
uint8_t* NewRandomUuidBytes() noexcept;

// The two lowercase hex digits of byte, high nibble first.
void ByteToHexPair(uint8_t byte, char* pair) noexcept;

// The 36-character lowercase text of 16 identifier bytes, in a new 37-byte
// block from malloc, or null when memory runs out.
char* SessionIdToText(const uint8_t* bytes) noexcept;

// A new random identifier as text (NewRandomUuidBytes, then SessionIdToText).
char* NewSessionId() noexcept;

// The 16 bytes of an identifier text in a new block from malloc. Returns null
// for null text, for text that is not exactly 36 hex digits (either case) with
// '-' at positions 8, 13, 18 and 23, and when memory runs out. Never reads
// past the terminator.
uint8_t* SessionIdFromText(const char* text) noexcept;

}  // namespace zv
