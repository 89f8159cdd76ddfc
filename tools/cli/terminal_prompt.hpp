// Asking the person at the terminal for a secret without showing it.
#pragma once

#include <optional>
#include <string>

namespace zvcli {

// Writes prompt to the controlling terminal, reads one line from it with
// echo off and gives it back without its line end. Works with standard input
// and output redirected; nullopt, with the reason in error, when the process
// has no terminal. Echo comes back on also when the read is interrupted by
// SIGINT, SIGTERM, SIGHUP or SIGQUIT.
std::optional<std::string> PromptWithoutEcho(const std::string& prompt, std::string& error);

}  // namespace zvcli
