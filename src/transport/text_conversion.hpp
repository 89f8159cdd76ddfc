// Conversion of payload text between the callers' ISO-8859-15 and the
// server's UTF-8. Both directions are total: what cannot be represented is
// dropped, never rejected.
#pragma once

#include <cstddef>

namespace zv {

// The most bytes the UTF-8 form of length ISO-8859-15 bytes can take (the
// euro sign takes three).
constexpr std::size_t MaxUtf8Length(std::size_t length) noexcept { return 3 * length; }

// Writes the UTF-8 form of the length bytes at text to out, which has room
// for MaxUtf8Length(length) bytes, without a terminator; returns its length.
std::size_t Iso885915ToUtf8(const char* text, std::size_t length, char* out) noexcept;

// Converts the zero-terminated UTF-8 text to ISO-8859-15 where it stands
// (the result is never longer) and terminates it; returns its length.
std::size_t Utf8ToIso885915InPlace(char* text) noexcept;

// Utf8ToIso885915InPlace in pieces, for text too long to convert at once:
// converts the UTF-8 bytes of text from from up to to (a sequence that
// starts before to is taken whole) to ISO-8859-15 at text + written, and
// adds the bytes written to written. Returns where the next piece starts.
// The pieces go in order, the first from 0 with written 0; a zero byte ends
// the text, and the last piece ends there.
std::size_t Utf8ToIso885915Piece(char* text, std::size_t from, std::size_t to,
                                 std::size_t& written) noexcept;

// Both take a zero-terminated string (null counts as empty) and return a new
// block from malloc holding the converted text and zero bytes up to the end of
// the block, whose size is (n | 7) + 1 for a converted length n. They return
// null, with errno set to ENOMEM, when memory runs out.
char* Iso885915ToUtf8(const char* text) noexcept;
char* Utf8ToIso885915(const char* text) noexcept;

}  // namespace zv
