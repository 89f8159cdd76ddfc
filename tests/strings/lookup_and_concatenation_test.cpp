#include <gtest/gtest.h>

#include <string>

#include "support/owned_results.hpp"
#include "zorvat.h"

using zvtest::Own;
using zvtest::R;
using zvtest::Text;

TEST(CatString, PutsTheSeparatorBetweenWhateverIsGiven) {
    const struct {
        const char *first, *second, *separator, *expected;
    } cases[] = {
        {"a", "b", "-", "a-b"},    {"a", nullptr, "-", "a-"},
        {nullptr, "b", "-", "-b"}, {"a", "b", nullptr, "ab"},
        {"", "", "::", "::"},      {nullptr, nullptr, nullptr, ""},  // a new empty string, not null
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Text(Own(ZvCatString(c.first, c.second, c.separator))), c.expected);
    }
}

TEST(ExtractData, FindsTheItemTheKeyListNamesExactlyAndLetsTheLastOneWin) {
    // A keyed answer: the first item lists the names of the items.
    const char* answer = "KEYS~RECORD_ID~USER|r-17|alice";
    const struct {
        const char *data, *key, *expected;
    } cases[] = {
        {answer, "RECORD_ID", "r-17"},
        {answer, "USER", "alice"},
        {answer, "KEYS", "KEYS~RECORD_ID~USER"},  // the first name labels the key list itself
        {answer, "record_id", nullptr},
        {answer, "RECORD", nullptr},
        {answer, "", nullptr},
        {"K~A~A|first|second", "A", "second"},
        {"~|v", "", "v"},  // an empty name matches an empty entry of the key list
        {"K~A~B|a", "A", "a"},
        {"K~A~B|a", "B", nullptr},  // named beyond the last item
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Text(Own(ZvExtractData(R(c.data).c_str(), c.key, 0x1C, 0xFE))),
                  c.expected ? R(c.expected) : "<null>")
            << c.data << " " << c.key;
    }
    EXPECT_EQ(ZvExtractData(nullptr, "A", 0x1C, 0xFE), nullptr);
    EXPECT_EQ(ZvExtractData(answer, nullptr, 0x1C, 0xFE), nullptr);
}
