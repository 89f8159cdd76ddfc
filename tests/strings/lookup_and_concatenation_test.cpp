#include <gtest/gtest.h>

#include <string>

#include "support/owned_results.hpp"
#include "zorvat.h"

using zvtest::Own;
using zvtest::R;
using zvtest::Text;

TEST(CatString, PutsTheSeparatorBetweenWhateverIsGiven) {
    EXPECT_EQ(Text(Own(ZvCatString("a", "b", "-"))), "a-b");
    EXPECT_EQ(Text(Own(ZvCatString("a", nullptr, "-"))), "a-");
    EXPECT_EQ(Text(Own(ZvCatString(nullptr, "b", "-"))), "-b");
    EXPECT_EQ(Text(Own(ZvCatString("a", "b", nullptr))), "ab");
    EXPECT_EQ(Text(Own(ZvCatString("", "", "::"))), "::");
}

TEST(CatString, AllNullGivesANewEmptyString) {
    auto empty = Own(ZvCatString(nullptr, nullptr, nullptr));
    ASSERT_NE(empty, nullptr);
    EXPECT_STREQ(empty.get(), "");
}

namespace {

// A keyed answer: the first item lists the names of the items.
const std::string kAnswer = R("KEYS~RECORD_ID~USER|r-17|alice");

std::string Lookup(const std::string& data, const char* key) {
    return Text(Own(ZvExtractData(data.c_str(), key, 0x1C, 0xFE)));
}

}  // namespace

TEST(ExtractData, FindsTheItemTheKeyListNames) {
    EXPECT_EQ(Lookup(kAnswer, "RECORD_ID"), "r-17");
    EXPECT_EQ(Lookup(kAnswer, "USER"), "alice");
    // The first name labels the key list itself.
    EXPECT_EQ(Lookup(kAnswer, "KEYS"), R("KEYS~RECORD_ID~USER"));
}

TEST(ExtractData, MatchesWholeNamesExactlyAndLetsTheLastOneWin) {
    EXPECT_EQ(Lookup(kAnswer, "record_id"), "<null>");
    EXPECT_EQ(Lookup(kAnswer, "RECORD"), "<null>");
    EXPECT_EQ(Lookup(kAnswer, ""), "<null>");
    EXPECT_EQ(Lookup(R("K~A~A|first|second"), "A"), "second");
    // An empty name matches an empty entry of the key list; the later one wins.
    EXPECT_EQ(Lookup(R("~|v"), ""), "v");
}

TEST(ExtractData, NamesBeyondTheLastItemAndNullsGiveNull) {
    const std::string shortAnswer = R("K~A~B|a");
    EXPECT_EQ(Lookup(shortAnswer, "A"), "a");
    EXPECT_EQ(Lookup(shortAnswer, "B"), "<null>");
    EXPECT_EQ(ZvExtractData(nullptr, "A", 0x1C, 0xFE), nullptr);
    EXPECT_EQ(ZvExtractData(shortAnswer.c_str(), nullptr, 0x1C, 0xFE), nullptr);
}
