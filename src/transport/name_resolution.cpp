#include "transport/name_resolution.hpp"

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <new>
#include <string>
#include <thread>

#include "error_codes.hpp"
#include "transport/socket_platform.hpp"

namespace zv {
namespace {

struct AddressInfoDeleter {
    void operator()(addrinfo* list) const noexcept { freeaddrinfo(list); }
};
using AddressInfo = std::unique_ptr<addrinfo, AddressInfoDeleter>;

int LookUp(const char* host, int flags, AddressInfo& list) noexcept {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    hints.ai_flags = flags;
    addrinfo* found = nullptr;
    const int error = getaddrinfo(host, nullptr, &hints, &found);
    list.reset(found);
    return error;
}

// Throws std::bad_alloc.
void TakeAddresses(const addrinfo* list, uint16_t port, AddressList& addresses) {
    addresses.clear();
    for (const addrinfo* entry : OrderForConnecting(list)) {
        sockaddr_storage address;
        socklen_t length = 0;
        if (!AddressWithPort(*entry, port, address, length)) continue;
        ResolvedAddress& resolved = addresses.emplace_back();
        std::memcpy(resolved.address.data(), &address, static_cast<std::size_t>(length));
        resolved.length = static_cast<uint32_t>(length);
        resolved.family = entry->ai_family;
        resolved.socketType = entry->ai_socktype;
        resolved.protocol = entry->ai_protocol;
    }
}

}  // namespace

bool ResolveNumeric(const char* host, uint16_t port, AddressList& addresses) noexcept {
    AddressInfo list;
    if (LookUp(host, AI_NUMERICHOST, list) != 0) return false;
    try {
        TakeAddresses(list.get(), port, addresses);
    } catch (const std::bad_alloc&) {
        addresses.clear();
    }
    return true;
}

uint32_t ResolveName(const char* host, uint16_t port, AddressList& addresses) noexcept {
    AddressInfo list;
    errno = 0;  // see MeansNoSuchHost
    const int lookupError = LookUp(host, 0, list);
    if (lookupError != 0) {
        return MeansNoSuchHost(lookupError) ? kUnresolvedHost : kAddressLookupFailed;
    }
    try {
        TakeAddresses(list.get(), port, addresses);
    } catch (const std::bad_alloc&) {
        return kAddressLookupFailed;
    }
    return addresses.empty() ? kUnresolvedHost : kNoError;
}

// What the operation and the resolver thread share. The thread writes the
// answer and signals only while the operation still waits for it, under the
// lock, so the descriptor is never signalled after it was closed.
struct PendingResolution::Shared {
    std::mutex mutex;
    std::string host;
    uint16_t port = 0;
    bool answered = false;
    bool abandoned = false;
    uint32_t code = kNoError;
    AddressList addresses;
    NativeSocket readEnd = kNoSocket;
    NativeSocket writeEnd = kNoSocket;

    void CloseChannel() noexcept {
        CloseWakeChannel(readEnd, writeEnd);
        readEnd = writeEnd = kNoSocket;
    }
};

namespace {

// A few threads, started as names come and ending after a while without
// work. The pool itself is never destroyed: a thread may outlive every
// operation, and the process may end while one waits on the resolver.
class ResolverPool {
public:
    static ResolverPool& Instance() {
        static ResolverPool* pool = new ResolverPool;
        return *pool;
    }

    // False when no thread could be started to take the work.
    bool Submit(std::shared_ptr<PendingResolution::Shared> work) noexcept {
        std::unique_lock lock(mutex_);
        try {
            queue_.push_back(std::move(work));
        } catch (...) {
            return false;
        }
        if (idle_ < queue_.size() && threads_ < kMostThreads) {
            try {
                std::thread([this] { Serve(); }).detach();
                ++threads_;
            } catch (...) {
                // The threads there are take it in turn; with none, nobody would.
                if (threads_ == 0) {
                    queue_.pop_back();
                    return false;
                }
            }
        }
        lock.unlock();
        ready_.notify_one();
        return true;
    }

private:
    static constexpr std::size_t kMostThreads = 4;
    static constexpr std::chrono::seconds kIdleLifetime{10};

    void Serve() noexcept {
        const bool socketsLayer = StartSocketsLayer();
        std::unique_lock lock(mutex_);
        for (;;) {
            ++idle_;
            const bool woken =
                ready_.wait_for(lock, kIdleLifetime, [this] { return !queue_.empty(); });
            --idle_;
            if (!woken) break;
            std::shared_ptr<PendingResolution::Shared> work = std::move(queue_.front());
            queue_.pop_front();
            lock.unlock();
            Resolve(*work);
            work.reset();
            lock.lock();
        }
        --threads_;
        lock.unlock();
        if (socketsLayer) StopSocketsLayer();
    }

    static void Resolve(PendingResolution::Shared& work) noexcept {
        {
            const std::lock_guard lock(work.mutex);
            if (work.abandoned) return;
        }
        AddressList addresses;
        const uint32_t code = ResolveName(work.host.c_str(), work.port, addresses);
        const std::lock_guard lock(work.mutex);
        if (work.abandoned) return;
        work.code = code;
        work.addresses = std::move(addresses);
        work.answered = true;
        SignalWakeChannel(work.writeEnd);
    }

    std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<std::shared_ptr<PendingResolution::Shared>> queue_;
    std::size_t threads_ = 0;
    std::size_t idle_ = 0;
};

}  // namespace

uint32_t PendingResolution::Start(const char* host, uint16_t port) noexcept {
    Abandon();
    // The descriptor first: out of descriptors, nothing else is made.
    NativeSocket readEnd = kNoSocket;
    NativeSocket writeEnd = kNoSocket;
    if (!OpenWakeChannel(readEnd, writeEnd)) return kAddressLookupFailed;
    try {
        auto shared = std::make_shared<Shared>();
        shared->readEnd = readEnd;
        shared->writeEnd = writeEnd;
        readEnd = writeEnd = kNoSocket;
        shared->host = host;
        shared->port = port;
        if (!ResolverPool::Instance().Submit(shared)) {
            shared->CloseChannel();
            return kAddressLookupFailed;
        }
        shared_ = std::move(shared);
        return kNoError;
    } catch (...) {
        CloseWakeChannel(readEnd, writeEnd);
        return kAddressLookupFailed;
    }
}

NativeSocket PendingResolution::Descriptor() const noexcept {
    // Set once before the work is queued and closed only by this side.
    return shared_ ? shared_->readEnd : kNoSocket;
}

bool PendingResolution::Collect(uint32_t& code, AddressList& addresses) noexcept {
    if (!shared_) return false;
    {
        const std::lock_guard lock(shared_->mutex);
        if (!shared_->answered) return false;
        code = shared_->code;
        addresses = std::move(shared_->addresses);
    }
    Abandon();
    return true;
}

void PendingResolution::Abandon() noexcept {
    if (!shared_) return;
    {
        const std::lock_guard lock(shared_->mutex);
        shared_->abandoned = true;
        shared_->CloseChannel();
    }
    shared_.reset();
}

}  // namespace zv
