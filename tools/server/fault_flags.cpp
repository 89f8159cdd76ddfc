#include "fault_flags.hpp"

#include <charconv>

namespace zv::server {
namespace {

struct KindName {
    std::string_view name;
    FaultKind kind;
    bool takesText;
    std::string_view help;
};

constexpr KindName kKinds[] = {
    {"refuse", FaultKind::kRefuse, true, "negotiation refused (error flag 1) with TEXT"},
    {"error-flag", FaultKind::kErrorFlag, true, "response flagged 255, TEXT as its payload"},
    {"wrong-checksum", FaultKind::kWrongChecksum, false, "checksum trailer with a flipped byte"},
    {"short-header", FaultKind::kShortHeader, false, "only N header bytes (10), then close"},
    {"fragmented", FaultKind::kFragmented, false, "reply in pieces of N bytes (3), 2 ms apart"},
    {"bad-padding", FaultKind::kBadPadding, false, "encrypted response with invalid padding"},
    {"wrong-length", FaultKind::kWrongLength, false, "encrypted response not a block multiple"},
    {"huge-length", FaultKind::kHugeLength, false, "payloadLength 0xFFFFFFFF, N bytes (64), close"},
    {"short-key", FaultKind::kShortKey, false, "negotiation key of only N bytes (16)"},
    {"close-after", FaultKind::kCloseAfter, false, "first N bytes of the reply (all but 1), close"},
    {"unstorable-key", FaultKind::kUnstorableKey, false, "negotiation key holding 0x00 and 0x1C"},
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
        if (kind.takesText) {
            fault.text = value;
        } else if (!value.empty()) {
            const auto [end, status] =
                std::from_chars(value.data(), value.data() + value.size(), fault.count);
            if (status != std::errc() || end != value.data() + value.size()) {
                error = "not a byte count: '" + std::string(value) + "'";
                return false;
            }
        }
        *target = fault;
        return true;
    }
    error = "unknown fault '" + std::string(kindText) + "'";
    return false;
}

std::string FaultFlagHelp() {
    std::string help;
    for (const KindName& kind : kKinds) {
        std::string name(kind.name);
        name += kind.takesText ? "=TEXT" : "[=N]";
        name.resize(22, ' ');
        help += "    " + name + std::string(kind.help) + "\n";
    }
    return help;
}

}  // namespace zv::server
