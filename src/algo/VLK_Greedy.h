// Greedy hill climbing over directed acyclic graphs, versions 1 and 2.
//
// Both versions score every node with every other node as its only parent (the 1-to-1 table,
// in parallel), keep for every node its `candidates` best single parents, and then climb
// `trials` times from the same start graph: in each pass every node, in a random order, takes
// the one move with the lowest score change below zero among removing a parent, reversing an
// edge into it and adding a candidate parent. The climb with the strictly lowest total wins.
// Lower scores are better; ties keep the first move (or trial) found in the stated order.
//
// Both honour a skeleton graph: only its pairs are scored, added or reversed into. Version 1
// (VLK_Greedy_exec) orders the children with the run's VLK_RNG and honours the excluded graph.
// Version 2 (VLK_Greedy_exec2) orders them with the C library's random(), ignores the excluded
// graph and scores the moves of one child in parallel; its result does not depend on the
// number of threads.
//
// Tables are n x n doubles, row = child, column = parent: entry (c, p) at table[c * n + p];
// DBL_MAX marks a pair that may not be an edge. Candidate lists hold `candidates` ints per
// node, -1 for "none" (always the tail of a list).
#pragma once

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <vector>

#include "GraphI.h"
#include "VLK_AlgoArgs.h"
#include "VLK_Data.h"
#include "VLK_Graph.h"
#include "VLK_IntArray.h"
#include "VLK_Network.h"
#include "VLK_RNG.h"
#include "VLK_Score.h"
#include "VLK_Timer.h"
#include "vlk_owned.h"

// The score slot of a VLK_Score record: score(state, child, parents, q).
using VLK_Greedy_score_fn = double (*)(void* state, int child, int* parents, int q);

// ---- Version 1 -------------------------------------------------------------------------

// The search. Returns a new graph over the data set's node positions (the caller owns it),
// or null after an allocation failure (reported on VELK_ERR). Writes back the clamped
// `candidates`, `verbosity` (option "v"), `timer` (created when null; the caller owns it) and
// `results` ("score" = best total score).
VLK_Graph* VLK_Greedy_exec(VLK_AlgoArgs* a);

// The 1-to-1 table of all pairs, computed by an OpenMP loop over the child index with a team of
// at most `threads` (no more than the state serves: see VLK_Score_threads). A pair is refused
// (DBL_MAX) when `excluded` or `fixed` holds p -> c, a skeleton is given and lacks it, or
// p == c while selfloop is 0. Null when the table cannot be allocated.
double* VLK_Greedy_one_to_one(VLK_Greedy_score_fn score, void* state, int n, int samples,
                              int selfloop, const VLK_Graph* excluded, const GraphI* fixed,
                              VLK_MultiTimer* timer, int verbosity, int threads = 1,
                              const GraphI* skeleton = nullptr);
// The same table restricted to the parents listed in `parents` (serial); every other entry is
// DBL_MAX.
double* VLK_Greedy_one_to_one_cands(VLK_Greedy_score_fn score, void* state, int n, int samples,
                                    int selfloop, const VLK_Graph* excluded, const GraphI* fixed,
                                    const VLK_IntArray* parents, int verbosity,
                                    const GraphI* skeleton = nullptr);

// For every node its a->candidates parents of lowest 1-to-1 score (equal scores in ascending
// parent order; DBL_MAX entries become -1). n is the data set's node count. Null when out of
// memory. Release with VLK_Greedy_free_candidates.
int** VLK_Greedy_candidates(const double* table, const VLK_AlgoArgs* a);
void VLK_Greedy_free_candidates(int** lists, int n);

// One climb from graph g to a local optimum (at most max_loops + 1 passes); returns the total
// score of the graph it ends with. tmp holds two scratch lists; node_scores n doubles (filled
// here). A null rng visits the children in index order.
double VLK_Greedy_step(VLK_Graph* g, int** cands, int candidates, int dynamic, int max_parents,
                       VLK_IntArray* tmp, const VLK_Graph* excluded, const GraphI* fixed,
                       VLK_Score* score, double* node_scores, int max_loops, int rev, VLK_RNG* rng,
                       VLK_MultiTimer* timer, int verbosity);
// One pass over all children; returns the number of children that took a move.
int VLK_Greedy_one(int n, int** cands, int candidates, VLK_Graph* g, int dynamic, int max_parents,
                   VLK_IntArray* tmp, const VLK_Graph* excluded, const GraphI* fixed,
                   VLK_Score* score, double* node_scores, int rev, VLK_RNG* rng,
                   VLK_MultiTimer* timer);

// Sum of n node scores (0 for n <= 0).
double VLK_Greedy_calc_score(const double* node_scores, int n);

// A new annotated network of the graph: one node per data-set node (name and alias of the
// data set), one edge per parent-list entry, children in index order, parents in list order.
// Null for a null argument, a graph whose node count differs from the data set's, or when out
// of memory.
VLK_Network* VLK_Greedy_gen_network(const VLK_Graph* g, const VLK_Data* d);

// ---- Version 2 -------------------------------------------------------------------------

// The search of version 2. Same ownership and results as VLK_Greedy_exec; reads only the
// options "trials" and "max_loops".
VLK_Graph* VLK_Greedy_exec2(VLK_AlgoArgs* a);

// The 1-to-1 table of version 2: a pair is refused when a skeleton is given and lacks p -> c,
// when `fixed` holds p -> c, or p == c while selfloop is 0. Prints at every verbosity.
double* VLK_Greedy_one_to_one2(VLK_Score* score, int n, int samples, int selfloop,
                               const GraphI* fixed, const GraphI* skeleton, VLK_MultiTimer* timer);

// One climb of version 2 (a null skeleton allows every pair). tmp holds 2T scratch lists,
// T = vlk::greedy::team_size(score) at the time of the call.
double VLK_Greedy_step2(VLK_Graph* g, int** cands, int candidates, int dynamic, int max_parents,
                        VLK_IntArray* tmp, const GraphI* fixed, const GraphI* skeleton,
                        VLK_Score* score, double* node_scores, int max_loops, VLK_MultiTimer* timer,
                        int verbosity);
// One pass with the moves of each child scored in parallel; tmp as for VLK_Greedy_step2.
// Returns the number of children that took a move.
int VLK_Greedy_one2mp(int n, int** cands, int candidates, int max_parents, int dynamic,
                      VLK_Graph* g, const GraphI* fixed, const GraphI* skeleton, VLK_Score* score,
                      double* node_scores, VLK_IntArray* tmp, VLK_MultiTimer* timer);
// The same pass evaluated serially in the move order of version 1 (per parent its removal,
// then its reversal; then additions in candidate order), reversals always on; tmp holds two
// scratch lists.
int VLK_Greedy_one2(int n, int** cands, int candidates, int max_parents, int dynamic, VLK_Graph* g,
                    const GraphI* fixed, const GraphI* skeleton, VLK_Score* score,
                    double* node_scores, VLK_IntArray* tmp);

// ---- Help --------------------------------------------------------------------------------

// The help registry's "hc" and "hc2": the greedy options as each version takes them, with
// their defaults; sub is not used.
void VLK_Greedy_help(FILE* fp, const char* sub);
void VLK_Greedy2_help(FILE* fp, const char* sub);

// ---- Shared by both versions ------------------------------------------------------------

namespace vlk::greedy {

// The greedy options as version 2 takes them, without a heading: two-step hill climbing passes
// them on to it.
void print_options2(FILE* fp);

// The team of every parallel region that scores: OpenMP's thread count, but never more than
// the threads the score's state serves (VLK_Score_threads), whose buffers two threads must not
// share.
int team_size(const VLK_Score* score);

using vlk::MallocPtr;
using GraphPtr = vlk::Owned<VLK_Graph, VLK_Graph_delete>;
using GreedyArgsPtr = vlk::Owned<VLK_GreedyArgs, VLK_GreedyArgs_delete>;

// A block of scratch lists made by VLK_IntArray_new_ar.
class ScratchLists {
 public:
  ScratchLists(size_t count, size_t capacity)
      : count_(count), lists_(VLK_IntArray_new_ar(count, capacity)) {}
  ~ScratchLists() { VLK_IntArray_delete_ar(lists_, count_); }
  ScratchLists(const ScratchLists&) = delete;
  ScratchLists& operator=(const ScratchLists&) = delete;
  VLK_IntArray* get() const { return lists_; }

 private:
  size_t count_;
  VLK_IntArray* lists_;
};

class Candidates {
 public:
  Candidates(int** lists, int n) : lists_(lists), n_(n) {}
  ~Candidates() { VLK_Greedy_free_candidates(lists_, n_); }
  Candidates(const Candidates&) = delete;
  Candidates& operator=(const Candidates&) = delete;
  int** get() const { return lists_; }

 private:
  int** lists_;
  int n_;
};

// Which pairs a 1-to-1 table refuses and which moves a climb may make.
struct PairRules {
  const VLK_Graph* excluded;  // version 1: p -> c is never scored, added or reversed into
  const GraphI* fixed;        // p -> c is never scored in the table; fixed parents stay
  const GraphI* skeleton;     // only its pairs are scored, added or reversed into
  int selfloop;               // 1 lets a node be its own parent
};

// Whether a pair is permitted as an edge pa -> ch of a move (excluded and skeleton tests).
inline bool move_allowed(const PairRules& r, int pa, int ch) {
  if (r.excluded != nullptr && VLK_Graph_check_edge(r.excluded, pa, ch)) return false;
  if (r.skeleton != nullptr && !r.skeleton->check_edge(r.skeleton, pa, ch)) return false;
  return true;
}

// The greedy timer's section switch; a null timer is ignored.
inline void switch_section(VLK_MultiTimer* timer, int id) {
  if (timer != nullptr) VLK_MultiTimer_start(timer, id);
}

// The 1-to-1 table of both versions, scored by a team of at most `threads`: `first_line` opens
// it; the progress marks and "  done" print when `marks` is set, the count and rates when
// `totals` is set.
double* parallel_table(VLK_Greedy_score_fn score, void* state, int n, int samples,
                       const PairRules& rules, VLK_MultiTimer* timer, const char* first_line,
                       bool marks, bool totals, int threads);

// Local score of child c given the whole list.
inline double local_score(VLK_Score* score, int c, const VLK_IntArray* list) {
  return score->score(score->state, c, list->data, static_cast<int>(list->size));
}
// Node scores of every node given its current parents.
void node_scores(const VLK_Graph* g, VLK_Score* score, double* out);

// A move of one child and the local scores it leads to.
struct Move {
  enum Type : int { none, add, remove, reverse };
  Type type = none;
  int node = -1;  // the added parent, or the other node of a reversal
  int pos = -1;   // position in the child's parent list
  double child_score = 0.0;
  double other_score = 0.0;
};
// Makes the move of child c in g and the node scores; false for no move.
bool apply_move(const Move& m, int c, VLK_Graph* g, double* node_scores);

// One climb from g: node scores, then passes (`pass` returns how many children moved) until a
// pass moves nothing or max_loops + 1 passes ran; returns the total score. The loop limit is
// announced from verbosity `limit_verbosity` on.
double climb(VLK_Graph* g, VLK_Score* score, double* node_scores, int max_loops, int verbosity,
             int limit_verbosity, VLK_MultiTimer* timer, const std::function<int()>& pass);

// What a serial pass needs besides the graph, made once per search: the child order and one
// mark per node.
struct SerialWork {
  explicit SerialWork(int n) : order(static_cast<size_t>(std::max(n, 0))), marks(order.size()) {}
  std::vector<int> order;
  std::vector<int> marks;
};

// One serial pass in the move order of version 1 over the children in w.order: for each
// non-fixed parent its removal, then (when rev) its reversal; then the additions of the
// candidates. Returns the number of children that took a move.
int serial_pass(SerialWork& w, int n, int** cands, int candidates, VLK_Graph* g, int dynamic,
                int max_parents, VLK_IntArray* tmp, const PairRules& rules, VLK_Score* score,
                double* node_scores, int rev);

// "== c (name) ==" and the candidate entries of every node, as both versions print them.
void print_candidates(FILE* fp, int** lists, const double* table, int n, int candidates,
                      const VLK_Data* d);

// What tells the two versions apart in the frame they share: the wording of the trial and
// closing lines, the verbosity that announces the loop limit, and whether the best graph is
// printed at verbosity 1.
struct Version {
  const char* trial_line;
  const char* finished_line;
  int limit_verbosity;
  bool prints_best;
};
inline constexpr Version kVersion1{"Greedy: Trial %d. Reached local optimal (score = %f).\n",
                                   "Greedy: Finished. Best score = %f\n", 1, false};
inline constexpr Version kVersion2{"Greedy: Trial %d. Reached the local optimal (score = %f).\n",
                                   "Greedy: Finished.  Best score = %f\n", 0, true};

// The frame of both searches: the timer, the node scores, the working and the best graph, the
// 1-to-1 table with its cache switches, the trials and the results.
class Search {
 public:
  // Creates the timer when missing and switches it to the preparation; without a data set or a
  // score module ends the program; allocates the node scores and both graphs.
  explicit Search(VLK_AlgoArgs* a);
  bool allocated() const { return ns_ != nullptr && work_ != nullptr && best_ != nullptr; }
  int nodes() const { return n_; }
  // "ERROR: Greedy: Memory allocation failed.<what>", flushed; stops the timer; null for the
  // search to return.
  VLK_Graph* fail(const char* what);
  // Clamps a->candidates to the nodes that may be parents (n in dynamic mode, else n - 1).
  void clamp_candidates();
  // The dynamic-mode lines.
  void print_dynamic() const;
  // The 1-to-1 table made by `make` with the score cache off (its sets are scored once each).
  MallocPtr<double> one_to_one(const std::function<double*()>& make);
  // `trials` climbs from the start graph (the fixed graph, or none), keeping the strictly
  // best; the closing lines and results; stops the timer and returns the best graph.
  VLK_Graph* trials(const Version& v, int trials,
                    const std::function<double(VLK_Graph* g, double* node_scores)>& climb);

 private:
  VLK_AlgoArgs* a_;
  int n_;
  MallocPtr<double> ns_;
  GraphPtr work_;
  GraphPtr best_;
};

// The ctime text of now (with its newline); buf holds at least 26 chars.
const char* now_text(char* buf);
// The score module's cache switch (no-op without the slot).
void set_cache(VLK_Score* score, int on);

}  // namespace vlk::greedy
