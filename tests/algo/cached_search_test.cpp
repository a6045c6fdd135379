// The score caches under the real searches: a cache may only make a search faster, so greedy
// hill climbing with the BNRC score on a simulated nucleus ends in the same graph with and
// without one. The prefix tree runs under version 1 only, whose climbs score from one thread;
// the hash cache under both versions.
//
// The scores differ slightly all the same: BNRC fits the parents in the order it is given them,
// and a cache scores every set in ascending order. So the best score of a search without a
// cache is the sum of the node scores in parent-list order, and with a cache the sum in
// ascending order; both are checked exactly.
#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <cstdlib>
#include <vector>

#include "ScoreCache2.h"
#include "VLK_Greedy.h"
#include "VLK_ScoreCache3.h"
#include "simulated_data.h"
#include "vlk_owned.h"
#include "vlk_test.h"

namespace {

using Lists = std::vector<std::vector<int>>;

enum class Cache { none, tree, hash };

struct Outcome {
  Lists graph;
  double score = DBL_MAX;
  bool cached = false;  // the cache stored something
  double listed = 0.0;  // sum of the node scores, parents in list order
  double sorted = 0.0;  // the same, parents in ascending order
};

// The two sums of the node scores of a graph, by a state of its own.
void node_score_sums(VLK_Data* data, Outcome& out) {
  VLK_Score* score = VLK_Score_get("BNRC");
  VLK_ScoreArgs* sa = VLK_ScoreArgs_new();
  sa->verbosity = -1;
  VLK_Score_init(score, data, sa);
  for (size_t c = 0; c < out.graph.size(); ++c) {
    std::vector<int> list = out.graph[c];
    const int q = static_cast<int>(list.size());
    out.listed += score->score(score->state, static_cast<int>(c), list.data(), q);
    std::sort(list.begin(), list.end());
    out.sorted += score->score(score->state, static_cast<int>(c), list.data(), q);
  }
  score->finalize(score->state);
  std::free(score);
  VLK_ScoreArgs_delete(sa);
}

Outcome search(int version, Cache cache) {
  constexpr size_t kBudget = size_t{64} << 20;
  vlk_test::CaptureErr quiet;
  vlk_test::SimulatedDag sim(60, 100, 77, 99);
  const vlk::Owned<VLK_Data, VLK_Data_delete> data(sim.data);
  VLK_Score* score = VLK_Score_get("BNRC");
  VLK_ScoreArgs* sa = VLK_ScoreArgs_new();
  sa->verbosity = -1;
  VLK_Score_init(score, data.get(), sa);

  VLK_AlgoArgs* a = VLK_AlgoArgs_new();
  a->data = data.get();
  a->score = score;
  a->options = VLK_KeyValues_parse("trials=1");
  a->verbosity = -1;
  a->rng = VLK_RNG_new();
  if (cache == Cache::tree) ScoreCache2_init(score, a->candidates, kBudget, sim.data->p);
  if (cache == Cache::hash)
    VLK_ScoreCache3_init(score, sim.data->p, a->max_parents, kBudget, sa->threads);
  srandom(5);
  const vlk::Owned<VLK_Graph, VLK_Graph_delete> g(version == 1 ? VLK_Greedy_exec(a)
                                                               : VLK_Greedy_exec2(a));
  Outcome out;
  if (g != nullptr)
    for (size_t c = 0; c < g->n; ++c) {
      const VLK_IntArray* l = VLK_Graph_parents(g.get(), static_cast<int>(c));
      out.graph.emplace_back(l->data, l->data + l->size);
    }
  out.score = VLK_KeyValues_get_double(a->results, "score", DBL_MAX);
  if (cache == Cache::tree)
    out.cached = static_cast<ScoreCache2*>(score->state)->used > static_cast<size_t>(sim.data->p);
  if (cache == Cache::hash) out.cached = static_cast<VLK_ScoreCache3*>(score->state)->stored > 0;

  score->finalize(score->state);
  node_score_sums(data.get(), out);
  VLK_RNG_delete(a->rng);
  VLK_MultiTimer_delete(a->timer);
  a->data = nullptr;  // the test's
  VLK_AlgoArgs_delete(a);
  VLK_ScoreArgs_delete(sa);
  return out;
}

TEST(CachedSearch, SameGraphWithAndWithoutACache) {
  const struct {
    int version;
    Cache cache;
  } cases[] = {{1, Cache::tree}, {1, Cache::hash}, {2, Cache::hash}};
  for (int version : {1, 2}) {
    const Outcome plain = search(version, Cache::none);
    ASSERT_FALSE(plain.graph.empty());
    EXPECT_EQ(plain.score, plain.listed);
    for (const auto& t : cases) {
      if (t.version != version) continue;
      SCOPED_TRACE(testing::Message() << "version " << version << ", cache "
                                      << (t.cache == Cache::tree ? "tree" : "hash"));
      const Outcome cached = search(version, t.cache);
      EXPECT_TRUE(cached.cached);
      EXPECT_EQ(cached.graph, plain.graph);
      EXPECT_EQ(cached.score, cached.sorted);
    }
  }
}

}  // namespace
