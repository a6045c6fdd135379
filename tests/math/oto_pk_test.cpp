// Incremental topological order: random insertions against a plain reachability check, orders
// made from whole graphs in any slot order, the read-only cycle test, and the greedy acyclic
// subgraph by weight against a reference greedy.
#include "OTO_PK.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <numeric>
#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "VLK_PCGraph.h"
#include "graph_testing.h"
#include "vlk_owned.h"
#include "vlk_test.h"

namespace {

using PCGraphPtr = vlk::Owned<VLK_PCGraph, VLK_PCGraph_delete>;
using PKPtr = vlk::Owned<OTO_PK, OTO_PK_delete>;
using Edge = std::pair<int, int>;
using Edges = std::vector<Edge>;

// A plain directed graph kept beside the one under test.
struct Plain {
  std::vector<std::vector<int>> children;
  explicit Plain(int n) : children(static_cast<size_t>(n)) {}
  void add(int a, int b) { children[static_cast<size_t>(a)].push_back(b); }
  bool reaches(int from, int to) const {
    std::vector<char> seen(children.size(), 0);
    std::vector<int> todo{from};
    seen[static_cast<size_t>(from)] = 1;
    while (!todo.empty()) {
      const int v = todo.back();
      todo.pop_back();
      if (v == to) return true;
      for (int w : children[static_cast<size_t>(v)])
        if (!seen[static_cast<size_t>(w)]) {
          seen[static_cast<size_t>(w)] = 1;
          todo.push_back(w);
        }
    }
    return false;
  }
};

Edges edges_of(const VLK_PCGraph* g) {
  Edges out;
  for (size_t id = VLK_PCGraph_first_edge(g); id != VLK_PCGRAPH_NONE;
       id = VLK_PCGraph_next_edge(g, id)) {
    int pa = 0, ch = 0;
    VLK_PCGraph_get_edge(g, id, &pa, &ch);
    out.emplace_back(pa, ch);
  }
  return out;
}

std::vector<int32_t> order_of(const OTO_PK* pk) { return {pk->ord, pk->ord + pk->n}; }

// ord is a permutation and every edge other than a self-loop goes forward in it.
::testing::AssertionResult valid_order(const OTO_PK* pk, const VLK_PCGraph* g) {
  std::vector<int32_t> sorted = order_of(pk);
  std::sort(sorted.begin(), sorted.end());
  for (int32_t i = 0; i < pk->n; ++i)
    if (sorted[static_cast<size_t>(i)] != i)
      return ::testing::AssertionFailure() << "not a permutation";
  for (const auto& [a, b] : edges_of(g))
    if (a != b && pk->ord[a] >= pk->ord[b])
      return ::testing::AssertionFailure() << "edge " << a << " -> " << b << " goes back";
  return ::testing::AssertionSuccess();
}

PCGraphPtr graph_of(int n, const Edges& edges) {
  PCGraphPtr g(VLK_PCGraph_new(static_cast<size_t>(n)));
  for (const auto& [a, b] : edges) VLK_PCGraph_add_edge(g.get(), a, b);
  return g;
}

std::string order_text(const OTO_PK* pk) {
  return vlk_test::capture([&](FILE* fp) { OTO_PK_print_order(pk, fp); });
}

// Every insertion is refused exactly when the child already reaches the parent (self-loops are
// accepted); a refused one changes nothing, and the order always fits the graph. Before each
// insertion the read-only test gives the same answer and leaves graph and order as they were,
// and the named steps run one by one end in the same order.
TEST(OtoPk, RandomInsertionsAgreeWithReachability) {
  struct Case {
    int n, insertions;
    std::uint64_t seed;
  };
  for (const Case& k : {Case{2, 20, 1}, Case{8, 60, 2}, Case{30, 400, 3}, Case{120, 1500, 4}}) {
    SCOPED_TRACE(testing::Message() << "n=" << k.n << " seed=" << k.seed);
    std::mt19937_64 gen(k.seed);
    std::uniform_int_distribution<int> node(0, k.n - 1);
    PCGraphPtr g(VLK_PCGraph_new(static_cast<size_t>(k.n)));
    PKPtr pk(OTO_PK_new(k.n));
    PKPtr steps(OTO_PK_new(k.n));
    Plain plain(k.n);
    for (int i = 0; i < k.insertions; ++i) {
      const int x = node(gen);
      const int y = node(gen);
      const bool closes = x != y && plain.reaches(y, x);
      const std::vector<int32_t> before = order_of(pk.get());
      const size_t edges = VLK_PCGraph_num_edges(g.get());
      ASSERT_EQ(OTO_PK_check_cyclic(pk.get(), x, y, g.get()), closes ? 1 : 0) << x << "->" << y;
      ASSERT_EQ(order_of(pk.get()), before);
      ASSERT_EQ(VLK_PCGraph_num_edges(g.get()), edges);
      // The steps one by one on a copy of the order: the forward search, the backward one,
      // the renumbering, as the insertion makes them.
      OTO_PK_copy(pk.get(), steps.get());
      const int32_t lb = steps->ord[y], ub = steps->ord[x];
      if (lb < ub) {
        steps->forward_count = steps->backward_count = 0;
        const int f = OTO_PK_dfs_f(steps.get(), y, g.get(), ub);
        const int b = f != 0 ? 0 : OTO_PK_dfs_b(steps.get(), x, g.get(), lb);
        ASSERT_EQ(f != 0 || b != 0, closes);
        if (!closes) OTO_PK_reorder(steps.get());
      }
      ASSERT_EQ(OTO_PK_add_edge(pk.get(), x, y, g.get()), closes ? 1 : 0) << x << "->" << y;
      ASSERT_EQ(order_of(steps.get()), order_of(pk.get()));
      if (closes) {
        ASSERT_EQ(order_of(pk.get()), before);
        ASSERT_EQ(VLK_PCGraph_num_edges(g.get()), edges);
      } else {
        plain.add(x, y);
        ASSERT_EQ(VLK_PCGraph_num_edges(g.get()), edges + 1);
      }
      ASSERT_TRUE(valid_order(pk.get(), g.get()));
    }
  }
}

TEST(OtoPk, SmallInsertionCases) {
  PCGraphPtr g(VLK_PCGraph_new(3));
  PKPtr pk(OTO_PK_new(3));
  EXPECT_EQ(order_text(pk.get()), "nodes:  0 1 2\n");
  EXPECT_EQ(OTO_PK_add_edge(pk.get(), 0, 1, g.get()), 0);
  EXPECT_EQ(OTO_PK_add_edge(pk.get(), 1, 2, g.get()), 0);
  EXPECT_EQ(order_of(pk.get()), (std::vector<int32_t>{0, 1, 2}));
  EXPECT_EQ(OTO_PK_add_edge(pk.get(), 2, 0, g.get()), 1);
  EXPECT_EQ(VLK_PCGraph_num_edges(g.get()), 2u);
  EXPECT_EQ(OTO_PK_add_edge(pk.get(), 1, 1, g.get()), 0);  // a self-loop is taken
  EXPECT_EQ(VLK_PCGraph_check_edge(g.get(), 1, 1), 1);

  // Against the order: 2 -> 0 moves 2 before 0; then 0 -> 2 would close the cycle.
  PCGraphPtr h(VLK_PCGraph_new(3));
  PKPtr pk2(OTO_PK_new(3));
  EXPECT_EQ(OTO_PK_add_edge(pk2.get(), 2, 0, h.get()), 0);
  EXPECT_EQ(OTO_PK_add_edge(pk2.get(), 0, 1, h.get()), 0);
  EXPECT_LT(pk2->ord[2], pk2->ord[0]);
  EXPECT_EQ(order_text(pk2.get()), "nodes:  2 0 1\n");
  EXPECT_EQ(OTO_PK_add_edge(pk2.get(), 0, 2, h.get()), 1);

  PKPtr four(OTO_PK_new(4));
  EXPECT_FATAL_EXIT(OTO_PK_copy(pk.get(), four.get()),
                    "FATAL ERROR: OTO_PK_copy(): size inconsisitent.\n");
  OTO_PK_copy(pk2.get(), pk.get());
  EXPECT_EQ(order_of(pk.get()), order_of(pk2.get()));
}

// A path of 70,000 nodes, then an edge into its head from the last node (the search runs the
// whole path deep and renumbers it), then the edge that would close the ring (the search runs
// the path again and finds the cycle at its end): both depths fit the searches' own stack.
TEST(OtoPk, DeepSearchesOverALongPath) {
  const int n = 70000;
  PCGraphPtr g(VLK_PCGraph_new(n));
  PKPtr pk(OTO_PK_new(n));
  for (int k = 0; k + 2 < n; ++k) ASSERT_EQ(OTO_PK_add_edge(pk.get(), k, k + 1, g.get()), 0);
  EXPECT_EQ(OTO_PK_add_edge(pk.get(), n - 1, 0, g.get()), 0);
  EXPECT_EQ(pk->ord[n - 1], 0);
  EXPECT_TRUE(valid_order(pk.get(), g.get()));
  EXPECT_EQ(OTO_PK_check_cyclic(pk.get(), n - 2, n - 1, g.get()), 1);
  EXPECT_EQ(OTO_PK_add_edge(pk.get(), n - 2, n - 1, g.get()), 1);
}

// An order made from a whole graph fits every edge, whatever the slot order (holes and
// self-loops included), and the order then refuses exactly the edges that close cycles.
TEST(OtoPk, OrderOfAWholeGraph) {
  // The slots 1 -> 3, 3 -> 2, 2 -> 0 form the path 1, 3, 2, 0.
  PCGraphPtr path = graph_of(4, {{1, 3}, {3, 2}, {2, 0}});
  PKPtr pk(OTO_PK_new_pcgraph(path.get()));
  ASSERT_NE(pk, nullptr);
  EXPECT_TRUE(valid_order(pk.get(), path.get()));
  EXPECT_EQ(OTO_PK_add_edge(pk.get(), 3, 1, path.get()), 1);
  EXPECT_EQ(OTO_PK_add_edge(pk.get(), 0, 1, path.get()), 1);
  EXPECT_EQ(OTO_PK_add_edge(pk.get(), 1, 0, path.get()), 0);

  PCGraphPtr chain = graph_of(3, {{2, 1}, {1, 0}});
  pk.reset(OTO_PK_new_pcgraph(chain.get()));
  ASSERT_NE(pk, nullptr);
  EXPECT_EQ(order_text(pk.get()), "nodes:  2 1 0\n");
  PCGraphPtr empty = graph_of(3, {});
  pk.reset(OTO_PK_new_pcgraph(empty.get()));
  EXPECT_EQ(order_of(pk.get()), (std::vector<int32_t>{0, 1, 2}));
  PCGraphPtr ring = graph_of(3, {{0, 1}, {1, 2}, {2, 0}});
  EXPECT_EQ(OTO_PK_new_pcgraph(ring.get()), nullptr);

  for (std::uint64_t seed = 1; seed <= 30; ++seed) {
    SCOPED_TRACE(seed);
    std::mt19937_64 gen(seed);
    const int n = 2 + static_cast<int>(seed % 25);
    std::vector<int> rank(static_cast<size_t>(n));
    std::iota(rank.begin(), rank.end(), 0);
    std::shuffle(rank.begin(), rank.end(), gen);
    Edges edges;
    std::uniform_int_distribution<int> node(0, n - 1);
    for (int i = 0; i < 3 * n; ++i) {
      int a = node(gen), b = node(gen);
      if (rank[static_cast<size_t>(a)] > rank[static_cast<size_t>(b)]) std::swap(a, b);
      edges.emplace_back(a, b);  // a == b gives a self-loop
    }
    std::shuffle(edges.begin(), edges.end(), gen);
    PCGraphPtr g = graph_of(n, edges);
    VLK_PCGraph_remove_edge_id(g.get(), static_cast<size_t>(n) + 1);  // a hole in the slots
    PKPtr dag(OTO_PK_new_pcgraph(g.get()));
    ASSERT_NE(dag, nullptr);
    ASSERT_TRUE(valid_order(dag.get(), g.get()));
    Plain plain(n);
    for (const auto& [a, b] : edges_of(g.get())) plain.add(a, b);
    for (int x = 0; x < n; ++x)
      for (int y = 0; y < n; ++y)
        ASSERT_EQ(OTO_PK_check_cyclic(dag.get(), x, y, g.get()),
                  x != y && plain.reaches(y, x) ? 1 : 0);
    // One edge against the ranks closes a cycle when its reverse is a path.
    std::vector<int> by_rank(static_cast<size_t>(n));
    for (int v = 0; v < n; ++v) by_rank[static_cast<size_t>(rank[static_cast<size_t>(v)])] = v;
    for (int i = 0; i + 1 < n; ++i) VLK_PCGraph_add_edge(g.get(), by_rank[i], by_rank[i + 1]);
    VLK_PCGraph_add_edge(g.get(), by_rank[static_cast<size_t>(n - 1)], by_rank[0]);
    EXPECT_EQ(OTO_PK_new_pcgraph(g.get()), nullptr);
  }
}

// An edge hidden from the cycle tests (its slot's ends set to -1 while it stays linked, as the
// search over a parent-child graph does to try a reversal) is no path for either search nor for
// the order of a whole graph; once its ends come back it is one again.
TEST(OtoPk, HiddenEdgesAreNoPath) {
  // 0 -> 1 -> 2 -> 3 and 3 -> 1: the cycle 1, 2, 3 as long as 3 -> 1 is seen.
  PCGraphPtr g = graph_of(4, {{0, 1}, {1, 2}, {2, 3}, {3, 1}});
  VLK_PCGraphSlot& middle = g->slots[4 + 1];  // 1 -> 2
  VLK_PCGraphSlot& back = g->slots[4 + 3];    // 3 -> 1
  EXPECT_EQ(OTO_PK_new_pcgraph(g.get()), nullptr);
  back.pa = back.ch = -1;
  PKPtr pk(OTO_PK_new_pcgraph(g.get()));
  ASSERT_NE(pk, nullptr);
  EXPECT_EQ(order_text(pk.get()), "nodes:  0 1 2 3\n");

  // 3 -> 0 against the order: the forward search from 0 meets the hidden slot in 1's child list
  // once 1 -> 2 is hidden, the backward one from 3 meets it in 2's parent list.
  middle.pa = middle.ch = -1;
  const std::vector<int32_t> before = order_of(pk.get());
  EXPECT_EQ(OTO_PK_check_cyclic(pk.get(), 3, 0, g.get()), 0);
  EXPECT_EQ(order_of(pk.get()), before);
  pk->forward_count = pk->backward_count = 0;
  EXPECT_EQ(OTO_PK_dfs_f(pk.get(), 0, g.get(), pk->ord[3]), 0);
  EXPECT_EQ(OTO_PK_dfs_b(pk.get(), 3, g.get(), pk->ord[0]), 0);
  middle.pa = 1, middle.ch = 2;
  EXPECT_EQ(OTO_PK_check_cyclic(pk.get(), 3, 0, g.get()), 1);
  middle.pa = middle.ch = -1;
  EXPECT_EQ(OTO_PK_add_edge(pk.get(), 3, 0, g.get()), 0);
  EXPECT_TRUE(valid_order(pk.get(), g.get()));  // the edges seen: 0 -> 1, 2 -> 3, 3 -> 0
  EXPECT_EQ(order_text(pk.get()), "nodes:  2 3 0 1\n");
}

// ---- The greedy acyclic subgraph -------------------------------------------------------------

// The reference: offer the edges reaching th, heaviest first and equal weights by ascending
// index, and keep those whose child does not reach their parent.
Edges reference_dag(int n, const Edges& edges, const std::vector<float>& w, float th) {
  std::vector<size_t> idx;
  for (size_t k = 0; k < edges.size(); ++k)
    if (w[k] >= th) idx.push_back(k);
  std::stable_sort(idx.begin(), idx.end(), [&](size_t a, size_t b) { return w[a] > w[b]; });
  Plain plain(n);
  Edges kept;
  for (size_t k : idx) {
    const auto [a, b] = edges[k];
    if (a != b && plain.reaches(b, a)) continue;
    plain.add(a, b);
    kept.push_back(edges[k]);
  }
  return kept;
}

TEST(PcgraphDag, KeepsTheHeaviestEdgesThatCloseNoCycle) {
  const PCGraphPtr src = graph_of(3, {{0, 1}, {1, 0}, {1, 2}});
  const vlk_test::FloatArray w({0.9f, 0.8f, 0.5f});
  PCGraphPtr dst = graph_of(3, {{2, 2}});
  struct Case {
    float th;
    Edges expect;
  };
  for (const Case& k : {Case{0.5f, {{0, 1}, {1, 2}}}, Case{0.85f, {{0, 1}}}, Case{0.95f, {}}}) {
    SCOPED_TRACE(k.th);
    VLK_PCGraph_DAG_fsc_th(src.get(), w.a, k.th, dst.get());
    EXPECT_EQ(edges_of(dst.get()), k.expect);
  }
}

TEST(PcgraphDag, MatchesTheReferenceGreedy) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  for (bool ties : {false, true})
    for (std::uint64_t seed = 1; seed <= 12; ++seed) {
      SCOPED_TRACE(testing::Message() << (ties ? "ties" : "distinct") << ", seed " << seed);
      std::mt19937_64 gen(seed);
      const int n = 5 + static_cast<int>(seed * 3);
      std::uniform_int_distribution<int> node(0, n - 1);
      Edges edges;
      std::vector<float> w;
      std::set<float> used;
      for (int i = 0; i < 4 * n; ++i) {
        edges.emplace_back(node(gen), node(gen));
        float x;
        if (ties) {
          x = static_cast<float>(std::uniform_int_distribution<int>(1, 4)(gen)) / 4.0f;
        } else {
          do x = std::uniform_real_distribution<float>(0.0f, 1.0f)(gen);
          while (!used.insert(x).second);
        }
        w.push_back(i % 17 == 5 ? nan : x);
      }
      const PCGraphPtr src = graph_of(n, edges);
      const vlk_test::FloatArray weights(w);
      PCGraphPtr dst(VLK_PCGraph_new(static_cast<size_t>(n)));
      for (float th : {0.0f, 0.3f, 0.6f}) {
        VLK_PCGraph_DAG_fsc_th(src.get(), weights.a, th, dst.get());
        EXPECT_EQ(edges_of(dst.get()), reference_dag(n, edges, w, th)) << "th " << th;
      }
    }
}

TEST(PcgraphDag, ComparatorPutsTheHeavierFirst) {
  const VLK_PCGraph_DAGEntry a{7, 0.5f}, b{3, 0.25f}, c{1, 0.5f};
  EXPECT_EQ(VLK_PCGraph_DAG_cmp(&a, &b), -1);
  EXPECT_EQ(VLK_PCGraph_DAG_cmp(&b, &a), 1);
  EXPECT_EQ(VLK_PCGraph_DAG_cmp(&a, &c), 0);
}

}  // namespace
