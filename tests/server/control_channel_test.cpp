// The fault flags of the server's command line and control port, and the
// control port through which tests in another process steer the server.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "control_channel.hpp"
#include "fault_flags.hpp"
#include "operations/external_server.hpp"
#include "support/server_fixture.hpp"

namespace {

using zv::server::Fault;
using zv::server::FaultKind;
using zvtest::Direct;

// One command as the Windows tests send it.
std::string Send(uint16_t port, const std::string& command) {
    std::string answer;
    return zvtest::ControlCommand(port, command, answer) ? answer : "<no connection>";
}

TEST(FaultFlags, FormattedFlagsReadBackAsTheSameFaultAndMistakesAreRefused) {
    const Fault faults[] = {
        {FaultKind::kRefuse, "Licence limit reached: 5 users", 0},
        {FaultKind::kErrorFlag, "Fichier verrouill\xE9 \xA4", 0},
        {FaultKind::kShortHeader, "", 7},
        {FaultKind::kFragmented, "", 0},
        {FaultKind::kWrongChecksum, "", 0},
        {FaultKind::kUnstorableKey, "", 0},
    };
    std::string error;
    for (const Fault& fault : faults) {
        const std::string flag = zv::server::FormatFaultFlag("response", fault);
        zv::server::FaultPlan plan;
        ASSERT_TRUE(zv::server::ParseFaultFlag(flag, plan, error)) << flag << ": " << error;
        EXPECT_EQ(plan.response.kind, fault.kind) << flag;
        EXPECT_EQ(plan.response.text, fault.text) << flag;
        EXPECT_EQ(plan.response.count, fault.count) << flag;
        EXPECT_EQ(plan.negotiation.kind, FaultKind::kNone) << flag;
    }
    EXPECT_EQ(zv::server::FormatFaultFlag("negotiation", Fault{}), "");

    zv::server::FaultPlan plan;
    for (const char* wrong : {"refuse", "handshake:refuse", "response:nothing",
                              "response:close-after=ten", "response:bad-padding=3"}) {
        EXPECT_FALSE(zv::server::ParseFaultFlag(wrong, plan, error)) << wrong;
        EXPECT_FALSE(error.empty());
    }
}

using ControlChannel = zvtest::ServerTest;

TEST_F(ControlChannel, SetsFaultsCountsExchangesAndRefusesWhatItDoesNotKnow) {
    zv::server::ControlChannel control(Server());
    ASSERT_TRUE(control.Start(0)) << control.Error();
    const uint16_t port = control.Port();

    EXPECT_EQ(Send(port, "exchanges"), "0");
    EXPECT_EQ(Send(port, "faults\tnegotiation:refuse=Busy: try later"), "ok");
    EXPECT_EQ(Direct(Options(), 20, "x").Message(), "Busy: try later");
    EXPECT_EQ(Send(port, "faults"), "ok");  // no flags: no faults
    EXPECT_EQ(Direct(Options(), 20, "x").Message(), "<null>");
    // Both phases at once.
    EXPECT_EQ(Send(port, "faults\tnegotiation:short-key=5\tresponse:wrong-checksum"), "ok");
    EXPECT_EQ(Direct(Options(), 20, "x").Message(),
              "C357: Encrypt negociation. Invalid session key");
    // Mistakes leave the plan as it was.
    EXPECT_EQ(Send(port, "stop"), "error: unknown command 'stop'");
    EXPECT_EQ(Send(port, "faultsnegotiation:refuse"),
              "error: unknown command 'faultsnegotiation:refuse'");
    EXPECT_EQ(Send(port, "faults\tresponse:no-such-fault"), "error: unknown fault 'no-such-fault'");
    EXPECT_EQ(Direct(Options(), 20, "x").Message(),
              "C357: Encrypt negociation. Invalid session key");
    // A refused negotiation, a negotiation and its request, and two with short
    // keys: five exchanges, the last counted once its reply is out.
    std::string count = Send(port, "exchanges");
    for (int i = 0; i < 500 && count != "5"; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        count = Send(port, "exchanges");
    }
    EXPECT_EQ(count, "5");
}

}  // namespace
