// A reference server on an ephemeral loopback port for the length of a test,
// and helpers for the records and keyed answers the tests exchange with it.
// The server runs in-process, or, where ZORVAT_EXTERNAL_TEST_SERVER is
// defined (the Windows build), in a process of its own that ctest starts; the
// tests see the same interface either way.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "support/owned_results.hpp"
#include "zorvat.h"

#ifdef ZORVAT_EXTERNAL_TEST_SERVER
#include "support/external_server.hpp"
#else
#include "reference_server.hpp"
#endif

namespace zvtest {

#ifdef ZORVAT_EXTERNAL_TEST_SERVER
using TestServer = ExternalServer;
using TestServerOptions = ExternalServer::Options;
#else
using TestServer = zv::server::ReferenceServer;
using TestServerOptions = zv::server::ServerOptions;
#endif

// Credential options whose items all differ, so that a field that went to the
// wrong place shows; here for a server at port.
inline std::string OptionsAt(int port) {
    return Text(OwnedText(ZvCreateCredentialOptionsPlugin("127.0.0.1", "ACCT", port, "user", "pw",
                                                          "five", "six", "plug")));
}

class ServerTest : public ::testing::Test {
protected:
    void SetUp() override { Restart({}); }
    void TearDown() override { server_->Stop(); }

    // Replaces the server by one started with options of the test's choosing.
    void Restart(TestServerOptions options) {
        if (server_) server_->Stop();
        server_ = std::make_unique<TestServer>(std::move(options));
        ASSERT_TRUE(server_->Start()) << server_->Error();
    }

    TestServer& Server() { return *server_; }

    // The server counts an exchange once its reply is out, which may be just
    // after the client has read it: wait (boundedly) for the count to arrive.
    uint64_t ExchangesSince(uint64_t before, uint64_t expected) {
        for (int i = 0; i < 500 && server_->ExchangeCount() - before < expected; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return server_->ExchangeCount() - before;
    }
    int Port() const { return server_->Port(); }

    std::string Options() const { return OptionsAt(Port()); }
    std::string FreshSession() const {
        return Text(OwnedText(ZvCreateConnectionInfo(Options().c_str(), 0)));
    }

private:
    std::unique_ptr<TestServer> server_;
};

// The outcome of one operation call, owned.
struct Outcome {
    OwnedText answer;
    OwnedText message;

    std::string Answer() const { return answer ? answer.get() : "<null>"; }
    std::string Message() const { return message ? message.get() : "<null>"; }
    // The value a keyed answer lists under name, or "<missing>".
    std::string Item(const char* name) const {
        if (!answer) return "<no answer>";
        OwnedText value(ZvExtractData(answer.get(), name, 0x1C, 0xFE));
        return value ? value.get() : "<missing>";
    }
};

// The last three arguments of the WithTimeouts entry points. A call without
// them goes through the original entry points.
struct Limits {
    uint32_t connectTimeoutMs = 0;
    uint32_t ioTimeoutMs = 0;
    const int32_t* cancelFlag = nullptr;
};

inline Outcome Direct(const std::string& options, uint8_t code, const std::string& arguments,
                      uint8_t inputFormat = 1, uint8_t outputFormat = 1,
                      const std::optional<Limits>& limits = std::nullopt) {
    char* message = nullptr;
    char* answer =
        limits ? ZvExecuteDirectOperationWithTimeouts(
                     &message, options.c_str(), code, arguments.c_str(), inputFormat, outputFormat,
                     0, limits->connectTimeoutMs, limits->ioTimeoutMs, limits->cancelFlag)
               : ZvExecuteDirectOperation(&message, options.c_str(), code, arguments.c_str(),
                                          inputFormat, outputFormat, 0);
    return {OwnedText(answer), OwnedText(message)};
}

// Runs a persistent operation on record, which a successful login replaces.
inline Outcome Persistent(std::string& record, uint8_t code, const std::string& arguments,
                          uint8_t inputFormat = 1, uint8_t outputFormat = 1,
                          uint32_t reservedValue = 0,
                          const std::optional<Limits>& limits = std::nullopt) {
    char* current = record.data();
    char* message = nullptr;
    char* answer =
        limits
            ? ZvExecutePersistentOperationWithTimeouts(
                  &message, &current, code, arguments.c_str(), inputFormat, outputFormat,
                  reservedValue, limits->connectTimeoutMs, limits->ioTimeoutMs, limits->cancelFlag)
            : ZvExecutePersistentOperation(&message, &current, code, arguments.c_str(), inputFormat,
                                           outputFormat, reservedValue);
    if (current != record.data()) {
        record = current;
        ZvFreeMemory(current);
    }
    return {OwnedText(answer), OwnedText(message)};
}

inline std::string RecordItem(const std::string& record, uint32_t index) {
    return Text(OwnedText(ZvExtractDataFromConnectionInfo(record.c_str(), index)));
}

}  // namespace zvtest
