#include <gtest/gtest.h>
#include <omp.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "VLK_Data.h"
#include "VLK_KeyValues.h"
#include "VLK_Score.h"
#include "test_score.h"
#include "vlk_test.h"

using vlk_test::TestScore;
using vlk_test::TestScoreConfig;
using vlk_test::TestScoreMode;

namespace {

struct ScoreFree {
  void operator()(VLK_Score* s) const { std::free(s); }
};
using ScorePtr = std::unique_ptr<VLK_Score, ScoreFree>;

// Four genes over 30 samples: two independent, one a smooth function of them, one noise.
VLK_Data* small_data() {
  VLK_Data* d = VLK_Data_new();
  d->p = 4;
  d->n = 30;
  d->X = static_cast<double*>(std::malloc(sizeof(double) * 4 * 30));
  d->Y = d->X;
  std::mt19937 gen(5);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  for (int s = 0; s < 30; ++s) {
    const double a = u(gen), b = u(gen);
    d->X[s] = a;
    d->X[30 + s] = b;
    d->X[60 + s] = std::sin(2.0 * a) + b * b + 0.1 * u(gen);
    d->X[90 + s] = u(gen);
  }
  return d;
}

double fake_score(void*, int, int*, int) { return -1.0; }
void fake_cache(void*, int) {}

// A module whose per-thread states are distinct, so their order can be seen.
int fake_states[3] = {10, 11, 12};
void** fake_omp_init(VLK_ScoreArgs*, void*, int nthreads) {
  auto** states = static_cast<void**>(std::malloc(sizeof(void*) * nthreads));
  for (int i = 0; i < nthreads; ++i) states[i] = &fake_states[i % 3];
  return states;
}

VLK_Data* nodes_only(int p) {
  VLK_Data* d = VLK_Data_new();
  d->p = p;
  return d;
}

}  // namespace

TEST(ScoreTable, LookupIgnoresCase) {
  const struct {
    const char* query;
    const char* row;  // null: no module
  } cases[] = {
      {"bnrc", "BNRC"},   {"BNRC", "BNRC"},           {"Bnrc2", "BNRC2"},
      {"Bde", "BDE"},     {"contprior", "ContPrior"}, {"CONTPRIOR", "ContPrior"},
      {"BNRC3", nullptr}, {"BNR", nullptr},           {"", nullptr},
      {"BNRC ", nullptr}, {nullptr, nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.query ? c.query : "(null)");
    ScorePtr s(VLK_Score_get(c.query));
    if (c.row == nullptr) {
      EXPECT_EQ(s, nullptr);
      continue;
    }
    ASSERT_NE(s, nullptr);
    EXPECT_STREQ(s->name, c.row);
  }
}

// Code that walks the table stops at the row without a name, after the four modules.
TEST(ScoreTable, ListsTheModulesInOrderThenEnds) {
  std::vector<std::string> names;
  for (const VLK_Score* row = VLK_Score_list; row->name != nullptr; ++row)
    names.emplace_back(row->name);
  EXPECT_EQ(names, (std::vector<std::string>{"BNRC", "BNRC2", "ContPrior", "BDE"}));
  EXPECT_EQ(names.size(), static_cast<size_t>(VLK_SCORE_MODULES));
}

// Every record VLK_Score_get hands out, built module or not, has no state yet and default
// cache and status operations that can be called on any state and do nothing to it.
TEST(ScoreTable, FreshRecordsHaveWorkingDefaults) {
  for (const char* name : {"BNRC", "BNRC2", "ContPrior", "BDE"}) {
    SCOPED_TRACE(name);
    ScorePtr s(VLK_Score_get(name));
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->state, nullptr);
    EXPECT_EQ(s->reserved0, 0);
    ASSERT_NE(s->cache, nullptr);
    ASSERT_NE(s->status, nullptr);
    const int original[4] = {1, 2, 3, 4};
    int state[4] = {1, 2, 3, 4};
    for (int on : {0, 1, 0}) s->cache(state, on);
    s->cache(nullptr, 1);
    EXPECT_EQ(vlk_test::capture([&](FILE* fp) { s->status(state, fp); }), "");
    EXPECT_EQ(vlk_test::capture([&](FILE* fp) { s->status(nullptr, fp); }), "");
    EXPECT_TRUE(std::equal(std::begin(state), std::end(state), std::begin(original)));
  }
  // BNRC evaluates no network: callers must find the slot empty rather than call it.
  ScorePtr bnrc(VLK_Score_get("BNRC"));
  EXPECT_EQ(bnrc->evaluate, nullptr);
}

// A record is the caller's own: wrapping one in place, as a score cache does, changes neither
// a record got before nor one got after, and both still score through the module.
TEST(ScoreTable, RecordsArePrivateCopies) {
  VLK_Data* data = small_data();
  ScorePtr before(VLK_Score_get("BNRC"));
  ScorePtr wrapped(VLK_Score_get("bnrc"));
  ASSERT_NE(before, nullptr);
  ASSERT_NE(wrapped, nullptr);
  EXPECT_NE(before.get(), wrapped.get());
  VLK_ScoreArgs args{nullptr, 2, size_t{64} << 20, 0, 1, 0, -1};
  void* state = nullptr;
  {
    vlk_test::CaptureErr quiet;
    state = before->init(data, &args);
  }
  ASSERT_NE(state, nullptr);
  int parents[] = {0, 1};
  const double module_score = before->score(state, 2, parents, 2);
  EXPECT_TRUE(std::isfinite(module_score));

  int cache_state = 0;
  wrapped->score = fake_score;
  wrapped->cache = fake_cache;
  wrapped->init = nullptr;
  wrapped->state = &cache_state;
  EXPECT_EQ(wrapped->score(state, 2, parents, 2), -1.0);

  ScorePtr after(VLK_Score_get("BNRC"));
  for (VLK_Score* s : {before.get(), after.get()}) {
    EXPECT_NE(s->init, nullptr);
    EXPECT_EQ(s->state, nullptr);
    EXPECT_NE(s->cache, &fake_cache);
    EXPECT_EQ(std::bit_cast<std::uint64_t>(s->score(state, 2, parents, 2)),
              std::bit_cast<std::uint64_t>(module_score));
  }
  {
    vlk_test::CaptureErr quiet;
    after->finalize(state);
  }
  VLK_Data_delete(data);
}

TEST(ScoreOmpInit, OneRecordPerThreadState) {
  VLK_Score base = {};
  base.name = "fake";
  base.score = fake_score;
  base.omp_init = fake_omp_init;
  base.reserved1 = 7;
  VLK_ScoreArgs* args = VLK_ScoreArgs_new();
  VLK_Score* records = VLK_Score_omp_init(&base, args, 3);
  ASSERT_NE(records, nullptr);
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(records[i].state, &fake_states[i]);
    EXPECT_STREQ(records[i].name, "fake");
    EXPECT_EQ(records[i].score, fake_score);
    EXPECT_EQ(records[i].reserved1, 7);
  }
  std::free(records);

  EXPECT_EQ(VLK_Score_omp_init(&base, args, 0), nullptr);
  base.omp_init = nullptr;
  EXPECT_EQ(VLK_Score_omp_init(&base, args, 3), nullptr);
  VLK_ScoreArgs_delete(args);
}

TEST(ScoreArgs, DefaultsCloneAndDelete) {
  VLK_ScoreArgs* args = VLK_ScoreArgs_new();
  ASSERT_NE(args, nullptr);
  EXPECT_EQ(args->options, nullptr);
  EXPECT_EQ(args->max_parents, 10);
  EXPECT_EQ(args->max_memory, 524288000u);
  EXPECT_EQ(args->used_memory, 0u);
  EXPECT_EQ(args->threads, omp_get_max_threads());
  EXPECT_EQ(args->cache_type, 0);
  EXPECT_EQ(args->verbosity, 0);

  VLK_ScoreArgs* bare = VLK_ScoreArgs_clone(args);
  EXPECT_EQ(bare->options, nullptr);
  VLK_ScoreArgs_delete(bare);

  args->options = VLK_KeyValues_parse("hn=3,grid={1,2}");
  args->max_parents = 4;
  args->max_memory = size_t{8} << 30;
  args->used_memory = 123;
  args->threads = 6;
  args->cache_type = 3;
  args->verbosity = 2;
  VLK_ScoreArgs* c = VLK_ScoreArgs_clone(args);
  ASSERT_NE(c, nullptr);
  ASSERT_NE(c->options, nullptr);
  EXPECT_NE(c->options, args->options);
  EXPECT_EQ(c->max_parents, 4);
  EXPECT_EQ(c->max_memory, size_t{8} << 30);
  EXPECT_EQ(c->used_memory, 123u);
  EXPECT_EQ(c->threads, 6);
  EXPECT_EQ(c->cache_type, 3);
  EXPECT_EQ(c->verbosity, 2);

  // The copy's options survive the original list; delete frees neither list.
  const std::string text =
      vlk_test::capture([&](FILE* fp) { VLK_KeyValues_print(args->options, fp); });
  VLK_KeyValues* original = args->options;
  VLK_ScoreArgs_delete(args);
  VLK_KeyValues_delete(original);
  EXPECT_EQ(vlk_test::capture([&](FILE* fp) { VLK_KeyValues_print(c->options, fp); }), text);
  VLK_KeyValues* copy = c->options;
  VLK_ScoreArgs_delete(c);
  VLK_KeyValues_delete(copy);
}

// The test module itself: the searches' tests rely on its closed forms.

TEST(TestScoreModule, PlantedDagIsTheUniqueOptimum) {
  TestScoreConfig cfg;
  cfg.nodes = 5;
  cfg.parents = {{}, {0}, {0, 1}, {2}, {1, 3}};
  TestScore st(cfg);
  const int p012[] = {0, 1};
  const int p13[] = {1, 3};
  EXPECT_EQ(st.value(2, p012, 2), -8.0);
  EXPECT_EQ(st.value(2, p13, 2), -4.0 + 1.0);
  EXPECT_EQ(st.value(0, nullptr, 0), 0.0);
  const double best = st.total(cfg.parents);
  EXPECT_EQ(best, -4.0 * 6);
  // Toggling any single edge of the planted network makes the total worse.
  for (int c = 0; c < 5; ++c) {
    for (int j = 0; j < 5; ++j) {
      if (j == c) continue;
      auto net = cfg.parents;
      auto& ps = net[c];
      auto it = std::find(ps.begin(), ps.end(), j);
      if (it != ps.end()) {
        ps.erase(it);
      } else {
        ps.push_back(j);
      }
      EXPECT_GT(st.total(net), best) << j << " -> " << c;
    }
  }
}

TEST(TestScoreModule, RandomTableAndTies) {
  TestScoreConfig cfg;
  cfg.mode = TestScoreMode::random;
  cfg.nodes = 6;
  cfg.seed = 11;
  cfg.base = 5.0;
  TestScore st(cfg);
  const int a[] = {1, 2, 4};
  const int b[] = {4, 1, 2};
  const int other[] = {1, 2, 5};
  const double v = st.value(0, a, 3);
  EXPECT_EQ(v, st.value(0, b, 3));  // the order of the parents does not matter
  EXPECT_GE(v, 5.0);
  EXPECT_LT(v, 6.0);
  EXPECT_NE(v, st.value(0, other, 3));
  EXPECT_NE(v, st.value(3, a, 3));
  EXPECT_NE(v, st.value(0, a, 2));
  cfg.seed = 12;
  EXPECT_NE(v, TestScore(cfg).value(0, a, 3));
  cfg.seed = 11;
  EXPECT_EQ(v, TestScore(cfg).value(0, a, 3));  // reproducible

  cfg.mode = TestScoreMode::tie;
  cfg.base = 2.0;
  cfg.step = 0.5;
  TestScore tie(cfg);
  EXPECT_EQ(tie.value(0, a, 3), 0.5);
  EXPECT_EQ(tie.value(5, other, 3), 0.5);
  EXPECT_EQ(tie.value(5, other, 1), 1.5);
}

TEST(TestScoreModule, RandomDagIsAcyclicAndBounded) {
  for (std::uint64_t seed : {1u, 2u, 99u}) {
    const auto dag = vlk_test::random_dag(30, 3, seed);
    EXPECT_EQ(dag, vlk_test::random_dag(30, 3, seed));
    ASSERT_EQ(dag.size(), 30u);
    size_t edges = 0;
    std::vector<int> indeg(30, 0);
    for (const auto& ps : dag) {
      EXPECT_LE(ps.size(), 3u);
      EXPECT_TRUE(std::is_sorted(ps.begin(), ps.end()));
      EXPECT_EQ(std::adjacent_find(ps.begin(), ps.end()), ps.end());
      edges += ps.size();
    }
    EXPECT_GT(edges, 0u);
    // Kahn's algorithm removes every node only when there is no cycle.
    for (size_t c = 0; c < 30; ++c) indeg[c] = static_cast<int>(dag[c].size());
    std::vector<int> ready;
    for (int c = 0; c < 30; ++c)
      if (indeg[c] == 0) ready.push_back(c);
    int removed = 0;
    while (!ready.empty()) {
      const int u = ready.back();
      ready.pop_back();
      ++removed;
      for (int c = 0; c < 30; ++c)
        if (std::count(dag[c].begin(), dag[c].end(), u) && --indeg[c] == 0) ready.push_back(c);
    }
    EXPECT_EQ(removed, 30) << "seed " << seed;
  }
}

TEST(TestScoreModule, CountsEveryCallFromEveryThread) {
  TestScoreConfig cfg;
  cfg.mode = TestScoreMode::random;
  cfg.nodes = 8;
  VLK_Score* s = vlk_test::test_score_new(cfg);
  TestScore* st = vlk_test::test_score_state(s);
  constexpr int kCalls = 20000;
  int used_threads = 1;
  double sum = 0.0;
#pragma omp parallel num_threads(4) reduction(+ : sum)
  {
#pragma omp single
    used_threads = omp_get_num_threads();
#pragma omp for
    for (int i = 0; i < kCalls; ++i) {
      int parents[2] = {(i + 1) % 8, (i + 2) % 8};
      sum += s->score(s->state, i % 8, parents, 2);
    }
  }
  EXPECT_EQ(st->calls.load(), static_cast<std::uint64_t>(kCalls));
  EXPECT_EQ(st->bad_calls.load(), 0u);
  EXPECT_EQ(st->max_q.load(), 2);
  EXPECT_EQ(std::popcount(st->thread_mask.load()), used_threads);
  EXPECT_GT(sum, 0.0);
  st->reset_counters();
  EXPECT_EQ(st->calls.load(), 0u);
  vlk_test::test_score_delete(s);
}

TEST(TestScoreModule, FlagsBadCalls) {
  TestScoreConfig cfg;
  cfg.nodes = 4;
  cfg.max_parents = 2;
  VLK_Score* s = vlk_test::test_score_new(cfg);
  TestScore* st = vlk_test::test_score_state(s);
  const struct {
    int child;
    std::vector<int> parents;
    bool bad;
  } cases[] = {
      {0, {}, false},  {3, {0, 1}, false}, {-1, {}, true}, {4, {0}, true},       {0, {4}, true},
      {0, {-1}, true}, {1, {2, 2}, true},  {1, {1}, true}, {0, {1, 2, 3}, true},
  };
  for (const auto& c : cases) {
    const std::uint64_t before = st->bad_calls.load();
    std::vector<int> ps = c.parents;
    s->score(s->state, c.child, ps.data(), static_cast<int>(ps.size()));
    EXPECT_EQ(st->bad_calls.load() - before, c.bad ? 1u : 0u) << "child " << c.child;
  }
  st->config.allow_self = true;
  int self[] = {1};
  const std::uint64_t before = st->bad_calls.load();
  s->score(s->state, 1, self, 1);
  EXPECT_EQ(st->bad_calls.load(), before);
  vlk_test::test_score_delete(s);
}

TEST(TestScoreModule, InitFromOptionsAndTheOtherSlots) {
  VLK_Data* data = nodes_only(6);
  VLK_ScoreArgs* args = VLK_ScoreArgs_new();
  args->max_parents = 3;
  args->options = VLK_KeyValues_parse("mode=planted,indegree=1,seed=3");
  VLK_Score* s = vlk_test::test_score_record();
  ASSERT_EQ(s->state, nullptr);
  s->state = s->init(data, args);
  TestScore* st = vlk_test::test_score_state(s);
  EXPECT_EQ(st->config.mode, TestScoreMode::planted);
  EXPECT_EQ(st->config.nodes, 6);
  EXPECT_EQ(st->config.max_parents, 3);
  EXPECT_EQ(st->config.parents, vlk_test::random_dag(6, 1, 3));
  EXPECT_GT(args->used_memory, 0u);

  s->cache(s->state, 0);
  EXPECT_EQ(st->cache_on.load(), 0);
  EXPECT_EQ(st->cache_switches.load(), 1u);
  int parents[] = {0, 5};
  s->score(s->state, 2, parents, 2);
  EXPECT_EQ(vlk_test::capture([&](FILE* fp) { s->status(s->state, fp); }), "TestScore: 1 calls\n");
  VLK_KeyValues* prop = s->prop(s->state, 2, parents, 2, 1);
  EXPECT_EQ(VLK_KeyValues_get_int(prop, "TestScore.parent", -1), 5);
  VLK_KeyValues_delete(prop);
  s->reinit(data, s->state);
  EXPECT_EQ(st->reinit_calls.load(), 1u);

  VLK_ScoreArgs threads = *args;
  VLK_Score* per_thread = VLK_Score_omp_init(s, &threads, 2);
  ASSERT_NE(per_thread, nullptr);
  EXPECT_EQ(per_thread[1].state, s->state);  // one shared, thread-safe state
  std::free(per_thread);

  VLK_KeyValues_delete(args->options);
  args->options = VLK_KeyValues_parse("mode=tie,step=2");
  VLK_Score* t = vlk_test::test_score_record();
  t->state = t->init(data, args);
  EXPECT_EQ(t->score(t->state, 0, parents, 2), -4.0);
  vlk_test::test_score_delete(t);

  VLK_Data* other = nodes_only(7);
  EXPECT_FATAL_EXIT(s->reinit(other, s->state),
                    "ERROR: TestScore: reinit: 7 nodes, the state has 6.\n");
  for (const char* bad : {"colour=3", "mode=foo"}) {
    VLK_KeyValues_delete(args->options);
    args->options = VLK_KeyValues_parse(bad);
    const std::string msg = std::strcmp(bad, "mode=foo") == 0
                                ? "ERROR: TestScore: unknown mode: foo\n"
                                : "ERROR: TestScore: bad option: colour\n";
    EXPECT_FATAL_EXIT(s->init(data, args), msg);
  }
  VLK_KeyValues_delete(args->options);
  VLK_ScoreArgs_delete(args);
  vlk_test::test_score_delete(s);
  VLK_Data_delete(other);
  VLK_Data_delete(data);
}
