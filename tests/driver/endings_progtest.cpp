// How a run under mpirun ends on an error, by who meets it: an error every process meets alike
// is printed once and all leave with status 1 without the abort's banner; one that a process
// meets alone names the process and aborts the run; a process that meets alone what the others
// were to meet alike does not wait for them forever.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "vlk_test.h"

namespace {

namespace fs = std::filesystem;

// The endings program under mpirun with 3 processes.
vlk_test::Shelled endings(const std::string& args) {
  return vlk_test::shell(
      "env OMPI_ALLOW_RUN_AS_ROOT=1 OMPI_ALLOW_RUN_AS_ROOT_CONFIRM=1 "
      "OMPI_MCA_rmaps_base_oversubscribe=1 "
      "ASAN_OPTIONS=detect_leaks=0:allocator_may_return_null=1 " +
          std::string(VLK_MPIEXEC) + " --oversubscribe -np 3 " + VLK_ENDINGS + " " + args,
      60);
}

using vlk_test::count;

const char* const kAbortBanner = "MPI_ABORT was invoked";

TEST(Endings, AnErrorEveryProcessMeetsIsPrintedOnceAndEndsWithoutAbort) {
  const vlk_test::Shelled e = endings("alike");
  EXPECT_EQ(e.status, 1) << e.out;
  EXPECT_EQ(count(e.out, "ERROR: refused alike: 7\n"), 1u) << e.out;
  EXPECT_EQ(count(e.out, "ERROR: said before the end\n"), 1u) << e.out;
  EXPECT_EQ(count(e.out, kAbortBanner), 0u) << e.out;
}

TEST(Endings, EveryProcessKeepsTheLineInALogOfItsOwn) {
  char pattern[] = "/tmp/vlk_endings_XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  const std::string dir = pattern;
  const vlk_test::Shelled e = endings("logs " + dir + "/log");
  EXPECT_EQ(e.status, 1) << e.out;
  EXPECT_EQ(count(e.out, "ERROR: refused alike: 7\n"), 1u) << e.out;
  for (int rank = 0; rank < 3; ++rank)
    EXPECT_EQ(vlk_test::read_file(dir + "/log." + std::to_string(rank)),
              "ERROR: said before the end\nERROR: refused alike: 7\n")
        << rank;
  fs::remove_all(dir);
}

TEST(Endings, AnErrorOneProcessMeetsNamesItAndAbortsTheRun) {
  const vlk_test::Shelled e = endings("alone");
  EXPECT_NE(e.status, 0);
  EXPECT_EQ(count(e.out, "process 1: ERROR: found by one process\n"), 1u) << e.out;
  EXPECT_EQ(count(e.out, "ERROR: found by one process\n"), 1u) << e.out;
  // The others, waiting in a barrier, are ended with it (OpenMPI's banner says so, when its own
  // messaging keeps up under load: it is not asked for here).
  EXPECT_LT(e.seconds, 30.0);
}

// The others never come: after its grace period the process ends the run as for an error of
// its own, instead of waiting with them forever.
TEST(Endings, AProcessLeftAloneWithAnErrorOfAllDoesNotWaitForever) {
  const vlk_test::Shelled e = endings("stray");
  EXPECT_NE(e.status, 0);
  EXPECT_EQ(count(e.out, "process 2: ERROR: met by one process only\n"), 1u) << e.out;
  EXPECT_LT(e.seconds, 40.0);
}

}  // namespace
