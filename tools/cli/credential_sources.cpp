#include "credential_sources.hpp"

#include <cstdlib>

#include "private_file.hpp"
#include "terminal_prompt.hpp"
#include "text_codec.hpp"

namespace zvcli {
namespace {

struct ItemNames {
    std::string option;    // credential-itemN
    std::string file;      // credential-itemN-file
    std::string prompt;    // credential-itemN-prompt
    std::string variable;  // ZORVAT_CREDENTIAL_ITEMN
};

ItemNames NamesOf(int item) {
    const std::string option = "credential-item" + std::to_string(item);
    return {option, option + "-file", option + "-prompt",
            "ZORVAT_CREDENTIAL_ITEM" + std::to_string(item)};
}

// Where each item goes: the request fields (counted from 1) that carry it.
const char* UseOf(int item) {
    switch (item) {
        case 1:
            return "field 3 of login, logout and direct requests";
        case 3:
            return "field 1 of login, logout and direct requests";
        case 4:
            return "field 2 of login, logout and direct requests";
        case 5:
            return "field 4 of login, logout and direct requests";
        default:
            return "field 5 of login and direct requests";
    }
}

// A secret file holds the text and, usually, a line end that is not part of it.
std::string WithoutLineEnd(std::string text) {
    if (!text.empty() && text.back() == '\n') text.pop_back();
    if (!text.empty() && text.back() == '\r') text.pop_back();
    return text;
}

// The text, or a usage error naming where it came from when it is not text
// the record can carry (the decoding itself comes later, with the others).
std::optional<std::string> Decodable(std::optional<std::string> text, const std::string& source,
                                     CredentialFailure& failure) {
    std::string error;
    if (text && !Utf8ToLatin9(*text, error)) {
        failure = {true, source + ": " + error};
        return std::nullopt;
    }
    return text;
}

}  // namespace

const std::vector<OptionSpec>& CredentialOptionSpecs() {
    // OptionSpec holds plain pointers, so the names live here for good.
    static const std::vector<ItemNames> names = [] {
        std::vector<ItemNames> all;
        for (const int item : kCredentialItems) all.push_back(NamesOf(item));
        return all;
    }();
    static const std::vector<OptionSpec> specs = [] {
        std::vector<OptionSpec> all;
        for (const ItemNames& item : names) {
            all.push_back({item.option.c_str(), "TEXT", nullptr});
            all.push_back({item.file.c_str(), "PATH", nullptr});
            all.push_back({item.prompt.c_str(), nullptr, nullptr});
        }
        return all;
    }();
    return specs;
}

std::string CredentialHelp() {
    std::string help =
        "\ncredential items (N is 1, 3, 4, 5 or 6), each from one of:\n"
        "  --credential-itemN TEXT   the text itself; other users can read it in the\n"
        "                            process list, so keep secrets out of it\n"
        "  --credential-itemN-file PATH\n"
        "                            the file's text without its line end; the file must\n"
        "                            be a regular file of yours that group and others\n"
        "                            cannot access (chmod 600), of at most 64 KiB\n"
        "  --credential-itemN-prompt asked on the terminal, without echo\n"
        "  ZORVAT_CREDENTIAL_ITEMN   the environment variable, when no option names N\n"
        "Items left out are empty. Each item goes to the server in its requests\n"
        "(fields counted from 1) and, after a login, into the session file:\n";
    for (const int item : kCredentialItems) {
        help += "  credential item " + std::to_string(item) + ": " + UseOf(item) + "\n";
    }
    help += "  --plugin TEXT: field 7 of login and direct requests\n";
    return help;
}

std::optional<std::string> CredentialItemText(const CommandLine& line, int item,
                                              CredentialFailure& failure) {
    const ItemNames names = NamesOf(item);
    const int given =
        int{line.Has(names.option)} + int{line.Has(names.file)} + int{line.Has(names.prompt)};
    if (given > 1) {
        failure = {true, "credential item " + std::to_string(item) + ": give only one of --" +
                             names.option + ", --" + names.file + " and --" + names.prompt};
        return std::nullopt;
    }
    if (line.Has(names.option))
        return Decodable(line.Get(names.option), "--" + names.option, failure);
    std::string error;
    if (line.Has(names.file)) {
        auto text = ReadPrivateFile(line.Get(names.file), "credential file", true, error);
        if (!text) {
            failure = {false, "--" + names.file + ": " + error};
            return std::nullopt;
        }
        return Decodable(WithoutLineEnd(std::move(*text)), "--" + names.file, failure);
    }
    if (line.Has(names.prompt)) {
        auto text = PromptWithoutEcho("credential item " + std::to_string(item) + ": ", error);
        if (!text) {
            failure = {false, "--" + names.prompt + ": " + error + "; give --" + names.file +
                                  " PATH or set " + names.variable + " instead"};
        }
        return Decodable(std::move(text), "--" + names.prompt, failure);
    }
    const char* variable = std::getenv(names.variable.c_str());
    return Decodable(std::string(variable == nullptr ? "" : variable), names.variable, failure);
}

}  // namespace zvcli
