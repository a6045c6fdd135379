#include "VLK_Greedy.h"

#include <omp.h>

#include <algorithm>
#include <cfloat>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <limits>
#include <numeric>
#include <vector>

#include "VLK_Util.h"
#include "velkcom.h"
#include "vlk_fatal.h"
#include "vlk_option_help.h"

namespace vlk::greedy {

namespace {

// n x n doubles, or null when the product does not fit or the block cannot be had.
double* new_table(int n) {
  const size_t nn = n > 0 ? static_cast<size_t>(n) : 0;
  if (nn != 0 && nn > std::numeric_limits<size_t>::max() / sizeof(double) / nn) return nullptr;
  return static_cast<double*>(std::malloc(std::max<size_t>(nn * nn, 1) * sizeof(double)));
}

bool refused(const PairRules& r, int p, int c) {
  if (p == c && r.selfloop == 0) return true;
  if (r.fixed != nullptr && r.fixed->check_edge(r.fixed, p, c)) return true;
  return !move_allowed(r, p, c);
}

void progress_mark(int done) {
  if (done % 10 == 0) {
    std::fprintf(VELK_ERR, "-");
    std::fflush(VELK_ERR);
  }
  if (done % 100 == 0) {
    std::fprintf(VELK_ERR, "[%d]", done);
    std::fflush(VELK_ERR);
  }
}

void print_totals(std::uint64_t count, double seconds, int samples) {
  std::fprintf(VELK_ERR, "Greedy: Finished calculation of ");
  VLK_Util_print_size_t_comma(VELK_ERR, static_cast<size_t>(count));
  std::fprintf(VELK_ERR, " 1-to-1 scores in %.2f seconds.\n", seconds);
  const double rate = static_cast<double>(count) / seconds;
  std::fprintf(VELK_ERR, "OTO-RATE\t%f\t[scores/second]\n", rate);
  std::fprintf(VELK_ERR, "OTO-RATE2\t%f\t[scores/second*sample]\n", rate / samples);
}

double seconds_since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The k lowest scores of a row to the front of index (0 .. n-1 on entry), lowest first, as k
// bubble passes from the end leave them: after pass j the j-th lowest score sits at position j.
// Only a strictly greater score moves back, so equal scores keep ascending parent order. A NaN
// stops the bubbles where it stands, which no ordering reproduces: such a row takes the passes.
void lowest_first(const double* row, std::vector<int>& index, int k) {
  const int n = static_cast<int>(index.size());
  if (std::none_of(row, row + n, [](double x) { return std::isnan(x); })) {
    std::partial_sort(index.begin(), index.begin() + k, index.end(), [row](int x, int y) {
      return row[x] < row[y] || (row[x] == row[y] && x < y);
    });
    return;
  }
  for (int j = 0; j < k; ++j)
    for (int i = n - 1; i > j; --i)
      if (row[index[i - 1]] > row[index[i]]) std::swap(index[i - 1], index[i]);
}

constexpr int kUnmarked = 0;
constexpr int kMarked = 1;

}  // namespace

int team_size(const VLK_Score* score) {
  return std::clamp(omp_get_max_threads(), 1, VLK_Score_threads(score));
}

double* parallel_table(VLK_Greedy_score_fn score, void* state, int n, int samples,
                       const PairRules& rules, VLK_MultiTimer* timer, const char* first_line,
                       bool marks, bool totals, int threads) {
  double* table = new_table(n);
  if (table == nullptr) return nullptr;
  const size_t nn = n > 0 ? static_cast<size_t>(n) : 0;
  if (marks) {
    std::fprintf(VELK_ERR, "%s", first_line);
    std::fflush(VELK_ERR);
  }
  const auto start = std::chrono::steady_clock::now();
  switch_section(timer, VLK_GREEDY_TIMER_OTO_PARALLEL);
  // Per-thread counts summed by the reduction: no increment is lost, and 64 bits hold n * n.
  std::uint64_t count = 0;
#pragma omp parallel for schedule(static) reduction(+ : count) num_threads(std::max(threads, 1))
  // Each thread fills whole rows, one child with parent after parent: its writes, and the
  // reads of a score store behind the score (child-major, genes ascending), walk up memory.
  for (int c = 0; c < n; ++c) {
    if (marks) progress_mark(c + 1);
    for (int p = 0; p < n; ++p) {
      double& entry = table[static_cast<size_t>(c) * nn + static_cast<size_t>(p)];
      if (refused(rules, p, c)) {
        entry = DBL_MAX;
        continue;
      }
      int parent = p;
      entry = score(state, c, &parent, 1);
      ++count;
    }
  }
  switch_section(timer, VLK_GREEDY_TIMER_OTO_SINGLE);
  const double seconds = seconds_since(start);
  if (marks) {
    std::fprintf(VELK_ERR, "  done\n");
    std::fflush(VELK_ERR);
  }
  if (totals) print_totals(count, seconds, samples);
  return table;
}

void node_scores(const VLK_Graph* g, VLK_Score* score, double* out) {
  for (size_t c = 0; c < g->n; ++c)
    out[c] = local_score(score, static_cast<int>(c), VLK_Graph_parents(g, static_cast<int>(c)));
}

bool apply_move(const Move& m, int c, VLK_Graph* g, double* ns) {
  switch (m.type) {
    case Move::none:
      return false;
    case Move::add:
      VLK_Graph_add_edge(g, m.node, c);
      break;
    case Move::remove:
      VLK_Graph_remove_parent_index(g, c, m.pos);
      break;
    case Move::reverse:
      VLK_Graph_remove_parent_index(g, c, m.pos);
      VLK_Graph_add_edge(g, c, m.node);
      ns[m.node] = m.other_score;
      break;
  }
  ns[c] = m.child_score;
  return true;
}

double climb(VLK_Graph* g, VLK_Score* score, double* ns, int max_loops, int verbosity,
             int limit_verbosity, VLK_MultiTimer* timer, const std::function<int()>& pass) {
  switch_section(timer, VLK_GREEDY_TIMER_HC_SINGLE);
  const int n = static_cast<int>(g->n);
  node_scores(g, score, ns);
  for (int loop = 1;; ++loop) {
    const int changed = pass();
    switch_section(timer, VLK_GREEDY_TIMER_HC_SINGLE);
    if (changed == 0) break;
    const double total = VLK_Greedy_calc_score(ns, n);
    if (verbosity >= 1) {
      std::fprintf(VELK_ERR, "Greedy:   Loop %2d  (%4d) : score = %.3f\n", loop, changed, total);
      std::fflush(VELK_ERR);
    }
    if (loop > max_loops) {
      if (verbosity >= limit_verbosity)
        std::fprintf(VELK_ERR, "Greedy: Reached the maximum loop limit.\n");
      break;
    }
  }
  return VLK_Greedy_calc_score(ns, n);
}

int serial_pass(SerialWork& w, int n, int** cands, int candidates, VLK_Graph* g, int dynamic,
                int max_parents, VLK_IntArray* tmp, const PairRules& rules, VLK_Score* score,
                double* ns, int rev) {
  std::vector<int>& marks = w.marks;
  VLK_IntArray* s1 = &tmp[0];
  VLK_IntArray* s2 = &tmp[1];
  int changed = 0;
  for (int i = 0; i < n; ++i) {
    const int c = w.order[static_cast<size_t>(i)];
    VLK_IntArray* list = VLK_Graph_parents(g, c);
    const int q = static_cast<int>(list->size);
    const int* cand = cands[c];
    double best = 0.0;
    Move move;

    for (int j = 0; j < candidates; ++j)
      if (cand[j] != -1) marks[cand[j]] = kUnmarked;
    for (int k = 0; k < q; ++k) {
      const int p = list->data[k];
      const bool fixed = rules.fixed != nullptr && rules.fixed->check_edge(rules.fixed, p, c);
      marks[p] = fixed ? kMarked : kUnmarked;
    }

    for (int k = 0; k < q; ++k) {
      const int p = list->data[k];
      if (marks[p] == kMarked) continue;
      marks[p] = kMarked;
      VLK_IntArray_copy_remove(list, s1, static_cast<size_t>(k));
      const double v1 = local_score(score, c, s1);
      const double removal = v1 - ns[c];
      if (removal < best) {
        best = removal;
        move = {Move::remove, p, k, v1, 0.0};
      }
      // A self-loop turned round is the same edge; its "reversal" would count c twice.
      if (rev == 0 || p == c) continue;
      if (VLK_Graph_num_parents(g, p) >= max_parents || !move_allowed(rules, c, p)) continue;
      // The cycle test sees c with the parent list it would have after the move.
      const bool open =
          dynamic != 0 ? !VLK_Graph_check_edge(g, c, p) : !VLK_Graph_check_cyclic2(g, c, p, c, s1);
      if (!open) continue;
      VLK_IntArray_copy_add(VLK_Graph_parents(g, p), s2, c);
      const double v2 = local_score(score, p, s2);
      const double reversal = (v1 - ns[c]) + (v2 - ns[p]);
      if (reversal < best) {
        best = reversal;
        move = {Move::reverse, p, k, v1, v2};
      }
    }

    for (int j = 0; j < candidates; ++j) {
      const int x = cand[j];
      if (x == -1) break;
      if (marks[x] == kMarked) continue;
      marks[x] = kMarked;
      if (q >= max_parents || !move_allowed(rules, x, c)) continue;
      if (dynamic == 0 && VLK_Graph_check_cyclic(g, x, c)) continue;
      VLK_IntArray_copy_add(list, s1, x);
      const double v = local_score(score, c, s1);
      const double addition = v - ns[c];
      if (addition < best) {
        best = addition;
        move = {Move::add, x, -1, v, 0.0};
      }
    }
    if (apply_move(move, c, g, ns)) ++changed;
  }
  return changed;
}

void print_candidates(FILE* fp, int** lists, const double* table, int n, int candidates,
                      const VLK_Data* d) {
  const size_t nn = static_cast<size_t>(n);
  for (int c = 0; c < n; ++c) {
    const char* name = d != nullptr ? VLK_Data_get_name(d, c) : nullptr;
    std::fprintf(fp, "== %d (%s) ==\n", c, name != nullptr ? name : "");
    for (int k = 0; k < candidates && lists[c][k] != -1; ++k) {
      const int p = lists[c][k];
      std::fprintf(fp, "  %d : %d (%f)\n", k + 1, p,
                   table[static_cast<size_t>(c) * nn + static_cast<size_t>(p)]);
    }
    std::fprintf(fp, "\n");
  }
}

const char* now_text(char* buf) {
  const std::time_t now = std::time(nullptr);
  return ctime_r(&now, buf);
}

void set_cache(VLK_Score* score, int on) {
  if (score->cache != nullptr) score->cache(score->state, on);
}

Search::Search(VLK_AlgoArgs* a) : a_(a) {
  VLK_Greedy_prepare_timer(a);
  switch_section(a->timer, VLK_GREEDY_TIMER_PREPARATION);
  // Without a data set or a score module there is nothing to search: a message, not a crash.
  if (a->data == nullptr || a->score == nullptr || a->score->score == nullptr)
    vlk::fatal("ERROR: Greedy: no data set or no score module given.\n");
  n_ = std::max(a->data->p, 0);
  const size_t nn = static_cast<size_t>(n_);
  ns_.reset(static_cast<double*>(std::malloc(std::max<size_t>(nn, 1) * sizeof(double))));
  work_.reset(VLK_Graph_new(nn));
  best_.reset(VLK_Graph_new(nn));
}

VLK_Graph* Search::fail(const char* what) {
  vlk::report("ERROR: Greedy: Memory allocation failed.%s\n", what);
  std::fflush(VELK_ERR);
  VLK_MultiTimer_stop(a_->timer);
  return nullptr;
}

void Search::clamp_candidates() {
  a_->candidates = std::clamp(a_->candidates, 0, std::max(a_->dynamic != 0 ? n_ : n_ - 1, 0));
}

void Search::print_dynamic() const {
  std::fprintf(VELK_ERR, "Greedy:   dynamic mode enabled.\n");
  std::fprintf(VELK_ERR, "Greedy:     selfloop = %s\n", a_->selfloop != 0 ? "yes" : "no");
}

MallocPtr<double> Search::one_to_one(const std::function<double*()>& make) {
  switch_section(a_->timer, VLK_GREEDY_TIMER_OTO_SINGLE);
  set_cache(a_->score, 0);
  MallocPtr<double> table(make());
  switch_section(a_->timer, VLK_GREEDY_TIMER_OTO_SINGLE);
  set_cache(a_->score, 1);
  return table;
}

VLK_Graph* Search::trials(const Version& v, int trials,
                          const std::function<double(VLK_Graph*, double*)>& climb) {
  VLK_AlgoArgs* a = a_;
  VLK_Score* score = a->score;
  char when[32];
  double best_score = DBL_MAX;
  for (int t = 1; t <= trials; ++t) {
    switch_section(a->timer, VLK_GREEDY_TIMER_HC_SINGLE);
    if (a->verbosity >= 1)
      std::fprintf(VELK_ERR, "Greedy: Trail %2d --------------------------------\n", t);
    if (a->fixed != nullptr)
      VLK_Graph_copy_GraphI(a->fixed, work_.get());
    else
      VLK_Graph_clear(work_.get());
    const double s = climb(work_.get(), ns_.get());
    if (a->verbosity >= 0) std::fprintf(VELK_ERR, v.trial_line, t, s);
    if (a->verbosity >= 1) {
      if (score->status != nullptr) score->status(score->state, VELK_ERR);
      std::fprintf(VELK_ERR, "Time: %s", now_text(when));
      std::fprintf(VELK_ERR, "\n");
    }
    // Strictly lower only: ties keep the earlier trial, and a NaN never wins.
    if (s < best_score) {
      VLK_Graph_copy(work_.get(), best_.get());
      best_score = s;
    }
  }

  switch_section(a->timer, VLK_GREEDY_TIMER_HC_SINGLE2);
  if (a->verbosity >= 0) {
    std::fprintf(VELK_ERR, v.finished_line, best_score);
    std::fprintf(VELK_ERR, "X-BESTSCORE\t%f\n", best_score);
    std::fflush(VELK_ERR);
  }
  if (a->results == nullptr) a->results = VLK_KeyValues_new();
  VLK_KeyValues_clear(a->results);
  VLK_KeyValues_put_double(a->results, "score", best_score);
  if (v.prints_best && a->verbosity >= 1)
    VLK_Graph_print_name(best_.get(), VELK_ERR, a->data->names);
  VLK_MultiTimer_stop(a->timer);
  return best_.release();
}

}  // namespace vlk::greedy

using namespace vlk::greedy;

double* VLK_Greedy_one_to_one(VLK_Greedy_score_fn score, void* state, int n, int samples,
                              int selfloop, const VLK_Graph* excluded, const GraphI* fixed,
                              VLK_MultiTimer* timer, int verbosity, int threads,
                              const GraphI* skeleton) {
  const PairRules rules{excluded, fixed, skeleton, selfloop};
  return parallel_table(score, state, n, samples, rules, timer,
                        "Greedy: Calculating 1-to-1 scores: ", verbosity >= 0, verbosity >= 1,
                        threads);
}

double* VLK_Greedy_one_to_one_cands(VLK_Greedy_score_fn score, void* state, int n, int samples,
                                    int selfloop, const VLK_Graph* excluded, const GraphI* fixed,
                                    const VLK_IntArray* parents, int verbosity,
                                    const GraphI* skeleton) {
  double* table = new_table(n);
  if (table == nullptr) return nullptr;
  const size_t nn = n > 0 ? static_cast<size_t>(n) : 0;
  const PairRules rules{excluded, fixed, skeleton, selfloop};
  if (verbosity >= 0) {
    std::fprintf(VELK_ERR, "Greedy: Calculating 1-to-1 scores with candidates: ");
    std::fflush(VELK_ERR);
  }
  const auto start = std::chrono::steady_clock::now();
  std::uint64_t count = 0;
  for (int c = 0; c < n; ++c) {
    if (verbosity >= 0) progress_mark(c + 1);
    double* row = table + static_cast<size_t>(c) * nn;
    std::fill(row, row + nn, DBL_MAX);
    for (size_t k = 0; parents != nullptr && k < parents->size; ++k) {
      int p = parents->data[k];
      if (p < 0 || p >= n || refused(rules, p, c)) continue;
      row[p] = score(state, c, &p, 1);
      ++count;
    }
  }
  const double seconds = seconds_since(start);
  if (verbosity >= 0) {
    std::fprintf(VELK_ERR, "  done\n");
    std::fflush(VELK_ERR);
  }
  if (verbosity >= 1) print_totals(count, seconds, samples);
  return table;
}

int** VLK_Greedy_candidates(const double* table, const VLK_AlgoArgs* a) {
  const int n = std::max(a->data->p, 0);
  const int k = std::clamp(a->candidates, 0, n);
  if (a->verbosity >= 1) {
    std::fprintf(VELK_ERR, "Greedy: Calculating parent candidates. [candidates = %d]\n",
                 a->candidates);
    std::fflush(VELK_ERR);
  }
  auto** lists = static_cast<int**>(std::calloc(n > 0 ? n : 1, sizeof(int*)));
  if (lists == nullptr) return nullptr;
  const size_t nn = static_cast<size_t>(n);
  std::vector<int> index(nn);
  for (int c = 0; c < n; ++c) {
    lists[c] = static_cast<int*>(std::malloc(static_cast<size_t>(k > 0 ? k : 1) * sizeof(int)));
    if (lists[c] == nullptr) {
      VLK_Greedy_free_candidates(lists, n);
      return nullptr;
    }
    const double* row = table + static_cast<size_t>(c) * nn;
    std::iota(index.begin(), index.end(), 0);
    lowest_first(row, index, k);
    for (int j = 0; j < k; ++j) lists[c][j] = row[index[j]] == DBL_MAX ? -1 : index[j];
  }
  return lists;
}

void VLK_Greedy_free_candidates(int** lists, int n) {
  if (lists == nullptr) return;
  for (int c = 0; c < n; ++c) std::free(lists[c]);
  std::free(lists);
}

double VLK_Greedy_calc_score(const double* node_scores, int n) {
  double sum = 0.0;
  for (int i = 0; i < n; ++i) sum += node_scores[i];
  return sum;
}

namespace {

// A pass of version 1: the children in the order of the run's random-number record (index
// order without one).
int pass1(SerialWork& w, int n, int** cands, int candidates, VLK_Graph* g, int dynamic,
          int max_parents, VLK_IntArray* tmp, const VLK_Graph* excluded, const GraphI* fixed,
          const GraphI* skeleton, VLK_Score* score, double* ns, int rev, VLK_RNG* rng,
          VLK_MultiTimer* timer) {
  switch_section(timer, VLK_GREEDY_TIMER_HC_SINGLE);
  if (rng != nullptr)
    VLK_RNG_perm(rng, w.order.data(), n);
  else
    std::iota(w.order.begin(), w.order.end(), 0);
  const PairRules rules{excluded, fixed, skeleton, 0};
  return serial_pass(w, n, cands, candidates, g, dynamic, max_parents, tmp, rules, score, ns, rev);
}

double climb1(SerialWork& w, VLK_Graph* g, int** cands, int candidates, int dynamic,
              int max_parents, VLK_IntArray* tmp, const VLK_Graph* excluded, const GraphI* fixed,
              const GraphI* skeleton, VLK_Score* score, double* ns, int max_loops, int rev,
              VLK_RNG* rng, VLK_MultiTimer* timer, int verbosity) {
  const int n = static_cast<int>(g->n);
  return climb(g, score, ns, max_loops, verbosity, kVersion1.limit_verbosity, timer, [&] {
    return pass1(w, n, cands, candidates, g, dynamic, max_parents, tmp, excluded, fixed, skeleton,
                 score, ns, rev, rng, timer);
  });
}

}  // namespace

int VLK_Greedy_one(int n, int** cands, int candidates, VLK_Graph* g, int dynamic, int max_parents,
                   VLK_IntArray* tmp, const VLK_Graph* excluded, const GraphI* fixed,
                   VLK_Score* score, double* node_scores, int rev, VLK_RNG* rng,
                   VLK_MultiTimer* timer) {
  SerialWork w(n);
  return pass1(w, n, cands, candidates, g, dynamic, max_parents, tmp, excluded, fixed, nullptr,
               score, node_scores, rev, rng, timer);
}

double VLK_Greedy_step(VLK_Graph* g, int** cands, int candidates, int dynamic, int max_parents,
                       VLK_IntArray* tmp, const VLK_Graph* excluded, const GraphI* fixed,
                       VLK_Score* score, double* ns, int max_loops, int rev, VLK_RNG* rng,
                       VLK_MultiTimer* timer, int verbosity) {
  SerialWork w(static_cast<int>(g->n));
  return climb1(w, g, cands, candidates, dynamic, max_parents, tmp, excluded, fixed, nullptr, score,
                ns, max_loops, rev, rng, timer, verbosity);
}

VLK_Graph* VLK_Greedy_exec(VLK_AlgoArgs* a) {
  Search search(a);
  const int n = search.nodes();
  ScratchLists tmp(2, static_cast<size_t>(n));
  if (a->verbosity >= 0) {
    std::fprintf(VELK_ERR, "Greedy: Starting the greedy hill-climbing algorithm.\n");
    std::fflush(VELK_ERR);
  }
  if (tmp.get() == nullptr) return search.fail(" [tmp_ar]");
  if (!search.allocated()) return search.fail("");

  GreedyArgsPtr ga(VLK_Greedy_init(a));
  if (ga == nullptr) return search.fail("");
  if (ga->fast) std::fprintf(VELK_ERR, "Greedy:   fast mode enabled.\n");
  if (a->verbosity >= 0)
    std::fprintf(VELK_ERR, "Greedy: Candidates = %d, Max Parents = %d, Trials = %d\n",
                 a->candidates, a->max_parents, ga->trials);
  if (ga->v != -99) a->verbosity = ga->v;
  const int verbosity = a->verbosity;
  search.clamp_candidates();
  if (a->dynamic != 0 && verbosity >= 0) search.print_dynamic();

  VLK_Score* score = a->score;
  MallocPtr<double> table = search.one_to_one([&]() -> double* {
    if (ga->parent == nullptr)
      return VLK_Greedy_one_to_one(score->score, score->state, n, a->data->n, a->selfloop,
                                   a->excluded, a->fixed, a->timer, verbosity, team_size(score),
                                   a->skeleton);
    std::fprintf(VELK_ERR, "Greedy:   reading parent candidates.\n");
    vlk::Owned<VLK_IntArray, VLK_IntArray_delete> parents(VLK_IntArray_new());
    if (parents == nullptr) return nullptr;
    // An unreadable file would leave no parent at all: a search over nothing.
    if (VLK_Data_read_node_set_file(a->data, parents.get(), ga->parent, 0) < 0)
      vlk::fatal("ERROR: Greedy: cannot read the parent candidates: %s\n", ga->parent);
    std::fprintf(VELK_ERR, "Greedy:     # of parents = %zu\n", parents->size);
    return VLK_Greedy_one_to_one_cands(score->score, score->state, n, a->data->n, a->selfloop,
                                       a->excluded, a->fixed, parents.get(), verbosity,
                                       a->skeleton);
  });
  if (table == nullptr) return search.fail("");

  Candidates cands(VLK_Greedy_candidates(table.get(), a), n);
  if (cands.get() == nullptr) return search.fail("");
  if (verbosity >= 1) {
    char when[32];
    print_candidates(VELK_ERR, cands.get(), table.get(), n, a->candidates, a->data);
    std::fprintf(VELK_ERR, "Greedy: 121 finished at %s", now_text(when));
  }

  // Without a record of its own the run still needs a child order; a private one keeps the
  // call reproducible.
  vlk::Owned<VLK_RNG, VLK_RNG_delete> own_rng(a->rng == nullptr ? VLK_RNG_new() : nullptr);
  VLK_RNG* rng = a->rng != nullptr ? a->rng : own_rng.get();

  SerialWork w(n);
  return search.trials(kVersion1, ga->trials, [&](VLK_Graph* g, double* ns) {
    return climb1(w, g, cands.get(), a->candidates, a->dynamic, a->max_parents, tmp.get(),
                  a->excluded, a->fixed, a->skeleton, score, ns, ga->max_loops, ga->rev, rng,
                  a->timer, verbosity);
  });
}

VLK_Network* VLK_Greedy_gen_network(const VLK_Graph* g, const VLK_Data* d) {
  if (g == nullptr || d == nullptr) return nullptr;
  if (g->n != static_cast<size_t>(std::max(d->p, 0))) {
    vlk::report("ERROR: Greedy: the graph has %zu nodes, the data set %d.\n", g->n, d->p);
    return nullptr;
  }
  VLK_Network* net = VLK_Network_new();
  if (net == nullptr) return nullptr;
  const int n = d->p;
  for (int i = 0; i < n; ++i) {
    VLK_Node* node = VLK_Node_new(VLK_Data_get_name(d, i), VLK_Data_get_alias(d, i));
    if (node == nullptr || VLK_Network_add_node(net, node) == nullptr) {
      VLK_Node_delete(node);
      VLK_Network_delete(net);
      return nullptr;
    }
  }
  for (int c = 0; c < n; ++c) {
    const VLK_IntArray* list = VLK_Graph_parents(g, c);
    for (size_t k = 0; k < list->size; ++k) {
      if (VLK_Network_add_edge_index(net, list->data[k], c) == nullptr) {
        VLK_Network_delete(net);
        return nullptr;
      }
    }
  }
  return net;
}

void VLK_Greedy_help(FILE* fp, const char* /*sub*/) {
  const GreedyArgsPtr d(VLK_GreedyArgs_parse(nullptr));
  if (d == nullptr) return;
  const VLK_GreedyTable table = VLK_GreedyArgs_table(d.get());
  const vlk::OptionHelp help[] = {
      {"trials t", nullptr, "The number of climbs from the start graph; the best one is kept."},
      {"max_loops", nullptr, "The limit of passes over the nodes in one climb."},
      {"rev", nullptr, "Reversal moves; off leaves additions and removals only."},
      {"parent", "=file (string)", "A node set file: only its nodes may be parents."},
      {"v", nullptr,
       "When not -99, the message level of the searches from then on: -1 quiet, "
       "0 the usual messages, 1 more."},
      {"fast", nullptr, "Announced (\"fast mode enabled\"), and of no other effect."},
      {"skeleton skel dag dag_th", nullptr,
       "Accepted, and of no effect here (options of the search over a parent-child graph).", ""},
  };
  std::fprintf(fp, "\"hc\" (greedy hill-climbing search, version 1):\n");
  vlk::print_option_help(fp, table.data(), help);
}
