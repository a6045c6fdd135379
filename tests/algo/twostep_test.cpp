// Two-step hill climbing on small simulated nuclei under the BNRC score: the edges each step may
// find, what the call gives back to its caller, the timer sections a run shares, the options
// of step 2 and the refusals.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "TwoStepHC.h"
#include "VLK_AdjGraph.h"
#include "VLK_BNRC.h"
#include "VLK_Greedy.h"
#include "VLK_ScoreCache3.h"
#include "graph_testing.h"
#include "simulated_data.h"
#include "test_score.h"
#include "vlk_owned.h"
#include "vlk_test.h"

namespace {

using Edge = std::pair<int, int>;  // parent, child
using Edges = vlk_test::Pairs;
using vlk_test::graph_edges;

bool has(const Edges& e, Edge x) { return std::find(e.begin(), e.end(), x) != e.end(); }

std::string names_file(const std::vector<int>& nodes) {
  std::string text;
  for (int v : nodes) text += "g" + std::to_string(v) + "\n";
  return text;
}

// One nucleus searched the way the program does it: a fresh step-1 module per call, installed
// in the search arguments with the score arguments' parent limit, and the step-2 module
// released after the call.
struct TwoStep {
  vlk::Owned<VLK_Data, VLK_Data_delete> data;
  VLK_AlgoArgs* a = VLK_AlgoArgs_new();
  VLK_ScoreArgs* sa = VLK_ScoreArgs_new();
  vlk_test::TempFile first;
  bool test_score_first = false;          // the scripted score in step 1, on one thread
  std::vector<std::vector<int>> planted;  // its DAG; a random one when empty

  TwoStep(VLK_Data* d, const std::vector<int>& first_set, const std::string& options)
      : data(d), first(names_file(first_set)) {
    a->data = data.get();
    a->verbosity = -1;
    sa->verbosity = -1;
    set_options("first=" + first.path() + (options.empty() ? "" : "," + options));
  }
  ~TwoStep() {
    release_score();
    VLK_MultiTimer_delete(a->timer);
    a->data = nullptr;
    VLK_AlgoArgs_delete(a);
    VLK_ScoreArgs_delete(sa);
  }
  TwoStep(const TwoStep&) = delete;
  TwoStep& operator=(const TwoStep&) = delete;

  void set_options(const std::string& text) {
    VLK_KeyValues_delete(a->options);
    a->options = VLK_KeyValues_parse(text.c_str());
  }
  void install_step1_score() {
    release_score();
    sa->max_parents = a->max_parents;
    if (test_score_first) {
      vlk_test::TestScoreConfig cfg;
      cfg.nodes = data->p;
      cfg.parents = planted.empty() ? vlk_test::random_dag(data->p, 2, 3) : planted;
      cfg.threads = 1;
      a->score = vlk_test::test_score_new(cfg);
      return;
    }
    a->score = VLK_Score_get("BNRC");
    VLK_Score_init(a->score, data.get(), sa);
  }
  void release_score() {
    if (a->score == nullptr) return;
    a->score->finalize(a->score->state);
    std::free(a->score);
    a->score = nullptr;
  }
  vlk::Owned<VLK_Graph, VLK_Graph_delete> run() {
    install_step1_score();
    srandom(5);
    return vlk::Owned<VLK_Graph, VLK_Graph_delete>(TwoStepHC_exec(a, sa));
  }
};

VLK_Data* nucleus(int genes = 12) { return vlk_test::SimulatedDag(genes, 100, 21, 8).data; }

GraphI* adjgraph(int n, const Edges& edges) {
  VLK_AdjGraph* g = VLK_AdjGraph_news(static_cast<size_t>(n));
  for (auto [p, c] : edges) VLK_AdjGraph_add_edge(g, p, c);
  return VLK_AdjGraph_to_GraphI(g);
}

// ---- The skeletons -----------------------------------------------------------------------

TEST(TwoStepHC, SkeletonsOfBothSteps) {
  const int n = 5;
  VLK_IntArray* first = VLK_IntArray_new();
  VLK_IntArray_add(first, 3);
  VLK_IntArray_add(first, 1);
  auto in_first = [](int v) { return v == 1 || v == 3; };
  const Edges outer_edges{{1, 0}, {1, 2}, {3, 4}, {3, 1}, {0, 2}, {2, 2}, {4, 3}};
  GraphI* outer = adjgraph(n, outer_edges);
  for (bool with_outer : {false, true}) {
    SCOPED_TRACE(with_outer ? "outer skeleton" : "no outer skeleton");
    const GraphI* o = with_outer ? outer : nullptr;
    auto allowed = [&](int p, int c) { return !with_outer || has(outer_edges, {p, c}); };
    GraphI* s1 = TwoStepHC_skeleton1(n, first, o);
    GraphI* s2 = TwoStepHC_skeleton2(n, first, o);
    EXPECT_EQ(s1->type, VLK_TYPE_ADJGRAPH);
    EXPECT_EQ(s2->type, VLK_TYPE_ADJGRAPH);
    for (int p = 0; p < n; ++p)
      for (int c = 0; c < n; ++c) {
        SCOPED_TRACE(testing::Message() << p << " -> " << c);
        EXPECT_EQ(s1->check_edge(s1, p, c) != 0, in_first(p) && !in_first(c) && allowed(p, c));
        EXPECT_EQ(s2->check_edge(s2, p, c) != 0, !(in_first(p) && in_first(c)) && allowed(p, c));
      }
    s1->delete_(s1);
    s2->delete_(s2);
  }
  EXPECT_TRUE(outer->check_edge(outer, 3, 1));  // the clone was changed, not the caller's
  outer->delete_(outer);
  VLK_IntArray_delete(first);
}

// ---- The two steps on the real score -----------------------------------------------------

// Step 1 finds only edges out of the first set, within the caller's skeleton; step 2 keeps them
// all, adds none inside the first set and none the caller's skeleton lacks.
TEST(TwoStepHC, EachStepKeepsToItsEdges) {
  const int n = 12;
  const std::vector<int> first{0, 2, 5, 7};
  auto in_first = [&](int v) { return std::find(first.begin(), first.end(), v) != first.end(); };
  Edges allowed;
  for (int p = 0; p < n; ++p)
    for (int c = 0; c < n; ++c)
      if (p != c && (p + c) % 5 != 0) allowed.emplace_back(p, c);
  for (const char* cache : {"cache=off", "cache"}) {
    SCOPED_TRACE(cache);
    Edges step1;
    {
      vlk_test::CaptureErr quiet;
      TwoStep t(nucleus(n), first, std::string(cache) + ",firstonly");
      t.a->skeleton = adjgraph(n, allowed);
      const auto g = t.run();
      ASSERT_NE(g, nullptr);
      step1 = graph_edges(g.get());
      t.a->skeleton->delete_(t.a->skeleton);
    }
    ASSERT_FALSE(step1.empty());
    for (auto [p, c] : step1) {
      EXPECT_TRUE(in_first(p) && !in_first(c)) << p << " -> " << c;
      EXPECT_TRUE(has(allowed, {p, c})) << p << " -> " << c;
    }

    vlk_test::CaptureErr quiet;
    TwoStep t(nucleus(n), first, cache);
    t.sa->cache_type = 3;
    t.a->skeleton = adjgraph(n, allowed);
    const auto g = t.run();
    ASSERT_NE(g, nullptr);
    const Edges result = graph_edges(g.get());
    for (const Edge& e : step1) EXPECT_TRUE(has(result, e)) << e.first << " -> " << e.second;
    EXPECT_GT(result.size(), step1.size());
    for (auto [p, c] : result) {
      EXPECT_FALSE(in_first(p) && in_first(c)) << p << " -> " << c;
      EXPECT_TRUE(has(allowed, {p, c})) << p << " -> " << c;
    }
    t.a->skeleton->delete_(t.a->skeleton);
  }
}

// A caller's skeleton that allows no pair (a nucleus that holds no gene of the skeleton file)
// leaves neither step an edge to add.
TEST(TwoStepHC, AnEmptySkeletonAllowsNoEdge) {
  vlk_test::CaptureErr quiet;
  TwoStep t(nucleus(8), {0, 2}, "cache=off");
  t.a->skeleton = adjgraph(8, {});
  const auto g = t.run();
  ASSERT_NE(g, nullptr);
  EXPECT_EQ(graph_edges(g.get()), Edges{});
  t.a->skeleton->delete_(t.a->skeleton);
}

// The first set may be empty (step 1 finds nothing, step 2 searches everything) or hold every
// node (neither step has an edge to find).
TEST(TwoStepHC, FirstSetOfNoneOrAll) {
  const int n = 8;
  std::vector<int> all(n);
  for (int v = 0; v < n; ++v) all[static_cast<size_t>(v)] = v;
  for (bool everything : {false, true}) {
    SCOPED_TRACE(everything ? "every node" : "no node");
    vlk_test::CaptureErr quiet;
    TwoStep t(nucleus(n), everything ? all : std::vector<int>{}, "cache=off");
    const auto g = t.run();
    ASSERT_NE(g, nullptr);
    EXPECT_EQ(graph_edges(g.get()).empty(), everything);
  }
}

// The edges of a first network, matched to the data set's nodes by name, are the step-1
// skeleton, first set or not; names the data set lacks are left out.
TEST(TwoStepHC, FirstNetworkGivesTheStepOneSkeleton) {
  const int n = 8;
  vlk_test::TempFile net(
      "Velk VLK3 FORMAT\n[Information]\n\n[Nodes]\n"
      "g3\tg3\t0\ng0\tg0\t1\ng5\tg5\t2\nnowhere\tnowhere\t3\ng1\tg1\t4\n\n"
      "[Edges]\n1\t0\n0\t2\n3\t2\n4\t1\n");
  vlk_test::CaptureErr quiet;
  TwoStep t(nucleus(n), {0, 1}, "firstonly,cache=off,firstnettype=VLK3,firstnet=" + net.path());
  // Every edge of the file helps, and so do two pairs it lacks: g2 -> g0 and g0 -> g4.
  t.test_score_first = true;
  t.planted = {{1, 2}, {}, {}, {0}, {0}, {3}, {}, {}};
  const auto g = t.run();
  ASSERT_NE(g, nullptr);
  Edges found = graph_edges(g.get());
  std::sort(found.begin(), found.end());
  EXPECT_EQ(found, (Edges{{0, 3}, {1, 0}, {3, 5}}));
}

// ---- What the call gives back --------------------------------------------------------------

auto fields(const VLK_AlgoArgs* a) {
  return std::make_tuple(a->candidates, a->max_parents, a->excluded, a->fixed, a->skeleton,
                         a->dynamic, a->data, a->options, a->selfloop, a->verbosity, a->rng,
                         a->timer);
}
auto fields(const VLK_ScoreArgs* sa) {
  return std::make_tuple(sa->options, sa->max_parents, sa->max_memory, sa->threads, sa->cache_type,
                         sa->verbosity);
}
std::string text_of(const VLK_KeyValues* list) {
  return vlk_test::capture([&](FILE* fp) { VLK_KeyValues_print(list, fp); });
}

// Every field of both records is the caller's again, but the score (with the memory its init
// wrote into the score arguments) and the results; the option lists are unchanged too.
TEST(TwoStepHC, ArgumentsComeBackAsTheyWere) {
  const int n = 10;
  vlk_test::CaptureErr quiet;
  TwoStep t(nucleus(n), {1, 4}, "p=4,m=2,s=BNRC,S={level=2},trials=2,parent=none,rev=off");
  t.a->candidates = 6;
  t.a->max_parents = 3;
  t.a->rng = VLK_RNG_new();
  VLK_Graph* fixed = VLK_Graph_new(static_cast<size_t>(n));
  VLK_Graph_add_edge(fixed, 8, 9);
  t.a->fixed = VLK_Graph_to_GraphI(fixed);
  t.a->skeleton = adjgraph(n, {});
  VLK_AdjGraph_complete(static_cast<VLK_AdjGraph*>(t.a->skeleton));
  t.a->timer = VLK_MultiTimer_new_labels(VLK_Greedy_timer_labels);
  VLK_MultiTimer_add(t.a->timer, "TwoStep Other");
  VLK_MultiTimer_add(t.a->timer, "TwoStep Init");
  VLK_KeyValues* score_options = VLK_KeyValues_parse("hn=3");
  t.sa->options = score_options;
  t.sa->cache_type = 3;
  t.sa->threads = 2;
  t.sa->max_memory = size_t{300} << 20;

  t.install_step1_score();
  const auto a_before = fields(t.a);
  const auto sa_before = fields(t.sa);
  VLK_KeyValues_put_int(t.a->options, "tshc_timer_label_other", 6);
  VLK_KeyValues_put_int(t.a->options, "tshc_timer_label_init", 7);
  const std::string options_before = text_of(t.a->options);
  const std::string score_options_before = text_of(score_options);
  srandom(5);
  const vlk::Owned<VLK_Graph, VLK_Graph_delete> g(TwoStepHC_exec(t.a, t.sa));
  ASSERT_NE(g, nullptr);
  EXPECT_EQ(fields(t.a), a_before);
  EXPECT_EQ(fields(t.sa), sa_before);
  EXPECT_EQ(text_of(t.a->options), options_before);
  EXPECT_EQ(text_of(score_options), score_options_before);
  EXPECT_TRUE(VLK_Graph_check_edge(g.get(), 8, 9));
  // Step 2 ran with its own options: "S" reached its module, which is the one left installed.
  ASSERT_NE(t.a->score, nullptr);
  const auto* cache = static_cast<VLK_ScoreCache3*>(t.a->score->state);
  EXPECT_EQ(static_cast<VLK_BNRCBuff*>(cache->state)->level, 2);
  EXPECT_EQ(VLK_KeyValues_get_int(t.a->results, "tshc_timer_label_other", -1), -1);
  EXPECT_NE(VLK_KeyValues_get_double(t.a->results, "score", 0.0), 0.0);
  EXPECT_GT(t.a->timer->times[6], 0.0);  // the sections named in the options
  EXPECT_GT(t.a->timer->times[7], 0.0);

  VLK_Graph_delete(fixed);
  t.a->skeleton->delete_(t.a->skeleton);
  VLK_RNG_delete(t.a->rng);
  VLK_KeyValues_delete(score_options);
}

// The first call of a run makes the two sections and reports their ids, which the program
// passes to later calls: three calls share one pair of sections.
TEST(TwoStepHC, TimerSectionsAreMadeOnce) {
  vlk_test::CaptureErr quiet;
  TwoStep t(nucleus(8), {0, 3}, "cache=off");
  VLK_KeyValues* run_options = t.a->options;  // the program's copy of its option list
  for (int call = 0; call < 3; ++call) {
    SCOPED_TRACE(call);
    t.a->options = VLK_KeyValues_clone(run_options);
    const auto g = t.run();
    ASSERT_NE(g, nullptr);
    const int other = VLK_KeyValues_get_int(t.a->results, "tshc_timer_label_other", 999);
    const int init = VLK_KeyValues_get_int(t.a->results, "tshc_timer_label_init", 999);
    if (call == 0) {
      EXPECT_EQ(other, 6);
      EXPECT_EQ(init, 7);
      EXPECT_EQ(VLK_KeyValues_get_key(t.a->results, 0), std::string("score"));
    } else {
      EXPECT_EQ(other, 999);
      EXPECT_EQ(init, 999);
    }
    if (other != 999) VLK_KeyValues_put_int(run_options, "tshc_timer_label_other", other);
    if (init != 999) VLK_KeyValues_put_int(run_options, "tshc_timer_label_init", init);
    VLK_KeyValues_delete(t.a->options);
    t.a->options = nullptr;
  }
  const VLK_MultiTimer* timer = t.a->timer;
  ASSERT_EQ(timer->n, 8u);
  EXPECT_EQ(timer->labels[6], std::string("TwoStep Other"));
  EXPECT_EQ(timer->labels[7], std::string("TwoStep Init"));
  EXPECT_GT(timer->times[6], 0.0);
  EXPECT_GT(timer->times[7], 0.0);
  EXPECT_EQ(timer->current, -1);
  VLK_KeyValues_delete(run_options);
}

// ---- The options of step 2 ------------------------------------------------------------------

// The lines each call prints about the cache; "firstonly" skips step 2 whatever its value.
TEST(TwoStepHC, CacheAndFirstOnlyOptions) {
  const struct {
    const char* options;
    const char* line;  // expected, and whether step 2 ran
    bool second;
  } cases[] = {
      {"", "TwoStepHC: Score Cache: On\n", true},
      {"cache", "TwoStepHC: Score Cache: On\n", true},
      {"cache=ON", "TwoStepHC: Score Cache: On\n", true},
      {"cache=off", "TwoStepHC: Skipping the score cache initialization.\n", true},
      {"cache=yes", "TwoStepHC: Skipping the score cache initialization.\n", true},
      {"firstonly=off", "TwoStepHC: Score Cache: On\n", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.options);
    vlk_test::CaptureErr err;
    TwoStep t(nucleus(8), {0, 3}, c.options);
    t.sa->cache_type = 3;
    ASSERT_NE(t.run(), nullptr);
    const std::string text = err.text();
    EXPECT_NE(text.find(c.line), std::string::npos);
    EXPECT_EQ(text.find("TwoStepHC: Second network estimation finished\n") != std::string::npos,
              c.second);
    EXPECT_EQ(text.find("ScoreCache3: Initializing") != std::string::npos,
              c.second && std::string(c.line).ends_with("On\n"));
  }
}

// "p" and "m" set step 2's candidates and parent limit; without them it keeps the caller's.
TEST(TwoStepHC, StepTwoCandidatesAndLimit) {
  const struct {
    const char* options;
    const char* second_search;
  } cases[] = {
      {"cache=off", "Greedy:   candidates = 5\nGreedy:   max_parents = 2\n"},
      {"cache=off,p=3,m=1", "Greedy:   candidates = 3\nGreedy:   max_parents = 1\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.options);
    vlk_test::CaptureErr err;
    TwoStep t(nucleus(8), {0, 3}, c.options);
    t.a->candidates = 5;
    t.a->max_parents = 2;
    ASSERT_NE(t.run(), nullptr);
    const std::string text = err.text();
    const size_t second = text.find("TwoStepHC: Starting the second network estimation.\n");
    ASSERT_NE(second, std::string::npos);
    EXPECT_NE(text.find(c.second_search, second), std::string::npos);
  }
}

// Step 1 can give a node as many parents as the caller allows, and step 2 keeps them fixed
// under a lower limit of its own: its score and its cache must take such sets (a score sized
// for the lower limit would be asked for more parents than its buffers hold).
TEST(TwoStepHC, StepTwoTakesFixedParentsAboveItsLimit) {
  // Genes 0, 1, 2 drive gene 3 together; the others are noise.
  const int n = 7, samples = 100;
  VLK_Data* d = vlk_test::make_data(n, samples, true);
  std::uint64_t state = 42;
  auto uniform = [&state] {
    state = state * 6364136223846793005ULL + 1442695040888963407ULL;
    return static_cast<double>(state >> 11) * 0x1.0p-53 - 0.5;
  };
  for (int s = 0; s < samples; ++s) {
    auto x = [&](int v) -> double& { return d->X[static_cast<size_t>(v) * samples + s]; };
    for (int v = 0; v < n; ++v) x(v) = 4.0 * uniform();
    x(3) = std::sin(1.5 * x(0)) + 0.5 * x(1) * x(1) + x(2) + 0.1 * uniform();
  }
  for (const char* cache : {"cache=off", "cache"}) {
    SCOPED_TRACE(cache);
    vlk_test::CaptureErr quiet;
    VLK_Data* copy = VLK_Data_clone(d);
    TwoStep t(copy, {0, 1, 2}, std::string(cache) + ",m=1");
    t.a->max_parents = 3;
    t.sa->cache_type = 3;
    const auto g = t.run();
    ASSERT_NE(g, nullptr);
    EXPECT_EQ(VLK_Graph_num_parents(g.get(), 3), 3);
    if (cache == std::string("cache")) {
      EXPECT_EQ(static_cast<VLK_ScoreCache3*>(t.a->score->state)->max_parents, 3);
    }
  }
  VLK_Data_delete(d);
}

// ---- Refusals ------------------------------------------------------------------------------

TEST(TwoStepHC, Refusals) {
  vlk_test::Threads team(2);
  const struct {
    const char* options;
    int cache_type;
    const char* message;  // the last line printed
  } cases[] = {
      {"s=NOPE,cache=off", 3, "ERROR: TwoStepHC: unknown score module: NOPE\n"},
      {"cache=on", 0, "Unknown cache version: 0\n"},
      {"", 7, "Unknown cache version: 7\n"},
      {"", 2,
       "ERROR: TwoStepHC: score cache 2 has no lock and cannot serve the 2 scoring threads of "
       "the second step; use cache 3.\n"},
      {"", 1,
       "ERROR: TwoStepHC: score cache 1 has no lock and cannot serve the 2 scoring threads of "
       "the second step; use cache 3.\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.options);
    TwoStep t(nucleus(6), {0}, c.options);
    t.test_score_first = true;  // step 1 on one thread: the child process starts no team
    t.sa->cache_type = c.cache_type;
    t.sa->threads = 2;
    const auto end = vlk_test::run_fatal([&] { t.run(); });
    EXPECT_TRUE(end.exit1());
    EXPECT_TRUE(end.err.ends_with(c.message)) << end.err;
  }
  // A prefix tree is taken when step 2 scores from one thread only.
  vlk_test::CaptureErr quiet;
  TwoStep t(nucleus(6), {0}, "");
  t.test_score_first = true;
  t.sa->cache_type = 2;
  t.sa->threads = 1;
  ASSERT_NE(t.run(), nullptr);
  EXPECT_NE(quiet.text().find("ScoreCache2: Max parents = 15\n"), std::string::npos);
}

TEST(TwoStepHC, RefusesAMissingFirstSet) {
  const std::string missing = "/nonexistent/first.txt";
  const struct {
    std::string options;
    const char* message;
  } cases[] = {
      {"cache=off", "ERROR: TwoStepHC: First parent set file not specified.\n"},
      {"cache=off,first=" + missing,
       "ERROR: TwoStepHC: cannot read the first set file: /nonexistent/first.txt\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.options);
    TwoStep t(nucleus(6), {0}, "");
    t.set_options(c.options);  // no first set of the fixture's
    t.test_score_first = true;
    const auto end = vlk_test::run_fatal([&] { t.run(); });
    EXPECT_TRUE(end.exit1());
    EXPECT_TRUE(end.err.ends_with(c.message)) << end.err;
  }
}

}  // namespace
