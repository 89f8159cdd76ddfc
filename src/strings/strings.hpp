// The record-string toolkit as the rest of the library uses it: owning types
// for blocks from malloc, and splitting and joining over string views.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <span>
#include <string_view>
#include <vector>

namespace zv {

inline constexpr char kItemSeparator = '\x1C';      // items of records and answers
inline constexpr char kArgumentSeparator = '\x1F';  // arguments, request payload fields
inline constexpr char kSubitemSeparator = '\xFE';   // sub-items, the key list of an answer

// Everything handed to a caller comes from malloc, so that ZvFreeMemory (free)
// can release it; these own such blocks while the library still holds them.
struct FreeDeleter {
    void operator()(void* block) const noexcept { std::free(block); }
};
template <typename T>
using MallocPtr = std::unique_ptr<T, FreeDeleter>;
using CString = MallocPtr<char>;

// A new zero-terminated copy of text, or null when memory runs out.
char* CopyToCString(std::string_view text) noexcept;

// The items of text between separator bytes, as views into text: n separators
// make n + 1 items, empty ones included. Throws std::bad_alloc.
std::vector<std::string_view> SplitItems(std::string_view text, char separator);

// Item index of text without splitting the rest; false when there is none.
bool FindItem(std::string_view text, char separator, std::size_t index, std::string_view& item);

// A new string of the items with separator between them, or null when memory
// runs out.
char* JoinItems(std::span<const std::string_view> items, std::string_view separator) noexcept;

// A new string array (count + 1 pointers, the last null, each item its own
// block), or null when memory runs out. Released with FreeStringArray.
char** NewStringArray(std::span<const std::string_view> items) noexcept;
void FreeStringArray(char** array, std::size_t count) noexcept;

// Runs body and turns any exception into fallback, so that none crosses the
// C boundary.
template <typename Result, typename Body>
Result NoThrow(Result fallback, Body&& body) noexcept {
    try {
        return body();
    } catch (...) {
        return fallback;
    }
}

}  // namespace zv
