#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/owned_results.hpp"
#include "zorvat.h"

using zvtest::Own;
using zvtest::R;
using zvtest::TakeArray;
using zvtest::Text;
using Items = std::vector<std::string>;

namespace {

std::string Item(const zvtest::OwnedText& record, uint32_t index) {
    return Text(Own(ZvExtractDataFromCredentialOptions(record.get(), index)));
}

}  // namespace

TEST(CredentialOptions, BuildsEightItemsInParameterOrder) {
    auto record =
        Own(ZvCreateCredentialOptions("db.example", "one", 4242, "three", "four", "five", "six"));
    EXPECT_EQ(Text(record), R("db.example|one|4242|three|four|five|six|"));
    const auto items = TakeArray(ZvExtractAllDataFromCredentialOptions(record.get()), 8);
    ASSERT_FALSE(items.isNull);
    EXPECT_TRUE(items.nullTerminated);
    EXPECT_EQ(items.items,
              (Items{"db.example", "one", "4242", "three", "four", "five", "six", ""}));
}

TEST(CredentialOptions, EmptyItemsAndPortZeroGiveTheBareSeparators) {
    auto record = Own(ZvCreateCredentialOptions("", "", 0, "", "", "", ""));
    EXPECT_EQ(Text(record), R("||0|||||"));
    EXPECT_EQ(zvtest::Split(record.get(), 0x1C).size(), 8u);
}

TEST(CredentialOptions, PluginVariantFillsTheLastItem) {
    auto plain = Own(ZvCreateCredentialOptions("h", "1", 7, "3", "4", "5", "6"));
    auto emptyPlugin = Own(ZvCreateCredentialOptionsPlugin("h", "1", 7, "3", "4", "5", "6", ""));
    EXPECT_EQ(Text(plain), Text(emptyPlugin));
    auto withPlugin = Own(ZvCreateCredentialOptionsPlugin("h", "1", 7, "3", "4", "5", "6", "pg"));
    EXPECT_EQ(Item(withPlugin, 7), "pg");
}

TEST(CredentialOptions, PortIsWrittenAsSignedDecimal) {
    EXPECT_EQ(Item(Own(ZvCreateCredentialOptions("h", "", -15, "", "", "", "")), 2), "-15");
    EXPECT_EQ(Item(Own(ZvCreateCredentialOptions("h", "", INT32_MIN, "", "", "", "")), 2),
              "-2147483648");
    EXPECT_EQ(Item(Own(ZvCreateCredentialOptions("h", "", 65535, "", "", "", "")), 2), "65535");
}

TEST(CredentialOptions, AnItemHoldingTheSeparatorMakesTheRecordUnreadable) {
    const std::string split = R("a|b");
    auto record = Own(ZvCreateCredentialOptions("h", "", 1, "", split.c_str(), "", ""));
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(zvtest::Split(record.get(), 0x1C).size(), 9u);
    EXPECT_EQ(ZvExtractAllDataFromCredentialOptions(record.get()), nullptr);
    // Reading one item does not insist on the count.
    EXPECT_EQ(Item(record, 4), "a");
}

TEST(CredentialOptions, ReadOneItemStopsAtIndexEight) {
    auto record = Own(ZvCreateCredentialOptions("h", "", 1, "", "", "", ""));
    auto plugin = Own(ZvExtractDataFromCredentialOptions(record.get(), 7));
    ASSERT_NE(plugin, nullptr);
    EXPECT_STREQ(plugin.get(), "");
    EXPECT_EQ(ZvExtractDataFromCredentialOptions(record.get(), 8), nullptr);
    const std::string twoItems = R("a|b");
    EXPECT_EQ(ZvExtractDataFromCredentialOptions(twoItems.c_str(), 2), nullptr);
    EXPECT_EQ(Text(Own(ZvExtractDataFromCredentialOptions(twoItems.c_str(), 1))), "b");
}

TEST(CredentialOptions, NullArgumentsGiveNull) {
    EXPECT_EQ(ZvCreateCredentialOptions(nullptr, "", 1, "", "", "", ""), nullptr);
    EXPECT_EQ(ZvCreateCredentialOptions("h", "", 1, "", "", "", nullptr), nullptr);
    EXPECT_EQ(ZvCreateCredentialOptionsPlugin("h", "", 1, "", "", "", "", nullptr), nullptr);
    EXPECT_EQ(ZvCreateCredentialOptionsPlugin("h", nullptr, 1, "", "", "", "", ""), nullptr);
    EXPECT_EQ(ZvExtractAllDataFromCredentialOptions(nullptr), nullptr);
    EXPECT_EQ(ZvExtractDataFromCredentialOptions(nullptr, 0), nullptr);
}
