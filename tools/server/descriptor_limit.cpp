#include "descriptor_limit.hpp"

#include <sys/resource.h>

#include <algorithm>

namespace zv::server {
namespace {

// The listener, the control port, standard streams, the resolver, logs.
constexpr rlim_t kOwnDescriptors = 32;

}  // namespace

std::string MakeRoomForConnections(std::size_t connections) {
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0) return {};
    const rlim_t wanted = static_cast<rlim_t>(connections) + kOwnDescriptors;
    if (limit.rlim_cur != RLIM_INFINITY && limit.rlim_cur < wanted) {
        const rlim_t raised =
            limit.rlim_max == RLIM_INFINITY ? wanted : std::min(wanted, limit.rlim_max);
        rlimit updated{raised, limit.rlim_max};
        if (setrlimit(RLIMIT_NOFILE, &updated) == 0) limit.rlim_cur = raised;
    }
    if (limit.rlim_cur != RLIM_INFINITY && limit.rlim_cur < wanted) {
        const rlim_t fit = limit.rlim_cur > kOwnDescriptors ? limit.rlim_cur - kOwnDescriptors : 0;
        return "the descriptor limit cannot be raised past " + std::to_string(limit.rlim_cur) +
               ", which leaves room for " + std::to_string(fit) + " of the " +
               std::to_string(connections) +
               " connections asked for; raise the hard limit (ulimit -Hn) to " +
               std::to_string(wanted) + " to serve them all";
    }
    return {};
}

}  // namespace zv::server
