// How a run under mpirun ends on an error, by who meets it: an error every process meets alike
// is printed once and all leave with status 1 without the abort's banner; one that a process
// meets alone names the process and aborts the run; a process that meets alone what the others
// were to meet alike does not wait for them forever.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

#include "vlk_test.h"

namespace {

namespace fs = std::filesystem;

struct Ended {
  int status = -1;
  std::string out;
  double seconds = 0;
};

// The endings program under mpirun with 3 processes, its standard output and error together.
Ended endings(const std::string& args) {
  const std::string cmd =
      "env OMPI_ALLOW_RUN_AS_ROOT=1 OMPI_ALLOW_RUN_AS_ROOT_CONFIRM=1 "
      "OMPI_MCA_rmaps_base_oversubscribe=1 "
      "ASAN_OPTIONS=detect_leaks=0:allocator_may_return_null=1 timeout 60 " +
      std::string(VLK_MPIEXEC) + " --oversubscribe -np 3 " + VLK_ENDINGS + " " + args + " 2>&1";
  const auto start = std::chrono::steady_clock::now();
  Ended e;
  FILE* p = popen(cmd.c_str(), "r");
  if (p == nullptr) return e;
  char buf[4096];
  for (size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) e.out.append(buf, n);
  const int w = pclose(p);
  e.status = WIFEXITED(w) ? WEXITSTATUS(w) : -1;
  e.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return e;
}

size_t count(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

const char* const kAbortBanner = "MPI_ABORT was invoked";

TEST(Endings, AnErrorEveryProcessMeetsIsPrintedOnceAndEndsWithoutAbort) {
  const Ended e = endings("alike");
  EXPECT_EQ(e.status, 1) << e.out;
  EXPECT_EQ(count(e.out, "ERROR: refused alike: 7\n"), 1u) << e.out;
  EXPECT_EQ(count(e.out, "ERROR: said before the end\n"), 1u) << e.out;
  EXPECT_EQ(count(e.out, kAbortBanner), 0u) << e.out;
}

TEST(Endings, EveryProcessKeepsTheLineInALogOfItsOwn) {
  char pattern[] = "/tmp/vlk_endings_XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  const std::string dir = pattern;
  const Ended e = endings("logs " + dir + "/log");
  EXPECT_EQ(e.status, 1) << e.out;
  EXPECT_EQ(count(e.out, "ERROR: refused alike: 7\n"), 1u) << e.out;
  for (int rank = 0; rank < 3; ++rank)
    EXPECT_EQ(vlk_test::read_file(dir + "/log." + std::to_string(rank)),
              "ERROR: said before the end\nERROR: refused alike: 7\n")
        << rank;
  fs::remove_all(dir);
}

TEST(Endings, AnErrorOneProcessMeetsNamesItAndAbortsTheRun) {
  const Ended e = endings("alone");
  EXPECT_NE(e.status, 0);
  EXPECT_EQ(count(e.out, "process 1: ERROR: found by one process\n"), 1u) << e.out;
  EXPECT_EQ(count(e.out, "ERROR: found by one process\n"), 1u) << e.out;
  EXPECT_NE(count(e.out, kAbortBanner), 0u) << e.out;
}

// The others never come: after its grace period the process ends the run as for an error of
// its own, instead of waiting with them forever.
TEST(Endings, AProcessLeftAloneWithAnErrorOfAllDoesNotWaitForever) {
  const Ended e = endings("stray");
  EXPECT_NE(e.status, 0);
  EXPECT_EQ(count(e.out, "process 2: ERROR: met by one process only\n"), 1u) << e.out;
  EXPECT_NE(count(e.out, kAbortBanner), 0u) << e.out;
  EXPECT_LT(e.seconds, 40.0);
}

}  // namespace
