// Two-step hill climbing as a run calls it: the command line's --cache is the cache that the
// option "cache=on" gives the second step.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "VLK_Score.h"
#include "method/nucleus_jobs.h"
#include "settings/args.h"
#include "simulated_data.h"
#include "vlk_test.h"

namespace {

// The run's settings from the command line; one nucleus (a simulated data set named g0 ..)
// searched by the run's search with a score initialised as a job does it.
class TwoStepRun {
 public:
  explicit TwoStepRun(std::vector<std::string> words) : a_(Args_new_rank(0, 1)) {
    words.insert(words.begin(), "velknnsr");
    words.push_back("x.edf");
    std::vector<char*> argv;
    for (std::string& w : words) argv.push_back(w.data());
    parse_args(a_, static_cast<int>(argv.size()), argv.data());
    a_->algo_id = 1;
    VLK_AlgoArgs* s = a_->algo_args;
    s->data = vlk_test::SimulatedDag(8, 60, 3, 4).data;
    s->score = VLK_Score_get(a_->score_name);
    a_->score_args->max_parents = s->max_parents;
    VLK_Score_init(s->score, s->data, a_->score_args);
    s->options = VLK_KeyValues_clone(a_->algo_options);
  }
  ~TwoStepRun() {
    VLK_AlgoArgs* s = a_->algo_args;
    s->score->finalize(s->score->state);
    std::free(s->score);
    s->score = nullptr;
    VLK_MultiTimer_delete(s->timer);
    s->timer = nullptr;
    Args_delete(a_);
  }
  TwoStepRun(const TwoStepRun&) = delete;
  TwoStepRun& operator=(const TwoStepRun&) = delete;

  VLK_Graph* search() { return nucleus_search(a_); }

 private:
  Args* a_;
};

TEST(TwoStepInARun, CacheOnTakesTheRunsCache) {
  vlk_test::TempFile first("g0\ng1\n");
  const std::string options = "first=" + first.path() + ",cache=on";
  struct Case {
    std::vector<std::string> words;
    const char* line;  // in the log of a search that ends, or the last line of one that fails
    bool ends;
  };
  const Case cases[] = {
      {{"--algo", "tshc", "--cache", "3", "--cache-size", "8", "-A", options},
       "ScoreCache3: Initializing ...",
       true},
      // Without --cache the second step has no cache to take: refused before the run.
      {{"--algo", "tshc", "-A", options},
       "ERROR: TwoStepHC: -A cache=on takes the score cache of --cache, which must be 3 (the "
       "hash table): --cache 0\n",
       false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.words[3]);
    if (c.ends) {
      vlk_test::CaptureErr err;
      TwoStepRun run(c.words);
      VLK_Graph* g = run.search();
      ASSERT_NE(g, nullptr);
      VLK_Graph_delete(g);
      const std::string log = err.text();
      EXPECT_NE(log.find("TwoStepHC: Score Cache: On\n"), std::string::npos) << log;
      EXPECT_NE(log.find(c.line), std::string::npos) << log;
      EXPECT_NE(log.find("TwoStepHC: Second network estimation finished\n"), std::string::npos);
    } else {
      // One thread: a child process cannot start the team its parent's threads left behind.
      vlk_test::Threads one(1);
      const vlk_test::Ending end = vlk_test::run_fatal([&] {
        TwoStepRun run(c.words);
        run.search();
      });
      EXPECT_TRUE(end.exit1());
      EXPECT_TRUE(end.err.ends_with(c.line)) << end.err;
    }
  }
}

}  // namespace
