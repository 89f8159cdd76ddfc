// The library against the floor client (floor_client.hpp): both run the same
// operation, alternately, against one in-process reference server, and the
// library's client-side CPU time (CLOCK_THREAD_CPUTIME_ID of the calling
// thread) and wall time are reported as ratios to the floor's. The server
// echoes the arguments, so the answer is about as long as the request.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstring>
#include <functional>
#include <string>

#include "bench_server.hpp"
#include "floor_client.hpp"
#include "thread_cpu_time.hpp"
#include "zorvat.h"

namespace {

using zvbench::LibraryText;

constexpr uint8_t kEchoOperation = 20;  // an operation whose arguments pass untranslated

struct Spent {
    std::chrono::nanoseconds cpu{};
    std::chrono::nanoseconds wall{};
};

bool Timed(Spent& spent, const std::function<bool()>& run) {
    const auto cpu = zvbench::ThreadCpuTime();
    const auto wall = std::chrono::steady_clock::now();
    const bool done = run();
    spent.cpu += zvbench::ThreadCpuTime() - cpu;
    spent.wall += std::chrono::steady_clock::now() - wall;
    return done;
}

// True when the library answered; the answer is kept in *answer if given.
bool LibraryAnswered(char* answer, char* message, std::string* kept = nullptr) {
    LibraryText ownedAnswer{answer};
    LibraryText ownedMessage{message};
    if (answer != nullptr && kept != nullptr) *kept = answer;
    return answer != nullptr;
}

// Runs library and floor alternately, one operation each per iteration, and
// reports the ratios; an iteration's order alternates too, so that neither
// always meets a server just woken by the other.
void Alternate(benchmark::State& state, const std::function<bool()>& library,
               const std::function<bool()>& floor) {
    Spent libraryTime;
    Spent floorTime;
    bool libraryFirst = true;
    for (auto _ : state) {
        const bool done = libraryFirst ? Timed(libraryTime, library) && Timed(floorTime, floor)
                                       : Timed(floorTime, floor) && Timed(libraryTime, library);
        if (!done) {
            state.SkipWithError("an operation failed");
            return;
        }
        libraryFirst = !libraryFirst;
    }
    const auto perOperation = [&](std::chrono::nanoseconds total) {
        return std::chrono::duration<double, std::micro>(total).count() /
               static_cast<double>(state.iterations());
    };
    state.counters["lib_cpu_us"] = perOperation(libraryTime.cpu);
    state.counters["floor_cpu_us"] = perOperation(floorTime.cpu);
    state.counters["cpu_ratio"] = perOperation(libraryTime.cpu) / perOperation(floorTime.cpu);
    state.counters["wall_ratio"] = perOperation(libraryTime.wall) / perOperation(floorTime.wall);
    state.SetBytesProcessed(state.iterations() * state.range(0));
}

zvbench::FloorCredentials CredentialsOf(const std::string& options) {
    char** items = ZvExtractAllDataFromCredentialOptions(options.c_str());
    zvbench::FloorCredentials credentials{items[1], items[3], items[4],
                                          items[5], items[6], items[7]};
    ZvFreeMemoryStringArray(items, 8);
    return credentials;
}

void BM_LibraryVersusFloorDirect(benchmark::State& state) {
    const std::string options = zvbench::BenchCredentialOptions();
    const zvbench::FloorCredentials credentials = CredentialsOf(options);
    const zvbench::FloorClient floor(zvbench::BenchServer().Port());
    const std::string arguments(static_cast<std::size_t>(state.range(0)), 'x');
    Alternate(
        state,
        [&] {
            char* message = nullptr;
            return LibraryAnswered(
                ZvExecuteDirectOperation(&message, options.c_str(), kEchoOperation,
                                         arguments.c_str(), 1, 1, 0),
                message);
        },
        [&] { return floor.Direct(credentials, kEchoOperation, arguments, 1, 1).has_value(); });
}

void BM_LibraryVersusFloorSession(benchmark::State& state) {
    LibraryText initial{ZvCreateConnectionInfo(zvbench::BenchCredentialOptions().c_str(), 0)};
    char* record = initial.text;
    char* message = nullptr;
    if (!LibraryAnswered(ZvExecutePersistentOperation(&message, &record, 1, "", 1, 1, 0),
                         message)) {
        state.SkipWithError("the login failed");
        return;
    }
    const LibraryText session{record};
    // The floor works in the session the library logged in to.
    zvbench::FloorSession floorSession{};
    const LibraryText recordId{ZvExtractDataFromConnectionInfo(record, 8)};
    const LibraryText sessionId{ZvExtractDataFromConnectionInfo(record, 9)};
    const LibraryText key{ZvExtractDataFromConnectionInfo(record, 10)};
    if (recordId.text == nullptr || key.text == nullptr ||
        std::strlen(key.text) != zvbench::kFloorKeySize || sessionId.text == nullptr ||
        !zvbench::ParseFloorSessionId(sessionId.text, floorSession.sessionId)) {
        state.SkipWithError("the login left no usable session");
        return;
    }
    floorSession.recordId = recordId.text;
    std::memcpy(floorSession.key, key.text, zvbench::kFloorKeySize);
    const zvbench::FloorClient floor(zvbench::BenchServer().Port());
    const std::string arguments(static_cast<std::size_t>(state.range(0)), 'x');

    // Both must get the very same answer, or they did not do the same work.
    std::string libraryAnswer;
    message = nullptr;
    LibraryAnswered(
        ZvExecutePersistentOperation(&message, &record, kEchoOperation, arguments.c_str(), 1, 1, 0),
        message, &libraryAnswer);
    if (floor.InSession(floorSession, kEchoOperation, arguments, 1, 1) != libraryAnswer) {
        state.SkipWithError("the floor's answer differs from the library's");
        return;
    }
    Alternate(
        state,
        [&] {
            char* text = nullptr;
            return LibraryAnswered(ZvExecutePersistentOperation(&text, &record, kEchoOperation,
                                                                arguments.c_str(), 1, 1, 0),
                                   text);
        },
        [&] { return floor.InSession(floorSession, kEchoOperation, arguments, 1, 1).has_value(); });
    message = nullptr;
    ZvFreeMemory(ZvExecutePersistentOperation(&message, &record, 8, "", 1, 1, 0));
    ZvFreeMemory(message);
}

}  // namespace

// A fixed number of iterations for the largest size, where a time limit would
// allow only one or two.
BENCHMARK(BM_LibraryVersusFloorDirect)->Arg(100)->Arg(65536)->Arg(1048576)->MinTime(2.0);
BENCHMARK(BM_LibraryVersusFloorDirect)->Arg(8388608)->Iterations(8);
BENCHMARK(BM_LibraryVersusFloorSession)->Arg(100)->Arg(65536)->Arg(1048576)->MinTime(2.0);
BENCHMARK(BM_LibraryVersusFloorSession)->Arg(8388608)->Iterations(8);
