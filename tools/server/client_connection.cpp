#include "client_connection.hpp"

#include <asio/post.hpp>
#include <asio/write.hpp>
#include <exception>
#include <utility>

namespace zv::server {
namespace {

// Working out an answer holds the request in up to this many forms at once
// (received, decrypted, converted, answered, encrypted, framed), each freed as
// the next is made: the budget is claimed for all of them.
constexpr std::size_t kWorkingCopies = 3;

std::string Seconds(std::chrono::seconds limit) { return std::to_string(limit.count()) + " s"; }

}  // namespace

ClientConnection::ClientConnection(asio::ip::tcp::socket socket, ServingContext& context)
    : socket_(std::move(socket)),
      context_(context),
      watchdog_(context.loop),
      pause_(context.loop),
      frame_(kRequestHeaderSize, context.options.limits.maxRequestPayload,
             // realloc moves large blocks by remapping pages, not by copying.
             // What it leaves behind is not wiped: operations travel
             // encrypted.
             ReceiveGrowth::kExtend),
      header_{} {}

ClientConnection::~ClientConnection() { context_.budget.Release(claimed_); }

template <typename Body>
void ClientConnection::Guarded(Body&& body) {
    if (closed_) return;
    try {
        body();
    } catch (const std::exception& failure) {
        // Out of memory, most likely: this client loses its answer, the
        // server goes on.
        context_.Log(std::string("exchange abandoned: ") + failure.what());
        Close();
    }
}

void ClientConnection::Run(Step step) {
    Guarded([&] { (this->*step)(); });
}

void ClientConnection::Start() {
    context_.open.insert(this);
    std::error_code ignored;
    socket_.set_option(asio::ip::tcp::no_delay(true), ignored);
    requestDeadline_ = Clock::now() + context_.options.limits.requestTimeout;
    Progress();
    ReadFrame();
}

void ClientConnection::Close() {
    if (closed_) return;
    closed_ = true;
    context_.open.erase(this);
    std::error_code ignored;
    watchdog_.cancel();
    pause_.cancel();
    socket_.shutdown(asio::socket_base::shutdown_both, ignored);
    socket_.close(ignored);
    frame_.Payload().Release();
}

std::string ClientConnection::RequestLine() const {
    return "request op=" + std::to_string(header_.operationCode) + " of " +
           std::to_string(header_.payloadLength) + " bytes";
}

void ClientConnection::ReadFrame() {
    if (const std::size_t growth = frame_.GrowthNeeded(); growth != 0) {
        if (!Claim(growth, &ClientConnection::ReadFrame)) return;
        if (!frame_.Grow()) return OnFrameFailure();
    }
    const std::span<uint8_t> room = frame_.Room();
    socket_.async_read_some(
        asio::buffer(room.data(), room.size()),
        [self = shared_from_this()](const std::error_code& error, std::size_t count) {
            self->Guarded([&] {
                if (error) {
                    const bool header = self->frame_.EndOfStream() == FrameFailure::kHeaderShort;
                    self->context_.Log(header ? "request header short; closed"
                                              : "request short; closed");
                    return self->Close();
                }
                self->Progress();
                self->OnFrameEvent(self->frame_.Advance(count));
            });
        });
}

void ClientConnection::OnFrameEvent(FrameEvent event) {
    switch (event) {
        case FrameEvent::kNeedBytes:
            return ReadFrame();
        case FrameEvent::kHeader:
            return OnHeader();
        case FrameEvent::kComplete:
            return Process();
        case FrameEvent::kFailed:
            return OnFrameFailure();
    }
}

void ClientConnection::OnHeader() {
    header_ = DecodeRequestHeader(frame_.Header().data());
    if (IsKeyNegotiation(header_)) {
        // Cheap enough for the loop itself: a few random bytes.
        requestDeadline_ = progressDeadline_ = Clock::time_point::max();
        Send(context_.protocol.Negotiate(header_, context_.faults().negotiation));
        return;
    }
    const std::size_t length = header_.payloadLength;
    if (!context_.budget.CouldEverClaim(kWorkingCopies * length, length)) {
        context_.Log(RequestLine() + " refused: more than the memory limit allows");
        return Close();
    }
    ReadFrame();
}

void ClientConnection::OnFrameFailure() {
    switch (frame_.Failure()) {
        case FrameFailure::kTooLarge:
            header_ = DecodeRequestHeader(frame_.Header().data());
            context_.Log(RequestLine() + " refused: the limit is " +
                         std::to_string(context_.options.limits.maxRequestPayload));
            return Close();
        case FrameFailure::kChecksumMismatch:
            // Answered with the server's text, not dropped.
            return Process();
        default:
            context_.Log("request dropped: out of memory for its payload");
            return Close();
    }
}

bool ClientConnection::Claim(std::size_t bytes, Step retry) {
    if (bytes == 0) return true;
    std::weak_ptr<ClientConnection> waiter = weak_from_this();
    asio::io_context& loop = context_.loop;
    const bool granted =
        context_.budget.ClaimOrWait(bytes, header_.payloadLength, [waiter, &loop, retry] {
            asio::post(loop, [waiter, retry] {
                if (const auto self = waiter.lock()) {
                    self->Progress();
                    self->Run(retry);
                }
            });
        });
    if (granted) {
        claimed_ += bytes;
    } else {
        // Waiting for memory is no lack of progress by the client; the
        // request deadline still bounds the wait.
        progressDeadline_ = Clock::time_point::max();
    }
    return granted;
}

void ClientConnection::Process() {
    const std::size_t whole = kWorkingCopies * std::size_t{header_.payloadLength};
    if (whole > claimed_ && !Claim(whole - claimed_, &ClientConnection::Process)) return;
    requestDeadline_ = progressDeadline_ = Clock::time_point::max();
    const Fault fault = context_.faults().response;
    context_.workers.Post([self = shared_from_this(), payload = std::move(frame_.Payload()),
                           matched = frame_.Failure() == FrameFailure::kNone, fault]() mutable {
        ExchangeOutcome outcome;
        try {
            outcome =
                self->context_.protocol.Answer(self->header_, std::move(payload), matched, fault);
        } catch (const std::exception& failure) {
            outcome.logLine = std::string("exchange abandoned: ") + failure.what();
        }
        // The connection goes back to the loop with its last reference, so
        // that it ends there and nowhere else.
        asio::io_context& loop = self->context_.loop;
        asio::post(loop, [self = std::move(self), outcome = std::move(outcome)]() mutable {
            self->Guarded([&] { self->Send(std::move(outcome)); });
        });
    });
}

void ClientConnection::Send(ExchangeOutcome outcome) {
    if (!outcome.dump.empty() && context_.options.dump) context_.options.dump(outcome.dump);
    context_.Log(outcome.logLine);
    ++context_.exchanges;
    reply_ = std::move(outcome.wire);
    // What the reply holds is all this connection still needs.
    if (claimed_ > reply_.bytes.size()) {
        context_.budget.Release(claimed_ - reply_.bytes.size());
        claimed_ = reply_.bytes.size();
    }
    replying_ = true;
    sent_ = 0;
    if (reply_.holdBack.count() == 0) {
        Progress();
        return SendRest();
    }
    // Standing in for a busy database: a timer, so that every other client
    // goes on meanwhile; the client is not idle while the server keeps it
    // waiting.
    progressDeadline_ = Clock::time_point::max();
    pause_.expires_after(reply_.holdBack);
    pause_.async_wait([self = shared_from_this()](const std::error_code& waited) {
        if (waited) return;
        self->Guarded([&] {
            self->Progress();
            self->SendRest();
        });
    });
}

void ClientConnection::SendRest() {
    if (sent_ >= reply_.bytes.size()) return Close();
    std::size_t size = reply_.bytes.size() - sent_;
    if (reply_.pieceSize != 0) {
        size = std::min(size, reply_.pieceSize - sent_ % reply_.pieceSize);
    }
    socket_.async_write_some(
        asio::buffer(reply_.bytes.data() + sent_, size),
        [self = shared_from_this()](const std::error_code& error, std::size_t count) {
            self->Guarded([&] {
                if (error) return self->Close();  // the client went away: nothing to tell
                self->Progress();
                self->sent_ += count;
                const WireReply& reply = self->reply_;
                const bool pieceDone = reply.pieceSize != 0 && self->sent_ % reply.pieceSize == 0;
                if (!pieceDone || self->sent_ >= reply.bytes.size()) return self->SendRest();
                self->pause_.expires_after(reply.delay);
                self->pause_.async_wait([self](const std::error_code& waited) {
                    if (!waited) self->Guarded([&] { self->SendRest(); });
                });
            });
        });
}

void ClientConnection::Progress() {
    progressDeadline_ = Clock::now() + context_.options.limits.idleTimeout;
    Watch();
}

void ClientConnection::Watch() {
    const Clock::time_point due = std::min(requestDeadline_, progressDeadline_);
    if (closed_ || due == Clock::time_point::max()) return;
    if (watching_ && due >= watchdog_.expiry()) return;
    watching_ = true;
    watchdog_.expires_at(due);
    watchdog_.async_wait([self = shared_from_this()](const std::error_code& error) {
        if (error != asio::error::operation_aborted) self->Guarded([&] { self->OnWatchdog(); });
    });
}

void ClientConnection::OnWatchdog() {
    watching_ = false;
    const Clock::time_point now = Clock::now();
    const ServerLimits& limits = context_.options.limits;
    if (now >= requestDeadline_) {
        context_.Log("request not complete within " + Seconds(limits.requestTimeout) + "; closed");
        return Close();
    }
    if (now >= progressDeadline_) {
        context_.Log(replying_
                         ? "reply not read within " + Seconds(limits.idleTimeout) + "; abandoned"
                         : "no request bytes for " + Seconds(limits.idleTimeout) + "; closed");
        return Close();
    }
    Watch();
}

}  // namespace zv::server
