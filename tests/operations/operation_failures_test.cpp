// The failures an operation finds before the server has a say; what the
// server or the network spoil afterwards is the fault matrix of tests/reliability.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/loopback_port.hpp"
#include "support/server_fixture.hpp"

using namespace zvtest;

using OperationFailures = ServerTest;

TEST_F(OperationFailures, RecordsThatCannotServeFailBeforeAnyExchangeAndPortsReadLikeAtoi) {
    const auto withPort = [](const std::string& host, const std::string& port) {
        return host + R("|ACCT|") + port + R("|user|pw|five|six|plug");
    };
    const std::string fresh = FreshSession();
    const std::string withKey =
        Text(OwnedText(ZvChangeConnectionInfo(fresh.c_str(), 10, std::string(32, 'k').c_str())));
    const std::string unused = std::to_string(UnusedLoopbackPort());
    struct Case {
        std::string record;
        std::vector<uint8_t> codes;  // 0: a direct operation
        const char* expected;
    };
    std::vector<Case> cases = {
        {R("127.0.0.1|a|1|b"), {0}, "C031: Error in CredentialOptions: Expected 8 items"},
        {Options() + R("|ninth"), {0}, "C031: Error in CredentialOptions: Expected 8 items"},
        {fresh + R("|extra"), {1, 8, 20}, "C032: Error in ConnectionInfo: Expected 12 items"},
        {fresh, {20, 8}, "C033: Error in ConnectionInfo: No session key, login first"},
        {Text(OwnedText(ZvChangeConnectionInfo(withKey.c_str(), 9, "not-an-identifier"))),
         {20},
         "C034: Error in ConnectionInfo: Invalid session identifier"},
        {withPort("127.0.0.1", unused), {0}, "C104: Unable to connect to server!"},
        // Some resolvers take an empty name for this machine; it names no server.
        {withPort("no-such-host.invalid", unused), {0}, "C050: Unable to resolve hostname"},
        {withPort("", unused), {0}, "C050: Unable to resolve hostname"},
    };
    // 131152 is 80 once wrapped to 16 bits.
    for (const char* port :
         {"0", "", "-0", "-1", "65536", "131152", "0x50", "port", "99999999999999999999"}) {
        cases.push_back({withPort("127.0.0.1", port), {0}, "C030: Invalid PORT number"});
    }
    const uint64_t before = Server().ExchangeCount();
    for (const Case& c : cases) {
        for (const uint8_t code : c.codes) {
            std::string record = c.record;
            const Outcome outcome =
                code == 0 ? Direct(record, 2, "") : Persistent(record, code, "");
            EXPECT_EQ(outcome.Message(), c.expected) << int{code} << " " << c.record;
            EXPECT_EQ(outcome.Answer(), "<null>");
        }
    }
    // So do null records, with or without a message pointer.
    EXPECT_EQ(ZvExecuteDirectOperation(nullptr, nullptr, 30, "", 1, 1, 0), nullptr);
    char* message = nullptr;
    EXPECT_EQ(ZvExecuteDirectOperation(&message, nullptr, 30, "", 1, 1, 0), nullptr);
    EXPECT_EQ(Text(OwnedText(message)), "C031: Error in CredentialOptions: Expected 8 items");
    char* noRecord = nullptr;
    for (char** record : {static_cast<char**>(nullptr), &noRecord}) {
        EXPECT_EQ(ZvExecutePersistentOperation(&message, record, 1, "", 1, 1, 0), nullptr);
        EXPECT_EQ(Text(OwnedText(message)), "C032: Error in ConnectionInfo: Expected 12 items");
    }
    EXPECT_EQ(Server().ExchangeCount(), before);

    const std::string port = std::to_string(Port());
    for (const std::string& accepted : {"  " + port, "+" + port, port + "abc", "\t" + port}) {
        EXPECT_EQ(Direct(withPort("127.0.0.1", accepted), 20, "x").Item("ARGUMENTS"), "x")
            << accepted;
    }
}
