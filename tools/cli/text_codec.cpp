#include "text_codec.hpp"

#include <array>
#include <cstdint>
#include <cstdio>

namespace zvcli {
namespace {

// The eight positions where ISO-8859-15 differs from ISO-8859-1.
struct Latin9Difference {
    unsigned char byte;
    char32_t codePoint;
};
constexpr std::array<Latin9Difference, 8> kDifferences = {{{0xA4, 0x20AC},
                                                           {0xA6, 0x0160},
                                                           {0xA8, 0x0161},
                                                           {0xB4, 0x017D},
                                                           {0xB8, 0x017E},
                                                           {0xBC, 0x0152},
                                                           {0xBD, 0x0153},
                                                           {0xBE, 0x0178}}};

char32_t CodePointOf(unsigned char byte) {
    for (const auto& difference : kDifferences) {
        if (difference.byte == byte) return difference.codePoint;
    }
    return byte;
}

std::optional<unsigned char> ByteOf(char32_t codePoint) {
    for (const auto& difference : kDifferences) {
        if (difference.codePoint == codePoint) return difference.byte;
        if (difference.byte == codePoint) return std::nullopt;  // replaced in ISO-8859-15
    }
    if (codePoint <= 0xFF) return static_cast<unsigned char>(codePoint);
    return std::nullopt;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

std::optional<std::string> ExpandEscapes(std::string_view text, std::string& error) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            out += text[i];
            continue;
        }
        if (++i == text.size()) {
            error = "a backslash ends the text; write \\\\ for a backslash";
            return std::nullopt;
        }
        switch (text[i]) {
            case 'A':
                out += '\x1F';
                break;
            case 'S':
                out += '\xFE';
                break;
            case 'I':
                out += '\x1C';
                break;
            case '\\':
                out += '\\';
                break;
            case 'x': {
                const int high = i + 1 < text.size() ? HexValue(text[i + 1]) : -1;
                const int low = i + 2 < text.size() ? HexValue(text[i + 2]) : -1;
                if (high < 0 || low < 0) {
                    error = "\\x needs two hex digits";
                    return std::nullopt;
                }
                if (high == 0 && low == 0) {
                    // The text travels zero-terminated: it would end here.
                    error = "\\x00 would cut the text short; a zero byte cannot be sent";
                    return std::nullopt;
                }
                out += static_cast<char>(high * 16 + low);
                i += 2;
                break;
            }
            default:
                error = std::string("unknown escape \\") + text[i] +
                        " (use \\A, \\S, \\I, \\xHH or \\\\)";
                return std::nullopt;
        }
    }
    return out;
}

std::optional<std::string> Utf8ToLatin9(std::string_view utf8, std::string& error) {
    // The least code point each length may encode: anything below is an
    // overlong form, which would smuggle a zero byte or a backslash past the
    // checks made on the decoded text.
    static constexpr char32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
    const auto invalid = [&](std::size_t at, const char* why) {
        error = "the text is not valid UTF-8 (" + std::string(why) + " at byte " +
                std::to_string(at + 1) + ")";
        return std::nullopt;
    };
    std::string out;
    for (std::size_t i = 0; i < utf8.size();) {
        const auto lead = static_cast<unsigned char>(utf8[i]);
        char32_t codePoint = 0;
        std::size_t length = 1;
        if (lead < 0x80) {
            codePoint = lead;
        } else if (lead >= 0xC0 && lead <= 0xDF) {
            length = 2;
            codePoint = lead & 0x1F;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            codePoint = lead & 0x0F;
        } else if (lead >= 0xF0 && lead <= 0xF7) {
            length = 4;
            codePoint = lead & 0x07;
        } else {
            return invalid(i, "a byte that cannot start a character");
        }
        if (i + length > utf8.size()) return invalid(i, "a character cut short");
        for (std::size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(utf8[i + k]);
            if ((next & 0xC0) != 0x80) return invalid(i, "a character cut short");
            codePoint = (codePoint << 6) | (next & 0x3F);
        }
        if (codePoint < kLeast[length]) return invalid(i, "an overlong form");
        if (codePoint >= 0xD800 && codePoint <= 0xDFFF) return invalid(i, "a surrogate");
        if (codePoint > 0x10FFFF) return invalid(i, "a value above U+10FFFF");
        if (codePoint == 0) {
            // The text travels zero-terminated: it would end here.
            error = "a zero byte (at byte " + std::to_string(i + 1) +
                    ") would cut the text short; it cannot be sent";
            return std::nullopt;
        }
        const auto byte = ByteOf(codePoint);
        if (!byte) {
            char name[16];
            std::snprintf(name, sizeof name, "U+%04X", static_cast<unsigned>(codePoint));
            error = std::string(name) + " cannot be written in ISO-8859-15";
            return std::nullopt;
        }
        out += static_cast<char>(*byte);
        i += length;
    }
    return out;
}

std::string Latin9ToUtf8(std::string_view latin9) {
    std::string out;
    out.reserve(latin9.size());
    for (const char c : latin9) {
        const char32_t codePoint = CodePointOf(static_cast<unsigned char>(c));
        if (codePoint < 0x80) {
            out += static_cast<char>(codePoint);
        } else if (codePoint < 0x800) {
            out += static_cast<char>(0xC0 | (codePoint >> 6));
            out += static_cast<char>(0x80 | (codePoint & 0x3F));
        } else {
            out += static_cast<char>(0xE0 | (codePoint >> 12));
            out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (codePoint & 0x3F));
        }
    }
    return out;
}

}  // namespace zvcli
