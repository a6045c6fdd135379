#include "BSpline_kernels.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstring>
#include <limits>
#include <utility>

// The hot kernels carry a second body for CPUs with 256-bit vectors and FMA, chosen once when
// the program is loaded.
#if defined(__x86_64__) && defined(__ELF__) && defined(__GNUC__) && !defined(__clang__)
#define VLK_SIMD_CLONES __attribute__((target_clones("arch=x86-64-v3", "default")))
#else
#define VLK_SIMD_CLONES
#endif

namespace {

using std::size_t;

constexpr int kM20 = 20;

// Four doubles in one vector register (two on targets without 256-bit registers). Every function
// returning one is internal and inlined, so the warning on the vector calling convention does not
// concern this file; store takes its vector by reference because GCC 12 prints its note on a
// by-value vector parameter even under the pragma.
#pragma GCC diagnostic ignored "-Wpsabi"
using v4 = double __attribute__((vector_size(4 * sizeof(double))));
inline v4 load(const double* p) {
  v4 r;
  std::memcpy(&r, p, sizeof r);
  return r;
}
inline void store(double* p, const v4& x) { std::memcpy(p, &x, sizeof x); }
inline v4 broadcast(double x) { return v4{x, x, x, x}; }

// Sizes are template arguments where the inner loops profit from knowing them (degree 3, and
// M = 20 for the M-long loops); -1 / 0 select the run-time value.
template <int P>
constexpr int degree(int p) {
  return P >= 0 ? P : p;
}

template <int P>
void syBtB(const double* __restrict B, const int* __restrict Bindex, int n, int M, int p_rt,
           double* __restrict S) {
  const int p = degree<P>(p_rt);
  const size_t w = static_cast<size_t>(p) + 1;
  const size_t ld = static_cast<size_t>(M);
  // Two basis functions more than p apart never overlap: their entries are zero without a sum.
  for (size_t b = 0; b < ld; ++b) std::fill_n(S + b * ld, b + 1, 0.0);
  for (int j = 0; j < n; ++j) {
    const double* row = B + j * w;
    double* diag = S + static_cast<size_t>(Bindex[j]) * (ld + 1);
    for (size_t m2 = 0; m2 < w; ++m2) {
      const double v2 = row[m2];
      double* col = diag + m2 * ld;
      for (size_t m1 = 0; m1 <= m2; ++m1) col[m1] += row[m1] * v2;
    }
  }
}

// Largest M for which syMBt expands S into a full matrix on the stack.
constexpr int kFullMax = 32;

void syMBt_full(const double* __restrict S, const double* __restrict B,
                const int* __restrict Bindex, int n, int M_rt, int p, double* __restrict out) {
  const size_t M = static_cast<size_t>(M_rt);
  const size_t w = static_cast<size_t>(p) + 1;
  // Both triangles, so that every column of S is one contiguous read.
  std::array<double, kFullMax * kFullMax> full;
  for (size_t c = 0; c < M; ++c)
    for (size_t r = 0; r <= c; ++r) full[r + c * M] = full[c + r * M] = S[r + c * M];
  for (int j = 0; j < n; ++j) {
    const double* row = B + j * w;
    const double* cols = full.data() + static_cast<size_t>(Bindex[j]) * M;
    double* o = out + j * M;
    for (size_t a = 0; a < M; ++a) {
      double s = 0.0;
      for (size_t m = 0; m < w; ++m) s += cols[a + m * M] * row[m];
      o[a] = s;
    }
  }
}

// M = 20, degree 3: every output column is four columns of S combined, five vectors long.
VLK_SIMD_CLONES void syMBt20(const double* __restrict S, const double* __restrict B,
                             const int* __restrict Bindex, int n, double* __restrict out) {
  double full[kM20 * kM20];
  for (size_t c = 0; c < kM20; ++c)
    for (size_t r = 0; r <= c; ++r) full[r + c * kM20] = full[c + r * kM20] = S[r + c * kM20];
  for (int j = 0; j < n; ++j) {
    const double* row = B + 4 * static_cast<size_t>(j);
    const double* c0 = full + static_cast<size_t>(Bindex[j]) * kM20;
    const v4 b0 = broadcast(row[0]), b1 = broadcast(row[1]);
    const v4 b2 = broadcast(row[2]), b3 = broadcast(row[3]);
    double* o = out + static_cast<size_t>(j) * kM20;
#pragma GCC unroll 5
    for (int q = 0; q < 5; ++q) {
      const double* c = c0 + 4 * q;
      store(o + 4 * q,
            load(c) * b0 + load(c + kM20) * b1 + load(c + 2 * kM20) * b2 + load(c + 3 * kM20) * b3);
    }
  }
}

void syMBt_upper(const double* S, const double* B, const int* Bindex, int n, int M, int p,
                 double* out) {
  const size_t ld = static_cast<size_t>(M);
  const size_t w = static_cast<size_t>(p) + 1;
  for (int j = 0; j < n; ++j) {
    const double* row = B + j * w;
    double* o = out + j * ld;
    for (size_t a = 0; a < ld; ++a) {
      double s = 0.0;
      for (size_t m = 0; m < w; ++m) {
        const size_t c = static_cast<size_t>(Bindex[j]) + m;
        s += S[std::min(a, c) + std::max(a, c) * ld] * row[m];
      }
      o[a] = s;
    }
  }
}

template <int P>
void BM(const double* __restrict B, const int* __restrict Bindex, const double* __restrict A, int n,
        int lda, int p_rt, double* __restrict out) {
  const int p = degree<P>(p_rt);
  const size_t w = static_cast<size_t>(p) + 1;
  const size_t rows = static_cast<size_t>(n);
  for (size_t k = 0; k < rows; ++k) {
    const double* a = A + k * static_cast<size_t>(lda);
    double* o = out + k * rows;
    for (size_t j = 0; j < rows; ++j) {
      const double* row = B + j * w;
      const double* x = a + Bindex[j];
      double s = 0.0;
      for (size_t m = 0; m < w; ++m) s += row[m] * x[m];
      o[j] = s;
    }
  }
}

template <int P>
void Bx(const double* __restrict B, const int* __restrict Bindex, const double* __restrict x, int n,
        int p_rt, double* __restrict out) {
  const int p = degree<P>(p_rt);
  const size_t w = static_cast<size_t>(p) + 1;
  for (int j = 0; j < n; ++j) {
    const double* row = B + j * w;
    const double* c = x + Bindex[j];
    double s = 0.0;
    for (size_t m = 0; m < w; ++m) s += row[m] * c[m];
    out[j] = s;
  }
}

// g'Kg from the upper triangle: the diagonal terms plus twice g[j] times the dot product of the
// strict upper part of column j with g. Each column's dot product uses whole vectors over rows
// 0 .. 4*(j/4) - 1 and scalars for the rest, so no element at or below the diagonal is read.
// The running sums are spread over four accumulators, by column, to keep the adds independent.
template <size_t J>
[[gnu::always_inline]] inline void gKg_column(const double* __restrict K,
                                              const double* __restrict g, v4* acc, double* diag) {
  const double* col = K + J * kM20;
  constexpr size_t kFull = J / 4;
  v4 t = {};
  [&]<size_t... Q>(std::index_sequence<Q...>) [[gnu::always_inline]] {
    ((t += load(col + 4 * Q) * load(g + 4 * Q)), ...);
  }
  (std::make_index_sequence<kFull>{});
  double r = 0.0;
  [&]<size_t... I>(std::index_sequence<I...>) [[gnu::always_inline]] {
    ((r += col[4 * kFull + I] * g[4 * kFull + I]), ...);
  }
  (std::make_index_sequence<J - 4 * kFull>{});
  acc[J % 4] += t * broadcast(g[J]);
  diag[J % 4] += g[J] * (col[J] * g[J] + 2.0 * r);
}

template <size_t... J>
[[gnu::always_inline]] inline double gKg_unrolled(const double* K, const double* g,
                                                  std::index_sequence<J...>) {
  v4 acc[4] = {};
  double diag[4] = {};
  (gKg_column<J>(K, g, acc, diag), ...);
  const v4 a = (acc[0] + acc[1]) + (acc[2] + acc[3]);
  return ((diag[0] + diag[1]) + (diag[2] + diag[3])) + 2.0 * ((a[0] + a[1]) + (a[2] + a[3]));
}

// Copies column J's J + 1 upper elements; the length is a constant, so the copy is inlined.
template <size_t... J>
inline void sycopy_unrolled(const double* __restrict src, double* __restrict dst,
                            std::index_sequence<J...>) {
  (std::memcpy(dst + J * kM20, src + J * kM20, (J + 1) * sizeof(double)), ...);
}

}  // namespace

void BSpline_syBtB(const double* B, const int* Bindex, int n, int M, int p, double* S) {
  if (p == 3)
    syBtB<3>(B, Bindex, n, M, p, S);
  else
    syBtB<-1>(B, Bindex, n, M, p, S);
}

void BSpline_syMBt(const double* S, const double* B, const int* Bindex, int n, int M, int p,
                   double* out) {
  if (M == kM20 && p == 3)
    syMBt20(S, B, Bindex, n, out);
  else if (M <= kFullMax)
    syMBt_full(S, B, Bindex, n, M, p, out);
  else
    syMBt_upper(S, B, Bindex, n, M, p, out);
}

void BSpline_BM(const double* B, const int* Bindex, const double* A, int n, int lda, int p,
                double* out) {
  if (p == 3)
    BM<3>(B, Bindex, A, n, lda, p, out);
  else
    BM<-1>(B, Bindex, A, n, lda, p, out);
}

void BSpline_Bx(const double* B, const int* Bindex, const double* x, int n, int /*M*/, int p,
                double* out) {
  if (p == 3)
    Bx<3>(B, Bindex, x, n, p, out);
  else
    Bx<-1>(B, Bindex, x, n, p, out);
}

VLK_SIMD_CLONES void BSpline_Bx3(const double* __restrict B, const int* __restrict Bindex,
                                 const double* __restrict x, int n, double* __restrict out) {
  // Four samples at a time: each row of the band against its four coefficients, then the four
  // dot products reduced together.
  int j = 0;
  for (; j + 3 < n; j += 4) {
    const double* row = B + 4 * static_cast<size_t>(j);
    const v4 p0 = load(row) * load(x + Bindex[j]);
    const v4 p1 = load(row + 4) * load(x + Bindex[j + 1]);
    const v4 p2 = load(row + 8) * load(x + Bindex[j + 2]);
    const v4 p3 = load(row + 12) * load(x + Bindex[j + 3]);
    const v4 t0 =
        __builtin_shufflevector(p0, p1, 0, 4, 2, 6) + __builtin_shufflevector(p0, p1, 1, 5, 3, 7);
    const v4 t1 =
        __builtin_shufflevector(p2, p3, 0, 4, 2, 6) + __builtin_shufflevector(p2, p3, 1, 5, 3, 7);
    store(out + j, __builtin_shufflevector(t0, t1, 0, 1, 4, 5) +
                       __builtin_shufflevector(t0, t1, 2, 3, 6, 7));
  }
  for (; j < n; ++j) {
    const double* row = B + 4 * static_cast<size_t>(j);
    const double* c = x + Bindex[j];
    out[j] = (row[0] * c[0] + row[1] * c[1]) + (row[2] * c[2] + row[3] * c[3]);
  }
}

double BSpline_Bx3_var(const double* B, const int* Bindex, const double* x, int n, double* out,
                       const double* y) {
  BSpline_Bx3(B, Bindex, x, n, out);
  return BSpline_var(n, y, out);
}

VLK_SIMD_CLONES double BSpline_var(int n, const double* __restrict y,
                                   const double* __restrict yhat) {
  if (n < 1) return std::numeric_limits<double>::quiet_NaN();
  v4 acc0 = {}, acc1 = {};
  int i = 0;
  for (; i + 7 < n; i += 8) {
    const v4 d0 = load(y + i) - load(yhat + i);
    const v4 d1 = load(y + i + 4) - load(yhat + i + 4);
    acc0 += d0 * d0;
    acc1 += d1 * d1;
  }
  const v4 acc = acc0 + acc1;
  double s = (acc[0] + acc[1]) + (acc[2] + acc[3]);
  for (; i < n; ++i) {
    const double d = y[i] - yhat[i];
    s += d * d;
  }
  return s / n;
}

VLK_SIMD_CLONES void BSpline_Mv20(int n, const double* __restrict A, const double* __restrict v,
                                  double* __restrict out) {
  // Two sets of accumulators, so that consecutive columns do not wait on each other's adds.
  v4 acc0[5] = {};
  v4 acc1[5] = {};
  const size_t cols = n > 0 ? static_cast<size_t>(n) : 0;
  size_t j = 0;
  for (; j + 1 < cols; j += 2) {
    const double* a = A + j * kM20;
    const v4 v0 = broadcast(v[j]);
    const v4 v1 = broadcast(v[j + 1]);
#pragma GCC unroll 5
    for (int q = 0; q < 5; ++q) {
      acc0[q] += load(a + 4 * q) * v0;
      acc1[q] += load(a + kM20 + 4 * q) * v1;
    }
  }
  if (j < cols) {
    const double* a = A + j * kM20;
    const v4 v0 = broadcast(v[j]);
#pragma GCC unroll 5
    for (int q = 0; q < 5; ++q) acc0[q] += load(a + 4 * q) * v0;
  }
#pragma GCC unroll 5
  for (int q = 0; q < 5; ++q) store(out + 4 * q, acc0[q] + acc1[q]);
}

void BSpline_Mv20L(int n, const double* A, const double* v, double* out) {
  for (int k = 0; k < kM20; ++k) {
    double s = 0.0;
    for (int j = 0; j < n; ++j) s += A[k + static_cast<size_t>(j) * kM20] * v[j];
    out[k] = s;
  }
}

void BSpline_dxmy(int n, double* __restrict x, const double* __restrict y) {
  for (int i = 0; i < n; ++i) x[i] -= y[i];
}

VLK_SIMD_CLONES double BSpline_gKg20L(const double* __restrict K, const double* __restrict g) {
  // The same sums as the unrolled form, as loops.
  v4 acc[4] = {};
  double diag[4] = {};
#pragma GCC unroll 20
  for (int j = 0; j < kM20; ++j) {
    const double* col = K + j * kM20;
    const int full = j / 4;
    v4 t = {};
    for (int q = 0; q < full; ++q) t += load(col + 4 * q) * load(g + 4 * q);
    double r = 0.0;
    for (int i = 4 * full; i < j; ++i) r += col[i] * g[i];
    acc[j % 4] += t * broadcast(g[j]);
    diag[j % 4] += g[j] * (col[j] * g[j] + 2.0 * r);
  }
  const v4 a = (acc[0] + acc[1]) + (acc[2] + acc[3]);
  return ((diag[0] + diag[1]) + (diag[2] + diag[3])) + 2.0 * ((a[0] + a[1]) + (a[2] + a[3]));
}

VLK_SIMD_CLONES double BSpline_gKg20(const double* __restrict K, const double* __restrict g) {
  return gKg_unrolled(K, g, std::make_index_sequence<kM20>{});
}

void BSpline_dsycopy20(const double* __restrict src, double* __restrict dst) {
  sycopy_unrolled(src, dst, std::make_index_sequence<kM20>{});
}
