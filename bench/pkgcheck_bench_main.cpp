// How pkgcheck's stages grow with their input, in time and in peak memory.
// Run by hand after `cmake --preset bench && cmake --build --preset bench`:
// build/bench/bench/pkgcheck_bench.

#include <benchmark/benchmark.h>

BENCHMARK_MAIN();
