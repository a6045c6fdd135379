// A score module for tests of the searches and the driver: scores are known in closed form,
// so a test can tell what a search must find, and every call is counted.
//
// Modes:
//   planted  a DAG is planted; score(c | S) = base - gain * |S ∩ P(c)| + penalty * |S \ P(c)|,
//            so every true parent helps, every other parent hurts, and the planted DAG is the
//            unique optimum (with gain, penalty > 0).
//   random   a fixed random table: score(c | S) = base + u(seed, c, S), u uniform in [0, 1) and
//            independent of the order of S.
//   tie      score(c | S) = base - step * |S|: every parent helps by the same amount, so a
//            search must break ties by its own order (step 0: every set scores the same).
//
// The state is read-only during scoring except for atomic counters and each thread's record of
// its latest call, so score could be called from any number of threads at once; like a module with
// per-thread buffers it still serves only `threads` threads, and a call from a thread index at or
// above that fails its internal check (Debug and sanitizer builds), so the searches' tests catch a
// team wider than the score's. Calls with bad arguments (child or parent out of range, a repeated
// parent, the child among its parents unless allowed, more than max_parents parents) are scored as
// usual but counted in bad_calls.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "VLK_Data.h"
#include "VLK_Score.h"

namespace vlk_test {

enum class TestScoreMode { planted, random, tie };

struct TestScoreConfig {
  TestScoreMode mode = TestScoreMode::planted;
  int nodes = 0;                          // p; parents and children are 0 .. nodes-1
  std::vector<std::vector<int>> parents;  // planted: parents of each child (nodes entries)
  std::uint64_t seed = 1;                 // random table
  double base = 0.0;
  double gain = 4.0;        // planted: reward of a true parent
  double penalty = 1.0;     // planted: cost of any other parent
  double step = 1.0;        // tie: reward of any parent
  int max_parents = 0;      // larger parent sets count as bad calls; 0 for no limit
  bool allow_self = false;  // a child among its own parents is not a bad call
  int threads = 64;         // threads that may score at once (noted in the record)
};

struct TestScore {
  TestScoreConfig config;
  std::vector<unsigned char> planted;  // nodes x nodes: planted[child * nodes + parent]

  std::atomic<std::uint64_t> calls{0};      // score
  std::atomic<std::uint64_t> bad_calls{0};  // score with bad arguments (see above)
  std::atomic<std::uint64_t> prop_calls{0};
  std::atomic<std::uint64_t> status_calls{0};
  std::atomic<std::uint64_t> reinit_calls{0};
  std::atomic<std::uint64_t> cache_switches{0};
  std::atomic<int> cache_on{1};               // last value given to the cache slot
  std::atomic<int> max_q{0};                  // largest parent count seen
  std::atomic<std::uint64_t> thread_mask{0};  // bit t: OpenMP thread t called score (t < 64)
  // prop calls whose child and parents (in order) were not those of the latest score call on
  // the calling thread: a module that keeps its fit per thread would describe another fit.
  std::atomic<std::uint64_t> stale_props{0};

  // The latest score call of each thread index below config.threads.
  struct LastCall {
    int child = -1;
    std::vector<int> parents;
  };
  std::vector<LastCall> last;

  explicit TestScore(TestScoreConfig cfg);
  // The score of a call, without counting it.
  double value(int child, const int* parents, int q) const;
  // Sum of the local scores of a network given as parent lists (one per node).
  double total(const std::vector<std::vector<int>>& parents) const;
  bool is_planted(int parent, int child) const;
  void reset_counters();
};

// Options of the record's init slot (a key/value list, e.g. "mode=random,seed=7"):
//   mode=planted|random|tie, seed, base, gain, penalty, step, indegree, self.
// In planted mode the DAG is random_dag(p, indegree (default 2), seed) over the data set's
// nodes; max_parents and threads come from the score arguments. Unknown keys end the process.
inline constexpr const char* kTestScoreName = "TestScore";

// A record as VLK_Score_get would give it: every slot filled, no state yet.
VLK_Score* test_score_record();
// A record with a state made from cfg (init already done; the record notes cfg.threads).
VLK_Score* test_score_new(const TestScoreConfig& cfg);
// finalize on the record's state, then free of the record.
void test_score_delete(VLK_Score* score);
TestScore* test_score_state(const VLK_Score* score);

// A random DAG over p nodes: a random topological order, each node with up to max_parents
// parents drawn from the nodes before it; parent lists ascending.
std::vector<std::vector<int>> random_dag(int p, int max_parents, std::uint64_t seed);

// The slots, for tests that build their own records.
void* test_score_init(VLK_Data* data, VLK_ScoreArgs* args);
double test_score_score(TestScore* state, int child, int* parents, int q);
void test_score_finalize(TestScore* state);
VLK_KeyValues* test_score_prop(TestScore* state, int child, int* parents, int q, int k);
void test_score_cache(TestScore* state, int on);
void test_score_status(TestScore* state, FILE* fp);
void test_score_reinit(VLK_Data* data, TestScore* state);
TestScore** test_score_omp_init(VLK_ScoreArgs* args, TestScore* state, int nthreads);

}  // namespace vlk_test
