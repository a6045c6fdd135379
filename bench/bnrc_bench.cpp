// The BNRC score: the local score at level 3 (1, 2, 3 parents; 100 and 1000 samples; the default
// 21-value grid and the two-value "linear" grid) and the initialisation of a 1000-gene state at
// 1 to 8 threads.
//
// Floating-point operations are counted from each query's trial fits (bnrc_fixture.h). "bytes"
// counts the smoother matrices streamed (160n bytes per trial), the traffic that dominates.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

#include "VLK_BNRC.h"
#include "VLK_Data.h"
#include "VLK_KeyValues.h"
#include "bnrc_fixture.h"
#include "velkcom.h"

namespace {

using namespace bnrc_bench;

// args: samples, parents, linear grid (0/1)
void BM_Score(benchmark::State& state) {
  Fixture& f = fixture(static_cast<int>(state.range(0)), state.range(2) != 0);
  time_queries(state, f.bf, spread_queries(), static_cast<int>(state.range(1)), VLK_BNRC_score);
}
BENCHMARK(BM_Score)->ArgNames({"n", "q", "linear"})->ArgsProduct({{100, 1000}, {1, 2, 3}, {0, 1}});

// The same call on one query, all of whose smoothers stay in the cache.
void BM_ScoreCached(benchmark::State& state) {
  Fixture& f = fixture(static_cast<int>(state.range(0)), false);
  time_queries(state, f.bf, {Query{40, {20, 30, 5}}}, static_cast<int>(state.range(1)),
               VLK_BNRC_score);
}
BENCHMARK(BM_ScoreCached)->ArgNames({"n", "q"})->ArgsProduct({{100, 1000}, {1, 2, 3}});

// args: threads, linear grid (0/1). 1000 genes x 100 samples; the default grid stores
// 1000 * 21 smoothers of 20 x 100 values (336 MB) at level 3.
void BM_Init(benchmark::State& state) {
  const int threads = static_cast<int>(state.range(0));
  const bool linear = state.range(1) != 0;
  VLK_Data* d = simulated(1000, 100, 11);
  size_t used = 0;
  for (auto _ : state) {
    VLK_BNRCBuff* bf = make_state(d, linear ? "linear" : nullptr, threads, used);
    state.PauseTiming();
    VLK_BNRC_finalize(bf);
    state.ResumeTiming();
  }
  state.counters["MiB"] = static_cast<double>(used) / (1 << 20);
  VLK_Data_delete(d);
}
BENCHMARK(BM_Init)
    ->ArgNames({"threads", "linear"})
    ->ArgsProduct({{1, 2, 4, 8}, {0, 1}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  VLK_init();
  VELK_ERR = std::fopen("/dev/null", "w");  // the module's progress lines
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
