// The LAPACK calls of BNRC init on their own: 20,000 symmetric 20 x 20 matrices factored
// (dsytrf_) and inverted (dsytri_), split over 1 to 8 OpenMP threads, each thread with its own
// matrix, pivots and workspace, as init's table region does. It shows how the linked BLAS and
// LAPACK scale with threads apart from the page faults and memory traffic of init's tables: the
// reference code scales with the threads, an optimised BLAS that locks per call does not.
#include <benchmark/benchmark.h>
#include <omp.h>

#include <algorithm>
#include <random>
#include <vector>

#include "vlk_lapack.h"

namespace {

constexpr int kM = 20;
constexpr int kMatrices = 20000;

// A positive definite matrix (upper triangle) like B'B + n beta K: a random symmetric part and a
// dominant diagonal.
std::vector<double> base_matrix() {
  std::mt19937_64 gen(7);
  std::normal_distribution<double> normal;
  std::vector<double> a(kM * kM, 0.0);
  for (int j = 0; j < kM; ++j)
    for (int i = 0; i <= j; ++i) a[i + j * kM] = normal(gen);
  for (int i = 0; i < kM; ++i) a[i * (kM + 1)] += 2.0 * kM;
  return a;
}

// args: threads
void BM_FactorAndInvert(benchmark::State& state) {
  const int threads = static_cast<int>(state.range(0));
  const std::vector<double> base = base_matrix();
  double checksum = 0.0;
  for (auto _ : state) {
    double sum = 0.0;
#pragma omp parallel num_threads(threads) reduction(+ : sum)
    {
      double a[kM * kM];
      int ipiv[kM];
      double work[kM * 64];
      const int lwork = kM * 64;
      int info = 0;
#pragma omp for schedule(static)
      for (int k = 0; k < kMatrices; ++k) {
        std::copy(base.begin(), base.end(), a);
        a[0] += 1e-6 * (k % 100);
        dsytrf_("U", &kM, a, &kM, ipiv, work, &lwork, &info, 1);
        dsytri_("U", &kM, a, &kM, ipiv, work, &info, 1);
        sum += a[0];
      }
    }
    checksum = sum;
  }
  state.counters["checksum"] = checksum;  // equal at every thread count
  state.SetItemsProcessed(state.iterations() * kMatrices);
}
BENCHMARK(BM_FactorAndInvert)
    ->ArgName("threads")
    ->Arg(1)
    ->Arg(2)
    ->Arg(4)
    ->Arg(8)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
