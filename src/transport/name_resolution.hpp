// Finding the addresses of a host without holding up the caller: a numeric
// address is read at once, without the resolver; a name goes to the system's
// resolver on one of a few threads the library owns, started when first
// needed, and its answer wakes the waiting operation through a descriptor.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "transport/socket_seam.hpp"

namespace zv {

// One address to connect to, port included, with what a socket for it needs.
struct ResolvedAddress {
    std::array<uint8_t, 128> address{};  // a sockaddr of the family
    uint32_t length = 0;
    int family = 0;
    int socketType = 0;
    int protocol = 0;
};
// In the order they are tried: the IPv4 ones first, then the IPv6 ones,
// each group in the resolver's order.
using AddressList = std::vector<ResolvedAddress>;

// When host is a numeric IPv4 or IPv6 address, fills addresses with it and
// returns true; false for a name, which only the resolver can answer.
bool ResolveNumeric(const char* host, uint16_t port, AddressList& addresses) noexcept;

// The system resolver, blocking: 0 with addresses set, or 50 (no such host,
// or no address of a family we connect to) or 102 (the resolver failed).
uint32_t ResolveName(const char* host, uint16_t port, AddressList& addresses) noexcept;

// One name handed to the resolver threads. Abandoning it (or destroying it)
// closes its descriptor at once; the thread's answer is then dropped.
class PendingResolution {
public:
    PendingResolution() noexcept = default;
    ~PendingResolution() { Abandon(); }
    PendingResolution(const PendingResolution&) = delete;
    PendingResolution& operator=(const PendingResolution&) = delete;

    // Queues host. Returns 0, or 102 when no descriptor or no thread could
    // be had for it.
    uint32_t Start(const char* host, uint16_t port) noexcept;
    // Readable once the answer is in; kNoSocket when nothing is pending.
    NativeSocket Descriptor() const noexcept;
    // True once the answer is in, with code and addresses as ResolveName
    // gives them; nothing is pending then.
    bool Collect(uint32_t& code, AddressList& addresses) noexcept;
    void Abandon() noexcept;

    struct Shared;

private:
    std::shared_ptr<Shared> shared_;
};

}  // namespace zv
