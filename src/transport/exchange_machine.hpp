// One exchange with the server as a machine that never waits: each Advance
// does what can be done now (connecting, the key negotiation, building and
// sending the request, receiving and decoding the answer) and says what it
// waits for next. The blocking calls and the caller's own event loop drive
// the same machine.
#pragma once

#include <cstdint>
#include <optional>

#include "crypto/session_key.hpp"
#include "error_codes.hpp"
#include "transport/connect_step.hpp"
#include "transport/exchange.hpp"
#include "transport/frame_decoder.hpp"
#include "transport/key_negotiation.hpp"
#include "transport/response_assembly.hpp"
#include "transport/wire_payload.hpp"

namespace zv {

enum class Wait {
    kRead,   // until Descriptor() is readable
    kWrite,  // until Descriptor() is writable
    kNone,   // work is left that can go on at once
    kDone,
};

// What one exchange sends where. The strings must stay in place while the
// machine runs.
struct ExchangeRequest {
    const char* host = nullptr;
    uint16_t port = 0;
    RequestSettings settings;
    const char* payload = nullptr;  // ISO-8859-15, zero-terminated
    uint32_t connectTimeoutMs = 0;
    uint32_t ioTimeoutMs = 0;
    // The caller's event loop waits on Descriptor() even while work is left
    // (kNone): a descriptor that is always ready is then made for it.
    bool loopWaitsOnDescriptor = false;
};

class ExchangeMachine {
public:
    // key and sessionId as SendRequest takes them; they, status and response
    // must outlive the machine.
    ExchangeMachine(const ExchangeRequest& request, std::optional<SessionKey>& key,
                    SessionIdBytes& sessionId, OperationStatus& status,
                    Response& response) noexcept;
    ~ExchangeMachine();
    ExchangeMachine(const ExchangeMachine&) = delete;
    ExchangeMachine& operator=(const ExchangeMachine&) = delete;

    // ready: the caller saw Descriptor() ready for the event it was asked
    // to wait for. On kDone, status holds the outcome and response the
    // answer; everything is closed.
    Wait Advance(bool ready) noexcept;
    // The descriptor to watch, kNoSocket when there is none.
    NativeSocket Descriptor() const noexcept;
    // When the limit of the current wait falls due; none without a limit.
    Deadline NextDeadline() const noexcept;
    // Ends the exchange with code (the caller's cancellation: 408), closing
    // everything at once.
    void Stop(uint32_t code) noexcept;
    // The caller could not wait on Descriptor() at all: the step waiting on
    // it fails as a broken connection would.
    void WaitFailed() noexcept;
    bool Done() const noexcept { return phase_ == Phase::kDone; }

private:
    enum class Phase {
        kStart,
        kConnect,
        kNegotiationSend,
        kNegotiationReceive,
        kBuild,
        kSend,
        kReceive,
        kAssemble,
        kDone,
    };
    // Each step returns what to wait for, or nothing when the next phase
    // can go on at once.
    using Step = std::optional<Wait>;
    Step Connect(bool ready) noexcept;
    Step SendNegotiation() noexcept;
    Step ReceiveNegotiation() noexcept;
    Step Build() noexcept;
    Step Send() noexcept;
    Step Receive() noexcept;
    Step Assemble() noexcept;
    void BeginConnect() noexcept;
    Wait Finish(uint32_t code) noexcept;
    // Moves bytes of the current frame, clearing the I/O deadline when bytes
    // moved. True once the frame is complete or failed; false while it waits
    // for more, because the socket has none yet or because this poll's
    // budget is spent (the limit then runs as for any wait).
    bool ReceiveInto(FrameDecoder& frame) noexcept;
    Wait WaitFor(Wait wait) noexcept;
    void CloseSocket() noexcept;

    ExchangeRequest request_;
    std::optional<SessionKey>& key_;
    SessionIdBytes& sessionId_;
    OperationStatus& status_;
    Response& response_;

    Phase phase_ = Phase::kStart;
    bool negotiating_ = false;
    bool holdsSocketsLayer_ = false;
    AddressList addresses_;
    ConnectStep connect_;
    NativeSocket socket_ = kNoSocket;
    Deadline ioDeadline_;
    std::size_t budget_ = 0;
    RequestHeaderBytes header_{};
    std::size_t sent_ = 0;
    bool negotiationSendFailed_ = false;
    // Why the request did not go out whole: reported unless the server's
    // own text arrives all the same.
    uint32_t sendFailure_ = kNoError;
    std::optional<FrameDecoder> frame_;
    WirePayload wire_;
    std::optional<ResponseAssembly> assembly_;
    // For kNone when the caller's loop waits on a descriptor: writable at once.
    NativeSocket alwaysReady_ = kNoSocket;
    NativeSocket alwaysReadyOther_ = kNoSocket;
};

}  // namespace zv
