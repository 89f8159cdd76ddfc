// An ordinary client is served promptly while others attack the server,
// which closes stalled connections itself, gives back their memory and
// survives limits on processes and address space.
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "descriptor_limit.hpp"
#include "support/reliability_fixture.hpp"
#include "transport/connection.hpp"
#include "transport/frame_headers.hpp"

using namespace zvtest;

namespace {

using Clock = std::chrono::steady_clock;

// A loopback connection of the test's own; every wait gives up after 5 s.
struct RawClient {
    explicit RawClient(int port) {
        uint32_t code = 0;
        connection = zv::Connection::Open("127.0.0.1", static_cast<uint16_t>(port), code,
                                          {5000, 5000, nullptr});
    }
    // From another loopback address than the ordinary clients'.
    RawClient(int port, const char* source) {
        const int socket = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        inet_pton(AF_INET, source, &address.sin_addr);
        bind(socket, reinterpret_cast<sockaddr*>(&address), sizeof address);
        inet_pton(AF_INET, "127.0.0.1", &address.sin_addr);
        address.sin_port = htons(static_cast<uint16_t>(port));
        connect(socket, reinterpret_cast<sockaddr*>(&address), sizeof address);
        fcntl(socket, F_SETFL, O_NONBLOCK);  // so that the waits are bounded
        connection = zv::Connection::Adopt(socket, {5000, 5000, nullptr});
    }

    // Sends a request header announcing length payload bytes, then filler.
    bool SendHeaderAndFiller(uint8_t operation, uint32_t length, std::size_t filler,
                             uint8_t encrypted = 1) {
        zv::RequestHeader header;
        header.operationCode = operation;
        header.payloadLength = length;
        header.encrypted = encrypted;
        const zv::RequestHeaderBytes bytes = zv::EncodeRequestHeader(header);
        if (connection.SendAll(bytes.data(), bytes.size()) != 0) return false;
        const std::vector<uint8_t> chunk(64 * 1024, 'x');
        for (std::size_t sent = 0; sent < filler; sent += chunk.size()) {
            if (connection.SendAll(chunk.data(), std::min(chunk.size(), filler - sent)) != 0)
                return false;
        }
        return true;
    }
    // Whether the server closes its end within the wait (after a refusal,
    // if it sends one): the stream ends without the wait having been stopped.
    bool ClosedByServer() {
        uint8_t bytes[256];
        while (connection.ReceiveAvailable(bytes, sizeof bytes) != 0) {
        }
        return connection.FailureCode(1) == 1;
    }

    zv::Connection connection;
};

// How long a direct and a session operation take; minutes when either fails.
std::chrono::milliseconds OrdinaryClientTime(const std::string& options, std::string& record) {
    const Clock::time_point start = Clock::now();
    const bool served = Direct(options, 20, "ordinary").Item("ARGUMENTS") == "ordinary" &&
                        Persistent(record, 20, "session").Item("ARGUMENTS") == "session";
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
    return served ? took : std::chrono::minutes(10);
}

// Slower runs (sanitizers, valgrind) do a tenth of the work.
int Scaled(int count) { return kSanitizedBuild || UnderValgrind() ? count / 10 : count; }

struct Attack {
    const char* name;
    std::function<void(zv::server::ServerLimits&)> configure;
    // Keeps in held the connections the server must close itself; returns
    // how many it opened.
    std::function<int(int port, std::vector<RawClient>& held)> start;
};

using HostileClients = ReliabilityTest;

TEST_F(HostileClients, AnOrdinaryClientIsServedPromptlyWhileOthersAttack) {
    const int idle = Scaled(500);
    zv::server::MakeRoomForConnections(2 * idle + 64);
    const Attack attacks[] = {
        {"idle connections holding half a header",
         [](zv::server::ServerLimits& limits) { limits.idleTimeout = std::chrono::seconds(1); },
         [idle](int port, std::vector<RawClient>& held) {
             for (int i = 0; i < idle; ++i) {
                 held.emplace_back(port);
                 const uint8_t halfHeader[] = {0x10, 0, 0};
                 if (held.back().connection.SendAll(halfHeader, 3) != 0) break;
             }
             return static_cast<int>(held.size());
         }},
        // Sixteen uploads stopping short that could fill the memory budget
        // three times over: it holds, they are admitted a few at a time,
        // and small requests still get through.
        {"stalled uploads",
         [](zv::server::ServerLimits& limits) {
             limits.memoryLimit = 16u << 20;
             limits.maxRequestPayload = 2u << 20;
             limits.requestTimeout = std::chrono::seconds(1);
         },
         [](int port, std::vector<RawClient>& held) {
             for (int i = 0; i < 16; ++i) {
                 held.emplace_back(port);
                 held.back().SendHeaderAndFiller(20, 1u << 20, 1u << 19);
             }
             return 16;
         }},
        // One address taking every slot with headers that never end: it gets
        // less than half, and what it holds ends with the header's deadline.
        {"one address holding headers",
         [](zv::server::ServerLimits& limits) {
             limits.maxConnections = 64;
             limits.headerTimeout = std::chrono::seconds(1);
         },
         [](int port, std::vector<RawClient>& held) {
             for (int i = 0; i < 64; ++i) {
                 held.emplace_back(port, "127.0.0.2");
                 const uint8_t halfHeader[] = {0x10, 0, 0};
                 held.back().connection.SendAll(halfHeader, 3);
             }
             return 64;
         }},
        // Honest operations that fit the budget one or two at a time, all at
        // once: each is admitted whole, in turn, and completes.
        {"large operations beyond the budget together",
         [](zv::server::ServerLimits& limits) { limits.memoryLimit = 8u << 20; },
         [](int port, std::vector<RawClient>&) {
             const std::string large(1u << 20, 'L');
             std::vector<std::thread> clients;
             std::atomic<int> answered{0};
             for (int i = 0; i < 6; ++i) {
                 clients.emplace_back([&] {
                     answered += Direct(OptionsAt(port), 20, large).Item("ARGUMENTS") == large;
                 });
             }
             for (std::thread& client : clients) client.join();
             EXPECT_EQ(answered, 6);
             return answered.load();
         }},
        // A header announcing more than the server takes: closed unread.
        {"oversized upload",
         [](zv::server::ServerLimits& limits) { limits.maxRequestPayload = 1u << 20; },
         [](int port, std::vector<RawClient>& held) {
             held.emplace_back(port);
             return int{held.back().SendHeaderAndFiller(20, (1u << 20) + 1, 0)};
         }},
        // More negotiations than the pending store holds: the logged-in
        // session is in a store of its own and stays.
        {"negotiation flood",
         [](zv::server::ServerLimits& limits) { limits.maxPendingKeys = 1000; },
         [](int port, std::vector<RawClient>&) {
             int done = 0;
             for (int i = 0; i < Scaled(20000); ++i) {
                 RawClient client(port);  // a bare key negotiation
                 uint8_t reply[23 + 32 + 16];
                 done += client.SendHeaderAndFiller(100, 0, 0, 0) &&
                         client.connection.ReceiveExactly(reply, sizeof reply) == sizeof reply;
             }
             return done;
         }},
    };
    for (const Attack& attack : attacks) {
        SCOPED_TRACE(attack.name);
        zv::server::ServerOptions options;
        attack.configure(options.limits);
        Restart(options);
        std::string record = LoggedInRecord();
        std::vector<RawClient> held;
        EXPECT_GT(attack.start(Port(), held), 0);
        EXPECT_LT(OrdinaryClientTime(Options(), record).count(), kSanitizedBuild ? 5000 : 1000);
        EXPECT_LE(Server().MemoryInUse(), options.limits.memoryLimit);
        EXPECT_LE(Server().Keys().PendingCount(), options.limits.maxPendingKeys);
        for (RawClient& client : held) EXPECT_TRUE(client.ClosedByServer());
        // Every connection gone, every byte claimed for one is given back.
        held.clear();
        for (int i = 0; i < 500 && Server().MemoryInUse() != 0; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        EXPECT_EQ(Server().MemoryInUse(), 0u);
    }
}

// zorvat-server started under a limit that prlimit sets, as a process of its
// own; the shell's $$ is the server's process id once it has exec'd.
struct LimitedServer {
    explicit LimitedServer(const std::string& limitAndArguments)
        : output(popen(("echo $$; exec prlimit " + limitAndArguments).c_str(), "r")) {
        if (output == nullptr || std::fscanf(output, "%d listening on %*[^:]:%d", &pid, &port) != 2)
            port = 0;
    }
    ~LimitedServer() {
        if (pid > 0) kill(pid, SIGTERM);
        if (output != nullptr) pclose(output);
    }

    FILE* output;
    pid_t pid = -1;
    int port = 0;
};

TEST(ServerUnderLimits, SurvivesLimitsOnProcessesAndAddressSpace) {
    if (kSanitizedBuild || UnderValgrind())
        GTEST_SKIP() << "the limits cannot work under a sanitizer or valgrind";
    struct Case {
        const char* name;
        std::string limitAndArguments;
        int clients;
        uint32_t upload;  // each client sends this much and then stalls
    };
    const std::string program = ZORVAT_SERVER_PROGRAM " --port 0";
    // The process limit binds no root process: run as nobody then.
    const std::string nobody =
        getuid() == 0 ? "setpriv --reuid=65534 --regid=65534 --clear-groups " : "";
    const Case cases[] = {
        // Uploads together far beyond the address space: some cannot be
        // held and are dropped, the server stays.
        {"address space", "--as=536870912 " + program + " --memory-limit 2G", 10, 40u << 20},
        // Room for the main thread and the loop, not for a thread per client.
        {"processes", "--nproc=3 " + nobody + program, 40, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LimitedServer server(c.limitAndArguments);
        if (server.port == 0 && std::string(c.name) == "processes")
            GTEST_SKIP() << "the server cannot start under this process limit here (run as root to "
                            "try it as nobody)";
        ASSERT_NE(server.port, 0);
        std::vector<RawClient> held;
        for (int i = 0; i < c.clients; ++i) {
            held.emplace_back(server.port);
            held.back().SendHeaderAndFiller(20, c.upload, c.upload);
        }
        std::string record =
            Text(OwnedText(ZvCreateConnectionInfo(OptionsAt(server.port).c_str(), 0)));
        EXPECT_EQ(Persistent(record, 1, "").Message(), "<null>");
        EXPECT_LT(OrdinaryClientTime(OptionsAt(server.port), record).count(), 1000);
        EXPECT_EQ(waitpid(server.pid, nullptr, WNOHANG), 0);  // alive
    }
}

}  // namespace
