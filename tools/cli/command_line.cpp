#include "command_line.hpp"

#include <cerrno>
#include <cstdlib>
#include <string_view>

namespace zvcli {

bool CommandLine::Parse(int argc, char** argv, int first, const std::vector<OptionSpec>& specs,
                        std::string& error) {
    for (int i = first; i < argc; ++i) {
        std::string_view argument = argv[i];
        if (argument.substr(0, 2) != "--") {
            error = "unexpected argument '" + std::string(argument) + "'";
            return false;
        }
        argument.remove_prefix(2);
        std::optional<std::string> inlineValue;
        if (const auto equals = argument.find('='); equals != std::string_view::npos) {
            inlineValue = std::string(argument.substr(equals + 1));
            argument = argument.substr(0, equals);
        }
        const OptionSpec* option = nullptr;
        for (const OptionSpec& candidate : specs) {
            if (argument == candidate.name) option = &candidate;
        }
        if (option == nullptr) {
            error = "unknown option --" + std::string(argument);
            return false;
        }
        if (option->valueName == nullptr) {
            if (inlineValue) {
                error = "--" + std::string(argument) + " takes no value";
                return false;
            }
            values_[option->name] = "";
        } else if (inlineValue) {
            values_[option->name] = *inlineValue;
        } else if (i + 1 < argc) {
            values_[option->name] = argv[++i];
        } else {
            error = "--" + std::string(argument) + " needs a value";
            return false;
        }
    }
    return true;
}

std::string CommandLine::Get(const std::string& name, const std::string& fallback) const {
    const auto found = values_.find(name);
    return found == values_.end() ? fallback : found->second;
}

std::optional<long> CommandLine::GetNumber(const std::string& name, long fallback, long low,
                                           long high, std::string& error) const {
    const auto found = values_.find(name);
    if (found == values_.end()) return fallback;
    const std::string& text = found->second;
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || errno != 0 || value < low || value > high) {
        error = "--" + name + " takes a whole number from " + std::to_string(low) + " to " +
                std::to_string(high) + ", not '" + text + "'";
        return std::nullopt;
    }
    return value;
}

}  // namespace zvcli
