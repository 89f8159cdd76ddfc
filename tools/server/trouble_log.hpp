// Lines about one client's trouble (a refusal, a timeout, a short request)
// at most once a second for each kind, so that a flood of clients cannot
// flood the log: the next line of a kind says how many like it were held
// back. Used on the event loop only.
#pragma once

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace zv::server {

class TroubleLog {
public:
    using Clock = std::chrono::steady_clock;

    // The line to log now, or nothing when a line of its kind went out less
    // than a second before now. kind names the kind for as long as this
    // lives (a literal).
    std::optional<std::string> Pass(std::string_view kind, std::string line,
                                    Clock::time_point now = Clock::now());

private:
    struct Kind {
        Clock::time_point last;
        std::size_t heldBack = 0;
    };
    std::unordered_map<std::string_view, Kind> kinds_;
};

}  // namespace zv::server
