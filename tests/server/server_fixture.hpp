// The reference server in-process on an ephemeral loopback port, and the
// client's exchange run against it.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "reference_server.hpp"
#include "transport/exchange.hpp"
#include "zorvat.h"

namespace zvtest {

struct ExchangeResult {
    zv::OperationStatus status;
    zv::Response response;
    uint32_t receiveCode = 0;

    // The failure code of whichever step failed, 0 when both succeeded.
    uint32_t Code() const { return status.code != 0 ? status.code : receiveCode; }
    std::string Text() const { return response.text ? response.text.get() : "<none>"; }
    // The item that a keyed answer lists under name.
    std::string Item(const char* name) const {
        char* value = ZvExtractData(response.text.get(), name, 0x1C, 0xFE);
        std::string item = value != nullptr ? value : "<missing>";
        ZvFreeMemory(value);
        return item;
    }
};

// The four kinds of request as the operations layer sends them.
inline zv::RequestSettings Direct(uint8_t operationCode) {
    zv::RequestSettings settings;
    settings.operationCode = operationCode;
    settings.persistent = false;
    return settings;
}
inline zv::RequestSettings Login() {
    zv::RequestSettings settings;
    settings.operationCode = 1;
    settings.requireStorableKey = true;
    return settings;
}
inline zv::RequestSettings InSession(uint8_t operationCode) {
    zv::RequestSettings settings;
    settings.operationCode = operationCode;
    return settings;
}

class ServerTest : public ::testing::Test {
protected:
    void SetUp() override { StartServer(zv::server::ServerOptions{}); }
    void TearDown() override { server.reset(); }

    void StartServer(zv::server::ServerOptions options) {
        if (server) server->Stop();
        options.log = [this](const std::string& line) {
            const std::lock_guard lock(logMutex);
            logLines.push_back(line);
        };
        server = std::make_unique<zv::server::ReferenceServer>(std::move(options));
        ASSERT_TRUE(server->Start()) << server->Error();
    }

    void InjectNegotiationFault(zv::server::Fault fault) {
        zv::server::FaultPlan plan;
        plan.negotiation = std::move(fault);
        server->SetFaults(plan);
    }
    void InjectResponseFault(zv::server::Fault fault) {
        zv::server::FaultPlan plan;
        plan.response = std::move(fault);
        server->SetFaults(plan);
    }

    // One request and its response, as the operations layer runs them.
    ExchangeResult Exchange(const zv::RequestSettings& settings, const std::string& payload,
                            std::optional<zv::SessionKey>& key, zv::SessionIdBytes& sessionId) {
        ExchangeResult result;
        zv::Connection connection = zv::SendRequest(key, sessionId, "127.0.0.1", server->Port(),
                                                    settings, payload.c_str(), result.status);
        if (result.status.code == 0) {
            result.receiveCode =
                zv::ReceiveResponse(connection, result.response, key ? &*key : nullptr);
        }
        return result;
    }

    // A direct operation with its own fresh key.
    ExchangeResult DirectExchange(uint8_t operationCode, const std::string& payload) {
        std::optional<zv::SessionKey> key;
        zv::SessionIdBytes sessionId{};
        return Exchange(Direct(operationCode), payload, key, sessionId);
    }

    std::size_t LogLineCount() {
        const std::lock_guard lock(logMutex);
        return logLines.size();
    }

    // Declared before the server, which logs into them until it stops.
    std::mutex logMutex;
    std::vector<std::string> logLines;
    std::unique_ptr<zv::server::ReferenceServer> server;
};

}  // namespace zvtest
