// The session file: the connection-info record a login produced, kept for
// later runs. It holds the session key, so only its owner may read it.
#pragma once

#include <optional>
#include <string>

namespace zvcli {

// Writes record to path with mode 0600, replacing any earlier file at once
// (a temporary file renamed into place). False, with a reason, on failure.
bool WriteSessionFile(const std::string& path, const std::string& record, std::string& error);

std::optional<std::string> ReadSessionFile(const std::string& path, std::string& error);

bool RemoveSessionFile(const std::string& path, std::string& error);

}  // namespace zvcli
