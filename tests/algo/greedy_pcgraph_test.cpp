// Greedy hill climbing over a skeleton network, under the scripted test score whose optimum is
// known: the start graph (the skeleton or its DAG by weight), the moves the skeleton allows, the
// hidden reverse edge of the cycle test, zero trials and the refusals.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <tuple>
#include <vector>

#include "OTO_PK.h"
#include "VLK_Greedy.h"
#include "VLK_Greedy_pcgraph.h"
#include "VLK_IO.h"
#include "VLK_Network.h"
#include "VLK_PCGraph.h"
#include "graph_testing.h"
#include "simulated_data.h"
#include "test_score.h"
#include "vlk_owned.h"
#include "vlk_test.h"

namespace {

using vlk_test::Pairs;
using vlk_test::TempFile;
using Lists = std::vector<std::vector<int>>;
using Weighted = std::vector<std::tuple<int, int, double>>;  // parent, child, "BS Prob"

constexpr int kNodes = 5;

// A VLK3 skeleton over g0 .. g(n-1), with "BS Prob" on every edge when weights are given.
std::string skeleton_text(const Weighted& edges, bool weights = true, int n = kNodes) {
  vlk::NetworkPtr net(VLK_Network_new());
  for (int v = 0; v < n; ++v) {
    const std::string name = "g" + std::to_string(v);
    VLK_Network_add_node(net.get(), VLK_Node_new(name.c_str(), name.c_str()));
  }
  for (const auto& [p, c, w] : edges) {
    VLK_Edge* e = VLK_Network_add_edge_index(net.get(), p, c);
    if (weights) VLK_Edge_add_property_double(e, "BS Prob", w);
  }
  vlk_test::CaptureErr quiet;
  return vlk_test::capture([&](FILE* fp) { IO_output_network_fp(fp, net.get(), "VLK3", nullptr); });
}

Pairs edges_of(const VLK_Network* net) {
  Pairs out;
  for (size_t k = 0; k < VLK_Network_num_edges(net); ++k) {
    const VLK_Edge* e = VLK_Network_get_edge(net, static_cast<int>(k));
    out.emplace_back(e->parent->index, e->child->index);
  }
  std::sort(out.begin(), out.end());
  return out;
}

Pairs sorted(Pairs p) {
  std::sort(p.begin(), p.end());
  return p;
}

Lists parents_of(const Pairs& edges, int n = kNodes) {
  Lists lists(static_cast<size_t>(n));
  for (auto [p, c] : edges) lists[static_cast<size_t>(c)].push_back(p);
  return lists;
}

// What one search gave and printed.
struct Searched {
  vlk::NetworkPtr result;
  std::string log;
  double optimum = 0.0;         // the test score's total of the expected graph, when given
  std::uint64_t bad_calls = 0;  // score calls with a repeated parent or one out of range
};

// A search record over a five-node data set with the planted test score, as a caller sets it up.
VLK_AlgoArgs* new_search(const Lists& planted, const std::string& options) {
  vlk_test::TestScoreConfig cfg;
  cfg.nodes = kNodes;
  cfg.parents = planted;
  cfg.threads = 1;
  VLK_AlgoArgs* a = VLK_AlgoArgs_new();
  a->data = vlk_test::make_data(kNodes, 4, true);
  a->score = vlk_test::test_score_new(cfg);
  a->options = VLK_KeyValues_parse(options.c_str());
  return a;
}

std::string skeleton_option(const TempFile& file, const std::string& options) {
  return "skeleton=" + file.path() + (options.empty() ? "" : "," + options);
}

Searched search(const Lists& planted, const std::string& skeleton, const std::string& options,
                const Pairs& expected = {}) {
  const TempFile file(skeleton);
  VLK_AlgoArgs* a = new_search(planted, skeleton_option(file, options));
  Searched run;
  run.optimum = vlk_test::test_score_state(a->score)->total(parents_of(expected));
  srandom(7);
  {
    vlk_test::CaptureErr err;
    run.result.reset(VLK_Greedy_on_pcgraph(a));
    run.log = err.text();
  }
  run.bad_calls = vlk_test::test_score_state(a->score)->bad_calls;
  vlk_test::test_score_delete(a->score);
  a->score = nullptr;
  VLK_AlgoArgs_delete(a);
  return run;
}

std::string best_line(double score) {
  char line[64];
  std::snprintf(line, sizeof line, " Best Score = %f\n", score);
  return line;
}

// The planted DAG 0 -> 1 -> 2 -> 3 -> 4 with the extra parent 0 of 2.
const Lists kChain = {{}, {0}, {0, 1}, {2}, {3}};

// The climb ends at the planted edges the skeleton holds, whatever it starts from, within the
// skeleton and acyclic.
TEST(GreedyPCGraph, FindsThePlantedEdgesWithinTheSkeleton) {
  const struct {
    const char* label;
    Weighted skeleton;
    std::string options;
    Pairs want;
  } cases[] = {
      // The whole acyclic skeleton to start: the edges that are not planted go.
      {"skeleton start",
       {{0, 1, 1}, {1, 2, 1}, {0, 3, 1}, {2, 3, 1}, {3, 4, 1}, {2, 4, 1}},
       "trials=2",
       {{0, 1}, {1, 2}, {2, 3}, {3, 4}}},
      // The DAG of the heaviest edges is the planted chain turned round (2 -> 3 below the
      // threshold): every edge is reversed into place, and the missing planted 0 -> 2 is added.
      {"dag start",
       {{1, 0, 0.9},
        {0, 1, 0.5},
        {2, 1, 0.8},
        {1, 2, 0.7},
        {3, 2, 0.95},
        {2, 3, 0.2},
        {3, 4, 0.6},
        {0, 2, 0.1}},
       "dag,trials=1",
       {{0, 1}, {0, 2}, {1, 2}, {2, 3}, {3, 4}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    const Searched run = search(kChain, skeleton_text(c.skeleton), c.options, c.want);
    ASSERT_NE(run.result, nullptr);
    const Pairs got = edges_of(run.result.get());
    EXPECT_EQ(got, c.want);
    Pairs skeleton;
    for (const auto& [p, ch, w] : c.skeleton) skeleton.emplace_back(p, ch);
    for (const auto& e : got)
      EXPECT_NE(std::find(skeleton.begin(), skeleton.end(), e), skeleton.end());
    EXPECT_TRUE(vlk_test::acyclic(parents_of(got)));
    EXPECT_EQ(run.bad_calls, 0u);
    EXPECT_NE(run.log.find(best_line(run.optimum)), std::string::npos) << run.log;
    EXPECT_STREQ(VLK_Network_node_name(run.result.get(), 4), "g4");
  }
}

// Without a climb the result is the start graph, a copy of its own (released once).
TEST(GreedyPCGraph, ZeroTrialsReturnTheStartGraph) {
  const Weighted skeleton = {{1, 0, 0.9}, {0, 1, 0.5}, {2, 3, 0.4}, {4, 2, 0.0}};
  const struct {
    std::string options;
    Pairs want;
  } cases[] = {
      {"dag,dag_th=0.3,trials=0", {{1, 0}, {2, 3}}},
      {"dag,dag_th=0.45,t=0", {{1, 0}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.options);
    const Searched run = search(kChain, skeleton_text(skeleton), c.options);
    ASSERT_NE(run.result, nullptr);
    EXPECT_EQ(edges_of(run.result.get()), c.want);
    EXPECT_NE(run.log.find("Greedy: Skipping the HC algorithm.\n"), std::string::npos);
    EXPECT_NE(run.log.find(best_line(0.0)), std::string::npos);
    EXPECT_NE(run.log.find("WARNING: edge score = 0.0\n"), std::string::npos);
  }
  const Searched whole =
      search(kChain, skeleton_text({{0, 1, 1}, {3, 1, 1}, {1, 4, 1}}, false), "trials=0");
  EXPECT_EQ(edges_of(whole.result.get()), (Pairs{{0, 1}, {1, 4}, {3, 1}}));
}

// An edge is reversed only into a skeleton edge: p -> c whose reverse the skeleton lacks can go,
// but c -> p never comes, even where it is the best move.
TEST(GreedyPCGraph, ReversalNeedsTheReverseSkeletonEdge) {
  const Lists planted = {{1}, {}, {}, {}, {}};
  const struct {
    const char* label;
    Weighted skeleton;
    Pairs want;
  } cases[] = {
      {"no reverse edge", {{0, 1, 0.9}}, {}},
      {"reverse edge", {{0, 1, 0.9}, {1, 0, 0.5}}, {{1, 0}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    const Searched run = search(planted, skeleton_text(c.skeleton), "dag,trials=1");
    EXPECT_EQ(edges_of(run.result.get()), c.want);
  }
}

TEST(GreedyPCGraph, RefusedSkeletons) {
  const std::string cyclic = skeleton_text({{0, 1, 1}, {1, 2, 1}, {2, 0, 1}});
  const std::string larger = skeleton_text({{0, 5, 1}}, true, kNodes + 1);
  const struct {
    std::string skeleton;  // empty: no skeleton option
    std::string options;
    std::string tail;
  } cases[] = {
      {cyclic, "", "ERROR: Greedy: the skeleton network has a cycle (use dag).\n"},
      {larger, "", "ERROR: Greedy: the skeleton network has 6 nodes, the data set 5.\n"},
      {"", "trials=1", "ERROR: Greedy: Specify the file for a skeleton network.\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.tail);
    const TempFile file(c.skeleton);
    const vlk_test::Ending end = vlk_test::run_fatal([&] {
      VLK_Greedy_on_pcgraph(
          new_search(kChain, c.skeleton.empty() ? c.options : skeleton_option(file, c.options)));
    });
    EXPECT_TRUE(end.exit1()) << "status " << end.status << " signal " << end.signal;
    EXPECT_TRUE(end.err.ends_with(c.tail)) << end.err;
  }
  // With "dag" the same cyclic skeleton is searched.
  const Searched run = search(kChain, cyclic, "dag,trials=1");
  EXPECT_EQ(edges_of(run.result.get()), (Pairs{{0, 1}, {1, 2}}));
}

// ---- One pass -----------------------------------------------------------------------------

struct Pass {
  vlk::Owned<VLK_PCGraph, VLK_PCGraph_delete> S, W;
  vlk::Owned<OTO_PK, OTO_PK_delete> order;
  Pass(const Pairs& skeleton, const Pairs& start)
      : S(VLK_PCGraph_new(kNodes)), W(VLK_PCGraph_new(kNodes)) {
    for (auto [p, c] : skeleton) VLK_PCGraph_add_edge(S.get(), p, c);
    for (auto [p, c] : start) VLK_PCGraph_add_edge(W.get(), p, c);
    order.reset(OTO_PK_new_pcgraph(W.get()));
  }
  std::vector<double> ns = std::vector<double>(kNodes);
  // One pass from the node scores of W; afterwards every node score is checked against a fresh
  // score of W's parent lists.
  int run(vlk_test::TestScoreConfig cfg, int dynamic) {
    cfg.nodes = kNodes;
    cfg.threads = 1;
    VLK_Score* score = vlk_test::test_score_new(cfg);
    VLK_IntArray* tmp = VLK_IntArray_new_ar(3, kNodes);
    for (int v = 0; v < kNodes; ++v) {
      VLK_PCGraph_parents(W.get(), v, &tmp[0]);
      ns[static_cast<size_t>(v)] = vlk::greedy::local_score(score, v, &tmp[0]);
    }
    srandom(3);
    const int changed = VLK_Greedy_one_pcgraph(kNodes, S.get(), W.get(), order.get(), dynamic, tmp,
                                               score, ns.data());
    for (int v = 0; v < kNodes; ++v) {
      VLK_PCGraph_parents(W.get(), v, &tmp[0]);
      EXPECT_EQ(ns[static_cast<size_t>(v)], vlk::greedy::local_score(score, v, &tmp[0])) << v;
    }
    EXPECT_EQ(vlk_test::test_score_state(score)->bad_calls, 0u);
    VLK_IntArray_delete_ar(tmp, 3);
    vlk_test::test_score_delete(score);
    return changed;
  }
};

// Reversals hide the edge from their cycle test by blanking its slot: however the test ends,
// the slot holds its edge again. Under a score that no move improves, the pass leaves every slot
// as it was, the reversals refused for a cycle (0 -> 2 with 0 -> 1 -> 2 beside it) included, and
// scores no parent set twice over.
TEST(GreedyPCGraph, ReversalTestsLeaveTheGraphAsItWas) {
  // The self-loop 3 -> 3 is its own reverse: turning it round is no move to score.
  const Pairs start = {{0, 1}, {1, 2}, {0, 2}, {2, 3}, {3, 4}, {3, 3}};
  Pairs skeleton = start;
  for (auto [p, c] : start) skeleton.emplace_back(c, p);
  Pass pass(skeleton, start);
  std::vector<VLK_PCGraphSlot> before(pass.W->slots, pass.W->slots + pass.W->n + start.size());
  vlk_test::TestScoreConfig flat;
  flat.mode = vlk_test::TestScoreMode::tie;
  flat.step = 0.0;
  flat.allow_self = true;
  EXPECT_EQ(pass.run(flat, 0), 0);
  for (size_t id = 0; id < before.size(); ++id) {
    SCOPED_TRACE(id);
    EXPECT_EQ(pass.W->slots[id].pa, before[id].pa);
    EXPECT_EQ(pass.W->slots[id].ch, before[id].ch);
    EXPECT_EQ(pass.W->slots[id].pa_next, before[id].pa_next);
  }
  EXPECT_EQ(sorted(vlk_test::pcgraph_edges(pass.W.get())), sorted(start));
}

// In dynamic mode a pass adds nothing; removals and reversals still run, and a reversal needs
// only that the reverse edge is absent: one that closes a cycle (2 -> 0 beside 0 -> 1 -> 2) is
// made all the same, where the acyclic mode refuses it.
TEST(GreedyPCGraph, DynamicPassesOnlyRemoveAndReverse) {
  vlk_test::TestScoreConfig chain;
  chain.parents = kChain;
  vlk_test::TestScoreConfig ring;
  ring.parents = {{2}, {0}, {1}, {}, {}};
  const struct {
    const char* label;
    vlk_test::TestScoreConfig score;
    Pairs skeleton, start;
    Pairs want[2];  // after a pass in acyclic and in dynamic mode
  } cases[] = {
      {"chain",
       chain,
       {{0, 1}, {1, 0}, {1, 2}, {2, 3}, {3, 4}},
       {{1, 0}},
       {{{0, 1}, {1, 2}, {2, 3}, {3, 4}}, {{0, 1}}}},
      {"ring",
       ring,
       {{0, 1}, {1, 2}, {0, 2}, {2, 0}},
       {{0, 1}, {1, 2}, {0, 2}},
       {{{0, 1}, {1, 2}}, {{0, 1}, {1, 2}, {2, 0}}}},
  };
  for (const auto& c : cases) {
    for (int dynamic : {0, 1}) {
      SCOPED_TRACE(std::string(c.label) + (dynamic ? " dynamic" : " acyclic"));
      Pass pass(c.skeleton, c.start);
      pass.run(c.score, dynamic);
      EXPECT_EQ(sorted(vlk_test::pcgraph_edges(pass.W.get())), c.want[dynamic]);
    }
  }
}

}  // namespace
