#include "selection/one_to_one.h"

#include <omp.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <vector>

#include "VLK_BNRC.h"
#include "VLK_Data_resample.h"
#include "VLK_ScoreStore.h"
#include "VLK_Util.h"
#include "exchange/edge_tables.h"
#include "search/whole_data_score.h"
#include "velkcom.h"
#include "vlk_check.h"
#include "vlk_fatal.h"
#include "vlk_owned.h"

namespace {

// The gain of a score over a base as a weight: a loss counts as no gain (a NaN stays NaN), and
// the power sharpens every row toward the strongest partners.
inline double weight(double base, double score) {
  double x = base - score;
  if (x < 0.0) x = 0.0;
  return std::pow(x, 10.0);
}

inline double score_with(const VLK_Score* s, int child, int parent) {
  return s->score(s->state, child, &parent, 1);
}

inline double score_alone(const VLK_Score* s, int child) {
  int none = -1;
  return s->score(s->state, child, &none, 0);
}

void progress_mark(int c) {
  if (c % 10 != 0) return;
  std::fprintf(VELK_ERR, "-");
  if (c % 100 == 0) std::fprintf(VELK_ERR, "[%d]", c);
  std::fflush(VELK_ERR);
}

// Parents a thread takes at a time: their tables stay in the core's cache over all own genes,
// and each own gene's entries for them are written together, so threads seldom write one cache
// line of the table by turns; few enough to share the tail of the work evenly.
constexpr int kParentsPerGrab = 8;

double* new_table(const Args* a) {
  const size_t cells = VLK_Data_cells(a->own_genes, a->nodes);
  auto* table = static_cast<double*>(std::malloc(cells * sizeof(double)));
  if (table == nullptr && cells != 0)
    vlk::fatal("ERROR: Memory allocation failure (1-to-1 table: %zu bytes)\n",
               cells * sizeof(double));
  return table;
}

// The pseudo bootstrap series of dynamic data over all genes, in blocks of the call's own: the
// nucleus buffer need not be sized for the whole gene count.
vlk::WholeDataLoan::Whole bootstrap_whole(Args* a, vlk::MallocPtr<double>* X,
                                          vlk::MallocPtr<double>* Y) {
  if (a->bootstrap_blocks == -1) vlk::fatal("ERROR: Normal dynamic model not supported.\n");
  std::fprintf(VELK_ERR, "Performing pseudo-bootstrap resampling.\n");
  const std::int64_t cols = static_cast<std::int64_t>(a->bootstrap_blocks) *
                            (static_cast<std::int64_t>(a->time_points) - 1);
  if (cols < 0 || cols > INT32_MAX)
    vlk::fatal("ERROR: %lld pseudo-bootstrap columns do not fit a data set.\n",
               static_cast<long long>(cols));
  const size_t cells = VLK_Data_cells(a->nodes, static_cast<int>(cols));
  X->reset(static_cast<double*>(std::malloc(cells * sizeof(double))));
  Y->reset(static_cast<double*>(std::malloc(cells * sizeof(double))));
  if (cells != 0 && (*X == nullptr || *Y == nullptr))
    vlk::fatal("ERROR: Memory allocation failure (1-to-1 pseudo-bootstrap data: 2 x %zu bytes)\n",
               cells * sizeof(double));
  VLK_Data_pseudo_bootstrap_RNG(a->whole_values, a->samples, a->nodes, a->replicates,
                                a->time_points, a->bootstrap_blocks, nullptr, 0, X->get(), Y->get(),
                                a->algo_args->rng);
  return {a->nodes, static_cast<int>(cols), X->get(), Y->get()};
}

}  // namespace

namespace vlk::oto {

int whole_data_level(int lv) { return lv >= 1 && lv < 3 ? 3 : lv; }

void fill_table(VLK_Score* score, const GeneLayout& g, double* table, double* base, bool marks) {
  const int genes = static_cast<int>(g.n), rows = static_cast<int>(g.own);
  const size_t n = static_cast<size_t>(genes);
  // Every entry is a score call of its own, so neither the order of the calls nor which thread
  // makes them changes a value; threads take the parents and rows as they come free, so a
  // core shared with other work delays only what it holds. After the base scores, parent-major:
  // a few parents' tables serve every own gene while they are in cache; then each own gene as
  // the parent of every gene, its tables in cache over the row.
#pragma omp parallel num_threads(VLK_Score_threads(score))
  {
#pragma omp for schedule(static)
    for (int j = 0; j < genes; ++j) base[j] = score_alone(score, j);
#pragma omp for schedule(dynamic, 1)
    for (int first = 0; first < genes; first += kParentsPerGrab) {
      const int last = std::min(first + kParentsPerGrab, genes);
      for (int l = 0; l < rows; ++l) {
        const int t = static_cast<int>(g.gene(l));
        double* row = table + static_cast<size_t>(l) * n;
        for (int j = first; j < last; ++j)
          row[j] = j == t ? 0.0 : weight(base[t], score_with(score, t, j));
      }
    }
#pragma omp for schedule(dynamic, 1)
    for (int l = 0; l < rows; ++l) {
      const int t = static_cast<int>(g.gene(l));
      double* row = table + static_cast<size_t>(l) * n;
      double sum = 0.0;
      for (size_t j = 0; j < n; ++j) sum += row[j];
      for (int i = 0; i < genes; ++i) {
        const double y = i == t ? 0.0 : weight(base[i], score_with(score, i, t));
        row[i] += y;
        sum += y;
      }
      const double inv = 1.0 / sum;
      for (size_t j = 0; j < n; ++j) row[j] *= inv;
      if (marks) progress_mark(l + 1);
    }
  }
}

}  // namespace vlk::oto

void one_to_one(Args* a) {
  // Static data give the same table every time: the first one serves the whole run.
  if (a->oto_table != nullptr && !a->algo_args->dynamic) {
    std::fprintf(VELK_ERR,
                 "1-to-1 scores: the table of static data is kept from the first call.\n");
    std::fflush(VELK_ERR);
    return;
  }
  const auto start = std::chrono::steady_clock::now();
  std::fprintf(VELK_ERR, "Calculating 1-to-1 scores for %d nodes...\n", a->own_genes);
  std::fflush(VELK_ERR);
  if (a->oto_table == nullptr) a->oto_table = new_table(a);

  VLK_Score* score = a->algo_args->score;
  vlk::check(score != nullptr, "the search arguments carry the run's score record");
  // The record's own state (if any) comes back after the call.
  void* const saved_state = score->state;
  const int saved_threads = score->reserved0;
  vlk::MallocPtr<double> dynamic_X, dynamic_Y;
  std::optional<vlk::WholeDataLoan> loan;
  if (a->init_score) {
    VLK_BNRC_set_map(static_cast<VLK_BNRCBuff*>(score->state), nullptr);
  } else {
    // A state of the run's score over the whole data, with one parent at most and the level of
    // whole_data_level.
    const vlk::WholeDataLoan::Whole whole =
        a->algo_args->dynamic
            ? bootstrap_whole(a, &dynamic_X, &dynamic_Y)
            : vlk::WholeDataLoan::Whole{a->nodes, a->samples, a->whole_values, a->whole_values};
    VLK_ScoreArgs* sa = a->score_args;
    sa->max_parents = 1;
    sa->max_memory = a->memory;
    loan.emplace(a->nucleus_data, whole, sa, vlk::oto::whole_data_level(a->score_level),
                 "1-to-1 score options");
    VLK_Score_init(score, a->nucleus_data, sa);
  }
  // The raw scores go into the run's store (and the pairs a nucleus filled come out of it)
  // through a copy of the record, wrapped for this call alone.
  VLK_Score stored = *score;
  VLK_Score* scorer = score;
  if (a->score_store != nullptr && !a->init_score)
    scorer = VLK_ScoreStore_wrap(&stored, a->score_store, nullptr, a->nodes);

  std::vector<double> base(a->nodes > 0 ? static_cast<size_t>(a->nodes) : 0);
  const GeneLayout layout = Args_gene_layout(a);
  vlk::check(layout.own == a->own_genes, "the table has a row per own gene");
  vlk::oto::fill_table(scorer, layout, a->oto_table, base.data(), true);
  std::fprintf(VELK_ERR, " Finished.\n");

  if (!a->init_score) {
    scorer->finalize(scorer->state);
    score->state = saved_state;
    score->reserved0 = saved_threads;
    loan.reset();
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::fprintf(VELK_ERR, "one-to-one calculation time: %f [sec]\n", seconds);
  VLK_Util_print_sec_in_day_hour_min_sec(VELK_ERR, seconds);
  std::fflush(VELK_ERR);
}
