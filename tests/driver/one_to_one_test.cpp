#include "selection/one_to_one.h"

#include <gtest/gtest.h>
#include <omp.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "VLK_KeyValues.h"
#include "VLK_RNG.h"
#include "VLK_ScoreStore.h"
#include "VLK_Util_jobs.h"
#include "velkcom.h"
#include "vlk_test.h"

namespace {

// A score whose gains are read from the data it is given: score(c | {}) = 0 and
// score(c | {p}) = -X[c * samples + p mod samples], so a square data set is a gain table with the
// gain of parent p for child c in row c, column p. It remembers what its init saw and counts
// the calls that must not happen.
struct GainScore {
  const double* X = nullptr;
  const double* Y = nullptr;
  int samples = 0;
  int nodes = 0;
  int threads = 0;
  int max_parents = 0;
  std::vector<int> levels;  // the "level" entries of the options, in order
  std::atomic<long> calls{0};
  std::atomic<long> diagonal_calls{0};
  std::atomic<long> wide_calls{0};  // from a thread index at or above `threads`
  std::atomic<unsigned> thread_mask{0};
};

// What the last init made; the record's finalize leaves it for the test to read.
GainScore* last_gain_state = nullptr;

void* gain_init(VLK_Data* d, VLK_ScoreArgs* args) {
  auto* s = new GainScore;
  s->X = d->X;
  s->Y = d->Y;
  s->samples = d->n;
  s->nodes = d->p;
  s->threads = args->threads;
  s->max_parents = args->max_parents;
  const VLK_KeyValues* o = args->options;
  for (size_t i = 0; o != nullptr && i < VLK_KeyValues_size(o); ++i)
    if (std::strcmp(VLK_KeyValues_get_key(o, i), "level") == 0)
      s->levels.push_back(VLK_KeyValues_get_int_index(o, i));
  delete last_gain_state;
  last_gain_state = s;
  return s;
}

double gain_score(void* state, int child, int* parents, int q) {
  auto* s = static_cast<GainScore*>(state);
  ++s->calls;
  const int t = omp_get_thread_num();
  if (t >= s->threads) ++s->wide_calls;
  s->thread_mask |= 1u << (t & 31);
  if (q == 0) return 0.0;
  if (parents[0] == child) ++s->diagonal_calls;
  return -s->X[static_cast<size_t>(child) * s->samples + parents[0] % s->samples];
}

void gain_finalize(void*) {}

VLK_Score* gain_record() {
  auto* r = static_cast<VLK_Score*>(std::calloc(1, sizeof(VLK_Score)));
  r->name = "Gains";
  r->init = gain_init;
  r->score = gain_score;
  r->finalize = gain_finalize;
  return r;
}

// A run's settings as one_to_one reads them, for rank r of P, with the score record given and
// a nucleus data set holding values of its own (which the call must hand back).
class OtoRun {
 public:
  OtoRun(std::vector<double> values, int nodes, int samples, int rank, int processes,
         VLK_Score* score, int threads)
      : values_(std::move(values)), a_(Args_new_rank(rank, processes)) {
    a_->nodes = nodes;
    a_->samples = samples;
    a_->whole_values = values_.data();
    VLK_Util_job_split(nodes, processes, rank, &a_->first_gene, &a_->own_genes);
    a_->algo_args->score = score;
    a_->score_args->threads = threads;
    VLK_Data* d = a_->nucleus_data;
    d->X = d->Y = nucleus_.data();
    d->n = 7;
    d->p = 3;
  }
  ~OtoRun() {
    std::free(a_->oto_table);
    a_->nucleus_data->X = a_->nucleus_data->Y = nullptr;
    VLK_RNG_delete(a_->algo_args->rng);
    Args_delete(a_);
  }
  OtoRun(const OtoRun&) = delete;
  OtoRun& operator=(const OtoRun&) = delete;

  Args* args() { return a_; }
  // Runs one_to_one and returns what it wrote to VELK_ERR.
  std::string run() {
    vlk_test::CaptureErr err;
    one_to_one(a_);
    return err.text();
  }
  std::vector<double> row(int l) const {
    const double* r = a_->oto_table + static_cast<size_t>(l) * a_->nodes;
    return std::vector<double>(r, r + a_->nodes);
  }
  bool nucleus_restored() const {
    const VLK_Data* d = a_->nucleus_data;
    return d->X == nucleus_.data() && d->Y == nucleus_.data() && d->n == 7 && d->p == 3;
  }

 private:
  std::vector<double> values_;
  std::vector<double> nucleus_ = std::vector<double>(21, 0.0);
  Args* a_;
};

// n x n gains, all losses (-1) but the given ones.
std::vector<double> gains(int n, const std::vector<std::array<double, 3>>& given) {
  std::vector<double> g(static_cast<size_t>(n) * n, -1.0);
  for (const auto& [child, parent, gain] : given)
    g[static_cast<size_t>(child) * n + static_cast<size_t>(parent)] = gain;
  return g;
}

bool same_bits(const std::vector<double>& a, const std::vector<double>& b) {
  return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0;
}

}  // namespace

// Weights follow the two gains of a pair, power 10, normalised per row: a gain of t's parent j
// and a gain of t as j's parent count alike, losses count as none, and a row without any gain
// is NaN.
TEST(OneToOne, RowsOfKnownGains) {
  // Child 1 gains 2 from parent 3; child 0 gains 1 from parent 2; child 4 gains 2 from parent 0;
  // child 0 loses 3 with parent 1 (clamped to no gain).
  OtoRun run(gains(5, {{1, 3, 2.0}, {0, 2, 1.0}, {4, 0, 2.0}, {0, 1, -3.0}}), 5, 5, 0, 1,
             gain_record(), 2);
  const std::string err = run.run();
  EXPECT_EQ(run.row(1), (std::vector<double>{0, 0, 0, 1, 0}));
  EXPECT_EQ(run.row(3), (std::vector<double>{0, 1, 0, 0, 0}));  // as the parent of 1
  const std::vector<double> r0 = run.row(0);
  EXPECT_EQ(r0[0], 0.0);
  EXPECT_EQ(r0[1], 0.0);
  EXPECT_DOUBLE_EQ(r0[2], 1.0 / 1025);
  EXPECT_EQ(r0[3], 0.0);
  EXPECT_DOUBLE_EQ(r0[4], 1024.0 / 1025);
  // Row 2 has the gain of 0 (2 as 0's parent); rows of genes without a gain are NaN.
  EXPECT_EQ(run.row(2), (std::vector<double>{1, 0, 0, 0, 0}));
  EXPECT_EQ(run.row(4), (std::vector<double>{1, 0, 0, 0, 0}));

  const GainScore* s = last_gain_state;
  EXPECT_EQ(s->diagonal_calls, 0);
  EXPECT_EQ(s->calls, 5 + 5 * 2 * 4);  // base scores, then 2 (n - 1) per row
  EXPECT_EQ(s->max_parents, 1);
  EXPECT_EQ(s->wide_calls, 0);
  EXPECT_TRUE(run.nucleus_restored());
  EXPECT_EQ(run.args()->algo_args->score->state, nullptr);
  EXPECT_EQ(err,
            "Calculating 1-to-1 scores for 5 nodes...\n Finished.\none-to-one calculation time: " +
                err.substr(err.find("time: ") + 6));
}

TEST(OneToOne, RowWithoutGainsIsNaN) {
  OtoRun run(gains(4, {{0, 1, 0.5}}), 4, 4, 0, 1, gain_record(), 1);
  run.run();
  for (int l : {2, 3})
    for (double x : run.row(l)) EXPECT_TRUE(std::isnan(x)) << "row " << l;
}

// The score sees the whole data, the level of --lv (raised to 3) after the -S options, and the
// caller's option list is left as it was; the progress marks count the rows.
TEST(OneToOne, ScoresTheWholeDataAtTheRunLevel) {
  const int n = 230;
  std::vector<double> g(static_cast<size_t>(n) * n, 0.5);
  OtoRun run(g, n, n, 0, 1, gain_record(), 1);
  Args* a = run.args();
  a->score_args->options = VLK_KeyValues_new();
  VLK_KeyValues_put_int(a->score_args->options, "level", 3);
  a->score_level = 1;
  a->memory = 12345;
  const double* whole = a->whole_values;
  const std::string err = run.run();

  const GainScore* s = last_gain_state;
  EXPECT_EQ(s->X, whole);
  EXPECT_EQ(s->Y, whole);
  EXPECT_EQ(s->samples, n);
  EXPECT_EQ(s->nodes, n);
  EXPECT_EQ(s->levels, (std::vector<int>{3, 3}));
  EXPECT_EQ(a->score_args->max_memory, 12345u);
  EXPECT_EQ(VLK_KeyValues_size(a->score_args->options), 1u);
  VLK_KeyValues_delete(a->score_args->options);
  a->score_args->options = nullptr;
  EXPECT_NE(err.find("Calculating 1-to-1 scores for 230 nodes...\n----------[100]----------[200]"
                     "--- Finished.\n"),
            std::string::npos)
      << err;
}

// Rows do not depend on how the genes are shared among processes or rows among threads.
TEST(OneToOne, RowsIndependentOfThreadsAndProcesses) {
  const int n = 23;
  std::vector<double> g(static_cast<size_t>(n) * n);
  for (size_t i = 0; i < g.size(); ++i) g[i] = std::sin(0.7 * static_cast<double>(i)) * 3.0;
  OtoRun one(g, n, n, 0, 1, gain_record(), 1);
  one.run();
  for (int threads : {1, 4}) {
    for (int P : {1, 2, 3}) {
      for (int r = 0; r < P; ++r) {
        OtoRun part(g, n, n, r, P, gain_record(), threads);
        part.run();
        EXPECT_EQ(last_gain_state->wide_calls, 0);
        if (threads == 4 && P == 1) {
          EXPECT_GT(__builtin_popcount(last_gain_state->thread_mask), 1);
        }
        for (int l = 0; l < part.args()->own_genes; ++l)
          EXPECT_TRUE(same_bits(part.row(l), one.row(l * P + r)))
              << "threads " << threads << " P " << P << " rank " << r << " row " << l;
      }
    }
  }
}

// Dynamic data: the score sees pseudo bootstrap pairs of all genes in blocks of their own, drawn
// from the run's random numbers; without --Bnum the run stops.
TEST(OneToOne, DynamicDataIsPseudoBootstrapped) {
  const int n = 4, samples = 6;  // 3 time points of 2 replicates
  std::vector<double> values(static_cast<size_t>(n) * samples);
  for (size_t i = 0; i < values.size(); ++i) values[i] = static_cast<double>(i);
  OtoRun run(values, n, samples, 0, 1, gain_record(), 1);
  Args* a = run.args();
  int reps[3] = {2, 2, 2};
  a->replicates = reps;
  a->time_points = 3;
  a->algo_args->dynamic = 1;
  a->algo_args->rng = VLK_RNG_new();

  EXPECT_FATAL_EXIT(one_to_one(a),
                    "Calculating 1-to-1 scores for 4 nodes...\n"
                    "ERROR: Normal dynamic model not supported.\n");

  a->bootstrap_blocks = 5;
  const std::string err = run.run();
  EXPECT_NE(err.find("Performing pseudo-bootstrap resampling.\n"), std::string::npos);
  const GainScore* s = last_gain_state;
  EXPECT_EQ(s->samples, 10);  // 5 series of 2 transitions
  EXPECT_EQ(s->nodes, n);
  EXPECT_NE(s->X, s->Y);
  EXPECT_TRUE(run.nucleus_restored());
  // The draws came from the run's stream: 5 series x 3 time points.
  VLK_RNG* fresh = VLK_RNG_new();
  std::vector<double> skip(15), next(1), expect(1);
  VLK_RNG_uniform(fresh, skip.data(), 15, 0.0, 1.0);
  VLK_RNG_uniform(fresh, expect.data(), 1, 0.0, 1.0);
  VLK_RNG_uniform(a->algo_args->rng, next.data(), 1, 0.0, 1.0);
  EXPECT_EQ(next, expect);
  VLK_RNG_delete(fresh);
  // Every call draws series of its own: the table is made again.
  EXPECT_NE(run.run().find("Performing pseudo-bootstrap resampling.\n"), std::string::npos);
  EXPECT_NE(last_gain_state, s);
  a->replicates = nullptr;
}

// Static data: the first call's table serves every later one, which scores nothing; with the
// run's score store the raw scores land in it, one per pair, and the table's second half (each
// own gene as a parent) reads them back on one process.
TEST(OneToOne, StaticTableIsComputedOnceThroughTheStore) {
  const int n = 9;
  std::vector<double> g(static_cast<size_t>(n) * n);
  for (size_t i = 0; i < g.size(); ++i) g[i] = std::cos(1.3 * static_cast<double>(i)) * 2.0;
  OtoRun plain(g, n, n, 0, 1, gain_record(), 1);
  plain.run();

  OtoRun run(g, n, n, 0, 1, gain_record(), 2);
  std::vector<std::uint64_t> cells(VLK_ScoreStore_cells(n));
  VLK_ScoreStore_clear(cells.data(), 0, cells.size());
  VLK_ScoreStore store{cells.data(), n, nullptr, 0};
  run.args()->score_store = &store;
  const std::string first = run.run();
  EXPECT_NE(first.find("Score store: 72 of 153 scores of no parent or one parent found stored"),
            std::string::npos)
      << first;
  const GainScore* s = last_gain_state;
  EXPECT_EQ(s->calls, n + n * (n - 1));
  for (int c = 0; c < n; ++c)
    for (int p = 0; p < n; ++p) {
      double v = 0;
      ASSERT_EQ(VLK_ScoreStore_get(&store, c, p, &v), 1);
      EXPECT_EQ(v, p == c ? 0.0 : -g[static_cast<size_t>(c) * n + p]);
    }
  for (int l = 0; l < n; ++l) EXPECT_TRUE(same_bits(run.row(l), plain.row(l))) << l;

  const std::vector<double> row3 = run.row(3);
  EXPECT_EQ(run.run(), "1-to-1 scores: the table of static data is kept from the first call.\n");
  EXPECT_EQ(last_gain_state, s);
  EXPECT_EQ(s->calls, n + n * (n - 1));
  EXPECT_TRUE(same_bits(run.row(3), row3));
  EXPECT_TRUE(run.nucleus_restored());
  run.args()->score_store = nullptr;
}

namespace {

// 14 genes of 40 samples: gene 1 a smooth function of gene 0, gene 2 another one, the rest noise.
std::vector<double> related_genes(int n, int m) {
  VLK_RNG* rng = VLK_RNG_new();
  VLK_RNG_set_seed(rng, 11);
  std::vector<double> v(static_cast<size_t>(n) * m);
  VLK_RNG_uniform(rng, v.data(), static_cast<int>(v.size()), -1.0, 1.0);
  VLK_RNG_delete(rng);
  for (int s = 0; s < m; ++s) {
    const double x = v[s];
    v[static_cast<size_t>(m) + s] = std::sin(3.0 * x) + 0.05 * v[static_cast<size_t>(m) + s];
    v[2 * static_cast<size_t>(m) + s] = x * x + 0.05 * v[2 * static_cast<size_t>(m) + s];
  }
  return v;
}

// The weights of row t computed one score at a time on a state of its own.
std::vector<double> direct_row(std::vector<double> values, int n, int m, int t) {
  VLK_Data* d = VLK_Data_new();
  d->X = d->Y = values.data();
  d->n = m;
  d->p = n;
  VLK_ScoreArgs* sa = VLK_ScoreArgs_new();
  sa->max_parents = 1;
  sa->threads = 1;
  sa->verbosity = -1;
  sa->options = VLK_KeyValues_new();
  VLK_KeyValues_put_int(sa->options, "level", 2);
  VLK_Score* score = VLK_Score_get("BNRC");
  VLK_Score_init(score, d, sa);
  auto s = [&](int c, int p, int q) { return score->score(score->state, c, &p, q); };
  std::vector<double> row(static_cast<size_t>(n));
  double sum = 0.0;
  for (int j = 0; j < n; ++j) {
    if (j == t) continue;
    const double x = std::max(0.0, s(t, -1, 0) - s(t, j, 1));
    const double y = std::max(0.0, s(j, -1, 0) - s(j, t, 1));
    row[j] = std::pow(x, 10) + std::pow(y, 10);
    sum += row[j];
  }
  for (double& w : row) w /= sum;
  score->finalize(score->state);
  std::free(score);
  VLK_KeyValues_delete(sa->options);
  VLK_ScoreArgs_delete(sa);
  d->X = d->Y = nullptr;
  VLK_Data_delete(d);
  return row;
}

}  // namespace

// The run's BNRC score: rows agree with scores taken one at a time, tie the related genes
// together, and come out bit for bit the same for any thread count and process layout.
TEST(OneToOne, BnrcRowsOnSmallData) {
  const int n = 14, m = 40;
  const std::vector<double> values = related_genes(n, m);
  OtoRun one(values, n, m, 0, 1, VLK_Score_get("BNRC"), 1);
  one.run();
  for (int t : {0, 5}) {
    const std::vector<double> got = one.row(t), want = direct_row(values, n, m, t);
    for (int j = 0; j < n; ++j) EXPECT_NEAR(got[j], want[j], 1e-12) << t << " " << j;
  }
  const std::vector<double> r0 = one.row(0);
  EXPECT_GT(r0[1] + r0[2], 0.99);
  EXPECT_TRUE(one.nucleus_restored());

  for (const auto& [threads, P] : {std::pair{4, 1}, std::pair{4, 2}, std::pair{1, 2}}) {
    for (int r = 0; r < P; ++r) {
      OtoRun part(values, n, m, r, P, VLK_Score_get("BNRC"), threads);
      part.run();
      for (int l = 0; l < part.args()->own_genes; ++l)
        EXPECT_TRUE(same_bits(part.row(l), one.row(l * P + r)))
            << "threads " << threads << " P " << P << " rank " << r << " row " << l;
    }
  }
}
