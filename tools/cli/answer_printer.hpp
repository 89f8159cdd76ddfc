// Printing an answer for people (one item per line, separators as escapes)
// or for scripts (JSON).
#pragma once

#include <string>
#include <string_view>

namespace zvcli {

// Text from a server (ISO-8859-15, any bytes) made safe for a UTF-8 terminal:
// 0x1F, 0xFE and the backslash shown as \A, \S and \\, control bytes (below
// 0x20 and 0x7F to 0x9F) as \xHH.
std::string FormatTextForPeople(std::string_view latin9);

// An answer is ISO-8859-15 text whose items are separated by 0x1C; a keyed
// answer's first item names the items, separated by 0xFE. A keyed answer
// prints as "NAME  value" lines with the values aligned (the name list itself
// left out), any other as "[i]  value" lines; text as FormatTextForPeople.
std::string FormatAnswerForPeople(std::string_view answer);

// Every item as it came, one per line, as FormatTextForPeople shows it.
std::string FormatRawItems(std::string_view answer);

// {"ok": true, "answer": "...", "items": [[sub-item, ...], ...]} with the
// text in UTF-8.
std::string FormatAnswerAsJson(std::string_view answer);

// {"ok": false, "error": "..."}; message is ISO-8859-15 when latin9 is set,
// else UTF-8 already.
std::string FormatErrorAsJson(std::string_view message, bool latin9);

}  // namespace zvcli
