#include "trouble_log.hpp"

#include <utility>

namespace zv::server {

std::optional<std::string> TroubleLog::Pass(std::string_view kind, std::string line,
                                            Clock::time_point now) {
    const auto [entry, first] = kinds_.try_emplace(kind);
    Kind& seen = entry->second;
    if (!first && now - seen.last < std::chrono::seconds(1)) {
        ++seen.heldBack;
        return std::nullopt;
    }
    seen.last = now;
    if (seen.heldBack != 0) {
        line += " (" + std::to_string(seen.heldBack) + " more like it since the last one logged)";
        seen.heldBack = 0;
    }
    return line;
}

}  // namespace zv::server
