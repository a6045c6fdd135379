// The BNRC score: the local score at level 3 (1, 2, 3 parents; 100 and 1000 samples; the default
// 21-value grid and the two-value "linear" grid) and the initialisation of a 1000-gene state at
// 1 to 8 threads.
//
// A score call walks each parent's grid until the criterion stops falling, in every backfitting
// sweep, so its work depends on the data. Before timing, each query is replayed with growing
// sweep limits to count its trial fits; a trial costs 20n multiply-adds for the smoother product
// L r, 4n for the banded product B g, n for the variance and 210 for g'Kg (one multiply-add
// counts as two floating-point operations). "bytes" counts the smoother matrices streamed
// (160n bytes per trial), the traffic that dominates.
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
#include "velkcom.h"

namespace {

// p genes of n samples: the first third independent, each later gene a smooth function of two
// earlier ones plus noise.
VLK_Data* simulated(int p, int n, unsigned seed) {
  VLK_Data* d = VLK_Data_new();
  d->p = p;
  d->n = n;
  d->X = static_cast<double*>(std::malloc(sizeof(double) * static_cast<size_t>(p) * n));
  d->Y = d->X;
  std::mt19937_64 gen(seed);
  std::normal_distribution<double> normal;
  for (int v = 0; v < p; ++v) {
    double* x = d->X + static_cast<size_t>(v) * n;
    const int a = v / 3, b = v / 2;
    for (int s = 0; s < n; ++s) {
      if (v < p / 3) {
        x[s] = normal(gen);
      } else {
        const double xa = d->X[static_cast<size_t>(a) * n + s];
        const double xb = d->X[static_cast<size_t>(b) * n + s];
        x[s] = std::sin(1.5 * xa) + 0.5 * xb * xb + 0.3 * normal(gen);
      }
    }
  }
  return d;
}

VLK_BNRCBuff* make_state(VLK_Data* d, const char* options, int threads, size_t& used) {
  VLK_KeyValues* kv = options ? VLK_KeyValues_parse(options) : nullptr;
  VLK_ScoreArgs args{kv, 3, size_t{4} << 30, 0, threads, 0, -1};
  VLK_BNRCBuff* bf = VLK_BNRC_init(d, &args);
  used = args.used_memory;
  VLK_KeyValues_delete(kv);
  return bf;
}

struct Query {
  int child;
  int parents[3];
};

uint64_t bits(double x) { return std::bit_cast<uint64_t>(x); }

// Trial fits of one call: the sweeps it runs, found by replaying with growing sweep limits, and
// in sweep s the walk of parent k, which accepted grid value h_k and then tried one more unless
// the grid ended.
long trials(VLK_BNRCBuff* bf, const Query& qr, int q) {
  int parents[3];
  std::copy_n(qr.parents, q, parents);
  const double full = VLK_BNRC_score(bf, qr.child, parents, q);
  const size_t limit = bf->max_sweeps;
  long total = 0;
  for (size_t s = 1; s <= limit; ++s) {
    bf->max_sweeps = s;
    const double part = VLK_BNRC_score(bf, qr.child, parents, q);
    for (int k = 0; k < q; ++k) total += std::min(bf->beta_jk[0][k] + 2, bf->hyper_num);
    if (q == 1 || bits(part) == bits(full)) break;
  }
  bf->max_sweeps = limit;
  return total;
}

// One data set and state per sample count and grid, shared by the cases.
struct Fixture {
  VLK_Data* data = nullptr;
  VLK_BNRCBuff* bf = nullptr;
  ~Fixture() {
    if (bf) VLK_BNRC_finalize(bf);
    VLK_Data_delete(data);
  }
};

Fixture& fixture(int n, bool linear) {
  static Fixture cache[2][2];
  Fixture& f = cache[n == 1000][linear];
  if (f.bf == nullptr) {
    f.data = simulated(60, n, 7);
    size_t used = 0;
    f.bf = make_state(f.data, linear ? "linear" : nullptr, 1, used);
  }
  return f;
}

// args: samples, parents, linear grid (0/1)
void BM_Score(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const int q = static_cast<int>(state.range(1));
  Fixture& f = fixture(n, state.range(2) != 0);
  // Queries over all 60 genes, so the smoothers come from memory as in a search.
  std::mt19937 gen(3);
  std::vector<Query> queries(64);
  for (Query& qr : queries) {
    std::vector<int> nodes(60);
    for (int v = 0; v < 60; ++v) nodes[v] = v;
    std::shuffle(nodes.begin(), nodes.end(), gen);
    qr.child = nodes[0];
    std::copy_n(nodes.begin() + 1, 3, qr.parents);
  }
  long total_trials = 0;
  for (const Query& qr : queries) total_trials += trials(f.bf, qr, q);
  const double per_call = static_cast<double>(total_trials) / queries.size();

  size_t i = 0;
  int parents[3];
  for (auto _ : state) {
    const Query& qr = queries[i++ & 63];
    std::copy_n(qr.parents, 3, parents);
    benchmark::DoNotOptimize(VLK_BNRC_score(f.bf, qr.child, parents, q));
  }
  const double flops = 2.0 * per_call * (20.0 * n + 4.0 * n + n + 210.0);
  state.counters["trials"] = per_call;
  state.counters["FLOP/s"] =
      benchmark::Counter(flops, benchmark::Counter::kIsIterationInvariantRate);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * per_call * 160.0 * n));
}
BENCHMARK(BM_Score)->ArgNames({"n", "q", "linear"})->ArgsProduct({{100, 1000}, {1, 2, 3}, {0, 1}});

// The same call on one query, all of whose smoothers stay in the cache.
void BM_ScoreCached(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const int q = static_cast<int>(state.range(1));
  Fixture& f = fixture(n, false);
  const Query qr{40, {20, 30, 5}};
  const double per_call = static_cast<double>(trials(f.bf, qr, q));
  int parents[3];
  for (auto _ : state) {
    std::copy_n(qr.parents, 3, parents);
    benchmark::DoNotOptimize(VLK_BNRC_score(f.bf, qr.child, parents, q));
  }
  const double flops = 2.0 * per_call * (20.0 * n + 4.0 * n + n + 210.0);
  state.counters["trials"] = per_call;
  state.counters["FLOP/s"] =
      benchmark::Counter(flops, benchmark::Counter::kIsIterationInvariantRate);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * per_call * 160.0 * n));
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
