#include "answers.hpp"

#include <array>
#include <cstdlib>
#include <memory>
#include <span>

#include "strings/strings.hpp"
#include "transport/session_id.hpp"

namespace zv::server {
namespace {

// The names of the payload fields of each kind, in payload order.
constexpr std::array<std::string_view, 8> kLoginFields = {
    "CREDENTIAL_ITEM3", "CREDENTIAL_ITEM4", "CREDENTIAL_ITEM1", "CREDENTIAL_ITEM5",
    "CREDENTIAL_ITEM6", "ARGUMENTS",        "PLUGIN",           "CLIENT_TYPE"};
constexpr std::array<std::string_view, 6> kLogoutFields = {"CREDENTIAL_ITEM3", "CREDENTIAL_ITEM4",
                                                           "CREDENTIAL_ITEM1", "CREDENTIAL_ITEM5",
                                                           "ARGUMENTS",        "RECORD_ID"};
constexpr std::array<std::string_view, 2> kSessionFields = {"RECORD_ID", "ARGUMENTS"};

std::span<const std::string_view> FieldNames(RequestKind kind) {
    switch (kind) {
        case RequestKind::kLogin:
        case RequestKind::kDirect:
            return kLoginFields;
        case RequestKind::kLogout:
            return kLogoutFields;
        case RequestKind::kSession:
            break;
    }
    return kSessionFields;
}

std::string SessionIdText(const SessionIdBytes& bytes) {
    const MallocPtr<char> text(SessionIdToText(bytes.data()));
    return text ? std::string(text.get()) : std::string();
}

// The header items, then the payload fields by name with ARGUMENTS moved to
// the end, so that arguments holding separators cannot shift other items.
// The fields move into the items.
NamedItems DescribeRequest(DecodedRequest& request) {
    NamedItems items = {
        {"OPERATION", std::to_string(request.header.operationCode)},
        {"SESSION_MODE", std::to_string(request.header.sessionMode)},
        {"INPUT_FORMAT", std::to_string(request.header.inputFormat)},
        {"OUTPUT_FORMAT", std::to_string(request.header.outputFormat)},
        {"SESSION_ID", SessionIdText(request.header.sessionId)},
    };
    const auto names = FieldNames(request.kind);
    std::string arguments;
    for (std::size_t i = 0; i < names.size() && i < request.fields.size(); ++i) {
        if (names[i] == "ARGUMENTS") {
            arguments = std::move(request.fields[i]);
        } else {
            items.emplace_back(names[i], std::move(request.fields[i]));
        }
    }
    items.emplace_back("ARGUMENTS", std::move(arguments));
    return items;
}

}  // namespace

std::string KeyedAnswer(std::string_view listName, const NamedItems& items) {
    std::string answer(listName);
    for (const auto& item : items) {
        answer += kSubitemSeparator;
        answer += item.first;
    }
    for (const auto& item : items) {
        answer += kItemSeparator;
        answer += item.second;
    }
    return answer;
}

std::size_t FieldCount(RequestKind kind) { return FieldNames(kind).size(); }

bool SplitFields(RequestKind kind, std::string_view payload, std::vector<std::string>& fields) {
    const auto names = FieldNames(kind);
    const std::vector<std::string_view> parts = SplitItems(payload, kArgumentSeparator);
    if (parts.size() < names.size()) return false;
    std::size_t argumentsAt = 0;
    while (names[argumentsAt] != "ARGUMENTS") ++argumentsAt;
    const std::size_t after = names.size() - argumentsAt - 1;
    fields.clear();
    for (std::size_t i = 0; i < argumentsAt; ++i) fields.emplace_back(parts[i]);
    // The argument string runs from its first part to the last one before the
    // trailing fields; those parts are contiguous in payload.
    const std::string_view first = parts[argumentsAt];
    const std::string_view last = parts[parts.size() - after - 1];
    fields.emplace_back(first.data(),
                        static_cast<std::size_t>(last.data() + last.size() - first.data()));
    for (std::size_t i = parts.size() - after; i < parts.size(); ++i) fields.emplace_back(parts[i]);
    return true;
}

std::string LoginAnswer(DecodedRequest request, std::string_view recordId) {
    NamedItems items = {{"RECORD_ID", std::string(recordId)}};
    for (auto& item : DescribeRequest(request)) items.push_back(std::move(item));
    return KeyedAnswer("LOGIN", items);
}

std::string DescriptionAnswer(DecodedRequest request) {
    const char* listName = request.kind == RequestKind::kDirect   ? "DIRECT"
                           : request.kind == RequestKind::kLogout ? "LOGOUT"
                                                                  : "SESSION";
    return KeyedAnswer(listName, DescribeRequest(request));
}

}  // namespace zv::server
