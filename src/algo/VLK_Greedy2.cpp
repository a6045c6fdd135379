// Greedy hill climbing, version 2: the moves of one child are scored by a team of threads, each
// taking a contiguous block of the child's move list and keeping the first of its lowest
// deltas; the lowest thread with the lowest delta wins. Since blocks follow the list in order,
// the move taken is the first of the lowest deltas in list order, whatever the team size.
//
// One parallel region serves a whole pass, not one per child: a region entered thousands of
// times per climb stalls as soon as anything else loads the machine. Every thread keeps its own
// copy of the graph and of the node scores and makes every chosen move in it, so the threads
// need to meet only once per child, when their best moves are all known.
#include <omp.h>

#include <algorithm>
#include <cfloat>
#include <cstdio>
#include <vector>

#include "VLK_Greedy.h"
#include "VLK_Util_jobs.h"
#include "velkcom.h"
#include "vlk_fatal.h"
#include "vlk_option_help.h"

using namespace vlk::greedy;

namespace {

// One thread's best move for the current child, on a cache line of its own so that the
// threads never write the same line.
struct alignas(64) ThreadBest {
  double delta = 0.0;
  Move move;
};

// Marks of the move list: a candidate that is not a parent; a fixed parent (left out). A
// parent that may move is marked with its position (>= 0).
constexpr int kCandidate = -1;
constexpr int kFixedParent = -2;

GraphI* complete_graph() { return CompleteGraph_to_GraphI(CompleteGraph_new()); }

// What the moves of a pass may do.
struct PassRules {
  int** cands;
  int candidates;
  int max_parents;
  int dynamic;
  const GraphI* fixed;
  const GraphI* skeleton;  // never null here
  VLK_Score* score;
};

// One thread's view of a pass: its graph and node scores (thread 0 works on the search's own),
// its marks and move list, its two scratch lists.
struct alignas(64) Lane {
  GraphPtr own_graph;
  std::vector<double> own_scores;
  std::vector<int> marks;
  std::vector<int> moves;
};

// What the passes of one search need besides the graph, made once per search: the child order,
// one lane per thread, and two rows of per-thread bests. Children that have moves use the rows
// in turn, so a thread may fill the next row while a slower one still reads the last.
struct ParallelWork {
  ParallelWork(int n, int team, int candidates)
      : order(static_cast<size_t>(std::max(n, 0))),
        lanes(static_cast<size_t>(team)),
        best(2 * static_cast<size_t>(team)) {
    for (size_t t = 0; t < lanes.size(); ++t) {
      Lane& lane = lanes[t];
      if (t > 0) {
        lane.own_graph.reset(VLK_Graph_new(order.size()));
        lane.own_scores.resize(order.size());
      }
      lane.marks.resize(order.size());
      lane.moves.reserve(static_cast<size_t>(std::max(candidates, 0)) + order.size());
    }
  }
  std::vector<int> order;
  std::vector<Lane> lanes;
  std::vector<ThreadBest> best;
};

// Every list a thread builds holds at most max(max_parents, q - 1) entries: room made before
// the child's moves are scored, so that scoring allocates nothing.
void make_room(VLK_IntArray* list, int max_parents, int q) {
  const size_t need = static_cast<size_t>(std::max(max_parents, q)) + 1;
  if (list->capacity < need && VLK_IntArray_reserve(list, need) == nullptr)
    vlk::fatal("ERROR: Greedy: Memory allocation failed. [tmp_ar]\n");
}

// The move list of child c: its candidates in rank order, then its movable parents that are
// not candidates, in list order. A parent that is also a candidate keeps its rank slot.
void build_moves(Lane& lane, const PassRules& r, int c, const VLK_IntArray* list) {
  std::vector<int>& marks = lane.marks;
  lane.moves.clear();
  const int q = static_cast<int>(list->size);
  for (int k = 0; k < q; ++k) marks[list->data[k]] = 0;
  for (int j = 0; j < r.candidates; ++j) {
    const int x = r.cands[c][j];
    if (x == -1) continue;
    marks[x] = kCandidate;
    lane.moves.push_back(x);
  }
  for (int k = 0; k < q; ++k) {
    const int p = list->data[k];
    if (r.fixed != nullptr && r.fixed->check_edge(r.fixed, p, c)) {
      marks[p] = kFixedParent;
      continue;
    }
    if (marks[p] == 0) lane.moves.push_back(p);
    marks[p] = k;
  }
}

// The first of the lowest deltas below zero among the entries lo .. hi-1 of the lane's move
// list, scored on graph g with node scores ns.
ThreadBest best_in_block(const Lane& lane, const PassRules& r, int c, int lo, int hi,
                         const VLK_Graph* g, const double* ns, VLK_IntArray* s1, VLK_IntArray* s2) {
  ThreadBest b;
  const VLK_IntArray* list = VLK_Graph_parents(g, c);
  const int q = static_cast<int>(list->size);
  const double own = ns[c];
  for (int e = lo; e < hi; ++e) {
    const int x = lane.moves[static_cast<size_t>(e)];
    const int mark = lane.marks[static_cast<size_t>(x)];
    if (mark == kCandidate) {
      if (q >= r.max_parents || !r.skeleton->check_edge(r.skeleton, x, c)) continue;
      if (r.dynamic == 0 && VLK_Graph_check_cyclic(g, x, c)) continue;
      VLK_IntArray_copy_add(list, s1, x);
      const double v = local_score(r.score, c, s1);
      if (v - own < b.delta) b = {v - own, {Move::add, x, -1, v, 0.0}};
    } else if (mark >= 0) {
      VLK_IntArray_copy_remove(list, s1, static_cast<size_t>(mark));
      const double v1 = local_score(r.score, c, s1);
      if (v1 - own < b.delta) b = {v1 - own, {Move::remove, x, mark, v1, 0.0}};
      // A self-loop turned round is the same edge; its "reversal" would count c twice.
      if (x == c || !r.skeleton->check_edge(r.skeleton, c, x)) continue;
      if (VLK_Graph_num_parents(g, x) >= r.max_parents) continue;
      const bool open = r.dynamic != 0 ? !VLK_Graph_check_edge(g, c, x)
                                       : !VLK_Graph_check_cyclic2(g, c, x, c, s1);
      if (!open) continue;
      VLK_IntArray_copy_add(VLK_Graph_parents(g, x), s2, c);
      const double v2 = local_score(r.score, x, s2);
      const double d = (v1 - own) + (v2 - ns[x]);
      if (d < b.delta) b = {d, {Move::reverse, x, mark, v1, v2}};
    }
  }
  return b;
}

// One pass: the children in a new random order, each child's moves scored by the team. The
// calling thread (thread 0) works on g and ns and runs the timer; tmp holds the 2T scratch
// lists. Returns the number of children that took a move.
int parallel_pass(ParallelWork& w, const PassRules& r, VLK_Graph* g, double* ns, VLK_IntArray* tmp,
                  VLK_MultiTimer* timer) {
  switch_section(timer, VLK_GREEDY_TIMER_HC_SINGLE);
  const int n = static_cast<int>(w.order.size());
  const int T = static_cast<int>(w.lanes.size());
  VLK_Util_random_perm(w.order.data(), n);
  int changed = 0;
#pragma omp parallel num_threads(T)
  {
    const int t = omp_get_thread_num();
    const int nt = omp_get_num_threads();
    Lane& lane = w.lanes[static_cast<size_t>(t)];
    VLK_Graph* graph = g;
    double* scores = ns;
    // Thread 0 changes g and ns only after the first meeting, when every copy is made.
    if (t > 0) {
      graph = lane.own_graph.get();
      VLK_Graph_copy(g, graph);
      std::copy_n(ns, n, lane.own_scores.begin());
      scores = lane.own_scores.data();
    }
    VLK_IntArray* s1 = &tmp[t];
    VLK_IntArray* s2 = &tmp[T + t];
    int row = 0;
    for (int i = 0; i < n; ++i) {
      const int c = w.order[static_cast<size_t>(i)];
      const VLK_IntArray* list = VLK_Graph_parents(graph, c);
      build_moves(lane, r, c, list);
      const int m = static_cast<int>(lane.moves.size());
      // Every thread sees the same empty list: no move, nothing to agree on.
      if (m == 0) continue;
      const int q = static_cast<int>(list->size);
      make_room(s1, r.max_parents, q);
      make_room(s2, r.max_parents, q);
      ThreadBest* best = &w.best[static_cast<size_t>(row) * static_cast<size_t>(T)];
      row ^= 1;
      if (t == 0) switch_section(timer, VLK_GREEDY_TIMER_HC_PARALLEL);
      const int size = m / nt, extra = m % nt;
      const int lo = t * size + std::min(t, extra);
      const int hi = lo + size + (t < extra ? 1 : 0);
      best[t] = best_in_block(lane, r, c, lo, hi, graph, scores, s1, s2);
#pragma omp barrier
      if (t == 0) switch_section(timer, VLK_GREEDY_TIMER_HC_SINGLE);
      int win = 0;
      for (int k = 1; k < nt; ++k)
        if (best[k].delta < best[win].delta) win = k;
      if (apply_move(best[win].move, c, graph, scores) && t == 0) ++changed;
    }
  }
  return changed;
}

PassRules pass_rules(int** cands, int candidates, int max_parents, int dynamic, const GraphI* fixed,
                     const GraphI* skeleton, VLK_Score* score) {
  return {cands,   candidates, max_parents,
          dynamic, fixed,      skeleton != nullptr ? skeleton : complete_graph(),
          score};
}

double climb2(ParallelWork& w, const PassRules& r, VLK_Graph* g, double* ns, VLK_IntArray* tmp,
              int max_loops, VLK_MultiTimer* timer, int verbosity) {
  return climb(g, r.score, ns, max_loops, verbosity, kVersion2.limit_verbosity, timer,
               [&] { return parallel_pass(w, r, g, ns, tmp, timer); });
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
  ParallelWork w(n, team_size(score), candidates);
  return parallel_pass(w,
                       pass_rules(cands, candidates, max_parents, dynamic, fixed, skeleton, score),
                       g, ns, tmp, timer);
}

int VLK_Greedy_one2(int n, int** cands, int candidates, int max_parents, int dynamic, VLK_Graph* g,
                    const GraphI* fixed, const GraphI* skeleton, VLK_Score* score, double* ns,
                    VLK_IntArray* tmp) {
  SerialWork w(n);
  VLK_Util_random_perm(w.order.data(), n);
  const PairRules rules{nullptr, fixed, skeleton, 0};
  return serial_pass(w, n, cands, candidates, g, dynamic, max_parents, tmp, rules, score, ns, 1);
}

double VLK_Greedy_step2(VLK_Graph* g, int** cands, int candidates, int dynamic, int max_parents,
                        VLK_IntArray* tmp, const GraphI* fixed, const GraphI* skeleton,
                        VLK_Score* score, double* ns, int max_loops, VLK_MultiTimer* timer,
                        int verbosity) {
  ParallelWork w(static_cast<int>(g->n), team_size(score), candidates);
  return climb2(w, pass_rules(cands, candidates, max_parents, dynamic, fixed, skeleton, score), g,
                ns, tmp, max_loops, timer, verbosity);
}

VLK_Graph* VLK_Greedy_exec2(VLK_AlgoArgs* a) {
  Search search(a);
  const int n = search.nodes();
  const int T = team_size(a->score);
  ScratchLists tmp(2 * static_cast<size_t>(T), static_cast<size_t>(std::max(a->max_parents, 0)));
  std::fprintf(VELK_ERR, "Greedy: Starting the greedy hill-climbing algorithm (v2).\n");
  if (tmp.get() == nullptr) return search.fail(" [tmp_ar]");
  if (!search.allocated()) return search.fail("");

  GreedyArgsPtr ga(VLK_Greedy_init(a));
  if (ga == nullptr) return search.fail("");
  std::fprintf(VELK_ERR, "Greedy:   candidates = %d\n", a->candidates);
  std::fprintf(VELK_ERR, "Greedy:   max_parents = %d\n", a->max_parents);
  search.clamp_candidates();
  if (a->dynamic != 0) search.print_dynamic();
  if (a->fixed != nullptr) {
    std::fprintf(VELK_ERR, "Greedy: Fixed graph specified.\n");
    std::fflush(VELK_ERR);
  }
  if (a->skeleton != nullptr) {
    std::fprintf(VELK_ERR, "Greedy: Skeleton graph specified.\n");
    std::fflush(VELK_ERR);
  }
  const int verbosity = a->verbosity;

  VLK_Score* score = a->score;
  MallocPtr<double> table = search.one_to_one([&] {
    return VLK_Greedy_one_to_one2(score, n, a->data->n, a->selfloop, a->fixed, a->skeleton,
                                  a->timer);
  });
  if (table == nullptr) return search.fail("");
  Candidates cands(VLK_Greedy_candidates(table.get(), a), n);
  if (cands.get() == nullptr) return search.fail("");
  if (verbosity >= 1) {
    std::fprintf(VELK_ERR, "##### Candidates ###################\n");
    print_candidates(VELK_ERR, cands.get(), table.get(), n, a->candidates, a->data);
  }
  if (verbosity >= 0) {
    std::fprintf(VELK_ERR, "Greedy: HC2 started.\n");
    std::fflush(VELK_ERR);
  }

  ParallelWork w(n, T, a->candidates);
  const PassRules rules = pass_rules(cands.get(), a->candidates, a->max_parents, a->dynamic,
                                     a->fixed, a->skeleton, score);
  return search.trials(kVersion2, ga->trials, [&](VLK_Graph* g, double* ns) {
    return climb2(w, rules, g, ns, tmp.get(), ga->max_loops, a->timer, verbosity);
  });
}

void vlk::greedy::print_options2(FILE* fp) {
  const GreedyArgsPtr d(VLK_GreedyArgs_parse(nullptr));
  if (d == nullptr) return;
  const VLK_GreedyTable table = VLK_GreedyArgs_table(d.get());
  const vlk::OptionHelp help[] = {
      {"trials t", nullptr, "The number of climbs from the start graph; the best one is kept."},
      {"max_loops", nullptr, "The limit of passes over the nodes in one climb."},
      {"fast skeleton skel dag dag_th parent rev v", nullptr,
       "Accepted, and of no effect in version 2.", ""},
  };
  vlk::print_option_help(fp, table.data(), help);
}

void VLK_Greedy2_help(FILE* fp, const char* /*sub*/) {
  std::fprintf(fp, "\"hc2\" (greedy hill-climbing search, version 2):\n");
  vlk::greedy::print_options2(fp);
}
