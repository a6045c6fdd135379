// The BNRC score: its state and initialisation (options, grid, level fall-back, tables, memory,
// reinit, node map) and the local score against an independent reference
// (tests/tools/bnrc_golden.py), across levels, threads and degenerate data.
#include <gtest/gtest.h>
#include <omp.h>

#include <algorithm>
#include <bit>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <span>
#include <string>
#include <vector>

#include "BSpline_kernels.h"
#include "VLK_BNRC.h"
#include "VLK_Data.h"
#include "VLK_KeyValues.h"
#include "VLK_Matrix.h"
#include "VLK_Score.h"
#include "bnrc_testing.h"
#include "velkcom.h"
#include "vlk_test.h"

using namespace bnrc_testing;

// ---------------------------------------------------------------- the local score

TEST(BnrcScore, WorkedExampleWithoutParents) {
  DataPtr d = make_data({{1.0, 2.0, 3.0, 4.0}});
  BnrcPtr bf = make_state(d.get());
  const double expected = bf->C0 + 4.0 * std::log(2.0 * M_PI * 5.0 / 4.0);
  EXPECT_DOUBLE_EQ(score(bf.get(), 0, {}), expected);
  EXPECT_NEAR(expected, 15.016671193134002, 1e-12);
  EXPECT_DOUBLE_EQ(bf->C0, 4.0 + 2.0 * std::log(4.0));
}

TEST(BnrcScore, MatchesTheReferenceOnBothGrids) {
  DataPtr d = fixture_data();
  for (const char* options : {static_cast<const char*>(nullptr), "linear"}) {
    SCOPED_TRACE(options ? options : "default grid");
    BnrcPtr bf = make_state(d.get(), {.options = options});
    for (const Golden& g :
         options ? std::span<const Golden>(kLinearGrid) : std::span<const Golden>(kDefaultGrid))
      expect_golden(bf.get(), g);
  }
}

TEST(BnrcScore, ParentOrderIsTheCallers) {
  // The backfitting visits the parents in the given order and the grid walk is greedy, so the
  // two orders reach different fits; neither may be sorted into the other.
  DataPtr d = fixture_data();
  BnrcPtr bf = make_state(d.get());
  const double a = score(bf.get(), 2, {0, 1});
  const double b = score(bf.get(), 2, {1, 0});
  EXPECT_GT(std::fabs(a - b), 1.0);
}

TEST(BnrcScore, TheSweepLimitDecides) {
  // Backfitting over x0 and its near-copy x4 converges slowly, and two grid walks settle into
  // cycles: each extra or missing sweep changes the result by far more than the tolerance.
  struct Limited {
    const char* options;
    int child;
    std::vector<int> parents;
    size_t limit;
    double score;
  };
  const Limited cases[] = {
      {nullptr, 2, {0, 4}, 2, 85.39437272343324},
      {nullptr, 2, {0, 4}, 3, 85.39434774387465},
      {nullptr, 2, {0, 4}, 4, 85.39434071042086},
      {"linear", 2, {0, 4}, 2, 89.8927437697369},
      {"linear", 2, {0, 4}, 3, 89.88888260139649},
      {"linear", 2, {0, 4}, 4, 89.8884312892033},
      {nullptr, 2, {0, 1}, 99, 81.2433899145953},
      {nullptr, 2, {0, 1}, 100, 56.524225120162214},
      {nullptr, 2, {0, 1}, 101, 81.24338991459592},
      {nullptr, 2, {1, 5, 0}, 99, 61.15906715523903},
      {nullptr, 2, {1, 5, 0}, 100, 41.707102609086306},
      {nullptr, 2, {1, 5, 0}, 101, 84.73505149309032},
      {nullptr, 3, {0, 1, 4}, 99, 115.69832533903147},
      {nullptr, 3, {0, 1, 4}, 100, 115.69827015804513},
      {nullptr, 3, {0, 1, 4}, 101, 115.69821497886451},
  };
  DataPtr d = fixture_data();
  BnrcPtr def = make_state(d.get());
  BnrcPtr lin = make_state(d.get(), {.options = "linear"});
  EXPECT_EQ(def->max_sweeps, 100u);
  for (const Limited& c : cases) {
    SCOPED_TRACE(std::to_string(c.child) + (c.options ? " linear" : " default") + " limit " +
                 std::to_string(c.limit));
    VLK_BNRCBuff* bf = c.options ? lin.get() : def.get();
    bf->max_sweeps = c.limit;
    EXPECT_NEAR(score(bf, c.child, c.parents), c.score, 1e-9 * c.score);
    bf->max_sweeps = 100;
  }
}

TEST(BnrcScore, TheVarianceTestEndsTheSweeps) {
  // The reference ends these fits at the sweep given, when the residual variance has changed by
  // less than 1e-10: a limit at or above it gives that very fit, one below it another.
  struct Converging {
    const char* options;
    int child;
    std::vector<int> parents;
    size_t sweeps;
  };
  DataPtr d = fixture_data();
  for (const Converging& c :
       {Converging{"linear", 3, {2, 1}, 20}, Converging{nullptr, 0, {1, 2}, 35},
        Converging{nullptr, 3, {0, 1}, 5}}) {
    SCOPED_TRACE(c.child);
    BnrcPtr bf = make_state(d.get(), {.options = c.options});
    const double full = score(bf.get(), c.child, c.parents);
    bf->max_sweeps = c.sweeps;
    EXPECT_EQ(bits(score(bf.get(), c.child, c.parents)), bits(full));
    bf->max_sweeps = c.sweeps - 1;
    EXPECT_NE(bits(score(bf.get(), c.child, c.parents)), bits(full));
  }
}

TEST(BnrcScore, OneParentRunsOneSweepWhateverTheLimit) {
  DataPtr d = fixture_data();
  BnrcPtr bf = make_state(d.get());
  const double once = score(bf.get(), 2, {0});
  bf->max_sweeps = 1;
  EXPECT_EQ(bits(score(bf.get(), 2, {0})), bits(once));
  EXPECT_NEAR(once, 81.49611237045355, 1e-9 * once);
}

TEST(BnrcScore, LevelsOneTwoAndThreeAgreeBitForBit) {
  DataPtr d = fixture_data();
  const std::vector<Query> queries = random_queries(6, 60, 3, 11);
  for (const char* grid : {"", "linear,"}) {
    SCOPED_TRACE(grid);
    BnrcPtr by_level[3];
    for (int level = 1; level <= 3; ++level) {
      const std::string options = std::string(grid) + "level=" + std::to_string(level);
      by_level[level - 1] = make_state(d.get(), {.options = options.c_str()});
      ASSERT_EQ(by_level[level - 1]->level, level);
    }
    for (const Query& qr : queries) {
      const double s3 = score(by_level[2].get(), qr.child, qr.parents);
      for (int level = 1; level <= 2; ++level) {
        EXPECT_EQ(bits(score(by_level[level - 1].get(), qr.child, qr.parents)), bits(s3))
            << "level " << level << " child " << qr.child << " q " << qr.parents.size();
        // The fits left for the property lists agree too.
        for (size_t k = 0; k < qr.parents.size(); ++k) {
          EXPECT_EQ(by_level[level - 1]->beta_jk[0][k], by_level[2]->beta_jk[0][k]);
          EXPECT_EQ(0, std::memcmp(by_level[level - 1]->gamma[0] + 20 * k,
                                   by_level[2]->gamma[0] + 20 * k, 20 * sizeof(double)));
        }
      }
    }
  }
}

TEST(BnrcScore, ManyThreadsAtOnceEqualTheSerialResults) {
  constexpr int kThreads = 6;
  DataPtr d = fixture_data();
  const std::vector<Query> queries = random_queries(6, 400, 3, 5);
  for (int level : {3, 1}) {
    SCOPED_TRACE(level);
    const std::string options = "linear,level=" + std::to_string(level);
    BnrcPtr bf = make_state(d.get(), {.options = options.c_str(), .threads = kThreads});
    std::vector<double> serial(queries.size()), parallel(queries.size());
    for (size_t i = 0; i < queries.size(); ++i)
      serial[i] = score(bf.get(), queries[i].child, queries[i].parents);
#pragma omp parallel for num_threads(kThreads) schedule(dynamic, 1)
    for (size_t i = 0; i < queries.size(); ++i)
      parallel[i] = score(bf.get(), queries[i].child, queries[i].parents);
    for (size_t i = 0; i < queries.size(); ++i) EXPECT_EQ(bits(parallel[i]), bits(serial[i])) << i;
  }
}

TEST(BnrcScore, NodeMapSelectsTheRows) {
  DataPtr d = fixture_data();
  BnrcPtr bf = make_state(d.get());
  // Score indices 0 .. 5 mean rows 5 .. 0.
  int map[6] = {5, 4, 3, 2, 1, 0};
  const double direct[] = {score(bf.get(), 2, {}), score(bf.get(), 2, {0, 1}),
                           score(bf.get(), 3, {5, 0, 4})};
  {
    vlk_test::CaptureErr err;
    VLK_BNRC_set_map(bf.get(), map);
    EXPECT_EQ(err.text(), "BNRC: Setting the node map.\n");
  }
  EXPECT_EQ(bits(score(bf.get(), 3, {})), bits(direct[0]));
  EXPECT_EQ(bits(score(bf.get(), 3, {5, 4})), bits(direct[1]));
  EXPECT_EQ(bits(score(bf.get(), 2, {0, 5, 1})), bits(direct[2]));
  {
    vlk_test::CaptureErr err;
    VLK_BNRC_set_map(bf.get(), nullptr);
  }
  EXPECT_EQ(bits(score(bf.get(), 2, {0, 1})), bits(direct[1]));
}

TEST(BnrcScore, ConstantGenesNeverImproveAScore) {
  // Rows 3 and 4 are constant (one of magnitude 1e10, where the knot spacing of the design
  // matrix rounds away); row 5 varies on top of 1e10.
  std::vector<std::vector<double>> rows = fixture_rows();
  rows[3].assign(40, 0.75);
  rows[4].assign(40, 1e10);
  for (int s = 0; s < 40; ++s) rows[5][s] = 1e10 + 1e4 * kFixture[1][s];
  DataPtr d = make_data(rows);
  for (int level = 1; level <= 3; ++level) {
    SCOPED_TRACE(level);
    const std::string options = "level=" + std::to_string(level);
    BnrcPtr bf = make_state(d.get(), {.options = options.c_str()});
    // A set holding a constant parent is the worst possible.
    for (const std::vector<int>& parents :
         {std::vector<int>{3}, {4}, {0, 3}, {4, 1}, {0, 1, 3}, {3, 4}})
      EXPECT_EQ(score(bf.get(), 2, parents), DBL_MAX);
    // A constant child scores alike (and finite) for every parent set.
    for (int child : {3, 4})
      for (const std::vector<int>& parents :
           {std::vector<int>{}, {0}, {0, 1}, {2, 1, 0}, {child == 3 ? 4 : 3}})
        EXPECT_EQ(score(bf.get(), child, parents), vlk::bnrc::kFlatChildScore);
    // Large magnitudes that do vary are an ordinary parent: x1 shifted and scaled.
    const double shifted = score(bf.get(), 2, {5});
    EXPECT_TRUE(std::isfinite(shifted));
    EXPECT_LT(shifted, score(bf.get(), 2, {}));
    for (int v = 0; v < 6; ++v)
      for (int s = 0; s < 40; ++s) {
        ASSERT_GE(bf->Bindex[v][s], 0);
        ASSERT_LE(bf->Bindex[v][s], 16);
      }
  }
}

TEST(BnrcScore, UndefinedFitsScoreWorstAndLeaveAValidFit) {
  // A missing value in the child makes every criterion undefined.
  std::vector<std::vector<double>> rows = fixture_rows();
  rows[2][7] = std::nan("");
  DataPtr d = make_data(rows);
  for (int level : {3, 2, 1}) {
    SCOPED_TRACE(level);
    const std::string options = "level=" + std::to_string(level);
    BnrcPtr bf = make_state(d.get(), {.options = options.c_str()});
    // Left-overs of an earlier call that would index past the tables.
    for (int k = 0; k < 3; ++k) {
      bf->beta_jk[0][k] = 1 << 28;
      bf->gamma[0][20 * k] = std::nan("");
    }
    for (const std::vector<int>& parents : {std::vector<int>{0}, {0, 1}, {1, 5, 0}}) {
      EXPECT_EQ(score(bf.get(), 2, parents), DBL_MAX);
      for (size_t k = 0; k < parents.size(); ++k) {
        EXPECT_EQ(bf->beta_jk[0][k], 0);
        EXPECT_EQ(bf->gamma[0][20 * k], 0.0);
      }
    }
    // Without parents the score is no number either: it may not be chosen.
    EXPECT_EQ(score(bf.get(), 2, {}), DBL_MAX);
    // The other genes are untouched by the missing value.
    EXPECT_NEAR(score(bf.get(), 3, {0, 1}), 114.28399717494051, 1e-7);
  }
}

TEST(BnrcScore, TheRegistryRowReachesTheModule) {
  DataPtr d = fixture_data();
  VLK_Score* s = VLK_Score_get("bnrc");
  ASSERT_NE(s, nullptr);
  ASSERT_NE(s->init, nullptr);
  VLK_ScoreArgs args = args_for({}, nullptr);
  {
    vlk_test::CaptureErr err;
    s->state = s->init(d.get(), &args);
  }
  int parents[] = {0, 1};
  EXPECT_NEAR(s->score(s->state, 3, parents, 2), 114.28399717494051, 1e-7);
  {
    vlk_test::CaptureErr err;
    s->reinit(d.get(), s->state);
    s->finalize(s->state);
    EXPECT_NE(err.text().find("BNRC: Finalizing the BNRC score.\n"), std::string::npos);
  }
  std::free(s);
}

TEST(BnrcScore, FatalPaths) {
  DataPtr d = fixture_data();
  BnrcPtr bf = make_state(d.get(), {.max_parents = 2});
  bf->prior_type = 5;
  EXPECT_FATAL_EXIT(score(bf.get(), 2, {0}), "ERROR: Unknown prior type specified: code=5\n");
  bf->prior_type = 1;
  EXPECT_FATAL_EXIT(score(bf.get(), 2, {0, 1, 3}),
                    "ERROR: BNRC: Number of parents out of range: q=3, max_parents=2\n");
}

TEST(BnrcScore, PriorTypes) {
  DataPtr d = fixture_data();
  BnrcPtr bf = make_state(d.get());
  const double base = score(bf.get(), 3, {0, 1});  // prior type 1: 2 log 40
  bf->prior_type = 0;
  EXPECT_NEAR(score(bf.get(), 3, {0, 1}), base - 2.0 * std::log(40.0) + 6.0, 1e-9);
  bf->prior_type = 2;
  EXPECT_NEAR(score(bf.get(), 3, {0, 1}), base - 2.0 * std::log(40.0), 1e-9);
}

// ---------------------------------------------------------------- state and initialisation

TEST(BnrcInit, OptionsAndGrid) {
  DataPtr d = fixture_data();
  struct Case {
    const char* options;
    int level;
    std::vector<double> grid;  // empty: the default 21 values
    int verbosity;
  };
  const Case cases[] = {
      {nullptr, 3, {}, -1},
      {"hn", 3, {}, -1},  // no value: nothing bound
      {"linear,hn=5", 3, {100.0, 10.0}, -1},
      {"hn=5,linear=on,hi=3", 3, {100.0, 10.0}, -1},
      {"hyper_num=3,hyper_inc=0.5,hyper_bg=1", 3, {10.0, std::pow(10.0, 0.5), 1.0}, -1},
      {"hn=2,hi=2,hb=-1,level=2", 2, {0.1, 0.001}, -1},
      {"level=1,v=on,linear", 1, {100.0, 10.0}, 1},
      {"v=t,v=0,linear", 3, {100.0, 10.0}, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.options ? c.options : "(none)");
    BnrcPtr bf = make_state(d.get(), {.options = c.options});
    EXPECT_EQ(bf->level, c.level);
    EXPECT_EQ(bf->verbosity, c.verbosity);
    std::vector<double> grid = c.grid;
    if (grid.empty())
      for (int h = 0; h < 21; ++h) grid.push_back(std::pow(10.0, 2.0 - h * 0.4));
    ASSERT_EQ(bf->hyper_num, static_cast<int>(grid.size()));
    for (size_t h = 0; h < grid.size(); ++h) {
      EXPECT_DOUBLE_EQ(bf->beta[h], grid[h]) << h;
      EXPECT_EQ(bits(bf->log_beta[h]), bits(std::log(bf->beta[h])));
    }
  }
  BnrcPtr bf = make_state(d.get());
  EXPECT_DOUBLE_EQ(bf->beta[20], 1e-6);
  EXPECT_NEAR(bf->beta[1], 39.810717055349734, 1e-12);
  EXPECT_NEAR(bf->beta[2], 15.848931924611142, 1e-12);
}

TEST(BnrcInit, ConstantsAndPenalty) {
  DataPtr d = fixture_data();
  BnrcPtr bf = make_state(d.get(), {.max_parents = 4});
  const double n = 40.0;
  EXPECT_EQ(bf->n, 40);
  EXPECT_EQ(bf->p, 6);
  EXPECT_EQ(bf->M, 20);
  EXPECT_EQ(bf->degree, 3);
  EXPECT_EQ(bf->prior_type, 1);
  EXPECT_EQ(bf->max_parents, 4);
  EXPECT_EQ(bf->part_res, 0);
  EXPECT_EQ(bf->node_map, nullptr);
  EXPECT_EQ(bf->X, d->X);
  EXPECT_EQ(bf->Y, d->Y);
  // The pseudo-determinant of the second-difference penalty: M^2 (M^2 - 1) / 12.
  EXPECT_NEAR(bf->log_det_K, std::log(13300.0), 1e-9);
  EXPECT_DOUBLE_EQ(bf->C0, n + 2.0 * std::log(n));
  EXPECT_DOUBLE_EQ(bf->C1, n * (1.0 + std::log(2.0 * M_PI)) - std::log(4.0 * M_PI / n));
  EXPECT_DOUBLE_EQ(bf->C2, -2.0 * std::log(2.0 * M_PI / n) - bf->log_det_K - 20.0 * std::log(n));
  EXPECT_EQ(bf->lwork, VLK_Matrix_dsytrf_work_size(40));
  int out = 0;
  EXPECT_EQ(VLK_BNRC_get_property(bf.get(), "max_parents", &out), &out);
  EXPECT_EQ(out, 4);
  EXPECT_EQ(VLK_BNRC_get_property(bf.get(), "level", &out), nullptr);
}

TEST(BnrcInit, TablesAndAccessorsAgreeAcrossLevelsAndThreadCounts) {
  DataPtr d = fixture_data();
  BnrcPtr l3 = make_state(d.get());
  BnrcPtr l3t = make_state(d.get(), {.threads = 4});  // other node blocks per thread
  BnrcPtr l2 = make_state(d.get(), {.options = "level=2", .threads = 3});
  const size_t mn = 20 * 40;
  std::vector<double> product(mn);
  for (int v = 0; v < 6; ++v) {
    EXPECT_EQ(VLK_BNRC_get_B(l3.get(), v), l3->B[v]);
    EXPECT_EQ(VLK_BNRC_get_Bindex(l3.get(), v), l3->Bindex[v]);
    EXPECT_EQ(0, std::memcmp(l3->B[v], l3t->B[v], 40 * 4 * sizeof(double)));
    for (int h = 0; h < 21; ++h) {
      SCOPED_TRACE(std::to_string(v) + " " + std::to_string(h));
      const double* s3 = VLK_BNRC_get_Lambda_inv_Bt(l3.get(), v, h);
      EXPECT_EQ(s3, l3->Lambda_inv_Bt[v] + h * mn);
      EXPECT_EQ(0, std::memcmp(s3, VLK_BNRC_get_Lambda_inv_Bt(l3t.get(), v, h), mn * 8));
      EXPECT_EQ(VLK_BNRC_get_Lambda_inv(l2.get(), v, h), l2->Lambda_inv[v] + h * 400);
      BSpline_syMBt(VLK_BNRC_get_Lambda_inv(l2.get(), v, h), l2->B[v], l2->Bindex[v], 40, 20, 3,
                    product.data());
      EXPECT_EQ(0, std::memcmp(s3, product.data(), mn * 8));
      const double D = VLK_BNRC_get_log_det_Lambda(l3.get(), v, h);
      EXPECT_EQ(bits(D), bits(VLK_BNRC_get_log_det_Lambda(l2.get(), v, h)));
      EXPECT_EQ(bits(D), bits(l3t->log_det_Lambda[v][h]));
      EXPECT_TRUE(std::isfinite(D));
    }
  }
  // The smoother reproduces straight lines, which the penalty leaves alone: L (a + b x) is the
  // coefficient vector of a + b x, whose B-spline expansion B g gives the line back.
  std::vector<double> line(40), g(20), f(40);
  for (int s = 0; s < 40; ++s) line[s] = 0.5 - 2.0 * kFixture[0][s];
  BSpline_Mv20(40, VLK_BNRC_get_Lambda_inv_Bt(l3.get(), 0, 0), line.data(), g.data());
  BSpline_Bx3(l3->B[0], l3->Bindex[0], g.data(), 40, f.data());
  for (int s = 0; s < 40; ++s) EXPECT_NEAR(f[s], line[s], 1e-8);
}

TEST(BnrcInit, ReportsWhatItDoes) {
  DataPtr d = fixture_data();
  std::string log;
  size_t used = 0;
  BnrcPtr bf =
      make_state(d.get(), {.options = "linear", .threads = 2, .verbosity = 0}, &log, &used);
  EXPECT_EQ(used, bf->memory);
  const size_t estimate = VLK_BNRC_memory_size(bf.get(), 6, 40, 20, 400, 2);
  const auto mib = [&](size_t v) { return comma((v + 524288) >> 20); };
  const std::string expected =
      "BNRC: Initializing the BNRC score function.\n"
      "      p=6, n=40, max_parents=3, M=20, threads=2, max_memory=500 [MiB]\n"
      "BNRC: Linear mode specified.\n"
      "BNRC: Pre-calculation level = 3\n"
      "BNRC:   required memory = " +
      mib(estimate) +
      " [MiB]\n"
      "BNRC: Hyperparameters to optimize: {100.000000, 10.000000}\n"
      "BNRC: Total memory usage: " +
      comma(bf->memory) + " [bytes] (" + mib(bf->memory) +
      " [MiB])\n"
      "BNRC: Finished BNRC initialization.\n";
  EXPECT_EQ(log, expected);
  // The tables and per-thread buffers are all in the total.
  const size_t tables = 6 * 2 * 20 * 40 * 8 + 6 * 2 * 8;
  const size_t design = 6 * 40 * 4 * 8 + 6 * 40 * 4;
  EXPECT_GT(bf->memory, tables + design + 40 * 40 * 8 + 2 * 3 * 40 * 8);
  EXPECT_LT(bf->memory, estimate + 64 * 1024);

  // Verbosity 1 adds the progress lines of the two computations.
  BnrcPtr loud = make_state(d.get(), {.options = "linear,v=on"}, &log);
  EXPECT_NE(log.find("BNRC: Calculating B ...\n"
                     "BNRC: Calculating (B' B + n beta K)^-1 B' ...\n"),
            std::string::npos);
  BnrcPtr loud2 = make_state(d.get(), {.options = "linear,v=on,level=2"}, &log);
  EXPECT_NE(log.find("BNRC: Calculating (B' B + n beta K)^-1 ...\n"), std::string::npos);
}

TEST(BnrcInit, MemoryEstimateIn64Bits) {
  // 20000 genes x 5000 samples, 21 grid values, 10 parents, 8 threads: the level-3 tables alone
  // are 8 * 20000 * 21 * 20 * 5000 = 336,000,000,000 bytes.
  VLK_BNRCBuff* bf = VLK_BNRCBuff_new();
  bf->max_parents = 10;
  const size_t L = std::max(VLK_Matrix_dsytrf_work_size(5000), 20);
  const size_t T = 8, mp = 10, n = 5000, p = 20000, W = 5000 * 4 + 21, M = 20, hn = 21;
  const size_t always = 80 * T + 8 * T * mp * n + 8 * mp * M + 8 * T * M + 24 * T * n + 4 * T * mp +
                        8 * T * W + 8 * T * M * M + 4 * T * M + 8 * M * M + 8 * L + 24 * T * mp +
                        8 * n * n;
  const size_t design = 16 * p + 8 * p * n * 4 + 4 * p * n;
  const size_t expected[3] = {
      always + design + 8 * T * mp * hn * M * n + 8 * T * mp * hn,
      always + design + 8 * p + 8 * p * hn * M * M + 8 * p + 8 * p * hn + 8 * T * mp * hn * M * n,
      always + design + 8 * p + 8 * p * hn * M * n + 8 * p + 8 * p * hn,
  };
  EXPECT_GT(expected[2], size_t{336000000000});
  for (int level = 1; level <= 3; ++level) {
    bf->level = level;
    EXPECT_EQ(VLK_BNRC_memory_size(bf, 20000, 5000, 20, 5000 * 4 + 21, 8), expected[level - 1])
        << level;
  }
  BnrcDeleter{}(bf);
}

TEST(BnrcInit, FallsBackToTheLevelTheBudgetAllows) {
  DataPtr d = fixture_data();
  VLK_BNRCBuff* probe = VLK_BNRCBuff_new();
  probe->max_parents = 2;
  size_t estimate[4] = {};
  for (int level = 1; level <= 3; ++level) {
    probe->level = level;
    estimate[level] = VLK_BNRC_memory_size(probe, 6, 40, 20, 400, 1);
  }
  BnrcDeleter{}(probe);
  ASSERT_LT(estimate[1], estimate[2]);
  ASSERT_LT(estimate[2], estimate[3]);
  const std::string warning = "BNRC: WARNING: memory usage will exceed the max size.\n";
  struct Case {
    size_t budget;
    int level;
  };
  for (const Case& c : {Case{estimate[3], 3}, Case{estimate[3] - 1, 2}, Case{estimate[2], 2},
                        Case{estimate[2] - 1, 1}, Case{estimate[1], 1}}) {
    SCOPED_TRACE(c.budget);
    std::string log;
    BnrcPtr bf =
        make_state(d.get(), {.max_parents = 2, .max_memory = c.budget, .verbosity = 0}, &log);
    EXPECT_EQ(bf->level, c.level);
    // The plan that sizes the budget's other users sees the same level without a state.
    VLK_ScoreArgs args{nullptr, 2, c.budget, 0, 1, 0, -1};
    const VLK_BNRCPlan plan = VLK_BNRC_plan(&args, 6, 40);
    EXPECT_EQ(plan.asked_level, 3);
    EXPECT_EQ(plan.level, c.level);
    EXPECT_EQ(plan.bytes, estimate[c.level]);
    // One warning per level given up, each announced once.
    size_t warnings = 0;
    for (size_t at = log.find(warning); at != std::string::npos; at = log.find(warning, at + 1))
      ++warnings;
    EXPECT_EQ(warnings, static_cast<size_t>(3 - c.level));
    if (c.level == 2) {
      const auto mib = [](size_t v) { return comma((v + 524288) >> 20); };
      EXPECT_NE(log.find("BNRC: Pre-calculation level = 3\n"
                         "BNRC:   required memory = " +
                         mib(estimate[3]) + " [MiB]\n" + warning + "               " +
                         mib(estimate[3]) + " [MiB] > max = " + mib(c.budget) +
                         " [MiB].\n"
                         "BNRC: WARNING: descreasing the pre-calculation level.\n"
                         "BNRC: Pre-calculation level = 2\n"),
                std::string::npos)
          << log;
    }
    // The level's buffers exist and the score works at it.
    EXPECT_EQ(bf->Lambda_inv_Bt != nullptr, c.level == 3);
    EXPECT_EQ(bf->Lambda_inv != nullptr, c.level == 2);
    EXPECT_EQ(bf->log_det_Lambda != nullptr, c.level >= 2);
    EXPECT_NEAR(score(bf.get(), 3, {0, 1}), 114.28399717494051, 1e-7);
  }
  VLK_ScoreArgs short_args{nullptr, 2, estimate[1] - 1, 0, 1, 0, -1};
  const VLK_BNRCPlan none = VLK_BNRC_plan(&short_args, 6, 40);
  EXPECT_EQ(none.level, 0);
  EXPECT_EQ(none.bytes, estimate[1]);
  const std::string bytes = comma(estimate[1]);
  EXPECT_FATAL_EXIT(
      init_only(d.get(), {.max_parents = 2, .max_memory = estimate[1] - 1}),
      "ERROR: BNRC: could not allocate enough memory: " + bytes + " [bytes] required at least.\n");
}

TEST(BnrcInit, RefusesWhatItCannotDo) {
  DataPtr d = fixture_data();
  EXPECT_FATAL_EXIT(init_only(d.get(), {.options = "level=2,foo=1"}),
                    "ERROR: BNRC: Unknown argument specified: foo\n");
  EXPECT_FATAL_EXIT(init_only(d.get(), {.options = "linear=off"}),
                    "ERROR: BNRC: Unknown argument specified: linear\n");
  EXPECT_FATAL_EXIT(init_only(d.get(), {.options = "v=maybe"}),
                    "ERROR: BNRC: Unknown argument specified: v\n");
  for (int level : {0, -1, 4, 7}) {
    const std::string options = "level=" + std::to_string(level);
    EXPECT_FATAL_EXIT(
        init_only(d.get(), {.options = options.c_str()}),
        "ERROR: BNRC: Not supported (implemented) level = " + std::to_string(level) + "\n");
  }
  EXPECT_FATAL_EXIT(init_only(d.get(), {.options = "hn=0"}),
                    "ERROR: BNRC: Not supported number of hyperparameters = 0\n");
  DataPtr empty(VLK_Data_new());
  empty->p = 2;
  EXPECT_FATAL_EXIT(init_only(empty.get(), {}), "ERROR: BNRC: No samples in the data set.\n");
}

// The score's kernels are written for 20 cubic B-splines, at every level: a state of other
// sizes is refused rather than scored with kernels of the wrong size.
TEST(BnrcInit, RefusesSizesTheKernelsAreNotWrittenFor) {
  const BnrcPtr fresh(VLK_BNRCBuff_new());
  vlk::bnrc::check_kernel_sizes(fresh.get());  // the defaults pass
  const struct { int M, degree; } cases[] = {{19, 3}, {21, 3}, {20, 2}, {20, 4}, {10, 1}};
  for (const auto& c : cases) {
    BnrcPtr bf(VLK_BNRCBuff_new());
    bf->M = c.M;
    bf->degree = c.degree;
    EXPECT_FATAL_EXIT(vlk::bnrc::check_kernel_sizes(bf.get()),
                      "ERROR: BNRC: Not supported (implemented) M = " + std::to_string(c.M) +
                          ", degree = " + std::to_string(c.degree) +
                          " (the score is built for M = 20, degree = 3)\n");
  }
}

TEST(BnrcInit, ReinitRetargetsTheState) {
  DataPtr d = fixture_data();
  for (int level = 1; level <= 3; ++level) {
    SCOPED_TRACE(level);
    const std::string options = "level=" + std::to_string(level);
    BnrcPtr bf = make_state(d.get(), {.options = options.c_str(), .threads = 2});
    BnrcPtr ref = make_state(d.get(), {.options = options.c_str(), .threads = 2});
    const std::vector<Query> queries = random_queries(6, 40, 3, 3);
    std::vector<double> before;
    for (const Query& qr : queries) before.push_back(score(bf.get(), qr.child, qr.parents));

    // Equal data: every table as init made it.
    DataPtr same = fixture_data();
    {
      vlk_test::CaptureErr err;
      VLK_BNRC_reinit(same.get(), bf.get());
      EXPECT_EQ(err.text(), "BNRC: re-initializing the score...\n");
    }
    EXPECT_EQ(bf->X, same->X);
    EXPECT_EQ(0, std::memcmp(bf->B[0], ref->B[0], 6 * 40 * 4 * sizeof(double)));
    if (level == 3) {
      EXPECT_EQ(0, std::memcmp(bf->Lambda_inv_Bt[0], ref->Lambda_inv_Bt[0], 6 * 21 * 800 * 8));
    } else if (level == 2) {
      EXPECT_EQ(0, std::memcmp(bf->Lambda_inv[0], ref->Lambda_inv[0], 6 * 21 * 400 * 8));
    }
    if (level >= 2) {
      EXPECT_EQ(0, std::memcmp(bf->log_det_Lambda[0], ref->log_det_Lambda[0], 6 * 21 * 8));
    }
    for (size_t i = 0; i < queries.size(); ++i)
      EXPECT_EQ(bits(score(bf.get(), queries[i].child, queries[i].parents)), bits(before[i]));

    // Other values of the same shape: the scores of a fresh state on them, constant rows
    // included.
    std::vector<std::vector<double>> rows = fixture_rows();
    std::swap(rows[0], rows[5]);
    rows[1].assign(40, 3.0);
    DataPtr other = make_data(rows);
    {
      vlk_test::CaptureErr err;
      VLK_BNRC_reinit(other.get(), bf.get());
    }
    BnrcPtr fresh = make_state(other.get(), {.options = options.c_str()});
    for (const Query& qr : queries)
      EXPECT_EQ(bits(score(bf.get(), qr.child, qr.parents)),
                bits(score(fresh.get(), qr.child, qr.parents)));

    DataPtr fewer = make_data({rows[0], rows[1], rows[2], rows[3], rows[4]});
    EXPECT_FATAL_EXIT(VLK_BNRC_reinit(fewer.get(), bf.get()),
                      "BNRC: re-initializing the score...\n"
                      "ERROR: BNRC_reinit(): input size inconsistent.\n"
                      "                      prev p = 6  vs  now p = 5.\n");
    for (auto& r : rows) r.pop_back();
    DataPtr shorter = make_data(rows);
    EXPECT_FATAL_EXIT(VLK_BNRC_reinit(shorter.get(), bf.get()),
                      "BNRC: re-initializing the score...\n"
                      "ERROR: BNRC_reinit(): input size inconsistent.\n"
                      "                      prev n = 40  vs  now n = 39.\n");
  }
}

TEST(BnrcInit, SeparateChildValues) {
  // Time-lagged data: parents from X, children from Y.
  DataPtr d = fixture_data();
  d->Y = static_cast<double*>(std::malloc(sizeof(double) * 6 * 40));
  for (int v = 0; v < 6; ++v) std::memcpy(d->Y + v * 40, kFixture[5 - v], 40 * sizeof(double));
  std::fill_n(d->Y + 40, 40, 2.5);  // row 1 of Y is constant, row 1 of X is not
  BnrcPtr bf = make_state(d.get());
  DataPtr plain = fixture_data();
  BnrcPtr ref = make_state(plain.get());
  // Child 3 of Y is gene 2 of X.
  EXPECT_EQ(bits(score(bf.get(), 3, {0, 1})), bits(score(ref.get(), 2, {0, 1})));
  EXPECT_EQ(score(bf.get(), 1, {0}), vlk::bnrc::kFlatChildScore);
  EXPECT_LT(score(bf.get(), 4, {1}), DBL_MAX);  // x1 is a parent like any other
}
