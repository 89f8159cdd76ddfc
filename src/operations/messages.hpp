// The messages that an operation's failure codes give the caller.
#pragma once

#include <cstdint>
#include <string>

namespace zv {

// "Cnnn: text" for code. Codes 510 to 512 carry lastSocketError in their text
// and are shown under 310 to 312; a code without a text of its own reads
// "Cnnn: INTERNAL ERROR n". Code 999 has no text here: its message is the
// server's own words, which the entry points copy. Throws std::bad_alloc.
std::string ErrorMessageText(uint32_t code, int32_t lastSocketError);

// ErrorMessageText in a new block from malloc, or null when memory runs out.
char* BuildErrorMessage(uint32_t code, int32_t lastSocketError) noexcept;

}  // namespace zv
