#include "settings/args.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <functional>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <type_traits>
#include <vector>

#include "VLK_Help.h"
#include "output/prefix_lock.h"
#include "velkcom.h"
#include "vlk_test.h"

namespace {

constexpr std::uint64_t MiB = std::uint64_t{1} << 20;
constexpr std::uint64_t GiB = std::uint64_t{1} << 30;

std::string str(const char* s) { return s ? s : "(null)"; }

std::string kv_text(const VLK_KeyValues* list) {
  return vlk_test::capture([&](FILE* fp) { VLK_KeyValues_print(list, fp); });
}

std::vector<int> ints(const VLK_IntArray* a) {
  return a ? std::vector<int>(a->data, a->data + a->size) : std::vector<int>{};
}

bool is_dev_null(FILE* fp) {
  struct stat s {
  }, null_s{};
  return fstat(fileno(fp), &s) == 0 && stat("/dev/null", &null_s) == 0 &&
         s.st_rdev == null_s.st_rdev && S_ISCHR(s.st_mode);
}

// One parsed command line: the record, and VELK_ERR put back (and a log file closed) when
// the parse switched it.
class Parsed {
 public:
  Parsed(const std::vector<std::string>& words, int rank, int processes)
      : saved_err_(VELK_ERR), a_(Args_new_rank(rank, processes)) {
    std::vector<std::string> line = {"velknnsr"};
    line.insert(line.end(), words.begin(), words.end());
    std::vector<char*> argv;
    for (std::string& w : line) argv.push_back(w.data());
    argv.push_back(nullptr);
    parse_args(a_, static_cast<int>(line.size()), argv.data());
    err_ = VELK_ERR;
  }
  ~Parsed() {
    if (err_ != saved_err_ && err_ != stderr) std::fclose(err_);
    VELK_ERR = saved_err_;
    Args_delete(a_);
  }
  Parsed(const Parsed&) = delete;
  Parsed& operator=(const Parsed&) = delete;
  const Args& operator*() const { return *a_; }
  const Args* operator->() const { return a_; }
  FILE* err() const { return err_; }
  bool err_switched() const { return err_ != saved_err_; }

 private:
  FILE* saved_err_;
  Args* a_;
  FILE* err_ = nullptr;
};

// Runs parse_args in a child; returns how it ended, with its standard output.
struct ParseRun {
  vlk_test::Ending end;
  std::string out;
};

ParseRun run_parse(const std::vector<std::string>& words, int rank = 0, int processes = 4) {
  vlk_test::TempFile out("");
  ParseRun run;
  run.end = vlk_test::run_fatal([&] {
    std::fflush(stdout);
    const int fd = open(out.path().c_str(), O_WRONLY | O_TRUNC);
    dup2(fd, 1);
    close(fd);
    Parsed p(words, rank, processes);
  });
  run.out = vlk_test::read_file(out.path());
  return run;
}

// A setting as text: a number in its shortest exact form, a string as it is, "(null)" for a
// missing string, record or list, "(set)" for a record the row does not look into.
template <class T>
std::string setting(const T& v) {
  if constexpr (std::is_same_v<T, char*>) {
    return str(v);
  } else if constexpr (std::is_floating_point_v<T>) {
    char buf[32];
    return std::string(buf, std::to_chars(buf, buf + sizeof buf, v).ptr);
  } else if constexpr (std::is_integral_v<T>) {
    return std::to_string(v);
  } else {
    static_assert(std::is_pointer_v<T>);
    return v == nullptr ? "(null)" : "(set)";
  }
}

template <auto Field>
std::string field(const Args& a) {
  return setting(a.*Field);
}

std::string list_text(const VLK_KeyValues* list) { return list ? kv_text(list) : "(null)"; }

// Every default the run settings have before any work: right after Args_new, and after
// parse_args of a command line that names the input file and nothing else (rank 2 of 4
// processes), which derives the intervals and appends the default option entries.
TEST(ArgsDefaults, FreshAndAfterABareCommandLine) {
  struct Row {
    const char* name;
    std::string (*read)(const Args&);
    const char* fresh;
    const char* bare;
  };
  const Row rows[] = {
      {"input file", field<&Args::input_file>, "(null)", "genes.edf"},
      {"input options", field<&Args::input_args>, "(null)", "(null)"},
      {"input type", field<&Args::input_type>, "edf", "edf"},
      {"output prefix", field<&Args::output_prefix>, "(null)", "(null)"},
      {"output threshold", field<&Args::output_threshold>, "0.2", "0.2"},
      {"output format", field<&Args::output_format>, "vlk3", "vlk3"},
      {"output options", field<&Args::output_args>, "(null)", "(null)"},
      {"whole values", field<&Args::whole_values>, "(null)", "(null)"},
      {"samples", field<&Args::samples>, "0", "0"},
      {"nodes", field<&Args::nodes>, "0", "0"},
      {"nucleus data genes",
       [](const Args& a) { return a.nucleus_data ? setting(a.nucleus_data->p) : "(null)"; }, "0",
       "0"},
      {"score name", field<&Args::score_name>, "BNRC", "BNRC"},
      {"score options", [](const Args& a) { return list_text(a.score_args->options); }, "(null)",
       "linear=on"},
      {"score max_parents", [](const Args& a) { return setting(a.score_args->max_parents); }, "10",
       "10"},
      {"algorithm name", field<&Args::algo_name>, "hc", "hc"},
      {"algorithm id", field<&Args::algo_id>, "0", "0"},
      {"search max_parents", [](const Args& a) { return setting(a.algo_args->max_parents); }, "1",
       "1"},
      {"search verbosity", [](const Args& a) { return setting(a.algo_args->verbosity); }, "-1",
       "-1"},
      {"search dynamic", [](const Args& a) { return setting(a.algo_args->dynamic); }, "0", "0"},
      {"search options", [](const Args& a) { return list_text(a.algo_options); }, "(null)", "t=1"},
      {"iterations", field<&Args::iterations>, "0", "0"},
      {"module size", field<&Args::module_size>, "1000", "1000"},
      {"rank", field<&Args::rank>, "2", "2"},
      {"processes", field<&Args::processes>, "4", "4"},
      {"exchange work lists", field<&Args::exchange_lists>, "(null)", "(null)"},
      {"reference file", field<&Args::reference_file>, "(null)", "(null)"},
      {"module ratio", field<&Args::module_ratio>, "0.1", "0.1"},
      {"minimum pair count", field<&Args::min_pair_count>, "1", "1"},
      {"reference network", field<&Args::reference>, "(null)", "(null)"},
      {"module list file", field<&Args::module_file>, "(null)", "(null)"},
      {"whole data", field<&Args::whole_data>, "(null)", "(null)"},
      {"share names", field<&Args::share_names>, "0", "0"},
      {"cutoffs", field<&Args::cutoffs>, "(null)", "(null)"},
      {"send records", field<&Args::send_records>, "(null)", "(null)"},
      {"whole network", field<&Args::whole_network>, "(null)", "(null)"},
      {"interval base", field<&Args::interval_base>, "2560", "2560"},
      {"walk threshold", field<&Args::rw_threshold>, "0.3", "0.3"},
      {"walk interval", field<&Args::rw_interval>, "-1", "640"},
      {"walk share", field<&Args::rw_ratio>, "0.5", "0.5"},
      {"walk share 2", field<&Args::rw_ratio2>, "0.75", "0.75"},
      {"walk steps", field<&Args::rw_steps>, "1000", "1000"},
      {"total iterations", field<&Args::total_iterations>, "100000", "100000"},
      {"method", field<&Args::method>, "1", "1"},
      {"debug", field<&Args::debug>, "0", "0"},
      {"check interval", field<&Args::check_interval>, "100000", "100000"},
      {"1-to-1 interval", field<&Args::oto_interval>, "0", "2147483647"},
      {"1-to-1 table", field<&Args::oto_table>, "(null)", "(null)"},
      {"write output", field<&Args::write_output>, "1", "1"},
      {"exchange interval", field<&Args::exchange_interval>, "-1", "640"},
      {"batch fill", field<&Args::batch_fill>, "0", "0"},
      {"DAG interval", field<&Args::dag_interval>, "100000", "100000"},
      {"last DAG evaluation", field<&Args::last_dag_eval>, "0", "0"},
      {"last evaluation", field<&Args::last_eval>, "0", "0"},
      {"cutoff mode", field<&Args::cutoff_mode>, "0", "0"},
      {"communication time", field<&Args::comm_time>, "0", "0"},
      {"single-part time", field<&Args::single_time>, "0", "0"},
      {"init timer type", [](const Args& a) { return setting(a.init_timer->type); }, "0", "0"},
      {"search timer type", [](const Args& a) { return setting(a.search_timer->type); }, "0", "0"},
      {"log mode", field<&Args::log_mode>, "0", "0"},
      {"sample resampling", field<&Args::resampling>, "-1", "-1"},
      {"bootstrap blocks", field<&Args::bootstrap_blocks>, "-1", "-1"},
      {"replicate counts", field<&Args::replicates>, "(null)", "(null)"},
      {"time points", field<&Args::time_points>, "0", "0"},
      {"memory budget", field<&Args::memory>, "3221225472", "3221225472"},
      {"time-point list", field<&Args::dynamic_points>, "(null)", "(null)"},
      {"whole-data score", field<&Args::init_score>, "0", "0"},
      {"score level", field<&Args::score_level>, "2", "2"},
      {"skeleton file", field<&Args::skeleton_file>, "(null)", "(null)"},
      {"skeleton type", field<&Args::skeleton_type>, "parents", "parents"},
      {"skeleton options", field<&Args::skeleton_args>, "(null)", "(null)"},
      {"output mode", field<&Args::output_mode>, "0", "0"},
      {"cache type", field<&Args::cache_type>, "0", "0"},
      {"cache bytes", field<&Args::cache_bytes>, "524288000", "524288000"},
      {"section timer sections", [](const Args& a) { return setting(a.timer->n); }, "7", "7"},
      {"walk acceptance", field<&Args::rw_accept>, "1", "1"},
  };
  const std::time_t before = std::time(nullptr);
  Args* fresh = Args_new_rank(2, 4);
  FILE* err = VELK_ERR;
  const Parsed bare({"genes.edf"}, 2, 4);
  const std::time_t after = std::time(nullptr);
  for (const Row& r : rows) {
    EXPECT_EQ(r.read(*fresh), r.fresh) << r.name << " after Args_new";
    EXPECT_EQ(r.read(*bare), r.bare) << r.name << " after a bare command line";
  }
  // The seed is the time of creation; without an output prefix the error stream stays.
  for (const Args* a : {static_cast<const Args*>(fresh), &*bare}) {
    EXPECT_GE(a->seed, static_cast<std::uint32_t>(before));
    EXPECT_LE(a->seed, static_cast<std::uint32_t>(after));
  }
  EXPECT_FALSE(bare.err_switched());
  EXPECT_EQ(VELK_ERR, err);
  // The appended "linear" entry carries the "on" default itself, as a bare key would.
  ASSERT_EQ(VLK_KeyValues_size(bare->score_args->options), 1u);
  EXPECT_EQ(VLK_KeyValues_get_type(bare->score_args->options, 0), VLK_TYPE_STRING);
  EXPECT_EQ(VLK_KeyValues_get_value(bare->score_args->options, 0), VLK_KeyValues_DEFAULT_VALUE);
  Args_delete(fresh);
}

// Every named option reaches its field (log mode 3 keeps the log on /dev/null).
TEST(ParseArgs, EveryOptionBindsItsField) {
  Parsed p({"-I",
            "sep=tab",
            "--input-type",
            "matrix",
            "-o",
            "/tmp/vlk_args_every",
            "-O",
            "csml",
            "--output-args",
            "w=1",
            "--oth",
            "0.35",
            "-A",
            "rev=off",
            "-S",
            "hn=3",
            "--on",
            "off",
            "--algo",
            "hc2",
            "-m",
            "200",
            "-n",
            "300",
            "-M",
            "3",
            "-r",
            "0.25",
            "-c",
            "4",
            "--compare",
            "ref.vlk3",
            "--compare-module",
            "mods.txt",
            "--cutoffs",
            "0.1,0.5,0.1",
            "--cutoff-mode",
            "1",
            "-a",
            "2",
            "--oto",
            "9",
            "-t",
            "11",
            "-T",
            "12",
            "--rw-th",
            "0.45",
            "--rw-int",
            "13",
            "--ex-int",
            "14",
            "--ci",
            "15",
            "--seed",
            "4000000000",
            "--dag-inv",
            "16",
            "--RS",
            "0",
            "--Bnum",
            "17",
            "--debug",
            "--log",
            "3",
            "--lv",
            "3",
            "--skeleton",
            "skel.txt",
            "--skeleton-type",
            "CHLIST",
            "--skeleton-args",
            "col=2",
            "--output-mode",
            "1",
            "--cache",
            "3",
            "--cache-size",
            "10",
            "--total-mem",
            "2048",
            "--rw-pr",
            "0.9",
            "--rw-r",
            "0.6",
            "--rw-r2",
            "0.8",
            "data.txt"},
           1, 3);
  EXPECT_EQ(kv_text(p->input_args), "sep=tab");
  EXPECT_EQ(str(p->input_type), "matrix");
  EXPECT_EQ(str(p->output_prefix), "/tmp/vlk_args_every");
  EXPECT_EQ(str(p->output_format), "csml");
  EXPECT_EQ(kv_text(p->output_args), "w=1");
  EXPECT_DOUBLE_EQ(p->output_threshold, 0.35);
  EXPECT_EQ(kv_text(p->algo_options), "rev=off,t=1");
  EXPECT_EQ(kv_text(p->score_args->options), "hn=3");
  EXPECT_EQ(p->write_output, 0);
  EXPECT_EQ(str(p->algo_name), "hc2");
  EXPECT_EQ(p->module_size, 200);
  EXPECT_EQ(p->interval_base, 300);
  EXPECT_EQ(p->algo_args->max_parents, 3);
  EXPECT_DOUBLE_EQ(p->module_ratio, 0.25);
  EXPECT_EQ(p->min_pair_count, 4);
  EXPECT_EQ(str(p->reference_file), "ref.vlk3");
  EXPECT_EQ(str(p->module_file), "mods.txt");
  ASSERT_NE(p->cutoffs, nullptr);
  ASSERT_EQ(p->cutoffs->size, 3u);
  EXPECT_DOUBLE_EQ(p->cutoffs->data[1], 0.5);
  EXPECT_EQ(p->cutoff_mode, 1);
  EXPECT_EQ(p->method, 2);
  EXPECT_EQ(p->oto_interval, 9);
  EXPECT_EQ(p->iterations, 11);
  EXPECT_EQ(p->total_iterations, 12);
  EXPECT_DOUBLE_EQ(p->rw_threshold, 0.45);
  EXPECT_EQ(p->rw_interval, 13);
  EXPECT_EQ(p->exchange_interval, 14);
  EXPECT_EQ(p->check_interval, 15);
  EXPECT_EQ(p->seed, 4000000000u);
  EXPECT_EQ(p->dag_interval, 16);
  EXPECT_EQ(p->resampling, 0);
  EXPECT_EQ(p->bootstrap_blocks, 17);
  EXPECT_EQ(p->debug, 1);
  EXPECT_EQ(p->log_mode, 3);
  EXPECT_TRUE(is_dev_null(p.err()));
  EXPECT_EQ(p->init_score, 0);
  EXPECT_EQ(p->score_level, 3);
  EXPECT_EQ(str(p->skeleton_file), "skel.txt");
  EXPECT_EQ(str(p->skeleton_type), "CHLIST");
  EXPECT_EQ(kv_text(p->skeleton_args), "col=2");
  EXPECT_EQ(p->output_mode, 1);
  EXPECT_EQ(p->cache_type, 3);
  EXPECT_EQ(p->cache_bytes, 10 * MiB);
  EXPECT_EQ(p->memory, 2048 * MiB - 10 * MiB);
  EXPECT_DOUBLE_EQ(p->rw_accept, 0.9);
  EXPECT_DOUBLE_EQ(p->rw_ratio, 0.6);
  EXPECT_DOUBLE_EQ(p->rw_ratio2, 0.8);
  EXPECT_EQ(str(p->input_file), "data.txt");
}

TEST(ParseArgs, AliasesBindTheSameFields) {
  Parsed p({"--input-args", "a=1", "--rw-t", "21", "--check-int", "22", "--blocks", "23", "-L", "3",
            "-o", "/tmp/vlk_args_alias", "--skel", "s.txt", "--skel-type", "parents_targets",
            "--skel-args", "target=t.txt", "x.edf"},
           0, 2);
  EXPECT_EQ(kv_text(p->input_args), "a=1");
  EXPECT_EQ(p->total_iterations, 21);
  EXPECT_EQ(p->check_interval, 22);
  EXPECT_EQ(p->bootstrap_blocks, 23);
  EXPECT_EQ(p->log_mode, 3);
  EXPECT_EQ(str(p->skeleton_file), "s.txt");
  EXPECT_EQ(str(p->skeleton_type), "parents_targets");
  EXPECT_EQ(kv_text(p->skeleton_args), "target=t.txt");
}

// The settings derived from others, one command line each.
TEST(ParseArgs, DerivedSettings) {
  struct Case {
    std::vector<std::string> words;
    int processes;
    std::function<void(const Args&)> check;
  };
  const std::vector<Case> cases = {
      {{"-n", "100"},
       8,
       [](const Args& a) {
         EXPECT_EQ(a.interval_base, 100);
         EXPECT_EQ(a.rw_interval, 12);
         EXPECT_EQ(a.exchange_interval, 12);
         EXPECT_EQ(a.oto_interval, 2147483647);
       }},
      {{"-n", "100"},
       200,
       [](const Args& a) {
         EXPECT_EQ(a.rw_interval, 0);
         EXPECT_EQ(a.exchange_interval, 0);
       }},
      {{"--rw-int", "5", "--ex-int", "7"},
       4,
       [](const Args& a) {
         EXPECT_EQ(a.rw_interval, 5);
         EXPECT_EQ(a.exchange_interval, 7);
       }},
      {{"--oto", "-1"}, 4, [](const Args& a) { EXPECT_EQ(a.oto_interval, -1); }},
      {{"-y", "--Bnum", "5"},
       4,
       [](const Args& a) {
         EXPECT_EQ(a.algo_args->dynamic, 1);
         EXPECT_EQ(a.oto_interval, 640);
         EXPECT_TRUE(ints(a.dynamic_points).empty());
       }},
      {{"--dynamic-points", "--Bnum", "5"},
       4,
       [](const Args& a) {
         EXPECT_EQ(a.algo_args->dynamic, 1);
         EXPECT_EQ(a.oto_interval, 640);
         EXPECT_TRUE(ints(a.dynamic_points).empty());
       }},
      {{"--dynamic-points", "1,2,3", "--Bnum", "5"},
       4,
       [](const Args& a) {
         EXPECT_EQ(a.algo_args->dynamic, 1);
         EXPECT_EQ(ints(a.dynamic_points), (std::vector<int>{1, 2, 3}));
       }},
      {{"--dynamic-points", "4,", "10", "--Bnum", "5"},
       4,
       [](const Args& a) {
         EXPECT_EQ(ints(a.dynamic_points), (std::vector<int>{4, 10}));
       }},
      {{"-y", "--dynamic-points", "1,2,3", "--Bnum", "5"},
       4,
       [](const Args& a) {
         EXPECT_EQ(a.algo_args->dynamic, 1);
         EXPECT_TRUE(ints(a.dynamic_points).empty());
       }},
      {{"--dynamic-points", "1,2", "-y", "--Bnum", "5"},
       4,
       [](const Args& a) { EXPECT_TRUE(ints(a.dynamic_points).empty()); }},
      {{"-y", "--oto", "5", "--Bnum", "5"}, 4, [](const Args& a) { EXPECT_EQ(a.oto_interval, 5); }},
      // base / P is 0 here; a 1-to-1 interval of 0 would divide by zero in the job loop
      {{"-y", "-n", "3", "--Bnum", "5"}, 4, [](const Args& a) { EXPECT_EQ(a.oto_interval, 1); }},
      {{"-y", "-n", "0", "--Bnum", "5"}, 4, [](const Args& a) { EXPECT_EQ(a.oto_interval, 1); }},
      // a derived negative interval would switch the table off: it is raised as well
      {{"-y", "-n", "-8", "--Bnum", "5"}, 4, [](const Args& a) { EXPECT_EQ(a.oto_interval, 1); }},
      {{"-n", "0"}, 4, [](const Args& a) { EXPECT_EQ(a.oto_interval, 2147483647); }},
      {{"-n", "-1"}, 4, [](const Args& a) { EXPECT_EQ(a.interval_base, 2560); }},
  };
  for (const Case& c : cases) {
    std::string line;
    for (const std::string& w : c.words) line += w + " ";
    SCOPED_TRACE(line + "P=" + std::to_string(c.processes));
    Parsed p(c.words, 0, c.processes);
    c.check(*p);
  }
}

// The entries the program appends to -A and -S never override what the user wrote.
TEST(ParseArgs, AppendedOptionEntries) {
  struct Case {
    std::vector<std::string> words;
    std::string algo_options;
    std::string score_options;
    int share_names;
  };
  const std::vector<Case> cases = {
      {{}, "t=1", "linear=on", 0},
      {{"-A", "t=5"}, "t=5", "linear=on", 0},
      {{"-A", "trials=4"}, "trials=4", "linear=on", 0},
      {{"-A", "t=5,trials=5"}, "t=5,trials=5", "linear=on", 0},
      {{"-A", "rev=off,v=1"}, "rev=off,v=1,t=1", "linear=on", 0},
      {{"-S", "level=3"}, "t=1", "level=3,linear=on", 0},
      {{"-S", "linear"}, "t=1", "linear=on", 0},
      {{"-S", "hn=5,hi=0.5"}, "t=1", "hn=5,hi=0.5", 0},
      {{"-S", "hyper_bg=2"}, "t=1", "hyper_bg=2", 0},
      {{"-S", "hyper_num=2"}, "t=1", "hyper_num=2", 0},
      {{"-S", "hyper_inc=2"}, "t=1", "hyper_inc=2", 0},
      {{"-S", "hb=2"}, "t=1", "hb=2", 0},
      {{"--algo", "TSHC", "-A", "first=F"}, "first=F,t=1,cache=off", "linear=on", 1},
      {{"--algo", "tshc", "--cache", "3", "-A", "first=F,cache=on,t=2"},
       "first=F,cache=on,t=2",
       "linear=on",
       1},
      {{"--algo", "tshc", "--share-names", "-A", "first=F"},
       "first=F,t=1,cache=off",
       "linear=on",
       1},
      {{"--algo", "hc2", "--share-names"}, "t=1", "linear=on", 0},
      // the skeleton and the parent-candidate file look genes up by name
      {{"--skeleton", "skel.txt"}, "t=1", "linear=on", 1},
      {{"--skel", "skel.txt", "--algo", "hc2"}, "t=1", "linear=on", 1},
      {{"-A", "parent=genes.txt"}, "parent=genes.txt,t=1", "linear=on", 1},
      {{"--algo", "hc2", "-A", "t=3,parent=genes.txt"}, "t=3,parent=genes.txt", "linear=on", 1},
      {{"--skeleton-type", "CHLIST", "--skel-args", "col=2"}, "t=1", "linear=on", 0},
  };
  for (const Case& c : cases) {
    std::string line;
    for (const std::string& w : c.words) line += w + " ";
    SCOPED_TRACE(line);
    Parsed p(c.words, 0, 4);
    EXPECT_EQ(kv_text(p->algo_options), c.algo_options);
    EXPECT_EQ(kv_text(p->score_args->options), c.score_options);
    EXPECT_EQ(p->share_names, c.share_names);
  }
}

// MiB counts become 64-bit byte counts, and the cache is charged to the budget.
TEST(ParseArgs, MemoryBudgetAndCache) {
  struct Case {
    std::vector<std::string> words;
    std::uint64_t memory;
    std::uint64_t cache_bytes;
    std::string err;
  };
  const std::vector<Case> cases = {
      {{"--total-mem", "8192"}, 8 * GiB, 500 * MiB, ""},
      {{"--total-mem", "4096", "--cache-size", "100"}, 4 * GiB, 500 * MiB, ""},
      {{"--total-mem", "1024", "--cache", "3"},
       524 * MiB,
       500 * MiB,
       "Score cache enabled.  Algorithm version: 3 \n"},
      {{"--cache", "3", "--cache-size", "100"},
       3 * GiB - 100 * MiB,
       100 * MiB,
       "Score cache enabled.  Algorithm version: 3 \n"},
      {{"--cache", "2", "--cache-size", "4096", "--total-mem", "8192"},
       4 * GiB,
       4 * GiB,
       "Score cache enabled.  Algorithm version: 2 \n"},
      {{"--cache", "3", "--cache-size", "3072"},
       0,
       3 * GiB,
       "Score cache enabled.  Algorithm version: 3 \n"},
      {{"--total-mem", "2000000"}, std::uint64_t{2000000} * MiB, 500 * MiB, ""},
  };
  for (const Case& c : cases) {
    std::string line;
    for (const std::string& w : c.words) line += w + " ";
    SCOPED_TRACE(line);
    vlk_test::CaptureErr err;
    Parsed p(c.words, 0, 4);
    EXPECT_EQ(p->memory, c.memory);
    EXPECT_EQ(p->cache_bytes, c.cache_bytes);
    EXPECT_EQ(err.text(), c.err);
  }
}

TEST(ParseArgs, ChargesThatExceedTheBudgetStop) {
  Args* a = Args_new_rank(0, 1);
  a->memory = 100;
  Args_charge_memory(a, 60, "the edge tables");
  Args_charge_memory(a, 40, "the edge tables");
  EXPECT_EQ(a->memory, 0u);
  EXPECT_FATAL_EXIT(Args_charge_memory(a, 1, "the score"),
                    "ERROR: memory budget exceeded: the score needs 1 bytes, 0 bytes are left "
                    "(--total-mem)\n");
  a->memory = 8 * GiB;
  Args_charge_memory(a, 5 * GiB, "the edge tables");
  EXPECT_EQ(a->memory, 3 * GiB);
  EXPECT_FATAL_EXIT(Args_charge_memory(a, 4 * GiB, "the score"),
                    "ERROR: memory budget exceeded: the score needs 4294967296 bytes, 3221225472 "
                    "bytes are left (--total-mem)\n");
  EXPECT_EQ(a->memory, 3 * GiB);
  Args_delete(a);
}

TEST(ParseArgs, RunSeedIsUnsigned32Bit) {
  struct Case {
    int rank;
    std::uint32_t seed;
  };
  for (const Case c : std::vector<Case>{{0, 5},
                                        {3, 7},
                                        {2, 4294967295u},
                                        {12, 4294960000u},
                                        {2147483, 1700000000u},
                                        {5000000, 123u}}) {
    Args* a = Args_new_rank(c.rank, 1);
    a->seed = c.seed;
    const std::uint64_t exact = std::uint64_t(c.rank) * 1000 + c.seed;
    EXPECT_EQ(Args_run_seed(a), static_cast<std::uint32_t>(exact % (std::uint64_t{1} << 32)))
        << c.rank << " " << c.seed;
    Args_delete(a);
  }
}

// Words the table rejects, and the budget checks, end the process with status 1.
TEST(ParseArgs, RejectedCommandLines) {
  struct Case {
    std::vector<std::string> words;
    std::string err;
  };
  const std::vector<Case> cases = {
      {{"--bogus", "x.edf"}, "ERROR: unknown argument specified: --bogus\n"},
      {{"x.edf", "-m", "10", "-Q", "1"}, "ERROR: unknown argument specified: -Q\n"},
      {{"x.edf", "-m"}, "ERROR: option -m needs a value\n"},
      {{"-T", "-t", "5"}, "ERROR: option -T needs a value\n"},
      {{"--on", "maybe"}, "ERROR: invalid value for option --on\n"},
      // A text option without its value would take the text "on".
      {{"x.edf", "-o"}, "ERROR: option -o needs a value\n"},
      {{"--compare", "-m", "5", "x.edf"}, "ERROR: option --compare needs a value\n"},
      {{"x.edf", "-O", "--skel", "s.txt"}, "ERROR: option -O needs a value\n"},
      {{"x.edf", "--compare-module"}, "ERROR: option --compare-module needs a value\n"},
      {{"--skel-type", "-"}, "ERROR: option --skel-type needs a value\n"},
      {{"a.edf", "-m", "10", "b.edf"}, "ERROR: more than one input file given: a.edf and b.edf\n"},
      {{"--share-names=1"}, "ERROR: unknown argument specified: --share-names=1\n"},
      {{"--H", "3"}, "ERROR: Obsolete argument specified: --H\n"},
      {{"x.edf", "--IA"}, "ERROR: Obsolete argument specified: --IA\n"},
      {{"--total-mem", "-1"}, "ERROR: --total-mem must not be negative: -1\n"},
      {{"--cache", "3", "--cache-size", "-5"},
       "Score cache enabled.  Algorithm version: 3 \n"
       "ERROR: --cache-size must not be negative: -5\n"},
      {{"--total-mem", "100", "--cache", "3"},
       "Score cache enabled.  Algorithm version: 3 \n"
       "ERROR: memory budget exceeded: the score cache needs 524288000 bytes, 104857600 bytes "
       "are left (--total-mem)\n"},
      {{"-o", "/nonexistent-dir/run"},
       "ERROR: cannot write the final network to /nonexistent-dir/run.vlk3: cannot create a file "
       "in /nonexistent-dir: No such file or directory\n"},
      {{"-o", "/nonexistent-dir/run", "--on", "0"},
       "ERROR: cannot open log file: /nonexistent-dir/run.log\n"},
  };
  for (const Case& c : cases) {
    std::string line;
    for (const std::string& w : c.words) line += w + " ";
    SCOPED_TRACE(line);
    const ParseRun run = run_parse(c.words);
    EXPECT_TRUE(run.end.exit1()) << "status " << run.end.status << " signal " << run.end.signal;
    EXPECT_EQ(run.end.err, c.err);
    EXPECT_EQ(run.out, "");
  }
}

// Settings that would stall or break the run: one line each, status 1, before any work
// (no cache line, no log file).
TEST(ParseArgs, RefusedSettings) {
  struct Case {
    std::vector<std::string> words;
    std::string err;
  };
  const std::vector<Case> cases = {
      {{"-t", "-1"}, "ERROR: -t must not be negative: -1\n"},
      {{"-a", "0", "-t", "-100"}, "ERROR: -t must not be negative: -100\n"},
      {{"-t", "200", "-T", "100"}, "ERROR: -T must not be less than -t: -T 100, -t 200\n"},
      {{"-a", "2", "-t", "1", "--rw-t", "0"}, "ERROR: -T must not be less than -t: -T 0, -t 1\n"},
      {{"-T", "-5"}, "ERROR: -T must not be less than -t: -T -5, -t 0\n"},
      {{"--ci", "0"}, "ERROR: --ci must be at least 1: 0\n"},
      {{"--check-int", "-100"}, "ERROR: --ci must be at least 1: -100\n"},
      {{"-a", "0", "-t", "0", "--ci", "0"}, "ERROR: --ci must be at least 1: 0\n"},
      {{"--dag-inv", "0"}, "ERROR: --dag-inv must be at least 1: 0\n"},
      {{"--dag-inv", "-3"}, "ERROR: --dag-inv must be at least 1: -3\n"},
      {{"--cutoff-mode", "1", "--cutoffs", "0.1,0.5,0"},
       "ERROR: the step of --cutoffs must be positive: 0\n"},
      {{"--cutoffs", "0.5,0.1,-0.1", "--cutoff-mode", "1"},
       "ERROR: the step of --cutoffs must be positive: -0.1\n"},
      {{"--cutoff-mode", "1", "--cutoffs", "0.1,0.5,nan"},
       "ERROR: option \"--cutoffs\": \"nan\" (field 3 of \"0.1,0.5,nan\") is not a finite "
       "number\nERROR: invalid value for option --cutoffs\n"},
      {{"--cache", "2", "--algo", "hc2"},
       "ERROR: --cache 2 serves one scoring thread only and cannot be used with --algo hc2; use "
       "--cache 3\n"},
      {{"--algo", "TSHC", "--cache", "2", "--cache-size", "10"},
       "ERROR: --cache 2 serves one scoring thread only and cannot be used with --algo TSHC; use "
       "--cache 3\n"},
      {{"--init"},
       "ERROR: --init is not supported: the whole-data score cannot serve the nucleus "
       "searches\n"},
      {{"x.edf", "--init", "--lv", "3"},
       "ERROR: --init is not supported: the whole-data score cannot serve the nucleus "
       "searches\n"},
      {{"-y", "x.edf"},
       "ERROR: Normal dynamic model not supported. -y needs --Bnum (or --blocks), the number of "
       "bootstrap blocks of a nucleus\n"},
      {{"x.edf", "--dynamic-points"},
       "ERROR: Normal dynamic model not supported. --dynamic-points needs --Bnum (or --blocks), "
       "the number of bootstrap blocks of a nucleus\n"},
      {{"--dynamic-points", "1,2", "-y"},
       "ERROR: Normal dynamic model not supported. -y needs --Bnum (or --blocks), the number of "
       "bootstrap blocks of a nucleus\n"},
      {{"-a", "3"}, "ERROR: Unknown algorithm type (-a option) specified: 3\n"},
      {{"-a", "-1"}, "ERROR: Unknown algorithm type (-a option) specified: -1\n"},
      {{"--algo", "foo"}, "ERROR: Unknown Algorithm specified: foo\n"},
      {{"-m", "0"}, "ERROR: the module size (-m) must be at least 1: 0\n"},
      {{"-M", "0"}, "ERROR: the maximum number of parents (-M) must be at least 1: 0\n"},
      {{"--lv", "4"}, "ERROR: --lv must be 1, 2 or 3: 4\n"},
      {{"--lv", "0"}, "ERROR: --lv must be 1, 2 or 3: 0\n"},
      {{"--cutoff-mode", "1", "--cutoffs", "0.1,0.5"},
       "ERROR: specify three values for --cutoffs\n"},
      {{"--cutoff-mode", "1", "--cutoffs", "0.5,0.1,0.1"},
       "ERROR: the start of --cutoffs is above its end: 0.5 > 0.1, no cutoff\n"},
      {{"--cache", "1"},
       "ERROR: --cache must be 0 (no cache), 2 (prefix tree) or 3 (hash table): 1\n"},
      {{"--cache", "4"},
       "ERROR: --cache must be 0 (no cache), 2 (prefix tree) or 3 (hash table): 4\n"},
      {{"-S", "foo=1"}, "ERROR: BNRC: Unknown argument specified: foo\n"},
      {{"-S", "linear=off"}, "ERROR: BNRC: Unknown argument specified: linear\n"},
      {{"-S", "hn=-3"}, "ERROR: BNRC: Not supported number of hyperparameters = -3\n"},
      {{"-S", "level=4"}, "ERROR: BNRC: Not supported (implemented) level = 4\n"},
      {{"-S", "hb=400"},
       "ERROR: BNRC: the hyperparameter grid hb=400, hi=0.4 gives no positive finite beta at grid "
       "value 0: inf\n"},
      {{"-A", "foo=1"}, "ERROR: Greedy: unknown argument specified: foo\n"},
      {{"-A", "parents=genes.txt"}, "ERROR: Greedy: unknown argument specified: parents\n"},
      {{"-A", "t=0"}, "ERROR: Greedy: the number of trials (t, trials) must be at least 1: 0\n"},
      {{"--algo", "hc2", "-A", "trials=-2"},
       "ERROR: Greedy: the number of trials (t, trials) must be at least 1: -2\n"},
      {{"-A", "max_loops=0"},
       "ERROR: Greedy: the number of loops (max_loops) must be at least 1: 0\n"},
      {{"--algo", "tshc"}, "ERROR: TwoStepHC: First parent set file not specified.\n"},
      {{"--algo", "tshc", "-A", "first=F,s=NOPE"},
       "ERROR: TwoStepHC: unknown score module: NOPE\n"},
      {{"--algo", "tshc", "-A", "first=F,S={hn=0}"},
       "ERROR: BNRC: Not supported number of hyperparameters = 0\n"},
      {{"--algo", "tshc", "-A", "first=F,bogus"},
       "ERROR: Greedy: unknown argument specified: bogus\n"},
      {{"--algo", "tshc", "-A", "first=F,p=abc"},
       "ERROR: option \"p\": \"abc\" is not an integer\n"},
      {{"--algo", "tshc", "-A", "first=F,m=0"},
       "ERROR: TwoStepHC: option \"m\" must be at least 1: 0\n"},
      {{"--dynamic-points", "0,1x,2", "--Bnum", "2"},
       "ERROR: option \"--dynamic-points\": \"1x\" (field 2 of \"0,1x,2\") is not an integer\n"},
      {{"--algo", "tshc", "-A", "first=F,t=0"},
       "ERROR: Greedy: the number of trials (t, trials) must be at least 1: 0\n"},
      {{"--dynamic-points", "0,1,2", "--Bnum", "-1"},
       "ERROR: Normal dynamic model not supported. --dynamic-points needs --Bnum (or --blocks), "
       "the number of bootstrap blocks of a nucleus\n"},
  };
  for (const Case& c : cases) {
    std::string line;
    for (const std::string& w : c.words) line += w + " ";
    SCOPED_TRACE(line);
    EXPECT_FATAL_EXIT(Parsed p(c.words, 0, 4), c.err);
  }
  // Refused before the log file is made.
  char dir[] = "/tmp/vlk_args_refused_XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  const std::string prefix = std::string(dir) + "/out";
  EXPECT_FATAL_EXIT(Parsed p({"-o", prefix, "--ci", "0"}, 0, 4),
                    "ERROR: --ci must be at least 1: 0\n");
  EXPECT_NE(access((prefix + ".log").c_str(), F_OK), 0);
  rmdir(dir);
}

// The limits of those checks, and the settings next to them, are accepted.
TEST(ParseArgs, AcceptedNextToTheRefusals) {
  const std::vector<std::vector<std::string>> cases = {
      {"-t", "0", "-T", "0"},
      {"-t", "150", "--ci", "100", "-T", "1000"},
      {"-t", "500", "-T", "500"},
      {"-a", "0", "-t", "300", "-T", "100"},  // RSR runs -t nuclei; -T is not used
      {"-a", "0", "-T", "-5"},
      {"--ci", "1", "--dag-inv", "1"},
      {"--cutoff-mode", "1", "--cutoffs", "0.1,0.5,0.1"},
      {"--cutoffs", "0.1,0.5,0"},  // a plain list of cutoffs
      {"--cutoff-mode", "2", "--cutoffs", "0.3,0.2,-1"},
      {"--cache", "2"},
      {"--cache", "2", "--algo", "HC"},
      {"--cache", "3", "--algo", "hc2"},
      {"--cache", "3", "--algo", "tshc", "-A", "first=F"},
      {"--algo", "tshc", "-A", "first=F,s=BNRC,S={hn=3,hi=0.5},p=10,m=2,t=2"},
      {"--lv", "3"},
      {"--lv", "1", "-S", "level=1"},
      {"-a", "0", "-M", "3", "-m", "1"},
      {"-A", "t=2,max_loops=1,rev=off"},
      {"-S", "hb=300,hn=3,hi=100"},
      {"--dynamic-points", "--Bnum", "2"},  // a list of its own default
      {"--input-type", "on", "--algo", "hc"},
  };
  for (const std::vector<std::string>& words : cases) {
    std::string line;
    for (const std::string& w : words) line += w + " ";
    SCOPED_TRACE(line);
    const ParseRun run = run_parse(words);
    EXPECT_TRUE(run.end.exited);
    EXPECT_EQ(run.end.status, 0);
    EXPECT_EQ(run.end.err.find("ERROR"), std::string::npos) << run.end.err;
  }
}

// What -h prints, line by line.
const std::string kUsage = [] {
  const char* const lines[] = {
      "Usage:",
      "mpirun [MPI options...] velknnsr [options...] input_file",
      "",
      "Options:",
      " -h [command[,subcommand]]",
      " --help [command[,subcommand]]",
      "        Show help messages.  The following \"command\" can be specified.",
      "          \"module\" or \"mod\"",
      "             Displays the list of modules.  If the module name is given as",
      "             \"subcommand\", displays available options for the specified module.",
      " -m n   Module size (default: 1000)",
      " -T n   # of iterations. (default: 100000)",
      " -t n   # of iterations for random sampling phase. (default: 0)",
  };
  std::string text;
  for (const char* line : lines) text += std::string(line) + "\n";
  return text;
}();

// A module's block as the registry prints it, with velknnsr's own lines before its end.
std::string module_block(const char* name, const std::string& note, const char* sub = nullptr) {
  std::string block = vlk_test::capture([&](FILE* fp) { VLK_Help_msg(fp, nullptr, name, sub); });
  block.pop_back();
  return block + note + "\n";
}

TEST(Help, UsageAndModuleHelpEndWithStatusZero) {
  const std::string bnrc_help =
      module_block("BNRC",
                   "velknnsr passes these with -S (every run's score); -A S={...} with --algo "
                   "tshc.\nWithout hyper_num, hn, hyper_inc, hi, hyper_bg, hb or linear in -S, "
                   "velknnsr adds linear.\n");
  const std::string searches =
      "Its searches keep up to 10 parent candidates per node and take the parent limit of -M "
      "(default 1).\n";
  struct Case {
    std::vector<std::string> words;
    std::string out;
  };
  const std::vector<Case> cases = {
      {{"-h"}, kUsage},
      {{"--help"}, kUsage},
      {{"x.edf", "-m", "10", "-h"}, kUsage},
      // the callback runs at its position: what follows is never looked at
      {{"-h", "--bogus"}, kUsage},
      // the help ends the process before the settings are checked
      {{"--ci", "0", "--init", "-h"}, kUsage},
      {{"-h", "module,BNRC"}, bnrc_help},
      {{"-h", "MOD,bnrc,any"}, bnrc_help},
      {{"-h", "mod,hc"},
       module_block("hc",
                    "velknnsr passes these with -A, with --algo hc (the default).\nWithout "
                    "trials or t in -A, velknnsr adds t=1.\n" +
                        searches)},
      {{"-h", "mod,tshc"},
       module_block("tshc",
                    "velknnsr passes these with -A, with --algo tshc.\nWithout trials or t in "
                    "-A, velknnsr adds t=1.\nWithout cache in -A, velknnsr adds cache=off.\n" +
                        searches)},
      {{"-h", "mod,EDF"},
       module_block("EDF",
                    "velknnsr passes these with -I, --input-args, with --input-type edf (the "
                    "default).\n")},
      // the sub category goes to the module
      {{"-h", "mod,TXT,output"},
       module_block("TXT",
                    "velknnsr passes these with --output-args with -O TXT; -A "
                    "firstnetopt={...} with --algo tshc.\n",
                    "output")},
  };
  for (const Case& c : cases) {
    std::string line;
    for (const std::string& w : c.words) line += w + " ";
    SCOPED_TRACE(line);
    const ParseRun run = run_parse(c.words);
    EXPECT_TRUE(run.end.exited);
    EXPECT_EQ(run.end.status, 0);
    EXPECT_EQ(run.out, c.out);
    EXPECT_EQ(run.end.err, "");
  }
  // An option the table rejects before -h ends the run before the help.
  const ParseRun bad = run_parse({"--bogus", "-h"});
  EXPECT_TRUE(bad.end.exit1());
  EXPECT_EQ(bad.out, "");
}

// Without a module name: every module of the help registry, with the options of velknnsr that
// pass it its own.
TEST(Help, TheModulesAndTheirRoads) {
  const ParseRun run = run_parse({"-h", "module"});
  EXPECT_EQ(run.end.status, 0);
  std::vector<std::string> lines;
  for (size_t at = 0, end; (end = run.out.find('\n', at)) != std::string::npos; at = end + 1)
    lines.push_back(run.out.substr(at, end - at));
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines.front(),
            "Modules with options of their own, and how velknnsr passes them theirs:");
  EXPECT_EQ(lines.back(), "-h module,NAME shows the options of one of them.");
  std::vector<std::string> listed;
  for (size_t k = 1; k + 1 < lines.size(); ++k) {
    listed.push_back(lines[k].substr(2, lines[k].find(' ', 2) - 2));
    EXPECT_EQ(lines[k].find("(not reached from velknnsr)"), std::string::npos) << lines[k];
  }
  std::vector<std::string> registry;
  for (const VLK_HelpEntry* row = VLK_Help_lists; row->help != nullptr; ++row)
    registry.emplace_back(row->name);
  EXPECT_EQ(listed, registry);
  EXPECT_NE(run.out.find("\n  EDF         -I, --input-args, with --input-type edf (the default)\n"),
            std::string::npos);
  EXPECT_NE(run.out.find("\n  hc2         -A, with --algo hc2\n"), std::string::npos);
}

// A request the help cannot serve names what there is and ends with status 1, nothing printed
// on standard output.
TEST(Help, RequestsItCannotServe) {
  const std::string modules =
      "EDF, DataMatrix, hc, hc2, tshc, BNRC, ContPrior, TXT, CSML, NODELIST, GON, PALIST";
  struct Case {
    std::vector<std::string> words;
    std::string err;
  };
  const std::vector<Case> cases = {
      {{"--help", "foo"}, "Unknown command for --help (-h) option: foo (known: module, mod)\n"},
      {{"-h", "foo,bar"}, "Unknown command for --help (-h) option: foo (known: module, mod)\n"},
      {{"-h", "module,nonsense"},
       "ERROR: unknown module for --help (-h) option: nonsense (known: " + modules + ")\n"},
      {{"-h", "mod,,BNRC"},
       "ERROR: no module name for --help (-h) option: mod,,BNRC (known: " + modules + ")\n"},
      // a value ending in ',' that no word continues is the request it was, not a bare -h
      {{"-h", "mod,"},
       "ERROR: no module name for --help (-h) option: mod, (known: " + modules + ")\n"},
      {{"-h", "mod,", "-m", "3"},
       "ERROR: no module name for --help (-h) option: mod, (known: " + modules + ")\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.words[1]);
    const ParseRun run = run_parse(c.words);
    EXPECT_TRUE(run.end.exit1()) << run.end.status;
    EXPECT_EQ(run.end.err, c.err);
    EXPECT_EQ(run.out, "");
  }
}

// What the help says velknnsr adds to -S and -A is what parse_args adds: the entry follows a
// list without the keys the help names, and no list that names one of them.
TEST(Help, TheNotesSayWhatTheCommandLineGets) {
  const std::map<std::string, std::string> values = {
      {"hyper_num", "3"}, {"hn", "3"},      {"hyper_inc", "0.5"}, {"hi", "0.5"}, {"hyper_bg", "2"},
      {"hb", "2"},        {"linear", "on"}, {"trials", "2"},      {"t", "2"},    {"cache", "off"}};
  struct Case {
    std::string module;
    std::vector<std::string> words;  // what picks the module
    std::string list;
  };
  const Case cases[] = {{"BNRC", {}, "-S"}, {"hc", {}, "-A"}, {"tshc", {"--algo", "tshc"}, "-A"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.module);
    // The entries parse_args puts after those of a list holding `given`.
    const auto added = [&](const std::string& given) {
      std::vector<std::string> words = c.words;
      std::string list = c.module == "tshc" ? "first=F" : "";  // tshc needs its first set
      if (!given.empty()) list += (list.empty() ? "" : ",") + given;
      if (!list.empty()) words.insert(words.end(), {c.list, list});
      Parsed p(words, 0, 4);
      const std::string bound = kv_text(c.list == "-S" ? p->score_args->options : p->algo_options);
      EXPECT_EQ(bound.rfind(list, 0), 0u) << bound;
      return bound.substr(list.size()) + ",";
    };
    const ParseRun run = run_parse({"-h", "mod," + c.module});
    const std::regex note("\nWithout (.*) in " + c.list + ", velknnsr adds (.*)\\.(?=\n)");
    int notes = 0;
    for (std::sregex_iterator m(run.out.begin(), run.out.end(), note), end; m != end; ++m) {
      ++notes;
      std::string entry = (*m)[2];
      if (entry.find('=') == std::string::npos) entry += "=on";  // a bare key prints so
      SCOPED_TRACE(entry);
      EXPECT_NE(("," + added("")).find("," + entry + ","), std::string::npos);
      const std::string keys = std::regex_replace((*m)[1].str(), std::regex(",| or"), "");
      std::istringstream in(keys);
      for (std::string key; in >> key;) {
        SCOPED_TRACE(key);
        ASSERT_EQ(values.count(key), 1u);
        EXPECT_EQ(("," + added(key + "=" + values.at(key))).find("," + entry + ","),
                  std::string::npos);
      }
    }
    EXPECT_EQ(notes, c.module == "tshc" ? 2 : 1) << run.out;
  }
}

// The defaults the usage text names are the program's.
TEST(Help, TheUsageNamesTheDefaults) {
  const std::vector<ArgsOption> options = Args_options();
  for (const char* option : {"-m", "-T", "-t"}) {
    SCOPED_TRACE(option);
    const size_t line = kUsage.find(std::string("\n ") + option + " n ");
    ASSERT_NE(line, std::string::npos);
    const size_t at = kUsage.find("(default: ", line) + 10;
    const std::string shown = kUsage.substr(at, kUsage.find(')', at) - at);
    const auto o = std::find_if(options.begin(), options.end(),
                                [&](const ArgsOption& a) { return a.name == option; });
    ASSERT_NE(o, options.end());
    EXPECT_EQ(shown, o->default_text);
  }
}

TEST(Help, ShowHelpPrintsTheUsage) {
  const ParseRun run = [] {
    vlk_test::TempFile out("");
    ParseRun r;
    r.end = vlk_test::run_fatal([&] {
      std::fflush(stdout);
      const int fd = open(out.path().c_str(), O_WRONLY | O_TRUNC);
      dup2(fd, 1);
      close(fd);
      show_help();
      std::fflush(stdout);
    });
    r.out = vlk_test::read_file(out.path());
    return r;
  }();
  EXPECT_EQ(run.end.status, 0);
  EXPECT_EQ(run.out, kUsage);
}

TEST(ShowSettings, PrintsTheBlock) {
  Args* a = Args_new_rank(3, 4);
  a->iterations = 250;
  vlk_test::CaptureErr err;
  show_settings(a);
  EXPECT_EQ(err.text(),
            "show_settings() =====================================\n"
            "MPI_rank=3\n"
            "iterations=250\n"
            "=====================================================\n");
  Args_delete(a);
}

// The log file each of 3 processes writes, for every log mode; the cache line shows which
// stream became VELK_ERR.
class LogFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    char dir[] = "/tmp/vlk_args_log_XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    dir_ = dir;
    prefix_ = dir_ + "/out";
  }
  void TearDown() override {
    for (const char* f : {".log", ".log.00000", ".log.00001", ".log.00002", ".log.00012"})
      unlink((prefix_ + f).c_str());
    rmdir(dir_.c_str());
  }
  bool exists(const std::string& suffix) const {
    return access((prefix_ + suffix).c_str(), F_OK) == 0;
  }
  std::string dir_, prefix_;
};

TEST_F(LogFiles, ModeOneWritesOneFilePerRank) {
  for (int rank = 0; rank < 3; ++rank) {
    Parsed p({"-o", prefix_, "--log", "1", "--cache", "3"}, rank, 3);
    EXPECT_TRUE(p.err_switched());
    EXPECT_FALSE(is_dev_null(p.err()));
  }
  for (const char* f : {".log.00000", ".log.00001", ".log.00002"}) {
    SCOPED_TRACE(f);
    EXPECT_EQ(vlk_test::read_file(prefix_ + f), "Score cache enabled.  Algorithm version: 3 \n");
  }
  EXPECT_FALSE(exists(".log"));
  { Parsed p({"-o", prefix_, "-L", "1"}, 12, 16); }
  EXPECT_TRUE(exists(".log.00012"));
}

TEST_F(LogFiles, ModeZeroWritesRankZeroOnly) {
  for (int rank = 0; rank < 3; ++rank) {
    Parsed p({"-o", prefix_, "--cache", "2"}, rank, 3);
    EXPECT_EQ(is_dev_null(p.err()), rank != 0) << rank;
  }
  EXPECT_EQ(vlk_test::read_file(prefix_ + ".log"), "Score cache enabled.  Algorithm version: 2 \n");
  EXPECT_FALSE(exists(".log.00000"));
}

TEST_F(LogFiles, ModeTwoAndOtherModes) {
  for (int rank = 0; rank < 3; ++rank) {
    Parsed p({"-o", prefix_, "--log", "2"}, rank, 3);
    if (rank == 0)
      EXPECT_EQ(p.err(), stderr);
    else
      EXPECT_TRUE(is_dev_null(p.err()));
  }
  for (const char* mode : {"3", "-1"}) {
    for (int rank = 0; rank < 3; ++rank) {
      Parsed p({"-o", prefix_, "--log", mode}, rank, 3);
      EXPECT_TRUE(is_dev_null(p.err())) << mode << " " << rank;
    }
  }
  EXPECT_FALSE(exists(".log"));
  EXPECT_FALSE(exists(".log.00000"));
}

// Another running job on the prefix (holding its lock): the run is refused naming the prefix,
// before its log is emptied, in every log mode; without it the run takes the prefix, gives it
// up at the end (Args_delete here), and clears the hidden temporary files that a job killed
// while writing its final network left.
TEST_F(LogFiles, APrefixAnotherJobHoldsIsRefused) {
  std::ofstream(prefix_ + ".log") << "the other job's log\n";
  {
    PrefixLock other;
    std::string why;
    ASSERT_EQ(other.take(prefix_, &why), PrefixLock::Taken::yes);
    for (const char* mode : {"0", "1", "2"}) {
      SCOPED_TRACE(mode);
      const ParseRun run = run_parse({"-o", prefix_, "--log", mode, "x.edf"}, 0, 3);
      EXPECT_TRUE(run.end.exit1());
      EXPECT_EQ(run.end.err, "ERROR: the output prefix " + prefix_ +
                                 " is in use by another running job (it holds the lock of " +
                                 prefix_ + ".log)\n");
      EXPECT_EQ(vlk_test::read_file(prefix_ + ".log"), "the other job's log\n");
      EXPECT_FALSE(exists(".log.00000"));
    }
  }
  const std::string stale[] = {dir_ + "/.out.vlk3.Ab12Cd", dir_ + "/.out.csml.000000"};
  for (const std::string& f : stale) std::ofstream(f) << "half a network";
  const std::string other = dir_ + "/.other.vlk3.Ab12Cd";
  std::ofstream(other) << "another prefix's";
  {
    Parsed p({"-o", prefix_, "x.edf"}, 0, 3);
    std::fflush(p.err());
  }
  const std::string log = vlk_test::read_file(prefix_ + ".log");
  for (const std::string& f : stale) {
    EXPECT_NE(access(f.c_str(), F_OK), 0) << f;
    EXPECT_NE(log.find("Removed " + f + ", a temporary file of an interrupted run\n"),
              std::string::npos)
        << log;
  }
  EXPECT_EQ(access(other.c_str(), F_OK), 0);
  unlink(other.c_str());
  // Under --log 1 the lock's file goes when the prefix is given up.
  unlink((prefix_ + ".log").c_str());
  { Parsed p({"-o", prefix_, "--log", "1", "x.edf"}, 0, 3); }
  EXPECT_FALSE(exists(".log"));
  EXPECT_TRUE(exists(".log.00000"));
}

TEST_F(LogFiles, NoPrefixKeepsTheStream) {
  for (const char* mode : {"0", "1", "2"}) {
    FILE* before = VELK_ERR;
    Parsed p({"--log", mode}, 1, 3);
    EXPECT_EQ(p.err(), before) << mode;
  }
}

}  // namespace
