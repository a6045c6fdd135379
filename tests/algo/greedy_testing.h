// Helpers of the greedy search tests, defined in greedy_test.cpp and used by both versions' tests.
#pragma once

#include <gtest/gtest.h>
#include <omp.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "VLK_AlgoArgs.h"
#include "VLK_Data.h"
#include "VLK_Graph.h"
#include "VLK_Score.h"
#include "test_score.h"
#include "vlk_owned.h"

namespace greedy_testing {
using Lists = std::vector<std::vector<int>>;
VLK_Data* make_data(int p, int samples, bool names);
VLK_AlgoArgs* new_search(VLK_Data* data, VLK_Score* score, const char* options);
VLK_AlgoArgs* new_test_search(int p, vlk_test::TestScoreConfig cfg, const char* options,
                              bool names);
void delete_search(VLK_AlgoArgs* a);
vlk_test::TestScore& test_state(const VLK_AlgoArgs* a);
Lists lists_of(const VLK_Graph* g);
VLK_Graph* graph_of(const Lists& lists);
Lists sorted(Lists l);
bool contains(const std::vector<int>& v, int x);
double result_score(const VLK_AlgoArgs* a);
::testing::AssertionResult sound_result(const VLK_AlgoArgs* a, const VLK_Graph* g, int version);
VLK_Graph* run(VLK_AlgoArgs* a, int version, std::string* err);
VLK_Score* scripted_score_record(std::map<std::pair<int, std::vector<int>>, double> table,
                                 double per_parent);
long scripted_calls(const VLK_Score* score, bool cache_on);
long scripted_switches(const VLK_Score* score);
VLK_Score* tie_score();
void delete_score(VLK_Score* score);
int** candidate_lists(const Lists& lists, int width);

using SearchPtr = vlk::Owned<VLK_AlgoArgs, delete_search>;

inline vlk_test::TestScoreConfig planted(Lists parents) {
  vlk_test::TestScoreConfig cfg;
  cfg.mode = vlk_test::TestScoreMode::planted;
  cfg.parents = std::move(parents);
  return cfg;
}

// Restores the thread count of the test program after a test that changes it.
class Threads {
 public:
  explicit Threads(int n) : saved_(omp_get_max_threads()) { omp_set_num_threads(n); }
  ~Threads() { omp_set_num_threads(saved_); }
  Threads(const Threads&) = delete;
  Threads& operator=(const Threads&) = delete;

 private:
  int saved_;
};

// Every true parent lowers the score and every other raises it, so the planted DAG is the
// only optimum and the given search version must reach it exactly.
void expect_finds_planted_dag(int version);

}  // namespace greedy_testing
