// Every failure of the key negotiation and of the response, produced by the
// reference server over a real connection.
#include <gtest/gtest.h>

#include "server_fixture.hpp"
#include "support/owned_results.hpp"

namespace {

using zv::server::Fault;
using zv::server::FaultKind;
using zvtest::ExchangeResult;
using zvtest::R;
using zvtest::ServerTest;

const std::string kPayload = R("u^p^ACCOUNT^5^6^LIST~CUSTOMERS^^C_Windows");

Fault Make(FaultKind kind, uint32_t count = 0, std::string text = {}) {
    Fault fault;
    fault.kind = kind;
    fault.count = count;
    fault.text = std::move(text);
    fault.delay = std::chrono::milliseconds(1);
    return fault;
}

struct FaultCase {
    Fault fault;
    uint32_t code;
};

TEST_F(ServerTest, NegotiationFaultsGiveTheirCodes) {
    const std::size_t header = zv::kResponseHeaderSize;
    const FaultCase cases[] = {
        {Make(FaultKind::kShortHeader, 5), 351}, {Make(FaultKind::kCloseAfter, header + 10), 353},
        {Make(FaultKind::kHugeLength), 353},     {Make(FaultKind::kCloseAfter), 354},
        {Make(FaultKind::kWrongChecksum), 355},  {Make(FaultKind::kShortKey, 31), 357},
        {Make(FaultKind::kShortKey, 1), 357},
    };
    for (const FaultCase& test : cases) {
        InjectNegotiationFault(test.fault);
        const ExchangeResult result = DirectExchange(5, kPayload);
        EXPECT_EQ(result.Code(), test.code) << "fault " << static_cast<int>(test.fault.kind);
    }
}

TEST_F(ServerTest, ARefusedNegotiationHandsOverTheServersText) {
    InjectNegotiationFault(Make(FaultKind::kRefuse, 0, "Licence limit reached"));
    const ExchangeResult result = DirectExchange(5, kPayload);
    EXPECT_EQ(result.Code(), 999u);
    EXPECT_EQ(result.status.serverErrorText, "Licence limit reached");
}

TEST_F(ServerTest, AKeyWithZeroAndItemSeparatorServesADirectOperationButNoLogin) {
    InjectNegotiationFault(Make(FaultKind::kUnstorableKey));
    // Keys are never measured as text: a direct operation works with it.
    const ExchangeResult direct = DirectExchange(5, kPayload);
    ASSERT_EQ(direct.Code(), 0u);
    EXPECT_EQ(direct.Item("ARGUMENTS"), R("LIST~CUSTOMERS"));

    std::optional<zv::SessionKey> key;
    zv::SessionIdBytes sessionId{};
    EXPECT_EQ(Exchange(zvtest::Login(), kPayload, key, sessionId).Code(), 357u);
    EXPECT_FALSE(key.has_value());
}

TEST_F(ServerTest, AFragmentedNegotiationReplySucceeds) {
    for (uint32_t piece : {1u, 4u}) {
        InjectNegotiationFault(Make(FaultKind::kFragmented, piece));
        const ExchangeResult result = DirectExchange(5, kPayload);
        ASSERT_EQ(result.Code(), 0u) << "pieces of " << piece;
        EXPECT_EQ(result.Item("ARGUMENTS"), R("LIST~CUSTOMERS"));
    }
}

TEST_F(ServerTest, ResponseFaultsGiveTheirCodesAndNoText) {
    const std::size_t header = zv::kResponseHeaderSize;
    const FaultCase cases[] = {
        {Make(FaultKind::kShortHeader, 22), 401},  {Make(FaultKind::kCloseAfter, header + 3), 403},
        {Make(FaultKind::kHugeLength, 1000), 403}, {Make(FaultKind::kCloseAfter), 404},
        {Make(FaultKind::kWrongChecksum), 405},    {Make(FaultKind::kBadPadding), 406},
        {Make(FaultKind::kWrongLength), 406},
    };
    for (const FaultCase& test : cases) {
        InjectResponseFault(test.fault);
        const ExchangeResult result = DirectExchange(5, kPayload);
        EXPECT_EQ(result.Code(), test.code) << "fault " << static_cast<int>(test.fault.kind);
        EXPECT_EQ(result.response.text, nullptr);
    }
}

TEST_F(ServerTest, TheErrorFlagCarriesTheServersTextDecrypted) {
    InjectResponseFault(Make(FaultKind::kErrorFlag, 0, "File CUSTOMERS not found \xA4"));
    const ExchangeResult result = DirectExchange(5, kPayload);
    ASSERT_EQ(result.Code(), 0u);
    EXPECT_TRUE(result.response.isErrorText);
    EXPECT_EQ(result.Text(), "File CUSTOMERS not found \xA4");
}

TEST_F(ServerTest, AFragmentedResponseSucceeds) {
    for (uint32_t piece : {1u, 16u}) {
        InjectResponseFault(Make(FaultKind::kFragmented, piece));
        const ExchangeResult result = DirectExchange(5, kPayload);
        ASSERT_EQ(result.Code(), 0u) << "pieces of " << piece;
        EXPECT_EQ(result.Item("ARGUMENTS"), R("LIST~CUSTOMERS"));
    }
}

TEST_F(ServerTest, FaultsOfOnePhaseLeaveTheOtherAlone) {
    // A response fault does not disturb the negotiation before it, and the
    // other way round.
    InjectResponseFault(Make(FaultKind::kWrongChecksum));
    EXPECT_EQ(DirectExchange(5, kPayload).Code(), 405u);
    InjectNegotiationFault(Make(FaultKind::kWrongChecksum));
    EXPECT_EQ(DirectExchange(5, kPayload).Code(), 355u);
    server->SetFaults({});
    EXPECT_EQ(DirectExchange(5, kPayload).Code(), 0u);
}

}  // namespace
