// The two-step searches on greedy hill climbing version 1: what step 1 may find and step 2 keeps,
// the step-2 module and its cache, what the calls leave in their argument records, the refusals.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "ScoreCache2.h"
#include "VLK_Greedy.h"
#include "VLK_Greedy_two_step.h"
#include "graph_testing.h"
#include "simulated_data.h"
#include "test_score.h"
#include "vlk_owned.h"
#include "vlk_test.h"

namespace {

using vlk_test::Pairs;
using vlk_test::TempFile;
using GraphPtr = vlk::Owned<VLK_Graph, VLK_Graph_delete>;
using Wrapper = VLK_Graph* (*)(VLK_AlgoArgs*, VLK_ScoreArgs*);

constexpr int kGenes = 8;

// Node 3 has both first-set nodes as parents: more than the step-2 limit of these tests.
const std::vector<std::vector<int>> kPlanted = {{}, {}, {6}, {0, 1}, {0}, {1}, {}, {2}};

// A search record over simulated data whose module is the planted test score, and the score
// arguments of the run.
struct TwoStep {
  VLK_AlgoArgs* a = VLK_AlgoArgs_new();
  VLK_ScoreArgs* sa = VLK_ScoreArgs_new();
  VLK_KeyValues* caller_score_options = VLK_KeyValues_parse("v=off");
  TempFile first{"g0\ng1\n"};
  std::string log;

  explicit TwoStep(const std::string& options) {
    a->data = vlk_test::SimulatedDag(kGenes, 60, 21, 8).data;
    a->max_parents = 3;
    a->verbosity = -1;
    vlk_test::TestScoreConfig cfg;
    cfg.nodes = kGenes;
    cfg.parents = kPlanted;
    cfg.threads = 1;
    a->score = vlk_test::test_score_new(cfg);
    std::string text = options;
    const size_t at = text.find("FIRST");
    if (at != std::string::npos) text.replace(at, 5, first.path());
    a->options = VLK_KeyValues_parse(text.c_str());
    sa->options = caller_score_options;
    sa->verbosity = -1;
  }
  ~TwoStep() {
    if (a->score != nullptr) {
      vlk_test::CaptureErr quiet;
      a->score->finalize(a->score->state);
    }
    VLK_MultiTimer_delete(a->timer);
    VLK_AlgoArgs_delete(a);
    VLK_ScoreArgs_delete(sa);
    VLK_KeyValues_delete(caller_score_options);
  }
  TwoStep(const TwoStep&) = delete;
  TwoStep& operator=(const TwoStep&) = delete;

  GraphPtr run(Wrapper search) {
    vlk_test::CaptureErr err;
    GraphPtr g(search(a, sa));
    log = err.text();
    return g;
  }
  bool has_option(const char* key) const { return VLK_KeyValues_find_key(a->options, key) >= 0; }
};

bool holds(const Pairs& edges, const Pairs& part) {
  return std::all_of(part.begin(), part.end(), [&](const auto& e) {
    return std::find(edges.begin(), edges.end(), e) != edges.end();
  });
}

// Step 1 finds the planted edges out of the first set {0, 1}; step 2 starts from them and never
// lets them go, under a cached BNRC module made for as many parents as they give node 3.
TEST(GreedyTwoStep, StepTwoKeepsTheFirstStepEdges) {
  TwoStep t("parent=FIRST,p=2,m=1,sc={linear},trials=1");
  const GraphPtr g = t.run(VLK_Greedy_two_step);
  ASSERT_NE(g, nullptr);
  const Pairs step1 = {{0, 3}, {1, 3}, {0, 4}, {1, 5}};
  EXPECT_TRUE(holds(vlk_test::graph_edges(g.get()), step1)) << t.log;
  EXPECT_NE(t.log.find("Greedy:  first set file: " + t.first.path() + "\n"), std::string::npos);
  EXPECT_NE(t.log.find("BNRC: Linear mode specified.\n"), std::string::npos);

  // The step-2 module: BNRC in a prefix tree wide enough for max(p, parents) = 3 parents.
  ASSERT_NE(t.a->score, nullptr);
  EXPECT_STREQ(t.a->score->name, "BNRC");
  EXPECT_EQ(static_cast<ScoreCache2*>(t.a->score->state)->width, 4);
  EXPECT_EQ(t.sa->max_parents, 3);
  EXPECT_EQ(t.sa->options, t.caller_score_options);
  EXPECT_EQ(t.a->fixed, nullptr);
  EXPECT_EQ(t.a->candidates, 2);
  EXPECT_EQ(t.a->max_parents, 1);
  for (const char* key : {"p", "m", "sc", "parent", "rev"}) EXPECT_FALSE(t.has_option(key)) << key;
  EXPECT_TRUE(t.has_option("trials"));
}

// The older wrapper builds a record nothing uses and runs version 1 on the caller's: the planted
// network under the caller's module.
TEST(GreedyTwoStep, OldWrapperSearchesTheCallersRecord) {
  TwoStep t("firstset=FIRST,p=2,m=1,firstsc={linear},trials=1");
  VLK_Score* caller_score = t.a->score;
  const GraphPtr g = t.run(VLK_Greedy_two_step_old);
  ASSERT_NE(g, nullptr);
  Pairs planted;
  for (int c = 0; c < kGenes; ++c)
    for (int p : kPlanted[static_cast<size_t>(c)]) planted.emplace_back(p, c);
  Pairs got = vlk_test::graph_edges(g.get());
  std::sort(got.begin(), got.end());
  std::sort(planted.begin(), planted.end());
  EXPECT_EQ(got, planted);
  EXPECT_EQ(t.a->score, caller_score);
  EXPECT_EQ(t.sa->options, t.caller_score_options);
  EXPECT_NE(t.log.find("BNRC: Linear mode specified.\n"), std::string::npos);
  EXPECT_NE(t.log.find("ScoreCache2: Releasing allocated resources.\n"), std::string::npos);
  for (const char* key : {"firstset", "p", "m", "firstsc"}) EXPECT_FALSE(t.has_option(key)) << key;
}

TEST(GreedyTwoStep, FirstSetFileIsRequired) {
  const struct {
    Wrapper search;
    const char* options;
  } cases[] = {
      {VLK_Greedy_two_step, "firstset=FIRST,trials=1"},
      {VLK_Greedy_two_step_old, "parent=FIRST,trials=1"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.options);
    TwoStep t(c.options);
    EXPECT_FATAL_EXIT(c.search(t.a, t.sa),
                      "Greedy: Starting the two-step greedy hill-clibming algorithm.\n"
                      "ERROR: Greedy: First set file not specified.\n");
  }
}

}  // namespace
