#include "transport/connect_step.hpp"

#include <utility>

#include "error_codes.hpp"
#include "transport/socket_platform.hpp"

namespace zv {
namespace {

bool Passed(const Deadline& deadline) noexcept {
    return deadline && SteadyClock::now() >= *deadline;
}

}  // namespace

void ConnectStep::Begin(const char* host, uint16_t port, uint32_t timeoutMs,
                        AddressList& addresses) noexcept {
    Close();
    host_ = host;
    port_ = port;
    addresses_ = &addresses;
    deadline_ = DeadlineAfter(timeoutMs);
    next_ = 0;
    attempted_ = timedOut_ = resolving_ = false;
    code_ = kNoError;
}

ConnectStep::Result ConnectStep::Fail(uint32_t code) noexcept {
    Close();
    code_ = code;
    return Result::kFailed;
}

ConnectStep::Result ConnectStep::Advance(bool ready) noexcept {
    if (code_ != kNoError) return Result::kFailed;
    if (addresses_->empty()) {
        // Some resolvers read an empty name as this machine; it names no server.
        if (host_ == nullptr || *host_ == '\0') return Fail(kUnresolvedHost);
        if (!resolving_) {
            if (ResolveNumeric(host_, port_, *addresses_)) {
                if (addresses_->empty()) return Fail(kUnresolvedHost);
            } else {
                if (const uint32_t code = resolution_.Start(host_, port_)) return Fail(code);
                resolving_ = true;
            }
        }
        if (resolving_) {
            uint32_t code = kNoError;
            if (!resolution_.Collect(code, *addresses_)) {
                return Passed(deadline_) ? Fail(kConnectTimedOut) : Result::kWantsRead;
            }
            resolving_ = false;
            if (code != kNoError) return Fail(code);
            ready = false;
        }
    }
    return TryAddresses(ready);
}

ConnectStep::Result ConnectStep::TryAddresses(bool ready) noexcept {
    for (;;) {
        if (candidate_ != kNoSocket) {
            // A connect under way, asked how it stands before any wait: on
            // loopback it is mostly done by the time connect returns.
            const ResolvedAddress& entry = (*addresses_)[next_ - 1];
            switch (ContinueConnect(candidate_,
                                    reinterpret_cast<const sockaddr*>(entry.address.data()),
                                    static_cast<socklen_t>(entry.length), ready)) {
                case ConnectStart::kConnected:
                    return Result::kConnected;
                case ConnectStart::kInProgress:
                    if (!Passed(deadline_)) return Result::kWantsWrite;
                    // An address that ran out of time leaves none for the
                    // next ones, which fail at once: the budget covers them all.
                    timedOut_ = true;
                    break;
                case ConnectStart::kFailed:
                    break;
            }
            CloseSocket(std::exchange(candidate_, kNoSocket));
            ready = false;
        }
        if (next_ >= addresses_->size()) break;
        const ResolvedAddress& entry = (*addresses_)[next_++];
        addrinfo family{};
        family.ai_family = entry.family;
        family.ai_socktype = entry.socketType;
        family.ai_protocol = entry.protocol;
        // A family the machine cannot use moves on to the next address.
        const NativeSocket socket = OpenStreamSocket(family);
        if (socket == kNoSocket) continue;
        attempted_ = true;
        candidate_ = socket;
        switch (StartConnect(socket, reinterpret_cast<const sockaddr*>(entry.address.data()),
                             static_cast<socklen_t>(entry.length))) {
            case ConnectStart::kConnected:
                return Result::kConnected;
            case ConnectStart::kInProgress:
                continue;  // asked again at once, above
            case ConnectStart::kFailed:
                break;
        }
        CloseSocket(std::exchange(candidate_, kNoSocket));
    }
    if (timedOut_) return Fail(kConnectTimedOut);
    return Fail(attempted_ ? kConnectFailed : kSocketFailed);
}

NativeSocket ConnectStep::Descriptor() const noexcept {
    return resolving_ ? resolution_.Descriptor() : candidate_;
}

NativeSocket ConnectStep::TakeSocket() noexcept { return std::exchange(candidate_, kNoSocket); }

void ConnectStep::DropCandidate() noexcept {
    if (candidate_ != kNoSocket) CloseSocket(std::exchange(candidate_, kNoSocket));
}

void ConnectStep::Close() noexcept {
    resolution_.Abandon();
    resolving_ = false;
    if (candidate_ != kNoSocket) CloseSocket(std::exchange(candidate_, kNoSocket));
}

}  // namespace zv
