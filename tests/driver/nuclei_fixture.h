// Synthetic nuclei for the exchange tests: nucleus j depends on j alone, so every process can
// build any of them, deal them out as the job loop does, and count them serially.
#pragma once

#include <mpi.h>

#include <algorithm>
#include <array>
#include <numeric>
#include <random>
#include <vector>

#include "VLK_Graph.h"
#include "VLK_Util_jobs.h"
#include "exchange/edge_records.h"
#include "exchange/graph_exchange.h"
#include "exchange_testing.h"
#include "mpi_test.h"

namespace vlk_test {

constexpr int kGenes = 13;
constexpr int kModule = 5;

// One synthetic nucleus: its genes (ascending) and its parent lists over positions.
struct Job {
  Ids genes;
  std::vector<std::vector<int>> parents;  // per position
};

// Nucleus j depends on j alone, so every process builds the same one whoever runs it. Job 2
// has no edge; job 4 holds one gene twice, with edges between the copies and into both; every
// position may name itself as a parent.
inline Job make_job(int j) {
  std::mt19937 rng(static_cast<unsigned>(1000 + j));
  Job job;
  std::vector<unsigned short> all(kGenes);
  std::iota(all.begin(), all.end(), 0);
  std::shuffle(all.begin(), all.end(), rng);
  job.genes.assign(all.begin(), all.begin() + kModule);
  std::sort(job.genes.begin(), job.genes.end());
  job.parents.resize(kModule);
  if (j == 2) return job;
  for (int i = 0; i < kModule; ++i) {
    std::vector<int> positions(kModule);
    std::iota(positions.begin(), positions.end(), 0);
    std::shuffle(positions.begin(), positions.end(), rng);
    const int count = static_cast<int>(rng() % 4);
    job.parents[i].assign(positions.begin(), positions.begin() + count);
  }
  if (j == 4) {
    job.genes[2] = job.genes[1];
    job.parents[2] = {1, 0};
    job.parents[1] = {2, 4};
    job.parents[3].push_back(2);
  }
  return job;
}

inline VLK_Graph* make_graph(const Job& job) {
  VLK_Graph* g = VLK_Graph_new(kModule);
  for (int ch = 0; ch < kModule; ++ch)
    for (int pa : job.parents[ch]) VLK_Graph_add_edge(g, pa, ch);
  return g;
}

// The counts of jobs 0 .. J-1 taken one nucleus at a time, straight from their definition:
// f[v][w] edges w -> v, b[v][w] edges v -> w (w < v), pc[v][w] nuclei holding v and w (w <= v,
// one per pair of positions).
struct Model {
  std::array<std::array<int, kGenes>, kGenes> f{}, b{}, pc{};
  explicit Model(int J) {
    for (int j = 0; j < J; ++j) {
      const Job job = make_job(j);
      for (int ch = 0; ch < kModule; ++ch) {
        for (int pa : job.parents[ch]) {
          const int x = job.genes[pa], y = job.genes[ch];
          if (x < y) ++f[y][x];
          if (x > y) ++b[x][y];
        }
      }
      for (int q = 0; q < kModule; ++q)
        for (int p = 0; p < q; ++p) ++pc[job.genes[q]][job.genes[p]];
    }
  }
};

// Runs J jobs dealt out over the processes, B passes per exchange; every process runs the
// same number of passes (the short ones pad with dummy rows) and so the same exchanges.
inline void run_jobs(Args* a, int J, int B) {
  const int P = vlk_test::procs();
  int start = 0, count = 0;
  const div_t split = VLK_Util_job_split(J, P, vlk_test::rank(), &start, &count);
  const int passes = split.quot + (split.rem != 0 ? 1 : 0);
  Ids sel(static_cast<size_t>(B) * kModule);
  std::vector<VLK_Graph*> graphs(static_cast<size_t>(B), nullptr);
  int fill = 0;
  auto exchange = [&] {
    exchange_graph(a, graphs.data(), sel.data(), fill);
    for (VLK_Graph*& g : graphs) {
      if (g) VLK_Graph_delete(g);
      g = nullptr;
    }
    fill = 0;
  };
  for (int pass = 0; pass < passes; ++pass) {
    unsigned short* row = sel.data() + static_cast<size_t>(fill) * kModule;
    if (pass < count) {
      const Job job = make_job(start + pass);
      std::copy(job.genes.begin(), job.genes.end(), row);
      graphs[fill] = make_graph(job);
    } else {
      std::fill(row, row + kModule, kNoGene);
    }
    if (++fill == B) exchange();
  }
  if (fill != 0) exchange();
}

}  // namespace vlk_test
