// The discrete BDe score: values against an independent reference (tests/tools/bde_golden.py),
// the counting rules (truncation, first-seen configurations, the number of states), its refusals
// and its memory, and scoring from several threads at once.
#include <gtest/gtest.h>
#include <omp.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "VLK_BDE.h"
#include "VLK_Data.h"
#include "VLK_KeyValues.h"
#include "VLK_Score.h"
#include "VLK_StrArray.h"
#include "score_testing.h"
#include "vlk_test.h"

using namespace score_testing;

namespace {

// bde_golden.py: a three-state root, a binary root, a noisy child of both, a real-valued node
// (states by truncation) and an unrelated binary node, over 30 samples.
const std::vector<std::vector<double>> kFixture = {
    {1, 1, 1, 0, 1, 2, 2, 1, 2, 2, 0, 0, 0, 0, 1, 2, 1, 0, 2, 0, 2, 0, 2, 0, 0, 2, 0, 0, 0, 2},
    {0, 1, 0, 0, 1, 1, 0, 1, 0, 1, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 1, 1, 0, 1, 1, 0},
    {1, 2, 1, 0, 2, 0, 0, 1, 2, 0, 0, 0, 0, 0, 1, 0, 2, 0, 2, 0, 2, 0, 2, 2, 1, 0, 0, 0, 1, 2},
    {2.375, 2.758, 0.337, 0.81,  1.354, 1.62,  0.961, 2.966, 1.075, 2.226,
     1.192, 2.984, 0.163, 0.16,  0.229, 0.495, 2.252, 2.795, 0.487, 0.406,
     0.79,  2.648, 0.105, 2.916, 2.384, 0.536, 1.085, 1.869, 1.988, 1.219},
    {1, 0, 1, 1, 0, 1, 0, 1, 1, 1, 1, 0, 1, 1, 1, 0, 1, 1, 0, 0, 0, 0, 1, 0, 0, 0, 1, 1, 0, 1},
};

struct Golden {
  int child;
  std::vector<int> parents;
  double score;
};
const Golden kGolden[] = {
    {2, {}, 67.16892439924524},         {0, {}, 69.36614897658146},
    {3, {}, 70.33716460814486},         {2, {0}, 56.533030558257714},
    {2, {1}, 68.87442038092223},        {2, {3}, 70.92390526112555},
    {0, {2}, 58.380372236601275},       {2, {0, 1}, 50.441986682144716},
    {2, {1, 0}, 50.441986682144716},    {2, {0, 3}, 62.12115471377524},
    {4, {0, 1}, 46.27419489808628},     {3, {2, 4}, 71.61969577369894},
    {2, {0, 1, 4}, 53.177877127048106},
};

struct BdeDeleter {
  void operator()(BDEBuff* bf) const { BDE_finalize(bf); }
};
using BdePtr = std::unique_ptr<BDEBuff, BdeDeleter>;

BdePtr make_state(VLK_Data* data, const Setup& s = {}, std::string* log = nullptr,
                  size_t* used = nullptr) {
  return init_state<BdePtr>(BDE_init, data, s, log, used);
}

void init_only(VLK_Data* data, const Setup& s) { init_only_with(BDE_init, data, s); }

double score(BDEBuff* bf, int child, std::vector<int> parents) {
  return BDE_score(bf, child, parents.data(), static_cast<int>(parents.size()));
}

}  // namespace

TEST(BdeScore, MatchesTheReference) {
  DataPtr d = make_data(kFixture);
  BdePtr bf = make_state(d.get());
  EXPECT_EQ(bf->r[0], 3);
  EXPECT_EQ(bf->r[1], 2);
  EXPECT_EQ(bf->r[3], 3);  // 2.984 counts as 2
  for (const Golden& g : kGolden)
    EXPECT_NEAR(score(bf.get(), g.child, g.parents), g.score, 1e-12 * g.score)
        << label_of(g.child, g.parents);
  // Without parents the closed form: one configuration of all 30 samples.
  const double lg3 = std::lgamma(3.0);
  int n_k[3] = {};
  for (double v : kFixture[2]) ++n_k[static_cast<int>(v)];
  double expected = lg3 - std::lgamma(33.0);
  for (int k : n_k) expected += std::lgamma(k + 1.0);
  EXPECT_NEAR(score(bf.get(), 2, {}), -2.0 * expected, 1e-12);
}

TEST(BdeScore, CountsConfigurationsInFirstSeenOrder) {
  // Parent pairs (1,0), (0,1), (1,0), (0,1), (1,0); child 0, 1, 1, 1, 0.
  DataPtr d = make_data({{1, 0, 1, 0, 1}, {0, 1, 0, 1, 0}, {0, 1, 1, 1, 0}});
  BdePtr bf = make_state(d.get(), {.max_parents = 2});
  int parents[] = {0, 1};
  ASSERT_EQ(BDE_count_n_ijk(bf.get(), parents, 2, 2), 2);
  const int* conf = bf->configurations[0];
  EXPECT_EQ(conf[0], 1);
  EXPECT_EQ(conf[1], 0);
  EXPECT_EQ(conf[2], 0);
  EXPECT_EQ(conf[3], 1);
  const int* counts = bf->counts[0];  // rows of r = 2 states
  EXPECT_EQ(counts[0], 2);            // (1,0): child 0, 1, 0
  EXPECT_EQ(counts[1], 1);
  EXPECT_EQ(counts[2], 0);  // (0,1): child 1, 1
  EXPECT_EQ(counts[3], 2);
  // The value of those counts: a = 2, lgamma(1) = 0.
  const double expected = (std::lgamma(2.0) - std::lgamma(5.0) + std::lgamma(3.0)) +
                          (std::lgamma(2.0) - std::lgamma(4.0) + std::lgamma(3.0));
  EXPECT_NEAR(score(bf.get(), 2, {0, 1}), -2.0 * expected, 1e-12);
  // Without parents every sample has the one empty configuration.
  EXPECT_EQ(BDE_count_n_ijk(bf.get(), parents, 0, 2), 1);
  EXPECT_EQ(bf->counts[0][0], 2);
  EXPECT_EQ(bf->counts[0][1], 3);
}

TEST(BdeScore, AllZeroChildScoresZeroForEveryParentSet) {
  std::vector<std::vector<double>> rows = kFixture;
  rows.push_back(std::vector<double>(30, 0.0));
  rows.push_back(std::vector<double>(30, 0.7));  // truncates to 0 as well
  DataPtr d = make_data(rows);
  BdePtr bf = make_state(d.get());
  for (int child : {5, 6}) {
    EXPECT_EQ(bf->r[child], 1);
    for (const std::vector<int>& parents :
         {std::vector<int>{}, {0}, {3}, {0, 1}, {2, 4, 3}, {child == 5 ? 6 : 5}})
      EXPECT_EQ(score(bf.get(), child, parents), 0.0) << label_of(child, parents);
  }
}

TEST(BdeScore, StatesByTruncation) {
  // Every integer state i becomes i + a fraction: the scores do not move.
  std::vector<std::vector<double>> rows = kFixture;
  std::mt19937 gen(5);
  for (int v : {0, 1, 2})
    for (double& x : rows[v]) x += 0.95 * static_cast<double>(gen()) / gen.max();
  DataPtr plain = make_data(kFixture);
  DataPtr fractional = make_data(rows);
  BdePtr a = make_state(plain.get());
  BdePtr b = make_state(fractional.get());
  for (int v = 0; v < 5; ++v) EXPECT_EQ(a->r[v], b->r[v]) << v;
  for (const Golden& g : kGolden)
    EXPECT_EQ(score(a.get(), g.child, g.parents), score(b.get(), g.child, g.parents))
        << label_of(g.child, g.parents);
  // Values below 1 give one state; 1.9 and 1.2 are both state 1.
  DataPtr small = make_data({{0.2, 0.9, 0.0}, {1.9, 1.2, 0.5}, {1, 1, 0}});
  BdePtr s = make_state(small.get());
  EXPECT_EQ(s->r[0], 1);
  EXPECT_EQ(s->r[1], 2);
  EXPECT_EQ(score(s.get(), 2, {1}), score(s.get(), 2, {2}));
}

TEST(BdeScore, CategoryDataTakeTheirStatesFromTheLabels) {
  // Node 2 uses two of its four labelled categories: r = 4 widens every prior (a = 4).
  DataPtr d = make_data({{0, 1, 0, 1, 1, 0}, {1, 1, 0, 0, 1, 0}, {0, 1, 1, 0, 1, 1}});
  BdePtr by_values = make_state(d.get());
  d->category = 1;
  d->labels = VLK_StrArray_new_ar(3);
  const int labels_of[3] = {2, 2, 4};
  for (int v = 0; v < 3; ++v)
    for (int c = 0; c < labels_of[v]; ++c)
      VLK_StrArray_add_copy(&d->labels[v], ("Cat_" + std::to_string(c + 1)).c_str());
  BdePtr by_labels = make_state(d.get());
  EXPECT_EQ(by_values->r[2], 2);
  EXPECT_EQ(by_labels->r[2], 4);
  EXPECT_EQ(by_labels->max_r, 4);
  // One configuration of counts (2, 4, 0, 0): lgamma(4) - lgamma(10) + lgamma(3) + lgamma(5).
  const double expected =
      std::lgamma(4.0) - std::lgamma(10.0) + std::lgamma(3.0) + std::lgamma(5.0);
  EXPECT_NEAR(score(by_labels.get(), 2, {}), -2.0 * expected, 1e-12);
  EXPECT_NE(score(by_labels.get(), 2, {}), score(by_values.get(), 2, {}));
}

TEST(BdeScore, ThreadsScoreWithTablesOfTheirOwn) {
  constexpr int kThreads = 4;
  std::vector<std::vector<double>> rows = kFixture;
  // More samples, in other orders, so that concurrent counts would collide.
  for (auto& r : rows)
    for (int rep = 1; rep <= 6; ++rep)
      for (int s = 0; s < 30; ++s) r.push_back(r[(s * 7 + rep) % 30]);
  std::mt19937 gen(9);
  DataPtr d = make_data(rows);
  BdePtr bf = make_state(d.get(), {.threads = kThreads});
  std::vector<std::vector<int>> sets;
  std::vector<int> children;
  for (int i = 0; i < 300; ++i) {
    std::vector<int> nodes = {0, 1, 2, 3, 4};
    std::shuffle(nodes.begin(), nodes.end(), gen);
    children.push_back(nodes[0]);
    sets.emplace_back(nodes.begin() + 1, nodes.begin() + 1 + gen() % 4);
  }
  std::vector<double> serial(sets.size()), parallel(sets.size());
  for (size_t i = 0; i < sets.size(); ++i) serial[i] = score(bf.get(), children[i], sets[i]);
#pragma omp parallel for num_threads(kThreads) schedule(dynamic, 1)
  for (size_t i = 0; i < sets.size(); ++i) parallel[i] = score(bf.get(), children[i], sets[i]);
  for (size_t i = 0; i < sets.size(); ++i) EXPECT_EQ(parallel[i], serial[i]) << i;
  EXPECT_NE(bf->counts[0], bf->counts[1]);
  EXPECT_NE(bf->configurations[0], bf->configurations[kThreads - 1]);
}

TEST(BdeInit, ReportsAndChargesEveryThreadsTables) {
  DataPtr d = make_data(kFixture);
  std::string log;
  size_t used = 0;
  BdePtr bf = make_state(d.get(), {.threads = 3, .max_parents = 2, .verbosity = 0}, &log, &used);
  // Per thread: 30 configurations of 2 ints and 30 count rows of max r = 3 ints.
  const size_t bytes = 3 * 30 * (2 + 3) * 4;
  EXPECT_EQ(used, bytes);
  EXPECT_EQ(log,
            "BDE: Initializing the BDe score function.\n"
            "BDE: max r_i = 3\n"
            "BDE: Total memory usage: 1,800 [bytes] (0 [MiB])\n"
            "BDE: Finished BDE initialization.\n");
  EXPECT_EQ(bf->threads, 3);
  EXPECT_EQ(bf->alpha, 1.0);
  EXPECT_EQ(bf->prior_type, 0);
  // Below verbosity 0 only the number of states is told.
  BdePtr quiet = make_state(d.get(), {}, &log);
  EXPECT_EQ(log, "BDE: max r_i = 3\n");
  // The budget is the tables of all threads.
  EXPECT_FATAL_EXIT(init_only(d.get(), {.threads = 3, .max_parents = 2, .max_memory = bytes - 1}),
                    "BDE: max r_i = 3\nERROR: BDE: Memory consumption over.\n");
  BdePtr fits = make_state(d.get(), {.threads = 3, .max_parents = 2, .max_memory = bytes});
  EXPECT_NE(fits, nullptr);
}

TEST(BdeInit, RefusesWhatItCannotScore) {
  DataPtr d = make_data(kFixture);
  EXPECT_FATAL_EXIT(init_only(d.get(), {.options = "alpha=2"}),
                    "ERROR: unknown argument specified: alpha\n");
  EXPECT_FATAL_EXIT(init_only(d.get(), {.options = "v"}), "ERROR: unknown argument specified: v\n");

  struct Bad {
    const char* what;
    int node, sample;
    double value;
    std::string message;
  };
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const Bad cases[] = {
      {"negative child state", 1, 4, -1.0,
       "ERROR: BDE: child value of node 1 () at sample 4 is not one of its states 0..1: -1\n"},
      {"not a number", 2, 0, nan,
       "ERROR: BDE: value of node 2 () at sample 0 is not a state: nan\n"},
      {"beyond an int", 0, 29, 1e12,
       "ERROR: BDE: value of node 0 () at sample 29 is not a state: 1e+12\n"},
  };
  for (const Bad& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<std::vector<double>> rows = kFixture;
    rows[c.node][c.sample] = c.value;
    DataPtr bad = make_data(rows);
    EXPECT_FATAL_EXIT(init_only(bad.get(), {}), c.message);
  }
  // A child matrix apart from the parents' (a time lag) whose values pass X's largest: node 4 has
  // two states in X, state 2 at sample 7 in Y.
  DataPtr lagged = make_data(kFixture);
  lagged->Y = static_cast<double*>(std::malloc(sizeof(double) * 5 * 30));
  std::memcpy(lagged->Y, lagged->X, sizeof(double) * 5 * 30);
  lagged->Y[4 * 30 + 7] = 2.0;
  VLK_StrArray_add_copy(lagged->names, "a");  // a name is given when the data set has one
  for (const char* name : {"b", "c", "d", "e"}) VLK_StrArray_add_copy(lagged->names, name);
  EXPECT_FATAL_EXIT(init_only(lagged.get(), {}),
                    "ERROR: BDE: child value of node 4 (e) at sample 7 is not one of its states "
                    "0..1: 2\n");

  BdePtr bf = make_state(d.get(), {.max_parents = 2});
  EXPECT_FATAL_EXIT(score(bf.get(), 2, {0, 1, 3}),
                    "ERROR: BDE: Number of parents out of range: q=3, max_parents=2\n");
  bf->prior_type = 1;
  EXPECT_FATAL_EXIT(score(bf.get(), 2, {0}), "FATAL ERROR: BDE: Unknown prior type specified.\n");
}

TEST(BdeScore, TheRegistryRowReachesTheModule) {
  DataPtr d = make_data(kFixture);
  VLK_Score* s = VLK_Score_get("bde");
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(s->prop, nullptr);
  EXPECT_EQ(s->reinit, nullptr);
  EXPECT_EQ(s->omp_init, nullptr);
  VLK_ScoreArgs args = args_for({}, nullptr);
  {
    vlk_test::CaptureErr err;
    VLK_Score_init(s, d.get(), &args);
  }
  int parents[] = {0, 1};
  EXPECT_NEAR(s->score(s->state, 2, parents, 2), 50.441986682144716, 1e-12 * 50.44);
  EXPECT_EQ(BDE_prop(static_cast<BDEBuff*>(s->state), 2, parents, 2, 0), nullptr);
  s->finalize(s->state);
  std::free(s);
  BdePtr fresh(BDEBuff_new());
  EXPECT_EQ(fresh->prior_type, 0);
  EXPECT_EQ(fresh->alpha, 1.0);
}
