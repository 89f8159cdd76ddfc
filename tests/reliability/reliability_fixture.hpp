// The reference server fixture, with the process's descriptors counted: a
// test may check after any case that everything an operation opened is
// closed again, and every test checks it once more when the server is gone.
#pragma once

#include <dirent.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstddef>
#include <cstdlib>
#include <string>
#include <thread>

#include "strings/strings.hpp"
#include "support/server_fixture.hpp"
#include "transport/session_id.hpp"

// Whether a sanitizer slows every call down many times over: long runs then
// do fewer rounds.
#if defined(__SANITIZE_THREAD__) || defined(__SANITIZE_ADDRESS__)
#define ZVTEST_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer) || __has_feature(address_sanitizer)
#define ZVTEST_SANITIZED 1
#endif
#endif

namespace zvtest {

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
    DIR* listing = opendir("/proc/self/fd");
    if (listing == nullptr) return 0;
    std::size_t count = 0;
    while (const dirent* entry = readdir(listing)) {
        if (entry->d_name[0] != '.') ++count;
    }
    closedir(listing);
    return count - 1;
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

}  // namespace zvtest
