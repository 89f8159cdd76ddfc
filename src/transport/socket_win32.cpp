// The socket seam on Windows Sockets 2.
// winsock2.h comes first: windows.h would bring in the older winsock.h.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <mstcpip.h>
#include <windows.h>

#include <algorithm>
#include <climits>

#include "transport/socket_platform.hpp"

namespace zv {
namespace {

// A socket that a process this one starts does not inherit: the flag makes
// that atomic, so a CreateProcess on another thread cannot slip in between.
// Systems older than the flag refuse it; their sockets lose the inheritance
// right after creation instead.
SOCKET NonInheritableSocket(const addrinfo& entry) noexcept {
    const SOCKET created = WSASocketW(entry.ai_family, entry.ai_socktype, entry.ai_protocol,
                                      nullptr, 0, WSA_FLAG_OVERLAPPED | WSA_FLAG_NO_HANDLE_INHERIT);
    if (created != INVALID_SOCKET || WSAGetLastError() != WSAEINVAL) return created;
    const SOCKET fallback = ::socket(entry.ai_family, entry.ai_socktype, entry.ai_protocol);
    if (fallback != INVALID_SOCKET) {
        SetHandleInformation(reinterpret_cast<HANDLE>(fallback), HANDLE_FLAG_INHERIT, 0);
    }
    return fallback;
}

// Probes an idle connection after 60 s and every 10 s; the number of probes
// is the system's own (10) unless the option to set it exists. A server host
// that vanished is noticed in about two minutes, a slow server never.
void EnableKeepalive(SOCKET socket) noexcept {
    tcp_keepalive values{};
    values.onoff = 1;
    values.keepalivetime = 60000;
    values.keepaliveinterval = 10000;
    DWORD returned = 0;
    WSAIoctl(socket, SIO_KEEPALIVE_VALS, &values, sizeof values, nullptr, 0, &returned, nullptr,
             nullptr);
#ifdef TCP_KEEPCNT
    const DWORD probes = 6;
    setsockopt(socket, IPPROTO_TCP, TCP_KEEPCNT, reinterpret_cast<const char*>(&probes),
               sizeof probes);
#endif
}

// A send or receive moves at most INT_MAX bytes per call.
int ChunkLength(std::size_t remaining) noexcept {
    return static_cast<int>(std::min<std::size_t>(remaining, INT_MAX));
}

}  // namespace

bool StartSocketsLayer() noexcept {
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data) == 0;
}

void StopSocketsLayer() noexcept { WSACleanup(); }

bool MeansNoSuchHost(int lookupError) noexcept {
    switch (lookupError) {
        case WSAHOST_NOT_FOUND:
        case WSATRY_AGAIN:
        case WSANO_RECOVERY:
        case WSANO_DATA:
            return true;
        default:
            return false;
    }
}

NativeSocket OpenStreamSocket(const addrinfo& entry) noexcept {
    const SOCKET created = NonInheritableSocket(entry);
    if (created == INVALID_SOCKET) return kNoSocket;
    u_long nonBlocking = 1;
    if (ioctlsocket(created, FIONBIO, &nonBlocking) != 0) {
        closesocket(created);
        return kNoSocket;
    }
    EnableKeepalive(created);
    // A request frame leaves in one gathered send, but one that the peer's
    // window splits would otherwise hold its small tail back until the
    // server's delayed acknowledgement.
    const BOOL on = TRUE;
    setsockopt(created, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
    return created;
}

ConnectStart StartConnect(NativeSocket socket, const sockaddr* address, socklen_t length) noexcept {
    if (connect(socket, address, length) == 0) return ConnectStart::kConnected;
    return WSAGetLastError() == WSAEWOULDBLOCK ? ConnectStart::kInProgress : ConnectStart::kFailed;
}

ConnectStart ContinueConnect(NativeSocket socket, const sockaddr*, socklen_t, bool ready) noexcept {
    if (!ready && PollSocket(socket, true, 0) != WaitOutcome::kReady) {
        return ConnectStart::kInProgress;
    }
    return ConnectSucceeded(socket) ? ConnectStart::kConnected : ConnectStart::kFailed;
}

bool ConnectSucceeded(NativeSocket socket) noexcept {
    int error = 0;
    int errorLength = sizeof error;
    return getsockopt(socket, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error),
                      &errorLength) == 0 &&
           error == 0;
}

IoStep SendSome(NativeSocket socket, ByteParts parts, std::size_t& moved, int& error) noexcept {
    WSABUF buffers[kMaxGatheredParts];
    DWORD count = 0;
    for (const std::span<const uint8_t> part :
         parts.first(std::min(parts.size(), kMaxGatheredParts))) {
        // WSASend only reads the buffers; WSABUF has no const member.
        buffers[count++] = {static_cast<ULONG>(ChunkLength(part.size())),
                            reinterpret_cast<char*>(const_cast<uint8_t*>(part.data()))};
        // A part cut to the chunk length must be the last one of this call.
        if (part.size() > INT_MAX) break;
    }
    DWORD sent = 0;
    if (WSASend(socket, buffers, count, &sent, 0, nullptr, nullptr) == 0) {
        moved = sent;
        return IoStep::kMoved;
    }
    error = WSAGetLastError();
    if (error == WSAEWOULDBLOCK) return IoStep::kWouldBlock;
    // A failure must never read as success, even without a number.
    if (error == 0) error = -1;
    return IoStep::kFailed;
}

IoStep ReceiveSome(NativeSocket socket, uint8_t* buffer, std::size_t length,
                   std::size_t& moved) noexcept {
    const int count = recv(socket, reinterpret_cast<char*>(buffer), ChunkLength(length), 0);
    if (count > 0) {
        moved = static_cast<std::size_t>(count);
        return IoStep::kMoved;
    }
    if (count == 0) return IoStep::kEnded;
    return WSAGetLastError() == WSAEWOULDBLOCK ? IoStep::kWouldBlock : IoStep::kFailed;
}

WaitOutcome PollSocket(NativeSocket socket, bool forWriting, int timeoutMs) noexcept {
    // select rather than WSAPoll: older Windows' WSAPoll never reports a
    // connect that failed. A failed connect shows in the exception set.
    fd_set ready;
    fd_set failed;
    FD_ZERO(&ready);
    FD_ZERO(&failed);
    FD_SET(socket, &ready);
    FD_SET(socket, &failed);
    timeval limit{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
    const int count = select(0, forWriting ? nullptr : &ready, forWriting ? &ready : nullptr,
                             &failed, timeoutMs < 0 ? nullptr : &limit);
    if (count > 0) return WaitOutcome::kReady;
    return count == 0 ? WaitOutcome::kTimedOut : WaitOutcome::kFailed;
}

bool OpenWakeChannel(NativeSocket& readEnd, NativeSocket& writeEnd) noexcept {
    readEnd = writeEnd = kNoSocket;
    addrinfo entry{};
    entry.ai_family = AF_INET;
    entry.ai_socktype = SOCK_STREAM;
    entry.ai_protocol = IPPROTO_TCP;
    const SOCKET listener = NonInheritableSocket(entry);
    if (listener == INVALID_SOCKET) return false;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof address;
    const SOCKET writer = NonInheritableSocket(entry);
    SOCKET reader = INVALID_SOCKET;
    sockaddr_in writerAddress{};
    sockaddr_in peerAddress{};
    int writerLength = sizeof writerAddress;
    int peerLength = sizeof peerAddress;
    // The listener takes one connection, and only ours: another local
    // program that got in first is turned away by the address check.
    const bool made =
        writer != INVALID_SOCKET &&
        bind(listener, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 &&
        listen(listener, 1) == 0 &&
        getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) == 0 &&
        connect(writer, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 &&
        (reader = accept(listener, reinterpret_cast<sockaddr*>(&peerAddress), &peerLength)) !=
            INVALID_SOCKET &&
        getsockname(writer, reinterpret_cast<sockaddr*>(&writerAddress), &writerLength) == 0 &&
        peerAddress.sin_port == writerAddress.sin_port &&
        peerAddress.sin_addr.s_addr == writerAddress.sin_addr.s_addr;
    closesocket(listener);
    u_long nonBlocking = 1;
    if (!made || ioctlsocket(reader, FIONBIO, &nonBlocking) != 0 ||
        ioctlsocket(writer, FIONBIO, &nonBlocking) != 0) {
        if (reader != INVALID_SOCKET) closesocket(reader);
        if (writer != INVALID_SOCKET) closesocket(writer);
        return false;
    }
    readEnd = reader;
    writeEnd = writer;
    return true;
}

void SignalWakeChannel(NativeSocket writeEnd) noexcept {
    const char one = 1;
    send(writeEnd, &one, 1, 0);
}

void CloseWakeChannel(NativeSocket readEnd, NativeSocket writeEnd) noexcept {
    if (readEnd != kNoSocket) closesocket(readEnd);
    if (writeEnd != kNoSocket) closesocket(writeEnd);
}

bool ShutdownSending(NativeSocket socket) noexcept { return shutdown(socket, SD_SEND) == 0; }

void CloseSocket(NativeSocket socket) noexcept {
    if (socket != kNoSocket) closesocket(socket);
}

}  // namespace zv
