#include <benchmark/benchmark.h>

// The one main of sonari_bench; every other file here only registers benchmarks.
BENCHMARK_MAIN();
