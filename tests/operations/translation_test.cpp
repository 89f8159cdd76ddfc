// Argument translation, rule by rule; end to end the server shows that the
// translated arguments are what travels (operations_end_to_end_test.cpp).
#include "operations/translation.hpp"

#include <gtest/gtest.h>

#include <string>

#include "support/owned_results.hpp"

using zvtest::R;

namespace {

std::string Translate(int operationCode, int outputFormat, const std::string& arguments) {
    zv::TranslatedArguments translated;
    EXPECT_TRUE(zv::TranslateOperationArguments(static_cast<uint8_t>(operationCode),
                                                static_cast<uint8_t>(outputFormat),
                                                arguments.c_str(), translated));
    return translated.Text();
}

}  // namespace

TEST(Translation, EachRuleOnArgumentOne) {
    struct Case {
        int code;
        int format;
        const char* arguments;
        const char* expected;
    };
    const Case cases[] = {
        // Append the name as a sub-item, after any sub-items already there
        // (\375 is 0xFD, no separator); the empty name still adds its separator.
        {2, 3, "a0^a1^a2", "a0^a1~JSON^a2"},
        {6, 1, "a0^x~y\375z^", "a0^x~y\375z~MV^"},
        {10, 0, "a0^a1", "a0^a1~"},
        // Insert it at the code's sub-item position, padding a short list.
        {4, 1, "a0^p0~p1~p2~p3~p4^a2", "a0^p0~p1~p2~MV~p3~p4^a2"},
        {3, 2, "a0^first~second", "a0^first~XML~second"},
        {14, 4, "^0~1~2~3~4~5", "^0~1~2~3~4~TABLE~5"},
        {15, 8, "^0~1~2~3~4~5~6", "^0~1~2~3~4~5~JSON_SCH~6"},
        {18, 9, "a^b~c", "a^b~~c"},
        {4, 1, "a0^p0~p1~p2", "a0^p0~p1~p2~MV"},
        {4, 1, "a0^p0", "a0^p0~~~MV"},
        {3, 2, "a0^", "a0^~XML"},
        // Replace it.
        {151, 0, "a0^a1^a2", "a0^^a2"},
        {9, 1, "", ""},
        // Without an argument 1 there is nothing to change.
        {2, 1, "only", "only"},
        {3, 1, "only", "only"},
        {7, 1, "only", "only"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Translate(c.code, c.format, R(c.arguments)), R(c.expected)) << c.code;
    }
}

TEST(Translation, CodesSharingARuleAgreeAndFormatsOneToEightHaveNames) {
    const std::string arguments = R("a0^x~y~z^a2");
    for (int code : {5, 18}) EXPECT_EQ(Translate(code, 5, arguments), Translate(3, 5, arguments));
    for (int code : {6, 10}) EXPECT_EQ(Translate(code, 7, arguments), Translate(2, 7, arguments));
    for (int code : {7, 9, 11, 12, 13, 17, 150, 151}) {
        EXPECT_EQ(Translate(code, 2, arguments), R("a0^XML^a2")) << code;
    }
    const char* names[] = {"",         "MV",      "XML",       "JSON",     "TABLE",
                           "XML_DICT", "XML_SCH", "JSON_DICT", "JSON_SCH", ""};
    for (int format = 0; format <= 9; ++format) {
        EXPECT_EQ(Translate(7, format, R("a^b")), R("a^") + names[format]) << format;
    }
    EXPECT_EQ(Translate(7, 255, R("a^b")), R("a^"));
}

TEST(Translation, PassThroughCodesHandBackTheCallersOwnString) {
    const std::string arguments = R("a0^a1");
    for (int code : {0, 1, 8, 16, 19, 100, 149, 152, 255}) {
        zv::TranslatedArguments translated;
        ASSERT_TRUE(zv::TranslateOperationArguments(static_cast<uint8_t>(code), 3,
                                                    arguments.c_str(), translated));
        EXPECT_EQ(translated.Text(), arguments.c_str()) << code;
        EXPECT_FALSE(translated.IsCopy());
    }
    zv::TranslatedArguments fromNull;
    ASSERT_TRUE(zv::TranslateOperationArguments(7, 1, nullptr, fromNull));
    EXPECT_STREQ(fromNull.Text(), "");
}
