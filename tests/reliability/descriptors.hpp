// Counting the process's open descriptors, to show that an operation leaves
// none behind whatever way it ends.
#pragma once

#include <dirent.h>

#include <chrono>
#include <cstddef>
#include <thread>

namespace zvtest {

// The entries of /proc/self/fd, less the one the listing itself opens.
inline std::size_t OpenDescriptorCount() {
    DIR* listing = opendir("/proc/self/fd");
    if (listing == nullptr) return 0;
    std::size_t count = 0;
    while (const dirent* entry = readdir(listing)) {
        if (entry->d_name[0] != '.') ++count;
    }
    closedir(listing);
    return count - 1;
}

// The in-process server closes its end of a connection on its own thread,
// just after the client has read the reply: wait (boundedly) for the count to
// come down to expected, then return it.
inline std::size_t SettledDescriptorCount(std::size_t expected) {
    std::size_t count = OpenDescriptorCount();
    for (int i = 0; i < 500 && count > expected; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        count = OpenDescriptorCount();
    }
    return count;
}

}  // namespace zvtest
