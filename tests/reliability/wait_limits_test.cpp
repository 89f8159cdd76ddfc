// Time limits and cancellation as the caller sees them: a peer that keeps the
// client waiting in each phase of an operation gives the timeout or
// cancellation message within the limit (generously), leaves the record as
// it was and no descriptor open.
#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <string>
#include <thread>

#include "support/reliability_fixture.hpp"
#include "support/scripted_peer.hpp"

using namespace zvtest;
using std::chrono::milliseconds;

namespace {

enum class Call { kDirect, kLogin, kSession, kLargeSession };

constexpr const char* kConnectTimedOut = "C105: Timed out connecting to server";
constexpr const char* kTimedOut = "C407: Timed out waiting for the server";
constexpr const char* kCancelled = "C408: Operation cancelled";
constexpr const char* kNone = "<null>";
constexpr int kPreset = 0;
constexpr int kNoCancel = -1;

}  // namespace

using WaitLimits = ReliabilityTest;

TEST_F(WaitLimits, EveryPhaseOfAnOperationIsBoundedAndCancellable) {
    struct Case {
        const char* name;
        Misbehaviour peer;
        Call call;
        uint32_t connectTimeoutMs;
        uint32_t ioTimeoutMs;
        int cancelAfterMs;
        const char* expected;
    };
    const Case cases[] = {
        {"mute in the negotiation", Misbehaviour::kSilent, Call::kLogin, 0, 300, kNoCancel,
         kTimedOut},
        {"mute in the exchange", Misbehaviour::kSilent, Call::kSession, 0, 300, kNoCancel,
         kTimedOut},
        {"never reads a large request", Misbehaviour::kSilent, Call::kLargeSession, 0, 300,
         kNoCancel, kTimedOut},
        // Each byte comes well within the limit (even on a loaded machine),
        // the whole reply well after it.
        {"drips below the limit", Misbehaviour::kDrip, Call::kSession, 0, 600, kNoCancel, kNone},
        {"stalls in the reply", Misbehaviour::kStall, Call::kSession, 0, 300, kNoCancel, kTimedOut},
        {"full accept queue", Misbehaviour::kFullQueue, Call::kLogin, 300, 0, kNoCancel,
         kConnectTimedOut},
        {"cancelled connecting", Misbehaviour::kFullQueue, Call::kDirect, 0, 0, 300, kCancelled},
        {"cancelled in the negotiation", Misbehaviour::kSilent, Call::kLogin, 0, 0, 300,
         kCancelled},
        {"cancelled sending", Misbehaviour::kSilent, Call::kLargeSession, 0, 0, 300, kCancelled},
        {"cancelled receiving", Misbehaviour::kSilent, Call::kSession, 0, 0, 300, kCancelled},
        {"cancelled before it starts", Misbehaviour::kSilent, Call::kLogin, 5000, 5000, kPreset,
         kCancelled},
    };
    // Far more than the socket buffers of a peer that never reads hold.
    const std::string large(16u << 20, 'x');
    for (const Case& c : cases) {
        std::string record;
        {
            MisbehavingPeer peer(c.peer, ReplyFrame(ToBytes("ok")));
            ASSERT_NE(peer.Port(), 0) << c.name;
            record = WithPort(
                c.call == Call::kLogin ? FreshSession() : WithMadeUpSession(FreshSession()),
                peer.Port());
            const std::string before = record;
            int32_t cancel = c.cancelAfterMs == kPreset ? 1 : 0;
            const Limits limits{c.connectTimeoutMs, c.ioTimeoutMs, &cancel};
            std::thread canceller([&] {
                if (c.cancelAfterMs <= 0) return;
                std::this_thread::sleep_for(milliseconds(c.cancelAfterMs));
                __atomic_store_n(&cancel, 1, __ATOMIC_RELEASE);
            });

            const auto start = std::chrono::steady_clock::now();
            const std::string& arguments = c.call == Call::kLargeSession ? large : c.name;
            const Outcome outcome =
                c.call == Call::kDirect
                    ? Direct(OptionsAt(peer.Port()), 20, arguments, 1, 1, limits)
                    : Persistent(record, c.call == Call::kLogin ? 1 : 20, arguments, 1, 1, 0,
                                 limits);
            const auto elapsed = std::chrono::steady_clock::now() - start;
            canceller.join();

            EXPECT_EQ(outcome.Message(), c.expected) << c.name;
            EXPECT_EQ(outcome.Answer(), c.expected == kNone ? "ok" : "<null>") << c.name;
            EXPECT_EQ(record, before) << c.name;
            const uint32_t limit = c.cancelAfterMs > 0 ? static_cast<uint32_t>(c.cancelAfterMs)
                                                       : c.connectTimeoutMs + c.ioTimeoutMs;
            // Preparing the large request takes seconds of its own under
            // valgrind and the sanitizers; the allowance makes room for that.
            const uint32_t allowance = kSanitizedBuild || UnderValgrind() ? 10000 : 2000;
            EXPECT_LE(elapsed, milliseconds(limit + allowance)) << c.name;
            if (c.cancelAfterMs == kPreset) {
                EXPECT_EQ(peer.Accepted(), 0) << c.name;
            }
        }
        ExpectNoDescriptorLeft(c.name);
    }
}
