// ZvExtractData: the value a keyed answer stores under a name. The first item
// of such an answer lists the names; the name at position i labels item i.
#include <algorithm>

#include "strings.hpp"
#include "zorvat.h"

extern "C" char* ZvExtractData(const char* data, const char* key, uint8_t itemSeparator,
                               uint8_t keySeparator) {
    if (data == nullptr || key == nullptr) return nullptr;
    return zv::NoThrow<char*>(nullptr, [&]() -> char* {
        const auto items = zv::SplitItems(data, static_cast<char>(itemSeparator));
        const auto keys = zv::SplitItems(items.front(), static_cast<char>(keySeparator));
        const std::string_view wanted{key};
        // The last matching name wins, as a later entry overrides an earlier one.
        for (std::size_t i = std::min(keys.size(), items.size()); i-- > 0;) {
            if (keys[i] == wanted) return zv::CopyToCString(items[i]);
        }
        return nullptr;
    });
}
