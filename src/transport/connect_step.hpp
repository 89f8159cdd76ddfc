// Connecting without waiting: the addresses of a host are found (at once for
// a numeric one, on a resolver thread for a name), then tried in order until
// one accepts, each step taken when the caller's loop says its descriptor is
// ready, all within the connect limit.
#pragma once

#include <cstdint>

#include "transport/name_resolution.hpp"
#include "transport/socket_seam.hpp"

namespace zv {

class ConnectStep {
public:
    enum class Result { kWantsRead, kWantsWrite, kConnected, kFailed };

    ConnectStep() noexcept = default;
    ~ConnectStep() { Close(); }
    ConnectStep(const ConnectStep&) = delete;
    ConnectStep& operator=(const ConnectStep&) = delete;

    // Starts on host (which must stay in place) and port within timeoutMs (0:
    // no limit). addresses is where the host's addresses are kept: when it
    // already holds them (found for an earlier connection of the same
    // operation) the resolver is not asked again.
    void Begin(const char* host, uint16_t port, uint32_t timeoutMs,
               AddressList& addresses) noexcept;
    // Goes on as far as it can without waiting. ready: the caller knows the
    // descriptor it was last given to be ready for its event.
    Result Advance(bool ready) noexcept;

    // The descriptor to watch: the resolver's wake-up or the socket whose
    // connect is under way.
    NativeSocket Descriptor() const noexcept;
    const Deadline& ConnectDeadline() const noexcept { return deadline_; }
    // On kFailed: 50, 101 to 105 as ConnectToHost gives them.
    uint32_t Code() const noexcept { return code_; }
    // On kConnected: the connected socket, now the caller's.
    NativeSocket TakeSocket() noexcept;
    // The connect under way is given up as failed; the next Advance goes on
    // with the next address.
    void DropCandidate() noexcept;
    // Closes whatever is open and drops a pending resolution.
    void Close() noexcept;

private:
    Result Fail(uint32_t code) noexcept;
    Result TryAddresses(bool ready) noexcept;

    const char* host_ = nullptr;
    uint16_t port_ = 0;
    AddressList* addresses_ = nullptr;
    Deadline deadline_;
    PendingResolution resolution_;
    bool resolving_ = false;
    std::size_t next_ = 0;
    NativeSocket candidate_ = kNoSocket;
    bool attempted_ = false;
    bool timedOut_ = false;
    uint32_t code_ = 0;
};

}  // namespace zv
