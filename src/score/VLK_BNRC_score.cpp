// The BNRC local score: backfitting of one penalised spline smoother per parent, each parent's
// hyperparameter found by walking the grid from the smoothest value while the criterion falls.
#include <omp.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstddef>
#include <cstring>

#include "BSpline_kernels.h"
#include "VLK_BNRC.h"
#include "vlk_check.h"
#include "vlk_fatal.h"

namespace {

using std::size_t;

// The inner kernels are written for these sizes, which init fixes.
constexpr int kM = 20;

inline void add(size_t n, double* __restrict r, const double* __restrict m) {
  for (size_t i = 0; i < n; ++i) r[i] += m[i];
}
inline void sub(size_t n, double* __restrict r, const double* __restrict m) {
  for (size_t i = 0; i < n; ++i) r[i] -= m[i];
}

// Undefined data (a missing value) or a singular fit give no number, or an infinitely good one:
// neither may be chosen.
inline double finite_or_worst(double score) { return std::isfinite(score) ? score : DBL_MAX; }

vlk::bnrc::ScoreStart finished(int t, double value) { return {t, 0.0, true, value}; }

}  // namespace

double vlk::bnrc::criterion(double dof, double s2, double D, double Mm2, double log_beta, double dn,
                            double S_other, double bg) {
  return dof * std::log(s2) + D - Mm2 * log_beta + dn * (S_other + bg) / s2;
}

int vlk::bnrc::thread_index(const VLK_BNRCBuff* bf) {
  // A per-thread copy serves the one thread it was handed to, whatever that thread's number.
  if (bf->origin != nullptr) return 0;
  const int t = omp_get_thread_num();
  // Two threads on one buffer set would overwrite each other's fit: a caller's team must not be
  // wider than the threads the state was made for (the clamp only keeps the index in range).
  vlk::check(t < bf->threads, "BNRC score called by more threads than the state has buffers for");
  return t < bf->threads ? t : bf->threads - 1;
}

vlk::bnrc::ScoreStart vlk::bnrc::start_score(VLK_BNRCBuff* bf, int child, const int* parents, int q,
                                             bool level3_only) {
  const int t = thread_index(bf);
  const int n = bf->n;
  const size_t sn = static_cast<size_t>(n);
  const double dn = n;

  double prior;
  switch (bf->prior_type) {
    case 0:
      prior = 2.0 * (q + 1);
      break;
    case 1:
      prior = q * std::log(dn);
      break;
    case 2:
      prior = 0.0;
      break;
    default:
      vlk::fatal("ERROR: Unknown prior type specified: code=%d\n", bf->prior_type);
  }
  // The buffers hold max_parents fits; a larger set would write past them.
  if (q < 0 || q > bf->max_parents)
    vlk::fatal("ERROR: BNRC: Number of parents out of range: q=%d, max_parents=%d\n", q,
               bf->max_parents);

  const int* map = bf->node_map;
  const int crow = map ? map[child] : child;
  double* __restrict r = bf->T_A[t];
  std::memcpy(r, bf->Y + static_cast<size_t>(crow) * sn, sn * sizeof(double));

  if (q == 0) {
    if (bf->flat_Y[crow]) return finished(t, kFlatChildScore);
    double sum = 0.0;
    for (size_t i = 0; i < sn; ++i) sum += r[i];
    const double mean = sum / dn;
    double yy = 0.0;
    for (size_t i = 0; i < sn; ++i) {
      r[i] -= mean;
      yy += r[i] * r[i];
    }
    return finished(t, finite_or_worst(bf->C0 + prior + dn * std::log(2.0 * M_PI * yy / dn)));
  }

  const int M = bf->M, hn = bf->hyper_num;
  const size_t sq = static_cast<size_t>(q);
  const size_t mn = static_cast<size_t>(M) * sn;
  // Every call starts from an empty fit, so that nothing of an earlier call is read back.
  std::fill_n(bf->B_gamma[t], sq * sn, 0.0);
  std::fill_n(bf->tmp_beta_gKg[t], sq, 0.0);
  std::fill_n(bf->gamma[t], sq * static_cast<size_t>(M), 0.0);
  std::fill_n(bf->beta_jk[t], sq, 0);

  if (level3_only && bf->level != 3)
    vlk::fatal_abort("FATAL ERROR: BNRC: score2(): supported only level-3.\n");

  // A constant child has nothing to explain: every parent set scores alike, so none is added.
  if (bf->flat_Y[crow]) return finished(t, kFlatChildScore);

  // Data rows of the parents; a constant parent explains nothing and its normal equations are
  // singular, so a set holding one never improves a score.
  for (int k = 0; k < q; ++k) {
    const int j = map ? map[parents[k]] : parents[k];
    if (bf->flat_X[j]) return finished(t, DBL_MAX);
  }

  double** const L = bf->tmp_Lambda_inv_Bt[t];
  double** const D = bf->tmp_log_det_Lambda[t];
  for (int k = 0; k < q; ++k) {
    const int j = map ? map[parents[k]] : parents[k];
    switch (bf->level) {
      case 3:
        L[k] = bf->Lambda_inv_Bt[j];
        D[k] = bf->log_det_Lambda[j];
        break;
      case 2:
        for (int h = 0; h < hn; ++h)
          BSpline_syMBt(bf->Lambda_inv[j] + static_cast<size_t>(h) * M * M, bf->B[j], bf->Bindex[j],
                        n, M, bf->degree, L[k] + h * mn);
        D[k] = bf->log_det_Lambda[j];
        break;
      default:
        vlk::bnrc::node_tables(bf, j, t, nullptr, L[k], D[k]);
        break;
    }
  }
  return {t, prior, false, 0.0};
}

double vlk::bnrc::finish_score(const VLK_BNRCBuff* bf, const ScoreStart& s, int q, double best) {
  const double Mm2 = bf->M - 2;
  const int* hk = bf->beta_jk[s.t];
  double** const D = bf->tmp_log_det_Lambda[s.t];
  double result = bf->C1 + s.prior + q * bf->C2 + best;
  for (int k = 0; k + 1 < q; ++k) result += D[k][hk[k]] - Mm2 * bf->log_beta[hk[k]];
  return finite_or_worst(result);
}

double VLK_BNRC_score(VLK_BNRCBuff* bf, int child, int* parents, int q) {
  const vlk::bnrc::ScoreStart start = vlk::bnrc::start_score(bf, child, parents, q, false);
  if (start.done) return start.value;

  const int t = start.t;
  const int n = bf->n;
  const size_t sn = static_cast<size_t>(n);
  const double dn = n;
  const int M = bf->M, hn = bf->hyper_num;
  const size_t mn = static_cast<size_t>(M) * sn;
  const int* map = bf->node_map;
  double* __restrict r = bf->T_A[t];
  double* const m_all = bf->B_gamma[t];
  double* const b = bf->tmp_beta_gKg[t];
  double* const gam = bf->gamma[t];
  int* const hk = bf->beta_jk[t];
  double** const L = bf->tmp_Lambda_inv_Bt[t];
  double** const D = bf->tmp_log_det_Lambda[t];
  const double* const K = bf->K;
  const double* const beta = bf->beta;
  const double* const log_beta = bf->log_beta;
  double* const g = bf->tmp_gamma[t];
  double* const f = bf->tmp_B_gamma[t];
  const double dof = n - 2.0 * (q + 1);
  const double Mm2 = M - 2;

  double S = 0.0;
  size_t c = 1;
  double v_prev = DBL_MAX, v = 0.0;
  double best = DBL_MAX;
  for (;;) {
    for (int k = 0; k < q; ++k) {
      const int j = map ? map[parents[k]] : parents[k];
      const double* const Bj = bf->B[j];
      const int* const Bij = bf->Bindex[j];
      double* const m = m_all + k * sn;
      add(sn, r, m);
      const double S_other = S - b[k];
      best = DBL_MAX;
      int accepted = -1;
      for (int h = 0; h < hn; ++h) {
        BSpline_Mv20(n, L[k] + h * mn, r, g);
        const double s2 = BSpline_Bx3_var(Bj, Bij, g, n, f, r);
        const double bg = beta[h] * BSpline_gKg20L(K, g);
        const double crit =
            vlk::bnrc::criterion(dof, s2, D[k][h], Mm2, log_beta[h], dn, S_other, bg);
        if (!(crit < best)) break;
        std::memcpy(m, f, sn * sizeof(double));
        std::memcpy(gam + k * kM, g, kM * sizeof(double));
        b[k] = bg;
        accepted = h;
        best = crit;
        v = s2;
      }
      // A walk without any defined criterion (no finite variance) leaves no fit to score.
      if (accepted < 0) {
        sub(sn, r, m);
        return DBL_MAX;
      }
      hk[k] = accepted;
      sub(sn, r, m);
      S = S_other + b[k];
    }
    if (q == 1) break;
    if (std::fabs(v_prev - v) < vlk::bnrc::kSweepTolerance || c >= bf->max_sweeps) break;
    ++c;
    v_prev = v;
  }
  return vlk::bnrc::finish_score(bf, start, q, best);
}
