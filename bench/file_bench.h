// What the benchmarks of file formats share: the size of a file written, the MB/s counters of a
// case that reads or writes a file of that size, and the timing of a case that runs once per
// repetition (five repetitions, since the machine may be busy; compare the "min" lines).
#pragma once

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "velkcom.h"

namespace file_bench {

inline size_t file_size(const std::string& path) {
  std::error_code ec;
  const auto n = std::filesystem::file_size(path, ec);
  return ec ? 0 : static_cast<size_t>(n);
}

// 10^6 bytes of file per second, and the file's size in the same unit.
inline void report(benchmark::State& state, size_t bytes) {
  state.counters["MB/s"] = benchmark::Counter(static_cast<double>(bytes) * 1e-6,
                                              benchmark::Counter::kIsIterationInvariantRate);
  state.counters["MB"] = static_cast<double>(bytes) * 1e-6;
}

// The names of the genes of the benchmarks' networks: "gene_<i>" with the alias "G<100000 + i>".
// Appended rather than "G" + ..., which GCC 12 at -O3 warns about wrongly (-Wrestrict).
inline std::string gene_name(int i) {
  std::string s = "gene_";
  return s += std::to_string(i);
}
inline std::string gene_alias(int i) {
  std::string s = "G";
  return s += std::to_string(100000 + i);
}

inline double min_of(const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); }

inline void timed(benchmark::internal::Benchmark* b) {
  b->Unit(benchmark::kMillisecond)
      ->Iterations(1)
      ->Repetitions(5)
      ->ComputeStatistics("min", min_of)
      ->UseRealTime();
}

// A benchmark program's main: the library's reports go nowhere (they would be timed), and the
// fixture is made before the first case so that no case's time holds it.
inline int run(int argc, char** argv, void (*prepare)()) {
  VLK_init();
  VELK_ERR = std::fopen("/dev/null", "w");
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  prepare();
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}

}  // namespace file_bench
