// How the operations fail: the message each failure gives the caller, and
// that a failed login leaves the caller's record as it was.
#include <gtest/gtest.h>

#include <string>

#include "server_fixture.hpp"
#include "support/loopback_port.hpp"

using namespace zvtest;
using zv::server::FaultKind;

using OperationFailures = ServerTest;

namespace {

std::string OptionsWithPort(const char* host, const char* port) {
    return std::string(host) + R("|a|") + port + R("|b|c|d|e|");
}

}  // namespace

TEST_F(OperationFailures, RecordsOfTheWrongShapeAreRefusedBeforeAnyConnection) {
    const uint64_t before = Server().ExchangeCount();
    EXPECT_EQ(Direct(R("127.0.0.1|a|1|b"), 2, "").Message(),
              "C031: Error in CredentialOptions: Expected 8 items");
    std::string thirteen = FreshSession() + R("|extra");
    EXPECT_EQ(Persistent(thirteen, 1, "").Message(),
              "C032: Error in ConnectionInfo: Expected 12 items");
    EXPECT_EQ(Persistent(thirteen, 8, "").Message(),
              "C032: Error in ConnectionInfo: Expected 12 items");
    EXPECT_EQ(Persistent(thirteen, 20, "").Message(),
              "C032: Error in ConnectionInfo: Expected 12 items");
    EXPECT_EQ(Server().ExchangeCount(), before);
}

TEST_F(OperationFailures, PortsOutsideTheUsableRangeGive30) {
    for (const char* port : {"0", "", "-1", "65536", "70000", "0x50", "port"}) {
        const Outcome outcome = Direct(OptionsWithPort("127.0.0.1", port), 2, "");
        EXPECT_EQ(outcome.Message(), "C030: Invalid PORT number") << port;
        EXPECT_EQ(outcome.Answer(), "<null>");
    }
}

TEST_F(OperationFailures, SessionItemsAreCheckedBeforeAnyConnection) {
    const uint64_t before = Server().ExchangeCount();
    std::string fresh = FreshSession();
    EXPECT_EQ(Persistent(fresh, 20, "").Message(),
              "C033: Error in ConnectionInfo: No session key, login first");
    EXPECT_EQ(Persistent(fresh, 8, "").Message(),
              "C033: Error in ConnectionInfo: No session key, login first");

    std::string badId = fresh;
    badId =
        Text(OwnedText(ZvChangeConnectionInfo(badId.c_str(), 10, std::string(32, 'k').c_str())));
    badId = Text(OwnedText(ZvChangeConnectionInfo(badId.c_str(), 9, "not-an-identifier")));
    EXPECT_EQ(Persistent(badId, 20, "").Message(),
              "C034: Error in ConnectionInfo: Invalid session identifier");
    EXPECT_EQ(Server().ExchangeCount(), before);
}

TEST_F(OperationFailures, UnreachableServersGiveConnectionCodes) {
    const std::string port = std::to_string(UnusedLoopbackPort());
    EXPECT_EQ(Direct(OptionsWithPort("127.0.0.1", port.c_str()), 2, "").Message(),
              "C104: Unable to connect to server!");
    EXPECT_EQ(Direct(OptionsWithPort("no-such-host.invalid", port.c_str()), 2, "").Message(),
              "C050: Unable to resolve hostname");
}

TEST_F(OperationFailures, TheServersErrorFlagGivesItsConvertedText) {
    std::string record = FreshSession();
    ASSERT_EQ(Persistent(record, 1, "").Message(), "<null>");
    SetFaults(FaultKind::kNone, FaultKind::kErrorFlag, "Fichier verrouill\xE9 \xA4");
    const Outcome outcome = Persistent(record, 20, "");
    EXPECT_EQ(outcome.Answer(), "<null>");
    EXPECT_EQ(outcome.Message(), "Fichier verrouill\xE9 \xA4");

    std::string another = FreshSession();
    const std::string before = another;
    EXPECT_EQ(Persistent(another, 1, "").Message(), "Fichier verrouill\xE9 \xA4");
    EXPECT_EQ(another, before);
}

// Replies the fault matrix does not cover: a key too short to use, and a
// length far beyond what arrives.
TEST_F(OperationFailures, UnusableRepliesAreDiscarded) {
    struct Case {
        FaultKind negotiation;
        FaultKind response;
        const char* message;
    };
    const Case cases[] = {
        {FaultKind::kShortKey, FaultKind::kNone, "C357: Encrypt negociation. Invalid session key"},
        {FaultKind::kNone, FaultKind::kHugeLength,
         "C403: Not received all bytes of data response response"},
    };
    for (const Case& c : cases) {
        SetFaults(c.negotiation, c.response);
        const Outcome direct = Direct(Options(), 2, "");
        EXPECT_EQ(direct.Message(), c.message);
        EXPECT_EQ(direct.Answer(), "<null>");

        std::string record = FreshSession();
        const std::string before = record;
        EXPECT_EQ(Persistent(record, 1, "").Message(), c.message);
        EXPECT_EQ(record, before) << c.message;
    }
}

TEST_F(OperationFailures, ALoginKeyThatCannotBeStoredLeavesTheRecordUntouched) {
    SetFaults(FaultKind::kUnstorableKey, FaultKind::kNone);
    std::string record = FreshSession();
    const std::string before = record;
    EXPECT_EQ(Persistent(record, 1, "").Message(),
              "C357: Encrypt negociation. Invalid session key");
    EXPECT_EQ(record, before);
    // A direct operation keeps its key to itself, so any 32 bytes will do.
    EXPECT_EQ(Direct(Options(), 2, "").Message(), "<null>");
}
