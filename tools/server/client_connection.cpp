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

ClientConnection::ClientConnection(asio::ip::tcp::socket socket, asio::ip::address address,
                                   ServingContext& context)
    : socket_(std::move(socket)),
      address_(std::move(address)),
      context_(context),
      watchdog_(context.loop),
      pause_(context.loop),
      frame_(kRequestHeaderSize, context.options.limits.maxRequestPayload,
             // realloc moves large blocks by remapping pages, not by copying.
             // What it leaves behind is not wiped: operations travel
             // encrypted.
             ReceiveGrowth::kExtend),
      header_{} {}

ClientConnection::~ClientConnection() {
    // Every path closes first; should one not, the connection's place in the
    // counts must not outlive it.
    Close();
    context_.budget.Release(claimed_);
}

template <typename Body>
void ClientConnection::Guarded(Body&& body) {
    if (closed_) return;
    try {
        body();
    } catch (const std::exception& failure) {
        // Out of memory, most likely: this client loses its answer, the
        // server goes on.
        context_.LogTrouble("abandoned", std::string("exchange abandoned: ") + failure.what());
        Close();
    }
}

void ClientConnection::Run(Step step) {
    Guarded([&] { (this->*step)(); });
}

void ClientConnection::Start() {
    context_.open.insert(this);
    ++context_.openFrom[address_];
    counted_ = true;
    std::error_code ignored;
    socket_.set_option(asio::ip::tcp::no_delay(true), ignored);
    requestDeadline_ = Clock::now() + context_.options.limits.headerTimeout;
    Progress();
    ReadFrame();
}

void ClientConnection::Close() {
    if (closed_) return;
    closed_ = true;
    context_.open.erase(this);
    if (const auto from = context_.openFrom.find(address_);
        counted_ && from != context_.openFrom.end() && --from->second == 0) {
        context_.openFrom.erase(from);
    }
    std::error_code ignored;
    watchdog_.cancel();
    pause_.cancel();
    socket_.shutdown(asio::socket_base::shutdown_both, ignored);
    socket_.close(ignored);
    frame_.Payload().Release();
    // Last: a queued claim may hold the only reference to this connection,
    // which then ends inside Withdraw.
    if (queued_) context_.budget.Withdraw(*std::exchange(queued_, std::nullopt));
}

std::string ClientConnection::RequestLine() const {
    return "request op=" + std::to_string(header_.operationCode) + " of " +
           std::to_string(header_.payloadLength) + " bytes";
}

void ClientConnection::ReadFrame() {
    // The block never grows past the payload, which the admitted working set
    // covers several times over.
    if (frame_.GrowthNeeded() != 0 && !frame_.Grow()) return OnFrameFailure();
    const std::span<uint8_t> room = frame_.Room();
    socket_.async_read_some(
        asio::buffer(room.data(), room.size()),
        [self = shared_from_this()](const std::error_code& error, std::size_t count) {
            self->Guarded([&] {
                if (error) {
                    const bool header = self->frame_.EndOfStream() == FrameFailure::kHeaderShort;
                    self->context_.LogTrouble(
                        "short", header ? "request header short; closed" : "request short; closed");
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
    headerRead_ = true;
    if (IsKeyNegotiation(header_)) {
        // Cheap enough for the loop itself: a few random bytes.
        requestDeadline_ = progressDeadline_ = Clock::time_point::max();
        Send(context_.protocol.Negotiate(header_, context_.faults().negotiation));
        return;
    }
    const std::size_t length = header_.payloadLength;
    if (!context_.budget.CouldEverClaim(kWorkingCopies * length, length)) {
        context_.LogTrouble("too large",
                            RequestLine() + " refused: more than the memory limit allows");
        return Close();
    }
    Admit();
}

void ClientConnection::Admit() {
    const std::size_t whole = kWorkingCopies * std::size_t{header_.payloadLength};
    MemoryBudget::Ticket ticket = 0;
    asio::io_context& loop = context_.loop;
    // The queue holds the connection until it is granted or withdrawn (on
    // Close), so that a request waiting its turn needs no timer of its own.
    const bool granted = context_.budget.Claim(whole, header_.payloadLength, &ticket,
                                               [self = shared_from_this(), &loop, whole] {
                                                   asio::post(loop, [self, whole] {
                                                       self->claimed_ += whole;
                                                       self->queued_.reset();
                                                       self->Run(&ClientConnection::ReadPayload);
                                                   });
                                               });
    if (granted) {
        claimed_ += whole;
        return ReadPayload();
    }
    // Waiting for its turn is no fault of the client's: nothing times it
    // out. Every request admitted before it ends within its own deadlines,
    // so the wait is bounded all the same.
    queued_ = ticket;
    requestDeadline_ = progressDeadline_ = Clock::time_point::max();
}

void ClientConnection::ReadPayload() {
    requestDeadline_ = Clock::now() + context_.options.limits.requestTimeout;
    Progress();
    ReadFrame();
}

void ClientConnection::OnFrameFailure() {
    switch (frame_.Failure()) {
        case FrameFailure::kTooLarge:
            header_ = DecodeRequestHeader(frame_.Header().data());
            context_.LogTrouble("too large",
                                RequestLine() + " refused: the limit is " +
                                    std::to_string(context_.options.limits.maxRequestPayload));
            return Close();
        case FrameFailure::kChecksumMismatch:
            // Answered with the server's text, not dropped.
            return Process();
        default:
            context_.LogTrouble("no memory", "request dropped: out of memory for its payload");
            return Close();
    }
}

void ClientConnection::Process() {
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
    if (reply_.holdBack.count() == 0) return StartReply();
    // Standing in for a busy database: a timer, so that every other client
    // goes on meanwhile; the client is not idle while the server keeps it
    // waiting.
    progressDeadline_ = Clock::time_point::max();
    pause_.expires_after(reply_.holdBack);
    pause_.async_wait([self = shared_from_this()](const std::error_code& waited) {
        if (waited) return;
        self->Guarded([&] { self->StartReply(); });
    });
}

void ClientConnection::StartReply() {
    // The whole reply is bounded as the request is, so that a client reading
    // a large answer a trickle at a time cannot keep its memory claimed.
    requestDeadline_ = Clock::now() + context_.options.limits.requestTimeout;
    Progress();
    SendRest();
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
        if (replying_) {
            context_.LogTrouble("reply late", "reply not all read within " +
                                                  Seconds(limits.requestTimeout) + "; abandoned");
        } else if (!headerRead_) {
            context_.LogTrouble("header late", "request header not complete within " +
                                                   Seconds(limits.headerTimeout) + "; closed");
        } else {
            context_.LogTrouble("request late", "request not complete within " +
                                                    Seconds(limits.requestTimeout) + "; closed");
        }
        return Close();
    }
    if (now >= progressDeadline_) {
        context_.LogTrouble(
            "idle", replying_ ? "reply not read for " + Seconds(limits.idleTimeout) + "; abandoned"
                              : "no request bytes for " + Seconds(limits.idleTimeout) + "; closed");
        return Close();
    }
    Watch();
}

}  // namespace zv::server
