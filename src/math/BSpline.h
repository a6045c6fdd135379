// Uniform B-spline basis of one variable, stored as a band, and the difference penalty on its
// coefficients.
//
// Banded design matrix of n samples with M basis functions of degree p:
//   Bindex[j]            first of the p + 1 basis functions that are non-zero at sample j
//                        (0 .. M - p - 1)
//   B[j*(p+1) + m]       value at sample j of basis function Bindex[j] + m, m = 0 .. p
// Matrices are column-major bare arrays (element (i, j) at i + j*rows).
#pragma once

#include <cstdint>

// Fills B (n*(p+1) doubles) and Bindex (n ints) for the n samples x. work holds M + 1 + n*(p+1)
// doubles: the knots t[0..M], then the scaled distances of every sample to the knots of its
// basis functions. Requires M > p >= 0; nothing is written when n < 1.
void BSpline_design_matrix(const double* x, int n, double* B, int* Bindex, int M, int p,
                           double* work);

// Expands a banded design matrix into the dense n x M matrix out (cleared first).
void BSpline_design_matrix_cnv(const double* B, const int* Bindex, int n, int M, int p,
                               double* out);

// Binomial coefficient C(n, k) for 0 <= k <= n; 0 when min(k, n - k) > 17 and when k is outside
// 0 .. n. Results beyond 64 bits wrap.
int64_t BSpline_comb(int n, int k);

// The (M - d) x M matrix of d-th differences (leading dimension M - d), cleared first.
void BSpline_Dk(int M, int d, double* D);

// K = D'D (M x M, both triangles) for the d-th difference matrix D. work holds (M - d)*M doubles
// for D; a null work makes the function use a temporary area of its own.
void BSpline_K(int M, int d, double* K, double* work);

// Product of the eigenvalues of the symmetric M x M matrix K except the two smallest (1.0 for
// M <= 2). K is not changed.
double BSpline_det_K_plus(const double* K, int M);
