// What the operation benchmarks share: the in-process reference server on
// loopback, a credential-options record pointing at it, and an owner for the
// library's strings.
#pragma once

#include <cstdlib>
#include <memory>
#include <string>

#include "reference_server.hpp"
#include "zorvat.h"

namespace zvbench {

struct LibraryText {
    char* text = nullptr;
    ~LibraryText() { ZvFreeMemory(text); }
};

inline zv::server::ReferenceServer& BenchServer() {
    static const auto server = [] {
        auto started = std::make_unique<zv::server::ReferenceServer>(zv::server::ServerOptions{});
        if (!started->Start()) std::abort();
        return started;
    }();
    return *server;
}

inline std::string BenchCredentialOptions() {
    LibraryText record{ZvCreateCredentialOptions("127.0.0.1", "ACCOUNT", BenchServer().Port(),
                                                 "user", "password", "", "")};
    return record.text;
}

}  // namespace zvbench
