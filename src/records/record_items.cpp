#include <cstdio>

#include "records.hpp"
#include "strings/strings.hpp"

namespace zv {

std::string DecimalText(int32_t value) {
    char text[16];
    const int length = std::snprintf(text, sizeof text, "%d", static_cast<int>(value));
    return std::string(text, static_cast<std::size_t>(length));
}

char** ExtractAllItems(const char* record, std::size_t expectedItems) noexcept {
    if (record == nullptr) return nullptr;
    return NoThrow<char**>(nullptr, [&]() -> char** {
        const auto items = SplitItems(record, kItemSeparator);
        if (items.size() != expectedItems) return nullptr;
        return NewStringArray(items);
    });
}

char* ExtractOneItem(const char* record, std::size_t index, std::size_t limit) noexcept {
    if (record == nullptr || index >= limit) return nullptr;
    std::string_view item;
    if (!FindItem(record, kItemSeparator, index, item)) return nullptr;
    return CopyToCString(item);
}

}  // namespace zv
