// The job loop's refusals: what would leave processes waiting in an exchange, or hand the
// exchange a graph it cannot read, ends the run with a line instead.
#include "method/nucleus_jobs.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "VLK_RNG.h"
#include "exchange/edge_tables.h"
#include "settings/args.h"
#include "vlk_test.h"

namespace {

constexpr int kGenes = 4;
constexpr int kSamples = 24;

// One process of one, with the start-up done: an RSR run without 1-to-1 tables, so a job
// reaches its search without any exchange before it.
class Loop : public testing::Test {
 protected:
  Args* a = Args_new_rank(0, 1);
  VLK_RNG* rng = VLK_RNG_new();
  std::vector<double> values;

  void SetUp() override {
    a->nodes = kGenes;
    a->samples = kSamples;
    a->module_size = kGenes;
    a->method = 0;
    a->oto_interval = -1;
    a->exchange_interval = a->rw_interval = 1;
    for (int g = 0; g < kGenes; ++g)
      for (int j = 0; j < kSamples; ++j) values.push_back(std::sin(1.3 * g + 0.7 * j));
    a->whole_values = values.data();
    a->algo_args->rng = rng;
    vlk_test::CaptureErr quiet;
    edge_tables_alloc(a);
    exchange_buffers_new(a);
    VLK_Data* d = a->nucleus_data;
    d->X = d->Y = static_cast<double*>(std::malloc(sizeof(double) * kGenes * kSamples));
    d->n = kSamples;
    d->p = kGenes;
  }
  void TearDown() override {
    generate_nuclei_search = nucleus_search;
    exchange_buffers_delete(a);
    edge_tables_free(a);
    a->whole_values = nullptr;
    Args_delete(a);
    VLK_RNG_delete(rng);
  }
};

TEST_F(Loop, AnUnknownAlgorithmIsRefusedBeforeThePasses) {
  a->algo_id = 3;
  int counter = 0;
  EXPECT_FATAL_EXIT(generate_nuclei(a, 2, &counter), "ERROR: Unknown Algorithm ID Detected: 3\n");
}

TEST_F(Loop, AChunkOfNoJobsDoesNothing) {
  a->algo_id = 3;  // not even looked at
  int counter = 5;
  vlk_test::CaptureErr err;
  generate_nuclei(a, 0, &counter);
  generate_nuclei(a, -2, &counter);
  EXPECT_EQ(counter, 5);
  EXPECT_EQ(err.text(), "");
}

TEST_F(Loop, ASearchWithoutAUsableGraphEndsTheRun) {
  struct Row {
    NucleusSearchFn search;
    const char* line;
  };
  const Row rows[] = {
      {[](Args*) -> VLK_Graph* { return nullptr; },
       "ERROR: generate_nuclei(): the search of job 1 (seed 0) returned no graph\n"},
      {[](Args*) { return VLK_Graph_new(kGenes - 1); },
       "ERROR: generate_nuclei(): the search of job 1 returned a graph of 3 nodes for a nucleus "
       "of 4\n"},
  };
  for (const Row& row : rows) {
    generate_nuclei_search = row.search;
    int counter = 0;
    const vlk_test::Ending end = vlk_test::run_fatal([&] { generate_nuclei(a, 1, &counter); });
    EXPECT_TRUE(end.exit1());
    EXPECT_TRUE(end.err.ends_with(row.line)) << end.err;
    EXPECT_EQ(end.err.find("exchange_graph"), std::string::npos);
  }
}

}  // namespace
