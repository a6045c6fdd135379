// The prior-knowledge score "ContPrior": another score module (the inner score, "BNRC" unless
// the option "score" names another) plus minus twice the log prior probability of the parent
// set, with every edge independent.
//
// The user gives prior files, each assigning a value x_k(i, j) to some directed pairs (parent i,
// child j): TAB-separated matrices (row = child, column = parent) or "VLK3" and "CSML" networks
// with a value per edge under a property key. For every pair the values of all files combine
// linearly into eta(i, j) = sum_k w_k (x_k(i, j) - c_k) (|x_k| for the files flagged "abs"), and
// the logistic function turns eta into the prior edge probability pi(i, j). With the logs of 0
// clamped to -20000,
//   delta(i, j) = -2 (log pi(i, j) - log(1 - pi(i, j))),  base(j) = -2 sum_i log(1 - pi(i, j)),
// so that base(j) + sum over p in P of delta(p, j) = -2 log Prior(P) for the parent set P of j.
// All of this is made once at init; a score call costs the inner score, one lookup of base and
// one of delta per parent.
//
// Options: score/s (inner module), S (its option list), w/weight, c/center, d/undefined (one
// value per file, separated by ':'), abs (1-based file numbers), key (edge property of the
// network file given last; "edgeScore" otherwise), mat, vlk3, csml (one prior file each).
#pragma once

#include <cstddef>
#include <cstdio>

#include "VLK_IntArray.h"
#include "VLK_Score.h"
#include "VLK_StrArray.h"

struct VLK_Data;
struct VLK_Network;

struct ContPriorBuff {
  VLK_Score* inner;  // the inner module, its state initialised on the same data set
  int files;         // F, the number of prior files
  double** delta;    // delta[i][j]: parent i, child j; each row the first half of 2n doubles
  double* base;      // base[j] for child j
  double** pi;       // pi[i][j]: prior probability of i -> j; the second half of delta's row
  double*** values;  // per file an n x n matrix: values[k][i][j] = x_k(i, j)
  double* weights;   // w_k
  double* centres;   // c_k, in the weights' block after them
  int* abs_flags;    // 1 when file k uses absolute values
  int verbose;       // verbosity of the score arguments at init
  int nodes;         // n, the rows of the tables (the data set's node count at init)
};

// The prior files as the option binding collects them, in the order given.
struct ContPriorFiles {
  VLK_StrArray* files;  // file names
  VLK_IntArray* types;  // CONTPRIOR_MATRIX, CONTPRIOR_VLK3 or CONTPRIOR_CSML
  VLK_StrArray* keys;   // edge property keys, one per file once padded
};

enum : int { CONTPRIOR_MATRIX = 1, CONTPRIOR_VLK3 = 2, CONTPRIOR_CSML = 4 };

// The init slot. Fatal errors (options, counts, weights, centres or undefined values that are no
// finite numbers, unreadable prior files, an inner module that no row of the score table carries)
// end the process with status 1. Lowers args->max_memory by the prior tables' bytes (never
// below 0) and leaves it lowered; used_memory is the inner module's.
ContPriorBuff* ContPrior_init(VLK_Data* data, VLK_ScoreArgs* args);
// The module's options with their defaults (the help registry's "ContPrior"); sub is not used.
void ContPrior_help(FILE* fp, const char* sub);
// The score slot: inner score + base(child) + the delta of every parent.
double ContPrior_score(ContPriorBuff* bf, int child, int* parents, int q);
// "ContPrior.eta", "ContPrior.pi" and "ContPrior.z" (the raw values per file) of the edge
// parents[k] -> child, then copies of the inner module's property list for the same call.
VLK_KeyValues* ContPrior_prop(ContPriorBuff* bf, int child, int* parents, int q, int k);
// The share of the confident prior edges (pi >= 0.8) that the network holds, over the nodes both
// have, on VELK_ERR.
void ContPrior_evaluate(ContPriorBuff* bf, VLK_Network* network);
// Finalizes the inner module, frees its record, the tables and the state.
void ContPrior_finalize(ContPriorBuff* bf);

// An empty state: no inner module, no tables, verbosity 0.
ContPriorBuff* ContPriorBuff_new();
// pi, delta and base of n nodes from the values, weights, centres and abs flags; log_zero stands
// for the log of 0. Returns the bytes of the row-pointer arrays and base, 24n. A pair whose
// weighted values add up to no finite number ends the process with status 1: its scores would
// all be NaN.
size_t ContPrior_prepare_pi(ContPriorBuff* bf, int n, double log_zero);
// Fills x (n rows of n) from a matrix prior file: x[c][r] for the column of node c and the row
// of node r. Labels that name no node are skipped with a warning.
void ContPrior_read_matrix(const VLK_Data* data, const char* file, double** x);
// Fills x[p][c] with the property `key` of every edge p -> c of a network file whose two ends
// are nodes of the data set.
void ContPrior_read_network(const VLK_Data* data, const char* file, const char* format,
                            const char* key, double** x);
// The option binding's callback of "mat", "vlk3" and "csml" (regardless of case): appends the
// file and its type to the ContPriorFiles at `lists`, then pads its keys with "edgeScore" to one
// fewer than the files, so that a "key" given next belongs to this file.
void ContPrior_set_file(const char* option, const char* value, void* lists);
