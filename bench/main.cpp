// The one main of zorvat_bench; the benchmarks register themselves.
#include <benchmark/benchmark.h>

BENCHMARK_MAIN();
