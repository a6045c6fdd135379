// Transformations of a data set's value matrices: bootstrap resampling of the sample columns,
// the pseudo bootstrap of replicated time series for the dynamic model, time-lagged pairs,
// equal-width discretisation, mean centring and a plain text dump.
//
// The in-place forms replace the value blocks of the data set and free the old ones (the second
// block only when it was separate). The pseudo bootstrap cores work on plain blocks:
//   X        p rows x n columns, node-major; the columns of time point 0 first, then those of
//            time point 1, ... (R[t] columns for time point t, t = 0 .. T-1)
//   nodes    the rows to take (count of them), or null for all p rows in order
//   Xn, Yn   the caller's blocks of rows x (T-1)*m values: column k*(T-1) + t-1 of series k
//            holds in Xn the drawn replicate of time point t-1 and in Yn that of time point t
#pragma once

#include <cstdio>

#include "VLK_Data.h"
#include "VLK_IntArray.h"

struct VLK_RNG;

// Bootstrap in place: n columns drawn with replacement (random() mod n, one per column in
// order); X and Y become the new block.
void VLK_Data_random_sampling(VLK_Data* d);
// The same into dst's existing first block, drawing among the columns of src (which has dst's
// shape); dst's Y becomes its X.
void VLK_Data_random_sampling_VLK_Data(VLK_Data* dst, const VLK_Data* src);
// As above with all n column numbers drawn from rng in one request.
void VLK_Data_random_sampling_VLK_Data_RNG(VLK_Data* dst, const VLK_Data* src, VLK_RNG* rng);
// In place: m distinct columns (0 <= m <= n) in draw order; sample names follow the columns.
void VLK_Data_random_sampling2(VLK_Data* d, int m);

// Pseudo bootstrap in place: one replicate count for every time point (n must be a multiple of
// it) or one count per time point (their sum must be n); m series. Afterwards X and Y are
// separate blocks of (T-1)*m columns.
void VLK_Data_pseudo_bootstrap(VLK_Data* d, const VLK_IntArray* reps, int m);
// The cores. Draws for series k = 0 .. m-1 and time point t = 0 .. T-1 a replicate
// d(k, t) in 0 .. R[t]-1: this one with random() in the order k, then t, after printing its
// parameters to VELK_ERR.
void VLK_Data_pseudo_bootstrap2(const double* X, int n, int p, const int* R, int T, int m,
                                const int* nodes, int count, double* Xn, double* Yn);
// All T*m draws in one request to rng (integers of 0 .. 536870910, taken mod R[t]); silent.
void VLK_Data_pseudo_bootstrap_RNG(const double* X, int n, int p, const int* R, int T, int m,
                                   const int* nodes, int count, double* Xn, double* Yn,
                                   VLK_RNG* rng);
// As the RNG form with a 16-bit node list; prints its parameters after drawing.
void VLK_Data_pseudo_bootstrap2ushort(const double* X, int n, int p, const int* R, int T, int m,
                                      const unsigned short* nodes, int count, double* Xn,
                                      double* Yn, VLK_RNG* rng);

// Replaces every value by its category 0 .. k-1 of k equal-width bins between the node's
// (truncated) minimum and maximum; labels "Cat_1" .. "Cat_k" for every node.
void VLK_Data_discretize(VLK_Data* d, int k);
// Time-lagged pairs in place: the columns form independent series that start at the 1-based
// columns in points (ascending, after the first series; null for one series). Each series of
// L columns gives L-1 pairs: X the earlier, Y the later time point.
void VLK_Data_dynamic(VLK_Data* d, const VLK_IntArray* points);
// The same pairs from src's first block into dst's existing separate X and Y (which hold at
// least dst->n columns); dst's n becomes the number of pairs. Silent.
void VLK_Data_dynamic_Data(VLK_Data* dst, const VLK_IntArray* points, const VLK_Data* src);

// Subtracts from every value of X its node's mean; Y is not touched.
void VLK_Data_node_mean_shift(VLK_Data* d);
// One line per node: name, alias and the values of X, TAB-separated.
void VLK_Data_output(const VLK_Data* d, FILE* fp);
