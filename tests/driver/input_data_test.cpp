// The input data that no run can work on are refused, each with its line: a directory or a
// matrix given as EDF before any reader sees the file, unusable sizes before any table is made.
#include "input/input_data.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "VLK_DataMatrix.h"
#include "settings/args.h"
#include "velkcom.h"
#include "vlk_owned.h"
#include "vlk_test.h"

namespace {

struct Sizes {
  int nodes = 20, samples = 8, processes = 4, module = 10, dynamic = 0, blocks = -1, points = 0,
      parents = 1;
  const char* two_step = nullptr;  // -A of --algo tshc
};

void check(const Sizes& s) {
  Args* a = Args_new_rank(0, s.processes);
  a->nodes = s.nodes;
  a->samples = s.samples;
  a->module_size = s.module;
  a->algo_args->dynamic = s.dynamic;
  a->bootstrap_blocks = s.blocks;
  a->time_points = s.points;
  a->algo_args->max_parents = s.parents;
  if (s.two_step != nullptr) {
    a->algo_name = strdup("tshc");
    a->algo_options = VLK_KeyValues_parse(s.two_step);
  }
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
      {"dynamic, two time points", {.dynamic = 1, .blocks = 5, .points = 2}, nullptr},
      // A fit on q parents takes 2(q + 1) samples; the score needs one more to weigh it.
      {"one sample",
       {.samples = 1},
       "ERROR: input_data(): too few samples for the score: samples = 1, and -M 1 needs at least "
       "5\n"},
      {"four samples",
       {.samples = 4},
       "ERROR: input_data(): too few samples for the score: samples = 4, and -M 1 needs at least "
       "5\n"},
      {"five samples", {.samples = 5}, nullptr},
      {"three parents, eight samples",
       {.samples = 8, .parents = 3},
       "ERROR: input_data(): too few samples for the score: samples = 8, and -M 3 needs at least "
       "9\n"},
      {"three parents, nine samples", {.samples = 9, .parents = 3}, nullptr},
      // Two-step hill climbing's second step has a limit of its own, when it scores with BNRC.
      {"second step of four parents",
       {.samples = 9, .parents = 1, .two_step = "first=F,m=4"},
       "ERROR: input_data(): too few samples for the score: samples = 9, and m= of -A 4 needs at "
       "least 11\n"},
      {"second step of fewer parents",
       {.samples = 9, .parents = 3, .two_step = "first=F,m=2,s=BNRC"},
       nullptr},
      {"second step scored otherwise", {.samples = 9, .two_step = "first=F,m=4,s=BDE"}, nullptr},
      {"no second step", {.samples = 9, .two_step = "first=F,m=4,firstonly"}, nullptr},
      {"dynamic, too few bootstrap samples",
       {.samples = 40, .dynamic = 1, .blocks = 2, .points = 3},
       "ERROR: input_data(): too few samples for the score: (3 time points - 1) x --Bnum 2 = 4, "
       "and -M 1 needs at least 5\n"},
      {"dynamic, enough bootstrap samples",
       {.samples = 2, .dynamic = 1, .blocks = 5, .points = 2},
       nullptr},
      // Dynamic data without --Bnum never get here: parse_args refuses them on every process.
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

// Process 0's look at the file: what it refuses, and that a file it lets pass is left at its
// start for the reader.
struct FileCheck {
  std::string type = "edf";
  const char* options = nullptr;  // -I
};

vlk_test::Ending check_file(const std::string& path, const FileCheck& c) {
  return vlk_test::run_fatal([&] {
    Args* a = Args_new_rank(0, 1);
    a->input_file = strdup(path.c_str());
    a->input_type = strdup(c.type.c_str());
    a->input_args = c.options ? VLK_KeyValues_parse(c.options) : nullptr;
    FILE* fp = std::fopen(path.c_str(), "r");
    input_check_file(a, fp);
    if (std::ftell(fp) != 0) std::fprintf(VELK_ERR, "not at the start\n");
    std::fclose(fp);
    Args_delete(a);
  });
}

std::string hint(const std::string& path, int line, const std::string& start, const char* delim,
                 int labels, const char* csv = "") {
  const std::string n = std::to_string(labels);
  return "ERROR: input_data(): " + path + " is not EDF: line " + std::to_string(line) + " (\"" +
         start + "...\") holds no value, the header row of a matrix; a " + delim +
         "-delimited matrix with one header row and " + n + " label column" +
         (labels == 1 ? "" : "s") +
         " reads with --input-type matrix -I header_rows=1,label_columns=" + n + csv + "\n";
}

TEST(InputCheckFile, MatrixGivenAsEdf) {
  struct Row {
    const char* name;
    std::string text;
    FileCheck check;
    int line, labels;  // of the hint; line 0: passed to the reader
    std::string start;
    bool comma = false;
  };
  const Row rows[] = {
      {"a header row, one label column",
       "Feature\tA\tB\ng1\t1\t2\ng2\t3\t4\n",
       {},
       1,
       1,
       "Feature\\tA"},
      {"a header row, name and alias", "id\tal\tS1\nA\ta\t1\nB\tb\t2\n", {}, 1, 2, "id\\tal"},
      {"after comments and blank lines, with a byte-order mark",
       "\xEF\xBB\xBF# made by hand\n\n  \nFeature\tA\nx\t5\n",
       {},
       4,
       1,
       "Feature\\tA"},
      {"a missing value opening one row is no label",
       "h\tA\tB\ng1\tNA\t2\ng2\t3\t4\n",
       {},
       1,
       1,
       "h\\tA"},
      {"the header row alone", "Feature\tA\tB\n", {}, 1, 1, "Feature\\tA"},
      {"comma-delimited", "Feature,A,B\ng1,a1,1,2\n", {"edf", "d=comma"}, 1, 2, "Feature,A", true},
      {"any case of the input type", "Feature\tA\nx\t5\n", {"EDF"}, 1, 1, "Feature\\tA"},
      // The reader's own checks take the rest.
      {"EDF", "$Version\t1.0\ng1\t1\t2\n", {}, 0, 0, ""},
      {"attributes first", "@time\tA\tB\ng1\t1\t2\n", {}, 0, 0, ""},
      {"data rows only", "g1\t1\t2\ng2\t3\t4\n", {}, 0, 0, ""},
      {"a first row with one value", "g1\tx\t2\n", {}, 0, 0, ""},
      {"a first row of missing values", "g1\tNAN\tnan\n", {}, 0, 0, ""},
      {"a first row of another keyword", "g1\t-\t-\n", {"edf", "nan=-,allow_nan=on"}, 0, 0, ""},
      {"a first row of infinities", "g1\tinf\n", {}, 0, 0, ""},
      {"a name alone", "Feature\n", {}, 0, 0, ""},
      {"empty", "", {}, 0, 0, ""},
      {"the matrix reader", "Feature\tA\tB\ng1\t1\t2\n", {"matrix"}, 0, 0, ""},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    vlk_test::TempFile file(r.text, ".edf");
    const vlk_test::Ending end = check_file(file.path(), r.check);
    if (r.line == 0) {
      EXPECT_TRUE(end.exited && end.status == 0) << end.err;
      EXPECT_EQ(end.err, "");
    } else {
      EXPECT_TRUE(end.exit1());
      EXPECT_EQ(end.err, hint(file.path(), r.line, r.start, r.comma ? "comma" : "TAB", r.labels,
                              r.comma ? ",csv" : ""));
    }
  }
}

// The example matrix given as EDF: the options of the hint read it as the EDF example reads.
TEST(InputCheckFile, TheHintReadsTheExampleMatrix) {
  const std::string txt = std::string(VLK_EXAMPLES_DIR) + "/exprsData.txt";
  const vlk_test::Ending end = check_file(txt, {});
  ASSERT_TRUE(end.exit1());
  const std::string options = "header_rows=1,label_columns=1";
  EXPECT_EQ(end.err, hint(txt, 1, "Feature\\tA", "TAB", 1));

  // The values themselves: Examples.BothFormatsGiveTheSameValues in the reader tests.
  using DataPtr = vlk::Owned<VLK_Data, VLK_Data_delete>;
  using OptionsPtr = vlk::Owned<VLK_KeyValues, VLK_KeyValues_delete>;
  vlk_test::CaptureErr quiet;
  const OptionsPtr list(VLK_KeyValues_parse(options.c_str()));
  const DataPtr matrix(VLK_DataMatrix_read_file(txt.c_str(), list.get()));
  ASSERT_NE(matrix, nullptr);
  EXPECT_EQ(matrix->p, 500);
  EXPECT_EQ(matrix->n, 26);
  EXPECT_STREQ(VLK_Data_get_name(matrix.get(), 0), "AFFX-MurIL2_at");
  EXPECT_EQ(matrix->X[0], 192.742);
}

TEST(InputCheckFile, DirectoryIsSaidToBeOne) {
  char dir[] = "/tmp/vlk_input_dir_XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  for (const char* type : {"edf", "matrix"}) {
    SCOPED_TRACE(type);
    const vlk_test::Ending end = check_file(dir, {type});
    EXPECT_TRUE(end.exit1());
    EXPECT_EQ(end.err,
              "ERROR: input_data(): the input file " + std::string(dir) + " is a directory\n");
  }
  rmdir(dir);
}

// A pipe can be read once only: it goes to the reader untouched.
TEST(InputCheckFile, PipeGoesToTheReaderUntouched) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  const std::string text = "Feature\tA\nx\t5\n";
  ASSERT_EQ(write(fds[1], text.data(), text.size()), static_cast<ssize_t>(text.size()));
  close(fds[1]);
  Args* a = Args_new_rank(0, 1);
  a->input_file = strdup("pipe");
  FILE* fp = fdopen(fds[0], "r");
  input_check_file(a, fp);
  char line[64] = {};
  ASSERT_NE(std::fgets(line, sizeof line, fp), nullptr);
  EXPECT_STREQ(line, "Feature\tA\n");
  std::fclose(fp);
  Args_delete(a);
}

}  // namespace
