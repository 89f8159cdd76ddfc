// Test helpers that take ownership of what the library hands out and release
// it with the library's own release functions.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "zorvat.h"

namespace zvtest {

struct ZvFreeDeleter {
    void operator()(char* text) const { ZvFreeMemory(text); }
};
using OwnedText = std::unique_ptr<char, ZvFreeDeleter>;

// Takes a string result; nullopt-like empty pointer when the library gave null.
inline OwnedText Own(char* text) { return OwnedText(text); }

// The items of a string array as strings, releasing the array; checks the
// terminating null pointer on the way.
struct ArrayItems {
    bool nullTerminated = false;
    std::vector<std::string> items;
};
inline ArrayItems TakeArray(char** array, uint32_t count) {
    ArrayItems result;
    if (array == nullptr) return result;
    for (uint32_t i = 0; i < count; ++i) result.items.emplace_back(array[i]);
    result.nullTerminated = array[count] == nullptr;
    ZvFreeMemoryStringArray(array, count);
    return result;
}

inline std::string Text(const OwnedText& text) { return text ? std::string(text.get()) : "<null>"; }

// Writes separators visibly: '|' stands for 0x1C (items), '^' for 0x1F
// (arguments, payload fields) and '~' for 0xFE (sub-items).
inline std::string R(std::string_view visible) {
    std::string bytes(visible);
    for (char& c : bytes) {
        if (c == '|') c = '\x1C';
        if (c == '^') c = '\x1F';
        if (c == '~') c = '\xFE';
    }
    return bytes;
}

}  // namespace zvtest
