// The VLK3 format on a network of the size a whole run writes: 20,000 genes and 200,000 edges,
// each edge with the three properties of the driver's final network (edgeScore and Freq as
// doubles, Count as an int). Writing and reading are timed through files in the temporary
// directory and reported in MB/s (10^6 bytes of file per second) beside the data-matrix
// reader's rate on a matrix file of about the same size, read in the same run; the acyclic
// extraction is timed on the same network's edges with random frequencies.
//
// Goals: a read and a write each under 1 s, the extraction under 1 s. Every case runs five
// repetitions, since the machine may be busy: compare the time of the "min" line (its MB/s
// is the slowest repetition's; the fastest one's is the largest MB/s of the five).
// The reading time leaves out releasing the network.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "OTO_PK.h"
#include "VLK_Data.h"
#include "VLK_DataMatrix.h"
#include "VLK_IO.h"
#include "VLK_Network_convert.h"
#include "VLK_PCGraph.h"
#include "VLK_VLK3.h"
#include "file_bench.h"
#include "velkcom.h"

namespace {

using file_bench::file_size;
using file_bench::report;
using file_bench::timed;

constexpr int kNodes = 20000;
constexpr int kEdges = 200000;
constexpr int kMatrixSamples = 40;

struct Fixture {
  std::string vlk3, out, matrix;
  size_t vlk3_bytes = 0, matrix_bytes = 0;
  VLK_Network* net = nullptr;
  VLK_PCGraph* graph = nullptr;
  VLK_FloatArray* freq = VLK_FloatArray_new();

  Fixture() {
    const auto dir = std::filesystem::temp_directory_path();
    const std::string stem = "vlk_vlk3_bench_" + std::to_string(getpid());
    vlk3 = (dir / (stem + ".vlk3")).string();
    out = (dir / (stem + ".out.vlk3")).string();
    matrix = (dir / (stem + ".txt")).string();

    std::mt19937_64 gen(11);
    std::uniform_int_distribution<int> node(0, kNodes - 1);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    std::uniform_int_distribution<int> count(1, 500);
    net = VLK_Network_new();
    for (int i = 0; i < kNodes; ++i) {
      const std::string name = file_bench::gene_name(i);
      const std::string alias = file_bench::gene_alias(i);
      VLK_Network_add_node(net, VLK_Node_new(name.c_str(), alias.c_str()));
    }
    while (VLK_Network_num_edges(net) < static_cast<size_t>(kEdges)) {
      const int p = node(gen), c = node(gen);
      if (p == c || VLK_Network_get_edge_index(net, p, c) != nullptr) continue;
      VLK_Edge* e = VLK_Network_add_edge_index(net, p, c);
      const double f = unit(gen);
      VLK_Edge_add_property_double(e, "edgeScore", f);
      VLK_Edge_add_property_double(e, "Freq", f);
      VLK_Edge_add_property_int(e, "Count", count(gen));
      VLK_FloatArray_add(freq, static_cast<float>(f));
    }
    graph = VLK_Network_pcgraph_ord(net);  // edge k is the network's edge k, as freq
    if (VLK3_write_file(vlk3.c_str(), net, nullptr) != 0) std::abort();
    vlk3_bytes = file_size(vlk3);

    std::string rows;
    char field[32];
    for (int g = 0; g < kNodes; ++g) {
      rows += "gene_" + std::to_string(g);
      for (int s = 0; s < kMatrixSamples; ++s) {
        const int n = std::snprintf(field, sizeof field, "\t%.3f", 2000.0 * unit(gen) - 500.0);
        rows.append(field, static_cast<size_t>(n));
      }
      rows += '\n';
    }
    FILE* fp = std::fopen(matrix.c_str(), "w");
    if (fp == nullptr) std::abort();
    std::fwrite(rows.data(), 1, rows.size(), fp);
    std::fclose(fp);
    matrix_bytes = rows.size();
  }
  ~Fixture() {
    std::remove(vlk3.c_str());
    std::remove(out.c_str());
    std::remove(matrix.c_str());
    VLK_Network_delete(net);
    VLK_PCGraph_delete(graph);
    VLK_FloatArray_delete(freq);
  }
};

const Fixture& fixture() {
  static const Fixture f;
  return f;
}

void BM_VLK3Write(benchmark::State& state) {
  const Fixture& f = fixture();
  for (auto _ : state)
    if (VLK3_write_file(f.out.c_str(), f.net, nullptr) != 0) state.SkipWithError("write failed");
  report(state, file_size(f.out));
}

void BM_VLK3Read(benchmark::State& state) {
  const Fixture& f = fixture();
  for (auto _ : state) {
    VLK_Network* net = VLK3_read_file(f.vlk3.c_str(), nullptr);
    if (net == nullptr || VLK_Network_num_edges(net) != static_cast<size_t>(kEdges))
      state.SkipWithError("bad read");
    benchmark::DoNotOptimize(net);
    state.PauseTiming();  // releasing the network is not reading
    VLK_Network_delete(net);
    state.ResumeTiming();
  }
  report(state, f.vlk3_bytes);
}

void BM_DataMatrixRead(benchmark::State& state) {
  const Fixture& f = fixture();
  for (auto _ : state) {
    VLK_Data* d = VLK_DataMatrix_read_file_sa(f.matrix.c_str(), "l=1");
    if (d == nullptr || d->p != kNodes || d->n != kMatrixSamples) state.SkipWithError("bad read");
    benchmark::DoNotOptimize(d);
    VLK_Data_delete(d);
  }
  report(state, f.matrix_bytes);
}

// The driver's extract_DAG is this function under its own name. Every edge a candidate
// (threshold 0), or about 70% of them (0.3).
void BM_ExtractDAG(benchmark::State& state) {
  const Fixture& f = fixture();
  const float threshold = static_cast<float>(state.range(0)) / 10.0f;
  VLK_PCGraph* dag = VLK_PCGraph_new(kNodes);
  for (auto _ : state) VLK_PCGraph_DAG_fsc_th(f.graph, f.freq, threshold, dag);
  state.counters["kept"] = static_cast<double>(VLK_PCGraph_num_edges(dag));
  VLK_PCGraph_delete(dag);
}

BENCHMARK(BM_VLK3Write)->Apply(timed);
BENCHMARK(BM_VLK3Read)->Apply(timed);
BENCHMARK(BM_DataMatrixRead)->Apply(timed);
BENCHMARK(BM_ExtractDAG)->Arg(0)->Arg(3)->Apply(timed);

}  // namespace

int main(int argc, char** argv) {
  return file_bench::run(argc, argv, [] { fixture(); });
}
