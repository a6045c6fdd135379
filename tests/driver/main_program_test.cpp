// The method's plan of chunks and evaluations, the parametric cutoff list, the whole-data score
// and the job-owner counts of the main program.
#include <gtest/gtest.h>

#include <numeric>
#include <string>
#include <vector>

#include "VLK_Data.h"
#include "VLK_KeyValues.h"
#include "VLK_Score.h"
#include "evaluation/cutoffs.h"
#include "method/main_helpers.h"
#include "method/phases.h"
#include "search/whole_data_score.h"
#include "vlk_owned.h"
#include "vlk_test.h"

namespace {

using vlk::run::Chunk;
using Chunks = std::vector<Chunk>;

int sum(const Chunks& chunks) {
  return std::accumulate(chunks.begin(), chunks.end(), 0,
                         [](int s, const Chunk& c) { return s + c.count; });
}

Chunks loops(int from, int to, int ci, int first_total) {
  Chunks out;
  for (int i = from; i <= to; ++i) out.push_back({i, ci, first_total + (i - from) * ci});
  return out;
}

Chunks join(Chunks a, const Chunks& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

struct PlanCase {
  const char* name;
  int mode, t, T, ci;
  Chunks random;
  Chunks neighbour;
};

TEST(PlanMethod, ChunksAndEvaluationsOfEachPhase) {
  const std::vector<PlanCase> cases = {
      // One loop of 100 evaluated at 100 and 50 more; then 850 = 8 x 100 + 50, evaluated at 250
      // .. 950.
      {"t150",
       1,
       150,
       1000,
       100,
       {{1, 100, 100}, {0, 50, 150}},
       join(loops(1, 8, 100, 250), {{0, 50, 1000}})},
      // 30 unevaluated; the first neighbour loop tops the interval up to 100, and the 30 join
      // the remainder: 70 + 30 = 100.
      {"t30",
       1,
       30,
       1000,
       100,
       {{0, 30, 30}},
       join(join({{1, 70, 100}}, loops(2, 9, 100, 200)), {{0, 100, 1000}})},
      // Only the neighbour phase, every interval evaluated.
      {"t0", 1, 0, 300, 100, {}, loops(1, 3, 100, 100)},
      // -t a multiple of the interval: no remainder in either phase.
      {"t200", 1, 200, 500, 100, loops(1, 2, 100, 100), loops(1, 3, 100, 300)},
      // -t above the interval and not a multiple of it, -T within one more interval.
      {"t250", 1, 250, 320, 100, {{1, 100, 100}, {2, 100, 200}, {0, 50, 250}}, {{0, 70, 320}}},
      // -t below the interval and -T too short for a full neighbour loop.
      {"short", 1, 30, 100, 100, {{0, 30, 30}}, {{0, 70, 100}}},
      // RSR runs -t nuclei and ignores -T; -t 0 estimates nothing.
      {"rsr", 0, 250, 1000, 100, {{1, 100, 100}, {2, 100, 200}, {0, 50, 250}}, {}},
      {"rsr0", 0, 0, 1000, 100, {}, {}},
  };
  for (const PlanCase& c : cases) {
    SCOPED_TRACE(c.name);
    const vlk::run::Plan plan = vlk::run::plan_method(c.mode, c.t, c.T, c.ci);
    EXPECT_EQ(plan.random.chunks, c.random);
    EXPECT_EQ(plan.neighbour_phase, c.mode == 1);
    EXPECT_EQ(plan.neighbour.chunks, c.neighbour);
    EXPECT_EQ(sum(plan.random.chunks) + sum(plan.neighbour.chunks), c.mode == 1 ? c.T : c.t);
  }
}

TEST(PlanMethod, PhaseHeadersKeepTheFirstRemainder) {
  // The "loops" and "rem" lines print the division before the first loop takes over -t.
  const vlk::run::Plan plan = vlk::run::plan_method(1, 30, 1000, 100);
  EXPECT_EQ(plan.random.span, 30);
  EXPECT_EQ(plan.random.loops, 0);
  EXPECT_EQ(plan.random.rem, 30);
  EXPECT_EQ(plan.neighbour.span, 970);
  EXPECT_EQ(plan.neighbour.loops, 9);
  EXPECT_EQ(plan.neighbour.rem, 70);
}

TEST(ExpandCutoffs, ListsAndRefusals) {
  struct Case {
    double start, end, step;
    std::vector<double> want;
    std::string error;
  };
  const std::vector<Case> cases = {
      // The sums of steps land a little off 0.5; the slack keeps it.
      {0.1, 0.5, 0.1, {0.1, 0.2, 0.30000000000000004, 0.4, 0.5}, ""},
      {0.3, 0.3, 0.1, {0.3}, ""},
      {0.5, 0.1, 0.1, {}, "ERROR: the start of --cutoffs is above its end: 0.5 > 0.1, no cutoff\n"},
      {0.0, 1.0, 1e-5, {}, "ERROR: --cutoffs 0 to 1 by 1e-05 makes more than 10000 cutoffs\n"},
      {0.0, 1.0, 1e-300, {}, "ERROR: --cutoffs 0 to 1 by 1e-300 makes more than 10000 cutoffs\n"},
      {0.0, 1.0, 0.0, {}, "ERROR: the step of --cutoffs must be positive: 0\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.start << " " << c.end << " " << c.step);
    std::vector<double> got = {9.0};
    EXPECT_EQ(vlk::run::expand_cutoffs(c.start, c.end, c.step, &got), c.error);
    ASSERT_EQ(got.size(), c.want.size());
    for (size_t i = 0; i < got.size(); ++i) EXPECT_DOUBLE_EQ(got[i], c.want[i]);
  }
  // The last list that fits.
  std::vector<double> got;
  EXPECT_EQ(vlk::run::expand_cutoffs(1.0, 10000.0, 1.0, &got), "");
  EXPECT_EQ(got.size(), 10000u);
}

// What the score saw at init: the data set's shape and values and the option "level".
struct Seen {
  int p = 0, n = 0;
  const double* X = nullptr;
  const double* Y = nullptr;
  int level = -1;
  size_t options = 0;
} seen;

void* recording_init(VLK_Data* d, VLK_ScoreArgs* sa) {
  seen = {d->p,
          d->n,
          d->X,
          d->Y,
          VLK_KeyValues_get_int(sa->options, "level", -1),
          VLK_KeyValues_size(sa->options)};
  return &seen;
}

TEST(InitScore, ScoresTheWholeDataAndRestoresTheNucleus) {
  vlk::Owned<VLK_Data, VLK_Data_delete> nucleus(VLK_Data_new());
  double nucleus_values[6] = {};
  nucleus->p = 2;
  nucleus->n = 3;
  nucleus->X = nucleus->Y = nucleus_values;
  double whole[20] = {};
  VLK_Score score{};
  score.init = recording_init;
  vlk::Owned<VLK_ScoreArgs, VLK_ScoreArgs_delete> sa(VLK_ScoreArgs_new());
  vlk::Owned<VLK_KeyValues, VLK_KeyValues_delete> user(VLK_KeyValues_new());
  VLK_KeyValues_add_string(user.get(), "linear", "on");
  sa->options = user.get();
  sa->threads = 3;

  init_score(5, 4, nucleus.get(), whole, &score, sa.get(), 3, 0);
  EXPECT_EQ(seen.p, 5);
  EXPECT_EQ(seen.n, 4);
  EXPECT_EQ(seen.X, whole);
  EXPECT_EQ(seen.Y, whole);
  EXPECT_EQ(seen.level, 3);
  EXPECT_EQ(seen.options, 2u);
  EXPECT_EQ(score.state, &seen);
  EXPECT_EQ(VLK_Score_threads(&score), 3);
  // The nucleus buffer and the user's option list are as they were.
  EXPECT_EQ(nucleus->p, 2);
  EXPECT_EQ(nucleus->n, 3);
  EXPECT_EQ(nucleus->X, nucleus_values);
  EXPECT_EQ(nucleus->Y, nucleus_values);
  EXPECT_EQ(sa->options, user.get());
  EXPECT_EQ(VLK_KeyValues_size(user.get()), 1u);
  nucleus->X = nucleus->Y = nullptr;
  sa->options = nullptr;

  EXPECT_FATAL_EXIT(init_score(5, 4, nucleus.get(), whole, &score, sa.get(), 3, 1),
                    "ERROR: Dynamic model is not supported.\n");
}

TEST(CalcProcAssign, CountsAndOffsetsByOwner) {
  // 10 jobs over 4 processes: ranks 0 and 1 own 3 each (0-2, 3-5), ranks 2 and 3 two each.
  const int jobs[] = {9, 0, 4, 5, 6, 2, 3};
  int counts[4] = {-1, -1, -1, -1}, offsets[4] = {-1, -1, -1, -1};
  calc_proc_assign(jobs, 7, 4, counts, offsets, 2, 2);
  EXPECT_EQ(std::vector<int>(counts, counts + 4), (std::vector<int>{2, 3, 1, 1}));
  EXPECT_EQ(std::vector<int>(offsets, offsets + 4), (std::vector<int>{0, 2, 5, 6}));
}

}  // namespace
