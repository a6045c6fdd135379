// Greedy hill climbing, version 2: the moves of one child are scored by the threads of an
// OpenMP region, each thread taking a contiguous block of the child's move list and keeping
// the first of its lowest deltas; the lowest thread with the lowest delta wins. Since blocks
// follow the list in order, the move taken is the first of the lowest deltas in list order,
// whatever the number of threads.
#include <omp.h>

#include <algorithm>
#include <cfloat>
#include <cstdio>
#include <vector>

#include "VLK_Greedy.h"
#include "VLK_Util_jobs.h"
#include "velkcom.h"
#include "vlk_fatal.h"

using namespace vlk::greedy;

namespace {

enum : int { kNone = 0, kAdd = 1, kRemove = 2, kReverse = 3 };

// One thread's best move for the current child, on a cache line of its own so that the
// threads of a region never write the same line.
struct alignas(64) ThreadBest {
  double delta;
  int type;
  int node;  // the added parent, or the other node of a reversal
  int pos;   // position in the child's parent list
  double child_score;
  double other_score;
};

// Marks of the move list: a candidate that is not a parent; a fixed parent (left out). A
// parent that may move is marked with its position (>= 0).
constexpr int kCandidate = -1;
constexpr int kFixedParent = -2;

GraphI* complete_graph() { return CompleteGraph_to_GraphI(CompleteGraph_new()); }

// Every list a thread builds holds at most max(max_parents, q - 1) entries: room made here,
// before the region, so that no thread allocates.
void make_room(VLK_IntArray* tmp, int lists, int max_parents, int q) {
  const size_t need = static_cast<size_t>(std::max(max_parents, q)) + 1;
  for (int t = 0; t < lists; ++t)
    if (tmp[t].capacity < need && VLK_IntArray_reserve(&tmp[t], need) == nullptr)
      vlk::fatal("ERROR: Greedy: Memory allocation failed. [tmp_ar]\n");
}

}  // namespace

double* VLK_Greedy_one_to_one2(VLK_Score* score, int n, int samples, int selfloop,
                               const GraphI* fixed, const GraphI* skeleton, VLK_MultiTimer* timer) {
  const PairRules rules{nullptr, fixed, skeleton, selfloop};
  return parallel_table(score->score, score->state, n, samples, rules, timer,
                        "Greedy: Calculating 1-to-1 scores (v.2): ", true, true, team_size(score));
}

int VLK_Greedy_one2mp(int n, int** cands, int candidates, int max_parents, int dynamic,
                      VLK_Graph* g, const GraphI* fixed, const GraphI* skeleton, VLK_Score* score,
                      double* ns, VLK_IntArray* tmp, VLK_MultiTimer* timer) {
  switch_section(timer, VLK_GREEDY_TIMER_HC_SINGLE);
  if (skeleton == nullptr) skeleton = complete_graph();
  const int T = team_size(score);
  const size_t nn = static_cast<size_t>(std::max(n, 0));
  std::vector<int> order(nn), marks(nn), moves;
  moves.reserve(static_cast<size_t>(std::max(candidates, 0)) + nn);
  std::vector<ThreadBest> best(static_cast<size_t>(T));
  VLK_Util_random_perm(order.data(), n);

  int changed = 0;
  for (int i = 0; i < n; ++i) {
    const int c = order[i];
    switch_section(timer, VLK_GREEDY_TIMER_HC_SINGLE);
    const VLK_IntArray* list = VLK_Graph_parents(g, c);
    const int q = static_cast<int>(list->size);

    // The move list: candidates in rank order, then the movable parents that are not
    // candidates, in list order. A parent that is also a candidate keeps its rank slot.
    moves.clear();
    for (int k = 0; k < q; ++k) marks[list->data[k]] = 0;
    for (int j = 0; j < candidates; ++j) {
      const int x = cands[c][j];
      if (x == -1) continue;
      marks[x] = kCandidate;
      moves.push_back(x);
    }
    for (int k = 0; k < q; ++k) {
      const int p = list->data[k];
      if (fixed != nullptr && fixed->check_edge(fixed, p, c)) {
        marks[p] = kFixedParent;
        continue;
      }
      if (marks[p] == 0) moves.push_back(p);
      marks[p] = k;
    }
    make_room(tmp, 2 * T, max_parents, q);
    std::fill(best.begin(), best.end(), ThreadBest{0.0, kNone, -1, -1, 0.0, 0.0});

    const int m = static_cast<int>(moves.size());
    if (m > 0) {
      switch_section(timer, VLK_GREEDY_TIMER_HC_PARALLEL);
      // A team larger than the list would only wait at the barrier; the blocks, and so the
      // move taken, do not depend on the team size.
#pragma omp parallel num_threads(std::min(T, m))
      {
        const int t = omp_get_thread_num();
        const int nt = omp_get_num_threads();
        const int size = m / nt, extra = m % nt;
        const int lo = t * size + std::min(t, extra);
        const int hi = lo + size + (t < extra ? 1 : 0);
        ThreadBest& b = best[static_cast<size_t>(t)];
        VLK_IntArray* s1 = &tmp[t];
        VLK_IntArray* s2 = &tmp[T + t];
        const double own = ns[c];
        for (int e = lo; e < hi; ++e) {
          const int x = moves[static_cast<size_t>(e)];
          const int mark = marks[x];
          if (mark == kCandidate) {
            if (q >= max_parents || !skeleton->check_edge(skeleton, x, c)) continue;
            if (dynamic == 0 && VLK_Graph_check_cyclic(g, x, c)) continue;
            VLK_IntArray_copy_add(list, s1, x);
            const double v = local_score(score, c, s1);
            if (v - own < b.delta) b = {v - own, kAdd, x, -1, v, 0.0};
          } else if (mark >= 0) {
            VLK_IntArray_copy_remove(list, s1, static_cast<size_t>(mark));
            const double v1 = local_score(score, c, s1);
            if (v1 - own < b.delta) b = {v1 - own, kRemove, x, mark, v1, 0.0};
            // A self-loop turned round is the same edge; its "reversal" would count c twice.
            if (x == c || !skeleton->check_edge(skeleton, c, x)) continue;
            if (VLK_Graph_num_parents(g, x) >= max_parents) continue;
            const bool open = dynamic != 0 ? !VLK_Graph_check_edge(g, c, x)
                                           : !VLK_Graph_check_cyclic2(g, c, x, c, s1);
            if (!open) continue;
            VLK_IntArray_copy_add(VLK_Graph_parents(g, x), s2, c);
            const double v2 = local_score(score, x, s2);
            const double d = (v1 - own) + (v2 - ns[x]);
            if (d < b.delta) b = {d, kReverse, x, mark, v1, v2};
          }
        }
      }
      switch_section(timer, VLK_GREEDY_TIMER_HC_SINGLE);
    }

    int w = 0;
    for (int t = 1; t < T; ++t)
      if (best[static_cast<size_t>(t)].delta < best[static_cast<size_t>(w)].delta) w = t;
    const ThreadBest& b = best[static_cast<size_t>(w)];
    switch (b.type) {
      case kAdd:
        VLK_Graph_add_edge(g, b.node, c);
        break;
      case kRemove:
        VLK_Graph_remove_parent_index(g, c, b.pos);
        break;
      case kReverse:
        VLK_Graph_remove_parent_index(g, c, b.pos);
        VLK_Graph_add_edge(g, c, b.node);
        ns[b.node] = b.other_score;
        break;
      default:
        continue;
    }
    ns[c] = b.child_score;
    ++changed;
  }
  return changed;
}

int VLK_Greedy_one2(int n, int** cands, int candidates, int max_parents, int dynamic, VLK_Graph* g,
                    const GraphI* fixed, const GraphI* skeleton, VLK_Score* score, double* ns,
                    VLK_IntArray* tmp) {
  std::vector<int> order(static_cast<size_t>(std::max(n, 0)));
  VLK_Util_random_perm(order.data(), n);
  const PairRules rules{nullptr, fixed, skeleton, 0};
  return serial_pass(order.data(), n, cands, candidates, g, dynamic, max_parents, tmp, rules, score,
                     ns, 1);
}

double VLK_Greedy_step2(VLK_Graph* g, int** cands, int candidates, int dynamic, int max_parents,
                        VLK_IntArray* tmp, const GraphI* fixed, const GraphI* skeleton,
                        VLK_Score* score, double* ns, int max_loops, VLK_MultiTimer* timer,
                        int verbosity) {
  if (skeleton == nullptr) skeleton = complete_graph();
  const int n = static_cast<int>(g->n);
  node_scores(g, score, ns);
  for (int loop = 1;; ++loop) {
    const int changed = VLK_Greedy_one2mp(n, cands, candidates, max_parents, dynamic, g, fixed,
                                          skeleton, score, ns, tmp, timer);
    switch_section(timer, VLK_GREEDY_TIMER_HC_SINGLE);
    if (changed == 0) break;
    const double total = VLK_Greedy_calc_score(ns, n);
    if (verbosity >= 1) {
      std::fprintf(VELK_ERR, "Greedy:   Loop %2d  (%4d) : score = %.3f\n", loop, changed, total);
      std::fflush(VELK_ERR);
    }
    if (loop > max_loops) {
      if (verbosity >= 0) std::fprintf(VELK_ERR, "Greedy: Reached the maximum loop limit.\n");
      break;
    }
  }
  return VLK_Greedy_calc_score(ns, n);
}

VLK_Graph* VLK_Greedy_exec2(VLK_AlgoArgs* a) {
  VLK_Greedy_prepare_timer(a);
  VLK_MultiTimer* timer = a->timer;
  switch_section(timer, VLK_GREEDY_TIMER_PREPARATION);
  require_inputs(a);
  const int n = std::max(a->data->p, 0);
  const size_t nn = static_cast<size_t>(n);
  const int T = team_size(a->score);

  MallocPtr<double> ns(static_cast<double*>(std::malloc(std::max<size_t>(nn, 1) * sizeof(double))));
  ScratchLists tmp(2 * static_cast<size_t>(T), static_cast<size_t>(std::max(a->max_parents, 0)));
  GraphPtr work(VLK_Graph_new(nn));
  GraphPtr best(VLK_Graph_new(nn));
  std::fprintf(VELK_ERR, "Greedy: Starting the greedy hill-climbing algorithm (v2).\n");
  if (tmp.get() == nullptr) {
    memory_error(" [tmp_ar]");
    VLK_MultiTimer_stop(timer);
    return nullptr;
  }
  if (work == nullptr || best == nullptr || ns == nullptr) {
    memory_error("");
    VLK_MultiTimer_stop(timer);
    return nullptr;
  }

  GreedyArgsPtr ga(VLK_Greedy_init(a));
  if (ga == nullptr) {
    memory_error("");
    VLK_MultiTimer_stop(timer);
    return nullptr;
  }
  std::fprintf(VELK_ERR, "Greedy:   candidates = %d\n", a->candidates);
  std::fprintf(VELK_ERR, "Greedy:   max_parents = %d\n", a->max_parents);
  a->candidates = std::clamp(a->candidates, 0, std::max(a->dynamic != 0 ? n : n - 1, 0));
  if (a->dynamic != 0) {
    std::fprintf(VELK_ERR, "Greedy:   dynamic mode enabled.\n");
    std::fprintf(VELK_ERR, "Greedy:     selfloop = %s\n", a->selfloop != 0 ? "yes" : "no");
  }
  if (a->fixed != nullptr) {
    std::fprintf(VELK_ERR, "Greedy: Fixed graph specified.\n");
    std::fflush(VELK_ERR);
  }
  if (a->skeleton != nullptr) {
    std::fprintf(VELK_ERR, "Greedy: Skeleton graph specified.\n");
    std::fflush(VELK_ERR);
  }
  const int verbosity = a->verbosity;

  switch_section(timer, VLK_GREEDY_TIMER_OTO_SINGLE);
  VLK_Score* score = a->score;
  set_cache(score, 0);
  MallocPtr<double> table(
      VLK_Greedy_one_to_one2(score, n, a->data->n, a->selfloop, a->fixed, a->skeleton, timer));
  set_cache(score, 1);
  switch_section(timer, VLK_GREEDY_TIMER_OTO_SINGLE);
  if (table == nullptr) {
    memory_error("");
    VLK_MultiTimer_stop(timer);
    return nullptr;
  }
  Candidates cands(VLK_Greedy_candidates(table.get(), a), n);
  if (cands.get() == nullptr) {
    memory_error("");
    VLK_MultiTimer_stop(timer);
    return nullptr;
  }
  if (verbosity >= 1) {
    std::fprintf(VELK_ERR, "##### Candidates ###################\n");
    print_candidates(VELK_ERR, cands.get(), table.get(), n, a->candidates, a->data);
  }
  if (verbosity >= 0) {
    std::fprintf(VELK_ERR, "Greedy: HC2 started.\n");
    std::fflush(VELK_ERR);
  }

  char when[32];
  double best_score = DBL_MAX;
  for (int t = 1; t <= ga->trials; ++t) {
    switch_section(timer, VLK_GREEDY_TIMER_HC_SINGLE);
    if (verbosity >= 1)
      std::fprintf(VELK_ERR, "Greedy: Trail %2d --------------------------------\n", t);
    if (a->fixed != nullptr)
      VLK_Graph_copy_GraphI(a->fixed, work.get());
    else
      VLK_Graph_clear(work.get());
    const double s = VLK_Greedy_step2(work.get(), cands.get(), a->candidates, a->dynamic,
                                      a->max_parents, tmp.get(), a->fixed, a->skeleton, score,
                                      ns.get(), ga->max_loops, timer, verbosity);
    if (verbosity >= 0)
      std::fprintf(VELK_ERR, "Greedy: Trial %d. Reached the local optimal (score = %f).\n", t, s);
    if (verbosity >= 1) {
      if (score->status != nullptr) score->status(score->state, VELK_ERR);
      std::fprintf(VELK_ERR, "Time: %s", now_text(when));
      std::fprintf(VELK_ERR, "\n");
    }
    if (s < best_score) {
      VLK_Graph_copy(work.get(), best.get());
      best_score = s;
    }
  }

  switch_section(timer, VLK_GREEDY_TIMER_HC_SINGLE2);
  if (verbosity >= 0) {
    std::fprintf(VELK_ERR, "Greedy: Finished.  Best score = %f\n", best_score);
    std::fprintf(VELK_ERR, "X-BESTSCORE\t%f\n", best_score);
    std::fflush(VELK_ERR);
  }
  table.reset();
  cands.reset();
  ga.reset();
  work.reset();
  tmp.reset();
  if (a->results == nullptr) a->results = VLK_KeyValues_new();
  VLK_KeyValues_clear(a->results);
  VLK_KeyValues_put_double(a->results, "score", best_score);
  if (verbosity >= 1) VLK_Graph_print_name(best.get(), VELK_ERR, a->data->names);
  VLK_MultiTimer_stop(timer);
  return best.release();
}
