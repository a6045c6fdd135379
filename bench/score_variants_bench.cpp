// The fused level-3 score of "BNRC2" against the plain BNRC score (1, 2, 3 parents; 100 and 1000
// samples; the default and the "linear" grid; smoothers streamed from memory over 60 genes, or one
// query whose smoothers stay in the cache), and the calls per second of the discrete BDe score at
// 200 samples.
//
// Rows come in pairs, fused:0 (VLK_BNRC_score) and fused:1 (VLK_BNRC_score2), on the same state
// and the same queries; FLOP/s counts the trial fits of each query (bnrc_fixture.h).
//
// Why the fused kernel gains little: every trial fit streams one smoother (20n doubles) and forms
// the band product B g and g'Kg, in both paths alike; fusing removes only passes over vectors of
// n held in the first-level cache (the variance's second read, the copies of accepted fits, one
// residual update per parent). BM_SmootherProduct and BM_TrialRest time those shared parts
// alone.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <vector>

#include "BSpline_kernels.h"
#include "VLK_BDE.h"
#include "VLK_BNRC.h"
#include "VLK_Data.h"
#include "bnrc_fixture.h"
#include "velkcom.h"

namespace {

using namespace bnrc_bench;

// args: samples, parents, linear grid (0/1), one cached query (0/1), fused (0/1)
void BM_Bnrc(benchmark::State& state) {
  Fixture& f = fixture(static_cast<int>(state.range(0)), state.range(2) != 0);
  const std::vector<Query> queries =
      state.range(3) != 0 ? std::vector<Query>{Query{40, {20, 30, 5}}} : spread_queries();
  time_queries(state, f.bf, queries, static_cast<int>(state.range(1)),
               state.range(4) != 0 ? VLK_BNRC_score2 : VLK_BNRC_score);
}
BENCHMARK(BM_Bnrc)
    ->ArgNames({"n", "q", "linear", "cached", "fused"})
    ->ArgsProduct({{100, 1000}, {1, 2, 3}, {0, 1}, {0, 1}, {0, 1}});

// The floor under both paths: the product L r alone, over the smoothers a grid walk streams
// (the first `count` grid values of two parents, in turn), next to the other steps of one trial.
// args: samples, smoothers per parent
void BM_SmootherProduct(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const size_t count = static_cast<size_t>(state.range(1));
  Fixture& f = fixture(n, false);
  std::vector<double> r(static_cast<size_t>(n), 0.5), g(20);
  const double* L[2] = {f.bf->Lambda_inv_Bt[20], f.bf->Lambda_inv_Bt[30]};
  size_t i = 0;
  for (auto _ : state) {
    const size_t k = i++ % (2 * count);
    BSpline_Mv20(n, L[k / count] + (k % count) * 20 * static_cast<size_t>(n), r.data(), g.data());
    benchmark::DoNotOptimize(g.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * 160.0 * n));
}
BENCHMARK(BM_SmootherProduct)->ArgNames({"n", "smoothers"})->ArgsProduct({{100, 1000}, {1, 4, 9}});

// The rest of a plain trial: the band product with the variance, and the penalty.
void BM_TrialRest(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  Fixture& f = fixture(n, false);
  std::vector<double> r(static_cast<size_t>(n), 0.5), g(20, 0.1), out(static_cast<size_t>(n));
  const bool band = state.range(1) != 0;
  for (auto _ : state) {
    if (band)
      benchmark::DoNotOptimize(
          BSpline_Bx3_var(f.bf->B[20], f.bf->Bindex[20], g.data(), n, out.data(), r.data()));
    else
      benchmark::DoNotOptimize(BSpline_gKg20L(f.bf->K, g.data()));
  }
}
BENCHMARK(BM_TrialRest)->ArgNames({"n", "band"})->ArgsProduct({{100, 1000}, {0, 1}});

// 40 nodes of 200 samples with 3 states each: the first ten independent, each later one a noisy
// function of two earlier ones, so that parent sets meet many configurations.
VLK_Data* discrete(int p, int m, unsigned seed) {
  VLK_Data* d = VLK_Data_new();
  d->p = p;
  d->n = m;
  d->X = static_cast<double*>(std::malloc(sizeof(double) * static_cast<size_t>(p) * m));
  d->Y = d->X;
  std::mt19937 gen(seed);
  for (int v = 0; v < p; ++v)
    for (int s = 0; s < m; ++s) {
      double& x = d->X[static_cast<size_t>(v) * m + s];
      if (v < 10 || gen() % 5 == 0) {
        x = static_cast<double>(gen() % 3);
      } else {
        const double a = d->X[static_cast<size_t>(v / 2) * m + s];
        const double b = d->X[static_cast<size_t>(v / 3) * m + s];
        x = static_cast<double>((static_cast<int>(a) + static_cast<int>(b)) % 3);
      }
    }
  return d;
}

// args: parents
void BM_Bde(benchmark::State& state) {
  const int q = static_cast<int>(state.range(0));
  VLK_Data* d = discrete(40, 200, 5);
  VLK_ScoreArgs args{nullptr, 3, size_t{64} << 20, 0, 1, 0, -1};
  BDEBuff* bf = BDE_init(d, &args);
  std::mt19937 gen(7);
  std::vector<std::vector<int>> sets(64);
  std::vector<int> children(64);
  for (size_t i = 0; i < sets.size(); ++i) {
    std::vector<int> nodes(40);
    for (int v = 0; v < 40; ++v) nodes[v] = v;
    std::shuffle(nodes.begin(), nodes.end(), gen);
    children[i] = nodes[0];
    sets[i].assign(nodes.begin() + 1, nodes.begin() + 1 + q);
  }
  size_t i = 0;
  for (auto _ : state) {
    const size_t k = i++ & 63;
    benchmark::DoNotOptimize(BDE_score(bf, children[k], sets[k].data(), q));
  }
  state.SetItemsProcessed(state.iterations());
  BDE_finalize(bf);
  VLK_Data_delete(d);
}
BENCHMARK(BM_Bde)->ArgName("q")->DenseRange(1, 3);

}  // namespace

int main(int argc, char** argv) {
  VLK_init();
  VELK_ERR = std::fopen("/dev/null", "w");  // the modules' progress lines
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
