// What the caller sees when the server or the network misbehaves, end to end
// through the exported functions: the exact message, no answer, the caller's
// record as it was, and no descriptor left open; or, when the server is only
// slow, the answer. With time limits, a peer that keeps the client waiting in
// any phase of an operation gives the timeout or cancellation message within
// the limit (generously).
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "strings/strings.hpp"
#include "support/loopback_port.hpp"
#include "support/reliability_fixture.hpp"
#include "support/scripted_peer.hpp"
#include "transport/socket_seam.hpp"
#include "transport/text_conversion.hpp"

using namespace zvtest;
using std::chrono::milliseconds;
using zv::server::FaultKind;
using zv::server::FaultPlan;

namespace {

constexpr std::size_t kHeader = 23;
constexpr std::size_t kKey = 32;
constexpr std::size_t kChecksum = 16;

// The messages of a reply cut short in its header, payload and checksum.
const char* const kNegotiationShort[] = {
    "C351: Encrypt negociation. Not received all bytes of header response",
    "C353: Encrypt negociation. Not received all bytes of data response response",
    "C354: Encrypt negociation. Not received all bytes of data checksum response"};
const char* const kResponseShort[] = {"C401: Not received all bytes of header response",
                                      "C403: Not received all bytes of data response response",
                                      "C404: Not received all bytes of data checksum response"};

// The bytes of the encrypted reply that carries answer: UTF-8, padded to
// whole blocks with at least one byte of padding.
std::size_t EncryptedAnswerSize(const std::string& answer) {
    const zv::CString utf8(zv::Iso885915ToUtf8(answer.c_str()));
    return (std::strlen(utf8.get()) / 16 + 1) * 16;
}

enum class Call { kDirect, kLogin, kSession, kLargeSession };

constexpr const char* kConnectTimedOut = "C105: Timed out connecting to server";
constexpr const char* kTimedOut = "C407: Timed out waiting for the server";
constexpr const char* kCancelled = "C408: Operation cancelled";
constexpr const char* kNone = "<null>";
constexpr int kPreset = 0;
constexpr int kNoCancel = -1;

}  // namespace

using FaultMatrix = ReliabilityTest;

TEST_F(FaultMatrix, ServerClosingAtEveryByteOfEitherReply) {
    // The answers are the same length on every call, so a fault-free call of
    // each kind tells how long the reply is.
    const std::string options = Options();
    const Outcome direct = Direct(options, 2, "");
    ASSERT_EQ(direct.Message(), "<null>");
    std::string loggedIn = FreshSession();
    const Outcome login = Persistent(loggedIn, 1, "");
    ASSERT_EQ(login.Message(), "<null>");

    for (const bool negotiation : {true, false}) {
        for (const bool isLogin : {false, true}) {
            const char* const* cutShort = negotiation ? kNegotiationShort : kResponseShort;
            const std::size_t payload =
                negotiation ? kKey : EncryptedAnswerSize((isLogin ? login : direct).Answer());
            const std::size_t total = kHeader + payload + kChecksum;
            for (std::size_t sent = 0; sent <= total; ++sent) {
                const char* expected = sent < kHeader             ? cutShort[0]
                                       : sent < kHeader + payload ? cutShort[1]
                                       : sent < total             ? cutShort[2]
                                                                  : "<null>";
                // Only the first sent bytes of the reply go out, then the server closes.
                FaultPlan plan;
                (negotiation ? plan.negotiation : plan.response) = {
                    sent == 0 ? FaultKind::kNoReply : FaultKind::kCloseAfter, "",
                    static_cast<uint32_t>(sent)};
                Server().SetFaults(plan);
                const std::string at = std::string(negotiation ? "negotiation" : "response") +
                                       (isLogin ? " of a login" : " of a direct operation") +
                                       " closed after " + std::to_string(sent) + " bytes";

                std::string record = FreshSession();
                const std::string before = record;
                const Outcome outcome =
                    isLogin ? Persistent(record, 1, "") : Direct(options, 2, "");
                EXPECT_EQ(outcome.Message(), expected) << at;
                if (sent < total) {
                    EXPECT_EQ(outcome.Answer(), "<null>") << at;
                    EXPECT_EQ(record, before) << at;
                } else {
                    // The whole reply, closed at its end, is an ordinary answer.
                    EXPECT_EQ(outcome.Item("OPERATION"), isLogin ? "1" : "2") << at;
                    EXPECT_EQ(record != before, isLogin) << at;  // a login stores its session
                }
                ExpectNoDescriptorLeft(at);
            }
        }
    }
}

TEST_F(FaultMatrix, PeersThatResetTheConnection) {
    // SIGPIPE keeps its default disposition, which would end this process if
    // the library let a send on the reset connection raise it.
    const auto previous = std::signal(SIGPIPE, SIG_DFL);
    const std::string sendFailed = "C311: Not sent all bytes of command data. WSA error code: ";
    struct Case {
        const char* name;
        uint8_t code;  // 0: a direct operation
        bool resetWhileSending;
        std::vector<std::string> expected;  // any of them
        bool refuseUnread = false;
    };
    const Case cases[] = {
        // The listener never accepts and closes, which resets the connection
        // waiting in its backlog, once the client waits for a reply.
        {"direct, never accepted", 0, false, {kNegotiationShort[0]}},
        {"login, never accepted", 1, false, {kNegotiationShort[0]}},
        {"session, never accepted", 20, false, {kResponseShort[0]}},
        // The peer reads the request header, then closes with a zero linger
        // time while the payload is on its way. The first failed send reports
        // the reset, a later one the broken pipe.
        {"session, reset while sending",
         20,
         true,
         {sendFailed + std::to_string(ECONNRESET), sendFailed + std::to_string(EPIPE)}},
        // A busy server refuses a newcomer without reading its request and
        // resets the connection: its words still reach the caller.
        {"login, refused unread", 1, false, {"Too many connections; try again later"}, true},
        {"session, refused unread", 20, false, {"Too many connections; try again later"}, true},
    };
    // Far more than the socket buffers of both ends hold, so that the reset
    // meets the client in the middle of its send.
    const std::string large(32u << 20, 'x');
    for (const Case& c : cases) {
        int port = 0;
        const int listener = ListenOnLoopback(8, port);
        ASSERT_GE(listener, 0);
        std::thread peer([&] {
            if (c.refuseUnread) {
                const int connection = accept(listener, nullptr, nullptr);
                pollfd request{connection, POLLIN, 0};
                poll(&request, 1, 10000);
                const Bytes refusal = ReplyFrame(ToBytes(c.expected[0]), 255);
                send(connection, refusal.data(), refusal.size(), MSG_NOSIGNAL);
                const linger reset{1, 0};
                setsockopt(connection, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
                close(connection);
            } else if (c.resetWhileSending) {
                const int connection = accept(listener, nullptr, nullptr);
                uint8_t header[30];
                zv::ReceiveExactly(connection, header, sizeof header);
                const linger reset{1, 0};
                setsockopt(connection, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
                close(connection);
            } else {
                pollfd pending{listener, POLLIN, 0};
                poll(&pending, 1, 10000);
                std::this_thread::sleep_for(milliseconds(200));
            }
            close(listener);
        });
        // Any session will do: the request is never read.
        std::string record =
            WithPort(c.code == 20 ? WithMadeUpSession(FreshSession()) : FreshSession(), port);
        const std::string before = record;
        const Outcome outcome =
            c.code == 0
                ? Direct(OptionsAt(port), 2, "")
                : Persistent(record, c.code, c.resetWhileSending || c.refuseUnread ? large : "x");
        peer.join();
        EXPECT_THAT(c.expected, ::testing::Contains(outcome.Message())) << c.name;
        EXPECT_EQ(outcome.Answer(), "<null>") << c.name;
        EXPECT_EQ(record, before) << c.name;
        ExpectNoDescriptorLeft(c.name);
    }
    std::signal(SIGPIPE, previous);
}

TEST_F(FaultMatrix, SpoiledOrDrippingRepliesInEveryKindOfOperation) {
    struct Case {
        FaultKind negotiation;
        FaultKind response;
        const char* text;
        const char* expected;
        const char* direct = nullptr;  // when a direct operation fares otherwise
    };
    const char* const shortKey = "C357: Encrypt negociation. Invalid session key";
    const Case cases[] = {
        {FaultKind::kWrongChecksum, FaultKind::kNone, "",
         "C355: Encrypt negociation. Checksum error"},
        {FaultKind::kRefuse, FaultKind::kNone, "Too many users", "Too many users"},
        {FaultKind::kShortKey, FaultKind::kNone, "", shortKey},
        // A key holding 0x00 and 0x1C cannot be stored in a record; a direct
        // operation keeps its key to itself and takes it.
        {FaultKind::kUnstorableKey, FaultKind::kNone, "", shortKey, "<null>"},
        {FaultKind::kNone, FaultKind::kWrongChecksum, "", "C405: Checksum error"},
        {FaultKind::kNone, FaultKind::kBadPadding, "", "C406: Invalid encrypted data"},
        {FaultKind::kNone, FaultKind::kWrongLength, "", "C406: Invalid encrypted data"},
        {FaultKind::kNone, FaultKind::kHugeLength, "", kResponseShort[1]},
        // The server's error text arrives converted to ISO-8859-15.
        {FaultKind::kNone, FaultKind::kErrorFlag, "Fichier verrouill\xE9 \xA4",
         "Fichier verrouill\xE9 \xA4"},
        // Both replies a few bytes at a time, milliseconds apart: slow, not spoiled.
        {FaultKind::kFragmented, FaultKind::kFragmented, "", "<null>"},
        // Both replies held back, as a busy database would: late, not lost.
        {FaultKind::kDelay, FaultKind::kDelay, "", "<null>"},
    };
    std::string loggedIn = LoggedInRecord();
    for (const Case& c : cases) {
        FaultPlan plan;
        plan.negotiation = {c.negotiation, c.text};
        plan.response = {c.response, c.text};
        Server().SetFaults(plan);
        const bool negotiating = c.negotiation != FaultKind::kNone;
        const std::string direct = c.direct != nullptr ? c.direct : c.expected;
        const Outcome outcome = Direct(Options(), 20, "d");
        EXPECT_EQ(outcome.Message(), direct);
        EXPECT_EQ(outcome.Item("ARGUMENTS"), direct == kNone ? "d" : "<no answer>") << c.expected;

        std::string record = FreshSession();
        const std::string before = record;
        EXPECT_EQ(Persistent(record, 1, "").Message(), c.expected);
        EXPECT_EQ(record == before, c.expected != std::string(kNone)) << c.expected;

        // Session operations never negotiate, so only response faults reach them.
        const std::string sessionBefore = loggedIn;
        const std::string sessionExpected = negotiating ? kNone : c.expected;
        const Outcome session = Persistent(loggedIn, 20, "s");
        EXPECT_EQ(session.Message(), sessionExpected);
        EXPECT_EQ(session.Item("ARGUMENTS"), sessionExpected == kNone ? "s" : "<no answer>");
        EXPECT_EQ(loggedIn, sessionBefore);
        ExpectNoDescriptorLeft(c.expected);
    }
}

using WaitLimits = ReliabilityTest;

TEST_F(WaitLimits, EveryPhaseOfAnOperationIsBoundedAndCancellable) {
    using enum Misbehaviour;
    using enum Call;
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
        {"mute in the negotiation", kSilent, kLogin, 0, 300, kNoCancel, kTimedOut},
        {"mute in the exchange", kSilent, kSession, 0, 300, kNoCancel, kTimedOut},
        {"never reads a large request", kSilent, kLargeSession, 0, 300, kNoCancel, kTimedOut},
        // Each byte comes well within the limit (even on a loaded machine),
        // the whole reply well after it.
        {"drips below the limit", kDrip, kSession, 0, 600, kNoCancel, kNone},
        {"stalls in the reply", kStall, kSession, 0, 300, kNoCancel, kTimedOut},
        {"full accept queue", kFullQueue, kLogin, 300, 0, kNoCancel, kConnectTimedOut},
        {"cancelled connecting", kFullQueue, kDirect, 0, 0, 300, kCancelled},
        {"cancelled in the negotiation", kSilent, kLogin, 0, 0, 300, kCancelled},
        {"cancelled sending", kSilent, kLargeSession, 0, 0, 300, kCancelled},
        {"cancelled receiving", kSilent, kSession, 0, 0, 300, kCancelled},
        {"cancelled before it starts", kSilent, kLogin, 5000, 5000, kPreset, kCancelled},
    };
    // Far more than the socket buffers of a peer that never reads hold.
    const std::string large(16u << 20, 'x');
    for (const Case& c : cases) {
        std::string record;
        {
            MisbehavingPeer peer(c.peer, ReplyFrame(ToBytes("ok")));
            ASSERT_NE(peer.Port(), 0) << c.name;
            record = WithPort(c.call == kLogin ? FreshSession() : WithMadeUpSession(FreshSession()),
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
            const std::string& arguments = c.call == kLargeSession ? large : c.name;
            const Outcome outcome =
                c.call == kDirect
                    ? Direct(OptionsAt(peer.Port()), 20, arguments, 1, 1, limits)
                    : Persistent(record, c.call == kLogin ? 1 : 20, arguments, 1, 1, 0, limits);
            const auto elapsed = std::chrono::steady_clock::now() - start;
            canceller.join();

            EXPECT_EQ(outcome.Message(), c.expected) << c.name;
            EXPECT_EQ(outcome.Answer(), c.expected == kNone ? "ok" : "<null>") << c.name;
            EXPECT_EQ(record, before) << c.name;
            const uint32_t limit = c.cancelAfterMs > 0 ? static_cast<uint32_t>(c.cancelAfterMs)
                                                       : c.connectTimeoutMs + c.ioTimeoutMs;
            // A served call takes as long as its peer; a failed one ends within
            // its limit. Preparing the large request takes seconds of its own
            // under valgrind and the sanitizers; the allowance makes room for that.
            const uint32_t allowance = kSanitizedBuild || UnderValgrind() ? 10000 : 2000;
            if (c.expected != kNone) {
                EXPECT_LE(elapsed, milliseconds(limit + allowance)) << c.name;
            }
            if (c.cancelAfterMs == kPreset) {
                EXPECT_EQ(peer.Accepted(), 0) << c.name;
            }
        }
        ExpectNoDescriptorLeft(c.name);
    }
}
