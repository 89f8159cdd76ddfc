// The control port through which test programs in another process (the
// Windows ones under Wine) steer the reference server. The fault flags it
// reads are those of --fault, which tests/tools/programs_end_to_end.sh and the
// Python package's tests give the server program.
#include "control_channel.hpp"

#include <gtest/gtest.h>

#include <string>

#include "operations/external_server.hpp"
#include "support/server_fixture.hpp"

namespace {

using namespace zvtest;

using ControlChannel = ServerTest;

TEST_F(ControlChannel, SetsFaultsCountsExchangesAndRefusesWhatItDoesNotKnow) {
    zv::server::ControlChannel control(Server());
    ASSERT_TRUE(control.Start(0)) << control.Error();
    const auto send = [&](const std::string& command) {
        std::string answer;
        return ControlCommand(control.Port(), command, answer) ? answer : "<no connection>";
    };

    EXPECT_EQ(send("exchanges"), "0");
    EXPECT_EQ(send("faults\tnegotiation:refuse=Busy: try later\tresponse:wrong-checksum"), "ok");
    EXPECT_EQ(Direct(Options(), 20, "x").Message(), "Busy: try later");
    // Mistakes leave the plan as it was.
    EXPECT_EQ(send("stop"), "error: unknown command 'stop'");
    EXPECT_EQ(send("faultsnegotiation:refuse"),
              "error: unknown command 'faultsnegotiation:refuse'");
    EXPECT_EQ(send("faults\tresponse:no-such-fault"), "error: unknown fault 'no-such-fault'");
    EXPECT_EQ(Direct(Options(), 20, "x").Message(), "Busy: try later");
    EXPECT_EQ(send("faults\tresponse:wrong-checksum"), "ok");
    EXPECT_EQ(Direct(Options(), 20, "x").Message(), "C405: Checksum error");
    EXPECT_EQ(send("faults"), "ok");  // no flags: no faults
    EXPECT_EQ(Direct(Options(), 20, "x").Message(), "<null>");
    // Two refused negotiations and two operations of two exchanges each.
    EXPECT_EQ(ExchangesSince(0, 6), 6u);
    EXPECT_EQ(send("exchanges"), "6");
}

}  // namespace
