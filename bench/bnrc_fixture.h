// The simulated genes and the trial counting shared by the BNRC benchmarks.
//
// A score call walks each parent's grid until the criterion stops falling, in every backfitting
// sweep, so its work depends on the data. Before timing, each query is replayed with growing
// sweep limits to count its trial fits; a trial costs 20n multiply-adds for the smoother product
// L r, 4n for the banded product B g, n for the variance and 210 for g'Kg (one multiply-add
// counts as two floating-point operations).
#pragma once

#include <benchmark/benchmark.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <random>
#include <vector>

#include "VLK_BNRC.h"
#include "VLK_Data.h"
#include "VLK_KeyValues.h"

namespace bnrc_bench {

// p genes of n samples: the first third independent, each later gene a smooth function of two
// earlier ones plus noise.
inline VLK_Data* simulated(int p, int n, unsigned seed) {
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

inline VLK_BNRCBuff* make_state(VLK_Data* d, const char* options, int threads, size_t& used) {
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

inline uint64_t bits(double x) { return std::bit_cast<uint64_t>(x); }

// Trial fits of one call: the sweeps it runs, found by replaying with growing sweep limits, and
// in sweep s the walk of parent k, which accepted grid value h_k and then tried one more unless
// the grid ended.
inline long trials(VLK_BNRCBuff* bf, const Query& qr, int q) {
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

inline Fixture& fixture(int n, bool linear) {
  static Fixture cache[2][2];
  Fixture& f = cache[n == 1000][linear];
  if (f.bf == nullptr) {
    f.data = simulated(60, n, 7);
    size_t used = 0;
    f.bf = make_state(f.data, linear ? "linear" : nullptr, 1, used);
  }
  return f;
}

// 64 queries of a child and three parents over all 60 genes of a fixture, so that the
// smoothers come from memory as in a search.
inline std::vector<Query> spread_queries() {
  std::mt19937 gen(3);
  std::vector<Query> queries(64);
  for (Query& qr : queries) {
    std::vector<int> nodes(60);
    for (int v = 0; v < 60; ++v) nodes[v] = v;
    std::shuffle(nodes.begin(), nodes.end(), gen);
    qr.child = nodes[0];
    std::copy_n(nodes.begin() + 1, 3, qr.parents);
  }
  return queries;
}

// Floating-point operations of one call of `trials_per_call` trial fits at n samples.
inline double flops_per_call(double trials_per_call, int n) {
  return 2.0 * trials_per_call * (20.0 * n + 4.0 * n + n + 210.0);
}

using ScoreFn = double (*)(VLK_BNRCBuff*, int, int*, int);

// Times `score` on the queries in turn, each with its first q parents, and sets the counters: the
// trial fits per call, FLOP/s, and the bytes of the smoothers streamed (160n per trial).
inline void time_queries(benchmark::State& state, VLK_BNRCBuff* bf,
                         const std::vector<Query>& queries, int q, ScoreFn score) {
  long total_trials = 0;
  for (const Query& qr : queries) total_trials += trials(bf, qr, q);
  const double per_call = static_cast<double>(total_trials) / queries.size();
  size_t i = 0;
  int parents[3];
  for (auto _ : state) {
    const Query& qr = queries[i];
    if (++i == queries.size()) i = 0;
    std::copy_n(qr.parents, 3, parents);
    benchmark::DoNotOptimize(score(bf, qr.child, parents, q));
  }
  const int n = bf->n;
  state.counters["trials"] = per_call;
  state.counters["FLOP/s"] = benchmark::Counter(flops_per_call(per_call, n),
                                                benchmark::Counter::kIsIterationInvariantRate);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * per_call * 160.0 * n));
}

}  // namespace bnrc_bench
