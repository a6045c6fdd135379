// Products with a banded B-spline design matrix (see BSpline.h for the band layout) and the
// fixed-size kernels of the smoothing fit, whose sizes (M = 20 basis functions, degree 3) are
// built in so that their loops unroll completely.
//
// Symmetric M x M matrices are column-major and only their upper triangle (row <= column) is
// read or written; the strictly lower triangle is never touched. M x n results have leading
// dimension M, n x n results leading dimension n. None of these functions allocates or checks
// its arguments: every Bindex[j] must lie in 0 .. M - p - 1, as BSpline_design_matrix makes it.
#pragma once

#include "BSpline.h"

// Upper triangle of S = B'B (M x M): the band 0 <= b - a <= p as sums over the samples, the rest
// of the upper triangle 0.0.
void BSpline_syBtB(const double* B, const int* Bindex, int n, int M, int p, double* S);

// out = S B' (M x n) for the symmetric S given by its upper triangle.
void BSpline_syMBt(const double* S, const double* B, const int* Bindex, int n, int M, int p,
                   double* out);

// out = B A (n x n) for A with (at least) M rows, n columns and leading dimension lda.
void BSpline_BM(const double* B, const int* Bindex, const double* A, int n, int lda, int p,
                double* out);

// out = B x (n values) for a coefficient vector x; M is accepted for symmetry and not used.
void BSpline_Bx(const double* B, const int* Bindex, const double* x, int n, int M, int p,
                double* out);

// out = B x for degree 3.
void BSpline_Bx3(const double* B, const int* Bindex, const double* x, int n, double* out);

// out = B x for degree 3; returns the residual variance of y about out (see BSpline_var).
double BSpline_Bx3_var(const double* B, const int* Bindex, const double* x, int n, double* out,
                       const double* y);

// Sum of (y[i] - yhat[i])^2 over i < n, divided by n: no mean removed, no degrees of freedom
// subtracted. NaN for n < 1, so that an empty fit never looks perfect.
double BSpline_var(int n, const double* y, const double* yhat);

// out = A v (20 values) for A of 20 rows and n columns (leading dimension 20); zeros for n < 1.
void BSpline_Mv20(int n, const double* A, const double* v, double* out);

// The same product as BSpline_Mv20, formed one row at a time.
void BSpline_Mv20L(int n, const double* A, const double* v, double* out);

// x = x - y, element by element.
void BSpline_dxmy(int n, double* x, const double* y);

// g'Kg for the 20 x 20 symmetric K given by its upper triangle (loop form).
double BSpline_gKg20L(const double* K, const double* g);

// The same quadratic form as BSpline_gKg20L, fully unrolled.
double BSpline_gKg20(const double* K, const double* g);

// Copies the 210 upper-triangle elements of a 20 x 20 matrix; the strictly lower triangle of dst
// keeps what it held.
void BSpline_dsycopy20(const double* src, double* dst);
