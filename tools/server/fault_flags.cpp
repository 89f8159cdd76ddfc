#include "fault_flags.hpp"

#include <charconv>

namespace zv::server {
namespace {

enum class Value { kNone, kText, kCount, kMilliseconds };

struct KindName {
    std::string_view name;
    FaultKind kind;
    Value value;
    std::string_view help;
};

constexpr KindName kKinds[] = {
    {"refuse", FaultKind::kRefuse, Value::kText, "negotiation refused (error flag 1) with TEXT"},
    {"error-flag", FaultKind::kErrorFlag, Value::kText,
     "response flagged 255, TEXT as its payload"},
    {"wrong-checksum", FaultKind::kWrongChecksum, Value::kNone,
     "checksum trailer with a flipped byte"},
    {"short-header", FaultKind::kShortHeader, Value::kCount,
     "only N header bytes (10), then close"},
    {"fragmented", FaultKind::kFragmented, Value::kCount,
     "reply in pieces of N bytes (3), 2 ms apart"},
    {"bad-padding", FaultKind::kBadPadding, Value::kNone,
     "encrypted response with invalid padding"},
    {"wrong-length", FaultKind::kWrongLength, Value::kNone,
     "encrypted response not a block multiple"},
    {"huge-length", FaultKind::kHugeLength, Value::kCount,
     "payloadLength 0xFFFFFFFF, N bytes (64), close"},
    {"short-key", FaultKind::kShortKey, Value::kCount, "negotiation key of only N bytes (16)"},
    {"close-after", FaultKind::kCloseAfter, Value::kCount,
     "first N bytes of the reply (all but 1), close"},
    {"unstorable-key", FaultKind::kUnstorableKey, Value::kNone,
     "negotiation key holding 0x00 and 0x1C"},
    {"no-reply", FaultKind::kNoReply, Value::kNone, "read the request, close without a reply"},
    {"delay", FaultKind::kDelay, Value::kMilliseconds,
     "each reply held back MS ms; other clients go on"},
};

}  // namespace

bool ParseFaultFlag(std::string_view flag, FaultPlan& plan, std::string& error) {
    const std::size_t colon = flag.find(':');
    if (colon == std::string_view::npos) {
        error = "expected PHASE:KIND[=VALUE], got '" + std::string(flag) + "'";
        return false;
    }
    const std::string_view phase = flag.substr(0, colon);
    std::string_view kindText = flag.substr(colon + 1);
    std::string_view value;
    if (const std::size_t equals = kindText.find('='); equals != std::string_view::npos) {
        value = kindText.substr(equals + 1);
        kindText = kindText.substr(0, equals);
    }
    Fault* target = phase == "negotiation" ? &plan.negotiation
                    : phase == "response"  ? &plan.response
                                           : nullptr;
    if (target == nullptr) {
        error = "unknown phase '" + std::string(phase) + "' (negotiation or response)";
        return false;
    }
    for (const KindName& kind : kKinds) {
        if (kind.name != kindText) continue;
        Fault fault;
        fault.kind = kind.kind;
        if (kind.value == Value::kText) {
            fault.text = value;
        } else if (kind.value == Value::kNone && !value.empty()) {
            error = "fault '" + std::string(kindText) + "' takes no value";
            return false;
        } else if (kind.value == Value::kMilliseconds || !value.empty()) {
            uint32_t number = 0;
            const auto [end, status] =
                std::from_chars(value.data(), value.data() + value.size(), number);
            if (value.empty() || status != std::errc() || end != value.data() + value.size()) {
                error = std::string(kind.value == Value::kMilliseconds ? "not a time in ms"
                                                                       : "not a byte count") +
                        ": '" + std::string(value) + "'";
                return false;
            }
            if (kind.value == Value::kMilliseconds) {
                fault.delay = std::chrono::milliseconds(number);
            } else {
                fault.count = number;
            }
        }
        *target = fault;
        return true;
    }
    error = "unknown fault '" + std::string(kindText) + "'";
    return false;
}

std::string_view FaultKindName(FaultKind kind) {
    for (const KindName& entry : kKinds) {
        if (entry.kind == kind) return entry.name;
    }
    return {};
}

std::string FaultFlagHelp() {
    std::string help;
    for (const KindName& kind : kKinds) {
        std::string name(kind.name);
        name += kind.value == Value::kText           ? "=TEXT"
                : kind.value == Value::kCount        ? "[=N]"
                : kind.value == Value::kMilliseconds ? "=MS"
                                                     : "";
        name.resize(22, ' ');
        help += "    " + name + std::string(kind.help) + "\n";
    }
    return help;
}

}  // namespace zv::server
