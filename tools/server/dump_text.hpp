// What --dump prints: each exchange decoded, made safe for a terminal.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "transport/frame_headers.hpp"

namespace zv::server {

// text (ISO-8859-15) as UTF-8 that cannot drive a terminal, escaped as
// zorvat-cli escapes what it prints: the argument separator 0x1F as \A, the
// sub-item separator 0xFE as \S, a backslash as \\, other bytes below 0x20
// and from 0x7F to 0x9F (0x1C among them) as \xHH in capitals. Beyond limit
// bytes, only a count of the rest is shown.
std::string TerminalSafe(std::string_view text, std::size_t limit = 4096);

// One line for each header, naming every field.
std::string DescribeRequestHeader(const RequestHeader& header);
std::string DescribeResponseHeader(const ResponseHeader& header);

}  // namespace zv::server
