// The "BNRC2" score (the fused kernel) against the plain BNRC score, and the per-thread copies of
// a BNRC state.
#include <gtest/gtest.h>
#include <omp.h>

#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <span>
#include <string>
#include <vector>

#include "VLK_BNRC.h"
#include "VLK_Score.h"
#include "bnrc_testing.h"
#include "vlk_test.h"

using namespace bnrc_testing;

namespace {

double score2(VLK_BNRCBuff* bf, int child, std::vector<int> parents) {
  return VLK_BNRC_score2(bf, child, parents.data(), static_cast<int>(parents.size()));
}

// score2 gives score's value and leaves score's fit in the buffers prop reads.
void expect_same_fit(VLK_BNRCBuff* bf, int child, const std::vector<int>& parents) {
  SCOPED_TRACE(label_of(child, parents));
  const double plain = score(bf, child, parents);
  const std::vector<int> h(bf->beta_jk[0], bf->beta_jk[0] + parents.size());
  const std::vector<double> g(bf->gamma[0], bf->gamma[0] + 20 * parents.size());
  const std::vector<double> r(bf->T_A[0], bf->T_A[0] + bf->n);
  const double fused = score2(bf, child, parents);
  EXPECT_NEAR(fused, plain, 1e-12 * std::fabs(plain));
  for (size_t k = 0; k < parents.size(); ++k) EXPECT_EQ(bf->beta_jk[0][k], h[k]) << k;
  for (size_t i = 0; i < g.size(); ++i) EXPECT_NEAR(bf->gamma[0][i], g[i], 1e-9) << i;
  for (int i = 0; i < bf->n; ++i) EXPECT_NEAR(bf->T_A[0][i], r[i], 1e-9) << i;
}

}  // namespace

TEST(BnrcScore2, EqualsTheScoreOverParentSets) {
  DataPtr d = fixture_data();
  const std::vector<Query> queries = random_queries(6, 80, 3, 21);
  for (const char* options : {static_cast<const char*>(nullptr), "linear"}) {
    SCOPED_TRACE(options ? options : "default grid");
    BnrcPtr bf = make_state(d.get(), {.options = options});
    // The reference cases, slow and cycling sweeps included, then random sets of 0 to 3.
    for (const Golden& g :
         options ? std::span<const Golden>(kLinearGrid) : std::span<const Golden>(kDefaultGrid)) {
      EXPECT_NEAR(score2(bf.get(), g.child, g.parents), g.score, 1e-9 * g.score);
      expect_same_fit(bf.get(), g.child, g.parents);
    }
    for (const Query& qr : queries) expect_same_fit(bf.get(), qr.child, qr.parents);
    // Short sweep limits end both at the same sweep.
    for (size_t limit : {1, 2, 3, 7}) {
      bf->max_sweeps = limit;
      expect_same_fit(bf.get(), 2, {0, 4});
      expect_same_fit(bf.get(), 2, {1, 5, 0});
    }
  }
}

TEST(BnrcScore2, SampleCountsOfEveryRemainder) {
  // The fused passes go two smoother columns and eight samples at a time: every remainder of
  // both, against the plain score.
  for (int n : {9, 10, 11, 12, 13, 14, 15, 16, 17, 23, 40}) {
    SCOPED_TRACE(n);
    std::vector<std::vector<double>> rows = fixture_rows();
    for (auto& row : rows) row.resize(static_cast<size_t>(n));
    DataPtr d = make_data(rows);
    BnrcPtr bf = make_state(d.get());
    for (const Query& qr : random_queries(6, 20, 3, 100 + n))
      expect_same_fit(bf.get(), qr.child, qr.parents);
  }
}

TEST(BnrcScore2, NodeMapAndDegenerateGenes) {
  std::vector<std::vector<double>> rows = fixture_rows();
  rows[3].assign(40, 0.75);  // constant: never a useful parent, nothing to explain as a child
  rows[5][7] = std::nan("");
  DataPtr d = make_data(rows);
  BnrcPtr bf = make_state(d.get());
  EXPECT_EQ(score2(bf.get(), 2, {0, 3}), DBL_MAX);
  EXPECT_EQ(score2(bf.get(), 3, {0, 1}), vlk::bnrc::kFlatChildScore);
  EXPECT_EQ(score2(bf.get(), 5, {0, 1}), DBL_MAX);  // no defined criterion
  EXPECT_EQ(score2(bf.get(), 5, {}), DBL_MAX);
  int map[6] = {5, 4, 3, 2, 1, 0};
  {
    vlk_test::CaptureErr quiet;
    VLK_BNRC_set_map(bf.get(), map);
  }
  // Score index 3 is row 2, indexes 5 and 4 are rows 0 and 1.
  expect_same_fit(bf.get(), 3, {5, 4});
  expect_same_fit(bf.get(), 3, {4, 0, 5});
  EXPECT_NEAR(score2(bf.get(), 3, {5, 4}), 56.524225120162214, 1e-9 * 56.5);
}

TEST(BnrcScore2, OnlyLevelThree) {
  DataPtr d = fixture_data();
  BnrcPtr l2 = make_state(d.get(), {.options = "level=2"});
  BnrcPtr l1 = make_state(d.get(), {.options = "level=1"});
  // Without parents there is no kernel to run: the plain score's value.
  EXPECT_EQ(bits(score2(l2.get(), 2, {})), bits(score(l2.get(), 2, {})));
  EXPECT_FATAL_ABORT(score2(l2.get(), 2, {0}),
                     "FATAL ERROR: BNRC: score2(): supported only level-3.\n");
  EXPECT_FATAL_ABORT(score2(l1.get(), 2, {0, 1}),
                     "FATAL ERROR: BNRC: score2(): supported only level-3.\n");
}

TEST(BnrcScore2, TheRegistryRowsReachTheModule) {
  DataPtr d = fixture_data();
  VLK_Score* plain = VLK_Score_get("BNRC");
  VLK_Score* fused = VLK_Score_get("bnrc2");
  ASSERT_NE(plain, nullptr);
  ASSERT_NE(fused, nullptr);
  for (VLK_Score* s : {plain, fused}) {
    EXPECT_NE(s->prop, nullptr);
    EXPECT_NE(s->omp_init, nullptr);
    EXPECT_NE(s->reinit, nullptr);
    EXPECT_EQ(s->evaluate, nullptr);
  }
  EXPECT_EQ(fused->init, plain->init);
  EXPECT_EQ(fused->finalize, plain->finalize);
  EXPECT_NE(fused->score, plain->score);
  VLK_ScoreArgs args = args_for({}, nullptr);
  {
    vlk_test::CaptureErr quiet;
    VLK_Score_init(fused, d.get(), &args);
  }
  int parents[] = {0, 1};
  EXPECT_NEAR(fused->score(fused->state, 2, parents, 2), 56.524225120162214, 1e-9 * 56.5);
  VLK_KeyValues* prop = fused->prop(fused->state, 2, parents, 2, 1);
  ASSERT_NE(prop, nullptr);
  EXPECT_NE(VLK_KeyValues_get(prop, "bspline"), nullptr);
  VLK_KeyValues_delete(prop);
  {
    vlk_test::CaptureErr quiet;
    fused->finalize(fused->state);
  }
  std::free(fused);
  std::free(plain);
}

// ---------------------------------------------------------------- per-thread copies

namespace {

struct Copies {
  std::vector<BnrcPtr> states;
  size_t used = 0;
  std::string log;
};

Copies copies_of(VLK_BNRCBuff* bf, int T, size_t max_memory = size_t{500} << 20) {
  VLK_ScoreArgs args{nullptr, bf->max_parents, max_memory, 0, T, 0, -1};
  vlk_test::CaptureErr err;
  VLK_BNRCBuff** raw = VLK_BNRC_omp_init(&args, bf, T);
  Copies c;
  c.log = err.text();
  c.used = args.used_memory;
  for (int t = 0; t < T; ++t) c.states.emplace_back(raw[t]);
  std::free(raw);
  return c;
}

// omp_init alone, for the fatal paths (EXPECT_FATAL_EXIT runs it in a child process).
void omp_init_only(VLK_BNRCBuff* bf, int T, size_t max_memory) {
  VLK_ScoreArgs args{nullptr, bf->max_parents, max_memory, 0, T, 0, -1};
  VLK_BNRC_omp_init(&args, bf, T);
}

}  // namespace

TEST(BnrcOmpInit, CopiesScoreFromSeveralThreadsAsTheStateDoes) {
  constexpr int kThreads = 4;
  DataPtr d = fixture_data();
  const std::vector<Query> queries = random_queries(6, 200, 3, 17);
  for (int level : {3, 2, 1}) {
    SCOPED_TRACE(level);
    const std::string options = "linear,level=" + std::to_string(level);
    BnrcPtr bf = make_state(d.get(), {.options = options.c_str()});
    std::vector<double> serial(queries.size()), parallel(queries.size());
    for (size_t i = 0; i < queries.size(); ++i)
      serial[i] = score(bf.get(), queries[i].child, queries[i].parents);
    const size_t memory_before = bf->memory;
    Copies c = copies_of(bf.get(), kThreads);
    for (const BnrcPtr& copy : c.states) {
      // The tables are the state's, filled; the scratch is the copy's.
      EXPECT_EQ(copy->origin, bf.get());
      EXPECT_EQ(copy->threads, 1);
      EXPECT_EQ(copy->B, bf->B);
      EXPECT_EQ(copy->Lambda_inv, bf->Lambda_inv);
      EXPECT_EQ(copy->Lambda_inv_Bt, bf->Lambda_inv_Bt);
      EXPECT_EQ(copy->log_det_Lambda, bf->log_det_Lambda);
      EXPECT_NE(copy->T_A[0], bf->T_A[0]);
      EXPECT_NE(copy->gamma[0], bf->gamma[0]);
      if (level <= 2) {
        EXPECT_NE(copy->tmp_Lambda_inv_Bt[0][0], bf->tmp_Lambda_inv_Bt[0][0]);
      }
      EXPECT_NE(copy->work[0], bf->work[0]);
    }
#pragma omp parallel for num_threads(kThreads) schedule(dynamic, 1)
    for (size_t i = 0; i < queries.size(); ++i)
      parallel[i] =
          score(c.states[omp_get_thread_num()].get(), queries[i].child, queries[i].parents);
    for (size_t i = 0; i < queries.size(); ++i) EXPECT_EQ(bits(parallel[i]), bits(serial[i])) << i;
    // The copies' scratch is charged to the state and reported.
    EXPECT_GT(c.used, kThreads * sizeof(VLK_BNRCBuff) + kThreads * 3 * 40 * 8);
    EXPECT_EQ(bf->memory, memory_before + c.used);
    EXPECT_EQ(c.log,
              "BNRC: omp_init: used memory = " + comma((c.used + 524288) >> 20) + " [MiB]\n");
    // A copy's tables are the state's: it cannot be re-targeted alone.
    EXPECT_FATAL_EXIT(VLK_BNRC_reinit(d.get(), c.states[0].get()),
                      "BNRC: re-initializing the score...\n"
                      "ERROR: BNRC_reinit(): a per-thread copy shares its tables; re-initialize "
                      "the state it was made from.\n");
    c.states.clear();  // the copies go first; the state still scores
    EXPECT_EQ(bits(score(bf.get(), queries[0].child, queries[0].parents)), bits(serial[0]));
  }
}

TEST(BnrcOmpInit, TheBudgetCoversEveryCopy) {
  DataPtr d = fixture_data();
  for (int level : {3, 1}) {
    SCOPED_TRACE(level);
    const std::string options = "level=" + std::to_string(level);
    BnrcPtr bf = make_state(d.get(), {.options = options.c_str()});
    const size_t needed = copies_of(bf.get(), 3).used;
    EXPECT_EQ(copies_of(bf.get(), 3, needed).states.size(), 3u);
    // One byte less: the last buffer of the last copy does not fit.
    EXPECT_FATAL_EXIT(omp_init_only(bf.get(), 3, needed - 1),
                      "ERROR: BNRC: Memory overflow: omp{2} dsytrf_work\n");
    // Room for the records and nothing else: the first buffer of the first copy.
    EXPECT_FATAL_EXIT(omp_init_only(bf.get(), 3, 3 * sizeof(VLK_BNRCBuff)),
                      "ERROR: BNRC: Memory overflow: omp{0} B_gamma\n");
  }
}

TEST(BnrcOmpInit, ThroughTheScoreRecord) {
  DataPtr d = fixture_data();
  VLK_Score* s = VLK_Score_get("BNRC");
  VLK_ScoreArgs args = args_for({.threads = 2}, nullptr);
  {
    vlk_test::CaptureErr quiet;
    VLK_Score_init(s, d.get(), &args);
  }
  EXPECT_EQ(VLK_Score_threads(s), 2);
  VLK_Score* records = nullptr;
  {
    vlk_test::CaptureErr quiet;
    records = VLK_Score_omp_init(s, &args, 3);
  }
  ASSERT_NE(records, nullptr);
  int parents[] = {0, 1};
  const double expected = s->score(s->state, 2, parents, 2);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(VLK_Score_threads(&records[i]), 1);  // each copy serves one thread
    EXPECT_EQ(bits(records[i].score(records[i].state, 2, parents, 2)), bits(expected));
  }
  {
    vlk_test::CaptureErr quiet;
    for (int i = 0; i < 3; ++i) records[i].finalize(records[i].state);
    s->finalize(s->state);
  }
  std::free(records);
  std::free(s);
}
