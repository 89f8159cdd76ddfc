// Files that hold secrets for this user alone: the session file and the
// credential files. Whatever another user could have planted or read is
// refused before a byte of it is used.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

namespace zvcli {

// Files larger than this are refused unread; a session record or a secret
// is a few hundred bytes.
constexpr std::size_t kPrivateFileLimit = 64 * 1024;

// The contents of path, when it is a regular file that belongs to this user,
// grants no access to group or others and holds at most kPrivateFileLimit
// bytes and no zero byte. A symbolic link is refused unless followLinks (the
// checks then apply to the file it leads to). The checks are made on the
// opened descriptor, so the file cannot be swapped between check and read.
// On refusal: nullopt, with what (e.g. "session file") and the reason in error.
std::optional<std::string> ReadPrivateFile(const std::string& path, const char* what,
                                           bool followLinks, std::string& error);

}  // namespace zvcli
