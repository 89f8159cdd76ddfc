#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/owned_results.hpp"
#include "zorvat.h"

using zvtest::Own;
using zvtest::R;
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
    const auto items = zvtest::TakeArray(ZvExtractAllDataFromCredentialOptions(record.get()), 8);
    EXPECT_TRUE(items.nullTerminated);
    EXPECT_EQ(items.items,
              (Items{"db.example", "one", "4242", "three", "four", "five", "six", ""}));
    EXPECT_EQ(Text(Own(ZvCreateCredentialOptions("", "", 0, "", "", "", ""))), R("||0|||||"));
    // The plugin variant fills the last item; an empty plugin is the plain form.
    EXPECT_EQ(Text(Own(ZvCreateCredentialOptionsPlugin("db.example", "one", 4242, "three", "four",
                                                       "five", "six", ""))),
              Text(record));
    EXPECT_EQ(Item(Own(ZvCreateCredentialOptionsPlugin("h", "1", 7, "3", "4", "5", "6", "pg")), 7),
              "pg");
}

TEST(CredentialOptions, PortIsWrittenAsSignedDecimal) {
    for (const int32_t port : {-15, INT32_MIN, 65535}) {
        EXPECT_EQ(Item(Own(ZvCreateCredentialOptions("h", "", port, "", "", "", "")), 2),
                  std::to_string(port));
    }
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
    EXPECT_EQ(Item(record, 7), "");
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
