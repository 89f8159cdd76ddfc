// The reference server's answers: keyed answers, whose first item lists the
// names of all items (the first name naming that list itself), items
// separated by 0x1C and names by 0xFE. All text is ISO-8859-15.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "transport/frame_headers.hpp"

namespace zv::server {

using NamedItems = std::vector<std::pair<std::string, std::string>>;

// listName, then each name in order, joined by 0xFE; then each value, all
// items joined by 0x1C.
std::string KeyedAnswer(std::string_view listName, const NamedItems& items);

enum class RequestKind { kLogin, kDirect, kLogout, kSession };

// The fields each kind of request carries, joined by 0x1F in its payload.
std::size_t FieldCount(RequestKind kind);

// Splits a payload (ISO-8859-15) into the fields of kind. The argument string
// holds 0x1F bytes of its own between its arguments, so the fields before it
// are counted from the front and those after it from the back, and whatever
// lies between is the argument string, byte for byte. False when the payload
// has fewer fields than kind carries.
bool SplitFields(RequestKind kind, std::string_view payload, std::vector<std::string>& fields);

// What the server decoded from one request.
struct DecodedRequest {
    RequestKind kind = RequestKind::kSession;
    RequestHeader header;
    std::vector<std::string> fields;  // as SplitFields gives them
};

// The login's answer: LOGIN, RECORD_ID, then the description items below
// minus the request kind.
std::string LoginAnswer(DecodedRequest request, std::string_view recordId);

// Every other request's answer: a keyed description of what was decoded,
// listed under DIRECT, LOGOUT or SESSION: OPERATION, SESSION_MODE,
// INPUT_FORMAT, OUTPUT_FORMAT (decimal), SESSION_ID (36-character text), then
// the payload fields under their names, ARGUMENTS last. Both take the
// request's fields over rather than copy them: they may be large.
std::string DescriptionAnswer(DecodedRequest request);

}  // namespace zv::server
