// zorvat-cli: runs operations on a server from the command line, for people
// trying a server and for scripts.
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "answer_printer.hpp"
#include "command_line.hpp"
#include "connect_diagnosis.hpp"
#include "credential_sources.hpp"
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
const OptionSpec kRaw{"raw", nullptr,
                      "print the answer's items one per line as they come, without names"};
const OptionSpec kForce{"force", nullptr, "replace an existing session file"};
const std::vector<OptionSpec> kServerOptions = [] {
    std::vector<OptionSpec> options = {
        {"host", "NAME", "server host name or address (required)"},
        {"port", "NUMBER", "server TCP port (required)"},
        {"plugin", "TEXT", "plug-in item"},
    };
    const auto& credentials = CredentialOptionSpecs();
    options.insert(options.end(), credentials.begin(), credentials.end());
    return options;
}();
const OptionSpec kOperation{"op", "CODE", "operation code, 0 to 255 (required)"};
const OptionSpec kArguments{"args", "TEXT",
                            "operation arguments; \\A separates arguments (0x1F), \\S sub-items "
                            "(0xFE), \\I items (0x1C), \\xHH is any byte, \\\\ a backslash"};
const OptionSpec kInputFormat{"input-format", "N", "input format code, 0 to 255 (default 1)"};
const OptionSpec kOutputFormat{"output-format", "N",
                               "output format: 1 MV, 2 XML, 3 JSON, 4 TABLE, 5 XML_DICT, "
                               "6 XML_SCH, 7 JSON_DICT, 8 JSON_SCH (default 1)"};
const OptionSpec kSessionFile{"session-file", "PATH",
                              "where the login keeps the session (default zorvat.session); "
                              "it must be a regular file of yours closed to group and others"};
const OptionSpec kReservedValue{"reserved-value", "N",
                                "reserved value of the session record "
                                "(default 0)"};
const std::vector<OptionSpec> kWaitOptions = {
    {"connect-timeout", "SECONDS",
     "longest wait for each connection to the server (default 15, 0 for none)"},
    {"timeout", "SECONDS",
     "longest wait for the server to take or send the next bytes (default 300, 0 for none)"},
};

// The longest a command waits: --connect-timeout and --timeout in milliseconds.
struct Waits {
    uint32_t connectMs = 0;
    uint32_t ioMs = 0;
};

// Seconds, with a fraction if wanted, as the library's milliseconds.
std::optional<uint32_t> Milliseconds(const CommandLine& line, const char* name, double fallback,
                                     std::string& error) {
    double seconds = fallback;
    if (line.Has(name)) {
        const std::string text = line.Get(name);
        char* end = nullptr;
        seconds = std::strtod(text.c_str(), &end);
        if (text.empty() || *end != '\0' || !(seconds >= 0 && seconds <= 4294967)) {
            error =
                std::string("--") + name + " takes seconds from 0 to 4294967, not '" + text + "'";
            return std::nullopt;
        }
    }
    return static_cast<uint32_t>(std::ceil(seconds * 1000));
}

bool ReadWaits(const CommandLine& line, Waits& waits, std::string& error) {
    const auto connect = Milliseconds(line, "connect-timeout", 15, error);
    const auto io = connect ? Milliseconds(line, "timeout", 300, error) : std::nullopt;
    if (!io) return false;
    waits = {*connect, *io};
    return true;
}

struct Command {
    const char* name;
    const char* summary;
    std::vector<OptionSpec> options;
    int (*run)(const CommandLine&);
};

// A failure in our own words (UTF-8, as the paths and options were typed).
int Fail(const CommandLine& line, const std::string& message) {
    std::fprintf(stderr, "zorvat-cli: %s\n", message.c_str());
    if (line.Has("json")) std::printf("%s\n", FormatErrorAsJson(message, false).c_str());
    return kExitFailed;
}

// A failure in the library's or the server's words (ISO-8859-15, any bytes),
// escaped like answers, with a hint of ours after it.
int FailWithServerText(const CommandLine& line, const std::string& latin9,
                       const std::string& hint = "") {
    std::fprintf(stderr, "zorvat-cli: %s%s\n", FormatTextForPeople(latin9).c_str(), hint.c_str());
    if (line.Has("json")) {
        std::printf("%s\n", FormatErrorAsJson(latin9 + hint, true).c_str());
    }
    return kExitFailed;
}

int UsageError(const std::string& message) {
    std::fprintf(stderr, "zorvat-cli: %s (see --help)\n", message.c_str());
    return kExitUsage;
}

int PrintOutcome(const CommandLine& line, char* answer, char* errorMessage,
                 const std::string& failureHint = "") {
    const LibraryText ownedAnswer(answer);
    const LibraryText ownedMessage(errorMessage);
    if (!ownedAnswer) {
        if (!ownedMessage) return Fail(line, "the operation failed without a message");
        return FailWithServerText(line, ownedMessage.get(), failureHint);
    }
    if (line.Has("json")) {
        std::printf("%s\n", FormatAnswerAsJson(ownedAnswer.get()).c_str());
    } else if (line.Has("raw")) {
        std::fputs(FormatRawItems(ownedAnswer.get()).c_str(), stdout);
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

// The credential-options record from --host, --port, the credential items
// and --plugin; null with failure set otherwise.
LibraryText CredentialOptions(const CommandLine& line, CredentialFailure& failure) {
    failure.usage = true;
    if (!line.Has("host") || !line.Has("port")) {
        failure.message = "--host and --port are required";
        return nullptr;
    }
    const auto port = line.GetNumber("port", 0, 1, 65535, failure.message);
    std::string host;
    std::string plugin;
    if (!port || !TextOption(line, "host", false, host, failure.message) ||
        !TextOption(line, "plugin", false, plugin, failure.message)) {
        return nullptr;
    }
    std::array<std::string, kCredentialItems.size()> items;
    for (std::size_t i = 0; i < items.size(); ++i) {
        const auto text = CredentialItemText(line, kCredentialItems[i], failure);
        if (!text) return nullptr;
        auto latin9 = Utf8ToLatin9(*text, failure.message);
        if (!latin9) {
            failure = {true, "credential item " + std::to_string(kCredentialItems[i]) + ": " +
                                 failure.message};
            return nullptr;
        }
        items[i] = std::move(*latin9);
    }
    return LibraryText(ZvCreateCredentialOptionsPlugin(
        host.c_str(), items[0].c_str(), static_cast<int32_t>(*port), items[1].c_str(),
        items[2].c_str(), items[3].c_str(), items[4].c_str(), plugin.c_str()));
}

// Where a call that could not reach its server tried to connect, and the
// system's reason, after the library's message; empty for other failures.
std::string ConnectContext(const char* message, const std::string& host, const std::string& port,
                           const Waits& waits) {
    if (message == nullptr) return {};
    const std::string reason = DiagnoseConnectFailure(message, host, port, waits.connectMs);
    return reason.empty() ? reason : " (" + reason + ")";
}

int CredentialError(const CommandLine& line, const CredentialFailure& failure) {
    return failure.usage ? UsageError(failure.message) : Fail(line, failure.message);
}

int RunDirect(const CommandLine& line) {
    std::string error;
    OperationChoice choice;
    Waits waits;
    if (!ReadOperation(line, true, choice, error) || !ReadWaits(line, waits, error)) {
        return UsageError(error);
    }
    CredentialFailure failure;
    const LibraryText options = CredentialOptions(line, failure);
    if (!options) return CredentialError(line, failure);
    char* message = nullptr;
    char* answer = ZvExecuteDirectOperationWithTimeouts(
        &message, options.get(), choice.code, choice.arguments.c_str(), choice.inputFormat,
        choice.outputFormat, 0, waits.connectMs, waits.ioMs, nullptr);
    return PrintOutcome(line, answer, message,
                        ConnectContext(message, line.Get("host"), line.Get("port"), waits));
}

int RunLogin(const CommandLine& line) {
    std::string error;
    OperationChoice choice;
    Waits waits;
    if (!ReadOperation(line, false, choice, error) || !ReadWaits(line, waits, error)) {
        return UsageError(error);
    }
    const auto reserved = line.GetNumber("reserved-value", 0, INT32_MIN, INT32_MAX, error);
    if (!reserved) return UsageError(error);
    const std::string path = line.Get("session-file", kDefaultSessionFile);
    // Checked before the login too, so that no session is opened for nothing.
    if (!line.Has("force") && SessionFileExists(path)) {
        return Fail(line, "session file " + path +
                              " already exists; log out first, or give --force to replace it");
    }
    CredentialFailure failure;
    const LibraryText options = CredentialOptions(line, failure);
    if (!options) return CredentialError(line, failure);
    const LibraryText record(
        ZvCreateConnectionInfo(options.get(), static_cast<int32_t>(*reserved)));
    if (!record) return Fail(line, "out of memory");

    char* session = record.get();
    char* message = nullptr;
    char* answer =
        ZvExecutePersistentOperationWithTimeouts(&message, &session, 1, choice.arguments.c_str(), 1,
                                                 1, 0, waits.connectMs, waits.ioMs, nullptr);
    // A successful login hands back a new record; the one passed in stays ours.
    const LibraryText loggedIn(session != record.get() ? session : nullptr);
    if (answer != nullptr && loggedIn) {
        if (!WriteSessionFile(path, loggedIn.get(), line.Has("force"), error)) {
            ZvFreeMemory(answer);
            // Nobody could reach the session without the file: close it now.
            char* logoutMessage = nullptr;
            char* current = loggedIn.get();
            const LibraryText logout(ZvExecutePersistentOperationWithTimeouts(
                &logoutMessage, &current, 8, "", 1, 1, 0, waits.connectMs, waits.ioMs, nullptr));
            const LibraryText ownedLogoutMessage(logoutMessage);
            if (logout) return Fail(line, error + "; the session was logged out on the server");
            return Fail(line, error + "; logging out on the server failed too: " +
                                  FormatTextForPeople(logoutMessage ? logoutMessage : "?"));
        }
    }
    return PrintOutcome(line, answer, message,
                        ConnectContext(message, line.Get("host"), line.Get("port"), waits));
}

// What a failed call inside a session means for its session file: a record
// the library cannot use, a session the server forgot, or a server it could
// not reach.
std::string SessionContext(const char* message, const std::string& path, const char* record,
                           const Waits& waits) {
    if (message == nullptr) return {};
    const std::string_view code = std::string_view(message).substr(0, 5);
    if (code == "C032:" || code == "C033:" || code == "C034:") {
        return " (session file " + path +
               " holds no usable session: log in again, with --force to replace it)";
    }
    if (std::strcmp(message, "Unknown session") == 0) {
        return " (the server no longer knows this session: log in again, with --force to "
               "replace the session file)";
    }
    const LibraryText host(ZvExtractDataFromConnectionInfo(record, 0));
    const LibraryText port(ZvExtractDataFromConnectionInfo(record, 2));
    if (!host || !port) return {};
    return ConnectContext(message, FormatTextForPeople(host.get()), port.get(), waits);
}

int RunInSession(const CommandLine& line, bool logout) {
    std::string error;
    OperationChoice choice;
    Waits waits;
    if (!ReadOperation(line, !logout, choice, error) || !ReadWaits(line, waits, error)) {
        return UsageError(error);
    }
    if (logout) choice.code = 8;
    const std::string path = line.Get("session-file", kDefaultSessionFile);
    auto record = ReadSessionFile(path, error);
    if (!record) return Fail(line, error);

    std::vector<char> session(record->begin(), record->end());
    session.push_back('\0');
    char* current = session.data();
    char* message = nullptr;
    char* answer = ZvExecutePersistentOperationWithTimeouts(
        &message, &current, choice.code, choice.arguments.c_str(), choice.inputFormat,
        choice.outputFormat, 0, waits.connectMs, waits.ioMs, nullptr);
    if (answer != nullptr && logout && !RemoveSessionFile(path, error)) {
        ZvFreeMemory(answer);
        ZvFreeMemory(message);
        return Fail(line, error);
    }
    return PrintOutcome(line, answer, message, SessionContext(message, path, current, waits));
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
         Join(Join(kServerOptions, kWaitOptions),
              {kOperation, kArguments, kInputFormat, kOutputFormat, kJson, kRaw, kHelp}),
         RunDirect},
        {"login", "log in and keep the session in the session file",
         Join(Join(kServerOptions, kWaitOptions),
              {kArguments, kReservedValue, kSessionFile, kForce, kJson, kRaw, kHelp}),
         RunLogin},
        {"run", "run an operation inside the session of the session file",
         Join(kWaitOptions, {kOperation, kArguments, kInputFormat, kOutputFormat, kSessionFile,
                             kJson, kRaw, kHelp}),
         RunOperation},
        {"logout", "log out and remove the session file",
         Join(kWaitOptions,
              {kArguments, kInputFormat, kOutputFormat, kSessionFile, kJson, kRaw, kHelp}),
         RunLogout},
    };
    return commands;
}

void PrintHelp() {
    std::puts("usage: zorvat-cli COMMAND [OPTIONS]\n       zorvat-cli --version\n\ncommands:");
    for (const Command& command : Commands())
        std::printf("  %-8s %s\n", command.name, command.summary);
    std::puts(
        "\nzorvat-cli COMMAND --help lists the options of a command; the credential items can\n"
        "come from files, a prompt or the environment instead of the command line (see\n"
        "zorvat-cli login --help). Keyed answers print as aligned NAME  value lines, others\n"
        "one item per line; --raw prints the items alone, --json as JSON. \\A, \\S and \\xHH\n"
        "stand for separators and control bytes, in answers and in the server's error texts.\n"
        "Failures go to stderr with exit status 1; usage errors exit with 2. A server that\n"
        "keeps a command waiting is given up on after --connect-timeout (15 s) to connect and\n"
        "--timeout (300 s) without a byte moving; once the request was sent, a time-out does\n"
        "not say whether the server ran it.\n\n"
        "example:\n"
        "  zorvat-cli login --host 127.0.0.1 --port 4711 --credential-item3 alice\n"
        "  zorvat-cli run --op 2 --args 'CUSTOMERS\\A1001'\n"
        "  zorvat-cli logout");
}

void PrintCommandHelp(const Command& command) {
    std::printf("usage: zorvat-cli %s [OPTIONS]\n%s\n\noptions:\n", command.name, command.summary);
    bool takesCredentials = false;
    for (const OptionSpec& option : command.options) {
        if (option.help == nullptr) {
            takesCredentials = true;  // the credential items, explained below
            continue;
        }
        const std::string left = std::string("--") + option.name +
                                 (option.valueName ? std::string(" ") + option.valueName : "");
        std::printf("  %-26s %s\n", left.c_str(), option.help);
    }
    if (takesCredentials) std::fputs(CredentialHelp().c_str(), stdout);
}

}  // namespace

int RunCli(int argc, char** argv) {
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
        if (line.Has("json") && line.Has("raw"))
            return UsageError("give --json or --raw, not both");
        return command.run(line);
    }
    return UsageError(std::string("unknown command '") + argv[1] + "'");
}

}  // namespace zvcli

#ifndef _WIN32
// Windows starts in windows/utf8_main.cpp, which hands the arguments on as UTF-8.
int main(int argc, char** argv) { return zvcli::RunCli(argc, argv); }
#endif
