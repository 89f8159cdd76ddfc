// The session file: the connection-info record a login produced, kept for
// later runs. It holds the session key, so only its owner may read it.
#pragma once

#include <optional>
#include <string>

namespace zvcli {

// Whether anything (a file, a link, a folder) is at path.
bool SessionFileExists(const std::string& path);

// Writes record to path with mode 0600, complete or not at all (a temporary
// file moved into place). An existing file at path is replaced only when
// replace is set; otherwise it is a failure. False, with a reason, on failure.
bool WriteSessionFile(const std::string& path, const std::string& record, bool replace,
                      std::string& error);

// The record of a session file that this user alone can have written and
// can read (see ReadPrivateFile); nullopt, with the reason, otherwise.
std::optional<std::string> ReadSessionFile(const std::string& path, std::string& error);

bool RemoveSessionFile(const std::string& path, std::string& error);

}  // namespace zvcli
