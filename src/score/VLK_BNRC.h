// The BNRC network score: the expression of a child gene as a sum of penalised cubic B-spline
// smoothers of its parents, fitted by backfitting, each parent's roughness hyperparameter chosen
// from a grid, scored by the BNRC criterion (lower is better).
//
// The state keeps, for every gene, its banded design matrix and, by pre-calculation level, the
// tables that spare the score its factorisations:
//   level 3  the smoothers (B'B + n beta K)^-1 B' (M x n each) and their log-determinants
//   level 2  the inverses (B'B + n beta K)^-1 (M x M each) and their log-determinants
//   level 1  nothing more: a score call factorises per parent
// and one set of scratch buffers per thread, so that up to `threads` threads score at once
// without locks. Only the upper triangle of each symmetric matrix is used.
#pragma once

#include <array>
#include <cstddef>
#include <cstdio>

#include "VLK_ArgDef.h"
#include "VLK_Score.h"

struct VLK_Data;

struct VLK_BNRCBuff {
  double* X;                // parent values, node-major (node v at X[v*n]); not owned
  double* Y;                // child values, same layout; not owned
  int level;                // pre-calculation level 1, 2 or 3
  int M;                    // basis functions per parent (20)
  int degree;               // B-spline degree (3)
  int hyper_num;            // hn, grid size
  double* beta;             // hn grid values, largest first
  double* log_beta;         // their logarithms
  double* K;                // M x M second-difference penalty
  int n;                    // samples
  int p;                    // nodes
  int prior_type;           // structure penalty: 0 -> 2(q+1), 1 -> q log n, 2 -> 0
  double** B;               // per node: banded design matrix, n*(degree+1) values
  int** Bindex;             // per node: first basis function of every sample
  double** Lambda_inv;      // level 2: per node, hn inverses of M*M values
  double** Lambda_inv_Bt;   // level 3: per node, hn smoothers of M*n values
  double** log_det_Lambda;  // levels 2, 3: per node, hn log-determinants
  double log_det_K;         // log of the product of K's eigenvalues but the two smallest
  int max_parents;          // largest parent set a score call may carry
  size_t memory;            // bytes allocated by init
  size_t max_sweeps;        // backfitting sweep limit
  double C0;                // n + 2 log n
  double C1;                // n (1 + log 2 pi) - log(2 pi / n) - log 2
  double C2;                // -2 log(2 pi / n) - log_det_K - M log n
  // Per thread t (each an array of `threads` pointers into one block):
  double** B_gamma;              // max_parents fitted vectors of n values
  double** tmp_beta_gKg;         // max_parents penalties beta gamma'K gamma
  double** tmp_gamma;            // M coefficients of the trial fit
  double** tmp_B_gamma;          // n values of the trial fit
  double** gamma;                // max_parents accepted coefficient vectors of M values
  int** beta_jk;                 // max_parents accepted grid indices
  double** T_A;                  // n values: the working residual of the child
  double** T_B;                  // n values: the partial residual of prop
  double*** tmp_Lambda_inv_Bt;   // max_parents pointers to each parent's hn smoothers
  double*** tmp_log_det_Lambda;  // max_parents pointers to each parent's hn log-determinants
  double** work;                 // W doubles of scratch
  double** Lambda;               // one M x M matrix, factorised and inverted in place
  int** S1;                      // M pivot indices
  int lwork;                     // factorisation workspace length
  double** dsytrf_work;          // max(lwork, M) doubles
  int* node_map;                 // score node index -> data row; null for the identity; not owned
  double* S;                     // n x n smoother matrix of prop
  int part_res;                  // 1: prop adds the partial residual
  int threads;                   // number of per-thread buffer sets
  int verbosity;                 // message level
  // Rows whose values are all equal (1) in X and in Y: such a parent carries no information and
  // its penalised normal equations are singular; such a child has nothing to explain.
  unsigned char* flat_X;
  unsigned char* flat_Y;
  // A per-thread copy (VLK_BNRC_omp_init): the state whose tables it reads; null for a state of
  // its own. A copy owns only its scratch buffers.
  VLK_BNRCBuff* origin;
};

// The init slot: builds the state for data (options, limits and verbosity from args) and writes
// the bytes it allocated into args->used_memory. Fatal errors end the process.
VLK_BNRCBuff* VLK_BNRC_init(VLK_Data* data, VLK_ScoreArgs* args);
// A record with the defaults (level 3, M 20, degree 3, hn 21, prior type 1, max_parents 20,
// 100 sweeps, memory = the record's size); every pointer null.
VLK_BNRCBuff* VLK_BNRCBuff_new();
// Bytes the state needs at its current level for p nodes, n samples, M basis functions, W
// doubles of scratch per thread and T threads.
size_t VLK_BNRC_memory_size(VLK_BNRCBuff* bf, int p, int n, int M, int W, int T);
// What an init with these arguments would take for p nodes of n samples: the level its options
// ask for, the level the memory limit leaves it (0 when not even level 1 fits) and the bytes
// of that level (of level 1 when none fits). Bad options end the process as init's do.
struct VLK_BNRCPlan {
  int asked_level;
  int level;
  size_t bytes;
};
VLK_BNRCPlan VLK_BNRC_plan(const VLK_ScoreArgs* args, int p, int n);
// B and Bindex for p nodes of n samples.
void VLK_BNRC_alloc_B(VLK_BNRCBuff* bf, int p, int n, int M);
// The design matrices of all p nodes of X, in one parallel region with work[t] per thread.
void VLK_BNRC_calc_B(VLK_BNRCBuff* bf, double* X, int p, int n, int M, double** work);
void VLK_BNRC_alloc_Lambda_inv(VLK_BNRCBuff* bf, int p, int n, int M);
void VLK_BNRC_alloc_Lambda_inv_Bt(VLK_BNRCBuff* bf, int p, int n, int M);
// The reinit slot: the same state on another data set of the same shape. A per-thread copy is
// refused: its tables belong to the state it was made from.
void VLK_BNRC_reinit(VLK_Data* data, VLK_BNRCBuff* bf);
// Score node i then means data row map[i] (map not owned; null restores the identity).
void VLK_BNRC_set_map(VLK_BNRCBuff* bf, int* map);
// The finalize slot: releases the state and everything it owns (of a per-thread copy, only its
// scratch buffers; finalize the copies before the state they were made from).
void VLK_BNRC_finalize(VLK_BNRCBuff* bf);

// The score slot: the local score of child given parents[0 .. q-1] (0 <= q <= max_parents,
// distinct nodes other than the child). Callable by up to `threads` threads at once.
double VLK_BNRC_score(VLK_BNRCBuff* bf, int child, int* parents, int q);

// The score slot of "BNRC2": the value of VLK_BNRC_score, the backfitting sweeps run by the fused
// kernel below. Level 3 only: with parents, another level prints a FATAL ERROR line and aborts.
double VLK_BNRC_score2(VLK_BNRCBuff* bf, int child, int* parents, int q);

// The backfitting sweeps of one call on one thread's buffers (M = 20, degree 3): for each parent
// k of the data rows parents[0 .. q-1], in every sweep, the grid walk over the smoothers
// tmp_Lambda_inv_Bt[k] + h*M*n, each trial's product L r, band product B g, residual variance and
// penalty computed in one pass. Leaves the fitted vectors in B_gamma (k at k*n), the
// coefficients in gamma (k at k*M), the penalties in tmp_beta_gKg, the grid indices in beta_jk
// and the final residual in r. Returns the accepted criterion of the last parent in the last
// sweep, or DBL_MAX when some walk accepted no grid value (no defined criterion).
double VLK_BNRC_kernel(size_t max_sweeps, int* parents, int q, double* B_gamma,
                       double* tmp_beta_gKg, int hn, double** tmp_Lambda_inv_Bt,
                       double** tmp_log_det_Lambda, double* gamma, double* tmp_gamma,
                       double* tmp_B_gamma, double** B, int** Bindex, int degree, double* K,
                       double* beta, double* log_beta, int* beta_jk, int M, int n, double* r);

// The prop slot: a new property list of the edge parents[k] -> child (0 <= k < q): "up/down"
// ("up", "down" or "unknown") and "EdgeType" (0, 1 or 3) from the fit's effective degrees of
// freedom and its end coefficients, "bspline" (the parent's value range widened by 1e-7, then its
// M coefficients) and, with `part_res` set, "part_res" (the parent's partial residual).
// Contract: call it right after VLK_BNRC_score or VLK_BNRC_score2 on this state, on the same
// thread, for the same child and parent list: it reads the fit that call left in the thread's
// buffers, and after any other call it describes that other fit. Several threads may call it at
// once, each after its own score call.
VLK_KeyValues* VLK_BNRC_prop(VLK_BNRCBuff* bf, int child, int* parents, int q, int k);

// The omp_init slot: T per-thread copies of bf. Each copy serves one thread: it reads bf's data,
// grid, design matrices and tables (those of level 2 and 3 filled, as bf has them) and owns one
// set of scratch buffers, charged with the copies' records against args->max_memory (the total
// goes to args->used_memory and is added to bf->memory). The caller frees the returned array;
// each copy is released with VLK_BNRC_finalize before bf.
VLK_BNRCBuff** VLK_BNRC_omp_init(VLK_ScoreArgs* args, VLK_BNRCBuff* bf, int T);

// The module's help text: its options with the module's own defaults; sub is not used.
void VLK_BNRC_help(FILE* fp, const char* sub);

double* VLK_BNRC_get_B(VLK_BNRCBuff* bf, int v);
int* VLK_BNRC_get_Bindex(VLK_BNRCBuff* bf, int v);
double* VLK_BNRC_get_Lambda_inv(VLK_BNRCBuff* bf, int v, int h);
double* VLK_BNRC_get_Lambda_inv_Bt(VLK_BNRCBuff* bf, int v, int h);
double VLK_BNRC_get_log_det_Lambda(VLK_BNRCBuff* bf, int v, int h);
// "max_parents": stores it in *out and returns out; any other name: null.
int* VLK_BNRC_get_property(VLK_BNRCBuff* bf, const char* name, int* out);

// End the process when an allocation failed (ptr null) or a size overflowed.
void VLK_BNRC_memcheck(void* ptr, const char* name);
[[noreturn]] void VLK_BNRC_memover(const char* name);

namespace vlk::bnrc {

// The score's options over the state's defaults ("linear" replaces the grid by its two values).
struct Options {
  int level = 3;
  int hyper_num = 21;
  double hi = 0.4;
  double hb = 2.0;
  int linear = 0;
  int verbosity = -1;
};
// Binds the option list to the score's option table over *o and ends the process with an ERROR
// line for what no score can be built with: an unknown key or a value that is not of the key's
// kind, a level without tables, an empty grid, a grid value that is no positive finite number.
// Init reads its options through it; a program can refuse a bad option list before any work.
void read_options(const VLK_KeyValues* options, Options* o);
// The score's option table over *o, as read_options binds it.
using OptionTable = std::array<VLK_ArgDef, 10>;
OptionTable option_table(Options* o);

// The tables of data row v with thread t's scratch: log-determinants into log_det[h] and, per
// grid value h, the inverse into inv + h*M*M (when inv is not null) or the smoother into
// inv_Bt + h*M*n (when inv_Bt is not null).
void node_tables(const VLK_BNRCBuff* bf, int v, int t, double* inv, double* inv_Bt,
                 double* log_det);

// Ends the process unless the state's M and degree are the sizes the score's fixed-size kernels
// are written for (20 and 3); init calls it before it builds anything.
void check_kernel_sizes(const VLK_BNRCBuff* bf);

// The score of a child whose values are all equal, whatever its parents.
inline constexpr double kFlatChildScore = 0.0;

// The backfitting sweeps end when the residual variance changes by less than this.
inline constexpr double kSweepTolerance = 1e-10;

// The calling thread's buffer set: its OpenMP thread number clamped to the state's `threads`
// (checked builds abort beyond it); always 0 in a per-thread copy.
int thread_index(const VLK_BNRCBuff* bf);

// The steps of a local score before its backfitting sweeps, shared by both score paths.
struct ScoreStart {
  int t;         // the calling thread's buffer set
  double prior;  // structure penalty P(q)
  bool done;     // true: the score is `value`, without sweeps
  double value;
};
// Thread index, structure penalty, the parent count's range, the child's values into T_A[t], the
// score without parents, the zeroed fits, the degenerate children and parents, and each parent's
// smoothers and log-determinants by level. With `level3_only`, a state of another level aborts
// once there are parents.
ScoreStart start_score(VLK_BNRCBuff* bf, int child, const int* parents, int q, bool level3_only);
// The local score from the accepted criterion `best` of the last parent in the last sweep.
double finish_score(const VLK_BNRCBuff* bf, const ScoreStart& s, int q, double best);
// The criterion of one trial fit: residual variance s2, log-determinant D and log beta of the
// trial's grid value, the penalties of the other parents and the trial's own. Out of line, so
// that both score paths round it alike.
double criterion(double dof, double s2, double D, double Mm2, double log_beta, double dn,
                 double S_other, double bg);

// trace(B L) of a smoother: the effective degrees of freedom of a fit whose coefficients are
// L y (L of M rows and n columns, leading dimension M; B the banded design matrix of `degree`).
double smoother_trace(const double* B, const int* Bindex, const double* L, int n, int M,
                      int degree);

}  // namespace vlk::bnrc
