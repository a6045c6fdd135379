// Banded B-spline products against dense products of the expanded design matrix, for the fixed
// M = 20, degree-3 case and for other sizes (including M above the stack-expansion limit of the
// symmetric products).
#include "BSpline_kernels.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>
#include <limits>
#include <random>
#include <vector>

#include "BSpline.h"

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kSentinel = -31415.9265;  // in triangles a kernel must not write

using Vec = std::vector<double>;

Vec random_vec(size_t n, std::mt19937_64& gen, double lo = -1.0, double hi = 1.0) {
  std::uniform_real_distribution<double> dist(lo, hi);
  Vec v(n);
  for (double& x : v) x = dist(gen);
  return v;
}

// A design matrix of random samples, its dense n x M form, and a random symmetric matrix stored
// in the upper triangle with NaN below (a kernel that reads the lower triangle returns NaN).
struct Shape {
  int M, p, n;
};

struct Fixture {
  int M, p, n;
  Vec x, B, dense;  // dense: n x M, column-major
  std::vector<int> Bindex;
  Vec S_upper, S_full;  // M x M
  std::mt19937_64 gen;

  explicit Fixture(Shape s, unsigned seed = 1)
      : M(s.M), p(s.p), n(s.n), gen(seed + 97 * s.M + 13 * s.p + s.n) {
    x = random_vec(n, gen, -2.0, 7.0);
    B.assign(static_cast<size_t>(n) * (p + 1), 0.0);
    Bindex.assign(n, 0);
    Vec work(M + 1 + static_cast<size_t>(n) * (p + 1));
    BSpline_design_matrix(x.data(), n, B.data(), Bindex.data(), M, p, work.data());
    dense.assign(static_cast<size_t>(n) * M, 0.0);
    BSpline_design_matrix_cnv(B.data(), Bindex.data(), n, M, p, dense.data());
    S_full.assign(static_cast<size_t>(M) * M, 0.0);
    S_upper.assign(static_cast<size_t>(M) * M, kNaN);
    std::uniform_real_distribution<double> dist(-1.0, 1.0);
    for (int c = 0; c < M; ++c)
      for (int r = 0; r <= c; ++r)
        S_full[r + c * M] = S_full[c + r * M] = S_upper[r + c * M] = dist(gen);
  }
  double Bd(int j, int b) const { return dense[j + static_cast<size_t>(b) * n]; }
};

const Shape kShapes[] = {{20, 3, 57}, {20, 3, 1},  {10, 2, 31},
                         {9, 5, 40},  {40, 1, 23}, {33, 3, 18}};

::testing::AssertionResult near_rel(double got, double want, double tol = 1e-12) {
  const double err = std::abs(got - want);
  if (err <= tol * (1.0 + std::abs(want))) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << got << " vs " << want << " (diff " << err << ")";
}

std::string shape_name(const Shape& s) {
  return "M " + std::to_string(s.M) + " p " + std::to_string(s.p) + " n " + std::to_string(s.n);
}

// ---------------------------------------------------------------------------------------------

TEST(BSplineSyBtB, UpperTriangleOfBtBWithLowerTriangleUntouched) {
  for (const Shape& s : kShapes) {
    SCOPED_TRACE(shape_name(s));
    const Fixture f(s);
    Vec S(static_cast<size_t>(f.M) * f.M, kSentinel);
    BSpline_syBtB(f.B.data(), f.Bindex.data(), f.n, f.M, f.p, S.data());
    double band_sum = 0.0;
    for (int b = 0; b < f.M; ++b)
      for (int a = 0; a < f.M; ++a) {
        const double got = S[a + static_cast<size_t>(b) * f.M];
        if (a > b) {
          EXPECT_EQ(got, kSentinel) << a << "," << b;
          continue;
        }
        double want = 0.0;
        for (int j = 0; j < f.n; ++j) want += f.Bd(j, a) * f.Bd(j, b);
        if (b - a > f.p) {
          EXPECT_EQ(got, 0.0) << a << "," << b;  // outside the band: set, not summed
        } else {
          EXPECT_TRUE(near_rel(got, want)) << a << "," << b;
        }
        band_sum += (a == b ? 1.0 : 2.0) * got;
      }
    // Every row of B sums to one, so all entries of B'B together sum to n.
    EXPECT_TRUE(near_rel(band_sum, f.n));
  }
}

TEST(BSplineSyBtB, FixedSizeWritesExactlyTheBandAndClearsTheRestOfTheUpperTriangle) {
  const Fixture f({20, 3, 200});
  Vec S(400, kSentinel);
  BSpline_syBtB(f.B.data(), f.Bindex.data(), f.n, 20, 3, S.data());
  int band = 0, zero = 0, lower = 0;
  for (int b = 0; b < 20; ++b)
    for (int a = 0; a < 20; ++a) {
      const double v = S[a + 20 * b];
      if (a > b)
        lower += v == kSentinel;
      else if (b - a <= 3)
        band += v != kSentinel && v != 0.0;  // 200 samples cover every band entry
      else
        zero += v == 0.0;
    }
  EXPECT_EQ(band, 74);
  EXPECT_EQ(zero, 136);
  EXPECT_EQ(lower, 190);
}

TEST(BSplineSyMBt, SymmetricTimesBTransposeReadsOnlyTheUpperTriangle) {
  for (const Shape& s : kShapes) {
    SCOPED_TRACE(shape_name(s));
    const Fixture f(s);
    Vec out(static_cast<size_t>(f.M) * f.n + 5, kSentinel);
    BSpline_syMBt(f.S_upper.data(), f.B.data(), f.Bindex.data(), f.n, f.M, f.p, out.data());
    for (int j = 0; j < f.n; ++j)
      for (int a = 0; a < f.M; ++a) {
        double want = 0.0;
        for (int b = 0; b < f.M; ++b) want += f.S_full[a + b * f.M] * f.Bd(j, b);
        EXPECT_TRUE(near_rel(out[a + static_cast<size_t>(j) * f.M], want)) << a << "," << j;
      }
    for (size_t i = static_cast<size_t>(f.M) * f.n; i < out.size(); ++i)
      EXPECT_EQ(out[i], kSentinel);
  }
}

TEST(BSplineSyMBt, IdentityGivesBTranspose) {
  for (const Shape& s : {Shape{20, 3, 25}, Shape{40, 1, 12}}) {
    SCOPED_TRACE(shape_name(s));
    const Fixture f(s);
    Vec I(static_cast<size_t>(f.M) * f.M, kNaN);
    for (int c = 0; c < f.M; ++c)
      for (int r = 0; r <= c; ++r) I[r + c * f.M] = r == c ? 1.0 : 0.0;
    Vec out(static_cast<size_t>(f.M) * f.n);
    BSpline_syMBt(I.data(), f.B.data(), f.Bindex.data(), f.n, f.M, f.p, out.data());
    for (int j = 0; j < f.n; ++j)
      for (int a = 0; a < f.M; ++a) EXPECT_EQ(out[a + static_cast<size_t>(j) * f.M], f.Bd(j, a));
  }
}

TEST(BSplineBM, BandTimesMatrixWithLeadingDimensionAboveM) {
  for (const Shape& s : kShapes) {
    SCOPED_TRACE(shape_name(s));
    Fixture f(s);
    const int lda = f.M + 3;  // the padding rows hold NaN and must not be read
    Vec A(static_cast<size_t>(lda) * f.n, kNaN);
    for (int k = 0; k < f.n; ++k)
      for (int r = 0; r < f.M; ++r) A[r + static_cast<size_t>(k) * lda] = random_vec(1, f.gen)[0];
    Vec out(static_cast<size_t>(f.n) * f.n, kSentinel);
    BSpline_BM(f.B.data(), f.Bindex.data(), A.data(), f.n, lda, f.p, out.data());
    for (int k = 0; k < f.n; ++k)
      for (int j = 0; j < f.n; ++j) {
        double want = 0.0;
        for (int b = 0; b < f.M; ++b) want += f.Bd(j, b) * A[b + static_cast<size_t>(k) * lda];
        EXPECT_TRUE(near_rel(out[j + static_cast<size_t>(k) * f.n], want)) << j << "," << k;
      }
  }
}

TEST(BSplineBM, SmootherBSBtIsSymmetric) {
  for (const Shape& s : {Shape{20, 3, 30}, Shape{9, 5, 17}}) {
    SCOPED_TRACE(shape_name(s));
    const Fixture f(s);
    Vec SBt(static_cast<size_t>(f.M) * f.n), H(static_cast<size_t>(f.n) * f.n);
    BSpline_syMBt(f.S_upper.data(), f.B.data(), f.Bindex.data(), f.n, f.M, f.p, SBt.data());
    BSpline_BM(f.B.data(), f.Bindex.data(), SBt.data(), f.n, f.M, f.p, H.data());
    for (int k = 0; k < f.n; ++k)
      for (int j = 0; j < k; ++j)
        EXPECT_TRUE(
            near_rel(H[j + static_cast<size_t>(k) * f.n], H[k + static_cast<size_t>(j) * f.n]))
            << j << "," << k;
  }
}

TEST(BSplineBx, BandTimesCoefficientsAndResidualVariance) {
  for (const Shape& s : kShapes) {
    SCOPED_TRACE(shape_name(s));
    Fixture f(s);
    const Vec coef = random_vec(f.M, f.gen);
    const Vec y = random_vec(f.n, f.gen);
    Vec out(f.n + 1, kSentinel);
    BSpline_Bx(f.B.data(), f.Bindex.data(), coef.data(), f.n, f.M, f.p, out.data());
    EXPECT_EQ(out[f.n], kSentinel);
    double rss = 0.0;
    for (int j = 0; j < f.n; ++j) {
      double want = 0.0;
      for (int b = 0; b < f.M; ++b) want += f.Bd(j, b) * coef[b];
      EXPECT_TRUE(near_rel(out[j], want)) << j;
      rss += (y[j] - want) * (y[j] - want);
    }
    EXPECT_TRUE(near_rel(BSpline_var(f.n, y.data(), out.data()), rss / f.n));
    if (f.p != 3) continue;
    Vec out3(f.n, kNaN), out3v(f.n, kNaN);
    BSpline_Bx3(f.B.data(), f.Bindex.data(), coef.data(), f.n, out3.data());
    const double v =
        BSpline_Bx3_var(f.B.data(), f.Bindex.data(), coef.data(), f.n, out3v.data(), y.data());
    for (int j = 0; j < f.n; ++j) {
      EXPECT_TRUE(near_rel(out3[j], out[j])) << j;
      EXPECT_TRUE(near_rel(out3v[j], out[j])) << j;
    }
    EXPECT_EQ(v, BSpline_var(f.n, y.data(), out3v.data()));
  }
}

TEST(BSplineVar, PopulationVarianceAboutTheFit) {
  const double a[] = {1, 2, 3}, b[] = {1, 3}, c[] = {2, 2};
  EXPECT_EQ(BSpline_var(3, a, a), 0.0);
  EXPECT_EQ(BSpline_var(2, b, c), 1.0);
  // No samples: undefined rather than a perfect fit.
  EXPECT_TRUE(std::isnan(BSpline_var(0, a, a)));
}

TEST(BSplineDxmy, SubtractsElementwise) {
  Vec x = {5, 1, -2, 0.5}, y = {1, 1, 1, -0.5};
  BSpline_dxmy(3, x.data(), y.data());
  EXPECT_EQ(x, (Vec{4, 0, -3, 0.5}));
}

// ---------------------------------------------------------------------------------------------
// Fixed-size kernels (M = 20).

TEST(BSplineMv20, BothFormsMatchTheDenseProductForEveryTail) {
  std::mt19937_64 gen(5);
  for (const int n : {0, 1, 2, 3, 8, 57, 1000}) {
    SCOPED_TRACE(n);
    const Vec A = random_vec(20 * static_cast<size_t>(n), gen);
    const Vec v = random_vec(n, gen);
    Vec out(21, kNaN), outL(21, kNaN);
    out[20] = outL[20] = kSentinel;
    BSpline_Mv20(n, A.data(), v.data(), out.data());
    BSpline_Mv20L(n, A.data(), v.data(), outL.data());
    for (int k = 0; k < 20; ++k) {
      double want = 0.0;
      for (int j = 0; j < n; ++j) want += A[k + 20 * static_cast<size_t>(j)] * v[j];
      EXPECT_TRUE(near_rel(out[k], want)) << k;
      EXPECT_TRUE(near_rel(outL[k], want)) << k;
    }
    EXPECT_EQ(out[20], kSentinel);
    EXPECT_EQ(outL[20], kSentinel);
  }
}

TEST(BSplineGKg20, BothFormsMatchTheDenseQuadraticFormAndIgnoreTheLowerTriangle) {
  const Fixture f({20, 3, 5});
  std::mt19937_64 gen(9);
  for (int rep = 0; rep < 3; ++rep) {
    const Vec g = random_vec(20, gen, -3.0, 3.0);
    double want = 0.0;
    for (int i = 0; i < 20; ++i)
      for (int j = 0; j < 20; ++j) want += g[i] * f.S_full[i + 20 * j] * g[j];
    EXPECT_TRUE(near_rel(BSpline_gKg20L(f.S_upper.data(), g.data()), want));
    EXPECT_TRUE(near_rel(BSpline_gKg20(f.S_upper.data(), g.data()), want));
  }
  // The penalty of a linear coefficient vector vanishes.
  Vec K(400, kNaN), line(20);
  BSpline_K(20, 2, K.data(), nullptr);
  for (int i = 0; i < 20; ++i) line[i] = 0.5 - 2.0 * i;
  EXPECT_NEAR(BSpline_gKg20L(K.data(), line.data()), 0.0, 1e-9);
  EXPECT_NEAR(BSpline_gKg20(K.data(), line.data()), 0.0, 1e-9);
}

TEST(BSplineDsycopy20, CopiesTheUpperTriangleOnly) {
  std::mt19937_64 gen(3);
  const Vec src = random_vec(400, gen);
  Vec dst(400, kSentinel);
  BSpline_dsycopy20(src.data(), dst.data());
  for (int c = 0; c < 20; ++c)
    for (int r = 0; r < 20; ++r)
      EXPECT_EQ(dst[r + 20 * c], r <= c ? src[r + 20 * c] : kSentinel) << r << "," << c;
}

// ---------------------------------------------------------------------------------------------

// Samples at magnitudes where the knots barely resolve them are clamped into a valid interval;
// every banded product then stays inside its arrays (checked by the sanitizer build) and
// still sees rows that sum to one.
TEST(BSplineKernels, ClampedDesignMatricesStayInsideTheirArrays) {
  const Vec x = {1e10, 1e10 + 0.3, 1e10 + 1.0, 1e10 + 1e-6, 1e10 + 0.7, 1e10};
  const int n = static_cast<int>(x.size());
  Vec B(4 * x.size()), work(21 + 4 * x.size());
  std::vector<int> Bindex(x.size());
  BSpline_design_matrix(x.data(), n, B.data(), Bindex.data(), 20, 3, work.data());
  Vec S(400, kSentinel), L(20 * x.size()), H(x.size() * x.size());
  BSpline_syBtB(B.data(), Bindex.data(), n, 20, 3, S.data());
  double total = 0.0;
  for (int b = 0; b < 20; ++b)
    for (int a = 0; a <= b; ++a) total += (a == b ? 1.0 : 2.0) * S[a + 20 * b];
  EXPECT_TRUE(near_rel(total, n));
  Vec I(400, 0.0);
  for (int i = 0; i < 20; ++i) I[21 * i] = 1.0;
  BSpline_syMBt(I.data(), B.data(), Bindex.data(), n, 20, 3, L.data());
  BSpline_BM(B.data(), Bindex.data(), L.data(), n, 20, 3, H.data());
  for (const double h : H) EXPECT_TRUE(std::isfinite(h));
}

}  // namespace
