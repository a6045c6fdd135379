// The edge statistics do not depend on how the nuclei were spread over the processes: J
// synthetic nuclei, dealt out as the job loop deals them and exchanged in batches, leave every
// process with exactly the forward, backward and pair counts a serial count of the same nuclei
// gives for its genes. A lost, doubled or misrouted count changes some cell.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <numeric>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "VLK_Util_jobs.h"
#include "exchange_testing.h"
#include "mpi_test.h"
#include "output_nuc.h"

namespace {

using vlk_test::Ids;
using vlk_test::Tables;

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
Job make_job(int j) {
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

VLK_Graph* make_graph(const Job& job) {
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
void run_jobs(Args* a, int J, int B) {
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

// This process's cells read by the table layout as the other steps of the run read it, and
// the dump of its counts, against the model.
void expect_counts_match(const Args* a, const Model& m) {
  const int P = vlk_test::procs(), r = vlk_test::rank();
  const long own = (kGenes - r + P - 1) / P;
  const long mrows = P * (own - 1) + 2 * r;
  ASSERT_EQ(a->own_genes, own);
  ASSERT_EQ(a->row_length, mrows);
  std::ostringstream dump;
  for (long l = 0; l < own; ++l) {
    const int v = static_cast<int>(l * P + r);
    dump << v;
    for (int w = 0; w < kGenes; ++w) {
      const int pc = a->pair_counts[l * kGenes + w];
      if (w > v) {
        EXPECT_EQ(pc, 0) << "pair count above the diagonal: v=" << v << " w=" << w;
        continue;
      }
      EXPECT_EQ(pc, m.pc[v][w]) << "pairs v=" << v << " w=" << w;
      if (w == v) continue;
      const int f = a->edge_counts[l * mrows + w];
      const int b = a->edge_counts[(own - 1 - l) * mrows + mrows - 1 - w];
      EXPECT_EQ(f, m.f[v][w]) << w << " -> " << v;
      EXPECT_EQ(b, m.b[v][w]) << v << " -> " << w;
      if (m.pc[v][w] >= 1)
        dump << '\t' << w << '\t' << m.f[v][w] << '\t' << m.b[v][w] << '\t' << m.pc[v][w];
    }
    dump << '\n';
  }
  vlk_test::CaptureErr err;
  output_nuc(const_cast<Args*>(a));
  EXPECT_EQ(err.text(), dump.str());
}

struct Case {
  int jobs;
  int batch;
  bool debug;
};

TEST(ExchangeGraph, CountsMatchASerialCountOfTheSameNuclei) {
  // 11 jobs leave some process short under 2, 3 and 4 processes; 2 jobs leave processes
  // without any real job under 3 and 4.
  const Case cases[] = {
      {11, 1, false}, {11, 2, false}, {11, 3, false}, {2, 2, false}, {11, 2, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "jobs=" << c.jobs << " batch=" << c.batch
                                    << " debug=" << c.debug << " rank=" << vlk_test::rank());
    Tables t(kGenes, kModule, vlk_test::rank(), vlk_test::procs());
    t->debug = c.debug;
    {
      vlk_test::CaptureErr quiet;
      run_jobs(t.get(), c.jobs, c.batch);
    }
    expect_counts_match(t.get(), Model(c.jobs));
    // Repeating the same jobs doubles every count.
    {
      vlk_test::CaptureErr quiet;
      run_jobs(t.get(), c.jobs, c.batch);
    }
    Model twice(c.jobs);
    for (auto* table : {&twice.f, &twice.b, &twice.pc})
      for (auto& row : *table)
        for (int& x : row) x *= 2;
    expect_counts_match(t.get(), twice);
  }
}

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) out.push_back(line);
  return out;
}

bool starts_with(const std::string& s, const std::string& prefix) {
  return s.compare(0, prefix.size(), prefix) == 0;
}

TEST(ExchangeGraph, ABatchOfDummiesSendsAndCountsNothing) {
  Tables t(kGenes, kModule, vlk_test::rank(), vlk_test::procs());
  const Ids sel(2 * kModule, kNoGene);
  VLK_Graph* graphs[2] = {nullptr, nullptr};
  vlk_test::CaptureErr err;
  exchange_graph(t.get(), graphs, sel.data(), 2);
  EXPECT_EQ(t.edge_total(), 0);
  EXPECT_EQ(t.pair_total(), 0);
  EXPECT_GT(t->comm_time, 0.0);
  const auto out = lines(err.text());
  ASSERT_EQ(out.size(), 7u) << err.text();
  EXPECT_TRUE(starts_with(out[0], "exchange_graph(N=2) called at ")) << out[0];
  EXPECT_EQ(out[1], "Total send_buff size = 0");
  EXPECT_EQ(out[2], "Exchangin the selected nodes.");
  EXPECT_EQ(out[3], "  Calling MPI_Alltoallv().");
  EXPECT_TRUE(starts_with(out[4], "exchange_graph() done at ")) << out[4];
  EXPECT_TRUE(starts_with(out[5], "exchange_graph() Running time: 0 day 00 hour 00 min "))
      << out[5];
  EXPECT_TRUE(out[6].find("\tsec in total.") != std::string::npos) << out[6];
}

}  // namespace
