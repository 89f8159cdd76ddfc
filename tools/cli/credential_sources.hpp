// Where the credential items come from: the command line, a private file, a
// prompt without echo, or the environment. Only the first is visible to
// other users (in the process list), so the others are there for secrets.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "command_line.hpp"

namespace zvcli {

// The credential items of the credential-options record, in record order.
constexpr std::array<int, 5> kCredentialItems = {1, 3, 4, 5, 6};

// --credential-itemN TEXT, --credential-itemN-file PATH and
// --credential-itemN-prompt for every item. Their help is empty:
// CredentialHelp() explains them together.
const std::vector<OptionSpec>& CredentialOptionSpecs();

// The help section on the credential items: the sources and what each item
// goes into.
std::string CredentialHelp();

struct CredentialFailure {
    bool usage;  // a usage error (exit 2) rather than a refused source (exit 1)
    std::string message;
};

// The text of credential item n as given (UTF-8 from a person), from the one
// source the command line names, else the environment variable
// ZORVAT_CREDENTIAL_ITEMn, else empty. Two sources on the command line are a
// usage error; a refused file or a missing terminal is a failure.
std::optional<std::string> CredentialItemText(const CommandLine& line, int item,
                                              CredentialFailure& failure);

}  // namespace zvcli
