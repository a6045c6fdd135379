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

class StoreProgram : public ::testing::TestWithParam<Case> {
 protected:
  static void SetUpTestSuite() {
    char pattern[] = "/tmp/vlk_store_XXXXXX";
    dir_ = mkdtemp(pattern) != nullptr ? pattern : "";
    ASSERT_FALSE(dir_.empty());
    const std::string cmd = "awk -v genes=" + std::to_string(kGenes) +
                            " -v samples=10 -v seed=5 -f " VLK_EXAMPLES_DIR
                            "/simulate_chains.awk > " +
                            dir_ + "/data.edf && awk 'NR > 1 && NR <= 41 { print $1 }' " + dir_ +
                            "/data.edf > " + dir_ + "/first.txt";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
  }
  static void TearDownTestSuite() {
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }

  // The network file and the log of one run; the run must end with status 0.
  struct Run {
    std::string network;
    std::string log;
  };
  static Run run(const Case& c, const std::string& tag, const std::vector<std::string>& extra) {
    const std::string prefix = dir_ + "/" + c.name + "_" + tag;
    // OpenMPI starts as root and with more processes than cores only when told so; a sanitizer
    // build would report OpenMPI's own leaks.
    std::string cmd =
        "env OMPI_ALLOW_RUN_AS_ROOT=1 OMPI_ALLOW_RUN_AS_ROOT_CONFIRM=1 "
        "OMPI_MCA_rmaps_base_oversubscribe=1 "
        "ASAN_OPTIONS=detect_leaks=0:allocator_may_return_null=1 " +
        std::string(VLK_MPIEXEC) +
        " --oversubscribe -x OMP_WAIT_POLICY=passive -x OMP_NUM_THREADS=" +
        std::to_string(c.threads) + " -np " + std::to_string(c.processes) + " " + VLK_PROGRAM;
    // FIRST stands for the first-set file of two-step hill climbing.
    for (std::string a : c.args) {
      if (const size_t at = a.find("FIRST"); at != std::string::npos)
        a.replace(at, 5, dir_ + "/first.txt");
      cmd += " " + a;
    }
    for (const std::string& a : extra) cmd += " " + a;
    cmd += " -m 30 -T 12 -t 4 --ci 6 --seed 3 -o " + prefix + " " + dir_ + "/data.edf";
    cmd += " > " + prefix + ".out 2>&1";
    EXPECT_EQ(std::system(cmd.c_str()), 0) << cmd << "\n" << vlk_test::read_file(prefix + ".out");
    return {vlk_test::read_file(prefix + ".vlk3"), vlk_test::read_file(prefix + ".log")};
  }

  static std::string dir_;
};

std::string StoreProgram::dir_;

bool has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

}  // namespace

// One run with the store and one without, and the lines that say which.
TEST_P(StoreProgram, SameNetworkWithAndWithoutTheStore) {
  const Case& c = GetParam();
  const Run with = run(c, "with", {});
  const Run without =
      run(c, "without",
          {"--total-mem", std::to_string(budget_without_store(c.processes) + c.cache_mib)});
  if (has(c.name, "dynamic")) {
    EXPECT_TRUE(has(with.log, "Score store: not used with dynamic data.\n"));
  } else {
    EXPECT_TRUE(has(with.log, "Score store: table ")) << with.log;
    EXPECT_FALSE(has(with.log, "running without the table"));
    EXPECT_TRUE(has(with.log, "found stored"));
    EXPECT_TRUE(has(without.log, "running without the table.\n")) << without.log;
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
