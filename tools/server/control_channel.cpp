#include "control_channel.hpp"

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <utility>

#include "fault_flags.hpp"

namespace zv::server {
namespace {

// A command longer than this is no command of ours.
constexpr std::size_t kLongestCommand = 4096;
// The whole command must arrive within this: a client that connects and
// then sends a byte now and then must not hold the door shut either.
constexpr auto kCommandPatience = std::chrono::seconds(5);

std::string ReadCommand(NativeSocket socket) {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + kCommandPatience;
    std::string command;
    char chunk[512];
    while (command.size() < kLongestCommand && command.find('\n') == std::string::npos) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        pollfd readable{socket, POLLIN, 0};
        if (left.count() <= 0 || poll(&readable, 1, static_cast<int>(left.count()) + 1) == 0) break;
        const ssize_t count = recv(socket, chunk, sizeof chunk, MSG_DONTWAIT);
        if (count < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        if (count <= 0) break;
        command.append(chunk, static_cast<std::size_t>(count));
    }
    command = command.substr(0, command.find('\n'));
    if (!command.empty() && command.back() == '\r') command.pop_back();
    return command;
}

}  // namespace

std::string RunControlCommand(ReferenceServer& server, std::string_view command) {
    if (command == "exchanges") return std::to_string(server.ExchangeCount());
    constexpr std::string_view kFaults = "faults";
    if (command.substr(0, kFaults.size()) != kFaults ||
        (command.size() > kFaults.size() && command[kFaults.size()] != '\t')) {
        return "error: unknown command '" + std::string(command) + "'";
    }
    FaultPlan plan;
    std::string_view flags = command.substr(kFaults.size());
    while (!flags.empty()) {
        flags.remove_prefix(1);  // the tab
        const std::string_view flag = flags.substr(0, flags.find('\t'));
        flags.remove_prefix(flag.size());
        std::string error;
        if (!ParseFaultFlag(flag, plan, error)) return "error: " + error;
    }
    server.SetFaults(plan);
    return "ok";
}

bool ControlChannel::Start(uint16_t port) {
    const int candidate = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (candidate < 0) {
        error_ = std::string("control socket: ") + std::strerror(errno);
        return false;
    }
    const int on = 1;
    setsockopt(candidate, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    socklen_t length = sizeof address;
    if (bind(candidate, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        listen(candidate, 16) != 0 ||
        getsockname(candidate, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        error_ = std::string("cannot listen for control on 127.0.0.1: ") + std::strerror(errno);
        close(candidate);
        return false;
    }
    listener_ = candidate;
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { ServeCommands(); });
    return true;
}

void ControlChannel::Stop() {
    if (thread_.joinable()) {
        stopping_ = true;
        thread_.join();
    }
    if (listener_ != kNoSocket) close(std::exchange(listener_, kNoSocket));
}

void ControlChannel::ServeCommands() {
    while (!stopping_) {
        // Commands are rare and quick: one at a time, checking for a stop
        // between waits.
        pollfd pending{listener_, POLLIN, 0};
        if (poll(&pending, 1, 100) <= 0) continue;
        const int client = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0) continue;
        // The answer is one short line: the send buffer takes it at once.
        timeval patience{5, 0};
        setsockopt(client, SOL_SOCKET, SO_SNDTIMEO, &patience, sizeof patience);
        const std::string answer = RunControlCommand(server_, ReadCommand(client)) + "\n";
        send(client, answer.data(), answer.size(), MSG_NOSIGNAL);
        close(client);
    }
}

}  // namespace zv::server
