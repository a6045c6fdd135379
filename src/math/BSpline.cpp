#include "BSpline.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <vector>

#include "VLK_Matrix.h"
#include "vlk_lapack.h"

namespace {

// Distance of the outer knots from the extreme samples.
constexpr double kMargin = 1e-07;

// Relative half-width of the knot range for constant data whose margins were lost in rounding
// (magnitudes of about 2e9 and more): wide enough that the knots are well resolved, close to
// the relative width that constant data of magnitude one get.
constexpr double kFlatRelMargin = 0x1p-24;

// Uniform Cox-de Boor recursion in place: u[m] is the distance of the sample to knot
// Bindex + m in units of the spacing, b receives the p + 1 non-zero basis values.
template <int P>
inline void de_boor(const double* __restrict u, double* __restrict b, int p_rt) {
  const int p = P >= 0 ? P : p_rt;
  b[p] = 1.0;
  for (int r = 1; r <= p; ++r) {
    b[p - r] = (r + 1 - u[p - r]) * b[p - r + 1] / r;
    for (int m = p - r + 1; m < p; ++m) b[m] = (u[m] * b[m] + (r + 1 - u[m]) * b[m + 1]) / r;
    b[p] = u[p] * b[p] / r;
  }
}

// One sample: interval search, scaled distances (into u) and basis values (into b).
template <int P>
inline int basis_at(double x, const double* __restrict t, double h, int M, int p_rt,
                    double* __restrict u, double* __restrict b) {
  const int p = P >= 0 ? P : p_rt;
  // The knots never decrease, so the one k with t[k] <= x < t[k+1] is the last knot not above x.
  int k = static_cast<int>(std::upper_bound(t, t + M + 1, x) - t) - 1;
  // Rounding at large magnitudes can leave a sample on or beyond the outer knots; it then
  // belongs to the nearest interval that has a full set of basis functions.
  k = std::clamp(k, p, M - 1);
  // The distances to the other knots follow from the one to the interval's own knot; forming
  // them from s keeps the band a partition of unity even where rounding has left the knots
  // barely resolved, and s in [0, 1] keeps every value non-negative.
  const double s = std::clamp((x - t[k]) / h, 0.0, 1.0);
  for (int m = 0; m <= p; ++m) u[m] = s + (p - m);
  de_boor<P>(u, b, p);
  return k - p;
}

template <int P>
void design_rows(const double* __restrict x, int n, double* __restrict B, int* __restrict Bindex,
                 int M, int p_rt, const double* t, double h, double* __restrict u) {
  const int p = P >= 0 ? P : p_rt;
  const std::size_t w = static_cast<std::size_t>(p) + 1;
  for (int j = 0; j < n; ++j) Bindex[j] = basis_at<P>(x[j], t, h, M, p, u + j * w, B + j * w);
}

}  // namespace

void BSpline_design_matrix(const double* x, int n, double* B, int* Bindex, int M, int p,
                           double* work) {
  if (n < 1 || M <= p || p < 0) return;
  const auto [mn, mx] = std::minmax_element(x, x + n);
  double lo = *mn - kMargin;
  double hi = *mx + kMargin;
  if (!(hi > lo)) {
    // Constant data so large that both margins vanished: a zero spacing would divide by zero.
    const double w = std::max(std::abs(lo), 1.0) * kFlatRelMargin;
    lo = *mn - w;
    hi = *mx + w;
  }
  const double h = (hi - lo) / (M - p);
  double* t = work;
  for (int k = 0; k <= M; ++k) t[k] = lo + (k - p) * h;
  double* u = work + M + 1;
  if (p == 3)
    design_rows<3>(x, n, B, Bindex, M, p, t, h, u);
  else
    design_rows<-1>(x, n, B, Bindex, M, p, t, h, u);
}

void BSpline_design_matrix_cnv(const double* B, const int* Bindex, int n, int M, int p,
                               double* out) {
  const std::size_t rows = n > 0 ? static_cast<std::size_t>(n) : 0;
  std::fill_n(out, rows * static_cast<std::size_t>(std::max(M, 0)), 0.0);
  const std::size_t w = static_cast<std::size_t>(p) + 1;
  for (std::size_t j = 0; j < rows; ++j)
    for (std::size_t m = 0; m < w; ++m)
      out[j + (static_cast<std::size_t>(Bindex[j]) + m) * rows] = B[j * w + m];
}

int64_t BSpline_comb(int n, int k) {
  if (k < 0 || k > n) return 0;
  const int kk = std::min(k, n - k);
  if (kk == 0) return 1;
  if (kk == 1) return n;
  if (kk > 17) return 0;
  // Running sums down a column of Pascal's triangle; unsigned so that overflow wraps.
  uint64_t a[18];
  for (int i = 2; i <= kk; ++i) a[i] = static_cast<uint64_t>(i) + 1;
  for (int s = 3; s < 3 + (n - kk - 1); ++s) {
    a[1] = static_cast<uint64_t>(s);
    for (int i = 2; i <= kk; ++i) a[i] += a[i - 1];
  }
  return static_cast<int64_t>(a[kk]);
}

void BSpline_Dk(int M, int d, double* D) {
  const int rows = M - d;
  if (rows <= 0 || d < 0) return;
  std::fill_n(D, static_cast<std::size_t>(M) * rows, 0.0);
  for (int j = 0; j <= d; ++j) {
    const double c = std::pow(-1.0, j) * static_cast<double>(BSpline_comb(d, j));
    for (int i = 0; i < rows; ++i) D[i + static_cast<std::size_t>(i + j) * rows] = c;
  }
}

void BSpline_K(int M, int d, double* K, double* work) {
  const int rows = M - d;
  if (M <= 0) return;
  if (rows <= 0 || d < 0) {
    // No difference of this order exists: nothing is penalised.
    std::fill_n(K, static_cast<std::size_t>(M) * M, 0.0);
    return;
  }
  std::vector<double> own;
  if (work == nullptr) {
    own.resize(static_cast<std::size_t>(M) * rows);
    work = own.data();
  }
  BSpline_Dk(M, d, work);
  dgemm_(VLK_Matrix_T, VLK_Matrix_N, &M, &M, &rows, &VLK_Matrix_DOUBLE_ONE, work, &rows, work,
         &rows, &VLK_Matrix_DOUBLE_ZERO, K, &M, 1, 1);
}

double BSpline_det_K_plus(const double* K, int M) {
  if (M <= 2) return 1.0;
  const int lwork = std::max(VLK_Matrix_dsyev_work_size(M), 3 * M - 1);
  std::vector<double> copy(K, K + static_cast<std::size_t>(M) * M);
  std::vector<double> work(static_cast<std::size_t>(lwork));
  std::vector<double> eig(static_cast<std::size_t>(M));
  int info = 0;
  dsyev_(VLK_Matrix_LN, VLK_Matrix_LU, &M, copy.data(), &M, eig.data(), work.data(), &lwork, &info,
         1, 1);
  double det = 1.0;
  for (int i = 2; i < M; ++i) det *= eig[i];
  return det;
}
