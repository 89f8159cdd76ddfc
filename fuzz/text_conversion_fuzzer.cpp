// The two text conversions and the session-identifier parser on arbitrary
// bytes. Input: up to three zero-terminated strings: text read as
// ISO-8859-15, text read as UTF-8, and an identifier text.
#include <cctype>
#include <cstdint>
#include <cstring>
#include <string>

#include "fuzz_input.hpp"
#include "strings/strings.hpp"
#include "transport/session_id.hpp"
#include "transport/text_conversion.hpp"

namespace {

using zvfuzz::Require;

std::string ToUtf8(const std::string& iso) {
    const zv::CString converted(zv::Iso885915ToUtf8(iso.c_str()));
    Require(converted != nullptr);
    return converted.get();
}

std::string ToIso(const std::string& utf8) {
    const zv::CString converted(zv::Utf8ToIso885915(utf8.c_str()));
    Require(converted != nullptr);
    return converted.get();
}

// Every ISO-8859-15 text survives the way to UTF-8 and back unchanged.
void CheckIsoRoundTrip(const std::string& iso) {
    const std::string utf8 = ToUtf8(iso);
    Require(utf8.size() >= iso.size() && utf8.size() <= 3 * iso.size());
    Require(ToIso(utf8) == iso);
}

// Any byte string converts without fault into text no longer than itself,
// and what comes out is already settled: it survives another round trip.
void CheckUtf8Input(const std::string& utf8) {
    const std::string iso = ToIso(utf8);
    Require(iso.size() <= utf8.size());
    Require(ToIso(ToUtf8(iso)) == iso);
}

void CheckSessionIdText(const std::string& text) {
    const zv::MallocPtr<uint8_t> bytes(zv::SessionIdFromText(text.c_str()));
    if (bytes == nullptr) return;
    Require(text.size() == zv::kSessionIdTextLength);
    const zv::CString back(zv::SessionIdToText(bytes.get()));
    Require(back != nullptr);
    std::string lower = text;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    Require(lower == back.get());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    zvfuzz::FuzzInput input(data, size);
    const std::string first = input.TakeString();
    CheckIsoRoundTrip(first);
    CheckUtf8Input(first);
    CheckSessionIdText(first);
    const std::string second = input.TakeString();
    CheckUtf8Input(second);
    CheckSessionIdText(input.TakeString());
    return 0;
}
