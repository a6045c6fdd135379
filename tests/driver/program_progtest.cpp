// The program as a user starts it: velknnsr under mpirun on small simulated data with planted
// chains (examples/simulate_chains.awk), read back from its log files and its network file.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "VLK_IO.h"
#include "VLK_Network.h"
#include "vlk_owned.h"
#include "vlk_test.h"

namespace {

namespace fs = std::filesystem;

// What every mpirun of these tests needs: OpenMPI starts as root only with the first two, more
// processes than cores with the third, and a sanitizer build reports OpenMPI's own leaks.
const bool mpirun_environment = [] {
  for (const char* v : {"OMPI_ALLOW_RUN_AS_ROOT", "OMPI_ALLOW_RUN_AS_ROOT_CONFIRM",
                        "OMPI_MCA_rmaps_base_oversubscribe"})
    setenv(v, "1", 1);
  setenv("ASAN_OPTIONS", "detect_leaks=0:allocator_may_return_null=1", 1);
  return true;
}();

using vlk_test::count;
using vlk_test::quoted;
using vlk_test::shell;
using Ended = vlk_test::Shelled;

// mpirun of the program with np processes of `threads` threads each.
Ended velknnsr(int np, const std::vector<std::string>& args, int limit = 100, int threads = 1) {
  std::string cmd = std::string(VLK_MPIEXEC) +
                    " --oversubscribe -x OMP_NUM_THREADS=" + std::to_string(threads) +
                    " -x OMP_WAIT_POLICY=passive -np " + std::to_string(np) + " " + VLK_PROGRAM;
  for (const std::string& a : args) cmd += " " + quoted(a);
  return shell(cmd, limit);
}

// A folder of its own for one test, removed afterwards.
class Scratch {
 public:
  Scratch() {
    char pattern[] = "/tmp/vlk_program_XXXXXX";
    dir_ = mkdtemp(pattern) ? pattern : "";
  }
  ~Scratch() {
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }
  Scratch(const Scratch&) = delete;
  Scratch& operator=(const Scratch&) = delete;
  std::string operator/(const std::string& name) const { return dir_ + "/" + name; }

 private:
  std::string dir_;
};

// Simulated data (EDF) and its planted network (VLK3) in the scratch folder.
void simulate(const Scratch& dir, int genes, int samples, int chain, int seed) {
  const std::string cmd =
      "awk -v genes=" + std::to_string(genes) + " -v samples=" + std::to_string(samples) +
      " -v chain=" + std::to_string(chain) + " -v seed=" + std::to_string(seed) +
      " -v network=" + quoted(dir / "truth.vlk3") + " -f " +
      quoted(std::string(VLK_EXAMPLES_DIR) + "/simulate_chains.awk") + " > " +
      quoted(dir / "data.edf");
  ASSERT_EQ(shell(cmd).status, 0);
}

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) out.push_back(line);
  return out;
}

bool has_line(const std::vector<std::string>& lines, const std::string& pattern) {
  const std::regex re(pattern);
  for (const std::string& l : lines)
    if (std::regex_match(l, re)) return true;
  return false;
}

using Pair = std::pair<int, int>;

// The edges of a network file as (smaller, larger) node pairs, the most frequent first.
std::vector<Pair> frequent_pairs(const std::string& path) {
  vlk_test::CaptureErr quiet;
  vlk::Owned<VLK_Network, VLK_Network_delete> net(IO_read_file(path.c_str(), "VLK3", nullptr));
  std::vector<std::pair<double, Pair>> edges;
  for (size_t k = 0; k < VLK_Network_num_edges(net.get()); ++k) {
    VLK_Edge* e = VLK_Network_get_edge(net.get(), static_cast<int>(k));
    const int pa = e->parent->index, ch = e->child->index;
    edges.push_back(
        {VLK_Edge_get_property_double(e, "Freq", 0.0), {std::min(pa, ch), std::max(pa, ch)}});
  }
  std::stable_sort(edges.begin(), edges.end(),
                   [](const auto& x, const auto& y) { return x.first > y.first; });
  std::vector<Pair> out;
  for (const auto& e : edges) out.push_back(e.second);
  return out;
}

TEST(Program, StartUpAndTimingReportOnEveryProcess) {
  Scratch dir;
  simulate(dir, 30, 40, 3, 5);
  const Ended run = velknnsr(3, {"-a", "0", "-t", "6", "-m", "10", "--seed", "42", "--log", "1",
                                 "-o", dir / "run", dir / "data.edf"});
  ASSERT_EQ(run.status, 0) << run.out;
  for (int rank = 0; rank < 3; ++rank) {
    SCOPED_TRACE(rank);
    char name[32];
    std::snprintf(name, sizeof name, "run.log.%05d", rank);
    const auto log = lines_of(vlk_test::read_file(dir / name));
    ASSERT_GE(log.size(), 20u);
    EXPECT_EQ(log[0], "Velk-BN <NNSR> Rel. 0.14.2 ($Rev: 255 $)");
    EXPECT_EQ(log[1], "  rank=" + std::to_string(rank) + ", processes=3, threads=1");
    EXPECT_EQ(has_line(log, "THIS IS THE ROOT PROCESS\\."), rank == 0);
    EXPECT_TRUE(has_line(log, "Initialization finished at .*"));
    EXPECT_TRUE(has_line(log, "HOSTNAME: .*"));
    EXPECT_TRUE(has_line(log, "Random Seed:\t42"));
    EXPECT_TRUE(has_line(log, "Random Walk Interval: 853"));
    EXPECT_TRUE(has_line(log, "Exchange Interval: 853"));
    EXPECT_TRUE(has_line(log, "1-to-1 Interval: --"));
    EXPECT_TRUE(has_line(log, "Method: RSR"));
    EXPECT_TRUE(has_line(log, "For check: iterations=6, interval=100000, loops=0, rem=6"));
    EXPECT_EQ(has_line(log, "  Going to output into a file\\."), rank == 0);
    // The report closes every log, in this order.
    const std::vector<std::string> tail(log.end() - 14, log.end());
    const std::string num = "[0-9]+\\.[0-9]{6}",
                      span = "[0-9]+ day [0-9]{2} hour [0-9]{2} min [0-9]{2} sec";
    const std::vector<std::string> want = {
        "Total communication time: " + num + " \\[sec\\]",
        span,
        "Total single part time: " + num + " \\[sec\\]",
        span,
        "Total running time: " + span,
        "X-ALL-TIME\t" + num,
        "Inner running Time: " + span,
        "X-IN-TIME\t" + num,
        "Init Time: " + span,
        "X-INIT-TIME\t" + num,
        "Algo Time: " + span,
        "X-ALGO-TIME\t" + num,
    };
    for (size_t i = 0; i < want.size(); ++i)
      EXPECT_TRUE(std::regex_match(tail[i + 2], std::regex(want[i]))) << tail[i + 2];
    EXPECT_TRUE(std::regex_match(tail[0], std::regex("Finalizing MPI start at .*")));
    EXPECT_TRUE(std::regex_match(tail[1], std::regex("Finished at .*")));
  }
}

// Refusals end every process with the message, within seconds.
TEST(Program, RefusalsEndEveryProcess) {
  Scratch dir;
  simulate(dir, 12, 10, 3, 1);
  {
    std::ofstream broken(dir / "broken.edf");
    broken << "$Version\t1.0\nA\t1\t2\nB\t3\tinf\nC\t5\t6\nD\t7\t8\n";
  }
  {
    std::ofstream other(dir / "other.vlk3");
    other << "Velk VLK3 FORMAT\n[Information]\n\n[Nodes]\nA\tA\t0\nB\tB\t1\n\n[Edges]\n0\t1\n";
  }
  struct Case {
    std::vector<std::string> args;
    std::string message;
  };
  const std::vector<Case> cases = {
      // A reader error on process 0 alone.
      {{"-m", "2", dir / "broken.edf"}, "ERROR: not a finite value at line 3, column 3: inf"},
      {{"-m", "4", "--compare", dir / "other.vlk3", dir / "data.edf"},
       "ERROR: the compare file " + dir / "other.vlk3" +
           " has 2 nodes and the input data 12 genes"},
      {{"-m", "4", "--dag-inv", "0", dir / "data.edf"}, "ERROR: --dag-inv must be at least 1: 0"},
      {{"-m", "4", "--compare", dir / "truth.vlk3", "--cutoff-mode", "1", "--cutoffs",
        "0.5,0.1,0.1", dir / "data.edf"},
       "ERROR: the start of --cutoffs is above its end: 0.5 > 0.1, no cutoff"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    const Ended run = velknnsr(3, c.args, 60);
    EXPECT_NE(run.status, 0);
    EXPECT_NE(run.out.find(c.message), std::string::npos) << run.out;
    EXPECT_LT(run.seconds, 30.0);
  }
}

// A mistake on the command line, in the input or in the output ends the run before any work:
// the ERROR line reaches the terminal once (with -o the messages otherwise go to the log),
// every process leaves with status 1 within seconds and without the abort's banner, and the
// previous result stays as it was. Every case runs a few times, since any process may reach
// it first.
struct Refusal {
  std::string name;
  std::vector<std::string> args;  // before "-o PREFIX" and the input; {} and {} name them
  std::string message;            // the ERROR line, without its newline
};

std::ostream& operator<<(std::ostream& os, const Refusal& r) { return os << r.name; }

class Refused : public ::testing::TestWithParam<Refusal> {};

// The folder of one refused run: the example data, the previous result, and what a case needs.
struct RefusalFolder {
  Scratch dir;
  std::string prefix = dir / "res";
  RefusalFolder() {
    std::ofstream(prefix + ".vlk3") << "the previous result\n";
    fs::create_directory(dir / "taken.vlk3");
    fs::create_symlink("/dev/full", dir / "full.vlk3");
    std::ofstream(dir / "na.edf") << "$Version\t1.0\ng1\t1\tNA\t3\ng2\t1\t2\t3\n";
    std::ofstream(dir / "genes.txt") << "AFFX-MurIL2_at\n";
    std::ofstream(dir / "strangers.txt") << "nobody\n";
    std::ofstream(dir / "empty.txt");
  }
  // {} is the folder, {data} the example data, {txt} the same as a TAB matrix.
  std::string place(const std::string& arg) const {
    std::string out = arg;
    const std::pair<std::string, std::string> names[] = {
        {"{data}", std::string(VLK_EXAMPLES_DIR) + "/exprsData.edf"},
        {"{txt}", std::string(VLK_EXAMPLES_DIR) + "/exprsData.txt"},
        {"{}", dir / ""}};
    for (const auto& [from, to] : names)
      for (size_t i; (i = out.find(from)) != std::string::npos;) out.replace(i, from.size(), to);
    return out;
  }
  // The files a refused run leaves: the previous result and the fixtures (and the log, when
  // the refusal comes after it was opened).
  std::set<std::string> left() const {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir / ""))
      names.insert(entry.path().filename().string());
    names.erase("res.log");
    return names;
  }
  static std::set<std::string> fixtures() {
    return {"res.vlk3",  "taken.vlk3",    "full.vlk3", "na.edf",
            "genes.txt", "strangers.txt", "empty.txt"};
  }
};

TEST_P(Refused, TheLineReachesTheTerminalAndNothingIsLost) {
  const Refusal& c = GetParam();
  for (int attempt = 0; attempt < 3; ++attempt) {
    SCOPED_TRACE(attempt);
    RefusalFolder folder;
    std::vector<std::string> args;
    bool input = false, output = false;
    for (const std::string& a : c.args) {
      // A placeholder after another value, not after an option, is the input file.
      const bool after_option = !args.empty() && args.back().starts_with("-");
      input = input || (a.starts_with("{") && !after_option);
      output = output || a == "-o";
      args.push_back(folder.place(a));
    }
    if (!output) args.insert(args.begin(), {"-o", folder.prefix});
    args.insert(args.begin(), {"-m", "100"});  // a run of the example, if nothing stops it
    if (!input) args.push_back(folder.place("{data}"));
    const Ended run = velknnsr(3, args, 60);
    EXPECT_EQ(run.status, 1) << run.out;
    // Every process finds a start-up refusal alike: one line, and no abort banner.
    const std::string line = folder.place(c.message) + "\n";
    EXPECT_EQ(count(run.out, line), 1u) << run.out;
    EXPECT_EQ(run.out.find("MPI_ABORT was invoked"), std::string::npos) << run.out;
    // Refused at start-up: the default run of the example would take many minutes.
    EXPECT_LT(run.seconds, 20.0);
    EXPECT_EQ(vlk_test::read_file(folder.prefix + ".vlk3"), "the previous result\n");
    EXPECT_EQ(folder.left(), RefusalFolder::fixtures());
  }
}

const Refusal kRefusals[] = {
    {"method", {"-a", "3"}, "ERROR: Unknown algorithm type (-a option) specified: 3"},
    {"algorithm", {"--algo", "foo"}, "ERROR: Unknown Algorithm specified: foo"},
    {"search_key", {"-A", "foo=1"}, "ERROR: Greedy: unknown argument specified: foo"},
    {"no_trials",
     {"-A", "t=0"},
     "ERROR: Greedy: the number of trials (t, trials) must be at least 1: 0"},
    {"two_step_without_first",
     {"--algo", "tshc"},
     "ERROR: TwoStepHC: First parent set file not specified."},
    {"score_grid", {"-S", "hn=-3"}, "ERROR: BNRC: Not supported number of hyperparameters = -3"},
    {"score_key", {"-S", "foo"}, "ERROR: BNRC: Unknown argument specified: foo"},
    {"level", {"--lv", "5"}, "ERROR: --lv must be 1, 2 or 3: 5"},
    {"parents", {"-M", "0"}, "ERROR: the maximum number of parents (-M) must be at least 1: 0"},
    {"module_zero", {"-m", "0"}, "ERROR: the module size (-m) must be at least 1: 0"},
    {"module_above_genes",
     {"-m", "501"},
     "ERROR: the module size (-m) must be between 1 and the number of genes (500): 501"},
    {"compare_missing",
     {"--compare", "{}missing.vlk3"},
     "ERROR: IO: Cannot open file: {}missing.vlk3"},
    {"cutoffs",
     {"--cutoff-mode", "1", "--cutoffs", "0.1,0.5"},
     "ERROR: specify three values for --cutoffs"},
    {"cache",
     {"--cache", "4"},
     "ERROR: --cache must be 0 (no cache), 2 (prefix tree) or 3 (hash table): 4"},
    {"parents_text", {"-M", "abc"}, "ERROR: option \"-M\": \"abc\" is not an integer"},
    {"nuclei_text", {"-T", "1e4"}, "ERROR: option \"-T\": \"1e4\" is not an integer"},
    {"module_text", {"-m", "1e2"}, "ERROR: option \"-m\": \"1e2\" is not an integer"},
    {"threshold_text", {"--oth", "abc"}, "ERROR: option \"--oth\": \"abc\" is not a number"},
    {"seed_range",
     {"--seed", "4294967296"},
     "ERROR: option \"--seed\": \"4294967296\" is out of the range of an unsigned 32-bit "
     "integer (0 to 4294967295)"},
    {"data_field", {"{}na.edf"}, "ERROR: not a number at line 2, column 3: \"NA\""},
    {"matrix_as_edf",
     {"{txt}"},
     "ERROR: input_data(): {txt} is not EDF: line 1 (\"Feature\\tA...\") holds no value, the "
     "header row of a matrix; a TAB-delimited matrix with one header row and 1 label column "
     "reads with --input-type matrix -I header_rows=1,label_columns=1"},
    {"input_is_a_folder",
     {"{}taken.vlk3"},
     "ERROR: input_data(): the input file {}taken.vlk3 is a directory"},
    {"skeleton_missing",
     {"--skeleton", "{}missing.txt"},
     "ERROR: --skeleton: cannot open {}missing.txt: No such file or directory"},
    {"skeleton_folder",
     {"--skeleton", "{}taken.vlk3"},
     "ERROR: --skeleton: {}taken.vlk3 is a directory, not a file"},
    {"skeleton_empty",
     {"--skeleton", "{}empty.txt"},
     "ERROR: --skeleton: {}empty.txt is empty: no name in it"},
    {"skeleton_without_genes",
     {"--skeleton", "{}strangers.txt"},
     "ERROR: --skeleton: no name in {}strangers.txt is a gene of the data set (1 read)"},
    {"skeleton_target_missing",
     {"--skeleton", "{}genes.txt", "--skel-type", "parents_targets", "--skel-args",
      "target={}missing.txt"},
     "ERROR: target= of --skeleton-args: cannot open {}missing.txt: No such file or directory"},
    {"two_step_cache",
     {"--algo", "tshc", "-A", "first={}genes.txt,cache=on"},
     "ERROR: TwoStepHC: -A cache=on takes the score cache of --cache, which must be 3 (the hash "
     "table): --cache 0"},
    {"second_input",
     {"{data}", "{}other.edf"},
     "ERROR: more than one input file given: {data} and {}other.edf"},
    {"output_folder_missing",
     {"--log", "2", "-o", "{}none/res"},
     "ERROR: cannot write the final network to {}none/res.vlk3: cannot create a file in "
     "{}none: No such file or directory"},
    {"output_is_a_folder",
     {"--log", "3", "-o", "{}taken"},
     "ERROR: cannot write the final network to {}taken.vlk3: it is a directory"},
    {"output_without_value", {"{data}", "-o"}, "ERROR: option -o needs a value"},
    {"one_sample",
     {"--input-type", "matrix", "-I", "header_rows=1,label_columns=26", "{txt}"},
     "ERROR: input_data(): too few samples for the score: samples = 1, and -M 1 needs at least 5"},
    {"module_list_missing",
     {"--compare-module", "{}missing.txt"},
     "ERROR: --compare-module: cannot open {}missing.txt: No such file or directory"},
    {"two_step_first_empty",
     {"--algo", "tshc", "-A", "first={}empty.txt"},
     "ERROR: first= of -A: {}empty.txt is empty: no name in it"},
    {"two_step_first_without_genes",
     {"--algo", "tshc", "-A", "first={}strangers.txt"},
     "ERROR: first= of -A: no name in {}strangers.txt is a gene of the data set (1 read)"},
    {"dynamic_without_blocks",
     {"-y"},
     "ERROR: Normal dynamic model not supported. -y needs --Bnum (or --blocks), the number of "
     "bootstrap blocks of a nucleus"},
};

INSTANTIATE_TEST_SUITE_P(Program, Refused, ::testing::ValuesIn(kRefusals),
                         [](const auto& info) { return info.param.name; });

// The help under several processes: process 0 alone answers and every process ends with status
// 0; a request it cannot serve ends the run with status 1 and its line once, without an abort.
TEST(Program, HelpAnswersOnce) {
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string line;
  };
  const Case cases[] = {
      {{"-h"}, 0, "Usage:\n"},
      {{"-h", "module"}, 0, "Modules with options of their own"},
      {{"--help", "mod,BNRC"}, 0, "<BNRC module [score]>:\n"},
      {{"-h", "mod,nonsense"},
       1,
       "ERROR: unknown module for --help (-h) option: nonsense (known: EDF, "},
      {{"-h", "foo"}, 1, "Unknown command for --help (-h) option: foo (known: module, mod)\n"},
      // A last word ending in ',' that nothing continues is still the request it was.
      {{"-h", "mod,"}, 1, "ERROR: no module name for --help (-h) option: mod, (known: EDF, "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    const Ended run = velknnsr(3, c.args, 60);
    EXPECT_EQ(run.status, c.status) << run.out;
    EXPECT_EQ(count(run.out, c.line), 1u) << run.out;
    EXPECT_EQ(run.out.find("MPI_ABORT"), std::string::npos) << run.out;
    EXPECT_LT(run.seconds, 20.0);
  }
}

// The final network on a full device: an ERROR line, status 1, and the link left in place.
TEST(Program, AFullDeviceIsReported) {
  RefusalFolder folder;
  const Ended run = velknnsr(3, {"-a", "0", "-t", "3", "-m", "20", "--seed", "1", "-o",
                                 folder.dir / "full", folder.place("{data}")});
  EXPECT_EQ(run.status, 1) << run.out;
  EXPECT_NE(run.out.find("ERROR: cannot write the final network to " + folder.dir / "full.vlk3" +
                         ": cannot write it: No space left on device\n"),
            std::string::npos)
      << run.out;
  EXPECT_TRUE(fs::is_symlink(folder.dir / "full.vlk3"));
}

// A writer that refuses its options only when it writes (CSML's edge mode) ends the run at its
// end: the previous result stays, and no hidden temporary file is left beside it.
TEST(Program, AWriterRefusalAtTheEndLeavesNoTemporaryFile) {
  RefusalFolder folder;
  std::ofstream(folder.prefix + ".csml") << "the previous result\n";
  const Ended run =
      velknnsr(3, {"-a", "0", "-t", "3", "-m", "20", "--seed", "1", "-O", "CSML", "--output-args",
                   "edge=foo", "-o", folder.prefix, folder.place("{data}")});
  EXPECT_NE(run.status, 0) << run.out;
  EXPECT_NE(run.out.find("ERROR: CSML: Unknown edge mode: foo\n"), std::string::npos) << run.out;
  EXPECT_EQ(vlk_test::read_file(folder.prefix + ".csml"), "the previous result\n");
  std::set<std::string> want = RefusalFolder::fixtures();
  want.insert("res.csml");
  EXPECT_EQ(folder.left(), want);
}

// A reference the two evaluation roads would count differently is refused at start-up with the
// line of the file that holds the offending edge: a self-loop, or an edge given twice.
TEST(Program, AReferenceWithASelfLoopOrARepeatedEdgeIsRefused) {
  Scratch dir;
  simulate(dir, 12, 10, 3, 1);
  const std::string truth = vlk_test::read_file(dir / "truth.vlk3");
  const auto lines = lines_of(truth);
  const size_t first_edge =
      std::find(lines.begin(), lines.end(), "[Edges]") - lines.begin() + 2;  // counted from 1
  ASSERT_LE(first_edge, lines.size());
  const std::string repeated = lines[first_edge - 1];
  const size_t tab = repeated.find('\t');
  const std::string pa = repeated.substr(0, tab), ch = repeated.substr(tab + 1);
  const std::string added = std::to_string(lines.size() + 1);
  const std::pair<std::string, std::string> cases[] = {
      {"5\t5\n", "line " + added + " holds the self-loop 5 -> 5"},
      {repeated + "\n", "line " + added + " repeats the edge " + pa + " -> " + ch + " of line " +
                            std::to_string(first_edge)},
  };
  for (const auto& [line, problem] : cases) {
    SCOPED_TRACE(problem);
    std::ofstream(dir / "ref.vlk3") << truth << line;
    const Ended run = velknnsr(3,
                               {"-m", "4", "--compare", dir / "ref.vlk3", "--cutoffs", "0.5", "-o",
                                dir / "res", dir / "data.edf"},
                               60);
    EXPECT_EQ(run.status, 1) << run.out;
    const std::string message = "ERROR: the compare file " + dir / "ref.vlk3" + ": " + problem +
                                "; the evaluation counts each edge between two genes once\n";
    const size_t at = run.out.find(message);
    EXPECT_NE(at, std::string::npos) << run.out;
    EXPECT_EQ(run.out.find(message, at + 1), std::string::npos) << "printed twice:\n" << run.out;
    EXPECT_LT(run.seconds, 20.0);
    EXPECT_FALSE(fs::exists(dir / "res.vlk3"));
  }
}

// Two jobs on one output prefix: while one runs, the second is refused naming the prefix and
// leaves the first one's log as it was; a job killed while it held the prefix keeps nobody
// out, and the next job on the prefix clears the hidden temporary file that a kill during the
// final write leaves. A finished job leaves nothing but its result (and its log under --log 0).
TEST(Program, OneRunningJobPerOutputPrefix) {
  Scratch dir;
  simulate(dir, 30, 20, 3, 2);
  const std::string prefix = dir / "res";
  const std::string data = dir / "data.edf";
  // A job of many minutes, in the background.
  const Ended started =
      shell("(" + std::string(VLK_MPIEXEC) + " --oversubscribe -x OMP_NUM_THREADS=1 -np 2 " +
            VLK_PROGRAM + " -m 10 -T 100000000 --seed 1 -o " + quoted(prefix) + " " + quoted(data) +
            " > " + quoted(dir / "first.out") + " 2>&1 & echo $!)");
  ASSERT_EQ(started.status, 0);
  const pid_t first = static_cast<pid_t>(std::stol(started.out));
  const auto running = [&] { return kill(first, 0) == 0; };
  const auto has_begun = [&] {
    return vlk_test::read_file(prefix + ".log").find("Random Seed:") != std::string::npos;
  };
  for (int i = 0; i < 200 && !has_begun(); ++i) usleep(100000);
  ASSERT_TRUE(has_begun()) << vlk_test::read_file(dir / "first.out");
  const std::string first_log = vlk_test::read_file(prefix + ".log");

  for (const char* log : {"0", "2"}) {
    SCOPED_TRACE(log);
    const Ended second =
        velknnsr(3, {"-a", "0", "-t", "3", "-m", "10", "--log", log, "-o", prefix, data}, 60);
    EXPECT_EQ(second.status, 1) << second.out;
    EXPECT_NE(second.out.find("ERROR: the output prefix " + prefix +
                              " is in use by another running job (it holds the lock of " + prefix +
                              ".log)\n"),
              std::string::npos)
        << second.out;
    EXPECT_LT(second.seconds, 20.0);
    EXPECT_TRUE(vlk_test::read_file(prefix + ".log").starts_with(first_log));
  }
  EXPECT_TRUE(running());

  kill(first, SIGKILL);
  for (int i = 0; i < 200 && running(); ++i) usleep(100000);
  ASSERT_FALSE(running());
  usleep(500000);  // the killed job's processes let go of the lock as they end
  const std::string stale = dir / ".res.vlk3.Ab12Cd";
  std::ofstream(stale) << "half a network";
  for (const char* log : {"0", "2"}) {
    SCOPED_TRACE(log);
    const bool own_log = std::string(log) == "0";
    // Under --log 2 the prefix's lock needs a file of its own, which the run removes again.
    if (!own_log) fs::remove(prefix + ".log");
    Ended next;
    for (int i = 0; i < 20; ++i) {  // until every process of the killed job has ended
      next = velknnsr(
          3, {"-a", "0", "-t", "3", "-m", "10", "--seed", "1", "--log", log, "-o", prefix, data});
      if (next.out.find("is in use by another running job") == std::string::npos) break;
      usleep(500000);
    }
    ASSERT_EQ(next.status, 0) << next.out;
    EXPECT_FALSE(fs::exists(stale));
    if (own_log) {
      EXPECT_NE(vlk_test::read_file(prefix + ".log")
                    .find("Removed " + stale + ", a temporary file of an interrupted run\n"),
                std::string::npos);
    }
    std::set<std::string> left;
    for (const auto& entry : fs::directory_iterator(dir / ""))
      left.insert(entry.path().filename().string());
    std::set<std::string> want = {"data.edf", "truth.vlk3", "first.out", "res.vlk3"};
    if (own_log) want.insert("res.log");
    EXPECT_EQ(left, want);
  }
}

// The real search on chains of 4 genes: every planted pair is found, and the planted pairs are
// most of the most frequent edges, on every process count.
TEST(Program, FindsPlantedChainsOnEveryProcessCount) {
  Scratch dir;
  simulate(dir, 40, 100, 4, 3);
  std::set<Pair> planted;
  for (int g = 1; g < 40; ++g)
    if (g % 4 != 0) planted.emplace(g - 1, g);
  for (int np : {1, 2, 3}) {
    SCOPED_TRACE(np);
    const std::string out = dir / ("run" + std::to_string(np));
    const Ended run = velknnsr(np, {"-m", "20", "-t", "100", "-T", "400", "--ci", "100", "--seed",
                                    "1", "--output-mode", "1", "-o", out, dir / "data.edf"});
    ASSERT_EQ(run.status, 0) << run.out;
    const auto lines = lines_of(vlk_test::read_file(out + ".vlk3"));
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[2], "Edge Attr\tedgeScore:double\tFreq:double\tDir:double\tCount:int");
    const auto found = frequent_pairs(out + ".vlk3");
    size_t hits = 0, top = 0;
    for (size_t i = 0; i < found.size(); ++i) {
      const bool is_planted = planted.count(found[i]) != 0;
      hits += is_planted;
      if (i < planted.size()) top += is_planted;
    }
    EXPECT_EQ(hits, planted.size());
    EXPECT_GE(top, 20u);
  }
}

// The threads of a process share the work inside a nucleus and change nothing of its result:
// two processes of one and of three threads write the same files, for the searches that use
// threads in their moves and in their 1-to-1 tables alike.
TEST(Program, ThreadsChangeNoByteOfTheResult) {
  Scratch dir;
  simulate(dir, 40, 60, 4, 9);
  for (const char* algo : {"hc", "hc2"}) {
    SCOPED_TRACE(algo);
    std::string first;
    for (int threads : {1, 3}) {
      const std::string out = dir / (std::string(algo) + std::to_string(threads));
      const Ended run = velknnsr(2,
                                 {"--algo", algo, "-m", "16", "-M", "2", "-t", "40", "-T", "120",
                                  "--ci", "60", "--seed", "4", "-o", out, dir / "data.edf"},
                                 100, threads);
      ASSERT_EQ(run.status, 0) << run.out;
      const std::string network = vlk_test::read_file(out + ".vlk3");
      const size_t edges = network.find("[Edges]\n");
      ASSERT_NE(edges, std::string::npos);
      ASSERT_GT(network.size(), edges + 20) << "no edge was written";
      if (first.empty())
        first = network;
      else
        EXPECT_EQ(network, first);
    }
  }
}

// With a fixed search (every nucleus the chain 0 -> 1 -> ... over all genes) the network is the
// chain with frequency 1 and the same file on every process count; against the chain as the
// reference every evaluation is exact, and --dag-inv 300 makes every third one a DAG evaluation.
TEST(Program, FixedSearchGivesOneNetworkAndItsEvaluations) {
  Scratch dir;
  constexpr int kGenes = 8;
  simulate(dir, kGenes, 30, kGenes, 2);
  std::string first;
  for (int np : {1, 2, 3}) {
    SCOPED_TRACE(np);
    const std::string out = dir / ("chain" + std::to_string(np));
    const Ended run =
        shell(std::string(VLK_MPIEXEC) + " --oversubscribe -x OMP_NUM_THREADS=1 -np " +
              std::to_string(np) + " " + VLK_PROGRAM_CHAIN + " -m " + std::to_string(kGenes) +
              " -T 600 --ci 100 --dag-inv 300 --compare " + quoted(dir / "truth.vlk3") +
              " --cutoffs 0.5 --seed 3 -o " + quoted(out) + " " + quoted(dir / "data.edf"));
    ASSERT_EQ(run.status, 0) << run.out;
    const std::string network = vlk_test::read_file(out + ".vlk3");
    if (first.empty()) first = network;
    EXPECT_EQ(network, first);
    const auto log = lines_of(vlk_test::read_file(out + ".log"));
    std::string kinds;
    for (const std::string& l : log) {
      if (l.starts_with("COMR:\t")) kinds += 'C';
      if (l.starts_with("DAGCMPR:\t")) kinds += 'D';
    }
    // The DAG evaluations carry the gathered network's COMR line before their own.
    EXPECT_EQ(kinds, "CCCDCCCD");
    for (int it : {100, 200, 300, 600}) {
      const std::string row = std::to_string(it) + "\t0.500\t7\t0\t0\t0\t1.000\t1.000";
      EXPECT_TRUE(has_line(log, "COMR:\t" + row)) << it;
      if (it % 300 == 0) {
        EXPECT_TRUE(has_line(log, "DAGCMPR:\t" + row)) << it;
      }
    }
  }
  const auto lines = lines_of(first);
  const auto edges = std::find(lines.begin(), lines.end(), "[Edges]");
  ASSERT_NE(edges, lines.end());
  std::vector<std::string> want;
  for (int g = 1; g < kGenes; ++g)
    want.push_back(std::to_string(g - 1) + "\t" + std::to_string(g) + "\t1.000000\t1.000000\t600");
  EXPECT_EQ(std::vector<std::string>(edges + 1, lines.end()), want);
}

// The README's run, on the first 150 genes of the example data: the command as the README gives
// it, with the program, the input and the output prefix put in their places, writes the network
// whose first lines the README shows.
TEST(Program, ReadmeCommandRunsOnACutOfTheExample) {
  const std::string readme = vlk_test::read_file(std::string(VLK_SOURCE_DIR) + "/README.md");
  // From the step before mpirun (its environment) to the step after it.
  const size_t mpirun = readme.find("mpirun ");
  ASSERT_NE(mpirun, std::string::npos);
  const size_t at = readme.rfind("&& ", mpirun) + 3;
  const size_t end = readme.find(" && head -n 8 result.vlk3", at);
  ASSERT_NE(end, std::string::npos);
  std::string command = readme.substr(at, end - at);
  ASSERT_EQ(command.find('\n'), std::string::npos) << command;

  Scratch dir;
  ASSERT_EQ(shell("head -n 151 " + quoted(std::string(VLK_EXAMPLES_DIR) + "/exprsData.edf") +
                  " > " + quoted(dir / "cut.edf"))
                .status,
            0);
  auto replace = [&](const std::string& from, const std::string& to) {
    const size_t i = command.find(from);
    ASSERT_NE(i, std::string::npos) << from;
    command.replace(i, from.size(), to);
  };
  replace("mpirun ", std::string(VLK_MPIEXEC) + " ");
  replace("build/src/driver/velknnsr", VLK_PROGRAM);
  replace("examples/exprsData.edf", quoted(dir / "cut.edf"));
  replace("-o result", "-o " + quoted(dir / "result"));
  const Ended run = shell(command);
  ASSERT_EQ(run.status, 0) << command << "\n" << run.out;

  // The README's first lines of the file, up to the first node, which differs on a cut.
  const size_t shown = readme.find("```\nVelk VLK3 FORMAT\n");
  ASSERT_NE(shown, std::string::npos);
  const auto want = lines_of(readme.substr(shown + 4, readme.find("[Nodes]", shown) - shown - 4));
  const auto got = lines_of(vlk_test::read_file(dir / "result.vlk3"));
  ASSERT_GT(got.size(), want.size() + 150);
  EXPECT_EQ(std::vector<std::string>(got.begin(), got.begin() + want.size()), want);
  EXPECT_EQ(got[want.size()], "[Nodes]");
  EXPECT_TRUE(got[want.size() + 1].starts_with("AFFX-MurIL2_at\tAFFX-MurIL2_at\t0\t"));
  EXPECT_FALSE(frequent_pairs(dir / "result.vlk3").empty());
}

}  // namespace
