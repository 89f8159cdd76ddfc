// Printing an answer for people (one item per line, separators as escapes)
// or for scripts (JSON).
#pragma once

#include <string>
#include <string_view>

namespace zvcli {

// An answer is ISO-8859-15 text whose items are separated by 0x1C; a keyed
// answer's first item names the items, separated by 0xFE. Items are shown
// one per line ("NAME = value" for a keyed answer, "[i] value" otherwise),
// with 0x1F, 0xFE and other control bytes written as \A, \S and \xHH.
std::string FormatAnswerForPeople(std::string_view answer);

// {"ok": true, "answer": "...", "items": [[sub-item, ...], ...]} with the
// text in UTF-8.
std::string FormatAnswerAsJson(std::string_view answer);

// {"ok": false, "error": "..."}
std::string FormatErrorAsJson(std::string_view message);

}  // namespace zvcli
