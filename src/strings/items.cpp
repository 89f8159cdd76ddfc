#include <algorithm>
#include <cstring>
#include <new>

#include "strings.hpp"

namespace zv {

char* CopyToCString(std::string_view text) noexcept {
    auto* copy = static_cast<char*>(std::malloc(text.size() + 1));
    if (copy == nullptr) return nullptr;
    if (!text.empty()) std::memcpy(copy, text.data(), text.size());
    copy[text.size()] = '\0';
    return copy;
}

std::vector<std::string_view> SplitItems(std::string_view text, char separator) {
    std::vector<std::string_view> items;
    items.reserve(static_cast<std::size_t>(std::count(text.begin(), text.end(), separator)) + 1);
    std::size_t start = 0;
    for (std::size_t at = text.find(separator); at != std::string_view::npos;
         at = text.find(separator, start)) {
        items.push_back(text.substr(start, at - start));
        start = at + 1;
    }
    items.push_back(text.substr(start));
    return items;
}

bool FindItem(std::string_view text, char separator, std::size_t index, std::string_view& item) {
    std::size_t start = 0;
    for (std::size_t skipped = 0; skipped < index; ++skipped) {
        const std::size_t at = text.find(separator, start);
        if (at == std::string_view::npos) return false;
        start = at + 1;
    }
    const std::size_t end = text.find(separator, start);
    item = text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
    return true;
}

char* JoinItems(std::span<const std::string_view> items, std::string_view separator) noexcept {
    std::size_t length = items.empty() ? 0 : separator.size() * (items.size() - 1);
    for (const std::string_view item : items) length += item.size();
    auto* joined = static_cast<char*>(std::malloc(length + 1));
    if (joined == nullptr) return nullptr;
    char* out = joined;
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (i > 0 && !separator.empty()) {
            std::memcpy(out, separator.data(), separator.size());
            out += separator.size();
        }
        if (!items[i].empty()) std::memcpy(out, items[i].data(), items[i].size());
        out += items[i].size();
    }
    *out = '\0';
    return joined;
}

char** NewStringArray(std::span<const std::string_view> items) noexcept {
    auto** array = static_cast<char**>(std::calloc(items.size() + 1, sizeof(char*)));
    if (array == nullptr) return nullptr;
    for (std::size_t i = 0; i < items.size(); ++i) {
        array[i] = CopyToCString(items[i]);
        if (array[i] == nullptr) {
            FreeStringArray(array, i);
            return nullptr;
        }
    }
    return array;
}

void FreeStringArray(char** array, std::size_t count) noexcept {
    if (array == nullptr) return;
    for (std::size_t i = 0; i < count; ++i) std::free(array[i]);
    std::free(array);
}

}  // namespace zv
