#include <gtest/gtest.h>

#include <string>

#include "answer_printer.hpp"
#include "support/owned_results.hpp"
#include "text_codec.hpp"

using zvtest::R;

TEST(CliInput, EscapesStandForTheSeparatorsAndAnyByteAndUtf8BecomesIso885915) {
    std::string error;
    EXPECT_EQ(zvcli::ExpandEscapes("a\\Ab\\Sc\\Id", error), R("a^b~c|d"));
    EXPECT_EQ(zvcli::ExpandEscapes("\\x41\\xfe\\\\", error), std::string("A\xFE\\"));
    for (const char* bad : {"tail\\", "\\q", "\\x4", "\\xzz", "abc\\x00def"}) {
        EXPECT_FALSE(zvcli::ExpandEscapes(bad, error)) << bad;
        EXPECT_FALSE(error.empty());
    }
    // Typed UTF-8 becomes ISO-8859-15 or is refused.
    // é, €, Š, Œ, Ÿ
    EXPECT_EQ(zvcli::Utf8ToLatin9("\xC3\xA9 \xE2\x82\xAC \xC5\xA0 \xC5\x92 \xC5\xB8", error),
              std::string("\xE9 \xA4 \xA6 \xBC \xBE"));
    std::string all;  // every byte but zero comes back from its UTF-8
    for (int byte = 1; byte < 256; ++byte) all += static_cast<char>(byte);
    EXPECT_EQ(zvcli::Utf8ToLatin9(zvcli::Latin9ToUtf8(all), error), all) << error;
    // ¤ (U+00A4) has no place in ISO-8859-15: its byte is the euro sign there.
    EXPECT_FALSE(zvcli::Utf8ToLatin9("\xC2\xA4", error));
    EXPECT_NE(error.find("U+00A4"), std::string::npos);
    EXPECT_FALSE(zvcli::Utf8ToLatin9("\xE4\xB8\xAD", error));  // a CJK character
    EXPECT_FALSE(zvcli::Utf8ToLatin9("\xE9t\xE9", error));     // not UTF-8 at all
    EXPECT_FALSE(zvcli::Utf8ToLatin9("\xC3", error));          // cut short
    // Overlong zero bytes and backslash, a surrogate, beyond U+10FFFF.
    for (const char* bad : {"a\xE0\x80\x80", "a\xF0\x80\x80\x80", "\xE0\x81\x9Cx", "\xC1\x9C",
                            "\xED\xA0\x80", "\xF4\x90\x80\x80"}) {
        EXPECT_FALSE(zvcli::Utf8ToLatin9(bad, error)) << bad;
    }
}

TEST(CliAnswers, KeyedAnswersPrintAlignedNamesEveryControlByteEscapedAndAsJson) {
    const std::string answer = R("LOGIN~ID~ARGUMENTS|R1|a^b~c\\");
    EXPECT_EQ(zvcli::FormatAnswerForPeople(answer), "ID         R1\nARGUMENTS  a\\Ab\\Sc\\\\\n");
    EXPECT_EQ(zvcli::FormatRawItems(answer), "LOGIN\\SID\\SARGUMENTS\nR1\na\\Ab\\Sc\\\\\n");
    // ESC, DEL and the C1 range: a terminal would obey them.
    EXPECT_EQ(zvcli::FormatAnswerForPeople(R("plain|\xA4\x1B]0;x\x07\x7F\x9B\xA0")),
              "[0]  plain\n[1]  \xE2\x82\xAC\\x1B]0;x\\x07\\x7F\\x9B\xC2\xA0\n");
    // JSON keeps text and structure.
    EXPECT_EQ(zvcli::FormatAnswerAsJson(R("K~A|x\"y^z")),
              "{\"ok\": true, \"answer\": \"K\xC3\xBE"
              "A\\u001cx\\\"y\\u001fz\", "
              "\"items\": [[\"K\", \"A\"], [\"x\\\"y\\u001fz\"]]}");
    EXPECT_EQ(zvcli::FormatErrorAsJson("\x1B[2J\x9B\xA4", true),
              "{\"ok\": false, \"error\": \"\\u001b[2J\\u009b\xE2\x82\xAC\"}");
    EXPECT_EQ(zvcli::FormatErrorAsJson("caf\xC3\xA9", false),
              "{\"ok\": false, \"error\": \"caf\xC3\xA9\"}");
}
