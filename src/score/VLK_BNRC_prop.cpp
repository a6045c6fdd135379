// Edge properties of a BNRC fit: whether the child rises or falls with the parent, and the
// parent's spline.
#include <algorithm>
#include <cstddef>

#include "VLK_BNRC.h"
#include "VLK_DoubleArray.h"
#include "VLK_KeyValues.h"
#include "vlk_check.h"

namespace {

using std::size_t;

// A fit with more effective degrees of freedom than this bends too much to call it rising or
// falling.
constexpr double kMonotoneMaxDf = 4.0;

// The parent's value range is widened by this at both ends.
constexpr double kRangeMargin = 1e-7;

enum EdgeType { kUp = 0, kDown = 1, kUnknown = 3 };

// Appends of a fresh list only fail when memory runs out.
VLK_KeyValues* checked(VLK_KeyValues* list, const char* name) {
  VLK_BNRC_memcheck(list, name);
  return list;
}

VLK_DoubleArray* new_array(size_t capacity, const char* name) {
  VLK_DoubleArray* a = VLK_DoubleArray_news(capacity);
  VLK_BNRC_memcheck(a, name);
  return a;
}

void append(VLK_DoubleArray* a, double v, const char* name) {
  VLK_BNRC_memcheck(VLK_DoubleArray_add(a, v), name);
}

}  // namespace

double vlk::bnrc::smoother_trace(const double* B, const int* Bindex, const double* L, int n, int M,
                                 int degree) {
  // Diagonal entry i of B L is row i of B (degree + 1 values from column Bindex[i]) against
  // column i of L: the n x n product itself is never needed.
  const size_t w = static_cast<size_t>(degree) + 1;
  double trace = 0.0;
  for (size_t i = 0; i < static_cast<size_t>(n); ++i) {
    const double* row = B + i * w;
    const double* col = L + i * static_cast<size_t>(M) + Bindex[i];
    double s = 0.0;
    for (size_t m = 0; m < w; ++m) s += row[m] * col[m];
    trace += s;
  }
  return trace;
}

VLK_KeyValues* VLK_BNRC_prop(VLK_BNRCBuff* bf, int /*child*/, int* parents, int q, int k) {
  vlk::check(k >= 0 && k < q, "BNRC prop of a parent outside the parent list");
  const int t = vlk::bnrc::thread_index(bf);
  const int j = bf->node_map ? bf->node_map[parents[k]] : parents[k];
  const int M = bf->M, n = bf->n;
  const size_t sn = static_cast<size_t>(n);
  const int h = bf->beta_jk[t][k];
  const double* gk = bf->gamma[t] + static_cast<size_t>(k) * static_cast<size_t>(M);

  // Equal end coefficients (the zero fit of a call that fitted nothing among them) say nothing,
  // whatever the trace; the smoother is looked at only for a fit this call made, whose pointer
  // the call set.
  EdgeType type = kUnknown;
  if (gk[0] > gk[M - 1] || gk[0] < gk[M - 1]) {
    const double* L = bf->tmp_Lambda_inv_Bt[t][k] + static_cast<size_t>(h) * M * sn;
    const double df = vlk::bnrc::smoother_trace(bf->B[j], bf->Bindex[j], L, n, M, bf->degree);
    if (!(df > kMonotoneMaxDf)) type = gk[0] > gk[M - 1] ? kDown : kUp;
  }

  VLK_KeyValues* list = VLK_KeyValues_new();
  VLK_BNRC_memcheck(list, "prop");
  static constexpr const char* kDirection[] = {"up", "down", "", "unknown"};
  checked(VLK_KeyValues_add_string(list, "up/down", kDirection[type]), "prop");
  checked(VLK_KeyValues_put_int(list, "EdgeType", type), "prop");

  VLK_DoubleArray* spline = new_array(static_cast<size_t>(M) + 2, "bspline");
  const double* x = bf->X + static_cast<size_t>(j) * sn;
  const auto [lo, hi] = std::minmax_element(x, x + sn);
  append(spline, *lo - kRangeMargin, "bspline");
  append(spline, *hi + kRangeMargin, "bspline");
  for (int i = 0; i < M; ++i) append(spline, gk[i], "bspline");
  checked(VLK_KeyValues_put_DoubleArray(list, "bspline", spline), "bspline");

  if (bf->part_res) {
    // The final residual plus this parent's fit: y less the other parents' fits.
    double* res = bf->T_B[t];
    const double* r = bf->T_A[t];
    const double* m = bf->B_gamma[t] + static_cast<size_t>(k) * sn;
    VLK_DoubleArray* part = new_array(sn, "part_res");
    for (size_t i = 0; i < sn; ++i) {
      res[i] = r[i] + m[i];
      append(part, res[i], "part_res");
    }
    checked(VLK_KeyValues_put_DoubleArray(list, "part_res", part), "part_res");
  }
  return list;
}
