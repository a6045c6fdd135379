// The edge statistics do not depend on how the nuclei were spread over the processes: J
// synthetic nuclei, dealt out as the job loop deals them and exchanged in batches, leave every
// process with exactly the forward, backward and pair counts a serial count of the same nuclei
// gives for its genes. A lost, doubled or misrouted count changes some cell.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "exchange/graph_exchange.h"
#include "exchange_testing.h"
#include "mpi_test.h"
#include "nuclei_fixture.h"
#include "output/output_nuc.h"

namespace {

using namespace vlk_test;

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

TEST(ExchangeGraph, ABatchOfDummiesSendsAndCountsNothing) {
  Tables t(kGenes, kModule, vlk_test::rank(), vlk_test::procs());
  const Ids sel(2 * kModule, kNoGene);
  VLK_Graph* graphs[2] = {nullptr, nullptr};
  vlk_test::CaptureErr err;
  exchange_graph(t.get(), graphs, sel.data(), 2);
  EXPECT_EQ(t.edge_total(), 0);
  EXPECT_EQ(t.pair_total(), 0);
  EXPECT_GT(t->comm_time, 0.0);
  expect_lines(
      err.text(),
      {"exchange_graph(N=2) called at *", "Total send_buff size = 0",
       "Exchangin the selected nodes.", "  Calling MPI_Alltoallv().", "exchange_graph() done at *",
       "exchange_graph() Running time: 0 day 00 hour 00 min *", "*\tsec in total."});
}

}  // namespace
