#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "VLK_Matrix.h"
#include "vlk_test.h"

using vlk_test::capture;

namespace {

constexpr double kSentinel = -777.25;

// Column-major m x n with reproducible values in [-2, 2).
std::vector<double> random_matrix(int m, int n, unsigned seed) {
  std::mt19937 gen(seed);
  std::vector<double> a(static_cast<size_t>(m) * n);
  for (double& v : a) v = static_cast<double>(gen() % 4000) / 1000.0 - 2.0;
  return a;
}

// Symmetric n x n: random upper triangle, sentinels strictly below.
std::vector<double> upper_with_sentinels(int n, unsigned seed) {
  std::vector<double> a = random_matrix(n, n, seed);
  for (int j = 0; j < n; ++j)
    for (int i = j + 1; i < n; ++i) a[i + j * n] = kSentinel;
  return a;
}

void expect_lower_is_sentinel(const std::vector<double>& a, int n) {
  for (int j = 0; j < n; ++j)
    for (int i = j + 1; i < n; ++i) EXPECT_EQ(a[i + j * n], kSentinel) << i << "," << j;
}

}  // namespace

TEST(MatrixConstants, ValuesAndFlags) {
  struct Flag {
    const char* got;
    const char* want;
  };
  for (const Flag& f :
       {Flag{VLK_Matrix_RIGHT, "R"}, Flag{VLK_Matrix_LEFT, "L"}, Flag{VLK_Matrix_NO_TRANS, "N"},
        Flag{VLK_Matrix_TRANS, "T"}, Flag{VLK_Matrix_N, "N"}, Flag{VLK_Matrix_T, "T"},
        Flag{VLK_Matrix_L, "L"}, Flag{VLK_Matrix_U, "U"}, Flag{VLK_Matrix_L_NO_TRANS, "N"},
        Flag{VLK_Matrix_L_TRANS, "T"}, Flag{VLK_Matrix_LO, "O"}, Flag{VLK_Matrix_LA, "A"},
        Flag{VLK_Matrix_LV, "V"}, Flag{VLK_Matrix_LN, "N"}, Flag{VLK_Matrix_LL, "L"},
        Flag{VLK_Matrix_LU, "U"}})
    EXPECT_STREQ(f.got, f.want);
  EXPECT_EQ(VLK_Matrix_DOUBLE_MINUS_ONE, -1.0);
  EXPECT_EQ(VLK_Matrix_DOUBLE_ZERO, 0.0);
  EXPECT_EQ(VLK_Matrix_DOUBLE_ONE, 1.0);
  EXPECT_EQ(VLK_Matrix_INT_ZERO, 0);
  EXPECT_EQ(VLK_Matrix_INT_ONE, 1);
}

TEST(MatrixAlloc, ArrayOfMatricesIsOneBlock) {
  double** ar = VLK_Matrix_new_ar(3, 4, 5);
  ASSERT_NE(ar, nullptr);
  for (int l = 0; l < 5; ++l) EXPECT_EQ(ar[l], ar[0] + l * 12);
  for (int i = 0; i < 60; ++i) ar[0][i] = i;  // the whole block is writable
  EXPECT_EQ(ar[4][11], 59.0);
  std::free(ar[0]);
  std::free(ar);

  double** none = VLK_Matrix_new_ar(3, 4, 0);
  ASSERT_NE(none, nullptr);
  std::free(none[0]);  // still released the same way
  std::free(none);

  double* a = VLK_Matrix_new(7, 9);
  ASSERT_NE(a, nullptr);
  a[62] = 1.0;
  VLK_Matrix_delete(a);
}

TEST(MatrixSymmetric, UpperTriangleOperationsAgainstDirect) {
  for (int n : {1, 2, 5, 8}) {
    SCOPED_TRACE(n);
    const std::vector<double> x = upper_with_sentinels(n, 11 + n);
    std::vector<double> y = upper_with_sentinels(n, 23 + n);
    const std::vector<double> y0 = y;
    VLK_Matrix_dsyaxpy(n, -0.5, x.data(), y.data());
    for (int j = 0; j < n; ++j)
      for (int i = 0; i <= j; ++i)
        EXPECT_DOUBLE_EQ(y[i + j * n], y0[i + j * n] - 0.5 * x[i + j * n]);
    expect_lower_is_sentinel(y, n);

    std::vector<double> to(static_cast<size_t>(n) * n, 0.0);
    for (int j = 0; j < n; ++j)
      for (int i = j + 1; i < n; ++i) to[i + j * n] = kSentinel;
    VLK_Matrix_dsycopy(n, x.data(), to.data());
    for (int j = 0; j < n; ++j)
      for (int i = 0; i <= j; ++i) EXPECT_EQ(to[i + j * n], x[i + j * n]);
    expect_lower_is_sentinel(to, n);

    std::vector<double> full = x, full2 = x;
    VLK_Matrix_dsyge(n, full.data());
    VLK_Matrix_sy2ge(full2.data(), n);
    EXPECT_EQ(full, full2);
    for (int j = 0; j < n; ++j)
      for (int i = 0; i < n; ++i) EXPECT_EQ(full[i + j * n], i <= j ? x[i + j * n] : x[j + i * n]);
  }
}

TEST(MatrixSymmetric, EmptyOrderTouchesNothing) {
  double a[1] = {3.0}, b[1] = {5.0};
  VLK_Matrix_dsyaxpy(0, 2.0, a, b);
  VLK_Matrix_dsycopy(-1, a, b);
  VLK_Matrix_dsyge(0, b);
  EXPECT_EQ(b[0], 5.0);
  VLK_Matrix_dsyge(1, b);
  EXPECT_EQ(b[0], 5.0);
  VLK_Matrix_dsyaxpy(1, 2.0, a, b);
  EXPECT_EQ(b[0], 11.0);
  VLK_Matrix_dsycopy(1, a, b);
  EXPECT_EQ(b[0], 3.0);
}

TEST(MatrixStructure, TransposeTraceIdentityDiag) {
  const int m = 3, n = 5;
  const std::vector<double> a = random_matrix(m, n, 5);
  std::vector<double> b(m * n, kSentinel);
  VLK_Matrix_trans(m, n, a.data(), b.data());
  for (int i = 0; i < m; ++i)
    for (int j = 0; j < n; ++j) EXPECT_EQ(b[j + i * n], a[i + j * m]);

  const std::vector<double> sq = random_matrix(4, 4, 6);
  EXPECT_DOUBLE_EQ(VLK_Matrix_trace(sq.data(), 4), sq[0] + sq[5] + sq[10] + sq[15]);
  EXPECT_EQ(VLK_Matrix_trace(nullptr, 0), 0.0);

  std::vector<double> id(9, kSentinel);
  VLK_Matrix_I(3, id.data());
  EXPECT_EQ(id, (std::vector<double>{1, 0, 0, 0, 1, 0, 0, 0, 1}));

  const double x[3] = {1.0, -2.0, 4.0};
  std::vector<double> d(9, kSentinel);
  VLK_Matrix_diag(3, 0.5, x, d.data(), 3);
  EXPECT_EQ(d, (std::vector<double>{0.5, 0, 0, 0, -1, 0, 0, 0, 2}));

  // Leading dimension 4: the 3 x 3 block is set, the fourth row of each column is left alone.
  std::vector<double> d4(12, kSentinel);
  VLK_Matrix_diag(3, 2.0, x, d4.data(), 4);
  EXPECT_EQ(d4, (std::vector<double>{2, 0, 0, kSentinel, 0, -4, 0, kSentinel, 0, 0, 8, kSentinel}));
  // Below the order a leading dimension means nothing; the n x n matrix is written.
  std::vector<double> d1(9, kSentinel);
  VLK_Matrix_diag(3, 1.0, x, d1.data(), 1);
  EXPECT_EQ(d1, (std::vector<double>{1, 0, 0, 0, -2, 0, 0, 0, 4}));
}

TEST(MatrixScaling, DiagonalFactorsOnEitherSide) {
  const int m = 3, n = 4, lda = 5;  // rows 3 and 4 of each column are padding
  std::vector<double> a0 = random_matrix(lda, n, 9);
  for (int j = 0; j < n; ++j) a0[3 + j * lda] = a0[4 + j * lda] = kSentinel;
  const double dr[3] = {2.0, -0.5, 4.0};
  const double dc[4] = {0.25, 3.0, -1.0, 8.0};
  struct Case {
    const char* name;
    void (*apply)(double* a, int lda);
    double (*want)(double a, int i, int j);
  };
  static const double* rows = dr;
  static const double* cols = dc;
  const Case cases[] = {
      {"dgedm2", [](double* a, int l) { VLK_Matrix_dgedm2(3, 4, rows, a, l); },
       [](double a, int i, int) { return a * rows[i]; }},
      {"dgemd2", [](double* a, int l) { VLK_Matrix_dgemd2(3, 4, a, l, cols); },
       [](double a, int, int j) { return a * cols[j]; }},
      {"dgeidm2", [](double* a, int l) { VLK_Matrix_dgeidm2(3, 4, rows, a, l); },
       [](double a, int i, int) { return a / rows[i]; }},
      {"dgemid2", [](double* a, int l) { VLK_Matrix_dgemid2(3, 4, a, l, cols); },
       [](double a, int, int j) { return a / cols[j]; }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<double> a = a0;
    c.apply(a.data(), lda);
    for (int j = 0; j < n; ++j) {
      for (int i = 0; i < m; ++i) EXPECT_EQ(a[i + j * lda], c.want(a0[i + j * lda], i, j));
      EXPECT_EQ(a[3 + j * lda], kSentinel);
      EXPECT_EQ(a[4 + j * lda], kSentinel);
    }
  }
  std::vector<double> a = a0;
  VLK_Matrix_dgedm2(0, n, dr, a.data(), lda);
  VLK_Matrix_dgemid2(m, 0, a.data(), lda, dc);
  EXPECT_EQ(a, a0);
}

TEST(MatrixVector, AbsoluteExtremes) {
  const double v[5] = {-3.0, 0.5, -7.5, 2.0, -0.25};
  EXPECT_EQ(VLK_Matrix_vector_abs_max(5, v), 7.5);
  EXPECT_EQ(VLK_Matrix_vector_abs_min(5, v), 0.25);
  EXPECT_EQ(VLK_Matrix_vector_abs_max(1, v), 3.0);
  EXPECT_EQ(VLK_Matrix_vector_abs_min(1, v), 3.0);
}

TEST(MatrixVector, GemvAgainstDirect) {
  const int m = 4, n = 3, lda = 6;
  const std::vector<double> a = random_matrix(lda, n, 3);
  const std::vector<double> x = random_matrix(2 * n, 1, 4);  // read with increment 2
  std::vector<double> y = random_matrix(3 * m, 1, 7);        // written with increment 3
  const std::vector<double> y0 = y;
  VLK_Matrix_dgemv_l(m, n, 1.5, a.data(), lda, x.data(), 2, -0.5, y.data(), 3);
  for (int i = 0; i < 3 * m; ++i) {
    if (i % 3 != 0) {
      EXPECT_EQ(y[i], y0[i]) << i;
      continue;
    }
    const int r = i / 3;
    double s = 0.0;
    for (int j = 0; j < n; ++j) s += a[r + j * lda] * x[2 * j];
    EXPECT_NEAR(y[i], 1.5 * s - 0.5 * y0[i], 1e-12) << r;
  }
}

TEST(MatrixVector, GemvReadsYEvenWithZeroBeta) {
  const double a[4] = {1, 2, 3, 4}, x[2] = {1, 1};
  double y[2] = {std::numeric_limits<double>::quiet_NaN(), 1.0};
  VLK_Matrix_dgemv_l(2, 2, 1.0, a, 2, x, 1, 0.0, y, 1);
  EXPECT_TRUE(std::isnan(y[0]));
  EXPECT_EQ(y[1], 6.0);

  double z[2] = {2.0, -4.0};
  VLK_Matrix_dgemv_l(2, 0, 1.0, a, 2, x, 1, 0.5, z, 1);  // no columns: y = beta y
  EXPECT_EQ(z[0], 1.0);
  EXPECT_EQ(z[1], -2.0);
  VLK_Matrix_dgemv_l(0, 2, 1.0, a, 2, x, 1, 0.5, z, 1);  // no rows: nothing
  EXPECT_EQ(z[0], 1.0);
}

TEST(MatrixLapack, WorkspaceQueriesAreUsable) {
  EXPECT_EQ(VLK_Matrix_dsytrf_work_size(0), 1);
  EXPECT_EQ(VLK_Matrix_dgetri_work_size(0), 1);
  EXPECT_EQ(VLK_Matrix_dsyev_work_size(-3), 1);
  for (int n : {1, 2, 7, 40}) {
    SCOPED_TRACE(n);
    // A symmetric, diagonally dominant matrix: every routine below succeeds on it.
    std::vector<double> a = random_matrix(n, n, 100 + n);
    for (int j = 0; j < n; ++j) {
      for (int i = 0; i < j; ++i) a[j + i * n] = a[i + j * n];
      a[j + j * n] += 4.0 * n;
    }
    std::vector<int> ipiv(n);
    int info = -1;

    const int lw_trf = VLK_Matrix_dsytrf_work_size(n);
    EXPECT_GE(lw_trf, 1);
    std::vector<double> f = a, work(lw_trf);
    dsytrf_(VLK_Matrix_LU, &n, f.data(), &n, ipiv.data(), work.data(), &lw_trf, &info, 1);
    EXPECT_EQ(info, 0);

    const int lw_tri = VLK_Matrix_dgetri_work_size(n);
    EXPECT_GE(lw_tri, n);
    std::vector<double> g = a, work2(lw_tri);
    dgetrf_(&n, &n, g.data(), &n, ipiv.data(), &info);
    ASSERT_EQ(info, 0);
    dgetri_(&n, g.data(), &n, ipiv.data(), work2.data(), &lw_tri, &info);
    EXPECT_EQ(info, 0);
    // g is the inverse: (a g)(0, 0) = 1.
    double e00 = 0.0;
    for (int k = 0; k < n; ++k) e00 += a[k * n] * g[k];
    EXPECT_NEAR(e00, 1.0, 1e-10);

    const int lw_ev = VLK_Matrix_dsyev_work_size(n);
    EXPECT_GE(lw_ev, 3 * n - 1);
    std::vector<double> h = a, w(n), work3(lw_ev);
    dsyev_(VLK_Matrix_LN, VLK_Matrix_LU, &n, h.data(), &n, w.data(), work3.data(), &lw_ev, &info, 1,
           1);
    EXPECT_EQ(info, 0);
    EXPECT_NEAR(std::accumulate(w.begin(), w.end(), 0.0), VLK_Matrix_trace(a.data(), n), 1e-8);
  }
}

TEST(MatrixText, PrintFormats) {
  const double a[6] = {1.5, -2.0, 3.25, 100.0, 0.0, -0.125};  // 2 x 3
  EXPECT_EQ(capture([&](FILE* fp) { VLK_Matrix_print(fp, a, 2, 3); }),
            "  1.5000     3.2500     0.0000\n"
            " -2.0000   100.0000    -0.1250\n");
  EXPECT_EQ(capture([&](FILE* fp) { VLK_Matrix_print(fp, a, 1, 3); }),
            "  1.5000    -2.0000     3.2500\n");
  EXPECT_EQ(capture([&](FILE* fp) { VLK_Matrix_print(fp, a, 2, 0); }), "\n\n");
  EXPECT_EQ(capture([&](FILE* fp) { VLK_Matrix_printf(fp, a, 2, 3, "%.1e"); }),
            "1.5e+00  3.2e+00  0.0e+00\n"
            "-2.0e+00  1.0e+02  -1.2e-01\n");
  EXPECT_EQ(capture([&](FILE* fp) { VLK_Matrix_fprintf(fp, 2, a, 2, 3); }),
            "1.50\t3.25\t0.00\n"
            "-2.00\t100.00\t-0.12\n");
  EXPECT_EQ(capture([&](FILE* fp) { VLK_Matrix_fprintf(fp, 0, a, 1, 2); }), "2\t-2\n");
  EXPECT_EQ(capture([&](FILE* fp) { VLK_Matrix_debug_write(fp, "beta", a, 1, 2); }),
            "beta\t1\t2\n"
            "1.500000000000000\t-2.000000000000000\n"
            "\n");
  EXPECT_EQ(capture([&](FILE* fp) { VLK_Matrix_debug_write(fp, "none", a, 0, 4); }),
            "none\t0\t4\n\n");
}

// ---- debug dump ----

namespace {

// A stream over the given text, closed on destruction.
struct Dump {
  vlk_test::TempFile file;
  FILE* fp;
  explicit Dump(const std::string& text) : file(text), fp(std::fopen(file.path().c_str(), "r")) {}
  ~Dump() { std::fclose(fp); }
};

}  // namespace

TEST(MatrixDebugCheck, WriteThenCompareBlockByBlock) {
  const std::vector<double> a = random_matrix(3, 2, 1), b = random_matrix(2, 4, 2);
  FILE* fp = std::tmpfile();
  ASSERT_NE(fp, nullptr);
  EXPECT_EQ(VLK_Matrix_debug_check(fp, "A", a.data(), 3, 2, 1, 0), 0.0);
  EXPECT_EQ(VLK_Matrix_debug_check(fp, "B", b.data(), 2, 4, 1, 0), 0.0);
  EXPECT_EQ(VLK_Matrix_debug_check(fp, "E", nullptr, 0, 0, 1, 0), 0.0);
  std::rewind(fp);
  std::vector<double> a2 = a;
  a2[4] += 3e-5;  // inside the tolerance, and the largest change
  a2[1] -= 1e-5;
  EXPECT_NEAR(VLK_Matrix_debug_check(fp, "A", a2.data(), 3, 2, 2, 0), 3e-5, 1e-9);
  EXPECT_LT(VLK_Matrix_debug_check(fp, "B", b.data(), 2, 4, 2, 0), 1e-14);  // 15 decimals
  EXPECT_EQ(VLK_Matrix_debug_check(fp, "E", nullptr, 0, 0, 2, 0), 0.0);
  std::fclose(fp);
}

TEST(MatrixDebugCheck, ToleranceBoundaryAndAbsoluteValues) {
  {
    const Dump d("t\t1\t3\n1.00005\t0.0001\t-2.5\n\n");
    const double a[3] = {1.0, 0.0, -2.5};  // 0.0001 vs 0: exactly the tolerance passes
    EXPECT_NEAR(VLK_Matrix_debug_check(d.fp, "t", a, 1, 3, 2, 0), 1e-4, 1e-12);
  }
  {
    const Dump d("t\t1\t2\n-1.5\t2\n\n");
    const double a[2] = {1.5, -2.0};
    EXPECT_EQ(VLK_Matrix_debug_check(d.fp, "t", a, 1, 2, 2, 1), 0.0);
  }
  {
    const Dump d("t\t1\t2\nnan\t1\n\n");
    const double a[2] = {std::numeric_limits<double>::quiet_NaN(), 1.0};
    EXPECT_EQ(VLK_Matrix_debug_check(d.fp, "t", a, 1, 2, 2, 0), 0.0);
  }
  {
    // Another mode reads the block and compares nothing.
    const Dump d("t\t1\t2\n5\t6\n\nu\t1\t1\n7\n\n");
    const double a[2] = {0.0, 0.0}, b[1] = {7.0};
    EXPECT_EQ(VLK_Matrix_debug_check(d.fp, "t", a, 1, 2, 0, 0), 0.0);
    EXPECT_EQ(VLK_Matrix_debug_check(d.fp, "u", b, 1, 1, 2, 0), 0.0);
  }
}

TEST(MatrixDebugCheck, MismatchesEndTheProgram) {
  const double a[4] = {1.0, 2.0, 3.0, 4.0};  // 2 x 2
  const std::string good = "m\t2\t2\n1\t3\n2\t4\n\n";
  {
    const Dump d(good);
    EXPECT_FATAL_EXIT(VLK_Matrix_debug_check(d.fp, "mm", a, 2, 2, 2, 0),
                      "VLK_Matrix_debug_check: Different label detected.\n"
                      "                    Old vs New: \"m\" vs \"mm\"\n");
  }
  {
    const Dump d("m\t2\t2\n1\t3\n2\t4.0002\n\n");
    EXPECT_FATAL_EXIT(VLK_Matrix_debug_check(d.fp, "m", a, 2, 2, 2, 0),
                      "VLK_Matrix_debug_check: Failed for \"m\" diff=0.000200000000000\n"
                      "                  : X(1,1): Old vs New: 4.000200000000000 vs "
                      "4.000000000000000\n");
  }
  {
    const Dump d("m\t2\t2\n-1\t3\n2\t4\n\n");  // equal magnitudes differ without use_abs
    EXPECT_FATAL_EXIT(VLK_Matrix_debug_check(d.fp, "m", a, 2, 2, 2, 0),
                      "VLK_Matrix_debug_check: Failed for \"m\" diff=2.000000000000000\n"
                      "                  : X(0,0): Old vs New: -1.000000000000000 vs "
                      "1.000000000000000\n");
  }
  {
    const Dump d("m\t2\t2\nnan\t3\n2\t4\n\n");  // NaN on one side only is a difference
    EXPECT_FATAL_EXIT(VLK_Matrix_debug_check(d.fp, "m", a, 2, 2, 2, 0),
                      "VLK_Matrix_debug_check: Failed for \"m\" diff=nan\n"
                      "                  : X(0,0): Old vs New: nan vs 1.000000000000000\n");
  }
  struct Bad {
    std::string text;
    const char* message;
  };
  const Bad bad[] = {
      {"", "VLK_Matrix_debug_check: Cannot read the header line of \"m\".\n"},
      {"m 2 2\n", "VLK_Matrix_debug_check: The header line for \"m\" has no TAB.\n"},
      {"m\t2\t3\n",
       "VLK_Matrix_debug_check: Size mismatch for \"m\": 2 x 3 in the file vs 2 x 2.\n"},
      {"m\t2\n", "VLK_Matrix_debug_check: Size mismatch for \"m\": 2 x -1 in the file vs 2 x 2.\n"},
      {"m\t2\t2\n1\t3\n", "VLK_Matrix_debug_check: Cannot read row 1 of \"m\".\n"},
      {"m\t2\t2\n1\t3\n2\n\n",
       "VLK_Matrix_debug_check: Row 1 of \"m\" has no value in column 1.\n"},
      {"m\t2\t2\n1\tx\n2\t4\n\n",
       "VLK_Matrix_debug_check: Row 0 of \"m\" has no value in column 1.\n"},
      {"m\t2\t2\n1\t3\n2\t4\n",
       "VLK_Matrix_debug_check: The block of \"m\" does not end with an empty line.\n"},
      {"m\t2\t2\n1\t3\n2\t4\nm\t2\t2\n",
       "VLK_Matrix_debug_check: The block of \"m\" does not end with an empty line.\n"},
  };
  for (const Bad& b : bad) {
    SCOPED_TRACE(b.text);
    const Dump d(b.text);
    EXPECT_FATAL_EXIT(VLK_Matrix_debug_check(d.fp, "m", a, 2, 2, 2, 0), b.message);
  }
}
