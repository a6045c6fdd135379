// B-spline design matrix, binomial coefficients, difference matrices and the penalty.
#include "BSpline.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <numeric>
#include <random>
#include <vector>

namespace {

// The band of one variable plus the caller's work area, sized as the routine needs them.
struct Band {
  int n, M, p;
  std::vector<double> B, work;
  std::vector<int> Bindex;

  Band(const std::vector<double>& x, int M_, int p_)
      : n(static_cast<int>(x.size())),
        M(M_),
        p(p_),
        B(x.size() * (p_ + 1), std::numeric_limits<double>::quiet_NaN()),
        work(M_ + 1 + x.size() * (p_ + 1)),
        Bindex(x.size(), -12345) {
    BSpline_design_matrix(x.data(), n, B.data(), Bindex.data(), M, p, work.data());
  }
  const double* row(int j) const { return B.data() + j * (p + 1); }
  const double* knots() const { return work.data(); }
  // Position of sample j inside its knot interval, as the routine left it in the work area.
  double s(int j) const { return work[M + 1 + j * (p + 1) + p]; }
};

std::vector<double> random_values(int n, unsigned seed, double lo, double hi) {
  std::mt19937_64 gen(seed);
  std::uniform_real_distribution<double> dist(lo, hi);
  std::vector<double> x(n);
  for (double& v : x) v = dist(gen);
  return x;
}

// Every row a proper band: first index in range, values non-negative and summing to one.
void expect_valid_band(const Band& b, double sum_tol) {
  for (int j = 0; j < b.n; ++j) {
    SCOPED_TRACE(testing::Message() << "sample " << j);
    ASSERT_GE(b.Bindex[j], 0);
    ASSERT_LE(b.Bindex[j] + b.p, b.M - 1);
    double sum = 0.0;
    for (int m = 0; m <= b.p; ++m) {
      EXPECT_TRUE(std::isfinite(b.row(j)[m]));
      EXPECT_GE(b.row(j)[m], 0.0);
      sum += b.row(j)[m];
    }
    EXPECT_NEAR(sum, 1.0, sum_tol);
  }
}

// ---------------------------------------------------------------------------------------------
// Design matrix against golden values of the general (non-uniform) Cox-de Boor recursion on the
// explicit knot vector (tests/tools/bspline_golden.py).

struct GoldenRow {
  int first;
  std::vector<double> values;
};

struct GoldenCase {
  const char* name;
  int M, p;
  std::vector<double> x;
  std::vector<GoldenRow> rows;
};

const std::vector<double> kMixed = {0.0, 0.37, 1.25, 2.0, -0.8, 3.1415926, 5.0, 4.999, -0.79};

const std::vector<GoldenCase>& golden_cases() {
  static const std::vector<GoldenCase> cases = {
      {"M20_p3",
       20,
       3,
       kMixed,
       {{2, {0.04687217826308767, 0.56826153948947289, 0.37803258777757714, 0.0068336944698620724}},
        {3, {0.0309776416169701, 0.52192172345083898, 0.43391310856846399, 0.013187526363726779}},
        {6, {0.16239333099046444, 0.66659266923374139, 0.1710138929963228, 1.0677947119779172e-07}},
        {8, {0.083145403903705464, 0.62828870585759633, 0.28708981474253753, 0.001476075496160658}},
        {0,
         {0.16666652011499064, 0.66666666666658081, 0.16666681321842863, 4.1967344260396574e-21}},
        {11,
         {0.014891393602146353, 0.44545028241408235, 0.51148153205311064, 0.028176791930660552}},
        {16,
         {4.1967344679734491e-21, 0.16666681321842863, 0.66666666666658092, 0.1666665201149905}},
        {16,
         {4.1979935789103415e-09, 0.16813661415566214, 0.6666580865798224, 0.16520529506652176}},
        {0,
         {0.15243670806450682, 0.66582014381099941, 0.18173895126415759, 4.196860335958534e-06}}}},
      {"M10_p2",
       10,
       2,
       kMixed,
       {{1, {0.40190240747878958, 0.5927468092992616, 0.0053507832219489423}},
        {1, {0.074577851693800906, 0.73705111088112873, 0.18837103742507022}},
        {2, {0.014863251055804936, 0.64268725056377818, 0.34244949838041694}},
        {3, {0.00951248448070857, 0.61890606076509924, 0.37158145475419219}},
        {0, {0.49999986206897978, 0.50000013793101061, 9.5124844706946467e-15}},
        {5, {0.1586650499046719, 0.74599050145546331, 0.095344448639864854}},
        {7, {9.5124845340605253e-15, 0.50000013793101106, 0.49999986206897934}},
        {7, {9.5143870727412275e-07, 0.5013775453508813, 0.49862150321041154}},
        {0, {0.48630188584363221, 0.51360298740905441, 9.5126747313493271e-05}}}},
      {"M9_p5",
       9,
       5,
       kMixed,
       {{0,
         {0.00015084998942892753, 0.052192530636207157, 0.41670479718123477, 0.45811124480709126,
          0.07241455847856014, 0.00042601890747771039}},
        {0,
         {2.2375277843678924e-06, 0.02013351903098716, 0.30193176878827377, 0.53168077779640988,
          0.14340128141385328, 0.0028504154426913344}},
        {1,
         {0.00057686381326772383, 0.080218089499049378, 0.47070614146224465, 0.40193396592563246,
          0.046463843037159634, 0.000101096262646368}},
        {1,
         {1.3001057166015472e-08, 0.011631462268633198, 0.24613669515446013, 0.54762740432931345,
          0.18877470666143253, 0.0058297185851036012}},
        {0,
         {0.0083333304597706086, 0.21666663793103624, 0.54999999999999749, 0.21666669540229858,
          0.0083333362068968471, 1.3001057131799502e-38}},
        {2,
         {1.4772260121317037e-05, 0.028730665603909817, 0.34262185663288469, 0.51175942730144708,
          0.11527935241460935, 0.0015939257870276897}},
        {3,
         {1.3001057348310598e-38, 0.008333336206896854, 0.21666669540229874, 0.5499999999999976,
          0.21666663793103613, 0.0083333304597705982}},
        {3,
         {1.3007558994874108e-18, 0.0083621115087213101, 0.21695413094606367, 0.5499997621403796,
          0.21637936096031207, 0.0083046344445231405}},
        {0,
         {0.0080499105208981653, 0.21380105633536944, 0.54997621887744019, 0.21954813070370827,
          0.0086246835624540705, 1.3001707231874614e-13}}}},
      // The extremes sit just inside the outer knots: s is about 1.7e-06 and 0.9999983.
      {"ends_M20_p3",
       20,
       3,
       {0.0, 0.5, 1.0},
       {{0, {0.16666581666828165, 0.66666666666377661, 0.16666751666794169, 8.188328420335295e-19}},
        {8, {0.020833333333333533, 0.47916666666666752, 0.4791666666666658, 0.02083333333333318}},
        {16,
         {8.1883284346780121e-19, 0.16666751666794244, 0.66666666666377683, 0.16666581666828079}}}},
  };
  return cases;
}

TEST(BSplineDesignMatrix, MatchesIndependentCoxDeBoorEvaluation) {
  for (const GoldenCase& c : golden_cases()) {
    SCOPED_TRACE(c.name);
    const Band b(c.x, c.M, c.p);
    for (int j = 0; j < b.n; ++j) {
      SCOPED_TRACE(testing::Message() << "sample " << j);
      EXPECT_EQ(b.Bindex[j], c.rows[j].first);
      for (int m = 0; m <= c.p; ++m) EXPECT_NEAR(b.row(j)[m], c.rows[j].values[m], 1e-13);
    }
  }
}

TEST(BSplineDesignMatrix, DenseExpansionPlacesTheBandAndClearsTheRest) {
  const GoldenCase& c = golden_cases()[1];  // M = 10, p = 2
  const Band b(c.x, c.M, c.p);
  std::vector<double> dense(static_cast<size_t>(b.n) * b.M, 99.0);
  BSpline_design_matrix_cnv(b.B.data(), b.Bindex.data(), b.n, b.M, b.p, dense.data());
  for (int j = 0; j < b.n; ++j)
    for (int col = 0; col < b.M; ++col) {
      const int m = col - c.rows[j].first;
      const double want = (m >= 0 && m <= c.p) ? b.row(j)[m] : 0.0;
      EXPECT_EQ(dense[j + static_cast<size_t>(col) * b.n], want) << j << "," << col;
    }
}

// The closed form of the cubic band and the layout of the work area (knots, then distances).
TEST(BSplineDesignMatrix, CubicBandFollowsItsClosedFormAndWorkLayout) {
  const std::vector<double> x = random_values(200, 7, -3.0, 11.0);
  const Band b(x, 20, 3);
  const auto [mn, mx] = std::minmax_element(x.begin(), x.end());
  const double h = (*mx - *mn + 2e-7) / 17;
  EXPECT_NEAR(b.knots()[3], *mn - 1e-7, 1e-12);
  EXPECT_NEAR(b.knots()[20], *mx + 1e-7, 1e-12);
  EXPECT_NEAR(b.knots()[0], *mn - 1e-7 - 3 * h, 1e-12);
  for (int j = 0; j < b.n; ++j) {
    const double s = b.s(j);
    ASSERT_GE(s, 0.0);
    ASSERT_LT(s, 1.0);
    const double* t = b.knots();
    const int k = b.Bindex[j] + 3;
    EXPECT_LE(t[k], x[j]);
    EXPECT_LT(x[j], t[k + 1]);
    for (int m = 0; m <= 3; ++m)
      EXPECT_NEAR(b.work[21 + j * 4 + m], s + (3 - m), 1e-12) << "distance " << m;
    const double want[4] = {std::pow(1 - s, 3) / 6, (3 * s * s * s - 6 * s * s + 4) / 6,
                            (-3 * s * s * s + 3 * s * s + 3 * s + 1) / 6, s * s * s / 6};
    for (int m = 0; m < 4; ++m) EXPECT_NEAR(b.row(j)[m], want[m], 1e-14) << j << "," << m;
  }
}

TEST(BSplineDesignMatrix, EveryDegreeGivesAPartitionOfUnity) {
  const std::vector<double> x = random_values(300, 11, -50.0, 20.0);
  const int shapes[][2] = {{20, 3}, {5, 0}, {7, 1}, {10, 2}, {12, 4}, {8, 7}, {30, 6}};
  for (const auto& [M, p] : shapes) {
    SCOPED_TRACE(testing::Message() << "M " << M << " p " << p);
    expect_valid_band(Band(x, M, p), 1e-13);
  }
}

TEST(BSplineDesignMatrix, ConstantSamplesSitInTheMiddleInterval) {
  const Band b(std::vector<double>(6, 3.25), 20, 3);
  for (int j = 0; j < b.n; ++j) {
    EXPECT_EQ(b.Bindex[j], 8);
    // s = 0.5 up to the rounding of knots 1.2e-08 apart around 3.25
    EXPECT_NEAR(b.row(j)[0], 1.0 / 48, 1e-7);
    EXPECT_NEAR(b.row(j)[1], 23.0 / 48, 1e-7);
    EXPECT_NEAR(b.row(j)[2], 23.0 / 48, 1e-7);
    EXPECT_NEAR(b.row(j)[3], 1.0 / 48, 1e-7);
  }
}

// At magnitudes where the margins of 1e-07 vanish in rounding, samples can fall on or beyond
// the outer knots, and constant data leaves no spacing at all. The band must stay in range.
TEST(BSplineDesignMatrix, LargeMagnitudesAndVanishedMarginsStayInRange) {
  struct Case {
    const char* name;
    std::vector<double> x;
  };
  const std::vector<Case> cases = {
      {"top sample on the last knot", {1e10, 1e10 + 0.3, 1e10 + 1.0}},
      {"negative, top on the last knot", {-3e9 - 7.0, -3e9 - 2.0, -3e9}},
      {"knots barely resolved", {1e10, 1e10 + 3e-7, 1e10 + 1e-6}},
      {"constant near 2e9", std::vector<double>(4, 2e9)},
      {"constant near 1e10", std::vector<double>(5, 1e10)},
      {"constant near -1e15", std::vector<double>(3, -1e15)},
      {"constant near 1e300", std::vector<double>(3, 1e300)},
      {"spread lost in rounding", {1e12, 1e12 + 1e-6, 1e12}},
  };
  const int shapes[][2] = {{20, 3}, {10, 2}, {9, 5}};
  for (const Case& c : cases)
    for (const auto& [M, p] : shapes) {
      SCOPED_TRACE(testing::Message() << c.name << ", M " << M << " p " << p);
      expect_valid_band(Band(c.x, M, p), 1e-12);
    }
}

TEST(BSplineDesignMatrix, SampleOnTheLastKnotGetsTheLimitFromBelow) {
  const Band b({1e10, 1e10 + 0.3, 1e10 + 1.0}, 20, 3);
  EXPECT_EQ(b.Bindex[0], 0);
  EXPECT_EQ(b.Bindex[2], 16);
  // The cubic band at s = 1 (0, 1/6, 2/3, 1/6), up to the spacing of doubles near 1e10 relative
  // to the knot spacing 1/17.
  EXPECT_NEAR(b.row(2)[0], 0.0, 1e-4);
  EXPECT_NEAR(b.row(2)[1], 1.0 / 6, 1e-4);
  EXPECT_NEAR(b.row(2)[2], 2.0 / 3, 1e-4);
  EXPECT_NEAR(b.row(2)[3], 1.0 / 6, 1e-4);
}

TEST(BSplineDesignMatrix, LargeConstantRowsLookLikeOrdinaryConstantRows) {
  for (const double c : {2e9, 1e10, -1e15, 1e300}) {
    SCOPED_TRACE(c);
    const Band b(std::vector<double>(4, c), 20, 3);
    for (int j = 0; j < b.n; ++j) {
      EXPECT_EQ(b.Bindex[j], 8);
      EXPECT_NEAR(b.row(j)[1], 23.0 / 48, 1e-6);
      EXPECT_NEAR(b.row(j)[2], 23.0 / 48, 1e-6);
    }
  }
}

TEST(BSplineDesignMatrix, NoSamplesWritesNothing) {
  double x = 1.0, B = -1.0, work[21] = {};
  int Bindex = -7;
  BSpline_design_matrix(&x, 0, &B, &Bindex, 20, 3, work);
  EXPECT_EQ(Bindex, -7);
  EXPECT_EQ(B, -1.0);
}

// ---------------------------------------------------------------------------------------------

TEST(BSplineComb, BinomialCoefficientsAndTheirLimit) {
  struct Case {
    int n, k;
    int64_t want;
  };
  const Case cases[] = {
      {4, 2, 6},
      {6, 3, 20},
      {5, 0, 1},
      {5, 5, 1},
      {7, 1, 7},
      {7, 6, 7},
      {0, 0, 1},
      {2, 1, 2},
      {10, 3, 120},
      {10, 7, 120},
      {20, 10, 184756},
      {34, 17, 2333606220LL},
      {35, 17, 4537567650LL},
      {67, 17, 3371363686069236LL},
      {67, 50, 3371363686069236LL},
      // min(k, n - k) above 17 is outside the routine's range.
      {40, 20, 0},
      {36, 18, 0},
      // k outside 0..n has no subsets.
      {5, 6, 0},
      {5, -1, 0},
  };
  for (const Case& c : cases) EXPECT_EQ(BSpline_comb(c.n, c.k), c.want) << c.n << " " << c.k;
}

// Row i of D holds the coefficients in columns i..i+d; D has leading dimension M - d.
std::vector<double> dense_row(const std::vector<double>& D, int M, int d, int i) {
  std::vector<double> r(M);
  for (int c = 0; c < M; ++c) r[c] = D[i + static_cast<size_t>(c) * (M - d)];
  return r;
}

TEST(BSplineDk, DifferenceRowsForSeveralOrders) {
  struct Case {
    int M, d;
    std::vector<std::vector<double>> rows;
  };
  const Case cases[] = {
      {5, 2, {{1, -2, 1, 0, 0}, {0, 1, -2, 1, 0}, {0, 0, 1, -2, 1}}},
      {4, 1, {{1, -1, 0, 0}, {0, 1, -1, 0}, {0, 0, 1, -1}}},
      {6, 3, {{1, -3, 3, -1, 0, 0}, {0, 1, -3, 3, -1, 0}, {0, 0, 1, -3, 3, -1}}},
      {3, 0, {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "M " << c.M << " d " << c.d);
    std::vector<double> D(static_cast<size_t>(c.M) * (c.M - c.d), 99.0);
    BSpline_Dk(c.M, c.d, D.data());
    for (int i = 0; i < c.M - c.d; ++i) EXPECT_EQ(dense_row(D, c.M, c.d, i), c.rows[i]) << i;
  }
}

std::vector<double> penalty(int M, int d, bool with_work) {
  std::vector<double> K(static_cast<size_t>(M) * M, 99.0);
  std::vector<double> work(static_cast<size_t>(M) * (M - d));
  BSpline_K(M, d, K.data(), with_work ? work.data() : nullptr);
  return K;
}

TEST(BSplineK, SecondDifferencePenaltyOfFiveCoefficients) {
  const double want[5][5] = {
      {1, -2, 1, 0, 0}, {-2, 5, -4, 1, 0}, {1, -4, 6, -4, 1}, {0, 1, -4, 5, -2}, {0, 0, 1, -2, 1}};
  const std::vector<double> K = penalty(5, 2, true);
  for (int r = 0; r < 5; ++r)
    for (int c = 0; c < 5; ++c) EXPECT_EQ(K[r + 5 * c], want[r][c]) << r << "," << c;
}

// The interior rows of D'D repeat the pattern of the difference coefficients convolved with
// themselves; the first and last d rows are cut off.
TEST(BSplineK, LargerPenaltiesRepeatTheInteriorRow) {
  struct Case {
    int M, d;
    std::vector<double> diag, off1, off2;  // first entries of the diagonals, then the repeat
  };
  const Case cases[] = {
      {20, 2, {1, 5, 6}, {-2, -4}, {1}},
      {9, 1, {1, 2}, {-1}, {0}},
  };
  for (const Case& c : cases)
    for (const bool with_work : {true, false}) {
      SCOPED_TRACE(testing::Message() << "M " << c.M << " d " << c.d << " work " << with_work);
      const std::vector<double> K = penalty(c.M, c.d, with_work);
      auto band_value = [&](const std::vector<double>& diag, int i, int len) {
        // The diagonal of length len, symmetric about its middle.
        const int from_end = std::min(i, len - 1 - i);
        return diag[std::min<size_t>(from_end, diag.size() - 1)];
      };
      for (int r = 0; r < c.M; ++r)
        for (int col = 0; col < c.M; ++col) {
          const int off = std::abs(r - col), lo = std::min(r, col);
          double want = 0.0;
          if (off == 0) want = band_value(c.diag, lo, c.M);
          if (off == 1) want = band_value(c.off1, lo, c.M - 1);
          if (off == 2) want = band_value(c.off2, lo, c.M - 2);
          EXPECT_EQ(K[r + static_cast<size_t>(col) * c.M], want) << r << "," << col;
        }
    }
}

TEST(BSplineDetKPlus, SecondDifferencePenaltyHasItsClosedForm) {
  // Product of the non-zero eigenvalues of D'D for second differences: M^2 (M^2 - 1) / 12.
  for (int M = 3; M <= 30; ++M) {
    SCOPED_TRACE(M);
    const std::vector<double> K = penalty(M, 2, true);
    const double want = M * M * (M * M - 1.0) / 12.0;
    EXPECT_NEAR(BSpline_det_K_plus(K.data(), M), want, want * 1e-9);
  }
  const std::vector<double> K20 = penalty(20, 2, true);
  EXPECT_NEAR(std::log(BSpline_det_K_plus(K20.data(), 20)), std::log(13300.0), 1e-10);
  EXPECT_NEAR(BSpline_det_K_plus(penalty(3, 2, true).data(), 3), 6.0, 1e-12);
}

TEST(BSplineDetKPlus, SkipsExactlyTheTwoSmallestEigenvalues) {
  // diag(5, 0.5, 2, 3): eigenvalues 0.5 2 3 5; the product of all but the two smallest is 15.
  std::vector<double> K(16, 0.0);
  const double d[4] = {5, 0.5, 2, 3};
  for (int i = 0; i < 4; ++i) K[i * 5] = d[i];
  K[1 + 4 * 0] = 1e300;  // lower triangle: not read
  const std::vector<double> before = K;
  EXPECT_NEAR(BSpline_det_K_plus(K.data(), 4), 15.0, 1e-12);
  EXPECT_EQ(K, before);
  for (const int M : {0, 1, 2}) EXPECT_EQ(BSpline_det_K_plus(K.data(), M), 1.0) << M;
}

}  // namespace
