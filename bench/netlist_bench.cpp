// The name-based edge and parent lists on a network of the size users exchange with other tools:
// 20,000 genes and 100,000 random edges. The TXT file is one line per edge; the PALIST file one
// line per child listing its parents. Reading is timed through files in the temporary directory
// and reported in MB/s (10^6 bytes of file per second) and in edges per second; the TXT writer
// and the VLK2 reader on the same network are timed beside them.
//
// Goal: each read under 1 s, so a reader must not scan the network per line. Every case runs five
// repetitions, since the machine may be busy: compare the time of the "min" line. The reading
// time leaves out releasing the network.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "VLK_ListReaders.h"
#include "VLK_TXT.h"
#include "VLK_VLK2.h"
#include "file_bench.h"
#include "velkcom.h"

namespace {

using file_bench::file_size;
using file_bench::timed;

constexpr int kNodes = 20000;
constexpr int kEdges = 100000;

int write_with(const std::string& path, const VLK_Network* net,
               int (*write)(FILE*, const VLK_Network*, const VLK_KeyValues*)) {
  FILE* fp = std::fopen(path.c_str(), "w");
  if (fp == nullptr) return 1;
  const int r = write(fp, net, nullptr);
  return std::fclose(fp) != 0 ? 1 : r;
}

struct Fixture {
  std::string txt, palist, vlk2, out;
  VLK_Network* net = VLK_Network_new();

  Fixture() {
    const auto dir = std::filesystem::temp_directory_path();
    const std::string stem = (dir / ("vlk_netlist_bench_" + std::to_string(getpid()))).string();
    txt = stem + ".txt";
    palist = stem + ".palist";
    vlk2 = stem + ".vlk2";
    out = stem + ".out.txt";

    for (int i = 0; i < kNodes; ++i) {
      const std::string name = file_bench::gene_name(i);
      const std::string alias = file_bench::gene_alias(i);
      VLK_Network_add_node(net, VLK_Node_new(name.c_str(), alias.c_str()));
    }
    std::mt19937_64 gen(13);
    std::uniform_int_distribution<int> node(0, kNodes - 1);
    while (VLK_Network_num_edges(net) < static_cast<size_t>(kEdges)) {
      const int p = node(gen), c = node(gen);
      if (p != c) VLK_Network_add_edge_index(net, p, c);
    }
    FILE* quiet = stderr;
    stderr = VELK_ERR;  // the TXT writer's progress lines
    if (write_with(txt, net, TXT_write_fp) != 0 || write_with(vlk2, net, VLK2_write_fp) != 0)
      std::abort();
    stderr = quiet;

    std::string lists;
    for (int c = 0; c < kNodes; ++c) {
      const VLK_IntArray* parents = VLK_Network_get_parent_indexes(net, c);
      if (parents->size == 0) continue;
      lists += VLK_Network_node_name(net, c);
      for (size_t k = 0; k < parents->size; ++k)
        (lists += '\t') += VLK_Network_node_name(net, parents->data[k]);
      lists += '\n';
    }
    FILE* fp = std::fopen(palist.c_str(), "w");
    if (fp == nullptr) std::abort();
    std::fwrite(lists.data(), 1, lists.size(), fp);
    std::fclose(fp);
  }
  ~Fixture() {
    for (const std::string* p : {&txt, &palist, &vlk2, &out}) std::remove(p->c_str());
    VLK_Network_delete(net);
  }
};

const Fixture& fixture() {
  static const Fixture f;
  return f;
}

void report(benchmark::State& state, size_t bytes) {
  file_bench::report(state, bytes);
  state.counters["edges/s"] =
      benchmark::Counter(kEdges, benchmark::Counter::kIsIterationInvariantRate);
}

void read_case(benchmark::State& state, const std::string& path,
               VLK_Network* (*read)(FILE*, const VLK_KeyValues*)) {
  FILE* quiet = stderr;
  stderr = VELK_ERR;  // the TXT reader's closing count
  for (auto _ : state) {
    FILE* fp = std::fopen(path.c_str(), "r");
    VLK_Network* net = fp != nullptr ? read(fp, nullptr) : nullptr;
    if (fp != nullptr) std::fclose(fp);
    if (net == nullptr || VLK_Network_num_edges(net) != static_cast<size_t>(kEdges))
      state.SkipWithError("bad read");
    benchmark::DoNotOptimize(net);
    state.PauseTiming();  // releasing the network is not reading
    VLK_Network_delete(net);
    state.ResumeTiming();
  }
  stderr = quiet;
  report(state, file_size(path));
}

void BM_TXTRead(benchmark::State& state) { read_case(state, fixture().txt, TXT_read_fp); }
void BM_PALISTRead(benchmark::State& state) { read_case(state, fixture().palist, PALIST_read_fp); }
void BM_VLK2Read(benchmark::State& state) { read_case(state, fixture().vlk2, VLK2_read_fp); }

void BM_TXTWrite(benchmark::State& state) {
  const Fixture& f = fixture();
  FILE* quiet = stderr;
  stderr = VELK_ERR;
  for (auto _ : state)
    if (write_with(f.out, f.net, TXT_write_fp) != 0) state.SkipWithError("write failed");
  stderr = quiet;
  report(state, file_size(f.out));
}

BENCHMARK(BM_TXTRead)->Apply(timed);
BENCHMARK(BM_PALISTRead)->Apply(timed);
BENCHMARK(BM_VLK2Read)->Apply(timed);
BENCHMARK(BM_TXTWrite)->Apply(timed);

}  // namespace

int main(int argc, char** argv) {
  return file_bench::run(argc, argv, [] { fixture(); });
}
