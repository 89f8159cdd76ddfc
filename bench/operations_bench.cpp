// Whole operations through the public interface against the reference server
// on loopback, in the same process: a direct operation (key negotiation and
// request, two connections) and an operation inside a logged-in session (one
// connection). The server echoes the arguments, so the answer is about as long
// as the request.
#include <benchmark/benchmark.h>

#include <string>

#include "bench_server.hpp"
#include "zorvat.h"

namespace {

using zvbench::LibraryText;

constexpr int kSmall = 100;
constexpr int kLarge = 1048576;
constexpr uint8_t kEchoOperation = 20;  // an operation whose arguments pass untranslated

// Runs one operation and stops the benchmark with the message if it fails.
bool Succeeded(benchmark::State& state, char* answer, char* message) {
    LibraryText ownedAnswer{answer};
    LibraryText ownedMessage{message};
    if (answer == nullptr) state.SkipWithError(message != nullptr ? message : "no answer");
    return answer != nullptr;
}

void ReportRates(benchmark::State& state) {
    state.SetBytesProcessed(state.iterations() * state.range(0));
    state.counters["operations"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_DirectOperation(benchmark::State& state) {
    const std::string options = zvbench::BenchCredentialOptions();
    const std::string arguments(static_cast<std::size_t>(state.range(0)), 'x');
    for (auto _ : state) {
        char* message = nullptr;
        char* answer = ZvExecuteDirectOperation(&message, options.c_str(), kEchoOperation,
                                                arguments.c_str(), 1, 1, 0);
        if (!Succeeded(state, answer, message)) break;
    }
    ReportRates(state);
}
BENCHMARK(BM_DirectOperation)->Arg(kSmall)->Arg(kLarge)->UseRealTime();

void BM_SessionOperation(benchmark::State& state) {
    LibraryText initial{ZvCreateConnectionInfo(zvbench::BenchCredentialOptions().c_str(), 0)};
    char* record = initial.text;
    char* message = nullptr;
    if (!Succeeded(state, ZvExecutePersistentOperation(&message, &record, 1, "", 1, 1, 0),
                   message)) {
        return;
    }
    LibraryText session{record};
    const std::string arguments(static_cast<std::size_t>(state.range(0)), 'x');
    for (auto _ : state) {
        message = nullptr;
        char* answer = ZvExecutePersistentOperation(&message, &record, kEchoOperation,
                                                    arguments.c_str(), 1, 1, 0);
        if (!Succeeded(state, answer, message)) break;
    }
    message = nullptr;
    ZvFreeMemory(ZvExecutePersistentOperation(&message, &record, 8, "", 1, 1, 0));
    ZvFreeMemory(message);
    ReportRates(state);
}
BENCHMARK(BM_SessionOperation)->Arg(kSmall)->Arg(kLarge)->UseRealTime();

}  // namespace
