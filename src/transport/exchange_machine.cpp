#include "transport/exchange_machine.hpp"

#include <algorithm>
#include <utility>

#include "transport/frame_reader.hpp"
#include "transport/socket_platform.hpp"

namespace zv {

ExchangeMachine::ExchangeMachine(const ExchangeRequest& request, std::optional<SessionKey>& key,
                                 SessionIdBytes& sessionId, OperationStatus& status,
                                 Response& response) noexcept
    : request_(request), key_(key), sessionId_(sessionId), status_(status), response_(response) {}

ExchangeMachine::~ExchangeMachine() { Stop(kCancelled); }

void ExchangeMachine::CloseSocket() noexcept {
    if (socket_ != kNoSocket) zv::CloseSocket(std::exchange(socket_, kNoSocket));
}

Wait ExchangeMachine::Finish(uint32_t code) noexcept {
    connect_.Close();
    CloseSocket();
    if (alwaysReady_ != kNoSocket) {
        CloseWakeChannel(std::exchange(alwaysReady_, kNoSocket),
                         std::exchange(alwaysReadyOther_, kNoSocket));
    }
    frame_.reset();
    assembly_.reset();
    if (std::exchange(holdsSocketsLayer_, false)) StopSocketsLayer();
    status_.code = code;
    phase_ = Phase::kDone;
    return Wait::kDone;
}

void ExchangeMachine::Stop(uint32_t code) noexcept {
    if (phase_ != Phase::kDone) Finish(code);
}

Wait ExchangeMachine::Advance(bool ready) noexcept {
    budget_ = kWorkSlice;
    if (phase_ == Phase::kStart) {
        status_.code = kNoError;
        if (!StartSocketsLayer()) return Finish(kSocketsLayerStartFailed);
        holdsSocketsLayer_ = true;
        negotiating_ = request_.settings.encrypt && !key_.has_value();
        BeginConnect();
        ready = false;
    }
    for (;;) {
        Step step;
        switch (phase_) {
            case Phase::kStart:
            case Phase::kDone:
                return Wait::kDone;
            case Phase::kConnect:
                step = Connect(ready);
                break;
            case Phase::kNegotiationSend:
                step = SendNegotiation();
                break;
            case Phase::kNegotiationReceive:
                step = ReceiveNegotiation();
                break;
            case Phase::kBuild:
                step = Build();
                break;
            case Phase::kSend:
                step = Send();
                break;
            case Phase::kReceive:
                step = Receive();
                break;
            case Phase::kAssemble:
                step = Assemble();
                break;
        }
        if (step == Wait::kNone && request_.loopWaitsOnDescriptor && alwaysReady_ == kNoSocket &&
            !OpenWakeChannel(alwaysReady_, alwaysReadyOther_)) {
            alwaysReady_ = alwaysReadyOther_ = kNoSocket;
        }
        if (step) return *step;
        // Readiness was seen for the descriptor of the step before.
        ready = false;
    }
}

void ExchangeMachine::BeginConnect() noexcept {
    connect_.Begin(request_.host, request_.port, request_.connectTimeoutMs, addresses_);
    phase_ = Phase::kConnect;
}

ExchangeMachine::Step ExchangeMachine::Connect(bool ready) noexcept {
    switch (connect_.Advance(ready)) {
        case ConnectStep::Result::kWantsRead:
            return Wait::kRead;
        case ConnectStep::Result::kWantsWrite:
            return Wait::kWrite;
        case ConnectStep::Result::kFailed:
            return Finish(connect_.Code());
        case ConnectStep::Result::kConnected:
            break;
    }
    socket_ = connect_.TakeSocket();
    ioDeadline_.reset();
    sent_ = 0;
    if (negotiating_) {
        header_ = NegotiationRequest(sessionId_);
        negotiationSendFailed_ = false;
        phase_ = Phase::kNegotiationSend;
        return std::nullopt;
    }
    if (!wire_.Begin(request_.payload, request_.settings.encrypt ? &*key_ : nullptr)) {
        return Finish(kNothingToSend);
    }
    phase_ = Phase::kBuild;
    return std::nullopt;
}

Wait ExchangeMachine::WaitFor(Wait wait) noexcept {
    // The limit runs from the first wait after bytes last moved.
    if (!ioDeadline_) {
        ioDeadline_ = DeadlineAfter(request_.ioTimeoutMs);
    } else if (SteadyClock::now() >= *ioDeadline_) {
        return Finish(kIoTimedOut);
    }
    return wait;
}

ExchangeMachine::Step ExchangeMachine::SendNegotiation() noexcept {
    while (sent_ < header_.size()) {
        const std::span<const uint8_t> rest(header_.data() + sent_, header_.size() - sent_);
        std::size_t moved = 0;
        int error = 0;
        switch (SendSome(socket_, ByteParts(&rest, 1), moved, error)) {
            case IoStep::kMoved:
                sent_ += moved;
                ioDeadline_.reset();
                continue;
            case IoStep::kWouldBlock:
                return WaitFor(Wait::kWrite);
            case IoStep::kEnded:
            case IoStep::kFailed:
                // A server that refuses may close before it reads: what it
                // said is still read, and only then is the send the failure.
                negotiationSendFailed_ = true;
                break;
        }
        break;
    }
    frame_.emplace(kResponseHeaderSize, kMaxNegotiationPayload, ReceiveGrowth::kCopyAndWipe);
    phase_ = Phase::kNegotiationReceive;
    return std::nullopt;
}

bool ExchangeMachine::ReceiveInto(FrameDecoder& frame) noexcept {
    for (;;) {
        if (frame.GrowthNeeded() != 0) frame.Grow();
        const std::span<uint8_t> room = frame.Room();
        if (room.empty()) return true;  // complete or failed
        if (budget_ == 0) return false;
        std::size_t moved = 0;
        switch (ReceiveSome(socket_, room.data(), room.size(), moved)) {
            case IoStep::kMoved:
                ioDeadline_.reset();
                budget_ -= std::min(budget_, moved);
                frame.Advance(moved);
                break;
            case IoStep::kWouldBlock:
                return false;
            case IoStep::kEnded:
            case IoStep::kFailed:
                frame.EndOfStream();
                return true;
        }
    }
}

ExchangeMachine::Step ExchangeMachine::ReceiveNegotiation() noexcept {
    if (!ReceiveInto(*frame_)) return WaitFor(Wait::kRead);
    const uint32_t frameCode = kNegotiationFrameCodes.For(frame_->Failure());
    const bool refused =
        frameCode == kNoError && DecodeResponseHeader(frame_->Header().data()).errorFlag != 0;
    if (negotiationSendFailed_ && !refused) return Finish(kNegotiationSendShort);
    if (frameCode != kNoError) return Finish(frameCode);
    const bool sendingClosed = !negotiationSendFailed_ && ShutdownSending(socket_);
    NegotiationReply reply;
    const uint32_t code = InterpretNegotiationReply(*frame_, sendingClosed, reply);
    frame_.reset();
    CloseSocket();
    if (code == kNegotiationRefused) {
        status_.serverErrorText = std::move(reply.refusalText);
        return Finish(code);
    }
    if (code != kNoError) return Finish(code);
    // The login keeps the key as record text, which cannot hold these bytes;
    // refusing here is better than a session whose key comes back mangled.
    if (request_.settings.requireStorableKey && !reply.key->IsStorableAsText()) {
        return Finish(kNegotiationInvalidKey);
    }
    key_ = reply.key;
    sessionId_ = reply.sessionId;
    negotiating_ = false;
    BeginConnect();
    return std::nullopt;
}

ExchangeMachine::Step ExchangeMachine::Build() noexcept {
    switch (wire_.Work(budget_)) {
        case WorkResult::kMore:
            return Wait::kNone;
        case WorkResult::kFailed:
            return Finish(kNothingToSend);
        case WorkResult::kDone:
            break;
    }
    if (wire_.Bytes().empty()) return Finish(kNothingToSend);
    RequestHeader header;
    header.payloadLength = static_cast<uint32_t>(wire_.Bytes().size());
    header.sessionId = sessionId_;
    header.operationCode = request_.settings.operationCode;
    header.inputFormat = request_.settings.inputFormat;
    header.outputFormat = request_.settings.outputFormat;
    header.sessionMode = request_.settings.persistent ? kSessionModePersistent : kSessionModeDirect;
    header.encrypted = request_.settings.encrypt ? 1 : 0;
    header_ = EncodeRequestHeader(header);
    sent_ = 0;
    phase_ = Phase::kSend;
    return std::nullopt;
}

ExchangeMachine::Step ExchangeMachine::Send() noexcept {
    const std::span<const uint8_t> parts[] = {header_, wire_.Bytes(), wire_.Checksum()};
    const std::size_t total = parts[0].size() + parts[1].size() + parts[2].size();
    while (sent_ < total) {
        // What is still to go: the parts not yet sent, the first one cut to
        // its unsent rest.
        std::span<const uint8_t> rest[3];
        std::size_t count = 0;
        std::size_t skip = sent_;
        for (const std::span<const uint8_t> part : parts) {
            if (skip >= part.size()) {
                skip -= part.size();
                continue;
            }
            rest[count++] = part.subspan(skip);
            skip = 0;
        }
        std::size_t moved = 0;
        int error = 0;
        switch (SendSome(socket_, ByteParts(rest, count), moved, error)) {
            case IoStep::kMoved:
                sent_ += moved;
                ioDeadline_.reset();
                // A peer that keeps taking could keep one poll sending a
                // large request whole: the socket is still writable after.
                budget_ -= std::min(budget_, moved);
                if (budget_ == 0 && sent_ < total) return WaitFor(Wait::kWrite);
                continue;
            case IoStep::kWouldBlock:
                return WaitFor(Wait::kWrite);
            case IoStep::kEnded:
            case IoStep::kFailed:
                break;
        }
        status_.lastSocketError = error != 0 ? error : -1;
        // The code names the first part that did not go out in full.
        if (sent_ < parts[0].size()) {
            sendFailure_ = kHeaderSendShort;
        } else if (sent_ < parts[0].size() + parts[1].size()) {
            sendFailure_ = kPayloadSendShort;
        } else {
            sendFailure_ = kChecksumSendShort;
        }
        break;
    }
    if (sendFailure_ == kNoError && !ShutdownSending(socket_)) sendFailure_ = kShutdownFailed;
    // Even when the request did not go out whole, a busy server may have
    // answered with its reason before it dropped the connection: that is
    // read first. A connection in that state ends at once, so nothing waits.
    // Growth by realloc: until it is decrypted, the block holds only what
    // crossed the network.
    frame_.emplace(kResponseHeaderSize, kNoPayloadBound, ReceiveGrowth::kExtend);
    phase_ = Phase::kReceive;
    return std::nullopt;
}

ExchangeMachine::Step ExchangeMachine::Receive() noexcept {
    if (!ReceiveInto(*frame_)) return WaitFor(Wait::kRead);
    if (sendFailure_ != kNoError &&
        (frame_->Failure() != FrameFailure::kNone ||
         DecodeResponseHeader(frame_->Header().data()).errorFlag != kErrorFlagServerText)) {
        return Finish(sendFailure_);
    }
    if (const uint32_t code = kResponseFrameCodes.For(frame_->Failure())) return Finish(code);
    CloseSocket();
    assembly_.emplace(*frame_, key_ ? &*key_ : nullptr);
    frame_.reset();
    phase_ = Phase::kAssemble;
    return std::nullopt;
}

ExchangeMachine::Step ExchangeMachine::Assemble() noexcept {
    switch (assembly_->Work(budget_, response_)) {
        case WorkResult::kMore:
            return Wait::kNone;
        case WorkResult::kFailed:
            return Finish(kInvalidEncryptedData);
        case WorkResult::kDone:
            break;
    }
    return Finish(kNoError);
}

void ExchangeMachine::WaitFailed() noexcept {
    switch (phase_) {
        case Phase::kConnect:
            // As a connect that failed; the next address is tried.
            connect_.DropCandidate();
            Advance(false);
            break;
        case Phase::kNegotiationSend:
            Finish(kNegotiationSendShort);
            break;
        case Phase::kNegotiationReceive:
        case Phase::kReceive:
            frame_->EndOfStream();
            Advance(false);
            break;
        case Phase::kSend:
            status_.lastSocketError = -1;
            Finish(sent_ < header_.size() ? kHeaderSendShort : kPayloadSendShort);
            break;
        default:
            break;
    }
}

NativeSocket ExchangeMachine::Descriptor() const noexcept {
    switch (phase_) {
        case Phase::kConnect:
            return connect_.Descriptor();
        case Phase::kNegotiationSend:
        case Phase::kNegotiationReceive:
        case Phase::kSend:
        case Phase::kReceive:
            return socket_;
        case Phase::kBuild:
        case Phase::kAssemble:
            return alwaysReady_;
        default:
            return kNoSocket;
    }
}

Deadline ExchangeMachine::NextDeadline() const noexcept {
    switch (phase_) {
        case Phase::kConnect:
            return connect_.ConnectDeadline();
        case Phase::kNegotiationSend:
        case Phase::kNegotiationReceive:
        case Phase::kSend:
        case Phase::kReceive:
            return ioDeadline_;
        default:
            return std::nullopt;
    }
}

}  // namespace zv
