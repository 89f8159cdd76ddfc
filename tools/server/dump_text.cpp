#include "dump_text.hpp"

#include <cstdio>

#include "strings/strings.hpp"
#include "transport/session_id.hpp"
#include "transport/text_conversion.hpp"

namespace zv::server {
namespace {

std::string IdText(const SessionIdBytes& id) {
    const MallocPtr<char> text(SessionIdToText(id.data()));
    return text ? text.get() : "?";
}

}  // namespace

std::string TerminalSafe(std::string_view text, std::size_t limit) {
    std::string escaped;
    const std::string_view shown = text.substr(0, limit);
    escaped.reserve(shown.size() + 16);
    for (const char c : shown) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == kArgumentSeparator) {
            escaped += "\\A";
        } else if (c == kSubitemSeparator) {
            escaped += "\\S";
        } else if (byte < 0x20 || (byte >= 0x7F && byte <= 0x9F)) {
            char code[5];
            std::snprintf(code, sizeof code, "\\x%02X", byte);
            escaped += code;
        } else if (c == '\\') {
            escaped += "\\\\";
        } else {
            escaped += c;
        }
    }
    // What is left are printable ISO-8859-15 characters, which UTF-8 writes
    // without a single control byte.
    const MallocPtr<char> utf8(Iso885915ToUtf8(escaped.c_str()));
    std::string safe = utf8 ? utf8.get() : "?";
    if (text.size() > shown.size()) {
        safe += " ... (" + std::to_string(text.size() - shown.size()) + " more bytes)";
    }
    return safe;
}

std::string DescribeRequestHeader(const RequestHeader& header) {
    return "length=" + std::to_string(header.payloadLength) +
           " session=" + IdText(header.sessionId) +
           " version=" + std::to_string(header.versionMajor) + "." +
           std::to_string(header.versionMinor) + "." + std::to_string(header.versionPatch) +
           " reserved=" + std::to_string(header.reserved) +
           " marker=" + std::to_string(header.marker) +
           " operation=" + std::to_string(header.operationCode) +
           " input=" + std::to_string(header.inputFormat) +
           " output=" + std::to_string(header.outputFormat) +
           " mode=" + std::to_string(header.sessionMode) +
           " encrypted=" + std::to_string(header.encrypted);
}

std::string DescribeResponseHeader(const ResponseHeader& header) {
    return "length=" + std::to_string(header.payloadLength) +
           " session=" + IdText(header.sessionId) + " error=" + std::to_string(header.errorFlag) +
           " encrypted=" + std::to_string(header.encrypted);
}

}  // namespace zv::server
