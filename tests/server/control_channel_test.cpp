// The control port through which tests in another process steer the server:
// fault flags written by FormatFaultFlag read back as the same faults, and
// commands sent over a connection change what the server does.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "control_channel.hpp"
#include "fault_flags.hpp"
#include "server_fixture.hpp"
#include "transport/connection.hpp"

namespace {

using zv::server::Fault;
using zv::server::FaultKind;
using zv::server::FaultPlan;
using zvtest::ServerTest;

// One command on a connection of its own, as the Windows tests send it.
std::string Send(uint16_t port, const std::string& command) {
    uint32_t code = 0;
    zv::Connection connection = zv::Connection::Open("127.0.0.1", port, code);
    if (code != 0) return "<no connection>";
    const std::string line = command + "\n";
    connection.SendAll(reinterpret_cast<const uint8_t*>(line.data()), line.size());
    connection.ShutdownSending();
    std::string answer;
    char byte = 0;
    while (connection.ReceiveExactly(reinterpret_cast<uint8_t*>(&byte), 1) == 1) answer += byte;
    return answer;
}

TEST(FaultFlags, FormattedFlagsReadBackAsTheSameFault) {
    const Fault faults[] = {
        {FaultKind::kRefuse, "Licence limit reached: 5 users", 0},
        {FaultKind::kErrorFlag, "Fichier verrouill\xE9 \xA4", 0},
        {FaultKind::kShortHeader, "", 7},
        {FaultKind::kFragmented, "", 0},
        {FaultKind::kWrongChecksum, "", 0},
        {FaultKind::kUnstorableKey, "", 0},
    };
    for (const Fault& fault : faults) {
        const std::string flag = zv::server::FormatFaultFlag("response", fault);
        FaultPlan plan;
        std::string error;
        ASSERT_TRUE(zv::server::ParseFaultFlag(flag, plan, error)) << flag << ": " << error;
        EXPECT_EQ(plan.response.kind, fault.kind) << flag;
        EXPECT_EQ(plan.response.text, fault.text) << flag;
        EXPECT_EQ(plan.response.count, fault.count) << flag;
        EXPECT_EQ(plan.negotiation.kind, FaultKind::kNone) << flag;
    }
    EXPECT_EQ(zv::server::FormatFaultFlag("negotiation", Fault{}), "");
}

TEST_F(ServerTest, ControlCommandsSetFaultsAndCountExchanges) {
    zv::server::ControlChannel control(*server);
    ASSERT_TRUE(control.Start(0)) << control.Error();
    ASSERT_NE(control.Port(), 0);

    EXPECT_EQ(Send(control.Port(), "exchanges"), "0\n");
    EXPECT_EQ(Send(control.Port(), "faults\tnegotiation:refuse=Busy: try later"), "ok\n");
    EXPECT_EQ(DirectExchange(20, "x").status.code, zv::kNegotiationRefused);
    EXPECT_EQ(Send(control.Port(), "faults"), "ok\n");  // no flags: no faults
    EXPECT_EQ(DirectExchange(20, "x").Code(), 0u);
    // Both phases at once.
    EXPECT_EQ(Send(control.Port(), "faults\tnegotiation:short-key=5\tresponse:wrong-checksum"),
              "ok\n");
    EXPECT_EQ(DirectExchange(20, "x").status.code, 357u);
    // Two refused negotiations, one negotiation and its request: four
    // exchanges, the last counted once its reply is out.
    std::string count = Send(control.Port(), "exchanges");
    for (int i = 0; i < 500 && count != "4\n"; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        count = Send(control.Port(), "exchanges");
    }
    EXPECT_EQ(count, "4\n");
}

TEST_F(ServerTest, ControlRefusesWhatItDoesNotKnowAndKeepsThePlan) {
    zv::server::ControlChannel control(*server);
    ASSERT_TRUE(control.Start(0)) << control.Error();
    ASSERT_EQ(Send(control.Port(), "faults\tnegotiation:refuse=No"), "ok\n");
    EXPECT_EQ(Send(control.Port(), "stop"), "error: unknown command 'stop'\n");
    EXPECT_EQ(Send(control.Port(), "faultsnegotiation:refuse"),
              "error: unknown command 'faultsnegotiation:refuse'\n");
    EXPECT_EQ(Send(control.Port(), "faults\tresponse:no-such-fault"),
              "error: unknown fault 'no-such-fault'\n");
    EXPECT_EQ(DirectExchange(20, "x").status.code, zv::kNegotiationRefused);
}

}  // namespace
