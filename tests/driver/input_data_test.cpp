// The sizes of the input data that no run can work on are refused, each with its line, before
// any table is made.
#include "input_data.h"

#include <gtest/gtest.h>

#include <string>

#include "args.h"
#include "vlk_test.h"

namespace {

struct Sizes {
  int nodes = 20, samples = 8, processes = 4, module = 10, dynamic = 0, blocks = -1, points = 0;
};

void check(const Sizes& s) {
  Args* a = Args_new_rank(0, s.processes);
  a->nodes = s.nodes;
  a->samples = s.samples;
  a->module_size = s.module;
  a->algo_args->dynamic = s.dynamic;
  a->bootstrap_blocks = s.blocks;
  a->time_points = s.points;
  input_check_sizes(a);
  Args_delete(a);
}

TEST(InputCheckSizes, RefusesWhatNoRunCanWorkOn) {
  struct Row {
    const char* name;
    Sizes s;
    const char* error;  // null: accepted
  };
  const Row rows[] = {
      {"usable", {}, nullptr},
      {"nothing read",
       {.nodes = -1, .samples = -1},
       "ERROR: input_data(): no data set was read "
       "from the input file\n"},
      {"no gene",
       {.nodes = 0},
       "ERROR: input_data(): the input data holds no gene or no sample: nodes = 0, samples = 8\n"},
      {"no sample",
       {.samples = 0},
       "ERROR: input_data(): the input data holds no gene or no sample: nodes = 20, samples = 0\n"},
      {"65535 genes", {.nodes = 65535, .module = 10}, nullptr},
      {"65536 genes",
       {.nodes = 65536},
       "ERROR: 65536 genes are more than the 65535 that 16-bit gene ids address\n"},
      {"module above the genes",
       {.module = 21},
       "ERROR: the module size (-m) must be between 1 and the number of genes (20): 21\n"},
      {"fewer genes than processes",
       {.nodes = 3, .processes = 4, .module = 3},
       "ERROR: input_data(): 3 genes are fewer than the 4 processes\n"},
      {"as many genes as processes", {.nodes = 4, .processes = 4, .module = 4}, nullptr},
      {"dynamic, one time point",
       {.dynamic = 1, .blocks = 3, .points = 1},
       "ERROR: input_data(): dynamic data need at least two time points: 1 found\n"},
      {"dynamic, no --Bnum",
       {.dynamic = 1, .points = 5},
       "ERROR: Normal dynamic model not supported.\n"},
      {"dynamic, two time points", {.dynamic = 1, .blocks = 3, .points = 2}, nullptr},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const auto end = vlk_test::run_fatal([&] { check(row.s); });
    if (row.error == nullptr) {
      EXPECT_TRUE(end.exited && end.status == 0) << end.err;
      EXPECT_EQ(end.err, "");
    } else {
      EXPECT_TRUE(end.exit1()) << end.status;
      EXPECT_EQ(end.err, row.error);
    }
  }
}

}  // namespace
