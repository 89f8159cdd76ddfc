// Text conversion: what is dropped on the way back, and every ISO-8859-15 byte
// and random text against a plain reading of the rules, at every alignment.
#include <gtest/gtest.h>
#include <malloc.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <string>

#include "transport/text_conversion.hpp"

namespace {

// The result, checking on the way that its block holds (n | 7) + 1 bytes
// and that every byte from the terminator on is zero.
std::string Take(char* block) {
    if (block == nullptr) return "<null>";
    const std::string text = block;
    const std::size_t blockBytes = (text.size() | 7) + 1;
    for (std::size_t i = text.size(); i < blockBytes; ++i) {
        EXPECT_EQ(block[i], 0) << "tail byte " << i;
    }
#ifdef _WIN32
    EXPECT_GE(_msize(block), blockBytes);
#else
    EXPECT_GE(malloc_usable_size(block), blockBytes);
#endif
    std::free(block);
    return text;
}

// The conversion of text handed over in a block of exactly its size, so that
// a read past the terminator shows under AddressSanitizer.
std::string Convert(char* (*convert)(const char*), const std::string& text) {
    const std::unique_ptr<char[]> exact(new char[text.size() + 1]);
    std::memcpy(exact.get(), text.c_str(), text.size() + 1);
    return Take(convert(exact.get()));
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

TEST(TextConversion, DropsWhatIsoCannotHoldAndKeepsItsNeighbours) {
    // No text is empty text, in a block of its own.
    EXPECT_EQ(Take(zv::Iso885915ToUtf8(nullptr)), "");
    EXPECT_EQ(Take(zv::Utf8ToIso885915(nullptr)), "");
    const std::pair<std::string, std::string> cases[] = {
        // The ISO-8859-1 forms of the eight positions come back as their bytes.
        {"\xC2\xA4\xC2\xA6\xC2\xA8\xC2\xB4\xC2\xB8\xC2\xBC\xC2\xBD\xC2\xBE", kSpecialIso},
        {"a\xC5\x81-\xE4\xB8\xAD-b\xF0\x9F\x98\x80-c", "a--b-c"},  // Ł, CJK and emoji
        {"\x80x\xFEy\xFFz", "xyz"},                                // stray bytes, one at a time
        {"\xC3x\xE2\x82\xE2\x82", "x"},  // leads without their continuations
        {"ok\xFC\x80\x80\x80\x80", "ok"},
        {"\xFC\x80\x80\x80\x80\x80!", "!"},  // six-byte form as a unit
    };
    // Each case after 0 to 8 ASCII bytes and at the end or before more, so
    // that it meets the word-at-a-time paths at every alignment.
    for (const auto& [utf8, iso] : cases) {
        for (std::size_t pad = 0; pad <= 8; ++pad) {
            const std::string ascii(pad, '.');
            EXPECT_EQ(ToIso(ascii + utf8), ascii + iso) << pad;
            EXPECT_EQ(ToIso(ascii + utf8 + "12345678"), ascii + iso + "12345678") << pad;
        }
    }
}

TEST(TextConversion, EveryIsoByteAndRandomTextFollowTheRulesBothWays) {
    std::mt19937 generator(2024);
    std::uniform_int_distribution<int> length(0, 300);
    std::uniform_int_distribution<int> anyByte(1, 255);
    std::uniform_int_distribution<int> percent(0, 99);
    // The first text starts with every byte once.
    std::string everyByte;
    for (int b = 1; b < 256; ++b) everyByte += static_cast<char>(b);
    for (int round = 0; round < 3000; ++round) {
        // Mostly ASCII with some high bytes, so that runs of every length
        // meet every kind of sequence at every alignment.
        const int highShare = round % 4 == 0 ? 50 : 8;
        std::string text = round == 0 ? everyByte : "";
        for (int i = length(generator); i > 0; --i) {
            const int b = anyByte(generator);
            text +=
                static_cast<char>(percent(generator) < highShare ? b | 0x80 : (b & 0x7F) | 0x20);
        }
        const std::string utf8 = ReferenceToUtf8(text);
        ASSERT_EQ(ToUtf8(text), utf8);
        ASSERT_EQ(ToIso(utf8), text);
        // Read as UTF-8, the same bytes are mostly malformed: what survives
        // must not depend on where the words start.
        const std::string ascii(round % 8, '.');
        ASSERT_EQ(ToIso(ascii + text), ascii + ToIso(text));
    }
}

}  // namespace
