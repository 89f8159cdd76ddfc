// A reference server running in another process, seen through the same
// interface as the in-process one: for test programs that cannot hold the
// server themselves (the Windows programs under Wine use a server running
// natively). The ctest fixture that starts the server writes its ports into
// the file named by ZORVAT_TEST_SERVER; the exchange count travels through
// the server's control port (see tools/server/control_channel.hpp).
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>

#include "transport/connection.hpp"

namespace zvtest {

class ExternalServer {
public:
    struct Options {};  // the server runs as ctest started it
    explicit ExternalServer(Options) {}

    // Reads where the server is, clears its faults and waits for the
    // exchanges of earlier tests to be counted. False, with Error() telling
    // why, when the server cannot be reached.
    bool Start() {
        const char* file = std::getenv("ZORVAT_TEST_SERVER");
        if (file == nullptr) return Fail("ZORVAT_TEST_SERVER names no server file");
        std::ifstream ports(file);
        if (!(ports >> port_ >> controlPort_)) {
            return Fail(std::string("no ports in ") + file);
        }
        if (Command("faults") != "ok") return false;
        // An exchange is counted just after its reply is out: let the count
        // of the previous test come to rest.
        std::string count = Command("exchanges");
        for (int i = 0; i < 50; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            const std::string again = Command("exchanges");
            if (again == count) break;
            count = again;
        }
        return error_.empty();
    }
    void Stop() { Command("faults"); }

    uint16_t Port() const { return port_; }
    const std::string& Error() const { return error_; }

    uint64_t ExchangeCount() { return std::strtoull(Command("exchanges").c_str(), nullptr, 10); }

private:
    bool Fail(std::string why) {
        error_ = std::move(why);
        return false;
    }

    // One command to the control port on a connection of its own; the reply
    // without its line end.
    std::string Command(const std::string& command) {
        uint32_t code = 0;
        zv::Connection connection = zv::Connection::Open("127.0.0.1", controlPort_, code);
        if (code != 0) {
            Fail("control port " + std::to_string(controlPort_) + ": no connection");
            return {};
        }
        const std::string line = command + "\n";
        connection.SendAll(reinterpret_cast<const uint8_t*>(line.data()), line.size());
        connection.ShutdownSending();
        std::string answer;
        uint8_t byte = 0;
        while (connection.ReceiveExactly(&byte, 1) == 1 && byte != '\n') {
            answer += static_cast<char>(byte);
        }
        return answer;
    }

    uint16_t port_ = 0;
    uint16_t controlPort_ = 0;
    std::string error_;
};

}  // namespace zvtest
