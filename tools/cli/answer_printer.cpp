#include "answer_printer.hpp"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "text_codec.hpp"

namespace zvcli {
namespace {

std::vector<std::string_view> SplitAt(std::string_view text, char separator) {
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    for (std::size_t at; (at = text.find(separator, start)) != std::string_view::npos;) {
        parts.push_back(text.substr(start, at - start));
        start = at + 1;
    }
    parts.push_back(text.substr(start));
    return parts;
}

// A control byte, C0 or C1 (0x80 to 0x9F are controls in ISO-8859-15 too, and
// some terminals obey them), or DEL.
bool IsControl(unsigned char byte) { return byte < 0x20 || (byte >= 0x7F && byte <= 0x9F); }

std::string JsonString(std::string_view text, bool latin9) {
    std::string json = "\"";
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            json += '\\';
            json += c;
        } else if (IsControl(byte) && (latin9 || byte < 0x80)) {
            char escape[7];
            std::snprintf(escape, sizeof escape, "\\u%04x", byte);
            json += escape;
        } else {
            json += latin9 ? Latin9ToUtf8(std::string_view(&c, 1)) : std::string(1, c);
        }
    }
    return json + "\"";
}

// Columns a UTF-8 text takes on a terminal, counting one per character.
std::size_t Width(std::string_view utf8) {
    return static_cast<std::size_t>(std::count_if(utf8.begin(), utf8.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }));
}

// Built by appending: g++ 12 at -O3 warns wrongly (-Wrestrict) about
// "[" + std::to_string(i) + "]".
std::string IndexLabel(std::size_t index) {
    std::string label = "[";
    label += std::to_string(index);
    label += ']';
    return label;
}

}  // namespace

std::string FormatTextForPeople(std::string_view latin9) {
    std::string shown;
    for (const char c : latin9) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte == 0x1F) {
            shown += "\\A";
        } else if (byte == 0xFE) {
            shown += "\\S";
        } else if (byte == '\\') {
            shown += "\\\\";
        } else if (IsControl(byte)) {
            char escape[5];
            std::snprintf(escape, sizeof escape, "\\x%02X", byte);
            shown += escape;
        } else {
            shown += c;
        }
    }
    return Latin9ToUtf8(shown);
}

std::string FormatAnswerForPeople(std::string_view answer) {
    const auto items = SplitAt(answer, '\x1C');
    const auto names = SplitAt(items.front(), '\xFE');
    const bool keyed = names.size() > 1 && items.size() > 1;
    // Labels for items 1 on; the name list itself (item 0) is not repeated.
    std::vector<std::string> labels;
    std::size_t width = 0;
    for (std::size_t i = keyed ? 1 : 0; i < items.size(); ++i) {
        labels.push_back(keyed && i < names.size() ? FormatTextForPeople(names[i]) : IndexLabel(i));
        width = std::max(width, Width(labels.back()));
    }
    std::string text;
    for (std::size_t k = 0; k < labels.size(); ++k) {
        text += labels[k] + std::string(width - Width(labels[k]) + 2, ' ') +
                FormatTextForPeople(items[k + (keyed ? 1 : 0)]) + "\n";
    }
    return text;
}

std::string FormatRawItems(std::string_view answer) {
    std::string text;
    for (const auto item : SplitAt(answer, '\x1C')) text += FormatTextForPeople(item) + "\n";
    return text;
}

std::string FormatAnswerAsJson(std::string_view answer) {
    std::string json = "{\"ok\": true, \"answer\": " + JsonString(answer, true) + ", \"items\": [";
    const auto items = SplitAt(answer, '\x1C');
    for (std::size_t i = 0; i < items.size(); ++i) {
        json += i == 0 ? "[" : ", [";
        const auto subitems = SplitAt(items[i], '\xFE');
        for (std::size_t k = 0; k < subitems.size(); ++k) {
            json += (k == 0 ? "" : ", ") + JsonString(subitems[k], true);
        }
        json += "]";
    }
    return json + "]}";
}

std::string FormatErrorAsJson(std::string_view message, bool latin9) {
    return "{\"ok\": false, \"error\": " + JsonString(message, latin9) + "}";
}

}  // namespace zvcli
