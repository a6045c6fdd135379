// The score store changes no result: the program writes the same network file, byte for byte,
// with the store and without it (a memory budget too small for the store's share), over the
// searches, parent limits, methods, score caches, process and thread counts, static and dynamic
// data.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "vlk_test.h"

namespace {

namespace fs = std::filesystem;

// 650 genes of 10 samples: the budgets below hold the edge tables, the whole-data score at
// level 1 and the nuclei, but not a share of the store's table, on 1, 2 or 3 processes.
constexpr int kGenes = 650;
int budget_without_store(int processes) { return processes == 1 ? 4 : 2; }  // MiB

struct Case {
  const char* name;
  int processes;
  int threads;
  std::vector<std::string> args;
  int cache_mib = 0;  // --cache-size, which the budget also pays
};
void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

// The data of the runs, made once for all tests of this file.
class StoreData {
 public:
  static const std::string& dir() {
    static const StoreData data;
    return data.dir_;
  }

 private:
  StoreData() {
    char pattern[] = "/tmp/vlk_store_XXXXXX";
    dir_ = mkdtemp(pattern) != nullptr ? pattern : "";
    const std::string cmd = "awk -v genes=" + std::to_string(kGenes) +
                            " -v samples=10 -v seed=5 -f " VLK_EXAMPLES_DIR
                            "/simulate_chains.awk > " +
                            dir_ + "/data.edf && awk 'NR > 1 && NR <= 41 { print $1 }' " + dir_ +
                            "/data.edf > " + dir_ + "/first.txt";
    if (dir_.empty() || std::system(cmd.c_str()) != 0) dir_.clear();
  }
  ~StoreData() {
    std::error_code ec;
    if (!dir_.empty()) fs::remove_all(dir_, ec);
  }
  std::string dir_;
};

// The shell command of one run of a case, its terminal output into PREFIX.out; `env` goes
// before mpirun.
std::string run_command(const Case& c, const std::string& prefix,
                        const std::vector<std::string>& extra, const std::string& env = "") {
  const std::string& dir = StoreData::dir();
  // OpenMPI starts as root and with more processes than cores only when told so; a sanitizer
  // build would report OpenMPI's own leaks.
  std::string cmd =
      "env OMPI_ALLOW_RUN_AS_ROOT=1 OMPI_ALLOW_RUN_AS_ROOT_CONFIRM=1 "
      "OMPI_MCA_rmaps_base_oversubscribe=1 "
      "ASAN_OPTIONS=detect_leaks=0:allocator_may_return_null=1 " +
      env + " " + std::string(VLK_MPIEXEC) +
      " --oversubscribe -x OMP_WAIT_POLICY=passive -x OMP_NUM_THREADS=" +
      std::to_string(c.threads) + " -np " + std::to_string(c.processes) + " " + VLK_PROGRAM;
  // FIRST stands for the first-set file of two-step hill climbing.
  for (std::string a : c.args) {
    if (const size_t at = a.find("FIRST"); at != std::string::npos)
      a.replace(at, 5, dir + "/first.txt");
    cmd += " " + a;
  }
  for (const std::string& a : extra) cmd += " " + a;
  cmd += " -m 30 -T 12 -t 4 --ci 6 --seed 3 -o " + prefix + " " + dir + "/data.edf";
  return cmd + " > " + prefix + ".out 2>&1";
}

// The network file, the log and the terminal output of one run.
struct Ended {
  std::string network;
  std::string log;
  std::string out;
};
Ended results(const std::string& prefix) {
  return {vlk_test::read_file(prefix + ".vlk3"), vlk_test::read_file(prefix + ".log"),
          vlk_test::read_file(prefix + ".out")};
}

// One run of a case, which must end with status 0.
Ended run(const Case& c, const std::string& tag, const std::vector<std::string>& extra,
          const std::string& env = "") {
  const std::string prefix = StoreData::dir() + "/" + c.name + "_" + tag;
  const std::string cmd = run_command(c, prefix, extra, env);
  EXPECT_EQ(std::system(cmd.c_str()), 0) << cmd << "\n" << vlk_test::read_file(prefix + ".out");
  return results(prefix);
}

class StoreProgram : public ::testing::TestWithParam<Case> {
 protected:
  void SetUp() override { ASSERT_FALSE(StoreData::dir().empty()); }
};

using vlk_test::count;

bool has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

}  // namespace

// One run with the store and one without, and the lines that say which.
TEST_P(StoreProgram, SameNetworkWithAndWithoutTheStore) {
  const Case& c = GetParam();
  const Ended with = run(c, "with", {});
  const Ended without =
      run(c, "without",
          {"--total-mem", std::to_string(budget_without_store(c.processes) + c.cache_mib)});
  if (has(c.name, "dynamic")) {
    EXPECT_TRUE(has(with.log, "Score store: not used with dynamic data.\n"));
  } else {
    EXPECT_TRUE(has(with.log, "Score store: table ")) << with.log;
    EXPECT_FALSE(has(with.log, "running without"));
    EXPECT_TRUE(has(with.log, "found stored"));
    EXPECT_TRUE(has(without.log, "running without the table, ")) << without.log;
    // Said once, on the terminal too: it costs the run its speed.
    EXPECT_EQ(count(without.out, "running without the table, "), 1u) << without.out;
    EXPECT_FALSE(has(without.log, "found stored"));
  }
  ASSERT_FALSE(with.network.empty());
  EXPECT_TRUE(with.network == without.network);
}

// The settings: searches, parent limits, methods, caches, processes x threads, data kinds.
INSTANTIATE_TEST_SUITE_P(
    Settings, StoreProgram,
    ::testing::Values(
        Case{"hc_M1", 1, 1, {"--algo", "hc"}},
        Case{"hc_M3_rsr_tree",
             1,
             2,
             {"--algo", "hc", "-M", "3", "-a", "0", "--cache", "2", "--cache-size", "1", "--oto",
              "-1"},
             1},
        Case{"hc2_M3_nnsr2_hash",
             2,
             1,
             {"--algo", "hc2", "-M", "3", "-a", "2", "--cache", "3", "--cache-size", "1", "--oto",
              "-1"},
             1},
        Case{"tshc_M2", 3, 1, {"--algo", "tshc", "-M", "2", "-A", "first=FIRST"}},
        Case{"hc2_M1_threads", 2, 3, {"--algo", "hc2", "--oto", "-1"}},
        Case{"dynamic_M3", 3, 1, {"--algo", "hc", "-M", "3", "-y", "--Bnum", "2", "--oto", "-1"}}),
    [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

namespace {

// A tmpfs of its own, standing for a node's small shared-memory directory (a container's
// /dev/shm); mounting one needs root and the right to mount, and a test without it is skipped.
class SmallTmpfs {
 public:
  explicit SmallTmpfs(const std::string& size) {
    char pattern[] = "/tmp/vlk_shm_XXXXXX";
    if (mkdtemp(pattern) == nullptr) return;
    dir_ = pattern;
    const std::string cmd =
        "mount -t tmpfs -o size=" + size + " tmpfs " + dir_ + " > /dev/null 2>&1";
    mounted_ = std::system(cmd.c_str()) == 0;
  }
  ~SmallTmpfs() {
    if (mounted_) std::system(("umount " + dir_).c_str());
    if (!dir_.empty()) rmdir(dir_.c_str());
  }
  SmallTmpfs(const SmallTmpfs&) = delete;
  SmallTmpfs& operator=(const SmallTmpfs&) = delete;
  bool mounted() const { return mounted_; }
  const std::string& dir() const { return dir_; }
  // OpenMPI's backing directory of shared windows, as `mpirun --mca` would set it.
  std::string env() const { return "OMPI_MCA_osc_sm_backing_directory=" + dir_; }
  bool empty() const { return fs::is_empty(dir_); }

 private:
  std::string dir_;
  bool mounted_ = false;
};

// The store asks its shared memory of a directory too small for it: every process goes on
// without what does not fit, with one WARNING that says how much was asked where, and the
// network is the one the store gives.
TEST(StoreSharedMemory, TooLittleSharedMemoryCostsTheStoreNotTheRun) {
  ASSERT_FALSE(StoreData::dir().empty());
  const Case one{"shm_M1", 3, 1, {"--algo", "hc"}};
  const Case three{"shm_M3", 3, 1, {"--algo", "hc", "-M", "3"}};
  const Ended one_stored = run(one, "stored", {}), three_stored = run(three, "stored", {});
  ASSERT_FALSE(one_stored.network.empty());
  {
    SmallTmpfs shm("1m");  // less than the table of 650 genes (3.4 MB)
    if (!shm.mounted()) GTEST_SKIP() << "no tmpfs can be mounted here";
    const Ended r = run(one, "short", {}, shm.env());
    const std::string warning =
        "Score store: WARNING: 3,380,064 [bytes] (3 [MiB]) of shared memory "
        "asked for in " +
        shm.dir() +
        " could not be had: No space left on device (1,048,576 [bytes] "
        "(1 [MiB]) free there); running without the store.\n";
    EXPECT_EQ(count(r.log, warning), 1u) << r.log;
    EXPECT_FALSE(has(r.log, "found stored"));
    EXPECT_TRUE(r.network == one_stored.network);
    EXPECT_TRUE(shm.empty());
  }
  {
    // The table fits; the parent sets take at most half of what it leaves free.
    SmallTmpfs shm("8m");
    ASSERT_TRUE(shm.mounted());
    const Ended r = run(three, "sized", {}, shm.env());
    EXPECT_TRUE(has(r.log,
                    "Score store: parent sets 1,572,864 [bytes] (1 [MiB]), shared by 3 "
                    "processes of this node"))
        << r.log;
    EXPECT_FALSE(has(r.log, "WARNING"));
    EXPECT_TRUE(r.network == three_stored.network);
    EXPECT_TRUE(shm.empty());
  }
}

// Two jobs on one node whose shared memory holds one store: one has it, the other goes on
// without it; neither dies of a bus error, and both write the same network.
TEST(StoreSharedMemory, TwoRunsOnOneNodeBothEndWell) {
  ASSERT_FALSE(StoreData::dir().empty());
  SmallTmpfs shm("5m");
  if (!shm.mounted()) GTEST_SKIP() << "no tmpfs can be mounted here";
  const Case c{"shm_two", 2, 1, {"--algo", "hc"}};
  const std::string first = StoreData::dir() + "/shm_two_a",
                    second = StoreData::dir() + "/shm_two_b";
  const std::string cmd = "(" + run_command(c, first, {}, shm.env()) + "; echo $? > " + first +
                          ".status) & (" + run_command(c, second, {}, shm.env()) + "; echo $? > " +
                          second + ".status) & wait";
  ASSERT_EQ(std::system(cmd.c_str()), 0);
  const Ended a = results(first), b = results(second);
  EXPECT_EQ(vlk_test::read_file(first + ".status"), "0\n") << a.out;
  EXPECT_EQ(vlk_test::read_file(second + ".status"), "0\n") << b.out;
  ASSERT_FALSE(a.network.empty());
  EXPECT_TRUE(a.network == b.network);
  // Reserving at once, both may give their part back: the one that tries again first has it.
  EXPECT_EQ(has(a.log, "found stored") + has(b.log, "found stored"), 1);
  for (const Ended* r : {&a, &b})
    EXPECT_NE(has(r->log, "found stored"), has(r->log, "running without the store.\n")) << r->log;
  EXPECT_TRUE(shm.empty());
}

}  // namespace
