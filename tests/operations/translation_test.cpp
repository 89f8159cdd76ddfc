#include <gtest/gtest.h>

#include <string>

#include "operations/translation.hpp"
#include "support/owned_results.hpp"

using zvtest::R;

namespace {

std::string Translate(uint8_t operationCode, uint8_t outputFormat, const std::string& arguments) {
    zv::TranslatedArguments translated;
    EXPECT_TRUE(zv::TranslateOperationArguments(operationCode, outputFormat, arguments.c_str(),
                                                translated));
    return translated.Text();
}

}  // namespace

TEST(OutputFormatName, NamesFormatsOneToEightAndNothingElse) {
    const char* names[] = {"",         "MV",      "XML",       "JSON",     "TABLE",
                           "XML_DICT", "XML_SCH", "JSON_DICT", "JSON_SCH", ""};
    for (uint8_t format = 0; format <= 9; ++format) {
        EXPECT_EQ(zv::OutputFormatName(format), names[format]) << int{format};
    }
    EXPECT_EQ(zv::OutputFormatName(255), "");
}

TEST(Translation, AppendsTheNameToTheSecondArgument) {
    EXPECT_EQ(Translate(2, 3, R("a0^a1^a2")), R("a0^a1~JSON^a2"));
    // Sub-items already in argument 1 stay as they are.
    EXPECT_EQ(Translate(6, 1, R("a0^x~y\375z^")), R("a0^x~y\375z~MV^"));  // \375 is 0xFD
    // The empty name still adds its separator.
    EXPECT_EQ(Translate(10, 0, R("a0^a1")), R("a0^a1~"));
}

TEST(Translation, InsertsTheNameAtItsSubItemPosition) {
    EXPECT_EQ(Translate(4, 1, R("a0^p0~p1~p2~p3~p4^a2")), R("a0^p0~p1~p2~MV~p3~p4^a2"));
    EXPECT_EQ(Translate(3, 2, R("a0^first~second")), R("a0^first~XML~second"));
    EXPECT_EQ(Translate(14, 4, R("^0~1~2~3~4~5")), R("^0~1~2~3~4~TABLE~5"));
    EXPECT_EQ(Translate(15, 8, R("^0~1~2~3~4~5~6")), R("^0~1~2~3~4~5~JSON_SCH~6"));
    EXPECT_EQ(Translate(18, 9, R("a^b~c")), R("a^b~~c"));
}

TEST(Translation, PadsAShortSubItemListSoTheNameLandsInPlace) {
    EXPECT_EQ(Translate(4, 1, R("a0^p0~p1~p2")), R("a0^p0~p1~p2~MV"));
    EXPECT_EQ(Translate(4, 1, R("a0^p0")), R("a0^p0~~~MV"));
    EXPECT_EQ(Translate(3, 2, R("a0^")), R("a0^~XML"));
}

TEST(Translation, ReplacesTheSecondArgument) {
    EXPECT_EQ(Translate(7, 2, R("a0^a1")), R("a0^XML"));
    EXPECT_EQ(Translate(151, 0, R("a0^a1^a2")), R("a0^^a2"));
    EXPECT_EQ(Translate(9, 1, ""), "");
}

TEST(Translation, LeavesArgumentsWithoutASecondOneAsTheyAre) {
    for (uint8_t code : {2, 3, 7}) {
        EXPECT_EQ(Translate(code, 1, "only"), "only") << int{code};
    }
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

TEST(Translation, CodesSharingARuleAgree) {
    const std::string arguments = R("a0^x~y~z^a2");
    EXPECT_EQ(Translate(3, 5, arguments), Translate(5, 5, arguments));
    EXPECT_EQ(Translate(3, 5, arguments), Translate(18, 5, arguments));
    EXPECT_EQ(Translate(2, 7, arguments), Translate(6, 7, arguments));
    EXPECT_EQ(Translate(2, 7, arguments), Translate(10, 7, arguments));
    for (int code : {7, 9, 11, 12, 13, 17, 150, 151}) {
        EXPECT_EQ(Translate(static_cast<uint8_t>(code), 2, arguments), R("a0^XML^a2")) << code;
    }
}
