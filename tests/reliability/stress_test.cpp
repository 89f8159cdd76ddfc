// 64 threads at once against one server, each running a mix of direct and
// session operations and failures: every answer must belong to its own
// request, and one thread's failures never reach another thread's messages.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "reliability_fixture.hpp"
#include "sanitizer_build.hpp"

using namespace zvtest;
using zv::server::FaultKind;

namespace {

constexpr int kThreads = 64;
// Under a sanitizer each operation costs many times more; the mix is the same.
constexpr int kOperationsPerThread = kSanitizedBuild ? 100 : 1000;

// A second server whose every response carries a wrong checksum, so that
// failures travel the network like successes do.
class SpoilingServer {
public:
    SpoilingServer() : server_(zv::server::ServerOptions{}) {
        zv::server::FaultPlan plan;
        plan.response.kind = FaultKind::kWrongChecksum;
        server_.SetFaults(plan);
        started_ = server_.Start();
    }
    bool Started() const { return started_; }
    int Port() const { return server_.Port(); }

private:
    zv::server::ReferenceServer server_;
    bool started_ = false;
};

struct Tally {
    std::atomic<int> succeeded{0};
    std::atomic<int> failedAsExpected{0};
    std::atomic<int> wrong{0};
};

// One thread's run. Its operations carry tags no other thread uses, so an
// answer that came back to the wrong caller cannot pass for the right one.
void RunMix(int thread, const std::string& options, const std::string& spoilingOptions,
            const std::string& freshSession, Tally& tally) {
    const std::string badPort = OptionsAt(0);
    std::string record = freshSession;
    const auto check = [&](bool ok, const std::string& what) {
        if (ok) return;
        if (tally.wrong++ < 10) std::fprintf(stderr, "thread %d: %s\n", thread, what.c_str());
    };
    const auto login = [&] {
        const Outcome outcome = Persistent(record, 1, "t" + std::to_string(thread));
        check(outcome.Message() == "<null>", "login: " + outcome.Message());
    };
    login();
    for (int i = 0; i < kOperationsPerThread; ++i) {
        const std::string tag = "t" + std::to_string(thread) + "-" + std::to_string(i);
        Outcome outcome;
        const char* expectedFailure = nullptr;
        switch (i % 8) {
            case 0:
            case 4:
                outcome = Direct(options, 20, tag);
                break;
            case 1:
            case 3:
            case 6:
                outcome = Persistent(record, 20, tag);
                break;
            case 2:
                outcome = Direct(spoilingOptions, 20, tag);
                expectedFailure = "C405: Checksum error";
                break;
            case 5:
                outcome = Direct(badPort, 20, tag);
                expectedFailure = "C030: Invalid PORT number";
                break;
            case 7:
                // A new session now and then, so that logins and logouts
                // run among the other threads' operations.
                if (i % 64 == 7) {
                    outcome = Persistent(record, 8, tag);
                    check(outcome.Item("ARGUMENTS") == tag, "logout " + tag);
                    login();
                    ++tally.succeeded;
                    continue;
                }
                outcome = Persistent(record, 20, tag, 1, 1);
                break;
        }
        if (expectedFailure != nullptr) {
            check(outcome.Message() == expectedFailure && outcome.Answer() == "<null>",
                  tag + ": " + outcome.Message());
            ++tally.failedAsExpected;
            continue;
        }
        check(outcome.Message() == "<null>", tag + ": " + outcome.Message());
        check(outcome.Item("ARGUMENTS") == tag,
              tag + " answered with " + outcome.Item("ARGUMENTS"));
        check(outcome.Item("OPERATION") == "20", tag + " operation " + outcome.Item("OPERATION"));
        if (i % 8 != 0 && i % 8 != 4) {
            check(outcome.Item("SESSION_ID") == RecordItem(record, 9), tag + " session id");
        }
        ++tally.succeeded;
    }
    const Outcome logout = Persistent(record, 8, "bye");
    check(logout.Message() == "<null>", "logout: " + logout.Message());
}

}  // namespace

using Stress = ReliabilityTest;

TEST_F(Stress, SixtyFourThreadsOfMixedOperations) {
    Tally tally;
    {
        SpoilingServer spoiling;
        ASSERT_TRUE(spoiling.Started());
        const std::string options = Options();
        const std::string spoilingOptions = OptionsAt(spoiling.Port());
        const std::string freshSession = FreshSession();
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; ++t) {
            threads.emplace_back(RunMix, t, std::cref(options), std::cref(spoilingOptions),
                                 std::cref(freshSession), std::ref(tally));
        }
        for (auto& thread : threads) thread.join();
    }

    EXPECT_EQ(tally.wrong.load(), 0);
    // Per eight operations: two failures (a spoiled reply, a bad port).
    EXPECT_EQ(tally.failedAsExpected.load(), kThreads * kOperationsPerThread / 4);
    EXPECT_EQ(tally.succeeded.load(), kThreads * kOperationsPerThread * 3 / 4);
    EXPECT_EQ(Server().Keys().SessionCount(), 0u);
    RecordProperty("operations", kThreads * kOperationsPerThread);
    ExpectNoDescriptorLeft("stress");
}
