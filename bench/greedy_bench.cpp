// One nucleus as the program runs it: 1,000 genes x 100 samples simulated from a sparse DAG
// with nonlinear links, the BNRC score at its default level, and one climb of greedy hill
// climbing version 1 ("hc", one trial) or version 2 ("hc2", one trial), at 1, 4 and 8 threads.
// VLK_BENCH_GENES sets another gene count (bench/hc2_load.sh runs a smaller nucleus many times).
//
// Each case reports the wall time of the whole search, the score calls per second, and the
// wall time the search's own section timer charges to the 1-to-1 table (sections "OTO") and
// to the climb (sections "HC"). The score is wrapped to count calls per thread.
#include <benchmark/benchmark.h>
#include <omp.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <numbers>
#include <vector>

#include "VLK_AlgoArgs.h"
#include "VLK_Greedy.h"
#include "VLK_Score.h"
#include "nucleus_bench.h"
#include "velkcom.h"

namespace {

constexpr int kMaxThreads = 8;

using vlk_bench::Counting;
using vlk_bench::counting_cache;
using vlk_bench::counting_score;
using vlk_bench::genes;
using vlk_bench::simulate;

vlk_bench::Nucleus& nucleus() {
  static vlk_bench::Nucleus n(kMaxThreads);
  return n;
}

Counting& counting() {
  static Counting c;
  c.inner = nucleus().bnrc;
  return c;
}

void run_search(benchmark::State& state, int version) {
  vlk_bench::Nucleus& nu = nucleus();
  Counting& count = counting();
  if (!nu.ready) {
    state.SkipWithError("the BNRC score module is not built");
    return;
  }
  const int threads = static_cast<int>(state.range(0));
  omp_set_num_threads(threads);
  double oto = 0.0, climb = 0.0, calls = 0.0, wall = 0.0, edges = 0.0;
  for (auto _ : state) {
    VLK_Score record = *nu.bnrc;
    record.score = counting_score;
    record.cache = counting_cache;
    record.state = &count;
    auto* score = static_cast<VLK_Score*>(std::malloc(sizeof(VLK_Score)));
    *score = record;
    count.reset();

    VLK_AlgoArgs* a = vlk_bench::search_args(nu.data, score);

    const double start = omp_get_wtime();
    VLK_Graph* g = version == 1 ? VLK_Greedy_exec(a) : VLK_Greedy_exec2(a);
    wall += omp_get_wtime() - start;
    benchmark::DoNotOptimize(g);

    const double* t = a->timer->times;
    oto += t[VLK_GREEDY_TIMER_OTO_SINGLE] + t[VLK_GREEDY_TIMER_OTO_PARALLEL];
    climb += vlk_bench::climb_seconds(a);
    calls += static_cast<double>(count.total());
    edges += static_cast<double>(VLK_Graph_num_edges(g));

    VLK_Graph_delete(g);
    vlk_bench::release_search_args(a);
  }
  const double runs = static_cast<double>(state.iterations());
  const double table_calls = static_cast<double>(genes()) * (genes() - 1);
  state.counters["calls/s"] = calls / wall;
  state.counters["oto_s"] = oto / runs;
  state.counters["climb_s"] = climb / runs;
  state.counters["oto_calls/s"] = table_calls * runs / oto;
  state.counters["climb_calls/s"] = (calls - table_calls * runs) / climb;
  state.counters["edges"] = edges / runs;
}

void BM_hc(benchmark::State& state) { run_search(state, 1); }
void BM_hc2(benchmark::State& state) { run_search(state, 2); }

BENCHMARK(BM_hc)->Arg(1)->Arg(4)->Arg(8)->Iterations(1)->UseRealTime()->Unit(benchmark::kSecond);
BENCHMARK(BM_hc2)->Arg(1)->Arg(4)->Arg(8)->Iterations(1)->UseRealTime()->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
