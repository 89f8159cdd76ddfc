// What the reference server does that the client's operations never show:
// one request per negotiated key, key tables kept within caps and lifetimes.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

#include "log_queue.hpp"
#include "support/server_fixture.hpp"
#include "transport/exchange.hpp"

namespace {

using namespace zvtest;

using ReferenceServerTest = ServerTest;

// A direct exchange that may reuse a key or send too few fields; the answer,
// marked when the server flagged it as its error text.
std::string RawDirect(uint16_t port, const std::string& payload, std::optional<zv::SessionKey>& key,
                      zv::SessionIdBytes& sessionId) {
    zv::RequestSettings settings;
    settings.operationCode = 5;
    settings.persistent = false;
    zv::OperationStatus status;
    zv::Connection connection =
        zv::SendRequest(key, sessionId, "127.0.0.1", port, settings, payload.c_str(), {}, status);
    zv::Response response;
    if (status.code != 0 || zv::ReceiveResponse(connection, response, &*key) != 0)
        return "<failed>";
    return (response.isErrorText ? "error: " : "") + std::string(response.text.get());
}

const std::string kPayload = R("u^p^A^5^6^ARGS^^C_Windows");

TEST_F(ReferenceServerTest, KeysServeWhatTheyShouldAndKeyTablesAndConnectionsKeepTheirLimits) {
    std::optional<zv::SessionKey> key;
    zv::SessionIdBytes sessionId{};
    const std::string first = RawDirect(Port(), kPayload, key, sessionId);
    ASSERT_TRUE(first != "<failed>" && first.rfind("error: ", 0) != 0) << first;
    EXPECT_EQ(Server().Keys().SessionCount(), 0u);
    EXPECT_EQ(RawDirect(Port(), kPayload, key, sessionId), "error: Unknown session");

    key.reset();
    EXPECT_EQ(RawDirect(Port(), R("only^three^fields"), key, sessionId),
              "error: Malformed request: fewer than 8 fields");
    // Only a bare header with code 100 negotiates; with a payload it is an
    // operation like any other.
    EXPECT_EQ(Direct(Options(), 100, "x").Item("OPERATION"), "100");

    // Every login gets a session of its own.
    zv::server::ServerOptions options;
    options.limits.maxSessions = 2;
    Restart(options);
    std::string records[] = {FreshSession(), FreshSession(), FreshSession()};
    for (std::string& record : records) ASSERT_EQ(Persistent(record, 1, "").Message(), "<null>");
    for (uint32_t item : {8u, 9u, 10u})
        EXPECT_NE(RecordItem(records[1], item), RecordItem(records[2], item));
    for (char c : RecordItem(records[2], 10)) EXPECT_TRUE(c >= 0x21 && c <= 0x7E) << int{c};
    // The least recently used session made room.
    EXPECT_EQ(Persistent(records[0], 20, "x").Message(), "Unknown session");
    EXPECT_EQ(Persistent(records[1], 20, "x").Item("ARGUMENTS"), "x");
    EXPECT_EQ(Persistent(records[2], 20, "x").Item("ARGUMENTS"), "x");

    options.limits.sessionIdleLimit = std::chrono::seconds(0);
    Restart(options);
    std::string record = FreshSession();
    ASSERT_EQ(Persistent(record, 1, "").Message(), "<null>");
    EXPECT_EQ(Persistent(record, 20, "x").Message(), "Unknown session");

    options.limits.pendingKeyLifetime = std::chrono::seconds(0);
    Restart(options);
    EXPECT_EQ(Direct(Options(), 20, "x").Message(), "Unknown session");

    options.limits.maxConnections = 1;
    Restart(options);
    uint32_t code = 0;
    const zv::Connection held = zv::Connection::Open("127.0.0.1", Port(), code);
    EXPECT_EQ(Direct(Options(), 20, "x").Message(), "Too many connections; try again later");
}

// A reader that does not read (a pipe nobody drains, a paused terminal)
// costs log lines, counted and owned up to, never a wait.
TEST(LogQueue, NeverWaitsForItsReaderAndSaysHowManyLinesItDropped) {
    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    zv::server::LogQueue log(ends[1], 16 * 1024);
    ASSERT_TRUE(log.Start());
    for (int i = 0; i < 10000; ++i) log.Push(std::string(99, 'x') + "\n");  // 15 pipes full
    EXPECT_GT(log.Dropped(), 0u);
    std::string seen;
    std::thread reader([&] {
        char chunk[4096];
        for (ssize_t count; (count = read(ends[0], chunk, sizeof chunk)) > 0;)
            seen.append(chunk, static_cast<std::size_t>(count));
    });
    log.Stop(std::chrono::seconds(30));
    close(ends[1]);
    reader.join();
    close(ends[0]);
    std::size_t reported = 0;
    for (std::size_t at = 0; (at = seen.find(" log lines dropped\n", at)) != std::string::npos;
         ++at) {
        reported += std::stoul(seen.substr(seen.rfind('\n', at) + 1));
    }
    EXPECT_EQ(reported, log.Dropped());
}

}  // namespace
