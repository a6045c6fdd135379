// Score modules. A network score here is decomposable: the score of a network is the sum of
// the local scores of its nodes, each depending only on the node (child) and its parent set;
// lower is better. Every module sits behind one record of function pointers, VLK_Score, so
// the searches, the driver and the score caches can use any module without knowing which.
//
// Use of a module: VLK_Score_get(name) gives a private record; the caller fills a
// VLK_ScoreArgs and stores init(data, args) in the record's state (VLK_Score_init, which also
// notes how many threads the state serves); a cache may then wrap the record in place; score is
// called many times, from several threads at once; finalize(state) releases the state, and the
// caller frees the record with free().
//
// Threads: a module keeps its scratch buffers per thread, as many sets as the arguments'
// `threads` at init, so no more threads than that may score one state at once. The searches
// read that count from the record (VLK_Score_threads) and size every parallel region that
// scores by it.
#pragma once

#include <cstddef>
#include <cstdio>

#include "VLK_KeyValues.h"

struct VLK_Data;
struct VLK_Network;

// The arguments every module's init receives.
struct VLK_ScoreArgs {
  VLK_KeyValues* options;  // the module's option list (not owned); null for none
  int max_parents;         // largest parent set the module must be ready to score
  size_t max_memory;       // memory budget of the module state, in bytes
  size_t used_memory;      // written back by init: the bytes the state uses
  int threads;             // threads that may call score at once (sizes per-thread buffers)
  int cache_type;          // score cache wanted by two-step hill climbing (1, 2 tree; 3 hash)
  int verbosity;           // message level of the module
};

// One module: its operations in a fixed order, then the module state and two reserved ints.
// An operation the module lacks is null, except cache and status, which VLK_Score_get fills.
struct VLK_Score {
  const char* name;  // the table row's name; not owned
  // Builds the state for one data set; reads options and limits of args and writes the
  // memory it uses back into args.
  void* (*init)(VLK_Data* data, VLK_ScoreArgs* args);
  // Local score of child given parents[0 .. q-1]; callable by several threads at once.
  double (*score)(void* state, int child, int* parents, int q);
  // Releases the state and all it owns (not the record).
  void (*finalize)(void* state);
  // New property list of the edge parents[k] -> child; the caller owns it.
  VLK_KeyValues* (*prop)(void* state, int child, int* parents, int q, int k);
  // Switches a score cache on (1) or off (0).
  void (*cache)(void* state, int on);
  // Prints a status line to fp.
  void (*status)(void* state, FILE* fp);
  // Re-targets the state at a data set of the same shape.
  void (*reinit)(VLK_Data* data, void* state);
  // Rates a network against the module's own knowledge, reporting on VELK_ERR.
  void (*evaluate)(void* state, VLK_Network* network);
  // nthreads per-thread states made from one; the caller frees the returned array only.
  void** (*omp_init)(VLK_ScoreArgs* args, void* state, int nthreads);
  void* state;  // null in a fresh record; the caller stores init's result here
  // The number of threads that may call score on `state` at once: 0 from VLK_Score_get (not
  // known: the searches then score with one thread); VLK_Score_init sets it. Score caches copy
  // it with the rest of the record; VLK_Score_omp_init's records serve one thread each.
  int reserved0;
  int reserved1;  // copied from the table
};

// The module table, ended by a row whose name is null.
inline constexpr int VLK_SCORE_MODULES = 4;
extern const VLK_Score VLK_Score_list[VLK_SCORE_MODULES + 1];

// A new heap copy of the first row whose name equals name regardless of case, with the
// default cache and status and no state; null when no row matches (or name is null).
VLK_Score* VLK_Score_get(const char* name);
void VLK_Score_default_cache(void* state, int on);
void VLK_Score_default_status(void* state, FILE* fp);
// Stores init(data, args) in score->state and notes in the record that the state serves
// args->threads threads (at least 1); returns the state.
void* VLK_Score_init(VLK_Score* score, VLK_Data* data, VLK_ScoreArgs* args);
// How many threads may score the record's state at once: the count VLK_Score_init noted, or 1
// when none was noted.
int VLK_Score_threads(const VLK_Score* score);
// nthreads records, each a copy of *score holding one per-thread state of the module's
// omp_init and noting that it serves one thread; null when the module has none (or it fails).
// The caller frees the array.
VLK_Score* VLK_Score_omp_init(VLK_Score* score, VLK_ScoreArgs* args, int nthreads);

// Defaults: no options, 10 parents, 500 MiB, nothing used, omp_get_max_threads() threads,
// cache type 0, verbosity 0.
VLK_ScoreArgs* VLK_ScoreArgs_new();
// Field-by-field copy; the option list, when present, is a deep copy (owned by the caller of
// clone, since delete leaves every option list alone).
VLK_ScoreArgs* VLK_ScoreArgs_clone(const VLK_ScoreArgs* args);
// Frees the record only.
void VLK_ScoreArgs_delete(VLK_ScoreArgs* args);

namespace vlk {

// Adapters from a module's typed operations to the untyped slots of VLK_Score, so a table row
// can name `&vlk::score_slot<VLK_BNRC_score>` without a cast. The state type is taken from
// the operation's own parameter list.
namespace detail {
template <class F>
struct state_of;
template <class R, class S, class... A>
struct state_of<R (*)(S*, A...)> {
  using type = S;
};
// reinit takes the data set first and the state second.
template <class F>
struct reinit_state_of;
template <class R, class S>
struct reinit_state_of<R (*)(VLK_Data*, S*)> {
  using type = S;
};
template <class F>
struct omp_state_of;
template <class R, class S>
struct omp_state_of<R (*)(VLK_ScoreArgs*, S*, int)> {
  using type = S;
};
template <auto F>
using state_t = typename state_of<decltype(F)>::type;
}  // namespace detail

template <auto F>
void* init_slot(VLK_Data* data, VLK_ScoreArgs* args) {
  return F(data, args);
}
template <auto F>
double score_slot(void* state, int child, int* parents, int q) {
  return F(static_cast<detail::state_t<F>*>(state), child, parents, q);
}
template <auto F>
void finalize_slot(void* state) {
  F(static_cast<detail::state_t<F>*>(state));
}
template <auto F>
VLK_KeyValues* prop_slot(void* state, int child, int* parents, int q, int k) {
  return F(static_cast<detail::state_t<F>*>(state), child, parents, q, k);
}
template <auto F>
void cache_slot(void* state, int on) {
  F(static_cast<detail::state_t<F>*>(state), on);
}
template <auto F>
void status_slot(void* state, FILE* fp) {
  F(static_cast<detail::state_t<F>*>(state), fp);
}
template <auto F>
void reinit_slot(VLK_Data* data, void* state) {
  using S = typename detail::reinit_state_of<decltype(F)>::type;
  F(data, static_cast<S*>(state));
}
template <auto F>
void evaluate_slot(void* state, VLK_Network* network) {
  F(static_cast<detail::state_t<F>*>(state), network);
}
template <auto F>
void** omp_init_slot(VLK_ScoreArgs* args, void* state, int nthreads) {
  using S = typename detail::omp_state_of<decltype(F)>::type;
  return reinterpret_cast<void**>(F(args, static_cast<S*>(state), nthreads));
}

}  // namespace vlk
