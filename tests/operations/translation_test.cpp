// Argument translation, rule by rule; end to end the server shows that the
// translated arguments are what travels (operations_end_to_end_test.cpp).
#include "operations/translation.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/owned_results.hpp"

using zvtest::R;

TEST(Translation, EachRuleOnArgumentOne) {
    struct Case {
        std::vector<int> codes;
        int format;
        const char* arguments;
        const char* expected;
    };
    const Case cases[] = {
        // Append the name as a sub-item, after any sub-items already there
        // (\375 is 0xFD, no separator); the empty name still adds its separator.
        {{2, 6, 10}, 3, "a0^a1^a2", "a0^a1~JSON^a2"},
        {{6}, 1, "a0^x~y\375z^", "a0^x~y\375z~MV^"},
        {{10}, 0, "a0^a1", "a0^a1~"},
        // Insert it at the code's sub-item position, padding a short list.
        {{4}, 1, "a0^p0~p1~p2~p3~p4^a2", "a0^p0~p1~p2~MV~p3~p4^a2"},
        {{3, 5, 18}, 2, "a0^first~second", "a0^first~XML~second"},
        {{14}, 4, "^0~1~2~3~4~5", "^0~1~2~3~4~TABLE~5"},
        {{15}, 8, "^0~1~2~3~4~5~6", "^0~1~2~3~4~5~JSON_SCH~6"},
        {{18}, 9, "a^b~c", "a^b~~c"},
        {{4}, 1, "a0^p0~p1~p2", "a0^p0~p1~p2~MV"},
        {{4}, 1, "a0^p0", "a0^p0~~~MV"},
        {{3}, 2, "a0^", "a0^~XML"},
        // Replace it.
        {{7, 9, 11, 12, 13, 17, 150, 151}, 5, "a0^x~y^a2", "a0^XML_DICT^a2"},
        {{7}, 6, "a^b", "a^XML_SCH"},
        {{7}, 7, "a^b", "a^JSON_DICT"},
        {{7}, 255, "a^b", "a^"},
        {{9}, 1, "", ""},
        // Without an argument 1 there is nothing to change; other codes
        // change nothing.
        {{2, 3, 7}, 1, "only", "only"},
        {{0, 1, 8, 16, 19, 100, 149, 152, 255}, 3, "a0^a1", "a0^a1"},
    };
    for (const Case& c : cases) {
        const std::string arguments = R(c.arguments);
        for (const int code : c.codes) {
            zv::TranslatedArguments translated;
            ASSERT_TRUE(zv::TranslateOperationArguments(static_cast<uint8_t>(code),
                                                        static_cast<uint8_t>(c.format),
                                                        arguments.c_str(), translated));
            EXPECT_EQ(translated.Text(), R(c.expected)) << code << " " << c.arguments;
        }
    }
}
