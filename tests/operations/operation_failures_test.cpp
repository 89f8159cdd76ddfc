// The failures an operation finds before the server has a say: records of
// the wrong shape, unusable ports, missing session items, unreachable
// servers. What the server or the network spoil afterwards is the fault
// matrix of tests/reliability.
#include <gtest/gtest.h>

#include <string>

#include "support/loopback_port.hpp"
#include "support/server_fixture.hpp"

using namespace zvtest;

using OperationFailures = ServerTest;

namespace {

std::string OptionsWithPort(const std::string& host, const std::string& port) {
    return host + R("|ACCT|") + port + R("|user|pw|five|six|plug");
}

}  // namespace

TEST_F(OperationFailures, RecordsOfTheWrongShapeAreRefusedBeforeAnyConnection) {
    const uint64_t before = Server().ExchangeCount();
    EXPECT_EQ(Direct(R("127.0.0.1|a|1|b"), 2, "").Message(),
              "C031: Error in CredentialOptions: Expected 8 items");
    EXPECT_EQ(Direct(Options() + R("|ninth"), 2, "").Message(),
              "C031: Error in CredentialOptions: Expected 8 items");
    std::string thirteen = FreshSession() + R("|extra");
    for (uint8_t code : {1, 8, 20}) {
        EXPECT_EQ(Persistent(thirteen, code, "").Message(),
                  "C032: Error in ConnectionInfo: Expected 12 items");
    }
    EXPECT_EQ(Server().ExchangeCount(), before);
}

TEST_F(OperationFailures, PortItemsAreReadLikeAtoiAndMustBeUsable) {
    const std::string port = std::to_string(Port());
    for (const std::string& accepted : {"  " + port, "+" + port, port + "abc", "\t" + port}) {
        EXPECT_EQ(Direct(OptionsWithPort("127.0.0.1", accepted), 20, "x").Item("ARGUMENTS"), "x")
            << accepted;
    }
    // 131152 is 80 once wrapped to 16 bits.
    for (const char* refused :
         {"0", "", "-0", "-1", "65536", "131152", "0x50", "port", "99999999999999999999"}) {
        const Outcome outcome = Direct(OptionsWithPort("127.0.0.1", refused), 2, "");
        EXPECT_EQ(outcome.Message(), "C030: Invalid PORT number") << refused;
        EXPECT_EQ(outcome.Answer(), "<null>");
    }
}

TEST_F(OperationFailures, SessionItemsAreCheckedBeforeAnyConnection) {
    const uint64_t before = Server().ExchangeCount();
    std::string fresh = FreshSession();
    for (uint8_t code : {20, 8}) {
        EXPECT_EQ(Persistent(fresh, code, "").Message(),
                  "C033: Error in ConnectionInfo: No session key, login first");
    }
    std::string badId =
        Text(OwnedText(ZvChangeConnectionInfo(fresh.c_str(), 10, std::string(32, 'k').c_str())));
    badId = Text(OwnedText(ZvChangeConnectionInfo(badId.c_str(), 9, "not-an-identifier")));
    EXPECT_EQ(Persistent(badId, 20, "").Message(),
              "C034: Error in ConnectionInfo: Invalid session identifier");
    EXPECT_EQ(Server().ExchangeCount(), before);
}

TEST_F(OperationFailures, UnreachableServersGiveConnectionCodes) {
    const std::string port = std::to_string(UnusedLoopbackPort());
    EXPECT_EQ(Direct(OptionsWithPort("127.0.0.1", port), 2, "").Message(),
              "C104: Unable to connect to server!");
    EXPECT_EQ(Direct(OptionsWithPort("no-such-host.invalid", port), 2, "").Message(),
              "C050: Unable to resolve hostname");
}
