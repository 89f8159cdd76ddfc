// Session identifiers: byte order, text form, randomness and the parser's
// refusals.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <set>
#include <string>

#include "strings/strings.hpp"
#include "transport/session_id.hpp"

namespace {

std::string Hex(const uint8_t* bytes) {
    std::string hex;
    char pair[2];
    for (std::size_t i = 0; i < zv::kSessionIdSize; ++i) {
        zv::ByteToHexPair(bytes[i], pair);
        hex.append(pair, 2);
    }
    return hex;
}

std::string Parse(const char* text) {
    uint8_t* bytes = zv::SessionIdFromText(text);
    if (bytes == nullptr) return "<null>";
    const std::string hex = Hex(bytes);
    std::free(bytes);
    return hex;
}

TEST(SessionId, TextAndBytesFollowGuidMemoryOrderAndEitherCaseParses) {
    const char* text = "00112233-4455-6677-8899-aabbccddeeff";
    EXPECT_EQ(Parse(text), "33221100554477668899aabbccddeeff");
    EXPECT_EQ(Parse("00112233-4455-6677-8899-AABBCCDDEEFF"), Parse(text));
    const zv::MallocPtr<uint8_t> bytes(zv::SessionIdFromText(text));
    ASSERT_NE(bytes, nullptr);
    const zv::MallocPtr<char> back(zv::SessionIdToText(bytes.get()));
    EXPECT_STREQ(back.get(), text);
}

TEST(SessionId, NewIdentifiersAreVersionFourAndDiffer) {
    std::set<std::string> seen;
    for (int i = 0; i < 200; ++i) {
        const zv::MallocPtr<char> text(zv::NewSessionId());
        ASSERT_NE(text, nullptr);
        const std::string id = text.get();
        ASSERT_EQ(id.size(), 36u);
        EXPECT_EQ(id[14], '4') << id;
        EXPECT_NE(std::string("89ab").find(id[19]), std::string::npos) << id;
        EXPECT_EQ(Parse(id.c_str()).size(), 32u) << id;
        seen.insert(id);
    }
    // All made within the same second, and still all different.
    EXPECT_EQ(seen.size(), 200u);
}

TEST(SessionId, ParserRefusesAnythingButThirtySixCharactersOfHexAndDashes) {
    const std::string good = "00112233-4455-6677-8899-aabbccddeeff";
    EXPECT_EQ(Parse(nullptr), "<null>");
    EXPECT_EQ(Parse(""), "<null>");
    // Every prefix is too short, and the scan must stop at its terminator.
    for (std::size_t length = 0; length < good.size(); ++length) {
        const std::string prefix = good.substr(0, length);
        char* exact = static_cast<char*>(std::malloc(length + 1));
        std::memcpy(exact, prefix.c_str(), length + 1);
        EXPECT_EQ(Parse(exact), "<null>") << prefix;
        std::free(exact);
    }
    EXPECT_EQ(Parse((good + "0").c_str()), "<null>");
    for (const std::size_t position : {8, 13, 18, 23}) {
        std::string moved = good;
        moved[position] = '0';
        EXPECT_EQ(Parse(moved.c_str()), "<null>") << position;
    }
    for (const char bad : {'g', 'G', ' ', '-', ':', '/', '@', '`'}) {
        std::string wrong = good;
        wrong[35] = bad;
        EXPECT_EQ(Parse(wrong.c_str()), "<null>") << bad;
        wrong = good;
        wrong[0] = bad;
        EXPECT_EQ(Parse(wrong.c_str()), "<null>") << bad;
    }
}

}  // namespace
