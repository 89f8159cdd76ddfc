#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/owned_results.hpp"
#include "zorvat.h"

using zvtest::Own;
using zvtest::R;
using zvtest::Split;
using zvtest::TakeArray;
using zvtest::Text;
using Items = std::vector<std::string>;

TEST(StrSplit, CountsEveryItemIncludingEmptyOnes) {
    EXPECT_EQ(Split("", 0x1C), Items{""});
    EXPECT_EQ(Split(R("a|"), 0x1C), (Items{"a", ""}));
    EXPECT_EQ(Split(R("|a"), 0x1C), (Items{"", "a"}));
    EXPECT_EQ(Split(R("a||b"), 0x1C), (Items{"a", "", "b"}));
    EXPECT_EQ(Split("no separator here", 0x1C), Items{"no separator here"});
    // Separators compare as whole bytes, whatever the signedness of char; a
    // zero separator matches nothing, the text ending at its first zero byte.
    EXPECT_EQ(Split(R("x~y~"), 0xFE), (Items{"x", "y", ""}));
    EXPECT_EQ(Split(R("x~y"), 0x7E), Items{R("x~y")});
    EXPECT_EQ(Split(R("a|b"), 0), Items{R("a|b")});
}

TEST(StrSplit, ArrayHoldsCountPlusOnePointersEndingInNullAndNullsGiveNull) {
    uint32_t count = 99;
    char** array = ZvStrSplit("1.2.3", '.', &count);
    ASSERT_EQ(count, 3u);
    const auto items = TakeArray(array, count);
    EXPECT_TRUE(items.nullTerminated);
    EXPECT_EQ(items.items, (Items{"1", "2", "3"}));

    count = 7;
    EXPECT_EQ(ZvStrSplit(nullptr, 0x1C, &count), nullptr);
    EXPECT_EQ(count, 7u);
    EXPECT_EQ(ZvStrSplit("a", 0x1C, nullptr), nullptr);
}

TEST(StrJoin, JoinsWithTheSeparatorsRealLength) {
    char* items[] = {const_cast<char*>("a"), const_cast<char*>(""), const_cast<char*>("c")};
    EXPECT_EQ(Text(Own(ZvStrJoin(items, 3, "\x1C"))), R("a||c"));
    EXPECT_EQ(Text(Own(ZvStrJoin(items, 3, ", "))), "a, , c");
    EXPECT_EQ(Text(Own(ZvStrJoin(items, 3, ""))), "ac");
    EXPECT_EQ(Text(Own(ZvStrJoin(items, 3, nullptr))), "ac");
    EXPECT_EQ(Text(Own(ZvStrJoin(items, 1, "\x1C"))), "a");
    // Nothing to join, and null items, are refused.
    char* withNull[] = {const_cast<char*>("a"), nullptr};
    EXPECT_EQ(ZvStrJoin(withNull, 0, "-"), nullptr);
    EXPECT_EQ(ZvStrJoin(nullptr, 2, "-"), nullptr);
    EXPECT_EQ(ZvStrJoin(withNull, 2, "-"), nullptr);
}

TEST(StrJoin, ReversesSplitByteForByte) {
    for (const std::string& text : {std::string(""), R("^"), R("a^^b^"), R("\xE9t\xE9^\xA4^")}) {
        uint32_t count = 0;
        char** array = ZvStrSplit(text.c_str(), 0x1F, &count);
        ASSERT_NE(array, nullptr);
        auto joined = Own(ZvStrJoin(array, count, "\x1F"));
        ZvFreeMemoryStringArray(array, count);
        EXPECT_EQ(Text(joined), text);
    }
}

TEST(ExtractFromSplit, PicksOneItemOrNullPastTheEnd) {
    const std::string text = R("a^b^");
    EXPECT_EQ(Text(Own(ZvExtractFromSplit(text.c_str(), 0x1F, 0))), "a");
    EXPECT_EQ(Text(Own(ZvExtractFromSplit(text.c_str(), 0x1F, 1))), "b");
    EXPECT_EQ(Text(Own(ZvExtractFromSplit(text.c_str(), 0x1F, 2))), "");
    EXPECT_EQ(ZvExtractFromSplit(text.c_str(), 0x1F, 3), nullptr);
    EXPECT_EQ(ZvExtractFromSplit(text.c_str(), 0x1F, UINT32_MAX), nullptr);
    EXPECT_EQ(Text(Own(ZvExtractFromSplit("whole", 0x1F, 0))), "whole");
    EXPECT_EQ(Text(Own(ZvExtractFromSplit("", 0x1F, 0))), "");
    EXPECT_EQ(ZvExtractFromSplit("", 0x1F, 1), nullptr);
    EXPECT_EQ(ZvExtractFromSplit(nullptr, 0x1F, 0), nullptr);
}

TEST(Release, AcceptsNullAndEmptyArrays) {
    ZvFreeMemory(nullptr);
    ZvFreeMemoryStringArray(nullptr, 3);
    WrapperPy_ZvFreeMemoryStringArray(nullptr, 0);

    // Count 0 releases only the array block; the caller keeps the item.
    uint32_t count = 0;
    char** array = ZvStrSplit("kept", 0x1C, &count);
    ASSERT_NE(array, nullptr);
    char* item = array[0];
    ZvFreeMemoryStringArray(array, 0);
    EXPECT_STREQ(item, "kept");
    ZvFreeMemory(item);

    const std::string two = R("a|b");
    array = ZvStrSplit(two.c_str(), 0x1C, &count);
    WrapperPy_ZvFreeMemoryStringArray(array, count);
}
