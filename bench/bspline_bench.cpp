// The fixed-size B-spline kernels (M = 20, degree 3) at the sample counts of typical data sets.
// Each case reports the time per call, the floating-point rate (a multiply-add counts as two
// operations) and the bytes of matrix and vector data it streams.
#include <benchmark/benchmark.h>

#include <cstddef>
#include <random>
#include <vector>

#include "BSpline.h"
#include "BSpline_kernels.h"

namespace {

constexpr int kM = 20;
constexpr int kP = 3;

// One variable's design matrix and the buffers of one smoothing fit.
struct Data {
  int n;
  std::vector<double> x, B, work, L, r, y, g, f, K, S, T;
  std::vector<int> Bindex;

  explicit Data(int n_) : n(n_) {
    std::mt19937_64 gen(42);
    std::normal_distribution<double> dist;
    const auto fill = [&](std::vector<double>& v, size_t size) {
      v.resize(size);
      for (double& e : v) e = dist(gen);
    };
    const size_t sn = static_cast<size_t>(n);
    fill(x, sn);
    fill(L, kM * sn);
    fill(r, sn);
    fill(y, sn);
    fill(g, kM);
    fill(S, kM * kM);
    B.resize(sn * (kP + 1));
    Bindex.resize(sn);
    work.resize(kM + 1 + sn * (kP + 1));
    f.resize(sn);
    T.resize(kM * kM);
    K.resize(kM * kM);
    BSpline_design_matrix(x.data(), n, B.data(), Bindex.data(), kM, kP, work.data());
    BSpline_K(kM, 2, K.data(), nullptr);
  }
};

void report(benchmark::State& state, double flops, double bytes) {
  state.counters["FLOP/s"] =
      benchmark::Counter(flops, benchmark::Counter::kIsIterationInvariantRate);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
}

// g = L r: the smoother product that dominates a score call.
void BM_Mv20(benchmark::State& state) {
  Data d(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    BSpline_Mv20(d.n, d.L.data(), d.r.data(), d.g.data());
    benchmark::DoNotOptimize(d.g.data());
    benchmark::ClobberMemory();
  }
  report(state, 2.0 * kM * d.n, 8.0 * (kM + 1) * d.n);
}

void BM_Mv20L(benchmark::State& state) {
  Data d(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    BSpline_Mv20L(d.n, d.L.data(), d.r.data(), d.g.data());
    benchmark::DoNotOptimize(d.g.data());
    benchmark::ClobberMemory();
  }
  report(state, 2.0 * kM * d.n, 8.0 * (kM + 1) * d.n);
}

// f = B g.
void BM_Bx3(benchmark::State& state) {
  Data d(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    BSpline_Bx3(d.B.data(), d.Bindex.data(), d.g.data(), d.n, d.f.data());
    benchmark::DoNotOptimize(d.f.data());
    benchmark::ClobberMemory();
  }
  report(state, 2.0 * (kP + 1) * d.n, (8.0 * (kP + 1) + 4 + 8) * d.n);
}

void BM_Bx3_var(benchmark::State& state) {
  Data d(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        BSpline_Bx3_var(d.B.data(), d.Bindex.data(), d.g.data(), d.n, d.f.data(), d.y.data()));
    benchmark::ClobberMemory();
  }
  report(state, (2.0 * (kP + 1) + 3) * d.n, (8.0 * (kP + 1) + 4 + 16) * d.n);
}

void BM_var(benchmark::State& state) {
  Data d(static_cast<int>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(BSpline_var(d.n, d.y.data(), d.r.data()));
  report(state, 3.0 * d.n, 16.0 * d.n);
}

// The roughness g'Kg and the copy of B'B: independent of n.
void BM_gKg20L(benchmark::State& state) {
  Data d(1);
  for (auto _ : state) {
    benchmark::DoNotOptimize(BSpline_gKg20L(d.K.data(), d.g.data()));
    benchmark::ClobberMemory();
  }
  report(state, 2.0 * kM * (kM + 1) / 2 + 2.0 * kM, 8.0 * kM * (kM + 1) / 2);
}

void BM_gKg20(benchmark::State& state) {
  Data d(1);
  for (auto _ : state) {
    benchmark::DoNotOptimize(BSpline_gKg20(d.K.data(), d.g.data()));
    benchmark::ClobberMemory();
  }
  report(state, 2.0 * kM * (kM + 1) / 2 + 2.0 * kM, 8.0 * kM * (kM + 1) / 2);
}

void BM_dsycopy20(benchmark::State& state) {
  Data d(1);
  for (auto _ : state) {
    BSpline_dsycopy20(d.S.data(), d.T.data());
    benchmark::DoNotOptimize(d.T.data());
    benchmark::ClobberMemory();
  }
  report(state, 0.0, 16.0 * kM * (kM + 1) / 2);
}

// The products of the table computation: B'B and S B'.
void BM_syBtB(benchmark::State& state) {
  Data d(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    BSpline_syBtB(d.B.data(), d.Bindex.data(), d.n, kM, kP, d.T.data());
    benchmark::DoNotOptimize(d.T.data());
    benchmark::ClobberMemory();
  }
  report(state, 2.0 * (kP + 1) * (kP + 2) / 2 * d.n, (8.0 * (kP + 1) + 4) * d.n);
}

void BM_syMBt(benchmark::State& state) {
  Data d(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    BSpline_syMBt(d.S.data(), d.B.data(), d.Bindex.data(), d.n, kM, kP, d.L.data());
    benchmark::DoNotOptimize(d.L.data());
    benchmark::ClobberMemory();
  }
  report(state, 2.0 * kM * (kP + 1) * d.n, (8.0 * (kM + kP + 1) + 4) * d.n);
}

// The smoother matrix B L of the edge properties (n x n).
void BM_BM(benchmark::State& state) {
  Data d(static_cast<int>(state.range(0)));
  std::vector<double> H(static_cast<size_t>(d.n) * d.n);
  for (auto _ : state) {
    BSpline_BM(d.B.data(), d.Bindex.data(), d.L.data(), d.n, kM, kP, H.data());
    benchmark::DoNotOptimize(H.data());
    benchmark::ClobberMemory();
  }
  report(state, 2.0 * (kP + 1) * d.n * d.n, 8.0 * d.n * d.n + 8.0 * kM * d.n);
}

void BM_design_matrix(benchmark::State& state) {
  Data d(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    BSpline_design_matrix(d.x.data(), d.n, d.B.data(), d.Bindex.data(), kM, kP, d.work.data());
    benchmark::DoNotOptimize(d.B.data());
    benchmark::ClobberMemory();
  }
  report(state, 0.0, (8.0 + 8.0 * 2 * (kP + 1) + 4) * d.n);
}

}  // namespace

BENCHMARK(BM_Mv20)->Arg(100)->Arg(1000);
BENCHMARK(BM_Mv20L)->Arg(100)->Arg(1000);
BENCHMARK(BM_Bx3)->Arg(100)->Arg(1000);
BENCHMARK(BM_Bx3_var)->Arg(100)->Arg(1000);
BENCHMARK(BM_var)->Arg(100)->Arg(1000);
BENCHMARK(BM_gKg20L);
BENCHMARK(BM_gKg20);
BENCHMARK(BM_dsycopy20);
BENCHMARK(BM_syBtB)->Arg(100)->Arg(1000);
BENCHMARK(BM_syMBt)->Arg(100)->Arg(1000);
BENCHMARK(BM_BM)->Arg(100)->Arg(1000);
BENCHMARK(BM_design_matrix)->Arg(100)->Arg(1000);

BENCHMARK_MAIN();
