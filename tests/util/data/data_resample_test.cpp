#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "VLK_Data.h"
#include "VLK_Data_resample.h"
#include "VLK_RNG.h"
#include "velkcom.h"
#include "vlk_owned.h"
#include "vlk_test.h"

namespace {

using DataPtr = vlk::Owned<VLK_Data, VLK_Data_delete>;

using Rng = vlk::Owned<VLK_RNG, VLK_RNG_delete>;

using Ints = vlk::Owned<VLK_IntArray, VLK_IntArray_delete>;

// Value 100 v + s at node v, sample s: every value tells its row and column.
double cell(int v, int s) { return 100.0 * v + s; }

// p nodes x n samples, names g<v>, aliases a<v>.
DataPtr make_data(int p, int n) {
  DataPtr d(VLK_Data_new());
  d->p = p;
  d->n = n;
  d->X = static_cast<double*>(std::malloc(sizeof(double) * (p * n + 1)));
  for (int v = 0; v < p; ++v)
    for (int s = 0; s < n; ++s) d->X[v * n + s] = cell(v, s);
  d->Y = d->X;
  for (int v = 0; v < p; ++v) {
    VLK_StrArray_add_copy(d->names, ("g" + std::to_string(v)).c_str());
    VLK_StrArray_add_copy(d->aliases, ("a" + std::to_string(v)).c_str());
  }
  return d;
}

// A separate second block holding -X.
void split_y(VLK_Data* d) {
  d->Y = static_cast<double*>(std::malloc(sizeof(double) * (d->p * d->n + 1)));
  for (int i = 0; i < d->p * d->n; ++i) d->Y[i] = -d->X[i];
}

std::vector<double> row(const double* block, int n, int v) {
  return std::vector<double>(block + v * n, block + (v + 1) * n);
}

// The source column of every value of X (whose values are cell(v, s)), checked row by row.
std::vector<int> source_columns(const VLK_Data* d) {
  std::vector<int> cols(d->n);
  for (int s = 0; s < d->n; ++s) cols[s] = static_cast<int>(d->X[s]);
  for (int v = 0; v < d->p; ++v)
    for (int s = 0; s < d->n; ++s) EXPECT_EQ(d->X[v * d->n + s], cell(v, cols[s])) << v << s;
  return cols;
}

Ints int_list(std::initializer_list<int> v) {
  Ints a(VLK_IntArray_new());
  for (int x : v) VLK_IntArray_add(a.get(), x);
  return a;
}

// The C library's stream from a fixed seed, reseeded on construction and by restart().
class ScriptedRandom {
 public:
  explicit ScriptedRandom(unsigned seed, size_t len = 4000) : seed_(seed) {
    srandom(seed_);
    values_.resize(len);
    for (long& v : values_) v = random();
    srandom(seed_);
  }
  long at(size_t t) const { return values_.at(t); }
  void restart() const { srandom(seed_); }

 private:
  unsigned seed_;
  std::vector<long> values_;
};

Rng seeded(int s) {
  Rng r(VLK_RNG_new());
  VLK_RNG_set_seed(r.get(), s);
  return r;
}

// A twin record's integer draws of one request.
std::vector<int> twin_integers(int seed, int count, int lo, int hi) {
  const Rng twin = seeded(seed);
  std::vector<int> v(count);
  VLK_RNG_integer(twin.get(), v.data(), count, lo, hi);
  return v;
}

// rec has made exactly `draws` uniform draws since seeding with `seed`.
void expect_rng_position(VLK_RNG* rec, int seed, int draws) {
  const Rng twin = seeded(seed);
  std::vector<double> skip(draws + 1);
  VLK_RNG_uniform(twin.get(), skip.data(), draws, 0.0, 1.0);
  double a, b;
  VLK_RNG_uniform(rec, &a, 1, 0.0, 1.0);
  VLK_RNG_uniform(twin.get(), &b, 1, 0.0, 1.0);
  EXPECT_EQ(a, b);
}

}  // namespace

// ---- bootstraps ----

TEST(Bootstrap, InPlaceDrawsOneColumnPerColumnInOrder) {
  DataPtr d = make_data(3, 7);
  split_y(d.get());  // a separate second block is released (the sanitizer build checks it)
  const ScriptedRandom script(41);
  VLK_Data_random_sampling(d.get());
  EXPECT_EQ(d->Y, d->X);
  EXPECT_EQ(d->n, 7);
  std::vector<int> want(7);
  for (int s = 0; s < 7; ++s) want[s] = static_cast<int>(script.at(s) % 7);
  EXPECT_EQ(source_columns(d.get()), want);
  EXPECT_EQ(random(), script.at(7));  // one draw per column, no more

  DataPtr empty(VLK_Data_new());
  script.restart();
  VLK_Data_random_sampling(empty.get());
  EXPECT_EQ(empty->n, 0);
  EXPECT_EQ(random(), script.at(0));
}

TEST(Bootstrap, IntoAnExistingBlockFromAnotherDataSet) {
  DataPtr src = make_data(2, 6);
  DataPtr dst(VLK_Data_clone(src.get()));
  split_y(dst.get());
  const double* block = dst->X;
  const ScriptedRandom script(5);
  VLK_Data_random_sampling_VLK_Data(dst.get(), src.get());
  EXPECT_EQ(dst->X, block);  // filled in place
  EXPECT_EQ(dst->Y, dst->X);
  std::vector<int> want(6);
  for (int s = 0; s < 6; ++s) want[s] = static_cast<int>(script.at(s) % 6);
  EXPECT_EQ(source_columns(dst.get()), want);
  EXPECT_EQ(random(), script.at(6));
  for (int s = 0; s < 6; ++s) EXPECT_EQ(src->X[6 + s], cell(1, s));  // src untouched

  // Onto itself: every column still comes from the original block.
  DataPtr self = make_data(2, 6);
  script.restart();
  VLK_Data_random_sampling_VLK_Data(self.get(), self.get());
  EXPECT_EQ(source_columns(self.get()), want);

  // The source is read at the target's row length: other shapes would read elsewhere.
  DataPtr narrow = make_data(2, 5);
  const auto end =
      vlk_test::run_fatal([&] { VLK_Data_random_sampling_VLK_Data(dst.get(), narrow.get()); });
  EXPECT_TRUE(end.exit1());
  EXPECT_EQ(end.err.rfind("ERROR: VLK_Data_random_sampling_VLK_Data(): ", 0), 0u) << end.err;
}

TEST(Bootstrap, RecordFormDrawsAllColumnsInOneRequest) {
  DataPtr src = make_data(3, 9);
  DataPtr dst(VLK_Data_clone(src.get()));
  const Rng rec = seeded(77);
  VLK_Data_random_sampling_VLK_Data_RNG(dst.get(), src.get(), rec.get());
  const std::vector<int> first = source_columns(dst.get());
  EXPECT_EQ(first, twin_integers(77, 9, 0, 9));
  expect_rng_position(rec.get(), 77, 9);

  // The stream continues: a second resample differs, and a rerun repeats both.
  const Rng rec2 = seeded(78);
  VLK_Data_random_sampling_VLK_Data_RNG(dst.get(), src.get(), rec2.get());
  const std::vector<int> a = source_columns(dst.get());
  VLK_Data_random_sampling_VLK_Data_RNG(dst.get(), src.get(), rec2.get());
  const std::vector<int> b = source_columns(dst.get());
  EXPECT_NE(a, b);
  VLK_RNG_set_seed(rec2.get(), 78);
  VLK_Data_random_sampling_VLK_Data_RNG(dst.get(), src.get(), rec2.get());
  EXPECT_EQ(source_columns(dst.get()), a);
  VLK_Data_random_sampling_VLK_Data_RNG(dst.get(), src.get(), rec2.get());
  EXPECT_EQ(source_columns(dst.get()), b);
}

TEST(Bootstrap, WithoutReplacementKeepsSampleNamesWithTheirColumns) {
  DataPtr d = make_data(2, 9);
  d->sample_names = VLK_StrArray_new();
  for (int s = 0; s < 9; ++s)
    VLK_StrArray_add_copy(d->sample_names, ("s" + std::to_string(s)).c_str());
  const ScriptedRandom script(13);
  // VLK_Util_random_sample's order: r mod n, repeats drawn again.
  std::vector<int> want;
  size_t t = 0;
  while (want.size() < 4) {
    const int c = static_cast<int>(script.at(t++) % 9);
    if (std::find(want.begin(), want.end(), c) == want.end()) want.push_back(c);
  }
  VLK_Data_random_sampling2(d.get(), 4);
  EXPECT_EQ(d->n, 4);
  EXPECT_EQ(d->Y, d->X);
  EXPECT_EQ(source_columns(d.get()), want);
  ASSERT_EQ(d->sample_names->size, 4u);
  for (int j = 0; j < 4; ++j) EXPECT_EQ(d->sample_names->data[j], "s" + std::to_string(want[j]));
  EXPECT_EQ(random(), script.at(t));

  VLK_Data_random_sampling2(d.get(), 0);
  EXPECT_EQ(d->n, 0);
  EXPECT_EQ(d->sample_names->size, 0u);

  // More distinct columns than exist cannot be drawn.
  DataPtr small = make_data(2, 3);
  EXPECT_FATAL_EXIT(
      VLK_Data_random_sampling2(small.get(), 4),
      "ERROR: VLK_Data_random_sampling2(): cannot draw 4 distinct columns out of 3.\n");
}

// ---- pseudo bootstrap ----

namespace {

// Replicate counts R over a p x n block of cell values; checks the output blocks of m series
// against the draws d(k, t) and returns them.
struct Layout {
  std::vector<int> R;
  std::vector<int> pos;
  explicit Layout(std::vector<int> r) : R(std::move(r)) {
    int at = 0;
    for (int x : R) {
      pos.push_back(at);
      at += x;
    }
  }
  int T() const { return static_cast<int>(R.size()); }
};

// Checks Xn, Yn (rows taken from `nodes`) against the draws: column k(T-1) + t-1 holds time
// point t-1 in Xn and t in Yn, each at its drawn replicate.
void expect_pairs(const Layout& L, int m, const std::vector<int>& nodes,
                  const std::vector<int>& draws, const std::vector<double>& Xn,
                  const std::vector<double>& Yn) {
  const int T = L.T(), cols = (T - 1) * m;
  for (size_t j = 0; j < nodes.size(); ++j) {
    for (int k = 0; k < m; ++k) {
      for (int t = 1; t < T; ++t) {
        const int c = k * (T - 1) + t - 1;
        SCOPED_TRACE(testing::Message() << "row " << j << " series " << k << " t " << t);
        EXPECT_EQ(Xn[j * cols + c], cell(nodes[j], L.pos[t - 1] + draws[k * T + t - 1]));
        EXPECT_EQ(Yn[j * cols + c], cell(nodes[j], L.pos[t] + draws[k * T + t]));
        // The same draw is the later point of t and the earlier point of t + 1.
        if (t + 1 < T) {
          EXPECT_EQ(Yn[j * cols + c], Xn[j * cols + c + 1]);
        }
      }
    }
  }
}

std::string banner(const Layout& L, int m) {
  std::string s = "PSEUDO BOOTSTRAP ========\n  t = " + std::to_string(L.T()) +
                  ", num = " + std::to_string(m) + ", total = " + std::to_string((L.T() - 1) * m) +
                  "\n  reps={";
  for (int t = 0; t < L.T(); ++t) s += (t ? ", " : "") + std::to_string(L.R[t]);
  s += "}\n  pos={";
  for (int t = 0; t < L.T(); ++t) s += (t ? ", " : "") + std::to_string(L.pos[t]);
  return s + "}\n";
}

}  // namespace

TEST(PseudoBootstrap, LibcCoreDrawsSeriesByTimePointAndPrints) {
  struct Case {
    std::vector<int> R;
    int m;
    std::vector<int> nodes;  // empty: all rows
    int p;
  };
  const std::vector<Case> cases = {
      {{2, 2, 2}, 2, {}, 2},      // the 4-column example
      {{1, 3, 2}, 3, {2, 0}, 3},  // uneven counts and a node list
      {{4}, 5, {}, 1},            // one time point: no columns, but draws
  };
  for (const Case& c : cases) {
    const Layout L(c.R);
    const int n = L.pos.back() + L.R.back(), T = L.T(), cols = (T - 1) * c.m;
    SCOPED_TRACE(banner(L, c.m));
    DataPtr d = make_data(c.p, n);
    std::vector<int> rows = c.nodes;
    if (rows.empty())
      for (int v = 0; v < c.p; ++v) rows.push_back(v);
    std::vector<double> Xn(rows.size() * cols + 1, -1), Yn(rows.size() * cols + 1, -1);
    const ScriptedRandom script(3 + n);
    std::string err;
    {
      vlk_test::CaptureErr cap;
      VLK_Data_pseudo_bootstrap2(d->X, n, c.p, L.R.data(), T, c.m,
                                 c.nodes.empty() ? nullptr : c.nodes.data(),
                                 static_cast<int>(c.nodes.size()), Xn.data(), Yn.data());
      err = cap.text();
    }
    EXPECT_EQ(err, banner(L, c.m));
    std::vector<int> draws(T * c.m);
    for (int k = 0; k < c.m; ++k)
      for (int t = 0; t < T; ++t)
        draws[k * T + t] = static_cast<int>(script.at(k * T + t) % L.R[t]);
    expect_pairs(L, c.m, rows, draws, Xn, Yn);
    EXPECT_EQ(Xn.back(), -1);  // nothing past the block
    EXPECT_EQ(random(), script.at(T * c.m));
  }
}

TEST(PseudoBootstrap, RecordCoresDrawEverythingInOneRequest) {
  const Layout L({2, 3, 1, 2});
  const int n = 8, p = 3, m = 4, T = L.T(), cols = (T - 1) * m;
  DataPtr d = make_data(p, n);
  const std::vector<int> raw = twin_integers(21, T * m, 0, 536870911);
  std::vector<int> draws(T * m);
  for (int k = 0; k < m; ++k)
    for (int t = 0; t < T; ++t) draws[k * T + t] = raw[k * T + t] % L.R[t];

  std::vector<double> Xn(p * cols), Yn(p * cols);
  const Rng rec = seeded(21);
  {
    vlk_test::CaptureErr cap;
    VLK_Data_pseudo_bootstrap_RNG(d->X, n, p, L.R.data(), T, m, nullptr, 0, Xn.data(), Yn.data(),
                                  rec.get());
    EXPECT_EQ(cap.text(), "");
  }
  expect_pairs(L, m, {0, 1, 2}, draws, Xn, Yn);
  expect_rng_position(rec.get(), 21, T * m);

  const std::vector<unsigned short> sel = {1, 2, 1};
  std::vector<double> Xs(sel.size() * cols), Ys(sel.size() * cols);
  const Rng rec2 = seeded(21);
  {
    vlk_test::CaptureErr cap;
    VLK_Data_pseudo_bootstrap2ushort(d->X, n, p, L.R.data(), T, m, sel.data(), 3, Xs.data(),
                                     Ys.data(), rec2.get());
    EXPECT_EQ(cap.text(), banner(L, m));
  }
  expect_pairs(L, m, {1, 2, 1}, draws, Xs, Ys);
  expect_rng_position(rec2.get(), 21, T * m);
}

TEST(PseudoBootstrap, SixteenBitNodeListsLongerThan65535Rows) {
  const Layout L({1, 1});
  DataPtr d = make_data(2, 2);
  const size_t rows = 70000;
  std::vector<unsigned short> sel(rows);
  for (size_t j = 0; j < rows; ++j) sel[j] = static_cast<unsigned short>(j % 2);
  std::vector<double> Xn(rows, -1), Yn(rows, -1);
  const Rng rec = seeded(2);
  vlk_test::CaptureErr cap;
  VLK_Data_pseudo_bootstrap2ushort(d->X, 2, 2, L.R.data(), 2, 1, sel.data(), static_cast<int>(rows),
                                   Xn.data(), Yn.data(), rec.get());
  EXPECT_EQ(Xn[rows - 1], cell(1, 0));
  EXPECT_EQ(Yn[rows - 1], cell(1, 1));
  EXPECT_EQ(Xn[65536], cell(0, 0));
}

TEST(PseudoBootstrap, CoresRefuseLayoutsThatLeaveTheBlock) {
  DataPtr d = make_data(2, 4);
  double out[16];
  const int zero[] = {2, 0, 2};
  const int wide[] = {2, 3};
  const int ok[] = {2, 2};
  const int bad_node[] = {0, 2};
  const Rng rec = seeded(1);
  struct Case {
    const char* label;
    std::function<void()> call;
    const char* prefix;
  };
  const std::vector<Case> cases = {
      {"empty time point",
       [&] { VLK_Data_pseudo_bootstrap2(d->X, 4, 2, zero, 3, 1, nullptr, 0, out, out); },
       "ERROR: VLK_Data_pseudo_bootstrap2(): time point 2 has 0 replicate columns.\n"},
      {"too many columns",
       [&] {
         VLK_Data_pseudo_bootstrap_RNG(d->X, 4, 2, wide, 2, 1, nullptr, 0, out, out, rec.get());
       },
       "ERROR: VLK_Data_pseudo_bootstrap_RNG(): 5 replicate columns exceed the 4 value columns.\n"},
      {"node out of range",
       [&] {
         VLK_Data_pseudo_bootstrap_RNG(d->X, 4, 2, ok, 2, 1, bad_node, 2, out, out, rec.get());
       },
       "ERROR: VLK_Data_pseudo_bootstrap_RNG(): node index out of range: 2\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    EXPECT_FATAL_EXIT(c.call(), c.prefix);
  }
}

TEST(PseudoBootstrap, InPlaceFromOneOrSeveralReplicateCounts) {
  struct Case {
    std::vector<int> reps;
    int n, m;
    std::vector<int> R;  // the counts per time point this means
  };
  for (const Case& c : {Case{{2}, 6, 2, {2, 2, 2}}, Case{{1, 3, 2}, 6, 3, {1, 3, 2}},
                        Case{{6}, 6, 4, {6}}, Case{{3}, 0, 2, {}}}) {
    SCOPED_TRACE(testing::Message() << c.n << " columns, m " << c.m);
    const Layout L(c.R);
    DataPtr d = make_data(2, c.n);
    DataPtr orig = make_data(2, c.n);
    const Ints reps = [&] {
      Ints a(VLK_IntArray_new());
      for (int r : c.reps) VLK_IntArray_add(a.get(), r);
      return a;
    }();
    const int T = L.T(), cols = T > 1 ? (T - 1) * c.m : 0;
    // The in-place form is the printing core on a fresh pair of blocks.
    std::vector<double> Xn(2 * cols + 1), Yn(2 * cols + 1);
    const ScriptedRandom script(99);
    {
      vlk_test::CaptureErr cap;
      VLK_Data_pseudo_bootstrap2(orig->X, c.n, 2, L.R.data(), T, c.m, nullptr, 0, Xn.data(),
                                 Yn.data());
      script.restart();
      VLK_Data_pseudo_bootstrap(d.get(), reps.get(), c.m);
    }
    EXPECT_EQ(d->n, cols);
    EXPECT_NE(d->X, d->Y);
    EXPECT_EQ(std::vector<double>(d->X, d->X + 2 * cols),
              std::vector<double>(Xn.begin(), Xn.end() - 1));
    EXPECT_EQ(std::vector<double>(d->Y, d->Y + 2 * cols),
              std::vector<double>(Yn.begin(), Yn.end() - 1));
  }
}

TEST(PseudoBootstrap, InPlaceRefusesCountsThatDoNotFitTheColumns) {
  DataPtr d10 = make_data(1, 10);
  const Ints four = int_list({4});
  EXPECT_FATAL_EXIT(VLK_Data_pseudo_bootstrap(d10.get(), four.get(), 2),
                    "ERROR: VLK_Data_pseudo_bootstrap(): The number of columns inconsistent with "
                    "the specifed number of replicates.\n");
  const Ints none = int_list({0});
  EXPECT_FATAL_EXIT(VLK_Data_pseudo_bootstrap(d10.get(), none.get(), 2),
                    "ERROR: VLK_Data_pseudo_bootstrap(): The number of columns inconsistent with "
                    "the specifed number of replicates.\n");
  DataPtr d6 = make_data(1, 6);
  const Ints two_three = int_list({2, 3});
  EXPECT_FATAL_EXIT(VLK_Data_pseudo_bootstrap(d6.get(), two_three.get(), 2),
                    "ERROR: VLK_Data_pseudo_bootstrap(): The number of columns inconsistent with "
                    "the specified numbers of replicates.\n  reps={2, 3}:   samples = 6  v.s.  "
                    "total replicates = 5\n");
  const Ints hole = int_list({3, 0, 3});
  EXPECT_FATAL_EXIT(VLK_Data_pseudo_bootstrap(d6.get(), hole.get(), 2),
                    "ERROR: VLK_Data_pseudo_bootstrap2(): time point 2 has 0 replicate columns.\n");
}

// ---- discretisation ----

namespace {

// One node's categories by the reference procedure: thresholds min + step, + step, ...
std::vector<double> reference_bins(const std::vector<double>& x, int k) {
  double lo = std::trunc(*std::min_element(x.begin(), x.end()));
  double hi = std::trunc(*std::max_element(x.begin(), x.end()));
  const double step = (hi - lo) * (1.0 / k);
  std::vector<double> upper;
  for (int c = 0; c + 1 < k; ++c) upper.push_back(lo += step);
  std::vector<double> out;
  for (double v : x) {
    int c = 0;
    while (c < k - 1 && !(v < upper[c])) ++c;
    out.push_back(c);
  }
  return out;
}

DataPtr from_rows(const std::vector<std::vector<double>>& rows) {
  const int p = static_cast<int>(rows.size()), n = static_cast<int>(rows[0].size());
  DataPtr d = make_data(p, n);
  for (int v = 0; v < p; ++v) std::copy(rows[v].begin(), rows[v].end(), d->X + v * n);
  return d;
}

}  // namespace

TEST(Discretize, EqualWidthBinsWithThresholdsByRepeatedAddition) {
  struct Case {
    const char* label;
    std::vector<double> x;
    int k;
    std::vector<double> want;
  };
  const std::vector<Case> cases = {
      {"min 0, max 3, step 1", {0, 1.5, 3}, 3, {0, 1, 2}},
      {"a threshold goes up", {0, 1, 2, 3}, 3, {0, 1, 2, 2}},
      // min -1 and max 2 after truncation, so -0.5 lies below the first threshold 0.
      {"min and max truncated", {-1.7, -0.5, 0.2, 2.9}, 3, {0, 0, 1, 2}},
      // 0.1 added seven times is just below 0.8: this value is already in the ninth bin.
      {"summed thresholds",
       {0, 0.7999999999999999, 0.75, 1, 0.05, 0.05, 0.05, 0.05, 0.05, 0.05},
       10,
       {0, 8, 7, 9, 0, 0, 0, 0, 0, 0}},
      {"one category", {5, -2, 7}, 1, {0, 0, 0}},
      {"constant node", {4, 4}, 2, {1, 1}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    DataPtr d = from_rows({c.x, std::vector<double>(c.x.size(), 0.0)});
    std::string err;
    {
      vlk_test::CaptureErr cap;
      VLK_Data_discretize(d.get(), c.k);
      err = cap.text();
    }
    EXPECT_EQ(err, "VLK_Data: discretizaing ... (categories = " + std::to_string(c.k) +
                       ")\nVLK_Data:   finished.\n");
    EXPECT_EQ(row(d->X, d->n, 0), c.want);
    EXPECT_EQ(row(d->X, d->n, 0), reference_bins(c.x, c.k));
    EXPECT_EQ(d->Y, d->X);
    EXPECT_EQ(d->category, 1);
    ASSERT_NE(d->labels, nullptr);
    for (int v = 0; v < 2; ++v) {
      ASSERT_EQ(d->labels[v].size, static_cast<size_t>(c.k));
      for (int j = 0; j < c.k; ++j) EXPECT_EQ(d->labels[v].data[j], "Cat_" + std::to_string(j + 1));
    }
  }
}

TEST(Discretize, ReplacesEarlierLabelsAndRefusesConvertedDataAndBadCounts) {
  DataPtr d = from_rows({{0, 1, 2, 3}});
  {
    vlk_test::CaptureErr cap;
    VLK_Data_discretize(d.get(), 4);
    VLK_Data_discretize(d.get(), 2);  // the first labels are released (sanitizer build)
  }
  EXPECT_EQ(row(d->X, 4, 0), (std::vector<double>{0, 0, 1, 1}));
  EXPECT_EQ(d->labels[0].size, 2u);

  DataPtr lagged = make_data(2, 4);
  {
    vlk_test::CaptureErr cap;
    VLK_Data_dynamic(lagged.get(), nullptr);
  }
  EXPECT_FATAL_EXIT(VLK_Data_discretize(lagged.get(), 3),
                    "VLK_Data: discretizaing ... (categories = 3)\nERROR: VLK_Data_discretize(): "
                    "call this before converting for the dynamic model.\n");
  DataPtr plain = make_data(1, 3);
  const auto end = vlk_test::run_fatal([&] { VLK_Data_discretize(plain.get(), 0); });
  EXPECT_TRUE(end.exit1());
  EXPECT_NE(end.err.find("\nERROR: VLK_Data_discretize(): "), std::string::npos) << end.err;
  // More categories than samples: the largest count once allocated without limit.
  for (int k : {4, INT_MAX}) {
    const std::string count = std::to_string(k);
    EXPECT_FATAL_EXIT(VLK_Data_discretize(plain.get(), k),
                      "VLK_Data: discretizaing ... (categories = " + count +
                          ")\nERROR: VLK_Data_discretize(): the number of categories must not "
                          "exceed the number of samples (3): " +
                          count + "\n");
  }
}

// ---- time-lagged pairs ----

TEST(Dynamic, BlocksBecomePairsOfConsecutiveColumns) {
  struct Case {
    int n;
    std::vector<int> points;  // empty: no list
    std::vector<int> x, y;    // 1-based source columns of X and Y
    std::string printed;
  };
  const std::vector<Case> cases = {
      {6, {4}, {1, 2, 4, 5}, {2, 3, 5, 6}, "  blocks = 2, points={4}\n  new n = 4\n"},
      {5, {}, {1, 2, 3, 4}, {2, 3, 4, 5}, "  blocks = 1, points={}\n  new n = 4\n"},
      // The middle block has one column and gives no pair.
      {6, {3, 4}, {1, 4, 5}, {2, 5, 6}, "  blocks = 3, points={3, 4}\n  new n = 3\n"},
      {0, {}, {}, {}, "  blocks = 1, points={}\n  new n = 0\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.printed);
    DataPtr d = make_data(2, c.n);
    split_y(d.get());  // the old second block is released too
    Ints points;
    if (!c.points.empty()) {
      points.reset(VLK_IntArray_new());
      for (int v : c.points) VLK_IntArray_add(points.get(), v);
    }
    std::string err;
    {
      vlk_test::CaptureErr cap;
      VLK_Data_dynamic(d.get(), points.get());
      err = cap.text();
    }
    EXPECT_EQ(err, "Converting for the dynamical models.\n" + c.printed);
    const int m = static_cast<int>(c.x.size());
    ASSERT_EQ(d->n, m);
    EXPECT_NE(d->X, d->Y);
    for (int v = 0; v < 2; ++v)
      for (int j = 0; j < m; ++j) {
        EXPECT_EQ(d->X[v * m + j], cell(v, c.x[j] - 1));
        EXPECT_EQ(d->Y[v * m + j], cell(v, c.y[j] - 1));
      }
  }
}

TEST(Dynamic, IntoExistingBlocksAndRefusedLayouts) {
  DataPtr src = make_data(2, 6);
  DataPtr dst = make_data(2, 6);
  const Ints four = int_list({4});
  {
    vlk_test::CaptureErr cap;
    VLK_Data_dynamic(dst.get(), four.get());
  }
  for (int i = 0; i < 12; ++i) src->X[i] += 0.5;  // new values to convert
  const double* x = dst->X;
  {
    vlk_test::CaptureErr cap;
    VLK_Data_dynamic_Data(dst.get(), four.get(), src.get());
    EXPECT_EQ(cap.text(), "");
  }
  EXPECT_EQ(dst->X, x);
  EXPECT_EQ(dst->n, 4);
  EXPECT_EQ(row(dst->X, 4, 1), (std::vector<double>{100.5, 101.5, 103.5, 104.5}));
  EXPECT_EQ(row(dst->Y, 4, 1), (std::vector<double>{101.5, 102.5, 104.5, 105.5}));
  // Fewer pairs into the same blocks fit as well.
  const Ints late = int_list({6});
  VLK_Data_dynamic_Data(dst.get(), late.get(), src.get());
  EXPECT_EQ(dst->n, 4);
  EXPECT_EQ(row(dst->Y, 4, 0), (std::vector<double>{1.5, 2.5, 3.5, 4.5}));

  // A single block cannot hold both halves of the pairs.
  DataPtr shared = make_data(2, 6);
  const auto end =
      vlk_test::run_fatal([&] { VLK_Data_dynamic_Data(shared.get(), four.get(), src.get()); });
  EXPECT_TRUE(end.exit1());
  EXPECT_EQ(end.err.rfind("ERROR: VLK_Data_dynamic_Data(): ", 0), 0u) << end.err;

  // Block starts must ascend and leave every block a column.
  for (const auto& pts : {std::vector<int>{1}, {4, 4}, {5, 3}, {7}, {0}}) {
    DataPtr d = make_data(1, 6);
    Ints p(VLK_IntArray_new());
    for (int v : pts) VLK_IntArray_add(p.get(), v);
    const auto bad = vlk_test::run_fatal([&] { VLK_Data_dynamic(d.get(), p.get()); });
    EXPECT_TRUE(bad.exit1()) << pts[0];
    EXPECT_EQ(bad.err.rfind("ERROR: VLK_Data_dynamic(): block starts must ascend", 0), 0u)
        << bad.err;
  }
}

// ---- centring and dump ----

TEST(Data, MeanShiftCentresXOnly) {
  DataPtr d = from_rows({{1, 2, 6}, {-4, -4, -4}});
  split_y(d.get());
  const std::vector<double> y = row(d->Y, 3, 0);
  VLK_Data_node_mean_shift(d.get());
  EXPECT_EQ(row(d->X, 3, 0), (std::vector<double>{-2, -1, 3}));
  EXPECT_EQ(row(d->X, 3, 1), (std::vector<double>{0, 0, 0}));
  EXPECT_EQ(row(d->Y, 3, 0), y);
  DataPtr empty = make_data(2, 0);
  VLK_Data_node_mean_shift(empty.get());
}

TEST(Data, OutputOneLinePerNode) {
  DataPtr d = from_rows({{1.5, -2}, {0, 1e6}});
  std::free(d->aliases->data[1]);
  d->aliases->data[1] = nullptr;
  EXPECT_EQ(vlk_test::capture([&](FILE* fp) { VLK_Data_output(d.get(), fp); }),
            "g0\ta0\t1.500000\t-2.000000\ng1\t(null)\t0.000000\t1000000.000000\n");
}
