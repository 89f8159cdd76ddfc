// The command line of zorvat-cli: a command, then --name value options.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace zvcli {

struct OptionSpec {
    const char* name;       // without the leading dashes
    const char* valueName;  // null for a flag
    const char* help;
};

class CommandLine {
public:
    // Parses argv[first..] against specs; false, with a reason in error, on an
    // unknown option or a missing value. Accepts --name value and --name=value.
    bool Parse(int argc, char** argv, int first, const std::vector<OptionSpec>& specs,
               std::string& error);

    bool Has(const std::string& name) const { return values_.count(name) != 0; }
    std::string Get(const std::string& name, const std::string& fallback = "") const;
    // The option as an integer in [low, high]; nullopt with a reason otherwise.
    std::optional<long> GetNumber(const std::string& name, long fallback, long low, long high,
                                  std::string& error) const;

private:
    std::map<std::string, std::string> values_;
};

}  // namespace zvcli
