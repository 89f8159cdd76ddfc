// Text conversion, byte for byte: the fixed cases, and the fast paths against
// a plain byte-by-byte reading of the rules on random text.
#include <gtest/gtest.h>
#include <malloc.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <string>

#include "transport/text_conversion.hpp"

namespace {

struct Converted {
    std::string text;        // up to the terminator
    std::size_t blockBytes;  // bytes from the start to the end of the zero tail
};

// The result and the length of its block, checking on the way that every
// byte from the terminator to (n | 7) + 1 is zero.
Converted Take(char* block) {
    if (block == nullptr) return {"<null>", 0};
    Converted converted{block, 0};
    const std::size_t blockBytes = (converted.text.size() | 7) + 1;
    for (std::size_t i = converted.text.size(); i < blockBytes; ++i) {
        EXPECT_EQ(block[i], 0) << "tail byte " << i;
    }
#ifdef _WIN32
    EXPECT_GE(_msize(block), blockBytes);
#else
    EXPECT_GE(malloc_usable_size(block), blockBytes);
#endif
    converted.blockBytes = blockBytes;
    std::free(block);
    return converted;
}

// The conversion of text handed over in a block of exactly its size, so that
// a read past the terminator shows under AddressSanitizer.
std::string Convert(char* (*convert)(const char*), const std::string& text) {
    const std::unique_ptr<char[]> exact(new char[text.size() + 1]);
    std::memcpy(exact.get(), text.c_str(), text.size() + 1);
    return Take(convert(exact.get())).text;
}
std::string ToUtf8(const std::string& iso) { return Convert(zv::Iso885915ToUtf8, iso); }
std::string ToIso(const std::string& utf8) { return Convert(zv::Utf8ToIso885915, utf8); }

// The eight positions where ISO-8859-15 differs from ISO-8859-1.
const std::string kSpecialIso = "\xA4\xA6\xA8\xB4\xB8\xBC\xBD\xBE";
const std::string kSpecialUtf8[] = {"\xE2\x82\xAC", "\xC5\xA0", "\xC5\xA1", "\xC5\xBD",
                                    "\xC5\xBE",     "\xC5\x92", "\xC5\x93", "\xC5\xB8"};

// The rules one byte at a time, as plainly as they can be written.
std::string ReferenceToUtf8(const std::string& iso) {
    std::string out;
    for (const char c : iso) {
        const auto b = static_cast<unsigned char>(c);
        const std::size_t special = kSpecialIso.find(c);
        if (b < 0x80) {
            out += c;
        } else if (special != std::string::npos) {
            out += kSpecialUtf8[special];
        } else {
            out += b >= 0xC0 ? '\xC3' : '\xC2';
            out += static_cast<char>(b >= 0xC0 ? b - 0x40 : b);
        }
    }
    return out;
}

std::string ReferenceToIso(const std::string& utf8) {
    const auto at = [&](std::size_t i) -> unsigned char {
        return i < utf8.size() ? static_cast<unsigned char>(utf8[i]) : 0;
    };
    const auto continuation = [&](std::size_t i) { return (at(i) & 0xC0) == 0x80; };
    std::string out;
    for (std::size_t i = 0; i < utf8.size();) {
        const unsigned char b = at(i);
        std::size_t special = 0;
        while (special < 8 &&
               utf8.compare(i, kSpecialUtf8[special].size(), kSpecialUtf8[special]) != 0) {
            ++special;
        }
        if (b < 0x80) {
            out += static_cast<char>(b);
            i += 1;
        } else if (special < 8) {
            out += kSpecialIso[special];
            i += kSpecialUtf8[special].size();
        } else if ((b == 0xC2 || b == 0xC3) && continuation(i + 1)) {
            out += static_cast<char>(at(i + 1) + (b == 0xC3 ? 0x40 : 0));
            i += 2;
        } else {
            // Anything else is dropped: a whole well-formed sequence at once,
            // a stray byte alone.
            std::size_t needed = 0;
            if (b >= 0xC0 && b <= 0xDF) needed = 1;
            if (b >= 0xE0 && b <= 0xEF) needed = 2;
            if (b >= 0xF0 && b <= 0xF7) needed = 3;
            if (b >= 0xF8 && b <= 0xFB) needed = 4;
            if (b >= 0xFC && b <= 0xFD) needed = 5;
            std::size_t k = 1;
            while (k <= needed && continuation(i + k)) ++k;
            i += (needed > 0 && k == needed + 1) ? needed + 1 : 1;
        }
    }
    return out;
}

TEST(TextConversion, BlockSizeIsTheNextMultipleOfEightAboveTheLength) {
    // Null and empty text give eight zero bytes.
    for (char* block : {zv::Iso885915ToUtf8(nullptr), zv::Iso885915ToUtf8(""),
                        zv::Utf8ToIso885915(nullptr), zv::Utf8ToIso885915("")}) {
        EXPECT_EQ(Take(block).blockBytes, 8u);
    }
    EXPECT_EQ(Take(zv::Iso885915ToUtf8("1234567")).blockBytes, 8u);
    EXPECT_EQ(Take(zv::Iso885915ToUtf8("12345678")).blockBytes, 16u);
    EXPECT_EQ(Take(zv::Iso885915ToUtf8("123456\xE9")).blockBytes, 16u);  // 8 bytes as UTF-8
    // Dropped input shrinks the block to what is left.
    const Converted fitted =
        Take(zv::Utf8ToIso885915("ab\xF0\x9F\x98\x80\xF0\x9F\x98\x80\xE4\xB8\xAD!!"));
    EXPECT_EQ(fitted.text, "ab!!");
    EXPECT_EQ(fitted.blockBytes, 8u);
    const Converted long512 = Take(zv::Utf8ToIso885915(std::string(512, 'x').c_str()));
    EXPECT_EQ(long512.blockBytes, 520u);
}

TEST(TextConversion, EveryIsoTextSurvivesTheRoundTrip) {
    std::string all;
    for (int b = 1; b < 256; ++b) all += static_cast<char>(b);
    EXPECT_EQ(ToUtf8(all), ReferenceToUtf8(all));
    EXPECT_EQ(ToIso(ToUtf8(all)), all);
    EXPECT_EQ(ToUtf8("\xA4\xBE"), "\xE2\x82\xAC\xC5\xB8");
    // The ISO-8859-1 forms of the eight positions come back as the same bytes.
    EXPECT_EQ(ToIso("\xC2\xA4\xC2\xA6\xC2\xA8\xC2\xB4\xC2\xB8\xC2\xBC\xC2\xBD\xC2\xBE"),
              kSpecialIso);
}

TEST(TextConversion, DropsWhatIsoCannotHoldAndKeepsItsNeighbours) {
    EXPECT_EQ(ToIso("a\xE4\xB8\xAD-b\xF0\x9F\x98\x80-c"), "a-b-c");  // CJK and emoji
    EXPECT_EQ(ToIso("a\xC5\x81z"), "az");                            // Ł has no ISO form
    EXPECT_EQ(ToIso("\x80x\xFEy\xFFz"), "xyz");                      // stray bytes, one at a time
    EXPECT_EQ(ToIso("\xC3x"), "x");                                  // lead without continuation
    EXPECT_EQ(ToIso("ok\xE2\x82"), "ok");                            // truncated at the end
    EXPECT_EQ(ToIso("ok\xFC\x80\x80\x80\x80"), "ok");
    EXPECT_EQ(ToIso("\xFC\x80\x80\x80\x80\x80!"), "!");  // six-byte form as a unit
}

TEST(TextConversion, FastPathsMatchTheRulesOnRandomText) {
    std::mt19937 generator(2024);
    std::uniform_int_distribution<int> length(0, 300);
    std::uniform_int_distribution<int> anyByte(1, 255);
    std::uniform_int_distribution<int> percent(0, 99);
    for (int round = 0; round < 3000; ++round) {
        // Mostly ASCII with some high bytes, so that runs of every length
        // meet every kind of sequence at every alignment.
        const int highShare = round % 4 == 0 ? 50 : 8;
        std::string text;
        for (int i = length(generator); i > 0; --i) {
            const int b = anyByte(generator);
            text +=
                static_cast<char>(percent(generator) < highShare ? b | 0x80 : (b & 0x7F) | 0x20);
        }
        ASSERT_EQ(ToUtf8(text), ReferenceToUtf8(text));
        ASSERT_EQ(ToIso(text), ReferenceToIso(text));
        const std::string utf8 = ReferenceToUtf8(text);
        ASSERT_EQ(ToIso(utf8), text);
    }
}

}  // namespace
