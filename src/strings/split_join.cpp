// ZvStrSplit, ZvStrJoin and ZvExtractFromSplit: the exported split and join.
#include <cstring>
#include <limits>

#include "strings.hpp"
#include "zorvat.h"

using zv::NoThrow;

extern "C" {

char** ZvStrSplit(const char* text, uint8_t separator, uint32_t* count) {
    if (text == nullptr || count == nullptr) return nullptr;
    return NoThrow<char**>(nullptr, [&]() -> char** {
        const auto items = zv::SplitItems(text, static_cast<char>(separator));
        // Counts travel as 32-bit numbers; a text with more items cannot be described.
        if (items.size() > std::numeric_limits<uint32_t>::max()) return nullptr;
        *count = static_cast<uint32_t>(items.size());
        return zv::NewStringArray(items);
    });
}

char* ZvStrJoin(char* const* items, uint32_t count, const char* separator) {
    if (count == 0 || items == nullptr) return nullptr;
    return NoThrow<char*>(nullptr, [&]() -> char* {
        std::vector<std::string_view> views;
        views.reserve(count);
        for (uint32_t i = 0; i < count; ++i) {
            if (items[i] == nullptr) return nullptr;
            views.emplace_back(items[i]);
        }
        return zv::JoinItems(views, separator == nullptr ? std::string_view{} : separator);
    });
}

char* ZvExtractFromSplit(const char* text, uint8_t separator, uint32_t index) {
    if (text == nullptr) return nullptr;
    std::string_view item;
    if (!zv::FindItem(text, static_cast<char>(separator), index, item)) return nullptr;
    return zv::CopyToCString(item);
}

}  // extern "C"
