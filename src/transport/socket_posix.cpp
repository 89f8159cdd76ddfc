// The socket seam on POSIX sockets.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#ifdef __linux__
#include <sys/eventfd.h>
#endif

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "transport/socket_platform.hpp"

namespace zv {
namespace {

void SetOption(int socket, int level, int name, int value) noexcept {
    // Best effort: a system that refuses one of these still connects.
    setsockopt(socket, level, name, &value, sizeof value);
}

// Probes an idle connection after 60 s, every 10 s, and gives up after 6
// unanswered probes: a server host that vanished is noticed in about two
// minutes, while a server that is merely slow still answers the probes.
void EnableKeepalive(int socket) noexcept {
    SetOption(socket, SOL_SOCKET, SO_KEEPALIVE, 1);
#if defined(TCP_KEEPIDLE)
    SetOption(socket, IPPROTO_TCP, TCP_KEEPIDLE, 60);
#elif defined(TCP_KEEPALIVE)
    SetOption(socket, IPPROTO_TCP, TCP_KEEPALIVE, 60);
#endif
#ifdef TCP_KEEPINTVL
    SetOption(socket, IPPROTO_TCP, TCP_KEEPINTVL, 10);
#endif
#ifdef TCP_KEEPCNT
    SetOption(socket, IPPROTO_TCP, TCP_KEEPCNT, 6);
#endif
}

}  // namespace

bool StartSocketsLayer() noexcept { return true; }
void StopSocketsLayer() noexcept {}

bool MeansNoSuchHost(int lookupError) noexcept {
    // EAI_SYSTEM and EAI_MEMORY (out of descriptors or memory) are the
    // resolver failing, not the name: they fall to the default. Some
    // resolvers also report a hosts file they could not open for want of a
    // descriptor as an unknown name, and only errno tells the truth.
    if (errno == EMFILE || errno == ENFILE || errno == ENOMEM || errno == ENOBUFS) return false;
    switch (lookupError) {
        case EAI_NONAME:
        case EAI_AGAIN:
        case EAI_FAIL:
#ifdef EAI_NODATA
        case EAI_NODATA:
#endif
#ifdef EAI_ADDRFAMILY
        case EAI_ADDRFAMILY:
#endif
            return true;
        default:
            return false;
    }
}

NativeSocket OpenStreamSocket(const addrinfo& entry) noexcept {
    const int created = ::socket(entry.ai_family, entry.ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK,
                                 entry.ai_protocol);
    if (created < 0) return kNoSocket;
    EnableKeepalive(created);
    // A request frame leaves in one gathered send, but one that the peer's
    // window splits would otherwise hold its small tail back until the
    // server's delayed acknowledgement.
    SetOption(created, IPPROTO_TCP, TCP_NODELAY, 1);
    return created;
}

ConnectStart StartConnect(NativeSocket socket, const sockaddr* address, socklen_t length) noexcept {
    if (connect(socket, address, length) == 0) return ConnectStart::kConnected;
    // An interrupted connect goes on in the background, like one under way.
    return errno == EINPROGRESS || errno == EINTR ? ConnectStart::kInProgress
                                                  : ConnectStart::kFailed;
}

ConnectStart ContinueConnect(NativeSocket socket, const sockaddr* address, socklen_t length,
                             bool /*ready*/) noexcept {
    // A second connect answers in one call what a wait and SO_ERROR would:
    // done (0, or EISCONN on some systems), still under way, or the error.
    if (connect(socket, address, length) == 0 || errno == EISCONN) return ConnectStart::kConnected;
    return errno == EALREADY || errno == EINPROGRESS || errno == EINTR ? ConnectStart::kInProgress
                                                                       : ConnectStart::kFailed;
}

bool ConnectSucceeded(NativeSocket socket) noexcept {
    int error = 0;
    socklen_t errorLength = sizeof error;
    return getsockopt(socket, SOL_SOCKET, SO_ERROR, &error, &errorLength) == 0 && error == 0;
}

IoStep SendSome(NativeSocket socket, ByteParts parts, std::size_t& moved, int& error) noexcept {
    iovec vectors[kMaxGatheredParts];
    std::size_t count = 0;
    for (const std::span<const uint8_t> part :
         parts.first(std::min(parts.size(), kMaxGatheredParts))) {
        // sendmsg only reads the parts; iovec has no const member.
        vectors[count++] = {const_cast<uint8_t*>(part.data()), part.size()};
    }
    msghdr message{};
    message.msg_iov = vectors;
    message.msg_iovlen = count;
    for (;;) {
        const ssize_t sent = sendmsg(socket, &message, MSG_NOSIGNAL);
        if (sent >= 0) {
            moved = static_cast<std::size_t>(sent);
            return IoStep::kMoved;
        }
        if (errno == EINTR) continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK) return IoStep::kWouldBlock;
        error = errno;
        return IoStep::kFailed;
    }
}

IoStep ReceiveSome(NativeSocket socket, uint8_t* buffer, std::size_t length,
                   std::size_t& moved) noexcept {
    for (;;) {
        const ssize_t count = recv(socket, buffer, length, 0);
        if (count > 0) {
            moved = static_cast<std::size_t>(count);
            return IoStep::kMoved;
        }
        if (count == 0) return IoStep::kEnded;
        if (errno == EINTR) continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK) return IoStep::kWouldBlock;
        return IoStep::kFailed;
    }
}

WaitOutcome PollSocket(NativeSocket socket, bool forWriting, int timeoutMs) noexcept {
    pollfd ready{socket, static_cast<short>(forWriting ? POLLOUT : POLLIN), 0};
    const int count = poll(&ready, 1, timeoutMs);
    if (count > 0) return WaitOutcome::kReady;
    // An interrupted wait counts as a slice that ended: the caller checks its
    // limits and waits again.
    if (count == 0 || errno == EINTR) return WaitOutcome::kTimedOut;
    return WaitOutcome::kFailed;
}

bool OpenWakeChannel(NativeSocket& readEnd, NativeSocket& writeEnd) noexcept {
#ifdef __linux__
    readEnd = writeEnd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    return readEnd >= 0;
#else
    int ends[2];
    if (pipe(ends) != 0) return false;
    for (const int end : ends) {
        fcntl(end, F_SETFD, FD_CLOEXEC);
        fcntl(end, F_SETFL, fcntl(end, F_GETFL) | O_NONBLOCK);
    }
    readEnd = ends[0];
    writeEnd = ends[1];
    return true;
#endif
}

void SignalWakeChannel(NativeSocket writeEnd) noexcept {
#ifdef __linux__
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = write(writeEnd, &one, sizeof one);
#else
    const char one = 1;
    [[maybe_unused]] const ssize_t written = write(writeEnd, &one, sizeof one);
#endif
}

void CloseWakeChannel(NativeSocket readEnd, NativeSocket writeEnd) noexcept {
    if (readEnd >= 0) close(readEnd);
    if (writeEnd >= 0 && writeEnd != readEnd) close(writeEnd);
}

bool ShutdownSending(NativeSocket socket) noexcept { return shutdown(socket, SHUT_WR) == 0; }

void CloseSocket(NativeSocket socket) noexcept {
    if (socket != kNoSocket) close(socket);
}

}  // namespace zv
