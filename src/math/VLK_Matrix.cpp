#include "VLK_Matrix.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <vector>

#include "VLK_Str.h"
#include "vlk_fatal.h"

const char* const VLK_Matrix_RIGHT = "R";
const char* const VLK_Matrix_LEFT = "L";
const char* const VLK_Matrix_NO_TRANS = "N";
const char* const VLK_Matrix_TRANS = "T";
const char* const VLK_Matrix_N = "N";
const char* const VLK_Matrix_T = "T";
const char* const VLK_Matrix_L = "L";
const char* const VLK_Matrix_U = "U";
const double VLK_Matrix_DOUBLE_MINUS_ONE = -1.0;
const double VLK_Matrix_DOUBLE_ZERO = 0.0;
const double VLK_Matrix_DOUBLE_ONE = 1.0;
const int VLK_Matrix_INT_ZERO = 0;
const int VLK_Matrix_INT_ONE = 1;
const char* const VLK_Matrix_L_NO_TRANS = "N";
const char* const VLK_Matrix_L_TRANS = "T";
const char* const VLK_Matrix_LO = "O";
const char* const VLK_Matrix_LA = "A";
const char* const VLK_Matrix_LV = "V";
const char* const VLK_Matrix_LN = "N";
const char* const VLK_Matrix_LL = "L";
const char* const VLK_Matrix_LU = "U";

namespace {

// Element count of an m x n block in 64 bits; 0 for a non-positive size.
size_t count(int m, int n) {
  if (m <= 0 || n <= 0) return 0;
  return static_cast<size_t>(m) * static_cast<size_t>(n);
}

// Offset of column j in a matrix with leading dimension ld.
size_t col(int j, int ld) { return static_cast<size_t>(j) * static_cast<size_t>(ld); }

// Scales every column of the m x n matrix A (leading dimension lda) by op(i, j).
template <class Op>
void scale_each(int m, int n, double* A, int lda, Op op) {
  if (m <= 0 || n <= 0) return;
  for (int j = 0; j < n; ++j) {
    double* c = A + col(j, lda);
    for (int i = 0; i < m; ++i) c[i] = op(c[i], i, j);
  }
}

template <class Less>
double abs_extreme(int n, const double* v, Less better) {
  if (n <= 0) return 0.0;
  double r = std::fabs(v[0]);
  for (int i = 1; i < n; ++i) {
    const double a = std::fabs(v[i]);
    if (better(a, r)) r = a;
  }
  return r;
}

// |old - new| (of the magnitudes with use_abs). Equal values, equal infinities and two NaNs
// agree; a NaN on one side only is a difference (NaN, which no tolerance accepts).
double value_diff(double old_v, double new_v, bool use_abs) {
  if (use_abs) {
    old_v = std::fabs(old_v);
    new_v = std::fabs(new_v);
  }
  if (old_v == new_v) return 0.0;
  const bool old_nan = std::isnan(old_v), new_nan = std::isnan(new_v);
  if (old_nan && new_nan) return 0.0;
  if (old_nan || new_nan) return std::numeric_limits<double>::quiet_NaN();
  return std::fabs(old_v - new_v);
}

constexpr double kDebugTolerance = 1e-4;

}  // namespace

double* VLK_Matrix_new(int m, int n) {
  return static_cast<double*>(std::malloc(count(m, n) * sizeof(double)));
}

void VLK_Matrix_delete(double* A) { std::free(A); }

double** VLK_Matrix_new_ar(int m, int n, int k) {
  const size_t slots = static_cast<size_t>(std::max(k, 1));
  auto** ar = static_cast<double**>(std::malloc(slots * sizeof(double*)));
  if (ar == nullptr) return nullptr;
  const size_t each = count(m, n);
  const size_t total = k > 0 ? each * static_cast<size_t>(k) : 0;
  double* block = static_cast<double*>(std::malloc(total * sizeof(double)));
  ar[0] = block;
  for (int l = 1; l < k; ++l) ar[l] = block == nullptr ? nullptr : block + each * l;
  return ar;
}

void VLK_Matrix_dsyaxpy(int n, double alpha, const double* X, double* Y) {
  for (int j = 0; j < n; ++j) {
    const int len = j + 1;
    daxpy_(&len, &alpha, X + col(j, n), &VLK_Matrix_INT_ONE, Y + col(j, n), &VLK_Matrix_INT_ONE);
  }
}

void VLK_Matrix_dsycopy(int n, const double* from, double* to) {
  for (int j = 0; j < n; ++j) std::copy_n(from + col(j, n), j + 1, to + col(j, n));
}

void VLK_Matrix_dsyge(int n, double* A) {
  for (int c = 0; c < n; ++c)
    for (int r = c + 1; r < n; ++r) A[r + col(c, n)] = A[c + col(r, n)];
}

void VLK_Matrix_sy2ge(double* A, int n) { VLK_Matrix_dsyge(n, A); }

void VLK_Matrix_trans(int m, int n, const double* A, double* B) {
  if (m <= 0 || n <= 0) return;
  for (int j = 0; j < n; ++j) dcopy_(&m, A + col(j, m), &VLK_Matrix_INT_ONE, B + j, &n);
}

double VLK_Matrix_trace(const double* A, int n) {
  double s = 0.0;
  for (int i = 0; i < n; ++i) s += A[col(i, n + 1)];
  return s;
}

void VLK_Matrix_I(int n, double* A) {
  if (n <= 0) return;
  std::fill_n(A, count(n, n), 0.0);
  for (int i = 0; i < n; ++i) A[col(i, n + 1)] = 1.0;
}

void VLK_Matrix_diag(int n, double alpha, const double* x, double* D, int ld) {
  if (n <= 0) return;
  // A leading dimension below the row count addresses no matrix; take the n x n one.
  if (ld < n) ld = n;
  for (int j = 0; j < n; ++j) std::fill_n(D + col(j, ld), n, 0.0);
  for (int i = 0; i < n; ++i) D[col(i, ld + 1)] = alpha * x[i];
}

void VLK_Matrix_dgedm2(int m, int n, const double* d, double* A, int lda) {
  scale_each(m, n, A, lda, [d](double a, int i, int) { return a * d[i]; });
}

void VLK_Matrix_dgemd2(int m, int n, double* A, int lda, const double* d) {
  scale_each(m, n, A, lda, [d](double a, int, int j) { return a * d[j]; });
}

void VLK_Matrix_dgeidm2(int m, int n, const double* d, double* A, int lda) {
  scale_each(m, n, A, lda, [d](double a, int i, int) { return a / d[i]; });
}

void VLK_Matrix_dgemid2(int m, int n, double* A, int lda, const double* d) {
  scale_each(m, n, A, lda, [d](double a, int, int j) { return a / d[j]; });
}

double VLK_Matrix_vector_abs_max(int n, const double* v) {
  return abs_extreme(n, v, [](double a, double r) { return a > r; });
}

double VLK_Matrix_vector_abs_min(int n, const double* v) {
  return abs_extreme(n, v, [](double a, double r) { return a < r; });
}

void VLK_Matrix_dgemv_l(int m, int n, double alpha, const double* A, int lda, const double* x,
                        int incx, double beta, double* y, int incy) {
  for (int i = 0; i < m; ++i) {
    double s = 0.0;
    for (int j = 0; j < n; ++j)
      s += A[static_cast<ptrdiff_t>(i) + static_cast<ptrdiff_t>(j) * lda] *
           x[static_cast<ptrdiff_t>(j) * incx];
    double& yi = y[static_cast<ptrdiff_t>(i) * incy];
    yi = alpha * s + beta * yi;
  }
}

// The queries below answer 1 (the least workspace LAPACK accepts) for n <= 0: LAPACK rejects an
// order-0 query through lda < 1 and then reports no size at all.
int VLK_Matrix_dsytrf_work_size(int n) {
  if (n <= 0) return 1;
  std::vector<int> ipiv(static_cast<size_t>(n));
  double work = 0.0;
  const int lwork = -1;
  int info = 0;
  dsytrf_(VLK_Matrix_LU, &n, nullptr, &n, ipiv.data(), &work, &lwork, &info, 1);
  return static_cast<int>(work);
}

int VLK_Matrix_dgetri_work_size(int n) {
  if (n <= 0) return 1;
  std::vector<int> ipiv(static_cast<size_t>(n));
  double dummy = 0.0, work = 0.0;
  const int lwork = -1;
  int info = 0;
  dgetri_(&n, &dummy, &n, ipiv.data(), &work, &lwork, &info);
  return static_cast<int>(work);
}

int VLK_Matrix_dsyev_work_size(int n) {
  if (n <= 0) return 1;
  double work = 0.0;
  const int lwork = -1;
  int info = 0;
  dsyev_(VLK_Matrix_LN, VLK_Matrix_LU, &n, nullptr, &n, nullptr, &work, &lwork, &info, 1, 1);
  return static_cast<int>(work);
}

void VLK_Matrix_print(FILE* fp, const double* A, int m, int n) {
  for (int i = 0; i < m; ++i) {
    for (int j = 0; j < n; ++j) std::fprintf(fp, j == 0 ? "%8.4f" : "   %8.4f", A[i + col(j, m)]);
    std::fputs("\n", fp);
  }
}

void VLK_Matrix_printf(FILE* fp, const double* A, int m, int n, const char* fmt) {
  for (int i = 0; i < m; ++i) {
    for (int j = 0; j < n; ++j) {
      if (j > 0) std::fputs("  ", fp);
      std::fprintf(fp, fmt, A[i + col(j, m)]);
    }
    std::fputs("\n", fp);
  }
}

void VLK_Matrix_fprintf(FILE* fp, int digits, const double* A, int m, int n) {
  for (int i = 0; i < m; ++i) {
    for (int j = 0; j < n; ++j) {
      if (j > 0) std::fputs("\t", fp);
      std::fprintf(fp, "%.*f", digits, A[i + col(j, m)]);
    }
    std::fputs("\n", fp);
  }
}

void VLK_Matrix_debug_write(FILE* fp, const char* label, const double* A, int m, int n) {
  std::fprintf(fp, "%s\t%d\t%d\n", label, m, n);
  VLK_Matrix_fprintf(fp, 15, A, m, n);
  std::fputs("\n", fp);
}

double VLK_Matrix_debug_check(FILE* fp, const char* label, const double* A, int m, int n, int mode,
                              int use_abs) {
  if (mode == 1) {
    VLK_Matrix_debug_write(fp, label, A, m, n);
    return 0.0;
  }
  vlk::LineBuffer line;
  if (!line.read(fp))
    vlk::fatal("VLK_Matrix_debug_check: Cannot read the header line of \"%s\".\n", label);
  char* tab = std::strchr(line.data, '\t');
  if (tab == nullptr)
    vlk::fatal("VLK_Matrix_debug_check: The header line for \"%s\" has no TAB.\n", label);
  *tab = '\0';
  if (std::strcmp(line.data, label) != 0)
    vlk::fatal(
        "VLK_Matrix_debug_check: Different label detected.\n"
        "                    Old vs New: \"%s\" vs \"%s\"\n",
        line.data, label);
  const char* sizes = tab + 1;
  const char* tab2 = std::strchr(sizes, '\t');
  const int file_m = std::atoi(sizes);
  const int file_n = tab2 != nullptr ? std::atoi(tab2 + 1) : -1;
  if (tab2 == nullptr || file_m != m || file_n != n)
    vlk::fatal(
        "VLK_Matrix_debug_check: Size mismatch for \"%s\": %d x %d in the file vs %d x %d.\n",
        label, file_m, file_n, m, n);

  double largest = 0.0;
  for (int i = 0; i < m; ++i) {
    if (!line.read(fp))
      vlk::fatal("VLK_Matrix_debug_check: Cannot read row %d of \"%s\".\n", i, label);
    const char* field = line.data;
    for (int j = 0; j < n; ++j) {
      if (j > 0) {
        field = std::strchr(field, '\t');
        if (field != nullptr) ++field;
      }
      char* end = nullptr;
      const double old_v = field != nullptr ? std::strtod(field, &end) : 0.0;
      if (field == nullptr || end == field)
        vlk::fatal("VLK_Matrix_debug_check: Row %d of \"%s\" has no value in column %d.\n", i,
                   label, j);
      if (mode != 2) continue;
      const double new_v = A[i + col(j, m)];
      const double diff = value_diff(old_v, new_v, use_abs != 0);
      if (!(diff <= kDebugTolerance))
        vlk::fatal(
            "VLK_Matrix_debug_check: Failed for \"%s\" diff=%.15f\n"
            "                  : X(%d,%d): Old vs New: %.15f vs %.15f\n",
            label, diff, i, j, old_v, new_v);
      largest = std::max(largest, diff);
    }
  }
  if (!line.read(fp) || line.data[0] != '\0')
    vlk::fatal("VLK_Matrix_debug_check: The block of \"%s\" does not end with an empty line.\n",
               label);
  return mode == 2 ? largest : 0.0;
}
