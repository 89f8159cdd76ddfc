// ZvCatString: first + separator + second, each null taken as empty.
#include <string_view>

#include "strings.hpp"
#include "zorvat.h"

extern "C" char* ZvCatString(const char* first, const char* second, const char* separator) {
    const auto orEmpty = [](const char* text) {
        return text == nullptr ? std::string_view{} : std::string_view{text};
    };
    const std::string_view pieces[] = {orEmpty(first), orEmpty(separator), orEmpty(second)};
    return zv::JoinItems(pieces, {});
}
