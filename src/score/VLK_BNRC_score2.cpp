// The level-3 local score of "BNRC2": the steps of VLK_BNRC_score around a fused backfitting
// kernel. Each trial fit of a grid walk makes one pass over the smoother (the product L r) and one
// over the samples (the band product B g, kept, with the residual sum of squares beside it); an
// accepted fit is kept where it was computed instead of being copied; and the residual update
// between two parents is one pass. The sums are formed in the order of the separate kernels of
// BSpline_kernels.h, so both scores agree to the last bits as long as the compiler contracts the
// same products into fused multiply-adds.
#include <cfloat>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <utility>
#include <vector>

#include "BSpline_kernels.h"
#include "VLK_BNRC.h"

// The kernel carries bodies for CPUs with 512-bit and with 256-bit vectors, chosen once when the
// program is loaded: the product L r moves two columns of L (40 values) per step.
#if defined(__x86_64__) && defined(__ELF__) && defined(__GNUC__) && !defined(__clang__)
#define VLK_KERNEL_CLONES \
  __attribute__((target_clones("arch=x86-64-v4", "arch=x86-64-v3", "default")))
#else
#define VLK_KERNEL_CLONES
#endif

namespace {

using std::size_t;

constexpr size_t kM = 20;

// Every function taking or returning a vector is internal and inlined into the kernel, so the
// warning on the vector calling convention does not concern this file.
#pragma GCC diagnostic ignored "-Wpsabi"
using v8 = double __attribute__((vector_size(8 * sizeof(double))));
using v4 = double __attribute__((vector_size(4 * sizeof(double))));

template <class V>
[[gnu::always_inline]] inline V load(const double* p) {
  V v;
  std::memcpy(&v, p, sizeof v);
  return v;
}
template <class V>
[[gnu::always_inline]] inline void store(double* p, const V& v) {
  std::memcpy(p, &v, sizeof v);
}
[[gnu::always_inline]] inline v4 low(const v8& v) {
  return __builtin_shufflevector(v, v, 0, 1, 2, 3);
}
[[gnu::always_inline]] inline v4 high(const v8& v) {
  return __builtin_shufflevector(v, v, 4, 5, 6, 7);
}
[[gnu::always_inline]] inline v8 join(const v4& a, const v4& b) {
  return __builtin_shufflevector(a, b, 0, 1, 2, 3, 4, 5, 6, 7);
}

// g = L r for the 20 x n smoother L. Rows of even and of odd columns are summed apart and added at
// the end, as BSpline_Mv20 does. Columns j and j + 1 are 40 consecutive values: five vectors of
// eight, the middle one holding rows 16-19 of column j and rows 0-3 of column j + 1.
[[gnu::always_inline]] inline void smoother_product(const double* __restrict L,
                                                    const double* __restrict r, size_t n,
                                                    double* __restrict g) {
  v8 e0 = {}, e1 = {}, mid = {}, o1 = {}, o2 = {};
  size_t j = 0;
  for (; j + 1 < n; j += 2) {
    const double* a = L + j * kM;
    const double x = r[j], y = r[j + 1];
    const v8 ve = {x, x, x, x, x, x, x, x};
    const v8 vo = {y, y, y, y, y, y, y, y};
    const v8 vm = {x, x, x, x, y, y, y, y};
    e0 += load<v8>(a) * ve;
    e1 += load<v8>(a + 8) * ve;
    mid += load<v8>(a + 16) * vm;
    o1 += load<v8>(a + 24) * vo;
    o2 += load<v8>(a + 32) * vo;
  }
  v4 e2 = low(mid);
  const v4 o0 = high(mid);
  if (j < n) {
    const double* a = L + j * kM;
    const double x = r[j];
    const v8 ve = {x, x, x, x, x, x, x, x};
    e0 += load<v8>(a) * ve;
    e1 += load<v8>(a + 8) * ve;
    e2 += load<v4>(a + 16) * v4{x, x, x, x};
  }
  store(g, e0 + join(o0, low(o1)));
  store(g + 8, e1 + join(high(o1), low(o2)));
  store(g + 16, e2 + high(o2));
}

// Four samples of B x (degree 3), reduced as BSpline_Bx3 reduces them.
[[gnu::always_inline]] inline v4 band4(const double* __restrict B, const int* __restrict Bindex,
                                       const double* __restrict x, size_t j) {
  const double* row = B + 4 * j;
  const v4 p0 = load<v4>(row) * load<v4>(x + Bindex[j]);
  const v4 p1 = load<v4>(row + 4) * load<v4>(x + Bindex[j + 1]);
  const v4 p2 = load<v4>(row + 8) * load<v4>(x + Bindex[j + 2]);
  const v4 p3 = load<v4>(row + 12) * load<v4>(x + Bindex[j + 3]);
  const v4 t0 =
      __builtin_shufflevector(p0, p1, 0, 4, 2, 6) + __builtin_shufflevector(p0, p1, 1, 5, 3, 7);
  const v4 t1 =
      __builtin_shufflevector(p2, p3, 0, 4, 2, 6) + __builtin_shufflevector(p2, p3, 1, 5, 3, 7);
  return __builtin_shufflevector(t0, t1, 0, 1, 4, 5) + __builtin_shufflevector(t0, t1, 2, 3, 6, 7);
}

[[gnu::always_inline]] inline double band1(const double* __restrict B, const int* __restrict Bindex,
                                           const double* __restrict x, size_t j) {
  const double* row = B + 4 * j;
  const double* c = x + Bindex[j];
  return (row[0] * c[0] + row[1] * c[1]) + (row[2] * c[2] + row[3] * c[3]);
}

// f = B g, and the residual variance of r about f (the sum of squares over n) in the same pass,
// with the accumulators of BSpline_var: eight samples per step, then one at a time.
[[gnu::always_inline]] inline double fit_and_variance(const double* __restrict B,
                                                      const int* __restrict Bindex,
                                                      const double* __restrict g, size_t n,
                                                      double* __restrict f,
                                                      const double* __restrict r) {
  v4 acc0 = {}, acc1 = {};
  size_t i = 0;
  for (; i + 7 < n; i += 8) {
    const v4 f0 = band4(B, Bindex, g, i);
    const v4 f1 = band4(B, Bindex, g, i + 4);
    store(f + i, f0);
    store(f + i + 4, f1);
    const v4 d0 = load<v4>(r + i) - f0;
    const v4 d1 = load<v4>(r + i + 4) - f1;
    acc0 += d0 * d0;
    acc1 += d1 * d1;
  }
  size_t j = i;
  for (; j + 3 < n; j += 4) store(f + j, band4(B, Bindex, g, j));
  for (; j < n; ++j) f[j] = band1(B, Bindex, g, j);
  const v4 acc = acc0 + acc1;
  double s = (acc[0] + acc[1]) + (acc[2] + acc[3]);
  for (; i < n; ++i) {
    const double d = r[i] - f[i];
    s += d * d;
  }
  return s / static_cast<double>(n);
}

}  // namespace

VLK_KERNEL_CLONES double VLK_BNRC_kernel(size_t max_sweeps, int* parents, int q, double* B_gamma,
                                         double* tmp_beta_gKg, int hn, double** tmp_Lambda_inv_Bt,
                                         double** tmp_log_det_Lambda, double* gamma,
                                         double* tmp_gamma, double* tmp_B_gamma, double** B,
                                         int** Bindex, int /*degree*/, double* K, double* beta,
                                         double* log_beta, int* beta_jk, int M, int n, double* r_) {
  double* __restrict r = r_;
  const size_t sn = static_cast<size_t>(n);
  const size_t mn = static_cast<size_t>(M) * sn;
  const double dn = n;
  const double dof = n - 2.0 * (q + 1);
  const double Mm2 = M - 2;

  double S = 0.0;
  double v_prev = DBL_MAX, v = 0.0;
  double best = DBL_MAX;
  // The fit of the parent just walked, still to be taken out of r: it leaves in the same pass as
  // the next parent's fit comes back in.
  const double* pending = nullptr;
  for (size_t c = 1;; ++c) {
    for (int k = 0; k < q; ++k) {
      const int j = parents[k];
      const double* const Bj = B[j];
      const int* const Bij = Bindex[j];
      const double* const Lk = tmp_Lambda_inv_Bt[k];
      const double* const Dk = tmp_log_det_Lambda[k];
      double* const m = B_gamma + k * sn;
      double* const gk = gamma + k * kM;
      if (pending != nullptr) {
        for (size_t i = 0; i < sn; ++i) r[i] = (r[i] - pending[i]) + m[i];
      } else {
        for (size_t i = 0; i < sn; ++i) r[i] += m[i];
      }
      pending = nullptr;
      const double S_other = S - tmp_beta_gKg[k];
      best = DBL_MAX;
      int accepted = -1;
      double bg_accepted = 0.0;
      // A trial goes to the buffer that does not hold the fit accepted so far; m keeps the
      // previous sweep's fit until a first trial is accepted.
      double* f_try = tmp_B_gamma;
      double* f_kept = m;
      double* g_try = tmp_gamma;
      double* g_kept = gk;
      for (int h = 0; h < hn; ++h) {
        smoother_product(Lk + static_cast<size_t>(h) * mn, r, sn, g_try);
        const double s2 = fit_and_variance(Bj, Bij, g_try, sn, f_try, r);
        const double bg = beta[h] * BSpline_gKg20L(K, g_try);
        const double crit = vlk::bnrc::criterion(dof, s2, Dk[h], Mm2, log_beta[h], dn, S_other, bg);
        if (!(crit < best)) break;
        std::swap(f_try, f_kept);
        std::swap(g_try, g_kept);
        bg_accepted = bg;
        accepted = h;
        best = crit;
        v = s2;
      }
      if (accepted < 0) {
        for (size_t i = 0; i < sn; ++i) r[i] -= m[i];
        return DBL_MAX;
      }
      if (f_kept != m) std::memcpy(m, f_kept, sn * sizeof(double));
      if (g_kept != gk) std::memcpy(gk, g_kept, kM * sizeof(double));
      tmp_beta_gKg[k] = bg_accepted;
      beta_jk[k] = accepted;
      pending = m;
      S = S_other + bg_accepted;
    }
    if (q == 1) break;
    if (std::fabs(v_prev - v) < vlk::bnrc::kSweepTolerance || c >= max_sweeps) break;
    v_prev = v;
  }
  if (pending != nullptr)
    for (size_t i = 0; i < sn; ++i) r[i] -= pending[i];
  return best;
}

double VLK_BNRC_score2(VLK_BNRCBuff* bf, int child, int* parents, int q) {
  const vlk::bnrc::ScoreStart start = vlk::bnrc::start_score(bf, child, parents, q, true);
  if (start.done) return start.value;
  const int t = start.t;
  // The kernel takes data rows. Parent sets beyond the stack's few are not met in practice; they
  // cost one allocation.
  constexpr int kStackParents = 64;
  int stack_rows[kStackParents];
  std::vector<int> heap_rows;
  int* rows = parents;
  if (bf->node_map != nullptr) {
    if (q > kStackParents) heap_rows.resize(static_cast<size_t>(q));
    rows = q > kStackParents ? heap_rows.data() : stack_rows;
    for (int k = 0; k < q; ++k) rows[k] = bf->node_map[parents[k]];
  }
  const double best =
      VLK_BNRC_kernel(bf->max_sweeps, rows, q, bf->B_gamma[t], bf->tmp_beta_gKg[t], bf->hyper_num,
                      bf->tmp_Lambda_inv_Bt[t], bf->tmp_log_det_Lambda[t], bf->gamma[t],
                      bf->tmp_gamma[t], bf->tmp_B_gamma[t], bf->B, bf->Bindex, bf->degree, bf->K,
                      bf->beta, bf->log_beta, bf->beta_jk[t], bf->M, bf->n, bf->T_A[t]);
  if (best == DBL_MAX) return DBL_MAX;
  return vlk::bnrc::finish_score(bf, start, q, best);
}
