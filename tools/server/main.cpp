// zorvat-server: the reference server as a program, for manual testing and
// for clients written in other languages.
#include <signal.h>

#include <charconv>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>

#include "control_channel.hpp"
#include "fault_flags.hpp"
#include "reference_server.hpp"

namespace {

void PrintHelp() {
    std::cout << "Usage: zorvat-server [options]\n"
                 "The server side of the wire protocol: key negotiations, logins,\n"
                 "session operations, logouts and direct operations. Any credentials are\n"
                 "accepted unless --require-item3/--require-item4 are given.\n"
                 "\n"
                 "  --host ADDRESS          address to listen on (default 127.0.0.1)\n"
                 "  --port N                port to listen on; 0 picks a free one (default 0)\n"
                 "  --verbose               one line per exchange on standard error\n"
                 "  --require-item3 TEXT    refuse logins and direct operations without it\n"
                 "  --require-item4 TEXT    likewise for credentialItem4\n"
                 "  --max-connections N     clients served at once (default 64)\n"
                 "  --control-port N        also take test commands on 127.0.0.1:N (0 picks\n"
                 "                          a free port): faults to inject, exchange count\n"
                 "  --fault PHASE:KIND[=V]  inject a fault into every reply of PHASE\n"
                 "                          (negotiation or response); KIND is one of:\n"
              << zv::server::FaultFlagHelp()
              << "  --help                  this text\n"
                 "\n"
                 "The first line on standard output is \"listening on HOST:PORT\", then\n"
                 "\"control on 127.0.0.1:PORT\" with --control-port.\n"
                 "Stops on SIGINT or SIGTERM.\n";
}

bool ParseNumber(std::string_view text, unsigned long& value) {
    const auto [end, status] = std::from_chars(text.data(), text.data() + text.size(), value);
    return status == std::errc() && end == text.data() + text.size();
}

}  // namespace

int main(int argc, char** argv) {
    zv::server::ServerOptions options;
    bool verbose = false;
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
        unsigned long number = 0;
        std::string error;
        if (flag == "--help" || flag == "-h") {
            PrintHelp();
            return 0;
        } else if (flag == "--verbose") {
            verbose = true;
        } else if (flag == "--host") {
            if (!value(text)) return 2;
            options.host = text;
        } else if (flag == "--port" || flag == "--max-connections") {
            if (!value(text)) return 2;
            const unsigned long limit = flag == "--port" ? 65535 : 100000;
            if (!ParseNumber(text, number) || number > limit ||
                (flag == "--max-connections" && number == 0)) {
                std::cerr << "zorvat-server: invalid " << flag << " '" << text << "'\n";
                return 2;
            }
            if (flag == "--port") {
                options.port = static_cast<uint16_t>(number);
            } else {
                options.limits.maxConnections = number;
            }
        } else if (flag == "--control-port") {
            if (!value(text)) return 2;
            if (!ParseNumber(text, number) || number > 65535) {
                std::cerr << "zorvat-server: invalid " << flag << " '" << text << "'\n";
                return 2;
            }
            controlPort = static_cast<uint16_t>(number);
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
    if (verbose) {
        options.log = [](const std::string& line) {
            std::fprintf(stderr, "%s\n", line.c_str());
            std::fflush(stderr);
        };
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
        std::fprintf(stderr, "stopped after %llu exchanges\n",
                     static_cast<unsigned long long>(server.ExchangeCount()));
    return 0;
}
