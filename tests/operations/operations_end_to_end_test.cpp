// Every path of the two operation entry points against the reference server:
// what goes on the wire (as the server decoded it, field by field, which
// also fixes each payload layout) and what comes back.
#include <gtest/gtest.h>

#include <string>

#include "support/server_fixture.hpp"

using namespace zvtest;

using OperationsEndToEnd = ServerTest;

namespace {

// The credential items of the fixture's options, as the server names them.
void ExpectCredentials(const Outcome& outcome, bool withItem6AndPlugin) {
    EXPECT_EQ(outcome.Item("CREDENTIAL_ITEM1"), "ACCT");
    EXPECT_EQ(outcome.Item("CREDENTIAL_ITEM3"), "user");
    EXPECT_EQ(outcome.Item("CREDENTIAL_ITEM4"), "pw");
    EXPECT_EQ(outcome.Item("CREDENTIAL_ITEM5"), "five");
    EXPECT_EQ(outcome.Item("CREDENTIAL_ITEM6"), withItem6AndPlugin ? "six" : "<missing>");
    EXPECT_EQ(outcome.Item("PLUGIN"), withItem6AndPlugin ? "plug" : "<missing>");
    EXPECT_EQ(outcome.Item("CLIENT_TYPE"), withItem6AndPlugin ? "C_Windows" : "<missing>");
}

}  // namespace

TEST_F(OperationsEndToEnd, DirectOperationNegotiatesItsOwnKeyAndSendsTheTranslatedRequest) {
    const uint64_t before = Server().ExchangeCount();
    const Outcome outcome = Direct(Options(), 2, R("CUSTOMERS^1001^x"), 7, 3);
    ASSERT_EQ(outcome.Message(), "<null>");
    EXPECT_EQ(outcome.Item("OPERATION"), "2");
    EXPECT_EQ(outcome.Item("SESSION_MODE"), "128");
    EXPECT_EQ(outcome.Item("INPUT_FORMAT"), "7");
    EXPECT_EQ(outcome.Item("OUTPUT_FORMAT"), "3");
    EXPECT_EQ(outcome.Item("ARGUMENTS"), R("CUSTOMERS^1001~JSON^x"));
    ExpectCredentials(outcome, true);
    // A negotiation and a request: two exchanges on two connections.
    EXPECT_EQ(ExchangesSince(before, 2), 2u);

    // Empty items keep their places as empty fields.
    const Outcome empty =
        Direct("127.0.0.1" + R("||") + std::to_string(Port()) + R("|||||"), 20, "args");
    EXPECT_EQ(empty.Item("CREDENTIAL_ITEM3"), "");
    EXPECT_EQ(empty.Item("ARGUMENTS"), "args");
    EXPECT_EQ(empty.Item("CLIENT_TYPE"), "C_Windows");
    // Null arguments are none, and the message pointer may be absent.
    const Outcome fromNull{
        OwnedText(ZvExecuteDirectOperation(nullptr, Options().c_str(), 7, nullptr, 1, 1, 0)), {}};
    EXPECT_EQ(fromNull.Item("ARGUMENTS"), "");
}

TEST_F(OperationsEndToEnd, ASessionFromLoginToLogout) {
    std::string record = FreshSession();
    const std::string fresh = record;
    uint64_t before = Server().ExchangeCount();
    const Outcome login = Persistent(record, 1, "login args", 5, 6, 12345);
    ASSERT_EQ(login.Message(), "<null>");
    EXPECT_EQ(ExchangesSince(before, 2), 2u);
    // The server's session goes into a new record; everything else stays.
    EXPECT_EQ(RecordItem(record, 8), login.Item("RECORD_ID"));
    EXPECT_NE(RecordItem(record, 8), "");
    EXPECT_EQ(RecordItem(record, 9), login.Item("SESSION_ID"));
    EXPECT_EQ(RecordItem(record, 9).size(), 36u);
    EXPECT_EQ(RecordItem(record, 10).size(), 32u);
    for (uint32_t index : {0u, 1u, 2u, 3u, 4u, 5u, 6u, 7u, 11u}) {
        EXPECT_EQ(RecordItem(record, index), RecordItem(fresh, index)) << index;
    }
    // The login sends formats 1 whatever the caller asks for, and its
    // arguments untranslated.
    EXPECT_EQ(login.Item("SESSION_MODE"), "1");
    EXPECT_EQ(login.Item("INPUT_FORMAT"), "1");
    EXPECT_EQ(login.Item("OUTPUT_FORMAT"), "1");
    EXPECT_EQ(login.Item("ARGUMENTS"), "login args");
    ExpectCredentials(login, true);

    // Session operations use the stored session without negotiating.
    before = Server().ExchangeCount();
    const Outcome outcome = Persistent(record, 7, R("a0^old^a2"), 9, 2);
    ASSERT_EQ(outcome.Message(), "<null>");
    EXPECT_EQ(ExchangesSince(before, 1), 1u);
    EXPECT_EQ(outcome.Item("SESSION_MODE"), "1");
    EXPECT_EQ(outcome.Item("INPUT_FORMAT"), "9");
    EXPECT_EQ(outcome.Item("SESSION_ID"), RecordItem(record, 9));
    EXPECT_EQ(outcome.Item("RECORD_ID"), RecordItem(record, 8));
    EXPECT_EQ(outcome.Item("ARGUMENTS"), R("a0^XML^a2"));
    EXPECT_EQ(outcome.Item("CREDENTIAL_ITEM3"), "<missing>");  // only the record id and arguments
    // é, ü, €, Š, œ, Ÿ in ISO-8859-15, and a sub-item separator, both ways.
    const std::string text = R("Caf\xE9 M\xFCller^4,50 \xA4 \xA6koda \xBD\xBE~x");
    EXPECT_EQ(Persistent(record, 20, text).Item("ARGUMENTS"), text);

    // The logout leaves the record as it was; the server forgets the session.
    const std::string loggedIn = record;
    const Outcome logout = Persistent(record, 8, "bye", 3, 4, 99);
    ASSERT_EQ(logout.Message(), "<null>");
    EXPECT_EQ(record, loggedIn);
    EXPECT_EQ(logout.Item("ARGUMENTS"), "bye");  // untranslated
    EXPECT_EQ(logout.Item("RECORD_ID"), RecordItem(record, 8));
    EXPECT_EQ(logout.Item("OUTPUT_FORMAT"), "4");
    ExpectCredentials(logout, false);
    // Its error text is the message, never an answer.
    const Outcome after = Persistent(record, 20, "x");
    EXPECT_EQ(after.Answer(), "<null>");
    EXPECT_EQ(after.Message(), "Unknown session");
}
