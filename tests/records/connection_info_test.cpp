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

const std::string kOptions = R("host|c1|5000|c3|c4|c5|c6|pl");

std::string Item(const char* record, uint32_t index) {
    return Text(Own(ZvExtractDataFromConnectionInfo(record, index)));
}

}  // namespace

TEST(ConnectionInfo, AppendsThreeEmptySessionItemsAndTheReservedValue) {
    auto record = Own(ZvCreateConnectionInfo(kOptions.c_str(), 0));
    EXPECT_EQ(Text(record), kOptions + R("||||0"));
    const auto items = TakeArray(ZvExtractAllDataFromConnectionInfo(record.get()), 12);
    EXPECT_TRUE(items.nullTerminated);
    EXPECT_EQ(items.items,
              (Items{"host", "c1", "5000", "c3", "c4", "c5", "c6", "pl", "", "", "", "0"}));

    auto negative = Own(ZvCreateConnectionInfo(kOptions.c_str(), -42));
    EXPECT_EQ(Item(negative.get(), 11), "-42");
}

TEST(ConnectionInfo, ChangeReplacesExactlyOneItem) {
    auto record = Own(ZvCreateConnectionInfo(kOptions.c_str(), 0));
    auto changed = Own(ZvChangeConnectionInfo(record.get(), 11, "17"));
    EXPECT_EQ(Text(changed), kOptions + R("||||17"));
    auto renamed = Own(ZvChangeConnectionInfo(changed.get(), 0, "other"));
    EXPECT_EQ(Item(renamed.get(), 0), "other");
    EXPECT_EQ(Item(renamed.get(), 11), "17");
    // The given record is never changed.
    EXPECT_EQ(Text(record), kOptions + R("||||0"));
}

TEST(ConnectionInfo, ChangeRefusesBadIndexesAndNulls) {
    auto record = Own(ZvCreateConnectionInfo(kOptions.c_str(), 0));
    EXPECT_EQ(ZvChangeConnectionInfo(record.get(), 12, "x"), nullptr);
    EXPECT_EQ(ZvChangeConnectionInfo(record.get(), UINT32_MAX, "x"), nullptr);
    EXPECT_EQ(ZvChangeConnectionInfo(record.get(), 3, nullptr), nullptr);
    EXPECT_EQ(ZvChangeConnectionInfo(nullptr, 3, "x"), nullptr);
}

TEST(ConnectionInfo, RecordsOfOtherThanTwelveItemsAreMadeButRefusedWhole) {
    // From seven items, and from a changed value that holds the separator.
    const std::string sevenItems = R("a|b|c|d|e|f|g");
    auto eleven = Own(ZvCreateConnectionInfo(sevenItems.c_str(), 1));
    auto record = Own(ZvCreateConnectionInfo(kOptions.c_str(), 0));
    auto thirteen = Own(ZvChangeConnectionInfo(record.get(), 8, R("a|b").c_str()));
    for (const auto* wrong : {&eleven, &thirteen}) {
        ASSERT_NE(*wrong, nullptr);
        EXPECT_EQ(ZvExtractAllDataFromConnectionInfo(wrong->get()), nullptr);
        EXPECT_EQ(ZvChangeConnectionInfo(wrong->get(), 0, "x"), nullptr);
    }
    EXPECT_EQ(zvtest::Split(eleven.get(), 0x1C).size(), 11u);
    EXPECT_EQ(zvtest::Split(thirteen.get(), 0x1C).size(), 13u);
}

TEST(ConnectionInfo, ReadOneDoesNotInsistOnTwelveItems) {
    const std::string fiveItems = R("a|b|c|d|e");
    EXPECT_EQ(Item(fiveItems.c_str(), 3), "d");
    EXPECT_EQ(ZvExtractDataFromConnectionInfo(fiveItems.c_str(), 11), nullptr);
    auto record = Own(ZvCreateConnectionInfo(kOptions.c_str(), 0));
    EXPECT_EQ(ZvExtractDataFromConnectionInfo(record.get(), 12), nullptr);
    EXPECT_EQ(Item(record.get(), 9), "");
    EXPECT_EQ(ZvExtractDataFromConnectionInfo(nullptr, 0), nullptr);
    EXPECT_EQ(ZvCreateConnectionInfo(nullptr, 0), nullptr);
    EXPECT_EQ(ZvExtractAllDataFromConnectionInfo(nullptr), nullptr);
}
