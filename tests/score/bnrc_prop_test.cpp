// The edge properties of a BNRC fit (direction, spline, partial residual), the smoother trace they
// rest on against a dense computation, and the module's help text.
#include <gtest/gtest.h>
#include <omp.h>

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "VLK_BNRC.h"
#include "VLK_DoubleArray.h"
#include "VLK_Help.h"
#include "VLK_KeyValues.h"
#include "bnrc_testing.h"
#include "vlk_test.h"

using namespace bnrc_testing;

namespace {

constexpr int kN = 60;

// Rows: 0 x uniform on [-2, 2]; 1 a rising near-line in x; 2 its mirror; 3 a wiggle in x;
// 4 constant; 5 constant; 6 unrelated.
std::vector<std::vector<double>> prop_rows() {
  unsigned state = 12345;
  const auto uniform = [&state] {
    state = state * 1103515245u + 12345u;
    return static_cast<double>(state >> 8) / static_cast<double>(1u << 24);
  };
  std::vector<std::vector<double>> rows(7, std::vector<double>(kN));
  for (int s = 0; s < kN; ++s) {
    const double x = 4.0 * uniform() - 2.0;
    rows[0][s] = x;
    rows[1][s] = 0.8 * x + 0.3 + 0.1 * (uniform() - 0.5);
    rows[2][s] = -rows[1][s];
    rows[3][s] = std::sin(3.0 * x) + 0.1 * (uniform() - 0.5);
    rows[4][s] = 1.5;
    rows[5][s] = 2.0;
    rows[6][s] = 2.0 * uniform();
  }
  return rows;
}

struct KvDeleter {
  void operator()(VLK_KeyValues* kv) const { VLK_KeyValues_delete(kv); }
};
using KvPtr = std::unique_ptr<VLK_KeyValues, KvDeleter>;

KvPtr prop(VLK_BNRCBuff* bf, int child, std::vector<int> parents, int k) {
  return KvPtr(VLK_BNRC_prop(bf, child, parents.data(), static_cast<int>(parents.size()), k));
}

std::vector<double> values(const VLK_KeyValues* kv, const char* key) {
  const auto* a = static_cast<const VLK_DoubleArray*>(VLK_KeyValues_get(kv, key));
  if (a == nullptr) return {};
  return std::vector<double>(a->data, a->data + a->size);
}

// The effective degrees of freedom of parent k's accepted fit in thread 0's buffers.
double accepted_df(const VLK_BNRCBuff* bf, int row, int k) {
  const double* L =
      bf->tmp_Lambda_inv_Bt[0][k] + static_cast<size_t>(bf->beta_jk[0][k]) * 20 * bf->n;
  return vlk::bnrc::smoother_trace(bf->B[row], bf->Bindex[row], L, bf->n, 20, 3);
}

using ScoreFn = double (*)(VLK_BNRCBuff*, int, int*, int);

}  // namespace

TEST(BnrcProp, DirectionFromTheTraceAndTheEndCoefficients) {
  struct Case {
    int child;
    std::vector<int> parents;
    int k;
    const char* direction;
    int type;
  };
  const Case cases[] = {
      {1, {0}, 0, "up", 0},         {2, {0}, 0, "down", 1},
      {3, {0}, 0, "unknown", 3},  // the wiggle bends: trace above 4 whatever the coefficients
      {1, {6, 0}, 1, "up", 0},      {2, {0, 6}, 0, "down", 1},
      {3, {6, 0}, 1, "unknown", 3},
  };
  DataPtr d = make_data(prop_rows());
  struct Path {
    const char* options;
    ScoreFn fn;
  };
  for (const Path& path : {Path{nullptr, VLK_BNRC_score}, Path{nullptr, VLK_BNRC_score2},
                           Path{"level=2", VLK_BNRC_score}, Path{"level=1", VLK_BNRC_score}}) {
    SCOPED_TRACE(std::string(path.options ? path.options : "level 3") +
                 (path.fn == VLK_BNRC_score2 ? " score2" : " score"));
    BnrcPtr bf = make_state(d.get(), {.options = path.options});
    for (const Case& c : cases) {
      SCOPED_TRACE(label_of(c.child, c.parents));
      std::vector<int> parents = c.parents;
      const double s = path.fn(bf.get(), c.child, parents.data(), static_cast<int>(parents.size()));
      ASSERT_LT(s, DBL_MAX);
      const int row = c.parents[c.k];
      const double df = accepted_df(bf.get(), row, c.k);
      const double* g = bf->gamma[0] + 20 * c.k;
      EXPECT_EQ(df > 4.0, c.type == 3) << "df " << df;
      EXPECT_NE(g[0], g[19]);
      KvPtr kv = prop(bf.get(), c.child, c.parents, c.k);
      ASSERT_NE(kv, nullptr);
      ASSERT_EQ(VLK_KeyValues_size(kv.get()), 3u);  // no partial residual unless asked
      EXPECT_STREQ(VLK_KeyValues_get_key(kv.get(), 0), "up/down");
      EXPECT_STREQ(VLK_KeyValues_get_string(kv.get(), "up/down"), c.direction);
      EXPECT_STREQ(VLK_KeyValues_get_key(kv.get(), 1), "EdgeType");
      EXPECT_EQ(VLK_KeyValues_get_int(kv.get(), "EdgeType", -1), c.type);
      EXPECT_STREQ(VLK_KeyValues_get_key(kv.get(), 2), "bspline");
      const std::vector<double> spline = values(kv.get(), "bspline");
      ASSERT_EQ(spline.size(), 22u);
      const auto [lo, hi] = std::minmax_element(d->X + row * kN, d->X + row * kN + kN);
      EXPECT_EQ(spline[0], *lo - 1e-7);
      EXPECT_EQ(spline[1], *hi + 1e-7);
      for (int i = 0; i < 20; ++i) EXPECT_EQ(spline[2 + i], g[i]) << i;
    }
  }
}

TEST(BnrcProp, FitsThatFittedNothing) {
  // A constant parent scores worst and a constant child scores without a fit: the property list
  // still comes (on a fresh state, whose smoother pointers were never set) and says nothing of a
  // direction.
  DataPtr d = make_data(prop_rows());
  for (const char* options : {"level=3", "level=1"}) {
    SCOPED_TRACE(options);
    BnrcPtr bf = make_state(d.get(), {.options = options});
    EXPECT_EQ(score(bf.get(), 1, {0, 4}), DBL_MAX);
    KvPtr flat_parent = prop(bf.get(), 1, {0, 4}, 1);
    EXPECT_STREQ(VLK_KeyValues_get_string(flat_parent.get(), "up/down"), "unknown");
    EXPECT_EQ(VLK_KeyValues_get_int(flat_parent.get(), "EdgeType", -1), 3);
    std::vector<double> expected = {1.5 - 1e-7, 1.5 + 1e-7};
    expected.resize(22, 0.0);
    EXPECT_EQ(values(flat_parent.get(), "bspline"), expected);

    EXPECT_EQ(score(bf.get(), 5, {0}), vlk::bnrc::kFlatChildScore);
    KvPtr flat_child = prop(bf.get(), 5, {0}, 0);
    EXPECT_EQ(VLK_KeyValues_get_int(flat_child.get(), "EdgeType", -1), 3);
    EXPECT_EQ(values(flat_child.get(), "bspline").size(), 22u);
  }
}

TEST(BnrcProp, PartialResidualWhenAsked) {
  DataPtr d = make_data(prop_rows());
  BnrcPtr bf = make_state(d.get());
  bf->part_res = 1;
  EXPECT_LT(score(bf.get(), 3, {0, 6}), DBL_MAX);
  for (int k : {0, 1}) {
    SCOPED_TRACE(k);
    KvPtr kv = prop(bf.get(), 3, {0, 6}, k);
    ASSERT_EQ(VLK_KeyValues_size(kv.get()), 4u);
    EXPECT_STREQ(VLK_KeyValues_get_key(kv.get(), 3), "part_res");
    const std::vector<double> part = values(kv.get(), "part_res");
    ASSERT_EQ(part.size(), static_cast<size_t>(kN));
    // y less the other parent's fitted values.
    const double* other = bf->B_gamma[0] + (1 - k) * kN;
    for (int s = 0; s < kN; ++s) EXPECT_NEAR(part[s], d->X[3 * kN + s] - other[s], 1e-12) << s;
  }
}

TEST(BnrcProp, ThreadsDescribeTheirOwnFits) {
  constexpr int kThreads = 4;
  DataPtr d = make_data(prop_rows());
  BnrcPtr bf = make_state(d.get(), {.threads = kThreads});
  const std::vector<Query> queries = [] {
    std::vector<Query> out;
    for (const Query& qr : random_queries(7, 300, 3, 8))
      if (!qr.parents.empty()) out.push_back(qr);
    return out;
  }();
  const auto describe = [&](const Query& qr) {
    score(bf.get(), qr.child, qr.parents);
    KvPtr kv = prop(bf.get(), qr.child, qr.parents, static_cast<int>(qr.parents.size()) - 1);
    std::vector<double> out = values(kv.get(), "bspline");
    out.push_back(VLK_KeyValues_get_int(kv.get(), "EdgeType", -1));
    return out;
  };
  std::vector<std::vector<double>> serial, parallel(queries.size());
  for (const Query& qr : queries) serial.push_back(describe(qr));
#pragma omp parallel for num_threads(kThreads) schedule(dynamic, 1)
  for (size_t i = 0; i < queries.size(); ++i) parallel[i] = describe(queries[i]);
  for (size_t i = 0; i < queries.size(); ++i) EXPECT_EQ(parallel[i], serial[i]) << i;
}

TEST(BnrcProp, SmootherTraceEqualsTheDenseComputation) {
  // trace(B (B'B + n beta K)^-1 B') from the dense design matrix, the penalty written out as
  // D'D and Gauss-Jordan elimination, against the banded trace of the tables' smoothers.
  DataPtr d = make_data(prop_rows());
  BnrcPtr bf = make_state(d.get());
  constexpr int M = 20;
  double K[M][M] = {};
  for (int i = 0; i + 2 < M; ++i) {
    const int idx[3] = {i, i + 1, i + 2};
    const double w[3] = {1.0, -2.0, 1.0};
    for (int a = 0; a < 3; ++a)
      for (int b = 0; b < 3; ++b) K[idx[a]][idx[b]] += w[a] * w[b];
  }
  for (int row : {0, 3, 6}) {
    std::vector<std::vector<double>> B(kN, std::vector<double>(M, 0.0));
    for (int s = 0; s < kN; ++s)
      for (int m = 0; m < 4; ++m) B[s][bf->Bindex[row][s] + m] = bf->B[row][4 * s + m];
    for (int h : {0, 5, 12, 20}) {
      SCOPED_TRACE(std::to_string(row) + " h " + std::to_string(h));
      // [A | B'B] reduced to [I | A^-1 B'B].
      std::vector<std::vector<double>> aug(M, std::vector<double>(2 * M, 0.0));
      for (int a = 0; a < M; ++a)
        for (int b = 0; b < M; ++b) {
          double btb = 0.0;
          for (int s = 0; s < kN; ++s) btb += B[s][a] * B[s][b];
          aug[a][b] = btb + kN * bf->beta[h] * K[a][b];
          aug[a][M + b] = btb;
        }
      for (int c = 0; c < M; ++c) {
        int pivot = c;
        for (int a = c + 1; a < M; ++a)
          if (std::fabs(aug[a][c]) > std::fabs(aug[pivot][c])) pivot = a;
        std::swap(aug[c], aug[pivot]);
        const double p = aug[c][c];
        for (double& v : aug[c]) v /= p;
        for (int a = 0; a < M; ++a) {
          if (a == c) continue;
          const double f = aug[a][c];
          for (int b = 0; b < 2 * M; ++b) aug[a][b] -= f * aug[c][b];
        }
      }
      double dense = 0.0;
      for (int a = 0; a < M; ++a) dense += aug[a][M + a];
      const double banded = vlk::bnrc::smoother_trace(
          bf->B[row], bf->Bindex[row], VLK_BNRC_get_Lambda_inv_Bt(bf.get(), row, h), kN, M, 3);
      EXPECT_NEAR(banded, dense, 1e-9 * dense);
      // Between a straight line's 2 and the M basis functions.
      EXPECT_GT(banded, 1.99);
      EXPECT_LT(banded, 20.0);
    }
  }
}

TEST(BnrcHelp, TheOptionText) {
  const std::string text =
      "\"BNRC\" (network score function):\n"
      "level=n (integer)\n"
      "        The pre-calculation level, 1, 2 or 3: the higher, the more tables init\n"
      "        keeps and the faster the score; init lowers it until its tables fit the\n"
      "        memory budget. (default: 3)\n"
      "hyper_bg=x (double)\n"
      "hb=x (double)\n"
      "        The initial exponent number of the hyperparameter search range.  The\n"
      "        search range is from 10^x to 10^(x-iy) where x is the value of\n"
      "        \"hyper_bg\" (\"hb\"), y the value of \"hyper_inc\" (\"hi\"), and \n"
      "        0 <= i < n where n is the value of \"hyper_num\" (\"hn\"). (default: 2.0)\n"
      "hyper_inc=y (double)\n"
      "hi=y (double)\n"
      "        The step of the exponent number for the hyperparameter search\n"
      "        range. (default: 0.4)\n"
      "hyper_num=n (integer)\n"
      "hn=n (integer)\n"
      "        The number of hyper parameters to search. (default: 21)\n"
      "linear\n"
      "        Linear mode. This does not take value.  This is an alias for\n"
      "        \"hyper_bg=2.0,hyper_inc=1.0,hyper_num=2\". (default: off)\n"
      "v[=(on|off)]\n"
      "        On: the score's detailed messages; off: its usual ones. (default: off)\n";
  for (const char* sub : {static_cast<const char*>(nullptr), "", "level"})
    EXPECT_EQ(vlk_test::capture([&](FILE* fp) { VLK_BNRC_help(fp, sub); }), text);
  // The registry lists it as the score module "BNRC".
  EXPECT_EQ(vlk_test::capture([](FILE* fp) { VLK_Help_msg(fp, nullptr, "bnrc", nullptr); }),
            "<BNRC module [score]>:\n" + text + "\n");
}

// The help's defaults are those init starts from: a state without options has the help's level
// and grid, and one with "linear" the grid that the help says linear stands for.
TEST(BnrcHelp, TheDefaultsAreTheStatesOwn) {
  const std::string text = vlk_test::capture([](FILE* fp) { VLK_BNRC_help(fp, nullptr); });
  const auto default_of = [&](const std::string& key_line) {
    const size_t at = text.find("(default: ", text.find("\n" + key_line + "\n"));
    return std::strtod(text.c_str() + at + 10, nullptr);
  };
  const DataPtr data = fixture_data();
  const BnrcPtr bf = make_state(data.get());
  EXPECT_EQ(bf->level, default_of("level=n (integer)"));
  ASSERT_EQ(bf->hyper_num, default_of("hn=n (integer)"));
  const double hb = default_of("hb=x (double)"), hi = default_of("hi=y (double)");
  for (int h = 0; h < bf->hyper_num; ++h)
    EXPECT_DOUBLE_EQ(bf->beta[h], std::pow(10.0, hb - h * hi)) << h;

  double lhb = 0, lhi = 0;
  int lhn = 0;
  const size_t alias = text.find("\"hyper_bg=");
  ASSERT_EQ(std::sscanf(text.c_str() + alias, "\"hyper_bg=%lf,hyper_inc=%lf,hyper_num=%d", &lhb,
                        &lhi, &lhn),
            3);
  const BnrcPtr linear = make_state(data.get(), {.options = "linear"});
  ASSERT_EQ(linear->hyper_num, lhn);
  for (int h = 0; h < lhn; ++h)
    EXPECT_DOUBLE_EQ(linear->beta[h], std::pow(10.0, lhb - h * lhi)) << h;
}
