// One running job per output prefix: the lock on PREFIX.log, what it leaves of the file, and
// that neither a job that was killed nor one that has finished keeps the next one out.
#include "output/prefix_lock.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "vlk_fatal.h"
#include "vlk_test.h"

namespace {

namespace fs = std::filesystem;

class PrefixLockTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char dir[] = "/tmp/vlk_prefix_lock_XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    dir_ = dir;
    prefix_ = dir_ + "/res";
    log_ = prefix_ + ".log";
  }
  void TearDown() override { fs::remove_all(dir_); }
  PrefixLock::Taken take(PrefixLock& lock) {
    std::string why;
    return lock.take(prefix_, &why);
  }
  std::string dir_, prefix_, log_;
};

using Taken = PrefixLock::Taken;

// Without a log in it the file is the lock's alone: made, held against a second taker, and
// gone once given up, after which the prefix is free again.
TEST_F(PrefixLockTest, HeldUntilGivenUpAndThenGone) {
  {
    PrefixLock first, second;
    ASSERT_EQ(take(first), Taken::yes);
    EXPECT_EQ(first.path(), log_);
    EXPECT_TRUE(fs::exists(log_));
    EXPECT_EQ(take(second), Taken::held);
    first.release();
    EXPECT_FALSE(fs::exists(log_));
    ASSERT_EQ(take(second), Taken::yes);
  }  // the destructor gives it up
  EXPECT_FALSE(fs::exists(log_));
  // A log of an earlier run stays; an empty file a killed run left goes.
  std::ofstream(log_) << "an earlier run's log\n";
  {
    PrefixLock lock;
    ASSERT_EQ(take(lock), Taken::yes);
  }
  EXPECT_EQ(vlk_test::read_file(log_), "an earlier run's log\n");
  std::ofstream{log_};
  {
    PrefixLock lock;
    ASSERT_EQ(take(lock), Taken::yes);
  }
  EXPECT_FALSE(fs::exists(log_));
}

// As the log, the file is emptied only once the lock is held, stays locked while the stream is
// open, and stays as the log.
TEST_F(PrefixLockTest, TheLogKeepsTheLockAndStays) {
  std::ofstream(log_) << "the other run's log\n";
  PrefixLock mine;
  ASSERT_EQ(take(mine), Taken::yes);
  EXPECT_EQ(vlk_test::read_file(log_), "the other run's log\n");
  FILE* log = mine.log_stream();
  ASSERT_NE(log, nullptr);
  EXPECT_EQ(vlk_test::read_file(log_), "");
  std::fputs("this run\n", log);
  std::fflush(log);
  mine.release();  // the stream holds it
  PrefixLock other;
  EXPECT_EQ(take(other), Taken::held);
  EXPECT_EQ(vlk_test::read_file(log_), "this run\n");
  std::fclose(log);
  EXPECT_EQ(take(other), Taken::yes);
  other.release();
  EXPECT_EQ(vlk_test::read_file(log_), "this run\n");
}

// A job killed while it holds the prefix keeps nobody out.
TEST_F(PrefixLockTest, AKilledHolderDoesNotBlock) {
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  const pid_t child = fork();
  if (child == 0) {
    PrefixLock lock;
    std::string why;
    const char ok = lock.take(prefix_, &why) == Taken::yes ? 'y' : 'n';
    (void)!write(ready[1], &ok, 1);
    pause();
    _exit(0);
  }
  char ok = 0;
  ASSERT_EQ(read(ready[0], &ok, 1), 1);
  ASSERT_EQ(ok, 'y');
  PrefixLock mine;
  EXPECT_EQ(take(mine), Taken::held);
  kill(child, SIGKILL);
  waitpid(child, nullptr, 0);
  close(ready[0]);
  close(ready[1]);
  EXPECT_EQ(take(mine), Taken::yes);
}

// A run that ends through the fatal path after taking the prefix leaves no lock file; one that
// cannot make the file says why.
TEST_F(PrefixLockTest, AFatalEndAndAMissingFolder) {
  const vlk_test::Ending end = vlk_test::run_fatal([&] {
    auto* lock = new PrefixLock;  // held for the rest of the process, as the run's is
    std::string why;
    if (lock->take(prefix_, &why) == Taken::yes) vlk::fatal("ERROR: refused later\n");
  });
  EXPECT_TRUE(end.exit1()) << end.err;
  EXPECT_FALSE(fs::exists(log_));
  PrefixLock lock;
  std::string why;
  EXPECT_EQ(lock.take(dir_ + "/none/res", &why), Taken::failed);
  EXPECT_EQ(why, "No such file or directory");
  EXPECT_FALSE(fs::exists(dir_ + "/none"));
}

}  // namespace
