// Centralities of a 5,000-node, 50,000-edge network, the size of a large presentation network:
// the whole betweenness (goal: under 10 s on one core) and closeness, and the betweenness of a
// few sources with the children taken from lists made once and by scanning every parent list
// per dequeued node, whose whole run would take hours.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <unordered_set>
#include <vector>

#include "VLK_Network.h"
#include "VLK_Network_analysis.h"

namespace {

constexpr int kNodes = 5000;
constexpr int kEdges = 50000;
constexpr long kFewSources = 4;

// A fixed pseudo-random network without repeated pairs or self loops.
VLK_Network* build() {
  VLK_Network* net = VLK_Network_new();
  char name[32];
  for (int i = 0; i < kNodes; ++i) {
    std::snprintf(name, sizeof name, "gene%04d", i);
    VLK_Network_add_node(net, VLK_Node_new(name, name));
  }
  std::unordered_set<std::uint64_t> seen;
  std::uint64_t x = 88172645463325252ULL;
  while (VLK_Network_num_edges(net) < static_cast<size_t>(kEdges)) {
    x ^= x << 13, x ^= x >> 7, x ^= x << 17;
    const int pa = static_cast<int>(x % kNodes);
    const int ch = static_cast<int>((x >> 32) % kNodes);
    if (pa != ch && seen.insert(static_cast<std::uint64_t>(pa) * kNodes + ch).second)
      VLK_Network_add_edge_index(net, pa, ch);
  }
  return net;
}

const VLK_Network* network() {
  static const vlk::NetworkPtr net(build());
  return net.get();
}

void BM_Betweenness(benchmark::State& state) {
  const VLK_Network* net = network();
  std::vector<double> out(kNodes);
  for (auto _ : state) {
    VLK_Network_calc_betweenness(net, out.data());
    benchmark::DoNotOptimize(out.data());
  }
}
BENCHMARK(BM_Betweenness)->Unit(benchmark::kSecond)->Iterations(2);

void BM_Closeness(benchmark::State& state) {
  const VLK_Network* net = network();
  std::vector<double> out(kNodes);
  for (auto _ : state) {
    VLK_Network_calc_closeness(net, out.data());
    benchmark::DoNotOptimize(out.data());
  }
}
BENCHMARK(BM_Closeness)->Unit(benchmark::kSecond)->Iterations(2);

// Time per source, children from lists (0) or from a scan of all parent lists (1).
void BM_BetweennessFewSources(benchmark::State& state) {
  const VLK_Network* net = network();
  const auto how = state.range(0) == 0 ? vlk::ChildSearch::lists : vlk::ChildSearch::scan;
  std::vector<double> out(kNodes);
  for (auto _ : state) {
    vlk::betweenness(net, out.data(), how, kFewSources);
    benchmark::DoNotOptimize(out.data());
  }
  state.counters["per_source"] = benchmark::Counter(
      static_cast<double>(kFewSources),
      benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_BetweennessFewSources)
    ->Arg(0)
    ->Arg(1)
    ->ArgName("scan")
    ->Unit(benchmark::kMillisecond)
    ->Iterations(2);

}  // namespace

BENCHMARK_MAIN();
