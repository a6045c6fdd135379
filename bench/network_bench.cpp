// The final network of a run: every gene a node, hundreds of thousands of edges with their
// properties; the writers count children and look edges up for every node.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <unordered_set>
#include <vector>

#include "VLK_Edge.h"
#include "VLK_Network.h"
#include "VLK_Node.h"

namespace {

constexpr int kNodes = 20000;
constexpr int kEdges = 200000;

// A fixed pseudo-random edge list without repeated pairs or self loops.
std::vector<std::pair<int, int>> edge_list() {
  std::vector<std::pair<int, int>> edges;
  edges.reserve(kEdges);
  std::unordered_set<long> seen;
  std::uint64_t x = 88172645463325252ULL;
  while (static_cast<int>(edges.size()) < kEdges) {
    x ^= x << 13, x ^= x >> 7, x ^= x << 17;
    const int pa = static_cast<int>(x % kNodes);
    const int ch = (pa + 1 + static_cast<int>((x >> 32) % 9973)) % kNodes;
    if (seen.insert(static_cast<long>(pa) * kNodes + ch).second) edges.emplace_back(pa, ch);
  }
  return edges;
}

VLK_Network* build(const std::vector<std::pair<int, int>>& edges) {
  VLK_Network* net = VLK_Network_new();
  char name[32];
  for (int i = 0; i < kNodes; ++i) {
    std::snprintf(name, sizeof name, "gene%05d", i);
    VLK_Network_add_node(net, VLK_Node_new(name, name));
  }
  for (const auto& [pa, ch] : edges) {
    VLK_Edge* e = VLK_Network_add_edge_index(net, pa, ch);
    VLK_Edge_set_property_double(e, "Freq", 0.5);
    VLK_Edge_set_property_double(e, "Pair", 3.0);
    VLK_Edge_set_property_double(e, "Score", -1.25);
  }
  return net;
}

// Build, count every node's children and look every edge up, as one writer pass does.
void BM_FinalNetwork(benchmark::State& state) {
  const auto edges = edge_list();
  for (auto _ : state) {
    VLK_Network* net = build(edges);
    long children = 0;
    for (int i = 0; i < kNodes; ++i) children += VLK_Network_num_children(net, i);
    long found = 0;
    for (const auto& [pa, ch] : edges) found += VLK_Network_get_edge_index(net, pa, ch) != nullptr;
    benchmark::DoNotOptimize(children + found);
    if (found != static_cast<long>(VLK_Network_num_edges(net))) state.SkipWithError("lost edges");
    VLK_Network_delete(net);
  }
  state.counters["edges"] = kEdges;
}
BENCHMARK(BM_FinalNetwork)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
