// Greedy hill climbing, version 1, against scores whose optimum is known (planted DAG), a
// fixed random table (where only local optimality can be checked) and scripted tables that
// force ties. The helpers of namespace greedy_testing are shared with greedy2_test.cpp (the
// same test program).
#include <gtest/gtest.h>
#include <omp.h>

#include <algorithm>
#include <atomic>
#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "VLK_Greedy.h"
#include "greedy_testing.h"
#include "test_score.h"
#include "velkcom.h"
#include "vlk_test.h"

namespace greedy_testing {

using Lists = std::vector<std::vector<int>>;

VLK_Data* make_data(int p, int samples, bool names) {
  VLK_Data* d = VLK_Data_new();
  d->p = p;
  d->n = samples;
  d->X = static_cast<double*>(
      std::calloc(std::max<size_t>(VLK_Data_cells(p, samples), 1), sizeof(double)));
  d->Y = d->X;
  for (int i = 0; names && i < p; ++i) {
    VLK_StrArray_add_copy(d->names, ("g" + std::to_string(i)).c_str());
    VLK_StrArray_add_copy(d->aliases, ("a" + std::to_string(i)).c_str());
  }
  return d;
}

VLK_AlgoArgs* new_search(VLK_Data* data, VLK_Score* score, const char* options) {
  VLK_AlgoArgs* a = VLK_AlgoArgs_new();
  a->data = data;
  a->score = score;
  a->options = options != nullptr ? VLK_KeyValues_parse(options) : nullptr;
  a->rng = VLK_RNG_new();
  return a;
}

VLK_AlgoArgs* new_test_search(int p, vlk_test::TestScoreConfig cfg, const char* options,
                              bool names) {
  cfg.nodes = p;
  return new_search(make_data(p, 5, names), vlk_test::test_score_new(cfg), options);
}

// Everything a search record of these tests holds, the borrowed graphs included.
void delete_search(VLK_AlgoArgs* a) {
  if (a == nullptr) return;
  if (a->score != nullptr) {
    if (a->score->finalize != nullptr) a->score->finalize(a->score->state);
    std::free(a->score);
    a->score = nullptr;
  }
  for (GraphI* g : {a->fixed, a->skeleton})
    if (g != nullptr && g->type == VLK_TYPE_GRAPH) VLK_Graph_delete(static_cast<VLK_Graph*>(g));
  VLK_RNG_delete(a->rng);
  VLK_MultiTimer_delete(a->timer);
  VLK_AlgoArgs_delete(a);
}

vlk_test::TestScore& test_state(const VLK_AlgoArgs* a) {
  return *vlk_test::test_score_state(a->score);
}

Lists lists_of(const VLK_Graph* g) {
  Lists out(g->n);
  for (size_t c = 0; c < g->n; ++c) {
    const VLK_IntArray* l = VLK_Graph_parents(g, static_cast<int>(c));
    out[c].assign(l->data, l->data + l->size);
  }
  return out;
}

VLK_Graph* graph_of(const Lists& lists) {
  VLK_Graph* g = VLK_Graph_new(lists.size());
  for (size_t c = 0; c < lists.size(); ++c)
    for (int p : lists[c]) VLK_Graph_add_edge(g, p, static_cast<int>(c));
  return g;
}

Lists sorted(Lists l) {
  for (auto& v : l) std::sort(v.begin(), v.end());
  return l;
}

bool acyclic(const Lists& parents) {
  const size_t n = parents.size();
  std::vector<int> indeg(n, 0);
  std::vector<std::vector<int>> children(n);
  for (size_t c = 0; c < n; ++c)
    for (int p : parents[c]) {
      ++indeg[c];
      children[static_cast<size_t>(p)].push_back(static_cast<int>(c));
    }
  std::vector<int> ready;
  for (size_t v = 0; v < n; ++v)
    if (indeg[v] == 0) ready.push_back(static_cast<int>(v));
  size_t seen = 0;
  while (!ready.empty()) {
    const int v = ready.back();
    ready.pop_back();
    ++seen;
    for (int w : children[static_cast<size_t>(v)])
      if (--indeg[static_cast<size_t>(w)] == 0) ready.push_back(w);
  }
  return seen == n;
}

bool contains(const std::vector<int>& v, int x) {
  return std::find(v.begin(), v.end(), x) != v.end();
}

double call_score(const VLK_AlgoArgs* a, int c, std::vector<int> s) {
  return a->score->score(a->score->state, c, s.data(), static_cast<int>(s.size()));
}

bool fixed_edge(const VLK_AlgoArgs* a, int p, int c) {
  return a->fixed != nullptr && a->fixed->check_edge(a->fixed, p, c);
}

// May pa -> ch be added or be the result of a reversal? Version 1 asks the excluded graph,
// version 2 the skeleton.
bool pair_ok(const VLK_AlgoArgs* a, int version, int pa, int ch) {
  if (version == 1) return a->excluded == nullptr || !VLK_Graph_check_edge(a->excluded, pa, ch);
  return a->skeleton == nullptr || a->skeleton->check_edge(a->skeleton, pa, ch);
}

// The candidate lists the search must have used, recomputed from the score: the permitted
// single parents sorted by score, equal scores by index, the first a->candidates of them.
Lists expected_candidates(const VLK_AlgoArgs* a, int version) {
  const int n = a->data->p;
  Lists out(static_cast<size_t>(n));
  for (int c = 0; c < n; ++c) {
    std::vector<std::pair<double, int>> ranked;
    for (int p = 0; p < n; ++p) {
      if ((p == c && a->selfloop == 0) || fixed_edge(a, p, c) || !pair_ok(a, version, p, c))
        continue;
      ranked.emplace_back(call_score(a, c, {p}), p);
    }
    std::stable_sort(ranked.begin(), ranked.end(),
                     [](const auto& x, const auto& y) { return x.first < y.first; });
    for (int k = 0; k < a->candidates && k < static_cast<int>(ranked.size()); ++k)
      out[static_cast<size_t>(c)].push_back(ranked[static_cast<size_t>(k)].second);
  }
  return out;
}

// The first single move the search was allowed to make that lowers the total score, or ""
// when the graph is a local optimum of the search's own neighbourhood.
std::string improving_move(const VLK_AlgoArgs* a, const VLK_Graph* g, int version) {
  const Lists L = lists_of(g);
  const int n = static_cast<int>(L.size());
  VLK_GreedyArgs* ga = VLK_GreedyArgs_parse(a->options);
  const int rev = version == 1 ? ga->rev : 1;
  VLK_GreedyArgs_delete(ga);
  const Lists cands = expected_candidates(a, version);
  for (int c = 0; c < n; ++c) {
    const std::vector<int>& own = L[static_cast<size_t>(c)];
    const double now = call_score(a, c, own);
    for (size_t k = 0; k < own.size(); ++k) {
      const int p = own[k];
      if (fixed_edge(a, p, c)) continue;
      std::vector<int> s1 = own;
      s1.erase(s1.begin() + static_cast<long>(k));
      const double v1 = call_score(a, c, s1);
      if (v1 - now < 0) return "remove " + std::to_string(p) + " -> " + std::to_string(c);
      const std::vector<int>& of_p = L[static_cast<size_t>(p)];
      if (rev == 0 || p == c || static_cast<int>(of_p.size()) >= a->max_parents ||
          !pair_ok(a, version, c, p))
        continue;
      Lists m = L;
      m[static_cast<size_t>(c)] = s1;
      m[static_cast<size_t>(p)].push_back(c);
      if (a->dynamic != 0 ? contains(of_p, c) : !acyclic(m)) continue;
      const double d =
          (v1 - now) + (call_score(a, p, m[static_cast<size_t>(p)]) - call_score(a, p, of_p));
      if (d < 0) return "reverse " + std::to_string(p) + " -> " + std::to_string(c);
    }
    for (int x : cands[static_cast<size_t>(c)]) {
      if (contains(own, x) || static_cast<int>(own.size()) >= a->max_parents ||
          !pair_ok(a, version, x, c))
        continue;
      Lists m = L;
      m[static_cast<size_t>(c)].push_back(x);
      if (a->dynamic == 0 && !acyclic(m)) continue;
      if (call_score(a, c, m[static_cast<size_t>(c)]) - now < 0)
        return "add " + std::to_string(x) + " -> " + std::to_string(c);
    }
  }
  return "";
}

double result_score(const VLK_AlgoArgs* a) {
  return VLK_KeyValues_get_double(a->results, "score", std::nan(""));
}

// Everything a returned graph must satisfy, whatever the score.
::testing::AssertionResult sound_result(const VLK_AlgoArgs* a, const VLK_Graph* g, int version) {
  if (g == nullptr) return ::testing::AssertionFailure() << "no graph";
  const Lists L = lists_of(g);
  if (a->dynamic == 0 && !acyclic(L)) return ::testing::AssertionFailure() << "cycle";
  double total = 0.0;
  for (int c = 0; c < static_cast<int>(L.size()); ++c) {
    const auto& own = L[static_cast<size_t>(c)];
    int fixed_count = 0;
    for (size_t k = 0; k < own.size(); ++k) {
      const int p = own[k];
      if (std::count(own.begin(), own.end(), p) != 1)
        return ::testing::AssertionFailure() << "repeated parent " << p << " of " << c;
      if (p == c && a->selfloop == 0) return ::testing::AssertionFailure() << "self loop " << c;
      if (fixed_edge(a, p, c)) {
        ++fixed_count;
        continue;
      }
      if (!pair_ok(a, version, p, c))
        return ::testing::AssertionFailure() << "forbidden edge " << p << " -> " << c;
    }
    for (int p = 0; p < static_cast<int>(L.size()); ++p)
      if (fixed_edge(a, p, c) && !contains(own, p))
        return ::testing::AssertionFailure() << "fixed edge lost " << p << " -> " << c;
    if (static_cast<int>(own.size()) > std::max(a->max_parents, fixed_count))
      return ::testing::AssertionFailure() << "too many parents of " << c;
    total += call_score(a, c, own);
  }
  const std::string move = improving_move(a, g, version);
  if (!move.empty()) return ::testing::AssertionFailure() << "not a local optimum: " << move;
  const double best = result_score(a);
  if (std::fabs(best - total) > 1e-9 * std::max(1.0, std::fabs(total)))
    return ::testing::AssertionFailure()
           << "best score " << best << " but the graph scores " << total;
  return ::testing::AssertionSuccess();
}

VLK_Graph* run(VLK_AlgoArgs* a, int version, std::string* err) {
  vlk_test::CaptureErr capture;
  VLK_Graph* g = version == 1 ? VLK_Greedy_exec(a) : VLK_Greedy_exec2(a);
  if (err != nullptr) *err = capture.text();
  return g;
}

// A score given by a table of (child, parent set) entries; a set not in the table scores
// per_parent per parent. It also records whether each call came while the cache was off.
struct Scripted {
  std::map<std::pair<int, std::vector<int>>, double> table;
  double per_parent = 1.0;
  int cache_on = 1;
  std::atomic<long> calls_cache_off{0};
  std::atomic<long> calls_cache_on{0};
  std::atomic<long> cache_switches{0};
};

double scripted_score(void* state, int child, int* parents, int q) {
  auto* s = static_cast<Scripted*>(state);
  (s->cache_on != 0 ? s->calls_cache_on : s->calls_cache_off).fetch_add(1);
  std::vector<int> key(parents, parents + q);
  std::sort(key.begin(), key.end());
  const auto it = s->table.find({child, key});
  return it != s->table.end() ? it->second : s->per_parent * q;
}

void scripted_finalize(void* state) { delete static_cast<Scripted*>(state); }

void scripted_cache(void* state, int on) {
  auto* s = static_cast<Scripted*>(state);
  s->cache_on = on;
  s->cache_switches.fetch_add(1);
}

VLK_Score* scripted_record(Scripted* state) {
  auto* r = static_cast<VLK_Score*>(std::calloc(1, sizeof(VLK_Score)));
  r->name = "Scripted";
  r->score = scripted_score;
  r->finalize = scripted_finalize;
  r->cache = scripted_cache;
  r->status = VLK_Score_default_status;
  r->state = state;
  return r;
}

VLK_Score* scripted_score_record(std::map<std::pair<int, std::vector<int>>, double> table,
                                 double per_parent) {
  auto* state = new Scripted;
  state->table = std::move(table);
  state->per_parent = per_parent;
  return scripted_record(state);
}

long scripted_calls(const VLK_Score* score, bool cache_on) {
  const auto* s = static_cast<const Scripted*>(score->state);
  return (cache_on ? s->calls_cache_on : s->calls_cache_off).load();
}

long scripted_switches(const VLK_Score* score) {
  return static_cast<const Scripted*>(score->state)->cache_switches.load();
}

// The tie table: node 0 has parent 1; removing it and adding 2 both lower the score of 0 by
// exactly 1; every other change costs.
VLK_Score* tie_score() {
  return scripted_score_record({{{0, {1}}, 0.0},
                                {{0, {}}, -1.0},
                                {{0, {1, 2}}, -1.0},
                                {{1, {}}, 0.0},
                                {{1, {0}}, 5.0},
                                {{2, {}}, 0.0}},
                               1.0);
}

void delete_score(VLK_Score* score) {
  if (score == nullptr) return;
  if (score->finalize != nullptr) score->finalize(score->state);
  std::free(score);
}

// Candidate lists as the search keeps them: `width` entries per node, -1 filled; released
// with VLK_Greedy_free_candidates.
int** candidate_lists(const Lists& lists, int width) {
  auto** out = static_cast<int**>(std::calloc(lists.size(), sizeof(int*)));
  for (size_t c = 0; c < lists.size(); ++c) {
    out[c] = static_cast<int*>(std::malloc(static_cast<size_t>(std::max(width, 1)) * sizeof(int)));
    std::fill_n(out[c], std::max(width, 1), -1);
    std::copy(lists[c].begin(), lists[c].end(), out[c]);
  }
  return out;
}

}  // namespace greedy_testing

void greedy_testing::expect_finds_planted_dag(int version) {
  struct Case {
    int p, indegree, max_parents;
    std::uint64_t seed;
  };
  for (const Case& k : {Case{12, 2, 10, 3}, Case{30, 3, 10, 11}, Case{25, 3, 1, 5}}) {
    SCOPED_TRACE(testing::Message() << "p=" << k.p << " max_parents=" << k.max_parents);
    const Lists truth = vlk_test::random_dag(k.p, k.indegree, k.seed);
    vlk_test::TestScoreConfig cfg = planted(truth);
    cfg.max_parents = k.max_parents;
    SearchPtr a(new_test_search(k.p, cfg, "trials=2", true));
    a->max_parents = k.max_parents;
    vlk::greedy::GraphPtr g(run(a.get(), version, nullptr));
    ASSERT_NE(g, nullptr);
    Lists expect = truth;
    for (auto& l : expect) l.resize(std::min<size_t>(l.size(), k.max_parents));
    EXPECT_EQ(sorted(lists_of(g.get())), expect);
    EXPECT_TRUE(sound_result(a.get(), g.get(), version));
    EXPECT_EQ(test_state(a.get()).bad_calls.load(), 0u);
  }
}

namespace {

using namespace greedy_testing;
using vlk_test::TestScoreConfig;
using vlk_test::TestScoreMode;

using vlk::greedy::GraphPtr;

// ---- What the search finds -------------------------------------------------------------

// With max_parents below the in-degree the equal gains are taken in candidate order: the
// lowest-index true parents.
TEST(GreedyV1, FindsThePlantedDag) { expect_finds_planted_dag(1); }

// A random table has no known optimum; the result must still obey every constraint and be a
// local optimum of the moves the search may make.
TEST(GreedyV1, RandomScoresEndInAConstrainedLocalOptimum) {
  struct Case {
    const char* name;
    int p, candidates, max_parents;
    const char* options;
    bool excluded, fixed, dynamic, selfloop;
    std::uint64_t seed;
  };
  const Case cases[] = {
      {"plain", 20, 10, 10, "trials=3", false, false, false, false, 1},
      {"few candidates, one parent", 25, 3, 1, "trials=2", false, false, false, false, 2},
      {"excluded and fixed", 20, 6, 3, "trials=2", true, true, false, false, 3},
      {"reversals off", 20, 5, 3, "trials=2,rev=off", false, true, false, false, 4},
      {"dynamic with self loops", 15, 15, 3, "trials=2", false, false, true, true, 5},
      {"dynamic", 15, 4, 2, "t=2", true, false, true, false, 6},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    TestScoreConfig cfg;
    cfg.mode = TestScoreMode::random;
    cfg.seed = k.seed;
    cfg.max_parents = k.max_parents;
    cfg.allow_self = k.selfloop;
    SearchPtr a(new_test_search(k.p, cfg, k.options, true));
    a->candidates = k.candidates;
    a->max_parents = k.max_parents;
    a->dynamic = k.dynamic;
    a->selfloop = k.selfloop;
    if (k.excluded) {
      a->excluded = VLK_Graph_new(k.p);
      for (int i = 0; i < k.p; ++i) {
        VLK_Graph_add_edge(a->excluded, (i + 1) % k.p, i);
        VLK_Graph_add_edge(a->excluded, i, (i + 2) % k.p);
      }
    }
    if (k.fixed) {
      VLK_Graph* f = VLK_Graph_new(k.p);
      for (int i = 0; i + 5 < k.p; i += 4) VLK_Graph_add_edge(f, i, i + 5);
      a->fixed = f;
    }
    GraphPtr g(run(a.get(), 1, nullptr));
    EXPECT_EQ(test_state(a.get()).bad_calls.load(), 0u);
    EXPECT_TRUE(sound_result(a.get(), g.get(), 1));
    EXPECT_GT(VLK_Graph_num_edges(g.get()), 0u);
  }
}

// The same record searched twice gives the same graph: trials differ only through the
// child orders of the random-number record, which is reseeded here.
TEST(GreedyV1, ResultFollowsTheRandomNumberRecord) {
  TestScoreConfig cfg;
  cfg.mode = TestScoreMode::random;
  cfg.seed = 9;
  SearchPtr a(new_test_search(18, cfg, "trials=1", false));
  Lists first;
  for (int round = 0; round < 2; ++round) {
    VLK_RNG_set_seed(a->rng, 77);
    GraphPtr g(run(a.get(), 1, nullptr));
    if (round == 0)
      first = lists_of(g.get());
    else
      EXPECT_EQ(lists_of(g.get()), first);
  }
}

// ---- Move order and the rules of one pass -----------------------------------------------

// Removal and addition lower the score of node 0 by the same amount. Version 1 evaluates
// parent moves first and keeps the first of equal deltas: the removal wins.
TEST(GreedyV1, EqualDeltasKeepTheRemovalBeforeTheAddition) {
  for (bool parent_is_candidate : {false, true}) {
    VLK_Score* score = tie_score();
    GraphPtr g(graph_of({{1}, {}, {}}));
    int** cands = candidate_lists(
        {parent_is_candidate ? std::vector<int>{1, 2} : std::vector<int>{2}, {0, 2}, {0, 1}}, 2);
    double ns[3];
    vlk::greedy::node_scores(g.get(), score, ns);
    VLK_IntArray* tmp = VLK_IntArray_new_ar(2, 3);
    VLK_RNG* rng = VLK_RNG_new();
    const int changed = VLK_Greedy_one(3, cands, 2, g.get(), 0, 10, tmp, nullptr, nullptr, score,
                                       ns, 1, rng, nullptr);
    EXPECT_EQ(changed, 1);
    EXPECT_EQ(lists_of(g.get()), (Lists{{}, {}, {}}));
    EXPECT_EQ(ns[0], -1.0);
    VLK_RNG_delete(rng);
    VLK_IntArray_delete_ar(tmp, 2);
    VLK_Greedy_free_candidates(cands, 3);
    delete_score(score);
  }
}

// The edge 1 -> 0 runs against the planted 0 -> 1: reversing it beats removing it, unless
// reversals are off. No candidates, so nothing else can happen.
TEST(GreedyV1, ReversalIsTakenOnlyWhenSwitchedOn) {
  for (int rev : {1, 0}) {
    TestScoreConfig cfg = planted({{}, {0}});
    cfg.nodes = 2;
    VLK_Score* score = vlk_test::test_score_new(cfg);
    GraphPtr g(graph_of({{1}, {}}));
    int** cands = candidate_lists({{}, {}}, 0);
    double ns[2];
    vlk::greedy::node_scores(g.get(), score, ns);
    VLK_IntArray* tmp = VLK_IntArray_new_ar(2, 2);
    VLK_RNG* rng = VLK_RNG_new();
    VLK_Greedy_one(2, cands, 0, g.get(), 0, 10, tmp, nullptr, nullptr, score, ns, rev, rng,
                   nullptr);
    EXPECT_EQ(lists_of(g.get()), rev ? (Lists{{}, {0}}) : (Lists{{}, {}})) << "rev " << rev;
    EXPECT_EQ(ns[0], 0.0);
    EXPECT_EQ(ns[1], rev ? -4.0 : 0.0);
    VLK_RNG_delete(rng);
    VLK_IntArray_delete_ar(tmp, 2);
    VLK_Greedy_free_candidates(cands, 2);
    vlk_test::test_score_delete(score);
  }
}

// In dynamic mode 0 -> 1 and 1 -> 0 may both exist, and a reversal onto an existing edge is
// refused (it would list 0 twice among the parents of 1, a set the table makes look best).
TEST(GreedyV1, DynamicModeRefusesAReversalOntoAnExistingEdge) {
  VLK_Score* score = scripted_score_record(
      {{{0, {1}}, 0.0}, {{0, {}}, -1.0}, {{1, {0}}, 0.0}, {{1, {}}, 0.0}, {{1, {0, 0}}, -10.0}},
      1.0);
  GraphPtr g(graph_of({{1}, {0}}));
  int** cands = candidate_lists({{}, {}}, 0);
  double ns[2];
  vlk::greedy::node_scores(g.get(), score, ns);
  VLK_IntArray* tmp = VLK_IntArray_new_ar(2, 2);
  VLK_RNG* rng = VLK_RNG_new();
  VLK_Greedy_one(2, cands, 0, g.get(), 1, 10, tmp, nullptr, nullptr, score, ns, 1, rng, nullptr);
  EXPECT_EQ(lists_of(g.get()), (Lists{{}, {0}}));
  VLK_RNG_delete(rng);
  VLK_IntArray_delete_ar(tmp, 2);
  VLK_Greedy_free_candidates(cands, 2);
  delete_score(score);
}

// Each of 0 -> 1 and 1 -> 0 helps on its own; only dynamic mode may keep both (a cycle).
TEST(GreedyV1, OnlyDynamicModeClosesCycles) {
  for (int dynamic : {0, 1}) {
    SearchPtr a(new_search(make_data(2, 3, true),
                           scripted_score_record({{{0, {1}}, -1.0}, {{1, {0}}, -1.0}}, 1.0),
                           "trials=1"));
    a->dynamic = dynamic;
    GraphPtr g(run(a.get(), 1, nullptr));
    EXPECT_EQ(VLK_Graph_num_edges(g.get()), dynamic ? 2u : 1u);
    EXPECT_EQ(a->candidates, dynamic ? 2 : 1);
    EXPECT_EQ(result_score(a.get()), dynamic ? -2.0 : -1.0);
  }
}

// With every set scoring the same, no delta is below 0: nothing moves, the climb stops after
// its first pass and returns the score of the start graph (here the fixed graph).
TEST(GreedyV1, ZeroDeltasNeverMove) {
  TestScoreConfig cfg;
  cfg.mode = TestScoreMode::tie;
  cfg.step = 0.0;
  cfg.base = 1.5;
  SearchPtr a(new_test_search(6, cfg, "trials=2", true));
  a->verbosity = 1;
  a->fixed = graph_of({{}, {0}, {}, {}, {1}, {}});
  std::string err;
  GraphPtr g(run(a.get(), 1, &err));
  EXPECT_EQ(lists_of(g.get()), (Lists{{}, {0}, {}, {}, {1}, {}}));
  EXPECT_EQ(result_score(a.get()), 9.0);
  EXPECT_EQ(err.find("Greedy:   Loop"), std::string::npos);
}

// With equal 1-to-1 scores the lower parent index ranks first; DBL_MAX entries become -1 at
// the tail; only a strictly greater score moves back, so a NaN stays where it is.
TEST(GreedyV1, CandidatesRankByScoreThenIndex) {
  const double M = DBL_MAX, N = std::nan("");
  const double table[] = {M, 2, 1, 2,  //
                          3, M, M, 3,  //
                          N, 5, M, 4,  //
                          M, M, M, M};
  SearchPtr a(new_search(make_data(4, 1, false), nullptr, nullptr));
  a->candidates = 3;
  int** lists = VLK_Greedy_candidates(table, a.get());
  ASSERT_NE(lists, nullptr);
  const Lists expect = {{2, 1, 3}, {0, 3, -1}, {0, 3, 1}, {-1, -1, -1}};
  for (int c = 0; c < 4; ++c)
    EXPECT_EQ(std::vector<int>(lists[c], lists[c] + 3), expect[static_cast<size_t>(c)]) << c;
  VLK_Greedy_free_candidates(lists, 4);
}

// ---- Limits and edge cases of the whole search ------------------------------------------

TEST(GreedyV1, OneNodeHasNoMove) {
  TestScoreConfig cfg = planted({{}});
  cfg.base = 2.5;
  SearchPtr a(new_test_search(1, cfg, nullptr, true));
  GraphPtr g(run(a.get(), 1, nullptr));
  ASSERT_NE(g, nullptr);
  EXPECT_EQ(a->candidates, 0);
  EXPECT_EQ(VLK_Graph_num_edges(g.get()), 0u);
  EXPECT_EQ(result_score(a.get()), 2.5);
}

// Every pair excluded: no candidate at all, the result is the fixed graph, and the climb
// ends after its first pass.
TEST(GreedyV1, EverythingExcludedLeavesTheFixedGraph) {
  const int p = 5;
  const Lists truth = vlk_test::random_dag(p, 2, 4);
  SearchPtr a(new_test_search(p, planted(truth), "trials=1", true));
  a->excluded = VLK_Graph_new(p);
  for (int c = 0; c < p; ++c)
    for (int q = 0; q < p; ++q) VLK_Graph_add_edge(a->excluded, q, c);
  a->fixed = graph_of({{}, {}, {0}, {}, {2}});
  a->verbosity = 1;
  std::string err;
  GraphPtr g(run(a.get(), 1, &err));
  EXPECT_EQ(lists_of(g.get()), (Lists{{}, {}, {0}, {}, {2}}));
  EXPECT_EQ(err.find("  1 : "), std::string::npos) << "a candidate was listed";
  EXPECT_EQ(err.find("Greedy:   Loop"), std::string::npos);
  EXPECT_TRUE(sound_result(a.get(), g.get(), 1));
}

// Fixed edges start every trial, are never removed or reversed, and count in the score, even
// one that the score penalises and one that runs against a planted edge.
TEST(GreedyV1, FixedEdgesStayAndCount) {
  const Lists truth = {{}, {0}, {0, 1}, {2}};
  TestScoreConfig cfg = planted(truth);
  SearchPtr a(new_test_search(4, cfg, "trials=2", true));
  a->fixed = graph_of({{}, {}, {3}, {}});  // 3 -> 2 runs against 2 -> 3
  GraphPtr g(run(a.get(), 1, nullptr));
  const Lists L = sorted(lists_of(g.get()));
  EXPECT_TRUE(contains(L[2], 3));
  EXPECT_FALSE(contains(L[3], 2));  // would close a cycle with the fixed edge
  EXPECT_EQ(L[1], (std::vector<int>{0}));
  EXPECT_EQ(L[2], (std::vector<int>{0, 1, 3}));
  EXPECT_EQ(result_score(a.get()), -4.0 - 8.0 + 1.0);
  EXPECT_TRUE(sound_result(a.get(), g.get(), 1));
}

// max_loops 0 allows one pass, max_loops 1 two: one move per child and pass. The limit
// message needs verbosity 1.
TEST(GreedyV1, MaxLoopsBoundsThePasses) {
  const Lists truth = vlk_test::random_dag(15, 3, 8);
  for (int max_loops : {0, 1})
    for (int verbosity : {0, 1}) {
      const std::string opts = "trials=1,max_loops=" + std::to_string(max_loops);
      SearchPtr a(new_test_search(15, planted(truth), opts.c_str(), true));
      a->verbosity = verbosity;
      std::string err;
      GraphPtr g(run(a.get(), 1, &err));
      size_t most = 0;
      for (const auto& l : lists_of(g.get())) most = std::max(most, l.size());
      EXPECT_EQ(most, static_cast<size_t>(max_loops) + 1);
      EXPECT_EQ(err.find("Greedy: Reached the maximum loop limit.\n") != std::string::npos,
                verbosity == 1);
    }
}

// Equal trial scores keep the earliest trial: every trial here ends in a spanning tree of
// equal score, and more trials from the same seed keep the graph of the first.
TEST(GreedyV1, EqualTrialsKeepTheFirst) {
  TestScoreConfig cfg;
  cfg.mode = TestScoreMode::tie;
  Lists first;
  for (const char* opts : {"trials=1", "trials=4"}) {
    SearchPtr a(new_test_search(9, cfg, opts, false));
    a->max_parents = 1;
    VLK_RNG_set_seed(a->rng, 31);
    GraphPtr g(run(a.get(), 1, nullptr));
    EXPECT_EQ(VLK_Graph_num_edges(g.get()), 8u);
    if (first.empty())
      first = lists_of(g.get());
    else
      EXPECT_EQ(lists_of(g.get()), first);
  }
}

// An excluded pair is never added, even when a candidate list offers it, and never the
// result of a reversal (here the reversal of 1 -> 0 into the planted 0 -> 1).
TEST(GreedyV1, ExcludedPairsAreNeverMadeEdges) {
  struct Case {
    const char* name;
    Lists start, cands;
    bool exclude;
    Lists expect;
  };
  const Case cases[] = {
      {"addition allowed", {{}, {}}, {{}, {0}}, false, {{}, {0}}},
      {"addition excluded", {{}, {}}, {{}, {0}}, true, {{}, {}}},
      {"reversal excluded", {{1}, {}}, {{}, {}}, true, {{}, {}}},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    TestScoreConfig cfg = planted({{}, {0}});
    cfg.nodes = 2;
    VLK_Score* score = vlk_test::test_score_new(cfg);
    GraphPtr g(graph_of(k.start));
    GraphPtr excluded(k.exclude ? graph_of({{}, {0}}) : nullptr);
    int** cands = candidate_lists(k.cands, 1);
    double ns[2];
    vlk::greedy::node_scores(g.get(), score, ns);
    VLK_IntArray* tmp = VLK_IntArray_new_ar(2, 2);
    VLK_RNG* rng = VLK_RNG_new();
    VLK_Greedy_one(2, cands, 1, g.get(), 0, 10, tmp, excluded.get(), nullptr, score, ns, 1, rng,
                   nullptr);
    EXPECT_EQ(lists_of(g.get()), k.expect);
    VLK_RNG_delete(rng);
    VLK_IntArray_delete_ar(tmp, 2);
    VLK_Greedy_free_candidates(cands, 2);
    vlk_test::test_score_delete(score);
  }
}

TEST(GreedyV1, NoTrialGivesTheEmptyGraphAndTheLargestScore) {
  SearchPtr a(new_test_search(4, planted({{}, {0}, {1}, {2}}), "trials=0", true));
  GraphPtr g(run(a.get(), 1, nullptr));
  ASSERT_NE(g, nullptr);
  EXPECT_EQ(VLK_Graph_num_edges(g.get()), 0u);
  EXPECT_EQ(result_score(a.get()), DBL_MAX);
}

// Only the nodes named in the parent file may become parents; names the data set lacks are
// skipped. The table then scores only those columns.
TEST(GreedyV1, ParentFileRestrictsTheParents) {
  vlk_test::TempFile file("g1\ng3\nnobody\n");
  const std::string opts = "trials=1,parent=" + file.path();
  const Lists truth = {{}, {0}, {1}, {1, 2}, {3}, {0, 3}};
  SearchPtr a(new_test_search(6, planted(truth), opts.c_str(), true));
  std::string err;
  GraphPtr g(run(a.get(), 1, &err));
  EXPECT_NE(err.find("Greedy:   reading parent candidates.\n"), std::string::npos);
  EXPECT_NE(err.find("Greedy:     # of parents = 2\n"), std::string::npos);
  EXPECT_NE(err.find("Greedy: Calculating 1-to-1 scores with candidates:   done\n"),
            std::string::npos);
  EXPECT_EQ(sorted(lists_of(g.get())), (Lists{{}, {}, {1}, {1}, {3}, {3}}));
}

TEST(GreedyV1, UnreadableParentFileEndsTheRun) {
  SearchPtr a(new_test_search(3, planted({{}, {0}, {1}}), "parent=/nonexistent/parents.txt", true));
  a->verbosity = -1;
  EXPECT_FATAL_EXIT(VLK_Greedy_exec(a.get()),
                    "Greedy:   reading parent candidates.\n"
                    "ERROR: cannot open file: /nonexistent/parents.txt\n"
                    "ERROR: Greedy: cannot read the parent candidates: "
                    "/nonexistent/parents.txt\n");
}

TEST(GreedyV1, SkeletonIsRefused) {
  SearchPtr a(new_test_search(3, planted({{}, {0}, {1}}), nullptr, true));
  a->skeleton = VLK_Graph_new(3);
  EXPECT_FATAL_EXIT(VLK_Greedy_exec(a.get()),
                    "Greedy: Starting the greedy hill-climbing algorithm.\n"
                    "ERROR: Greedy: Skeleton specified but not supported.\n");
}

// ---- The 1-to-1 table ---------------------------------------------------------------------

// Every pair is scored once by the threads together: the count printed and the score's own
// call counter agree, with 8 threads working.
TEST(GreedyV1, OneToOneTableCountsEveryScore) {
  Threads threads(8);
  const int p = 250;
  TestScoreConfig cfg;
  cfg.mode = TestScoreMode::random;
  cfg.nodes = p;
  VLK_Score* score = vlk_test::test_score_new(cfg);
  vlk_test::CaptureErr capture;
  double* table =
      VLK_Greedy_one_to_one(score->score, score->state, p, 4, 0, nullptr, nullptr, nullptr, 1, 8);
  const std::string err = capture.text();
  ASSERT_NE(table, nullptr);
  const auto& ts = *vlk_test::test_score_state(score);
  EXPECT_EQ(ts.calls.load(), static_cast<std::uint64_t>(p) * (p - 1));
  EXPECT_GT(__builtin_popcountll(ts.thread_mask.load()), 1);
  const std::string head = "Greedy: Calculating 1-to-1 scores: ";
  ASSERT_EQ(err.rfind(head, 0), 0u);
  const std::string marks = err.substr(head.size(), err.find("  done\n") - head.size());
  EXPECT_EQ(std::count(marks.begin(), marks.end(), '-'), 25) << marks;
  EXPECT_NE(marks.find("[100]"), std::string::npos);
  EXPECT_NE(marks.find("[200]"), std::string::npos);
  EXPECT_NE(err.find("  done\nGreedy: Finished calculation of 62,250 1-to-1 scores in "),
            std::string::npos);
  EXPECT_NE(err.find("OTO-RATE\t"), std::string::npos);
  EXPECT_NE(err.find("\t[scores/second*sample]\n"), std::string::npos);
  for (int c : {0, 17, 249})
    for (int q : {3, 100, 248}) {
      const double expect = c == q ? DBL_MAX : ts.value(c, &q, 1);
      EXPECT_EQ(table[static_cast<size_t>(c) * p + static_cast<size_t>(q)], expect);
    }
  std::free(table);
  vlk_test::test_score_delete(score);
}

TEST(GreedyV1, OneToOneTablesRefuseExcludedFixedAndSelfPairs) {
  const int p = 5;
  TestScoreConfig cfg;
  cfg.mode = TestScoreMode::random;
  cfg.nodes = p;
  cfg.allow_self = true;
  VLK_Score* score = vlk_test::test_score_new(cfg);
  GraphPtr excluded(graph_of({{}, {0}, {}, {}, {}}));  // 0 -> 1
  GraphPtr fixed(graph_of({{}, {}, {}, {2}, {}}));     // 2 -> 3
  VLK_IntArray* set = VLK_IntArray_new();
  VLK_IntArray_add(set, 3);
  VLK_IntArray_add(set, 0);
  vlk_test::CaptureErr capture;
  for (int selfloop : {0, 1}) {
    double* all = VLK_Greedy_one_to_one(score->score, score->state, p, 1, selfloop, excluded.get(),
                                        fixed.get(), nullptr, -1);
    double* some = VLK_Greedy_one_to_one_cands(score->score, score->state, p, 1, selfloop,
                                               excluded.get(), fixed.get(), set, -1);
    for (int c = 0; c < p; ++c)
      for (int q = 0; q < p; ++q) {
        const bool refused = (c == q && !selfloop) || (q == 0 && c == 1) || (q == 2 && c == 3);
        const double value = vlk_test::test_score_state(score)->value(c, &q, 1);
        const size_t at = static_cast<size_t>(c) * p + static_cast<size_t>(q);
        EXPECT_EQ(all[at], refused ? DBL_MAX : value) << c << " " << q;
        EXPECT_EQ(some[at], refused || (q != 3 && q != 0) ? DBL_MAX : value) << c << " " << q;
      }
    std::free(all);
    std::free(some);
  }
  EXPECT_EQ(capture.text(), "");  // verbosity -1 keeps both tables quiet
  VLK_IntArray_delete(set);
  vlk_test::test_score_delete(score);
}

// The cache is off for the 1-to-1 table (one-parent sets, each scored once) and on for the
// climbs.
TEST(GreedyV1, CacheIsOffOnlyForTheOneToOneTable) {
  SearchPtr a(new_search(make_data(7, 2, true), scripted_score_record({}, 1.0), "trials=2"));
  GraphPtr g(run(a.get(), 1, nullptr));
  EXPECT_EQ(scripted_calls(a->score, false), 7 * 6);
  EXPECT_GT(scripted_calls(a->score, true), 0);
  EXPECT_EQ(scripted_switches(a->score), 2);
}

// ---- Messages and results ----------------------------------------------------------------

TEST(GreedyV1, MessagesAtVerbosityZero) {
  SearchPtr a(new_test_search(4, planted({{}, {0}, {0}, {1}}), "trials=2", true));
  std::string err;
  GraphPtr g(run(a.get(), 1, &err));
  EXPECT_EQ(err,
            "Greedy: Starting the greedy hill-climbing algorithm.\n"
            "Greedy: Candidates = 10, Max Parents = 10, Trials = 2\n"
            "Greedy: Calculating 1-to-1 scores:   done\n"
            "Greedy: Trial 1. Reached local optimal (score = -12.000000).\n"
            "Greedy: Trial 2. Reached local optimal (score = -12.000000).\n"
            "Greedy: Finished. Best score = -12.000000\n"
            "X-BESTSCORE\t-12.000000\n");
  EXPECT_EQ(a->candidates, 3);
  EXPECT_EQ(VLK_KeyValues_size(a->results), 1u);
  EXPECT_EQ(result_score(a.get()), -12.0);
}

TEST(GreedyV1, MessagesAtVerbosityOne) {
  SearchPtr a(new_test_search(4, planted({{}, {0}, {0}, {1}}), "trials=1", true));
  a->verbosity = 1;
  std::string err;
  GraphPtr g(run(a.get(), 1, &err));
  for (const char* part : {
           "Greedy: Finished calculation of 12 1-to-1 scores in ",
           "Greedy: Calculating parent candidates. [candidates = 3]\n",
           "== 1 (g1) ==\n  1 : 0 (-4.000000)\n  2 : 2 (1.000000)\n  3 : 3 (1.000000)\n\n",
           "Greedy: 121 finished at ",
           "Greedy: Trail  1 --------------------------------\n",
           "Greedy:   Loop  1  (   3) : score = -12.000\n",
           "Greedy: Trial 1. Reached local optimal (score = -12.000000).\nTestScore: ",
           "\nTime: ",
       })
    EXPECT_NE(err.find(part), std::string::npos) << part;
  EXPECT_EQ(vlk_test::test_score_state(a->score)->status_calls.load(), 1u);
}

// "v" replaces the verbosity for this and later searches; "fast" is announced at any level.
TEST(GreedyV1, VerbosityOptionAndFastFlag) {
  SearchPtr a(new_test_search(3, planted({{}, {0}, {1}}), "trials=1,fast,v=-1", true));
  std::string err;
  GraphPtr g(run(a.get(), 1, &err));
  EXPECT_EQ(err,
            "Greedy: Starting the greedy hill-climbing algorithm.\n"
            "Greedy:   fast mode enabled.\n"
            "Greedy: Candidates = 10, Max Parents = 10, Trials = 1\n");
  EXPECT_EQ(a->verbosity, -1);
}

// A nucleus data set may carry no names: the verbose listings print empty names.
TEST(GreedyV1, VerboseSearchWithoutNodeNames) {
  SearchPtr a(new_test_search(3, planted({{}, {0}, {1}}), "trials=1", false));
  a->verbosity = 1;
  std::string err;
  GraphPtr g(run(a.get(), 1, &err));
  ASSERT_NE(g, nullptr);
  EXPECT_NE(err.find("== 2 () ==\n"), std::string::npos);
  VLK_Network* net = VLK_Greedy_gen_network(g.get(), a->data);
  ASSERT_NE(net, nullptr);
  EXPECT_EQ(VLK_Network_num_nodes(net), 3u);
  EXPECT_EQ(VLK_Network_num_edges(net), 2u);
  VLK_Network_delete(net);
}

TEST(GreedyV1, TimerIsCreatedAndStopped) {
  SearchPtr a(new_test_search(5, planted({{}, {0}, {1}, {2}, {3}}), "trials=1", true));
  GraphPtr g(run(a.get(), 1, nullptr));
  ASSERT_NE(a->timer, nullptr);
  EXPECT_EQ(a->timer->n, 6u);
  EXPECT_STREQ(a->timer->labels[2], "Greedy OTO parallel");
  EXPECT_EQ(a->timer->current, -1);
}

// ---- The annotated network -----------------------------------------------------------------

TEST(GreedyV1, GenNetworkKeepsNamesAndEdgeOrder) {
  VLK_Data* d = make_data(4, 1, true);
  GraphPtr g(graph_of({{}, {2, 0}, {}, {1}}));
  VLK_Network* net = VLK_Greedy_gen_network(g.get(), d);
  ASSERT_NE(net, nullptr);
  ASSERT_EQ(VLK_Network_num_nodes(net), 4u);
  for (int i = 0; i < 4; ++i) {
    EXPECT_STREQ(VLK_Network_node_name(net, i), ("g" + std::to_string(i)).c_str());
    EXPECT_STREQ(VLK_Network_node_alias(net, i), ("a" + std::to_string(i)).c_str());
  }
  ASSERT_EQ(VLK_Network_num_edges(net), 3u);
  const std::pair<int, int> order[] = {{2, 1}, {0, 1}, {1, 3}};
  for (int k = 0; k < 3; ++k) {
    EXPECT_EQ(VLK_Network_get_edge(net, k),
              VLK_Network_get_edge_index(net, order[k].first, order[k].second))
        << k;
  }
  VLK_Network_delete(net);
  EXPECT_EQ(VLK_Greedy_gen_network(nullptr, d), nullptr);
  GraphPtr other(VLK_Graph_new(3));
  {
    vlk_test::CaptureErr capture;
    EXPECT_EQ(VLK_Greedy_gen_network(other.get(), d), nullptr);
    EXPECT_EQ(capture.text(), "ERROR: Greedy: the graph has 3 nodes, the data set 4.\n");
  }
  VLK_Data_delete(d);
}

TEST(GreedyV1, CalcScoreSums) {
  const double s[] = {1.5, -2.0, 4.0};
  EXPECT_EQ(VLK_Greedy_calc_score(s, 3), 3.5);
  EXPECT_EQ(VLK_Greedy_calc_score(s, 0), 0.0);
  EXPECT_EQ(VLK_Greedy_calc_score(s, -1), 0.0);
}

}  // namespace
