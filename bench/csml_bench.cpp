// The CSML format on a network of 5,000 genes and 20,000 edges, each edge with the three
// properties of the driver's final network (edgeScore and Freq as doubles, Count as an int) and
// each node placed and coloured: written in fact mode and read back, through files in the
// temporary directory, reported in MB/s (10^6 bytes of file per second). Process mode, whose
// files are about twice as large, is written too.
//
// Goals: a write and a read each under 2 s. Every case runs five repetitions, since the
// machine may be busy: compare the time of the "min" line. The reading time leaves out
// releasing the network.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "VLK_CSML.h"
#include "VLK_IO.h"
#include "file_bench.h"
#include "velkcom.h"

namespace {

using file_bench::file_size;
using file_bench::report;
using file_bench::timed;

constexpr int kNodes = 5000;
constexpr int kEdges = 20000;

int write_file(const std::string& path, const VLK_Network* net, const VLK_KeyValues* options) {
  return IO_output_network_file(path.c_str(), net, "CSML", options);
}

struct Fixture {
  std::string csml, out;
  size_t csml_bytes = 0;
  VLK_Network* net = nullptr;
  VLK_KeyValues* process = VLK_KeyValues_parse("edge=process");

  Fixture() {
    const auto dir = std::filesystem::temp_directory_path();
    const std::string stem = "vlk_csml_bench_" + std::to_string(getpid());
    csml = (dir / (stem + ".csml")).string();
    out = (dir / (stem + ".out.csml")).string();

    std::mt19937_64 gen(7);
    std::uniform_int_distribution<int> node(0, kNodes - 1);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    std::uniform_int_distribution<int> count(1, 500);
    net = VLK_Network_new();
    for (int i = 0; i < kNodes; ++i) {
      const std::string name = file_bench::gene_name(i);
      const std::string alias = file_bench::gene_alias(i);
      VLK_Node* n = VLK_Node_new(name.c_str(), alias.c_str());
      VLK_Node_set_position(n, 2000 * unit(gen), 2000 * unit(gen));
      VLK_Node_set_color(n, count(gen) % 256, 128, 255 - count(gen) % 256, 255);
      VLK_Node_add_property_int(n, "Count", count(gen));
      VLK_Network_add_node(net, n);
    }
    while (VLK_Network_num_edges(net) < static_cast<size_t>(kEdges)) {
      const int p = node(gen), c = node(gen);
      if (p == c || VLK_Network_get_edge_index(net, p, c) != nullptr) continue;
      VLK_Edge* e = VLK_Network_add_edge_index(net, p, c);
      const double f = unit(gen);
      VLK_Edge_add_property_double(e, "edgeScore", f);
      VLK_Edge_add_property_double(e, "Freq", f);
      VLK_Edge_add_property_int(e, "Count", count(gen));
    }
    VLK_Network_set_primary_score(net, "edgeScore");
    if (write_file(csml, net, nullptr) != 0) std::abort();
    csml_bytes = file_size(csml);
  }
  ~Fixture() {
    std::remove(csml.c_str());
    std::remove(out.c_str());
    VLK_Network_delete(net);
    VLK_KeyValues_delete(process);
  }
};

const Fixture& fixture() {
  static const Fixture f;
  return f;
}

void BM_CSMLWriteFacts(benchmark::State& state) {
  const Fixture& f = fixture();
  for (auto _ : state)
    if (write_file(f.out, f.net, nullptr) != 0) state.SkipWithError("write failed");
  report(state, file_size(f.out));
}

void BM_CSMLWriteProcesses(benchmark::State& state) {
  const Fixture& f = fixture();
  for (auto _ : state)
    if (write_file(f.out, f.net, f.process) != 0) state.SkipWithError("write failed");
  report(state, file_size(f.out));
}

void BM_CSMLRead(benchmark::State& state) {
  const Fixture& f = fixture();
  for (auto _ : state) {
    VLK_Network* net = VLK_CSML_read_file(f.csml.c_str(), nullptr);
    if (VLK_Network_num_nodes(net) != static_cast<size_t>(kNodes) ||
        VLK_Network_num_edges(net) != static_cast<size_t>(kEdges))
      state.SkipWithError("bad read");
    benchmark::DoNotOptimize(net);
    state.PauseTiming();  // releasing the network is not reading
    VLK_Network_delete(net);
    state.ResumeTiming();
  }
  report(state, f.csml_bytes);
}

BENCHMARK(BM_CSMLWriteFacts)->Apply(timed);
BENCHMARK(BM_CSMLWriteProcesses)->Apply(timed);
BENCHMARK(BM_CSMLRead)->Apply(timed);

}  // namespace

int main(int argc, char** argv) {
  return file_bench::run(argc, argv, [] { fixture(); });
}
