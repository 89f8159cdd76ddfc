// zorvat-server: the reference server as a program, for manual testing and
// for clients written in other languages.
#include <signal.h>
#include <unistd.h>

#ifdef __GLIBC__
#include <malloc.h>
#endif

#include <charconv>
#include <cstdio>
#include <cstring>
#include <functional>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>

#include "control_channel.hpp"
#include "descriptor_limit.hpp"
#include "fault_flags.hpp"
#include "log_queue.hpp"
#include "reference_server.hpp"
#include "version_text.hpp"

namespace {

using zv::server::ServerOptions;

void PrintHelp() {
    std::cout << "Usage: zorvat-server [options]\n"
                 "The server side of the wire protocol: key negotiations, logins,\n"
                 "session operations, logouts and direct operations. Any credentials are\n"
                 "accepted unless --require-item3/--require-item4 are given.\n"
                 "\n"
                 "  --host ADDRESS          address to listen on (default 127.0.0.1)\n"
                 "  --port N                port to listen on; 0 picks a free one (default 0)\n"
                 "  --verbose               one line per exchange on standard error, and\n"
                 "                          one a second at most for each kind of trouble\n"
                 "                          (refusals, timeouts) with a count of the rest\n"
                 "  --dump                  each exchange decoded on standard error: header\n"
                 "                          fields, decrypted payload and answer, escaped as\n"
                 "                          zorvat-cli escapes: \\A, \\S and \\xHH (\\x1B). Lines\n"
                 "                          that standard error cannot take in time are\n"
                 "                          dropped and counted: no client waits for them\n"
                 "  --require-item3 TEXT    refuse logins and direct operations without it\n"
                 "  --require-item4 TEXT    likewise for credentialItem4\n"
                 "\n"
                 "Limits (sizes in bytes with an optional K, M or G; times in seconds):\n"
                 "  --max-connections N     clients served at once; more are refused at\n"
                 "                          once (default 4096)\n"
                 "  --max-connections-per-address N\n"
                 "                          clients served at once from one address; more\n"
                 "                          are refused at once; 0: no limit (default: one\n"
                 "                          less than half of --max-connections)\n"
                 "  --header-timeout S      the request header must arrive within S (5)\n"
                 "  --request-timeout S     the payload must arrive within S of the header,\n"
                 "                          and the whole reply be read within S (30)\n"
                 "  --idle-timeout S        each read, and each write of the reply, must\n"
                 "                          make progress within S (10)\n"
                 "  --max-request-bytes N   larger requests are refused unread (64M)\n"
                 "  --memory-limit N        for all requests in flight together; a request\n"
                 "                          is admitted once what it needs fits, in turn,\n"
                 "                          and one that never could is refused (512M)\n"
                 "  --negotiation-ttl S     a negotiated key unused for S is forgotten (60)\n"
                 "  --max-sessions N        logged-in sessions kept; the least recently\n"
                 "                          used goes first (10000)\n"
                 "\n"
                 "Testing:\n"
                 "  --control-port N        also take test commands on 127.0.0.1:N (0 picks\n"
                 "                          a free port): faults to inject, exchange count\n"
                 "  --fault PHASE:KIND[=V]  inject a fault into every reply of PHASE\n"
                 "                          (negotiation or response); KIND is one of:\n"
              << zv::server::FaultFlagHelp()
              << "  --version               the library's version\n"
                 "  --help                  this text\n"
                 "\n"
                 "The first line on standard output is \"listening on HOST:PORT\", then\n"
                 "\"control on 127.0.0.1:PORT\" with --control-port.\n"
                 "Stops on SIGINT or SIGTERM.\n";
}

// A decimal number, for sizes with an optional K, M or G (powers of 1024).
std::optional<uint64_t> ParseNumber(std::string_view text, bool size) {
    uint64_t scale = 1;
    if (size && !text.empty()) {
        const char unit = text.back();
        scale = unit == 'K' || unit == 'k'   ? uint64_t{1} << 10
                : unit == 'M' || unit == 'm' ? uint64_t{1} << 20
                : unit == 'G' || unit == 'g' ? uint64_t{1} << 30
                                             : 1;
        if (scale != 1) text.remove_suffix(1);
    }
    uint64_t value = 0;
    const auto [end, status] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || status != std::errc() || end != text.data() + text.size() ||
        value > UINT64_MAX / scale) {
        return std::nullopt;
    }
    return value * scale;
}

// The options that take a number: its least and greatest value, and where
// it goes.
struct NumberOption {
    std::string_view flag;
    bool size;
    uint64_t least;
    uint64_t greatest;
    std::function<void(ServerOptions&, uint64_t)> store;
};

const NumberOption kNumberOptions[] = {
    {"--port", false, 0, 65535,
     [](ServerOptions& o, uint64_t v) { o.port = static_cast<uint16_t>(v); }},
    {"--max-connections", false, 1, 1000000,
     [](ServerOptions& o, uint64_t v) { o.limits.maxConnections = v; }},
    {"--max-connections-per-address", false, 0, 1000000,
     [](ServerOptions& o, uint64_t v) { o.limits.maxConnectionsPerAddress = v; }},
    {"--header-timeout", false, 1, 86400,
     [](ServerOptions& o, uint64_t v) { o.limits.headerTimeout = std::chrono::seconds(v); }},
    {"--request-timeout", false, 1, 86400,
     [](ServerOptions& o, uint64_t v) { o.limits.requestTimeout = std::chrono::seconds(v); }},
    {"--idle-timeout", false, 1, 86400,
     [](ServerOptions& o, uint64_t v) { o.limits.idleTimeout = std::chrono::seconds(v); }},
    {"--max-request-bytes", true, 1, UINT32_MAX,
     [](ServerOptions& o, uint64_t v) { o.limits.maxRequestPayload = static_cast<uint32_t>(v); }},
    {"--memory-limit", true, 1 << 20, SIZE_MAX,
     [](ServerOptions& o, uint64_t v) { o.limits.memoryLimit = v; }},
    {"--negotiation-ttl", false, 1, 86400,
     [](ServerOptions& o, uint64_t v) { o.limits.pendingKeyLifetime = std::chrono::seconds(v); }},
    {"--max-sessions", false, 1, 100000000,
     [](ServerOptions& o, uint64_t v) { o.limits.maxSessions = v; }},
};

int Serve(int argc, char** argv) {
    ServerOptions options;
    bool verbose = false;
    bool dump = false;
    std::optional<uint16_t> controlPort;
    for (int i = 1; i < argc; ++i) {
        const std::string_view flag = argv[i];
        const auto value = [&](std::string_view& out) {
            if (i + 1 >= argc) {
                std::cerr << "zorvat-server: " << flag << " needs a value\n";
                return false;
            }
            out = argv[++i];
            return true;
        };
        std::string_view text;
        std::string error;
        const NumberOption* number = nullptr;
        for (const NumberOption& option : kNumberOptions) {
            if (option.flag == flag) number = &option;
        }
        if (flag == "--help" || flag == "-h") {
            PrintHelp();
            return 0;
        } else if (flag == "--version") {
            std::puts(zvtools::VersionLine("zorvat-server").c_str());
            return 0;
        } else if (flag == "--verbose") {
            verbose = true;
        } else if (flag == "--dump") {
            dump = true;
        } else if (flag == "--host") {
            if (!value(text)) return 2;
            options.host = text;
        } else if (number != nullptr || flag == "--control-port") {
            if (!value(text)) return 2;
            const std::optional<uint64_t> parsed = ParseNumber(text, number && number->size);
            const uint64_t least = number ? number->least : 0;
            const uint64_t greatest = number ? number->greatest : 65535;
            if (!parsed || *parsed < least || *parsed > greatest) {
                std::cerr << "zorvat-server: invalid " << flag << " '" << text << "'\n";
                return 2;
            }
            if (number != nullptr) {
                number->store(options, *parsed);
            } else {
                controlPort = static_cast<uint16_t>(*parsed);
            }
        } else if (flag == "--require-item3" || flag == "--require-item4") {
            if (!value(text)) return 2;
            (flag == "--require-item3" ? options.requiredItem3 : options.requiredItem4) = text;
        } else if (flag == "--fault") {
            if (!value(text)) return 2;
            if (!zv::server::ParseFaultFlag(text, options.faults, error)) {
                std::cerr << "zorvat-server: --fault: " << error << "\n";
                return 2;
            }
        } else {
            std::cerr << "zorvat-server: unknown option '" << flag << "' (see --help)\n";
            return 2;
        }
    }
    // Lines go through a queue that a thread of its own writes, so that a
    // standard error nobody reads cannot stall the event loop.
    zv::server::LogQueue log(STDERR_FILENO);
    if ((verbose || dump) && !log.Start()) {
        std::cerr << "zorvat-server: no thread for the log; it is written as it comes\n";
    }
    if (verbose) options.log = [&log](const std::string& line) { log.Push(line + "\n"); };
    if (dump) options.dump = [&log](const std::string& text) { log.Push(text); };

#ifdef __GLIBC__
    // Large blocks straight from the system and back to it when freed, so
    // that memory a burst of big requests used does not stay with the process.
    mallopt(M_MMAP_THRESHOLD, 128 * 1024);
    mallopt(M_ARENA_MAX, 4);
#endif
    if (const std::string note = zv::server::MakeRoomForConnections(options.limits.maxConnections);
        !note.empty()) {
        std::cerr << "zorvat-server: " << note << "\n";
    }

    // The signals are taken by sigwait below, so block them before any
    // thread starts and inherits the mask.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    signal(SIGPIPE, SIG_IGN);

    zv::server::ReferenceServer server(options);
    if (!server.Start()) {
        std::cerr << "zorvat-server: " << server.Error() << "\n";
        return 1;
    }
    const bool ipv6 = options.host.find(':') != std::string::npos;
    std::cout << "listening on " << (ipv6 ? "[" : "") << options.host << (ipv6 ? "]" : "") << ":"
              << server.Port() << std::endl;
    zv::server::ControlChannel control(server);
    if (controlPort) {
        if (!control.Start(*controlPort)) {
            std::cerr << "zorvat-server: " << control.Error() << "\n";
            return 1;
        }
        std::cout << "control on 127.0.0.1:" << control.Port() << std::endl;
    }

    int received = 0;
    sigwait(&stopSignals, &received);
    control.Stop();
    server.Stop();
    if (verbose)
        log.Push("stopped after " + std::to_string(server.ExchangeCount()) + " exchanges\n");
    log.Stop(std::chrono::seconds(1));
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        return Serve(argc, argv);
    } catch (const std::exception& failure) {
        // Only reachable while starting (out of memory or threads): every
        // exchange guards itself.
        std::fprintf(stderr, "zorvat-server: %s\n", failure.what());
        return 1;
    }
}
