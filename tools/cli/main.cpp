// zorvat-cli: runs operations on a server from the command line, for people
// trying a server and for scripts.
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "answer_printer.hpp"
#include "command_line.hpp"
#include "session_file.hpp"
#include "text_codec.hpp"
#include "version_text.hpp"
#include "zorvat.h"

namespace zvcli {
namespace {

constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;
constexpr const char* kDefaultSessionFile = "zorvat.session";

struct ZvFree {
    void operator()(char* text) const { ZvFreeMemory(text); }
};
using LibraryText = std::unique_ptr<char, ZvFree>;

const OptionSpec kHelp{"help", nullptr, "show this help"};
const OptionSpec kJson{"json", nullptr, "print the answer (or the failure) as JSON"};
const std::vector<OptionSpec> kServerOptions = {
    {"host", "NAME", "server host name or address (required)"},
    {"port", "NUMBER", "server TCP port (required)"},
    {"credential-item1", "TEXT", "credential item 1"},
    {"credential-item3", "TEXT", "credential item 3"},
    {"credential-item4", "TEXT", "credential item 4"},
    {"credential-item5", "TEXT", "credential item 5"},
    {"credential-item6", "TEXT", "credential item 6"},
    {"plugin", "TEXT", "plug-in item"},
};
const OptionSpec kOperation{"op", "CODE", "operation code, 0 to 255 (required)"};
const OptionSpec kArguments{"args", "TEXT",
                            "operation arguments; \\A separates arguments (0x1F), \\S sub-items "
                            "(0xFE), \\I items (0x1C), \\xHH is any byte, \\\\ a backslash"};
const OptionSpec kInputFormat{"input-format", "N", "input format code, 0 to 255 (default 1)"};
const OptionSpec kOutputFormat{"output-format", "N",
                               "output format: 1 MV, 2 XML, 3 JSON, 4 TABLE, 5 XML_DICT, "
                               "6 XML_SCH, 7 JSON_DICT, 8 JSON_SCH (default 1)"};
const OptionSpec kSessionFile{"session-file", "PATH",
                              "where the login keeps the session "
                              "(default zorvat.session)"};
const OptionSpec kReservedValue{"reserved-value", "N",
                                "reserved value of the session record "
                                "(default 0)"};

struct Command {
    const char* name;
    const char* summary;
    std::vector<OptionSpec> options;
    int (*run)(const CommandLine&);
};

int Fail(const CommandLine& line, const std::string& message) {
    std::fprintf(stderr, "zorvat-cli: %s\n", Latin9ToUtf8(message).c_str());
    if (line.Has("json")) std::printf("%s\n", FormatErrorAsJson(message).c_str());
    return kExitFailed;
}

int UsageError(const std::string& message) {
    std::fprintf(stderr, "zorvat-cli: %s (see --help)\n", message.c_str());
    return kExitUsage;
}

int PrintOutcome(const CommandLine& line, char* answer, char* errorMessage) {
    const LibraryText ownedAnswer(answer);
    const LibraryText ownedMessage(errorMessage);
    if (!ownedAnswer) {
        return Fail(line,
                    ownedMessage ? ownedMessage.get() : "the operation failed without a message");
    }
    if (line.Has("json")) {
        std::printf("%s\n", FormatAnswerAsJson(ownedAnswer.get()).c_str());
    } else {
        std::fputs(FormatAnswerForPeople(ownedAnswer.get()).c_str(), stdout);
    }
    return 0;
}

// A text option as the library wants it: ISO-8859-15, escapes expanded for
// the arguments.
bool TextOption(const CommandLine& line, const char* name, bool escapes, std::string& value,
                std::string& error) {
    auto latin9 = Utf8ToLatin9(line.Get(name), error);
    if (!latin9) {
        error = std::string("--") + name + ": " + error;
        return false;
    }
    if (!escapes) {
        value = *latin9;
        return true;
    }
    auto expanded = ExpandEscapes(*latin9, error);
    if (!expanded) {
        error = std::string("--") + name + ": " + error;
        return false;
    }
    value = *expanded;
    return true;
}

struct OperationChoice {
    uint8_t code = 0;
    uint8_t inputFormat = 1;
    uint8_t outputFormat = 1;
    std::string arguments;
};

bool ReadOperation(const CommandLine& line, bool needsCode, OperationChoice& choice,
                   std::string& error) {
    if (needsCode && !line.Has("op")) {
        error = "--op is required";
        return false;
    }
    const auto code = line.GetNumber("op", 0, 0, 255, error);
    const auto input = code ? line.GetNumber("input-format", 1, 0, 255, error) : std::nullopt;
    const auto output = input ? line.GetNumber("output-format", 1, 0, 255, error) : std::nullopt;
    if (!output) return false;
    choice.code = static_cast<uint8_t>(*code);
    choice.inputFormat = static_cast<uint8_t>(*input);
    choice.outputFormat = static_cast<uint8_t>(*output);
    return TextOption(line, "args", true, choice.arguments, error);
}

// The credential-options record from --host, --port and the credential items.
LibraryText CredentialOptions(const CommandLine& line, std::string& error) {
    if (!line.Has("host") || !line.Has("port")) {
        error = "--host and --port are required";
        return nullptr;
    }
    const auto port = line.GetNumber("port", 0, 1, 65535, error);
    if (!port) return nullptr;
    const char* names[] = {"host",
                           "credential-item1",
                           "credential-item3",
                           "credential-item4",
                           "credential-item5",
                           "credential-item6",
                           "plugin"};
    std::string items[std::size(names)];
    for (std::size_t i = 0; i < std::size(names); ++i) {
        if (!TextOption(line, names[i], false, items[i], error)) return nullptr;
    }
    return LibraryText(ZvCreateCredentialOptionsPlugin(
        items[0].c_str(), items[1].c_str(), static_cast<int32_t>(*port), items[2].c_str(),
        items[3].c_str(), items[4].c_str(), items[5].c_str(), items[6].c_str()));
}

int RunDirect(const CommandLine& line) {
    std::string error;
    OperationChoice choice;
    if (!ReadOperation(line, true, choice, error)) return UsageError(error);
    const LibraryText options = CredentialOptions(line, error);
    if (!options) return UsageError(error);
    char* message = nullptr;
    char* answer =
        ZvExecuteDirectOperation(&message, options.get(), choice.code, choice.arguments.c_str(),
                                 choice.inputFormat, choice.outputFormat, 0);
    return PrintOutcome(line, answer, message);
}

int RunLogin(const CommandLine& line) {
    std::string error;
    OperationChoice choice;
    if (!ReadOperation(line, false, choice, error)) return UsageError(error);
    const auto reserved = line.GetNumber("reserved-value", 0, INT32_MIN, INT32_MAX, error);
    if (!reserved) return UsageError(error);
    const LibraryText options = CredentialOptions(line, error);
    if (!options) return UsageError(error);
    const LibraryText record(
        ZvCreateConnectionInfo(options.get(), static_cast<int32_t>(*reserved)));
    if (!record) return Fail(line, "out of memory");

    char* session = record.get();
    char* message = nullptr;
    char* answer =
        ZvExecutePersistentOperation(&message, &session, 1, choice.arguments.c_str(), 1, 1, 0);
    // A successful login hands back a new record; the one passed in stays ours.
    const LibraryText loggedIn(session != record.get() ? session : nullptr);
    if (answer != nullptr && loggedIn) {
        const std::string path = line.Get("session-file", kDefaultSessionFile);
        if (!WriteSessionFile(path, loggedIn.get(), error)) {
            ZvFreeMemory(answer);
            return Fail(line, error);
        }
    }
    return PrintOutcome(line, answer, message);
}

int RunInSession(const CommandLine& line, bool logout) {
    std::string error;
    OperationChoice choice;
    if (!ReadOperation(line, !logout, choice, error)) return UsageError(error);
    if (logout) choice.code = 8;
    const std::string path = line.Get("session-file", kDefaultSessionFile);
    auto record = ReadSessionFile(path, error);
    if (!record) return Fail(line, error);

    std::vector<char> session(record->begin(), record->end());
    session.push_back('\0');
    char* current = session.data();
    char* message = nullptr;
    char* answer =
        ZvExecutePersistentOperation(&message, &current, choice.code, choice.arguments.c_str(),
                                     choice.inputFormat, choice.outputFormat, 0);
    if (answer != nullptr && logout && !RemoveSessionFile(path, error)) {
        ZvFreeMemory(answer);
        ZvFreeMemory(message);
        return Fail(line, error);
    }
    return PrintOutcome(line, answer, message);
}

int RunOperation(const CommandLine& line) { return RunInSession(line, false); }
int RunLogout(const CommandLine& line) { return RunInSession(line, true); }

std::vector<OptionSpec> Join(std::vector<OptionSpec> first, const std::vector<OptionSpec>& more) {
    first.insert(first.end(), more.begin(), more.end());
    return first;
}

const std::vector<Command>& Commands() {
    static const std::vector<Command> commands = {
        {"direct", "run one operation outside any session",
         Join(kServerOptions, {kOperation, kArguments, kInputFormat, kOutputFormat, kJson, kHelp}),
         RunDirect},
        {"login", "log in and keep the session in the session file",
         Join(kServerOptions, {kArguments, kReservedValue, kSessionFile, kJson, kHelp}), RunLogin},
        {"run",
         "run an operation inside the session of the session file",
         {kOperation, kArguments, kInputFormat, kOutputFormat, kSessionFile, kJson, kHelp},
         RunOperation},
        {"logout",
         "log out and remove the session file",
         {kArguments, kInputFormat, kOutputFormat, kSessionFile, kJson, kHelp},
         RunLogout},
    };
    return commands;
}

void PrintHelp() {
    std::puts("usage: zorvat-cli COMMAND [OPTIONS]\n       zorvat-cli --version\n\ncommands:");
    for (const Command& command : Commands())
        std::printf("  %-8s %s\n", command.name, command.summary);
    std::puts(
        "\nzorvat-cli COMMAND --help lists the options of a command. Answers print one item per\n"
        "line (NAME = value for keyed answers) with \\A, \\S and \\xHH for separators and control\n"
        "bytes; --json prints them as JSON. Failures go to stderr with exit status 1; usage\n"
        "errors exit with 2.\n\n"
        "example:\n"
        "  zorvat-cli login --host 127.0.0.1 --port 4711 --credential-item3 alice\n"
        "  zorvat-cli run --op 2 --args 'CUSTOMERS\\A1001'\n"
        "  zorvat-cli logout");
}

void PrintCommandHelp(const Command& command) {
    std::printf("usage: zorvat-cli %s [OPTIONS]\n%s\n\noptions:\n", command.name, command.summary);
    for (const OptionSpec& option : command.options) {
        const std::string left = std::string("--") + option.name +
                                 (option.valueName ? std::string(" ") + option.valueName : "");
        std::printf("  %-24s %s\n", left.c_str(), option.help);
    }
}

}  // namespace
}  // namespace zvcli

int main(int argc, char** argv) {
    using namespace zvcli;
    if (argc < 2 || std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0 ||
        std::strcmp(argv[1], "help") == 0) {
        PrintHelp();
        return argc < 2 ? kExitUsage : 0;
    }
    if (std::strcmp(argv[1], "--version") == 0) {
        std::puts(zvtools::VersionLine("zorvat-cli").c_str());
        return 0;
    }
    for (const Command& command : Commands()) {
        if (std::strcmp(argv[1], command.name) != 0) continue;
        CommandLine line;
        std::string error;
        if (!line.Parse(argc, argv, 2, command.options, error)) return UsageError(error);
        if (line.Has("help")) {
            PrintCommandHelp(command);
            return 0;
        }
        return command.run(line);
    }
    return UsageError(std::string("unknown command '") + argv[1] + "'");
}
