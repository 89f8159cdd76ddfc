#include "answer_printer.hpp"

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

std::string Visible(std::string_view latin9) {
    std::string shown;
    for (const char c : latin9) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte == 0x1F) {
            shown += "\\A";
        } else if (byte == 0xFE) {
            shown += "\\S";
        } else if (byte == '\\') {
            shown += "\\\\";
        } else if (byte < 0x20 || byte == 0x7F) {
            char escape[5];
            std::snprintf(escape, sizeof escape, "\\x%02X", byte);
            shown += escape;
        } else {
            shown += c;
        }
    }
    return Latin9ToUtf8(shown);
}

std::string JsonString(std::string_view latin9) {
    std::string json = "\"";
    for (const char c : Latin9ToUtf8(latin9)) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            json += '\\';
            json += c;
        } else if (byte < 0x20) {
            char escape[7];
            std::snprintf(escape, sizeof escape, "\\u%04x", byte);
            json += escape;
        } else {
            json += c;
        }
    }
    return json + "\"";
}

}  // namespace

std::string FormatAnswerForPeople(std::string_view answer) {
    const auto items = SplitAt(answer, '\x1C');
    const auto names = SplitAt(items.front(), '\xFE');
    const bool keyed = names.size() > 1 && items.size() > 1;
    std::string text;
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (keyed && i == 0) {
            text += "(names) " + Visible(items[0]) + "\n";
        } else if (keyed && i < names.size()) {
            text += Visible(names[i]) + " = " + Visible(items[i]) + "\n";
        } else {
            text += "[" + std::to_string(i) + "] " + Visible(items[i]) + "\n";
        }
    }
    return text;
}

std::string FormatAnswerAsJson(std::string_view answer) {
    std::string json = "{\"ok\": true, \"answer\": " + JsonString(answer) + ", \"items\": [";
    const auto items = SplitAt(answer, '\x1C');
    for (std::size_t i = 0; i < items.size(); ++i) {
        json += i == 0 ? "[" : ", [";
        const auto subitems = SplitAt(items[i], '\xFE');
        for (std::size_t k = 0; k < subitems.size(); ++k) {
            json += (k == 0 ? "" : ", ") + JsonString(subitems[k]);
        }
        json += "]";
    }
    return json + "]}";
}

std::string FormatErrorAsJson(std::string_view message) {
    return "{\"ok\": false, \"error\": " + JsonString(message) + "}";
}

}  // namespace zvcli
