#include "selection/select_nodes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "VLK_PCGraph.h"
#include "VLK_UShortArray.h"
#include "scripted_rng.h"
#include "selection/random_walk.h"
#include "velkcom.h"
#include "vlk_check.h"
#include "vlk_test.h"

namespace {

using vlk_test::ScriptedRng;

constexpr double kBelowOne = 1.0 - 0x1p-53;  // the largest uniform number
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// A whole network: a parent-child graph with one value per edge, by edge index.
struct Network {
  VLK_PCGraph* g;
  VLK_FloatArray* w;
  Network(int n, const std::vector<std::tuple<int, int, float>>& edges)
      : g(VLK_PCGraph_new(n)), w(VLK_FloatArray_new()) {
    for (const auto& [pa, ch, value] : edges) {
      VLK_PCGraph_add_edge(g, pa, ch);
      VLK_FloatArray_add(w, value);
    }
  }
  ~Network() {
    VLK_PCGraph_delete(g);
    VLK_FloatArray_delete(w);
  }
  Network(const Network&) = delete;
  Network& operator=(const Network&) = delete;
};

// Five genes: 2 -> 0 (2.0), 0 -> 1 (1.0), 0 -> 3 (1.0), 1 -> 3 (0.5); gene 4 alone. Degrees 3, 2,
// 1, 2, 0 and 4 edges. Gene 0 lists its neighbours as 2, 1, 3 (weights 2, 1, 1), gene 1 as 0, 3
// (weights 1, 0.5).
Network five() { return Network(5, {{2, 0, 2.0f}, {0, 1, 1.0f}, {0, 3, 1.0f}, {1, 3, 0.5f}}); }

std::vector<int> ids(const unsigned short* sel, int c) { return std::vector<int>(sel, sel + c); }

struct WalkCase {
  const char* what;
  int variant;  // 1 random_walk, 2 random_walk2
  double pr;
  int target;
  std::vector<double> script;
  std::vector<int> selected;
};

}  // namespace

// Each step: two uniform numbers; the first neighbour whose running weight exceeds u0 * total is
// picked (equal is not enough) and taken when u1 is below the bound; a passed test ends the walk
// once target ids are set.
TEST(RandomWalk, PicksAndAcceptanceOnAKnownGraph) {
  const std::vector<WalkCase> cases = {
      {"r = 2.0 equals the first sum: the second neighbour", 1, 1.0, 2, {0.5, 0.0}, {0, 1}},
      {"r just below the first sum: the first neighbour", 1, 1.0, 2, {0.49, 0.0}, {0, 2}},
      {"pr 1 accepts whatever u1", 1, 1.0, 2, {0.5, kBelowOne}, {0, 1}},
      // pr 0: gene 1 (degree 2 of 8 edge ends) needs u1 < 0.75; rejected, the walk still moves to
      // 1, whose second neighbour (3, degree 2) then passes.
      {"u1 at the bound is rejected", 1, 0.0, 2, {0.5, 0.75, 0.9, 0.74}, {0, 3}},
      {"u1 below the bound is taken", 1, 0.0, 2, {0.5, 0.7499}, {0, 1}},
      // random_walk2: gene 1 has degree 2 of the 5 of 0's neighbours: bound 0.6.
      {"v2: u1 at the degree share is rejected", 2, 0.0, 2, {0.5, 0.6, 0.9, 0.1}, {0, 3}},
      {"v2: u1 below the degree share is taken", 2, 0.0, 2, {0.5, 0.59}, {0, 1}},
      {"target 0 stops at the first accepted pick", 1, 1.0, 0, {0.5, 0.0}, {0, 1}},
      {"target 1 likewise", 1, 1.0, 1, {0.5, 0.0}, {0, 1}},
      // Rejected pick of 1, then from 1 the seed (degree 3: bound 0.625) passes: already there.
      {"an accepted seed ends a walk of target 1 with 1 id", 1, 0.0, 1, {0.5, 0.9, 0.1, 0.1}, {0}},
  };
  const Network net = five();
  for (const WalkCase& c : cases) {
    ScriptedRng rng(c.script);
    unsigned short sel[5] = {};
    const auto walk = c.variant == 1 ? random_walk : random_walk2;
    const int n = walk(net.g, net.w, sel, 5, c.target, 0, 1000, 0, c.pr, rng.get());
    EXPECT_EQ(ids(sel, n), c.selected) << c.what;
    EXPECT_EQ(rng.used(), c.script.size()) << c.what;
    EXPECT_EQ(rng.requests(), std::vector<int>(c.script.size() / 2, 2)) << c.what;
  }
}

TEST(RandomWalk, SeedWithoutNeighboursSpendsEveryStep) {
  const Network net = five();
  for (const auto walk : {random_walk, random_walk2}) {
    ScriptedRng rng({}, 0.5);
    unsigned short sel[5] = {};
    EXPECT_EQ(walk(net.g, net.w, sel, 5, 3, 0, 1000, 4, 1.0, rng.get()), 1);
    EXPECT_EQ(sel[0], 4);
    EXPECT_EQ(rng.used(), 2000u);
  }
  // A seed already selected is not added again; the walk continues from it.
  ScriptedRng rng({0.5, 0.0});
  unsigned short sel[5] = {3, 0};
  EXPECT_EQ(random_walk(net.g, net.w, sel, 5, 3, 2, 1000, 0, 1.0, rng.get()), 3);
  EXPECT_EQ(ids(sel, 3), (std::vector<int>{3, 0, 1}));
}

// Single-precision running sums can end below r = u0 * (double total): the pick is then the last
// neighbour with weight, never none and never one without weight.
TEST(RandomWalk, RoundingPicksTheLastWeightedNeighbour) {
  const Network net(4, {{0, 1, 1.0f}, {0, 2, 1e-8f}, {0, 3, 0.0f}});
  ScriptedRng rng({kBelowOne, 0.0});
  unsigned short sel[4] = {};
  EXPECT_EQ(random_walk(net.g, net.w, sel, 4, 2, 0, 1000, 0, 1.0, rng.get()), 2);
  EXPECT_EQ(ids(sel, 2), (std::vector<int>{0, 2}));
}

// The walk never writes more than K ids, whatever its target.
TEST(RandomWalk, StaysWithinTheModule) {
  const Network net = five();
  ScriptedRng rng({}, 0.3);
  unsigned short sel[2] = {};
  EXPECT_EQ(random_walk(net.g, net.w, sel, 1, 0, 0, 1000, 0, 1.0, rng.get()), 1);
  EXPECT_EQ(random_walk(net.g, net.w, sel, 2, 9, 0, 1000, 0, 1.0, rng.get()), 2);
}

namespace {

// A table of P = 1 rows over five genes, all zero but the given row of gene `seed`.
std::vector<double> one_row(int seed, std::vector<double> row) {
  std::vector<double> t(25, 0.0);
  std::copy(row.begin(), row.end(), t.begin() + seed * 5);
  return t;
}

}  // namespace

TEST(OtoSampling, SeedFirstThenDrawsFromItsRow) {
  // Seed 3; u = 0.25 equals the first running sum: gene 1; u = 0: gene 0.
  const std::vector<double> t = one_row(3, {0.25, 0.25, 0.5, 0, 0});
  ScriptedRng rng({0.25, 0.0});
  unsigned short sel[3] = {};
  EXPECT_EQ(oto_sampling(1, 5, t.data(), sel, 0, 3, 3, rng.get()), 3);
  EXPECT_EQ(ids(sel, 3), (std::vector<int>{3, 1, 0}));
  EXPECT_EQ(rng.requests(), (std::vector<int>{1, 1}));

  // With P = 2 the seed's row is row seed / P: gene 3 on rank 1 owns row 1.
  std::vector<double> t2(10, 0.0);
  t2[5 + 4] = 1.0;
  ScriptedRng rng2({0.3});
  EXPECT_EQ(oto_sampling(2, 5, t2.data(), sel, 0, 2, 3, rng2.get()), 2);
  EXPECT_EQ(ids(sel, 2), (std::vector<int>{3, 4}));
}

TEST(OtoSampling, SeedReplacesTheLastIdOfAFullSelection) {
  const std::vector<double> t = one_row(0, {0, 1, 0, 0, 0});
  ScriptedRng rng;
  unsigned short sel[2] = {1, 2};
  EXPECT_EQ(oto_sampling(1, 5, t.data(), sel, 2, 2, 0, rng.get()), 2);
  EXPECT_EQ(ids(sel, 2), (std::vector<int>{1, 0}));
  EXPECT_EQ(rng.used(), 0u);
}

TEST(OtoSampling, GivesUpAfterTwiceTheTarget) {
  const std::vector<double> t = one_row(0, {0, 1, 0, 0, 0});
  ScriptedRng rng({}, 0.5);
  unsigned short sel[3] = {};
  EXPECT_EQ(oto_sampling(1, 5, t.data(), sel, 0, 3, 0, rng.get()), 2);
  EXPECT_EQ(ids(sel, 2), (std::vector<int>{0, 1}));
  EXPECT_EQ(rng.used(), 6u);
}

// A row of all NaN (no gain anywhere) answers no draw: each becomes a uniform gene, one more number
// per draw.
TEST(OtoSampling, NaNRowFallsBackToUniformGenes) {
  const std::vector<double> t = one_row(3, std::vector<double>(5, kNaN));
  ScriptedRng rng({0.5, 0.2, 0.7, 0.9});
  unsigned short sel[3] = {};
  EXPECT_EQ(oto_sampling(1, 5, t.data(), sel, 0, 3, 3, rng.get()), 3);
  EXPECT_EQ(ids(sel, 3), (std::vector<int>{3, 1, 4}));
  EXPECT_EQ(rng.requests(), (std::vector<int>{1, 1, 1, 1}));
}

// Weights degree(j) / (2E) + row[j]: degrees 3, 2, 1, 2, 0 of 8 edge ends and a row all on gene 4
// give running sums 0.375, 0.625, 0.75, 1, 2; the first of each pair of numbers, scaled to the
// total 2, decides.
TEST(OtoSampling2, MixesTheDegreeShareWithTheRow) {
  const Network net = five();
  const std::vector<double> t = one_row(2, {0, 0, 0, 0, 1});
  ScriptedRng rng({0.5, 0.9, 0.1875, 0.9});
  unsigned short sel[3] = {};
  EXPECT_EQ(oto_sampling2(1, 5, t.data(), sel, 0, 3, 2, net.g, rng.get()), 3);
  EXPECT_EQ(ids(sel, 3), (std::vector<int>{2, 4, 1}));
  EXPECT_EQ(rng.requests(), (std::vector<int>{2, 2}));
}

// Without edges the degree term is 0: the row alone decides, over its own total, one pair of
// numbers per draw as with edges (and no uniform fallback draws).
TEST(OtoSampling2, WithoutEdgesTheRowDecides) {
  const Network none(5, {});
  const std::vector<double> t = one_row(0, {0, 0, 0.5, 0, 0.5});
  ScriptedRng rng({kBelowOne, 0.0, 0.2, 0.0});
  unsigned short sel[3] = {};
  EXPECT_EQ(oto_sampling2(1, 5, t.data(), sel, 0, 3, 0, none.g, rng.get()), 3);
  EXPECT_EQ(ids(sel, 3), (std::vector<int>{0, 4, 2}));
  EXPECT_EQ(rng.requests(), (std::vector<int>{2, 2}));
}

// Weights (degree + 1) / (2E + n): 4, 3, 2, 3, 1 thirteenths on the five genes.
TEST(DegSampling, DrawsByDegreeUntilTheTarget) {
  const Network net = five();
  ScriptedRng rng({0.0, 0.05, 4.0 / 13, 12.5 / 13});
  unsigned short sel[4] = {};
  EXPECT_EQ(deg_sampling(net.g, 5, sel, 0, 3, rng.get()), 3);
  EXPECT_EQ(ids(sel, 3), (std::vector<int>{0, 1, 4}));
  EXPECT_EQ(rng.used(), 4u);  // the repeated 0 costs a draw
}

// Ten equal weights of 0.1 sum to the largest number below 1, which a draw can reach: it takes the
// last gene rather than one past the end.
TEST(DegSampling, RoundingNeverLeavesTheGenes) {
  const Network none(10, {});
  ScriptedRng rng({kBelowOne});
  unsigned short sel[1] = {};
  EXPECT_EQ(deg_sampling(none.g, 10, sel, 0, 1, rng.get()), 1);
  EXPECT_EQ(sel[0], 9);
}

namespace {

// The run settings select_nodes reads, over a network and a table of P = 1.
class Selecting {
 public:
  Selecting(int n, int K, int method, int oto, const Network& net, std::vector<double> table)
      : table_(std::move(table)), a_(Args_new_rank(0, 1)) {
    a_->nodes = n;
    a_->module_size = K;
    a_->method = method;
    a_->oto_interval = oto;
    a_->whole_network = net.g;
    a_->edge_values = net.w;
    a_->oto_table = table_.empty() ? nullptr : table_.data();
  }
  ~Selecting() {
    a_->whole_network = nullptr;
    a_->edge_values = nullptr;
    a_->oto_table = nullptr;
    Args_delete(a_);
  }
  Selecting(const Selecting&) = delete;
  Selecting& operator=(const Selecting&) = delete;

  Args* args() { return a_; }
  // The selection around seed with the draws of rng, and what select_nodes printed.
  std::vector<int> select(int seed, VLK_RNG* rng, std::string* err = nullptr) {
    a_->algo_args->rng = rng;
    std::vector<unsigned short> sel(static_cast<size_t>(a_->module_size), 0xffff);
    vlk_test::CaptureErr capture;
    select_nodes(a_, sel.data(), seed);
    if (err != nullptr) *err = capture.text();
    a_->algo_args->rng = nullptr;
    return std::vector<int>(sel.begin(), sel.end());
  }

 private:
  std::vector<double> table_;
  Args* a_;
};

}  // namespace

// The steps of each method and their messages, with scripted draws on the five-gene network.
TEST(SelectNodes, MethodsAndTheirMessages) {
  const Network net = five();
  const std::vector<double> row4 = one_row(0, {0, 0, 0, 0, 1});
  std::string err;
  {
    // Walk target 1: gene 1; 1-to-1 to 3: gene 4; nothing left to fill.
    Selecting s(5, 3, 1, 0, net, row4);
    ScriptedRng rng({0.5, 0.0, 0.3});
    EXPECT_EQ(s.select(0, rng.get(), &err), (std::vector<int>{0, 1, 4}));
    EXPECT_EQ(err,
              "Selected 2 nodes by random walking.\nSelected 3 nodes by 1-to-1 scores.\n"
              "Selected nodes: 0 1 4\n");
  }
  {
    // Without 1-to-1 sampling the uniform fill completes the walk: (int)(0.7 * 5) = gene 3.
    Selecting s(5, 3, 1, -1, net, {});
    ScriptedRng rng({0.5, 0.0, 0.7});
    EXPECT_EQ(s.select(0, rng.get(), &err), (std::vector<int>{0, 1, 3}));
    EXPECT_EQ(err, "Selected 2 nodes by random walking.\nSelected nodes: 0 1 3\n");
  }
  {
    // Method 2, K 5: the walk to 1 (target 2); 1-to-1 pairs to 4 ids (--rw-r2 0.8) over the running
    // sums 0.375, 0.625, 0.75, 1, 2: u = 1.0 gives gene 4, u = 0.7 gene 2; then by degree (sums 4,
    // 7, 9, 12, 13 thirteenths) u = 0.8 gives gene 3.
    Selecting s(5, 5, 2, 0, net, row4);
    s.args()->rw_ratio2 = 0.8;
    s.args()->rw_accept = 0.5;
    ScriptedRng rng({0.5, 0.0, 0.5, 0.0, 0.35, 0.0, 0.8});
    EXPECT_EQ(s.select(0, rng.get(), &err), (std::vector<int>{0, 1, 2, 3, 4}));
    EXPECT_EQ(err,
              "Selected 2 nodes by random walking v2 (pr=0.500000).\n"
              "Selected 4 nodes by 1-to-1 scores (v2).\nSelected nodes: 0 1 2 3 4\n");
  }
}

// -a 0 draws the whole module from the 1-to-1 weights (the network has no edges there) and the
// uniform fill completes it; without 1-to-1 sampling all K ids are uniform and the seed is not
// forced in.
TEST(SelectNodes, RandomSamplingUsesTheOneToOneWeights) {
  const Network none(30, {});
  std::vector<double> table(30 * 30, 0.0);
  for (int j : {3, 17, 26}) table[5 * 30 + j] = 1.0 / 3;
  Selecting s(30, 4, 0, 0, none, table);
  ScriptedRng rng({0.9, 0.0, 0.1, 0.0, 0.5, 0.0});
  std::string err;
  EXPECT_EQ(s.select(5, rng.get(), &err), (std::vector<int>{3, 5, 17, 26}));
  EXPECT_EQ(err, "Selected 4 nodes by 1-to-1 scores (v2).\nSelected nodes: 3 5 17 26\n");
  EXPECT_EQ(rng.requests(), (std::vector<int>{2, 2, 2}));

  Selecting u(30, 4, 0, -1, none, {});
  ScriptedRng uniform({0.0, 0.5, 0.1, 0.99});
  EXPECT_EQ(u.select(5, uniform.get(), &err), (std::vector<int>{0, 3, 15, 29}));
  EXPECT_EQ(err, "Selected nodes: 0 3 15 29\n");
}

TEST(SelectNodes, PrintsTheSortedListAndWarnsOfRepeats) {
  const unsigned short sel[6] = {1, 4, 4, 7, 7, 7};
  vlk_test::CaptureErr err;
  vlk::select::print_selection(sel, 6);
  EXPECT_EQ(err.text(),
            "Selected nodes: 1 4 4\nWARNING: Redundent nodes detected: 4\n 7 7\n"
            "WARNING: Redundent nodes detected: 7\n 7\nWARNING: Redundent nodes detected: 7\n\n");
}

namespace {

// A random network of about `edges` edges with values in (0, 1], and a table of random rows
// normalised to 1, every seventh row NaN (a gene without gains).
struct RandomRun {
  Network net;
  std::vector<double> table;
  RandomRun(int n, int edges, unsigned seed) : net(n, random_edges(n, edges, seed)) {
    std::mt19937 gen(seed);
    std::uniform_real_distribution<double> u(0.0, 1.0);
    table.resize(static_cast<size_t>(n) * n);
    for (int v = 0; v < n; ++v) {
      double* row = table.data() + static_cast<size_t>(v) * n;
      double sum = 0.0;
      for (int j = 0; j < n; ++j) sum += row[j] = j == v ? 0.0 : std::pow(u(gen), 10.0);
      for (int j = 0; j < n; ++j) row[j] = v % 7 == 3 ? kNaN : row[j] / sum;
    }
  }
  static std::vector<std::tuple<int, int, float>> random_edges(int n, int edges, unsigned seed) {
    std::mt19937 gen(seed + 1);
    std::uniform_int_distribution<int> gene(0, n - 1);
    std::uniform_real_distribution<float> value(0.01f, 1.0f);
    std::vector<std::tuple<int, int, float>> out;
    for (int e = 0; e < edges; ++e) {
      const int pa = gene(gen), ch = gene(gen);
      if (pa != ch) out.emplace_back(pa, ch, value(gen));
    }
    return out;
  }
};

}  // namespace

// Whatever the seed, the method and the network: exactly K distinct ids of the genes, sorted,
// holding the seed unless -a 0 draws uniformly; and the same seed gives the same selection.
TEST(SelectNodes, AlwaysKDistinctSortedIdsWithTheSeed) {
  constexpr int K = 12;
  for (int n : {K, K + 1, 3 * K}) {
    for (unsigned graph = 1; graph <= 3; ++graph) {
      RandomRun run(n, graph == 1 ? 0 : n * static_cast<int>(graph), graph);
      for (int method : {0, 1, 2}) {
        for (int oto : {-1, 0}) {
          Selecting s(n, K, method, oto, run.net, run.table);
          s.args()->rw_accept = graph == 3 ? 0.0 : 1.0;
          for (int r = 1; r <= 40; ++r) {
            VLK_RNG* rng = VLK_RNG_new();
            VLK_RNG_set_seed(rng, r);
            const int seed = r % n;
            const std::vector<int> sel = s.select(seed, rng);
            VLK_RNG_set_seed(rng, r);
            EXPECT_EQ(s.select(seed, rng), sel);
            VLK_RNG_delete(rng);
            const std::string what = "n " + std::to_string(n) + " graph " + std::to_string(graph) +
                                     " -a " + std::to_string(method) + " --oto " +
                                     std::to_string(oto) + " r " + std::to_string(r);
            EXPECT_TRUE(std::is_sorted(sel.begin(), sel.end())) << what;
            EXPECT_EQ(std::adjacent_find(sel.begin(), sel.end()), sel.end()) << what;
            EXPECT_GE(sel.front(), 0) << what;
            EXPECT_LT(sel.back(), n) << what;
            if (method != 0 || oto >= 0) {
              EXPECT_TRUE(std::binary_search(sel.begin(), sel.end(), seed)) << what;
            }
          }
        }
      }
    }
  }
}

TEST(SelectNodes, SettingsWithoutAPossibleSelectionAreRefused) {
  struct Case {
    int nodes, module_size;
    const char* err;  // null: accepted
  };
  const std::vector<Case> cases = {
      {65535, 1000, nullptr},
      {65536, 1000, "ERROR: 65536 genes are more than the 65535 that 16-bit gene ids address\n"},
      {1000, 1000, nullptr},
      {999, 1000,
       "ERROR: the module size (-m) must be between 1 and the number of genes (999): 1000\n"},
      {10, 0, "ERROR: the module size (-m) must be between 1 and the number of genes (10): 0\n"},
  };
  for (const Case& c : cases) {
    Args* a = Args_new_rank(0, 1);
    a->nodes = c.nodes;
    a->module_size = c.module_size;
    const auto end = vlk_test::run_fatal([&] { select_check_settings(a); });
    EXPECT_EQ(end.exited && end.status == 0, c.err == nullptr) << c.nodes << " " << c.module_size;
    if (c.err != nullptr) {
      EXPECT_TRUE(end.exit1());
      EXPECT_EQ(end.err, c.err);
    }
    Args_delete(a);
  }
}

// select_nodes itself holds to the contract (checked builds): a module larger than the genes would
// leave ids unset.
TEST(SelectNodes, ContractIsChecked) {
  if (!vlk::checks_on) GTEST_SKIP() << "checks are compiled out";
  const Network none(3, {});
  Selecting s(3, 4, 0, -1, none, {});
  VLK_RNG* rng = VLK_RNG_new();
  EXPECT_DEATH(s.select(0, rng), "check failed");
  VLK_RNG_delete(rng);
}
