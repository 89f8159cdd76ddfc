// The reference server fixture, with the process's descriptors counted: a
// test may check after any case that everything an operation opened is
// closed again, and every test checks it once more when the server is gone.
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <string>

#include "descriptors.hpp"
#include "strings/strings.hpp"
#include "support/server_fixture.hpp"
#include "transport/session_id.hpp"

namespace zvtest {

class ReliabilityTest : public ServerTest {
protected:
    void SetUp() override {
        withoutServer_ = OpenDescriptorCount();
        ServerTest::SetUp();
        withServer_ = OpenDescriptorCount();
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
