// The discrete BDe score: data values are category indices (truncated toward zero), the samples
// are grouped by the joint values of the parents (configurations, in the order first seen), the
// child's states are counted per configuration, and the score is -2 times the log marginal
// likelihood of the counts under Dirichlet priors of pseudo-count alpha = 1 (lower is better).
//
// Every node's values are checked at init: a child state must lie in 0 .. r - 1 of its node and
// every value must be an int, so that a count never lands outside its table. Each scoring thread
// has its own configuration and count tables.
#pragma once

#include <cstddef>

#include "VLK_Score.h"

struct VLK_Data;

struct BDEBuff {
  int nodes;             // p
  int samples;           // m
  double* X;             // parent values, node-major (node i, sample s at X[i * m + s]); not owned
  double* Y;             // child values, same shape; not owned
  int prior_type;        // 0, the only type
  int* r;                // r_i, the number of states of node i
  int** configurations;  // per thread: m rows of max_parents ints, the configurations seen
  int** counts;          // per thread: m rows of (up to) max_r ints, N_jk of each configuration
  double alpha;          // Dirichlet pseudo-count
  int max_parents;       // largest parent set a score call may carry
  int verbose;           // message level
  int threads;           // sets of configuration and count tables
  int max_r;             // the largest r_i
};

// The init slot: states, tables and checks for data (verbosity and limits from args, no options
// taken); writes the bytes of the tables into args->used_memory. Fatal errors end the process.
BDEBuff* BDE_init(VLK_Data* data, VLK_ScoreArgs* args);
// The score slot: -2 x BDE_calc_bde of the counts of child given parents[0 .. q-1]
// (0 <= q <= max_parents). Callable by up to `threads` threads at once.
double BDE_score(BDEBuff* bf, int child, int* parents, int q);
// The finalize slot.
void BDE_finalize(BDEBuff* bf);
// Fills the calling thread's configurations and counts for one call; returns the number J of
// configurations seen.
int BDE_count_n_ijk(BDEBuff* bf, int* parents, int q, int child);
// The log marginal likelihood of J configurations' counts (rows of r[child] ints).
double BDE_calc_bde(const int* counts, double alpha, int child, int* parents, int q, int J,
                    const int* r);
// No edge properties: null. (The table row holds no prop operation.)
VLK_KeyValues* BDE_prop(BDEBuff* bf, int child, int* parents, int q, int k);
// A record with prior type 0, alpha 1.0 and one thread; no tables.
BDEBuff* BDEBuff_new();
