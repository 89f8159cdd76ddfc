// Many threads at once against one server: every answer belongs to its own
// request, and one thread's failures never show in another's messages.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "support/server_fixture.hpp"

using namespace zvtest;

using OperationsConcurrently = ServerTest;

TEST_F(OperationsConcurrently, EveryAnswerMatchesItsRequest) {
    constexpr int kThreads = 32;
    constexpr int kOperationsPerThread = 50;
    const std::string options = Options();
    const std::string badPort = std::string("127.0.0.1") + R("|a|0|b|c|d|e|");
    std::atomic<int> mismatches{0};
    std::atomic<int> completed{0};

    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            std::string record = FreshSession();
            if (!Persistent(record, 1, "").message) ++completed;
            for (int i = 0; i < kOperationsPerThread; ++i) {
                const std::string tag = "t" + std::to_string(t) + "-" + std::to_string(i);
                Outcome outcome;
                std::string expected = tag;
                switch (i % 4) {
                    case 0:
                        outcome = Direct(options, 20, tag);
                        break;
                    case 1:
                        outcome = Persistent(record, 20, tag);
                        break;
                    case 2:
                        outcome = Persistent(record, 7, R("x^") + tag, 1, 3);
                        expected = R("x^JSON");
                        break;
                    case 3:
                        // A failure in this thread, while others succeed.
                        outcome = Direct(badPort, 20, tag);
                        if (outcome.Message() != "C030: Invalid PORT number") ++mismatches;
                        continue;
                }
                if (outcome.Item("ARGUMENTS") != expected) ++mismatches;
                if (i % 4 != 0 && outcome.Item("SESSION_ID") != RecordItem(record, 9)) {
                    ++mismatches;
                }
                ++completed;
            }
            if (Persistent(record, 8, "").message) ++mismatches;
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(mismatches.load(), 0);
    int succeedingPerThread = 1;  // the login
    for (int i = 0; i < kOperationsPerThread; ++i) succeedingPerThread += i % 4 != 3;
    EXPECT_EQ(completed.load(), kThreads * succeedingPerThread);
}
