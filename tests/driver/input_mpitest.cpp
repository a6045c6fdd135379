// The data input: whatever the process count, every process ends with the very values (bit for
// bit), names and replicate counts that reading the file itself gives, and an input the run
// cannot use ends every process instead of leaving some waiting.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "VLK_DataMatrix.h"
#include "VLK_Data_merge.h"
#include "VLK_EDF.h"
#include "exchange_testing.h"
#include "input/input_data.h"
#include "mpi_test.h"
#include "settings/args.h"
#include "vlk_owned.h"
#include "vlk_test.h"

namespace {

using DataPtr = vlk::Owned<VLK_Data, VLK_Data_delete>;
using vlk_test::expect_lines;

std::string example(const char* name) { return std::string(VLK_EXAMPLES_DIR) + "/" + name; }

// Six genes, three time points in two series, the columns out of time order; the values need
// all seventeen digits.
const char* const kDynamicEdf =
    "$Version\t1.0\n"
    "$PrimaryKeyGroupID\ttime\n"
    "$SecondaryKeyGroupID\tseries\n"
    "@time\t2\t1\t3\t1\t2\t3\n"
    "@series\t1\t1\t1\t2\t2\t2\n"
    "g1\t0.10000000000000001\t-2.5\t3.3333333333333335\t4e-300\t5\t6\n"
    "g2\t1.7976931348623157e308\t2\t3\t4\t5\t6\n"
    "g3\t1\t2\t3\t4\t5\t-0\n"
    "g4\t6\t5\t4\t3\t2\t1\n"
    "g5\t1\t1\t2\t3\t5\t8\n"
    "g6\t2.2250738585072014e-308\t0\t0\t0\t0\t0.5\n";

struct Input {
  const char* name;
  std::string path;
  const char* type;     // --input-type
  const char* options;  // -I
  bool share_names;
  bool dynamic;
};

// One process's run settings for the input alone.
struct InputRun {
  Args* a = Args_new();
  explicit InputRun(const Input& in) {
    a->input_file = strdup(in.path.c_str());
    a->input_type = strdup(in.type);
    a->input_args = in.options ? VLK_KeyValues_parse(in.options) : nullptr;
    a->share_names = in.share_names ? 1 : 0;
    a->algo_args->dynamic = in.dynamic ? 1 : 0;
    a->bootstrap_blocks = in.dynamic ? 3 : -1;  // (3 time points - 1) x 3: enough samples
    a->module_size = 2;
  }
  ~InputRun() {
    input_data_free(a);
    Args_delete(a);
  }
};

// What this process reads from the file on its own.
DataPtr read_here(const Input& in) {
  const vlk::Owned<VLK_KeyValues, VLK_KeyValues_delete> options(
      in.options ? VLK_KeyValues_parse(in.options) : nullptr);
  vlk_test::CaptureErr quiet;
  DataPtr d(std::strcmp(in.type, "matrix") == 0
                ? VLK_DataMatrix_read_file(in.path.c_str(), options.get())
                : VLK_EDF_read_file(in.path.c_str(), options.get()));
  if (in.dynamic) VLK_Data_sort_by_primary(d.get());
  return d;
}

TEST(InputData, EveryProcessHoldsTheValuesTheFileGives) {
  vlk_test::TempFile dynamic(kDynamicEdf, ".edf");
  // The same time points counted from 0.
  std::string from_zero = kDynamicEdf;
  const std::string times = "@time\t2\t1\t3\t1\t2\t3\n";
  from_zero.replace(from_zero.find(times), times.size(), "@time\t1\t0\t2\t0\t1\t2\n");
  vlk_test::TempFile dynamic0(from_zero, ".edf");
  const Input inputs[] = {
      {"EDF", example("exprsData.edf"), "edf", nullptr, false, false},
      {"data matrix", example("exprsData.txt"), "matrix", "h=1,l=1", false, false},
      {"EDF, shared names", example("exprsData.edf"), "EDF", nullptr, true, false},
      {"data matrix, shared names", example("exprsData.txt"), "matrix", "h=1,l=1", true, false},
      {"dynamic EDF", dynamic.path(), "edf", nullptr, false, true},
      {"dynamic EDF, shared names", dynamic.path(), "Edf", nullptr, true, true},
      {"dynamic EDF, time points from 0", dynamic0.path(), "edf", nullptr, false, true},
  };
  for (const Input& in : inputs) {
    SCOPED_TRACE(testing::Message() << in.name << ", rank " << vlk_test::rank());
    InputRun run(in);
    {
      vlk_test::CaptureErr quiet;
      input_data(run.a);
    }
    const DataPtr d = read_here(in);
    ASSERT_NE(d, nullptr);
    Args* a = run.a;
    ASSERT_EQ(a->nodes, d->p);
    ASSERT_EQ(a->samples, d->n);
    ASSERT_NE(a->whole_values, nullptr);
    EXPECT_EQ(std::memcmp(a->whole_values, d->X, sizeof(double) * d->p * d->n), 0);
    const bool has_data = in.share_names || vlk_test::rank() == 0;
    ASSERT_EQ(a->whole_data != nullptr, has_data);
    if (has_data) {
      ASSERT_EQ(VLK_StrArray_size(a->whole_data->names), static_cast<size_t>(d->p));
      for (int i = 0; i < d->p; ++i)
        EXPECT_STREQ(VLK_Data_get_name(a->whole_data, i), VLK_Data_get_name(d.get(), i)) << i;
    }
    if (in.dynamic) {
      const vlk::Owned<VLK_IntArray, VLK_IntArray_delete> reps(VLK_Data_get_replicates(d.get()));
      ASSERT_EQ(a->time_points, 3);
      EXPECT_EQ(std::vector<int>(a->replicates, a->replicates + 3),
                std::vector<int>(reps->data, reps->data + reps->size));
      EXPECT_EQ(std::vector<int>(a->replicates, a->replicates + 3), (std::vector<int>{2, 2, 2}));
    } else {
      EXPECT_EQ(a->time_points, 0);
      EXPECT_EQ(a->replicates, nullptr);
    }
  }
}

TEST(InputData, ProgressLines) {
  const std::string path = example("exprsData.edf");
  InputRun run({"EDF", path, "edf", nullptr, false, false});
  vlk_test::CaptureErr err;
  input_data(run.a);
  if (vlk_test::rank() == 0) {
    // The reader's own two lines come between.
    expect_lines(
        err.text(),
        {"Reading the input data matrix.", "  file: " + path, "  500 nodes  x  26 samples read.",
         "  Requires 104,000 [bytes] (0 [MiB])", "  nodes = 500, samples = 26",
         "Broadcasting the input data matrix  at *", "Sent the input matrix size.", "  at *",
         "Broadcasting input values.", "  Done at *"});
  } else {
    expect_lines(err.text(), {"Receving the input data matrix  at *",
                              "Received the input matrix size: nodes = 500, samples = 26.",
                              "  at *", "Broadcasting input values.", "  Done at *"});
  }
}

// Run alone, by the tests that start their own mpirun (tests/CMakeLists.txt): each ends every
// process, so it is skipped in the ordinary run of this program.
TEST(InputRefused, EndsEveryProcess) {
  const char* which = std::getenv("VLK_TEST_INPUT_REFUSAL");
  if (which == nullptr) GTEST_SKIP() << "started by its own mpirun only";
  // A malformed EDF row: process 0's reader ends the process, which must take the others
  // along. Or a module larger than the data: every process refuses the sizes together.
  vlk_test::TempFile broken("$Version\t1.0\ng1\t1\t2\ng2\t1\tinf\n", ".edf");
  InputRun run({"refusal", broken.path(), "edf", nullptr, false, false});
  if (std::strcmp(which, "sizes") == 0) {
    vlk_test::TempFile small("g1\t1\t2\ng2\t3\t4\ng3\t5\t6\ng4\t7\t8\n", ".edf");
    std::free(run.a->input_file);
    run.a->input_file = strdup(small.path().c_str());
    run.a->module_size = 5;
    input_data(run.a);
  } else {
    input_data(run.a);
  }
  ADD_FAILURE() << "input_data returned";
}

}  // namespace
