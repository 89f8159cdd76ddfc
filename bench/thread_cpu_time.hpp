// The calling thread's CPU time so far: what a benchmark charges to its own
// work on a machine where other work competes for the cores.
#pragma once

#include <time.h>

#include <chrono>

namespace zvbench {

inline std::chrono::nanoseconds ThreadCpuTime() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return std::chrono::seconds(now.tv_sec) + std::chrono::nanoseconds(now.tv_nsec);
}

}  // namespace zvbench
