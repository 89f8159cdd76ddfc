#include "reference_server.hpp"

#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "answers.hpp"
#include "crypto/crypto.hpp"
#include "reply_writer.hpp"
#include "strings/strings.hpp"
#include "transport/frame_headers.hpp"
#include "transport/random_source.hpp"
#include "transport/receive_buffer.hpp"
#include "transport/session_id.hpp"
#include "transport/text_conversion.hpp"
#include "transport/wiped_block.hpp"

namespace zv::server {
namespace {

constexpr uint8_t kLoginCode = 1;
constexpr uint8_t kLogoutCode = 8;

// 32 characters from 0x21 to 0x7E, drawn without bias from the secure source.
std::optional<SessionKey> RandomPrintableKey() {
    std::array<uint8_t, kSessionKeySize> key{};
    std::size_t filled = 0;
    uint8_t random[64];
    while (filled < key.size()) {
        if (!FillWithSecureRandom(random, sizeof random)) return std::nullopt;
        for (uint8_t byte : random) {
            // 188 = 2 * 94: the bytes above it would favour some characters.
            if (byte < 188 && filled < key.size()) key[filled++] = 0x21 + byte % 94;
        }
    }
    SessionKey result(key.data());
    SecureWipe(key.data(), key.size());
    SecureWipe(random, sizeof random);
    return result;
}

std::string IdText(const SessionIdBytes& id) {
    const MallocPtr<char> text(SessionIdToText(id.data()));
    return text ? text.get() : "?";
}

std::string FaultName(FaultKind kind) {
    switch (kind) {
        case FaultKind::kNone:
            return "";
        case FaultKind::kRefuse:
            return " [fault: refuse]";
        case FaultKind::kErrorFlag:
            return " [fault: error-flag]";
        case FaultKind::kWrongChecksum:
            return " [fault: wrong-checksum]";
        case FaultKind::kShortHeader:
            return " [fault: short-header]";
        case FaultKind::kFragmented:
            return " [fault: fragmented]";
        case FaultKind::kBadPadding:
            return " [fault: bad-padding]";
        case FaultKind::kWrongLength:
            return " [fault: wrong-length]";
        case FaultKind::kHugeLength:
            return " [fault: huge-length]";
        case FaultKind::kShortKey:
            return " [fault: short-key]";
        case FaultKind::kCloseAfter:
            return " [fault: close-after]";
        case FaultKind::kUnstorableKey:
            return " [fault: unstorable-key]";
        case FaultKind::kNoReply:
            return " [fault: no-reply]";
    }
    return "";
}

std::vector<uint8_t> Bytes(const uint8_t* data, std::size_t size) {
    return std::vector<uint8_t>(data, data + size);
}

// The payload of an answer: text (ISO-8859-15) as UTF-8, encrypted under key
// when one is given. The bad-padding and wrong-length faults spoil the
// encrypted form here.
std::vector<uint8_t> AnswerPayload(const std::string& text, const SessionKey* key,
                                   FaultKind fault) {
    const MallocPtr<char> utf8(Iso885915ToUtf8(text.c_str()));
    if (utf8 == nullptr) return {};
    std::string plain(utf8.get());
    if (key == nullptr) return Bytes(reinterpret_cast<const uint8_t*>(plain.data()), plain.size());
    if (fault == FaultKind::kBadPadding) {
        // Whole blocks ending in a zero byte: encryption appends a block of
        // pure padding, and dropping it leaves a last block whose padding
        // byte reads 0, which no valid padding has.
        plain.append(kAesBlockSize - plain.size() % kAesBlockSize, '\0');
    }
    uint32_t length = 0;
    const MallocPtr<uint8_t> encrypted(
        EncryptPayload(reinterpret_cast<const uint8_t*>(plain.data()),
                       static_cast<uint32_t>(plain.size()), &length, nullptr, key->Bytes()));
    SecureWipe(plain.data(), plain.size());
    if (encrypted == nullptr) return {};
    if (fault == FaultKind::kBadPadding) length -= kAesBlockSize;
    if (fault == FaultKind::kWrongLength) length -= 1;
    return Bytes(encrypted.get(), length);
}

}  // namespace

ReferenceServer::ReferenceServer(ServerOptions options)
    : options_(std::move(options)), keys_(options_.limits), faults_(options_.faults) {}

ReferenceServer::~ReferenceServer() { Stop(); }

bool ReferenceServer::Start() {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    addrinfo* found = nullptr;
    const std::string service = std::to_string(options_.port);
    const int lookup = getaddrinfo(options_.host.c_str(), service.c_str(), &hints, &found);
    if (lookup != 0) {
        error_ = std::string("cannot resolve ") + options_.host + ": " + gai_strerror(lookup);
        return false;
    }
    for (addrinfo* entry = found; entry != nullptr && listener_ == kNoSocket;
         entry = entry->ai_next) {
        const int candidate =
            socket(entry->ai_family, entry->ai_socktype | SOCK_CLOEXEC, entry->ai_protocol);
        if (candidate < 0) continue;
        const int on = 1;
        setsockopt(candidate, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        if (bind(candidate, entry->ai_addr, entry->ai_addrlen) == 0 &&
            listen(candidate, 128) == 0) {
            listener_ = candidate;
        } else {
            error_ = std::string("cannot listen on ") + options_.host + ": " + std::strerror(errno);
            close(candidate);
        }
    }
    freeaddrinfo(found);
    if (listener_ == kNoSocket) return false;

    sockaddr_storage bound{};
    socklen_t length = sizeof bound;
    getsockname(listener_, reinterpret_cast<sockaddr*>(&bound), &length);
    port_ = ntohs(bound.ss_family == AF_INET6 ? reinterpret_cast<sockaddr_in6&>(bound).sin6_port
                                              : reinterpret_cast<sockaddr_in&>(bound).sin_port);
    error_.clear();
    acceptThread_ = std::thread([this] { AcceptLoop(); });
    return true;
}

void ReferenceServer::Stop() {
    if (acceptThread_.joinable()) {
        stopping_ = true;
        shutdown(listener_, SHUT_RDWR);  // wakes the blocked accept
        {
            const std::lock_guard lock(mutex_);
            slotFreed_.notify_all();
        }
        acceptThread_.join();
    }
    if (listener_ != kNoSocket) close(std::exchange(listener_, kNoSocket));

    std::map<std::thread::id, std::thread> workers;
    {
        const std::lock_guard lock(mutex_);
        for (NativeSocket socket : openSockets_) shutdown(socket, SHUT_RDWR);
        workers.swap(workers_);
        finished_.clear();
    }
    for (auto& worker : workers) worker.second.join();
}

void ReferenceServer::SetFaults(const FaultPlan& faults) {
    const std::lock_guard lock(mutex_);
    faults_ = faults;
}

FaultPlan ReferenceServer::CurrentFaults() {
    const std::lock_guard lock(mutex_);
    return faults_;
}

void ReferenceServer::Log(const std::string& line) {
    if (options_.log) options_.log(line);
}

// Called with mutex_ held.
void ReferenceServer::JoinFinished() {
    for (const std::thread::id id : finished_) {
        const auto worker = workers_.find(id);
        if (worker == workers_.end()) continue;
        worker->second.join();
        workers_.erase(worker);
    }
    finished_.clear();
}

void ReferenceServer::AcceptLoop() {
    while (!stopping_) {
        {
            std::unique_lock lock(mutex_);
            slotFreed_.wait(lock, [this] {
                JoinFinished();
                return stopping_ || workers_.size() < options_.limits.maxConnections;
            });
        }
        if (stopping_) break;
        const int socket = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (socket < 0) {
            if (stopping_) break;
            // Out of descriptors or an aborted handshake: try again shortly.
            if (errno != EINTR && errno != ECONNABORTED) {
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
            continue;
        }
        const std::lock_guard lock(mutex_);
        if (stopping_) {
            close(socket);
            break;
        }
        openSockets_.insert(socket);
        std::thread worker([this, socket] { Serve(socket); });
        const std::thread::id id = worker.get_id();
        workers_.emplace(id, std::move(worker));
    }
}

void ReferenceServer::Serve(NativeSocket socket) {
    const int on = 1;
    setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    Connection connection = Connection::Adopt(socket);
    try {
        ServeExchange(connection);
    } catch (const std::exception& failure) {
        // Out of memory in the middle of an exchange: this client loses its
        // answer, the server goes on.
        Log(std::string("exchange abandoned: ") + failure.what());
    }
    const std::lock_guard lock(mutex_);
    // Forgotten before it closes, so that Stop never shuts down a reused number.
    openSockets_.erase(socket);
    connection.Close();
    finished_.push_back(std::this_thread::get_id());
    slotFreed_.notify_all();
}

void ReferenceServer::ServeExchange(Connection& connection) {
    RequestHeaderBytes bytes;
    if (connection.ReceiveExactly(bytes.data(), bytes.size()) != bytes.size()) {
        Log("request header short; closed");
        return;
    }
    const RequestHeader header = DecodeRequestHeader(bytes.data());
    if (header.operationCode == kKeyNegotiationCode) {
        Negotiate(connection, header);
    } else {
        Answer(connection, header);
    }
    ++exchanges_;
}

void ReferenceServer::Negotiate(Connection& connection, const RequestHeader& request) {
    const Fault fault = CurrentFaults().negotiation;
    Reply reply;
    const MallocPtr<uint8_t> newId(NewRandomUuidBytes());
    if (newId == nullptr) return;
    std::copy(newId.get(), newId.get() + kSessionIdSize, reply.header.sessionId.begin());
    const std::string line = "negotiation " + IdText(request.sessionId) + " -> ";

    if (fault.kind == FaultKind::kRefuse) {
        reply.header.errorFlag = fault.flag;
        reply.payload =
            Bytes(reinterpret_cast<const uint8_t*>(fault.text.data()), fault.text.size());
        SendReply(connection, reply, fault);
        Log(line + "refused" + FaultName(fault.kind));
        return;
    }
    std::optional<SessionKey> key = RandomPrintableKey();
    if (!key) return;
    if (fault.kind == FaultKind::kUnstorableKey) {
        std::array<uint8_t, kSessionKeySize> spoiled;
        std::copy(key->Bytes(), key->Bytes() + kSessionKeySize, spoiled.begin());
        spoiled[3] = 0x00;
        spoiled[17] = 0x1C;
        key.emplace(spoiled.data());
        SecureWipe(spoiled.data(), spoiled.size());
    }
    std::size_t keyLength = kSessionKeySize;
    if (fault.kind == FaultKind::kShortKey) {
        keyLength = std::min<std::size_t>(fault.count != 0 ? fault.count : 16, kSessionKeySize - 1);
    } else {
        keys_.AddPending(reply.header.sessionId, *key);
    }
    reply.payload = Bytes(key->Bytes(), keyLength);
    SendReply(connection, reply, fault);
    SecureWipe(reply.payload.data(), reply.payload.size());
    Log(line + IdText(reply.header.sessionId) + FaultName(fault.kind));
}

void ReferenceServer::Answer(Connection& connection, const RequestHeader& header) {
    const Fault fault = CurrentFaults().response;
    std::string line = "request op=" + std::to_string(header.operationCode) +
                       " mode=" + std::to_string(header.sessionMode) + " " +
                       IdText(header.sessionId) + " -> ";
    if (header.payloadLength > options_.limits.maxRequestPayload) {
        Log(line + "payload of " + std::to_string(header.payloadLength) + " bytes refused");
        return;
    }
    ReceiveBuffer payload;
    uint8_t checksum[kChecksumSize];
    if (payload.Fill(connection, header.payloadLength) != ReceiveOutcome::kComplete ||
        connection.ReceiveExactly(checksum, kChecksumSize) != kChecksumSize) {
        Log(line + "request short; closed");
        return;
    }

    Reply reply;
    reply.header.sessionId = header.sessionId;
    const auto refuse = [&](const std::string& text) {
        reply.header.errorFlag = kErrorFlagServerText;
        reply.payload = AnswerPayload(text, nullptr, FaultKind::kNone);
        SendReply(connection, reply, Fault{});
        Log(line + "error: " + text);
    };

    const MallocPtr<uint8_t> computed(ComputeChecksum(payload.Data(), header.payloadLength));
    if (computed == nullptr || std::memcmp(computed.get(), checksum, kChecksumSize) != 0) {
        return refuse("Checksum error");
    }
    DecodedRequest request;
    request.header = header;
    if (header.sessionMode == kSessionModeDirect) {
        request.kind = RequestKind::kDirect;
    } else if (header.sessionMode != kSessionModePersistent) {
        return refuse("Unknown session mode " + std::to_string(header.sessionMode));
    } else if (header.operationCode == kLoginCode) {
        request.kind = RequestKind::kLogin;
    } else if (header.operationCode == kLogoutCode) {
        request.kind = RequestKind::kLogout;
    } else {
        request.kind = RequestKind::kSession;
    }
    // A login and a direct operation use the key of the negotiation just
    // before them, once; session operations and the logout the session's.
    const bool fresh = request.kind == RequestKind::kLogin || request.kind == RequestKind::kDirect;
    const std::optional<SessionKey> key =
        fresh ? keys_.TakePending(header.sessionId) : keys_.FindSession(header.sessionId);
    if (!key) return refuse("Unknown session");

    const char* utf8 = reinterpret_cast<const char*>(payload.Data());
    WipedBlock<uint8_t> plaintext;
    if (header.encrypted != 0) {
        uint32_t length = 0;
        uint8_t* decrypted = DecryptPayload(payload.Data(), header.payloadLength, &length, nullptr,
                                            key->Bytes(), true);
        if (decrypted == nullptr) return refuse("Invalid encrypted data");
        plaintext = WipedBlock<uint8_t>(decrypted, std::size_t{length} + 1);
        utf8 = reinterpret_cast<const char*>(decrypted);
    }
    const MallocPtr<char> text(Utf8ToIso885915(utf8));
    if (text == nullptr) return refuse("Out of memory");
    if (!SplitFields(request.kind, text.get(), request.fields)) {
        return refuse("Malformed request: fewer than " + std::to_string(FieldCount(request.kind)) +
                      " fields");
    }
    if (fresh && ((options_.requiredItem3 && request.fields[0] != *options_.requiredItem3) ||
                  (options_.requiredItem4 && request.fields[1] != *options_.requiredItem4))) {
        return refuse("Invalid credentials");
    }

    std::string answer;
    switch (request.kind) {
        case RequestKind::kLogin: {
            char recordId[16];
            std::snprintf(recordId, sizeof recordId, "R%08llu",
                          static_cast<unsigned long long>(++recordCounter_));
            keys_.AddSession(header.sessionId, *key);
            answer = LoginAnswer(request, recordId);
            line += std::string("LOGIN ") + recordId;
            break;
        }
        case RequestKind::kLogout:
            keys_.RemoveSession(header.sessionId);
            answer = DescriptionAnswer(request);
            line += "LOGOUT";
            break;
        case RequestKind::kDirect:
            answer = DescriptionAnswer(request);
            line += "DIRECT";
            break;
        case RequestKind::kSession:
            answer = DescriptionAnswer(request);
            line += "SESSION";
            break;
    }
    if (fault.kind == FaultKind::kErrorFlag) {
        reply.header.errorFlag = kErrorFlagServerText;
        answer = fault.text;
    }
    const bool encrypt = header.encrypted != 0;
    reply.header.encrypted = encrypt ? 1 : 0;
    reply.payload = AnswerPayload(answer, encrypt ? &*key : nullptr, fault.kind);
    SendReply(connection, reply, fault);
    Log(line + FaultName(fault.kind));
}

}  // namespace zv::server
