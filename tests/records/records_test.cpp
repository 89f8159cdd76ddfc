#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/owned_results.hpp"
#include "zorvat.h"

using zvtest::Own;
using zvtest::R;
using zvtest::Text;
using Items = std::vector<std::string>;

TEST(CredentialOptions, BuildsEightItemsInParameterOrderWithTheSignedPortAndReadsThemBack) {
    const struct {
        const char* name;
        zvtest::OwnedText record;
        const char* expected;
    } rows[] = {
        {"in order", Own(ZvCreateCredentialOptions("db", "1", 4242, "3", "4", "5", "6")),
         "db|1|4242|3|4|5|6|"},
        {"plugin", Own(ZvCreateCredentialOptionsPlugin("h", "", -15, "", "", "", "", "pg")),
         "h||-15|||||pg"},
        {"lowest", Own(ZvCreateCredentialOptions("", "", INT32_MIN, "", "", "", "")),
         "||-2147483648|||||"},
        {"no host", Own(ZvCreateCredentialOptions(nullptr, "", 1, "", "", "", "")), "<null>"},
        {"no item 1", Own(ZvCreateCredentialOptionsPlugin("h", nullptr, 1, "", "", "", "", "")),
         "<null>"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(Text(row.record), R(row.expected)) << row.name;
    }
    const auto items =
        zvtest::TakeArray(ZvExtractAllDataFromCredentialOptions(rows[0].record.get()), 8);
    EXPECT_TRUE(items.nullTerminated);
    EXPECT_EQ(items.items, (Items{"db", "1", "4242", "3", "4", "5", "6", ""}));

    // Reading one item stops at index 8 but not at the item count. An item
    // holding the separator gives nine items: unreadable whole.
    auto nine = Own(ZvCreateCredentialOptions("h", "", 1, "", R("a|b").c_str(), "", ""));
    ASSERT_NE(nine, nullptr);
    EXPECT_EQ(ZvExtractAllDataFromCredentialOptions(nine.get()), nullptr);
    EXPECT_EQ(ZvExtractAllDataFromCredentialOptions(nullptr), nullptr);
    const std::string two = R("a|b");
    const struct {
        const char* record;
        uint32_t index;
        const char* expected;
    } reads[] = {
        {nine.get(), 4, "a"},  {nine.get(), 7, ""},       {nine.get(), 8, nullptr},
        {two.c_str(), 1, "b"}, {two.c_str(), 2, nullptr}, {nullptr, 0, nullptr},
    };
    for (const auto& read : reads) {
        EXPECT_EQ(Text(Own(ZvExtractDataFromCredentialOptions(read.record, read.index))),
                  read.expected ? read.expected : "<null>")
            << read.index;
    }
}

TEST(ConnectionInfo, HoldsTwelveItemsAndChangeReplacesExactlyOneInACopy) {
    // Three empty session items and the reserved value.
    const std::string options = R("host|c1|5000|c3|c4|c5|c6|pl");
    auto record = Own(ZvCreateConnectionInfo(options.c_str(), -42));
    const auto items = zvtest::TakeArray(ZvExtractAllDataFromConnectionInfo(record.get()), 12);
    EXPECT_TRUE(items.nullTerminated);
    EXPECT_EQ(items.items,
              (Items{"host", "c1", "5000", "c3", "c4", "c5", "c6", "pl", "", "", "", "-42"}));
    const struct {
        uint32_t index;
        const char* value;
        const char* expected;
    } rows[] = {
        {0, "other", "other|c1|5000|c3|c4|c5|c6|pl||||-42"},
        {10, "k", "host|c1|5000|c3|c4|c5|c6|pl|||k|-42"},
        {11, "17", "host|c1|5000|c3|c4|c5|c6|pl||||17"},
        {12, "x", nullptr},
        {UINT32_MAX, "x", nullptr},
        {3, nullptr, nullptr},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(Text(Own(ZvChangeConnectionInfo(record.get(), row.index, row.value))),
                  row.expected ? R(row.expected) : "<null>")
            << row.index;
    }
    EXPECT_EQ(Text(record), options + R("||||-42"));

    // Records of other than twelve items, from seven items or from a changed
    // value that holds the separator, are made but refused whole.
    auto eleven = Own(ZvCreateConnectionInfo(R("a|b|c|d|e|f|g").c_str(), 1));
    auto thirteen = Own(ZvChangeConnectionInfo(record.get(), 8, R("a|b").c_str()));
    EXPECT_EQ(Text(eleven), R("a|b|c|d|e|f|g||||1"));
    EXPECT_EQ(Text(thirteen), options + R("|a|b|||-42"));
    EXPECT_EQ(ZvCreateConnectionInfo(nullptr, 0), nullptr);
    for (const char* wrong : {eleven.get(), thirteen.get(), static_cast<char*>(nullptr)}) {
        EXPECT_EQ(ZvExtractAllDataFromConnectionInfo(wrong), nullptr);
        EXPECT_EQ(ZvChangeConnectionInfo(wrong, 0, "x"), nullptr);
    }
    // Reading one item does not insist on the count, only on the index.
    EXPECT_EQ(Text(Own(ZvExtractDataFromConnectionInfo(eleven.get(), 3))), "d");
    EXPECT_EQ(ZvExtractDataFromConnectionInfo(eleven.get(), 11), nullptr);
    EXPECT_EQ(ZvExtractDataFromConnectionInfo(thirteen.get(), 12), nullptr);
    EXPECT_EQ(ZvExtractDataFromConnectionInfo(nullptr, 0), nullptr);
}
