#include <gtest/gtest.h>

#include <thread>

#include "server_fixture.hpp"
#include "support/owned_results.hpp"
#include "transport/session_id.hpp"

namespace {

using zvtest::Direct;
using zvtest::ExchangeResult;
using zvtest::InSession;
using zvtest::Login;
using zvtest::R;
using zvtest::ServerTest;

std::string IdText(const zv::SessionIdBytes& id) {
    char* text = zv::SessionIdToText(id.data());
    std::string result = text;
    std::free(text);
    return result;
}

// credentialItem3, credentialItem4, credentialItem1, credentialItem5,
// credentialItem6, arguments, plugin, client type.
const std::string kLoginPayload =
    R("alice^secret^ACCOUNT^item5^item6^ARGS^x~1~r\xE9sum\xE9^PLUG^C_Windows");

TEST_F(ServerTest, ADirectOperationGetsADescriptionOfWhatTheServerDecoded) {
    std::optional<zv::SessionKey> key;
    zv::SessionIdBytes sessionId{};
    zv::RequestSettings settings = Direct(42);
    settings.inputFormat = 3;
    settings.outputFormat = 4;
    const ExchangeResult result = Exchange(settings, kLoginPayload, key, sessionId);
    ASSERT_EQ(result.Code(), 0u) << result.status.serverErrorText;
    EXPECT_FALSE(result.response.isErrorText);
    EXPECT_EQ(result.Item("DIRECT").substr(0, 16), R("DIRECT~OPERATION"));
    EXPECT_EQ(result.Item("OPERATION"), "42");
    EXPECT_EQ(result.Item("SESSION_MODE"), "128");
    EXPECT_EQ(result.Item("INPUT_FORMAT"), "3");
    EXPECT_EQ(result.Item("OUTPUT_FORMAT"), "4");
    EXPECT_EQ(result.Item("SESSION_ID"), IdText(sessionId));
    EXPECT_EQ(result.Item("CREDENTIAL_ITEM3"), "alice");
    EXPECT_EQ(result.Item("CREDENTIAL_ITEM1"), "ACCOUNT");
    EXPECT_EQ(result.Item("PLUGIN"), "PLUG");
    EXPECT_EQ(result.Item("CLIENT_TYPE"), "C_Windows");
    // Converted to UTF-8 on the way out and back on the way in: byte for byte.
    EXPECT_EQ(result.Item("ARGUMENTS"), R("ARGS^x~1~r\xE9sum\xE9"));
}

TEST_F(ServerTest, ADirectOperationsKeyServesOneRequestOnly) {
    std::optional<zv::SessionKey> key;
    zv::SessionIdBytes sessionId{};
    ASSERT_EQ(Exchange(Direct(5), kLoginPayload, key, sessionId).Code(), 0u);
    EXPECT_EQ(server->Keys().PendingCount(), 0u);
    EXPECT_EQ(server->Keys().SessionCount(), 0u);

    const ExchangeResult again = Exchange(Direct(5), kLoginPayload, key, sessionId);
    ASSERT_EQ(again.Code(), 0u);
    EXPECT_TRUE(again.response.isErrorText);
    EXPECT_EQ(again.Text(), "Unknown session");
}

TEST_F(ServerTest, ALoginSessionOperationsAndALogout) {
    std::optional<zv::SessionKey> key;
    zv::SessionIdBytes sessionId{};
    const ExchangeResult login = Exchange(Login(), kLoginPayload, key, sessionId);
    ASSERT_EQ(login.Code(), 0u);
    ASSERT_FALSE(login.response.isErrorText) << login.Text();
    const std::string recordId = login.Item("RECORD_ID");
    EXPECT_EQ(recordId.substr(0, 1), "R");
    EXPECT_EQ(login.Item("SESSION_ID"), IdText(sessionId));
    EXPECT_EQ(login.Item("CREDENTIAL_ITEM3"), "alice");
    EXPECT_EQ(login.Item("ARGUMENTS"), R("ARGS^x~1~r\xE9sum\xE9"));
    ASSERT_TRUE(key.has_value());
    EXPECT_TRUE(key->IsStorableAsText());
    for (char c : key->Text()) EXPECT_TRUE(c >= 0x21 && c <= 0x7E) << int(c);
    EXPECT_EQ(server->Keys().SessionCount(), 1u);

    // Session operations use the stored key and identifier, with no negotiation.
    for (const char* arguments : {"LIST^CUSTOMERS", "READ^CUSTOMERS^1"}) {
        const ExchangeResult operation =
            Exchange(InSession(7), recordId + R("^") + R(arguments), key, sessionId);
        ASSERT_EQ(operation.Code(), 0u);
        EXPECT_FALSE(operation.response.isErrorText) << operation.Text();
        EXPECT_EQ(operation.Item("RECORD_ID"), recordId);
        EXPECT_EQ(operation.Item("ARGUMENTS"), R(arguments));
        EXPECT_EQ(operation.Item("SESSION_MODE"), "1");
    }

    const ExchangeResult logout =
        Exchange(InSession(8), R("alice^secret^ACCOUNT^item5^bye^") + recordId, key, sessionId);
    ASSERT_EQ(logout.Code(), 0u);
    EXPECT_FALSE(logout.response.isErrorText) << logout.Text();
    EXPECT_EQ(logout.Item("RECORD_ID"), recordId);
    EXPECT_EQ(logout.Item("ARGUMENTS"), "bye");
    EXPECT_EQ(server->Keys().SessionCount(), 0u);

    const ExchangeResult afterLogout =
        Exchange(InSession(7), recordId + R("^LIST"), key, sessionId);
    ASSERT_EQ(afterLogout.Code(), 0u);
    EXPECT_TRUE(afterLogout.response.isErrorText);
    EXPECT_EQ(afterLogout.Text(), "Unknown session");
}

TEST_F(ServerTest, EachLoginGetsItsOwnRecordIdAndSession) {
    std::optional<zv::SessionKey> firstKey, secondKey;
    zv::SessionIdBytes firstId{}, secondId{};
    const ExchangeResult first = Exchange(Login(), kLoginPayload, firstKey, firstId);
    const ExchangeResult second = Exchange(Login(), kLoginPayload, secondKey, secondId);
    ASSERT_EQ(first.Code() + second.Code(), 0u);
    EXPECT_NE(first.Item("RECORD_ID"), second.Item("RECORD_ID"));
    EXPECT_NE(firstId, secondId);
    EXPECT_NE(firstKey->Text(), secondKey->Text());
}

TEST_F(ServerTest, RequestsItCannotPlaceAreRefusedWithTheErrorFlag) {
    // A key and identifier the server never handed out.
    std::optional<zv::SessionKey> key(
        zv::SessionKey(reinterpret_cast<const uint8_t*>("0123456789abcdef0123456789abcdef")));
    zv::SessionIdBytes sessionId{};
    const ExchangeResult unknown = Exchange(InSession(7), R("R1^LIST"), key, sessionId);
    ASSERT_EQ(unknown.Code(), 0u);
    EXPECT_TRUE(unknown.response.isErrorText);
    EXPECT_EQ(unknown.Text(), "Unknown session");

    const ExchangeResult malformed = DirectExchange(7, R("only^three^fields"));
    ASSERT_EQ(malformed.Code(), 0u);
    EXPECT_TRUE(malformed.response.isErrorText);
    EXPECT_EQ(malformed.Text(), "Malformed request: fewer than 8 fields");
}

TEST_F(ServerTest, RequiredCredentialsAreChecked) {
    zv::server::ServerOptions options;
    options.requiredItem3 = "alice";
    options.requiredItem4 = "other";
    StartServer(options);
    const ExchangeResult refused = DirectExchange(7, kLoginPayload);
    ASSERT_EQ(refused.Code(), 0u);
    EXPECT_TRUE(refused.response.isErrorText);
    EXPECT_EQ(refused.Text(), "Invalid credentials");
}

TEST_F(ServerTest, ServesManyClientsAtOnce) {
    constexpr int kClients = 8;
    constexpr int kRequestsEach = 10;
    std::vector<std::thread> clients;
    std::vector<int> matched(kClients, 0);
    for (int client = 0; client < kClients; ++client) {
        clients.emplace_back([&, client] {
            for (int i = 0; i < kRequestsEach; ++i) {
                const std::string arguments =
                    "client " + std::to_string(client) + " request " + std::to_string(i);
                const ExchangeResult result =
                    DirectExchange(9, R("u^p^A^5^6^") + arguments + R("^^C_Windows"));
                if (result.Code() == 0 && result.Item("ARGUMENTS") == arguments) ++matched[client];
            }
        });
    }
    for (std::thread& client : clients) client.join();
    for (int client = 0; client < kClients; ++client) {
        EXPECT_EQ(matched[client], kRequestsEach) << "client " << client;
    }
    EXPECT_EQ(server->Keys().PendingCount(), 0u);
}

TEST_F(ServerTest, LogsOneLinePerExchange) {
    ASSERT_EQ(DirectExchange(9, kLoginPayload).Code(), 0u);
    server->Stop();                 // every exchange has then finished and logged
    EXPECT_EQ(LogLineCount(), 2u);  // the negotiation and the request
    EXPECT_EQ(server->ExchangeCount(), 2u);
}

}  // namespace
