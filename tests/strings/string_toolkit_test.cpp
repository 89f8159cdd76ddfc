#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/owned_results.hpp"
#include "zorvat.h"

using zvtest::Own;
using zvtest::R;
using zvtest::Text;
using Items = std::vector<std::string>;

TEST(StrSplit, CountsEveryItemIncludingEmptyOnesAndJoinPutsThemBack) {
    // Separators compare as whole bytes, whatever the signedness of char; a
    // zero separator matches nothing, the text ending at its first zero byte.
    const struct {
        const char* name;
        std::string text;
        uint8_t separator;
        Items items;
    } rows[] = {
        {"empty", "", 0x1C, {""}},
        {"trailing", R("a|"), 0x1C, {"a", ""}},
        {"inner", R("a||b"), 0x1C, {"a", "", "b"}},
        {"high byte", R("\xE9t\xE9~\xA4~"), 0xFE, {"\xE9t\xE9", "\xA4", ""}},
        {"its low bits", R("x~y"), 0x7E, {R("x~y")}},
        {"zero", R("a|b"), 0, {R("a|b")}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        uint32_t count = 99;
        char** array = ZvStrSplit(row.text.c_str(), row.separator, &count);
        ASSERT_NE(array, nullptr);
        const std::string separator(1, static_cast<char>(row.separator));
        auto joined = Own(ZvStrJoin(array, count, separator.c_str()));
        const auto items = zvtest::TakeArray(array, count);  // count + 1 pointers
        EXPECT_TRUE(items.nullTerminated);
        EXPECT_EQ(items.items, row.items);
        EXPECT_EQ(Text(joined), row.text);
    }
}

TEST(StrJoinAndCatString, PutTheWholeSeparatorBetweenItems) {
    char* items[] = {const_cast<char*>("a"), const_cast<char*>(""), const_cast<char*>("c")};
    const struct {
        const char* separator;
        uint32_t count;
        const char* expected;
    } rows[] = {{", ", 3, "a, , c"}, {"", 3, "ac"}, {nullptr, 3, "ac"}, {"-", 1, "a"}};
    for (const auto& row : rows) {
        EXPECT_EQ(Text(Own(ZvStrJoin(items, row.count, row.separator))), row.expected);
    }
    // ZvCatString puts it between whatever is given.
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
        {answer, "KEYS", "KEYS~RECORD_ID~USER"},  // the first name labels the key list itself
        {answer, "record_id", nullptr},
        {answer, "RECORD", nullptr},
        {answer, "", nullptr},
        {"K~A~A|first|second", "A", "second"},
        {"~|v", "", "v"},           // an empty name matches an empty entry of the key list
        {"K~A~B|a", "B", nullptr},  // named beyond the last item
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Text(Own(ZvExtractData(R(c.data).c_str(), c.key, 0x1C, 0xFE))),
                  c.expected ? R(c.expected) : "<null>")
            << c.data << " " << c.key;
    }
}

TEST(StringToolkit, NullsAndNothingToJoinGiveNullAndReleaseAcceptsNullAndEmptyArrays) {
    uint32_t count = 7;
    EXPECT_EQ(ZvStrSplit(nullptr, 0x1C, &count), nullptr);
    EXPECT_EQ(count, 7u);
    EXPECT_EQ(ZvStrSplit("a", 0x1C, nullptr), nullptr);
    char* withNull[] = {const_cast<char*>("a"), nullptr};
    EXPECT_EQ(ZvStrJoin(withNull, 0, "-"), nullptr);
    EXPECT_EQ(ZvStrJoin(nullptr, 2, "-"), nullptr);
    EXPECT_EQ(ZvStrJoin(withNull, 2, "-"), nullptr);
    EXPECT_EQ(ZvExtractFromSplit(nullptr, 0x1F, 0), nullptr);
    EXPECT_EQ(ZvExtractData(nullptr, "A", 0x1C, 0xFE), nullptr);
    EXPECT_EQ(ZvExtractData("A", nullptr, 0x1C, 0xFE), nullptr);
    ZvFreeMemory(nullptr);
    ZvFreeMemoryStringArray(nullptr, 3);
    WrapperPy_ZvFreeMemoryStringArray(nullptr, 0);

    // Count 0 releases only the array block; the caller keeps the item.
    char** array = ZvStrSplit("kept", 0x1C, &count);
    ASSERT_NE(array, nullptr);
    char* item = array[0];
    ZvFreeMemoryStringArray(array, 0);
    EXPECT_STREQ(item, "kept");
    ZvFreeMemory(item);
}
