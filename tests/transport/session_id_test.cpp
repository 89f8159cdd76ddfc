// Session identifiers: byte order, text form, randomness and the parser's refusals.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <set>
#include <string>

#include "strings/strings.hpp"
#include "transport/session_id.hpp"

namespace {

// The bytes of the identifier text gives, in hex, or "<null>" when refused;
// the text is handed over in a block of exactly its size, so that a read
// past the terminator shows under AddressSanitizer.
std::string Parse(const std::string& text) {
    const zv::MallocPtr<char> exact(static_cast<char*>(std::malloc(text.size() + 1)));
    std::memcpy(exact.get(), text.c_str(), text.size() + 1);
    const zv::MallocPtr<uint8_t> bytes(zv::SessionIdFromText(exact.get()));
    if (bytes == nullptr) return "<null>";
    std::string hex;
    char pair[2];
    for (std::size_t i = 0; i < zv::kSessionIdSize; ++i) {
        zv::ByteToHexPair(bytes.get()[i], pair);
        hex.append(pair, 2);
    }
    return hex;
}

const std::string kGood = "00112233-4455-6677-8899-aabbccddeeff";

TEST(SessionId, NewOnesAreVersionFourUniqueAndRoundTrip) {
    std::set<std::string> seen;
    for (int i = 0; i < 200; ++i) {
        const zv::MallocPtr<char> text(zv::NewSessionId());
        ASSERT_NE(text, nullptr);
        const std::string id = text.get();
        EXPECT_EQ(id[14], '4') << id;
        EXPECT_NE(std::string("89ab").find(id[19]), std::string::npos) << id;
        const zv::MallocPtr<uint8_t> bytes(zv::SessionIdFromText(text.get()));
        ASSERT_NE(bytes, nullptr) << id;
        EXPECT_STREQ(zv::MallocPtr<char>(zv::SessionIdToText(bytes.get())).get(), text.get());
        seen.insert(id);
    }
    // All made within the same second, and still all different.
    EXPECT_EQ(seen.size(), 200u);
}

TEST(SessionId, ParsesGuidOrderAndRefusesAllElse) {
    EXPECT_EQ(Parse(kGood), "33221100554477668899aabbccddeeff");
    EXPECT_EQ(Parse("00112233-4455-6677-8899-AABBCCDDEEFF"), Parse(kGood));
    EXPECT_EQ(zv::SessionIdFromText(nullptr), nullptr);
    // Every prefix is too short, and the scan must stop at its terminator.
    for (std::size_t length = 0; length < kGood.size(); ++length) {
        EXPECT_EQ(Parse(kGood.substr(0, length)), "<null>") << length;
    }
    EXPECT_EQ(Parse(kGood + "0"), "<null>");
    for (const std::size_t position : {8, 13, 18, 23}) {
        std::string moved = kGood;
        std::swap(moved[position], moved[position + 1]);
        EXPECT_EQ(Parse(moved), "<null>") << moved;
    }
    for (const char bad : {'g', 'G', ' ', '-', ':', '/', '@', '`'}) {
        EXPECT_EQ(Parse(bad + kGood.substr(1)), "<null>") << bad;
        EXPECT_EQ(Parse(kGood.substr(0, 35) + bad), "<null>") << bad;
    }
}

}  // namespace
