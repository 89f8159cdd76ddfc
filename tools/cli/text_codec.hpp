// Text as people type and read it on a UTF-8 terminal, against the 8-bit
// ISO-8859-15 strings the library speaks.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace zvcli {

// Expands the escapes of --args (after the text has been converted, since the
// bytes they stand for are not UTF-8): \A is the argument separator 0x1F,
// \S the sub-item separator 0xFE, \I the item separator 0x1C, \xHH any byte,
// \\ a backslash. Returns nullopt, with a reason in error, for an unknown or
// unfinished escape and for \x00, which the zero-terminated text cannot carry.
std::optional<std::string> ExpandEscapes(std::string_view text, std::string& error);

// UTF-8 (as typed) to ISO-8859-15; refuses characters that ISO-8859-15 lacks
// rather than dropping them. Bytes that are not strictly valid UTF-8
// (overlong forms, surrogates, values above U+10FFFF, cut-short characters)
// are refused too, and so is a zero byte, which the zero-terminated text
// cannot carry.
std::optional<std::string> Utf8ToLatin9(std::string_view utf8, std::string& error);

// ISO-8859-15 to UTF-8, for printing.
std::string Latin9ToUtf8(std::string_view latin9);

}  // namespace zvcli
