// Conversion of payload text between the callers' ISO-8859-15 and the
// server's UTF-8. Both directions are total: what cannot be represented is
// dropped, never rejected.
#pragma once

namespace zv {

// Both take a zero-terminated string (null counts as empty) and return a new
// block from malloc holding the converted text and zero bytes up to the end of
// the block, whose size is (n | 7) + 1 for a converted length n. They return
// null, with errno set to ENOMEM, when memory runs out.
char* Iso885915ToUtf8(const char* text) noexcept;
char* Utf8ToIso885915(const char* text) noexcept;

}  // namespace zv
