// The reference server fixture, with the process's descriptors counted: a
// test may check after any case that everything an operation opened is
// closed again, and every test checks it once more when the server is gone.
// Also the mix of operations that the stress and stability runs repeat.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iterator>
#include <memory>
#include <string>
#include <thread>

#include "strings/strings.hpp"
#include "support/server_fixture.hpp"
#include "transport/session_id.hpp"

namespace zvtest {

// Whether a sanitizer slows every call down many times over (the build
// defines ZVTEST_SANITIZED then): long runs do fewer rounds.
#ifdef ZVTEST_SANITIZED
inline constexpr bool kSanitizedBuild = true;
#else
inline constexpr bool kSanitizedBuild = false;
#endif

// Whether valgrind runs this process: it preloads its own helpers.
inline bool UnderValgrind() {
    const char* preload = std::getenv("LD_PRELOAD");
    return preload != nullptr && std::string(preload).find("vgpreload") != std::string::npos;
}

// The entries of /proc/self/fd, less the one the listing itself opens.
inline std::size_t OpenDescriptorCount() {
    const std::filesystem::directory_iterator listing("/proc/self/fd");
    return static_cast<std::size_t>(std::distance(begin(listing), end(listing))) - 1;
}

// The in-process server closes its end of a connection on its own thread,
// just after the client has read the reply: wait (boundedly) for the count to
// come down to expected, then return it.
inline std::size_t SettledDescriptorCount(std::size_t expected) {
    std::size_t count = OpenDescriptorCount();
    for (int i = 0; i < 500 && count > expected; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        count = OpenDescriptorCount();
    }
    return count;
}

// The count once it has stopped changing: a server just started may still be
// closing a descriptor of its start-up (at most two seconds).
inline std::size_t StableDescriptorCount() {
    std::size_t count = OpenDescriptorCount();
    for (int i = 0; i < 40; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        const std::size_t next = OpenDescriptorCount();
        if (next == count) break;
        count = next;
    }
    return count;
}

class ReliabilityTest : public ServerTest {
protected:
    void SetUp() override {
        withoutServer_ = OpenDescriptorCount();
        ServerTest::SetUp();
        withServer_ = StableDescriptorCount();
    }
    void TearDown() override {
        ServerTest::TearDown();
        EXPECT_EQ(OpenDescriptorCount(), withoutServer_);
    }

    // Once the server has closed its ends, the count is what it was with the
    // server idle: the client kept nothing open.
    void ExpectNoDescriptorLeft(const std::string& which) {
        EXPECT_EQ(SettledDescriptorCount(withServer_), withServer_) << which;
    }

    // A connection-info record that holds a session on the server.
    std::string LoggedInRecord() {
        std::string record = FreshSession();
        const Outcome login = Persistent(record, 1, "");
        EXPECT_EQ(login.Message(), "<null>");
        return record;
    }

private:
    std::size_t withoutServer_ = 0;
    std::size_t withServer_ = 0;
};

// The record with its port item (2) replaced.
inline std::string WithPort(const std::string& record, int port) {
    const std::string text = std::to_string(port);
    return Text(OwnedText(ZvChangeConnectionInfo(record.c_str(), 2, text.c_str())));
}

// The record with a session of the client's own making: a fresh identifier
// and a key of 32 'k', which no server knows.
inline std::string WithMadeUpSession(std::string record) {
    const zv::CString id(zv::NewSessionId());
    record = Text(OwnedText(ZvChangeConnectionInfo(record.c_str(), 9, id.get())));
    return Text(
        OwnedText(ZvChangeConnectionInfo(record.c_str(), 10, std::string(32, 'k').c_str())));
}

// The servers a mix runs against: one that serves, one that answers with
// wrong checksums, one that refuses every negotiation with "Refused".
struct MixServers {
    using Server = std::unique_ptr<zv::server::ReferenceServer>;
    using enum zv::server::FaultKind;

    static Server Start(zv::server::FaultKind negotiation, zv::server::FaultKind response) {
        zv::server::ServerOptions options;
        options.faults.negotiation = {negotiation, "Refused"};
        options.faults.response.kind = response;
        auto server = std::make_unique<zv::server::ReferenceServer>(options);
        return server->Start() ? std::move(server) : nullptr;
    }

    Server serving = Start(kNone, kNone);
    Server spoiling = Start(kNone, kWrongChecksum);
    Server refusing = Start(kRefuse, kNone);

    bool Started() const { return serving && spoiling && refusing; }
};

// One caller's run of successes and failures of every kind, with now and then
// a logout and a new login. The tags are the caller's own, so that an answer
// that came back to another caller cannot pass for the right one. Counts the
// operations that did not end as they should into wrong.
inline void RunMix(int caller, int operations, const MixServers& servers, std::atomic<int>& wrong) {
    const auto check = [&](bool ok, const std::string& what) {
        if (!ok && wrong++ < 10) std::fprintf(stderr, "caller %d: %s\n", caller, what.c_str());
    };
    const std::string options = OptionsAt(servers.serving->Port());
    const std::string refusing = OptionsAt(servers.refusing->Port());
    const std::string spoiling = OptionsAt(servers.spoiling->Port());
    std::string record = Text(OwnedText(ZvCreateConnectionInfo(options.c_str(), 0)));
    std::string unknownSession = WithMadeUpSession(record);
    const auto login = [&] {
        const Outcome outcome = Persistent(record, 1, "t" + std::to_string(caller));
        check(outcome.Message() == "<null>", "login: " + outcome.Message());
    };
    login();
    for (int i = 0; i < operations; ++i) {
        const std::string tag = "t" + std::to_string(caller) + "-" + std::to_string(i);
        std::string expected = tag;
        const char* expectedFailure = nullptr;
        Outcome outcome;
        switch (i % 8) {
            case 0:
            case 4:
                outcome = Direct(options, 20, tag);
                break;
            case 1:
                outcome = Direct(refusing, 20, tag);
                expectedFailure = "Refused";
                break;
            case 2:
                outcome = Direct(spoiling, 20, tag);
                expectedFailure = "C405: Checksum error";
                break;
            case 3:
                outcome = Persistent(unknownSession, 20, tag);
                expectedFailure = "Unknown session";
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
                if (i % 64 == 7) {
                    outcome = Persistent(record, 8, tag);
                    check(outcome.Item("ARGUMENTS") == tag, "logout " + tag);
                    login();
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
            continue;
        }
        check(outcome.Message() == "<null>", tag + ": " + outcome.Message());
        check(outcome.Item("ARGUMENTS") == expected,
              tag + " answered with " + outcome.Item("ARGUMENTS"));
        if (i % 8 != 0 && i % 8 != 4) {
            check(outcome.Item("SESSION_ID") == RecordItem(record, 9), tag + " session id");
        }
    }
    const Outcome logout = Persistent(record, 8, "bye");
    check(logout.Message() == "<null>", "logout: " + logout.Message());
}

}  // namespace zvtest
