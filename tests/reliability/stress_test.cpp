// 64 threads at once against one server, each running a mix of direct and
// session operations, translated arguments, logins, logouts and failures:
// every answer must belong to its own request, and one thread's failures
// never reach another thread's messages.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "reliability_fixture.hpp"

using namespace zvtest;

namespace {

constexpr int kThreads = 64;
// Under a sanitizer each operation costs many times more, and under valgrind
// (which runs one thread at a time) more still: there the environment
// variable ZVTEST_STRESS_OPERATIONS sets a smaller count. The mix is the same.
int OperationsPerThread() {
    if (const char* count = std::getenv("ZVTEST_STRESS_OPERATIONS")) return std::atoi(count);
    return kSanitizedBuild ? 100 : 1000;
}

struct Tally {
    std::atomic<int> succeeded{0};
    std::atomic<int> failedAsExpected{0};
    std::atomic<int> wrong{0};
};

// One thread's run. Its operations carry tags no other thread uses, so an
// answer that came back to the wrong caller cannot pass for the right one.
// Operations i % 8 == 2 and == 5 fail on purpose.
void RunMix(int thread, int operations, const std::string& options,
            const std::string& spoilingOptions, std::string record, Tally& tally) {
    const auto check = [&](bool ok, const std::string& what) {
        if (!ok && tally.wrong++ < 10)
            std::fprintf(stderr, "thread %d: %s\n", thread, what.c_str());
    };
    const auto login = [&] {
        const Outcome outcome = Persistent(record, 1, "t" + std::to_string(thread));
        check(outcome.Message() == "<null>", "login: " + outcome.Message());
    };
    login();
    for (int i = 0; i < operations; ++i) {
        const std::string tag = "t" + std::to_string(thread) + "-" + std::to_string(i);
        std::string expected = tag;
        const char* expectedFailure = nullptr;
        Outcome outcome;
        switch (i % 8) {
            case 0:
            case 4:
                outcome = Direct(options, 20, tag);
                break;
            case 2:
                // A server whose responses carry wrong checksums, so that
                // failures travel the network like successes do.
                outcome = Direct(spoilingOptions, 20, tag);
                expectedFailure = "C405: Checksum error";
                break;
            case 5:
                outcome = Direct(OptionsAt(0), 20, tag);
                expectedFailure = "C030: Invalid PORT number";
                break;
            case 6:
                // Argument 1 replaced by the name of the output format.
                outcome = Persistent(record, 7, tag + R("^x"), 1, 3);
                expected = tag + R("^JSON");
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
                [[fallthrough]];
            default:
                outcome = Persistent(record, 20, tag);
                break;
        }
        if (expectedFailure != nullptr) {
            check(outcome.Message() == expectedFailure && outcome.Answer() == "<null>",
                  tag + ": " + outcome.Message());
            ++tally.failedAsExpected;
            continue;
        }
        check(outcome.Message() == "<null>", tag + ": " + outcome.Message());
        check(outcome.Item("ARGUMENTS") == expected,
              tag + " answered with " + outcome.Item("ARGUMENTS"));
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
    const int operations = OperationsPerThread();
    ASSERT_GT(operations, 0);
    Tally tally;
    {
        zv::server::ReferenceServer spoiling{zv::server::ServerOptions{}};
        zv::server::FaultPlan plan;
        plan.response.kind = zv::server::FaultKind::kWrongChecksum;
        spoiling.SetFaults(plan);
        ASSERT_TRUE(spoiling.Start());
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; ++t) {
            threads.emplace_back(RunMix, t, operations, Options(), OptionsAt(spoiling.Port()),
                                 FreshSession(), std::ref(tally));
        }
        for (auto& thread : threads) thread.join();
    }

    EXPECT_EQ(tally.wrong.load(), 0);
    int failing = 0;
    for (int i = 0; i < operations; ++i) failing += i % 8 == 2 || i % 8 == 5;
    EXPECT_EQ(tally.failedAsExpected.load(), kThreads * failing);
    EXPECT_EQ(tally.succeeded.load(), kThreads * (operations - failing));
    EXPECT_EQ(Server().Keys().SessionCount(), 0u);
    RecordProperty("operations", kThreads * operations);
    ExpectNoDescriptorLeft("stress");
}
