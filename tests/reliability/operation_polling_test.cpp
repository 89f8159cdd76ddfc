// The operations that an event loop drives, driven here on one thread with
// poll(2): what they answer, the descriptors they hand out (which change from
// connection to connection), their time limits, and cancellation by Finish at
// any moment with nothing left open.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <iterator>
#include <set>
#include <string>
#include <thread>

#include "support/reliability_fixture.hpp"
#include "support/scripted_peer.hpp"

using namespace zvtest;

namespace {

// What a driven operation gave, and the local ports of the sockets it asked
// to be watched.
struct Driven {
    Outcome outcome;
    std::string newRecord = "<untouched>";
    std::set<int> localPorts;
};

// Polls op until it is done or stop (given the polls so far and the ports
// seen) says to finish it early, waiting on its socket and timeout between.
Driven Drive(ZvOperation* op, const std::function<bool(int, std::size_t)>& stop = {}) {
    Driven driven;
    int32_t wanted = ZV_OPERATION_DONE;
    for (int polls = 0; !(stop && stop(polls, driven.localPorts.size())); ++polls) {
        wanted = ZvPollOperation(op);
        if (wanted == ZV_OPERATION_DONE) break;
        const int socket = static_cast<int>(ZvGetOperationSocket(op));
        sockaddr_in6 local{};
        socklen_t length = sizeof local;
        if (getsockname(socket, reinterpret_cast<sockaddr*>(&local), &length) == 0 &&
            local.sin6_port != 0) {
            driven.localPorts.insert(local.sin6_port);
        }
        const uint32_t timeout = ZvGetOperationTimeout(op);
        pollfd ready{socket,
                     static_cast<short>(wanted == ZV_OPERATION_WANTS_READ ? POLLIN : POLLOUT), 0};
        // A test that finishes early looks again at least every 100 ms.
        const int wait = timeout == 0xFFFFFFFF ? -1 : static_cast<int>(timeout);
        poll(&ready, 1, stop && (wait < 0 || wait > 100) ? 100 : wait);
    }
    char* message = nullptr;
    char* record = nullptr;
    driven.outcome.answer.reset(ZvFinishOperation(op, &message, &record));
    driven.outcome.message.reset(message);
    if (record != nullptr) driven.newRecord = Text(OwnedText(record));
    return driven;
}

// A negotiation reply in a few pieces, so that no poll sees it whole and the
// operation is seen on each of its connections.
zv::server::Fault SlowNegotiation() {
    return {zv::server::FaultKind::kFragmented, "", 16, 1, std::chrono::milliseconds(10)};
}

std::size_t ThreadCount() {
    const std::filesystem::directory_iterator tasks("/proc/self/task");
    return static_cast<std::size_t>(std::distance(begin(tasks), end(tasks)));
}

}  // namespace

using OperationPolling = ReliabilityTest;

TEST_F(OperationPolling, DirectAndSessionOperationsRunToTheirAnswers) {
    const std::size_t threads = ThreadCount();
    zv::server::FaultPlan plan;
    plan.negotiation = SlowNegotiation();
    Server().SetFaults(plan);
    const Driven direct =
        Drive(ZvStartDirectOperation(Options().c_str(), 20, "d\xA4", 1, 1, 0, 0, 0));
    EXPECT_EQ(direct.outcome.Item("ARGUMENTS"), "d\xA4");
    // The negotiation and the request each have a connection of their own.
    EXPECT_EQ(direct.localPorts.size(), 2u);
    EXPECT_EQ(direct.newRecord, "<untouched>");
    // A numeric address never goes to the resolver, so no thread is started.
    EXPECT_EQ(ThreadCount(), threads);

    const std::string fresh = FreshSession();
    const Driven login = Drive(ZvStartPersistentOperation(fresh.c_str(), 1, "", 1, 1, 0, 0, 0));
    ASSERT_EQ(login.outcome.Message(), "<null>");
    ASSERT_NE(login.newRecord, "<untouched>");
    // By name, through the resolver's threads.
    const std::string byName =
        Text(OwnedText(ZvChangeConnectionInfo(login.newRecord.c_str(), 0, "localhost")));
    const Driven session =
        Drive(ZvStartPersistentOperation(byName.c_str(), 20, "s", 1, 1, 0, 0, 0));
    EXPECT_EQ(session.outcome.Item("SESSION_ID"), RecordItem(login.newRecord, 9));
    EXPECT_EQ(session.newRecord, "<untouched>");

    // A fault in the record comes out of Finish once Poll has said it is done.
    EXPECT_EQ(Drive(ZvStartDirectOperation("bad", 20, "", 1, 1, 0, 0, 0)).outcome.Message(),
              "C031: Error in CredentialOptions: Expected 8 items");
    EXPECT_EQ(ZvPollOperation(nullptr), ZV_OPERATION_DONE);
    EXPECT_EQ(ZvGetOperationSocket(nullptr), -1);
    std::string marker = "set";
    char* message = marker.data();
    EXPECT_EQ(ZvFinishOperation(nullptr, &message, nullptr), nullptr);
    EXPECT_EQ(message, nullptr);
    ExpectNoDescriptorLeft("answered");
}

TEST_F(OperationPolling, FinishingEarlyCancelsAtOnceAtAnyMoment) {
    zv::server::FaultPlan slowAnswer;
    slowAnswer.negotiation = SlowNegotiation();
    slowAnswer.response = {zv::server::FaultKind::kFragmented, "", 1, 1,
                           std::chrono::milliseconds(20)};
    Server().SetFaults(slowAnswer);
    const std::string byName =
        Text(OwnedText(ZvCreateCredentialOptions("localhost", "a", Port(), "u", "p", "", "")));
    struct Case {
        const char* name;
        std::string options;  // empty: a peer that never answers
        std::function<bool(int, std::size_t)> stop;
    };
    const Case cases[] = {
        {"before the first poll", Options(), [](int, std::size_t) { return true; }},
        {"resolving a name", byName, [](int polls, std::size_t) { return polls == 1; }},
        {"in the negotiation", "", [](int polls, std::size_t) { return polls == 3; }},
        {"in the answer", Options(),
         [seen = 0](int, std::size_t ports) mutable { return ports == 2 && ++seen > 3; }},
        {"a faulty record before its poll", "bad", [](int, std::size_t) { return true; }},
    };
    for (const Case& c : cases) {
        {
            MisbehavingPeer mute(Misbehaviour::kSilent, {});
            const std::string options = c.options.empty() ? OptionsAt(mute.Port()) : c.options;
            const Driven driven =
                Drive(ZvStartDirectOperation(options.c_str(), 20, c.name, 1, 1, 0, 0, 0), c.stop);
            EXPECT_EQ(driven.outcome.Message(), "C408: Operation cancelled") << c.name;
            EXPECT_EQ(driven.outcome.Answer(), "<null>") << c.name;
        }
        ExpectNoDescriptorLeft(c.name);
    }
}

TEST_F(OperationPolling, TheTimeoutCountsDownToTheNextLimit) {
    {
        MisbehavingPeer queueFull(Misbehaviour::kFullQueue, {});
        ASSERT_NE(queueFull.Port(), 0);
        ZvOperation* op =
            ZvStartDirectOperation(OptionsAt(queueFull.Port()).c_str(), 20, "", 1, 1, 0, 400, 0);
        EXPECT_EQ(ZvPollOperation(op), ZV_OPERATION_WANTS_WRITE);
        const uint32_t first = ZvGetOperationTimeout(op);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        const uint32_t later = ZvGetOperationTimeout(op);
        EXPECT_GT(first, 300u);
        EXPECT_LE(first, 400u);
        EXPECT_LT(later, first - 50);
        EXPECT_EQ(Drive(op).outcome.Message(), "C105: Timed out connecting to server");

        MisbehavingPeer mute(Misbehaviour::kSilent, {});
        op = ZvStartDirectOperation(OptionsAt(mute.Port()).c_str(), 20, "", 1, 1, 0, 0, 0);
        EXPECT_EQ(ZvGetOperationTimeout(op), 0xFFFFFFFFu);  // no limit, polled or not
        while (ZvPollOperation(op) != ZV_OPERATION_WANTS_READ) {
        }
        EXPECT_EQ(ZvGetOperationTimeout(op), 0xFFFFFFFFu);
        EXPECT_EQ(Drive(op, [](int, std::size_t) { return true; }).outcome.Message(),
                  "C408: Operation cancelled");
    }
    ExpectNoDescriptorLeft("limits");
}
