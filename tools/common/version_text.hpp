// The "--version" line of the programs: the version of the library they run
// on, which is what decides how they talk to a server.
#pragma once

#include <cstdint>
#include <string>

#include "zorvat.h"

namespace zvtools {

inline std::string VersionLine(const char* program) {
    const uint32_t version = ZvGetLibraryVersion();
    return std::string(program) + " " + std::to_string(version / 10000) + "." +
           std::to_string(version / 100 % 100) + "." + std::to_string(version % 100);
}

}  // namespace zvtools
