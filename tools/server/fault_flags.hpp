// The --fault option of zorvat-server: PHASE:KIND[=VALUE], where PHASE is
// negotiation or response and VALUE is a text (refuse, error-flag), a time in
// milliseconds (delay) or a byte count (the other kinds).
#pragma once

#include <string>
#include <string_view>

#include "server_options.hpp"

namespace zv::server {

// Sets the fault of the named phase in plan. Returns false, with error
// telling why, for an unknown phase or kind or a malformed count.
bool ParseFaultFlag(std::string_view flag, FaultPlan& plan, std::string& error);

// The kind's name as --fault spells it; empty for kNone.
std::string_view FaultKindName(FaultKind kind);

// The kinds and what their VALUE means, one per line, for --help.
std::string FaultFlagHelp();

}  // namespace zv::server
