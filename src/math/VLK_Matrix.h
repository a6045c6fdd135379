// Dense matrices as bare arrays of doubles, column-major: element (i, j) of an m x n matrix at
// i + j*m (i + j*lda where a leading dimension is given). Symmetric matrices live in their upper
// triangle. Small helpers around BLAS/LAPACK, the shared by-address constants, text output and a
// debug dump that records matrices in one run and compares them in a later one.
#pragma once

#include <cstdio>

#include "vlk_lapack.h"

// Flag characters and scalars passed by address to BLAS and LAPACK; read-only.
extern const char* const VLK_Matrix_RIGHT;
extern const char* const VLK_Matrix_LEFT;
extern const char* const VLK_Matrix_NO_TRANS;
extern const char* const VLK_Matrix_TRANS;
extern const char* const VLK_Matrix_N;
extern const char* const VLK_Matrix_T;
extern const char* const VLK_Matrix_L;
extern const char* const VLK_Matrix_U;
extern const double VLK_Matrix_DOUBLE_MINUS_ONE;
extern const double VLK_Matrix_DOUBLE_ZERO;
extern const double VLK_Matrix_DOUBLE_ONE;
extern const int VLK_Matrix_INT_ZERO;
extern const int VLK_Matrix_INT_ONE;
extern const char* const VLK_Matrix_L_NO_TRANS;
extern const char* const VLK_Matrix_L_TRANS;
extern const char* const VLK_Matrix_LO;
extern const char* const VLK_Matrix_LA;
extern const char* const VLK_Matrix_LV;
extern const char* const VLK_Matrix_LN;
extern const char* const VLK_Matrix_LL;
extern const char* const VLK_Matrix_LU;

// ---- allocation ----
// Uninitialised m x n doubles (the count is formed in 64 bits); free with VLK_Matrix_delete.
double* VLK_Matrix_new(int m, int n);
void VLK_Matrix_delete(double* A);
// k matrices of m x n in one block; ar[l] points at element l*m*n. Release with free(ar[0]) and
// free(ar). With k <= 0 the pointer array still holds the (empty) block in ar[0].
double** VLK_Matrix_new_ar(int m, int n, int k);

// ---- symmetric (upper triangle) and structural ----
// Y += alpha X on the upper triangles.
void VLK_Matrix_dsyaxpy(int n, double alpha, const double* X, double* Y);
// Copies the upper triangle; the strictly lower triangle of `to` is not touched.
void VLK_Matrix_dsycopy(int n, const double* from, double* to);
// Mirrors the upper triangle into the strictly lower one.
void VLK_Matrix_dsyge(int n, double* A);
void VLK_Matrix_sy2ge(double* A, int n);
// B (n x m) = A' for A m x n.
void VLK_Matrix_trans(int m, int n, const double* A, double* B);
double VLK_Matrix_trace(const double* A, int n);
void VLK_Matrix_I(int n, double* A);
// Clears the leading n x n block of D (leading dimension ld) and puts alpha*x on its diagonal.
void VLK_Matrix_diag(int n, double alpha, const double* x, double* D, int ld);

// ---- scaling by a diagonal, in place ----
void VLK_Matrix_dgedm2(int m, int n, const double* d, double* A, int lda);   // diag(d) A
void VLK_Matrix_dgemd2(int m, int n, double* A, int lda, const double* d);   // A diag(d)
void VLK_Matrix_dgeidm2(int m, int n, const double* d, double* A, int lda);  // diag(d)^-1 A
void VLK_Matrix_dgemid2(int m, int n, double* A, int lda, const double* d);  // A diag(d)^-1

// ---- vectors ----
// Largest and smallest |v[i]|, i < n (0.0 for n <= 0).
double VLK_Matrix_vector_abs_max(int n, const double* v);
double VLK_Matrix_vector_abs_min(int n, const double* v);

// y = alpha A x + beta y in a plain loop (y is always read, also for beta = 0).
void VLK_Matrix_dgemv_l(int m, int n, double alpha, const double* A, int lda, const double* x,
                        int incx, double beta, double* y, int incy);

// ---- LAPACK workspace queries: the optimal lwork of the routine for order n ----
int VLK_Matrix_dsytrf_work_size(int n);
int VLK_Matrix_dgetri_work_size(int n);
int VLK_Matrix_dsyev_work_size(int n);

// ---- text output, one line per row ----
void VLK_Matrix_print(FILE* fp, const double* A, int m, int n);
void VLK_Matrix_printf(FILE* fp, const double* A, int m, int n, const char* fmt);
void VLK_Matrix_fprintf(FILE* fp, int digits, const double* A, int m, int n);
void VLK_Matrix_debug_write(FILE* fp, const char* label, const double* A, int m, int n);

// Mode 1 appends A as a labelled block to fp and returns 0.0. Mode 2 reads the next block and ends
// the program when the label, the sizes or any value (difference above 1e-4) disagree; it returns
// the largest difference. Other modes read the block and compare nothing. use_abs compares
// absolute values.
double VLK_Matrix_debug_check(FILE* fp, const char* label, const double* A, int m, int n, int mode,
                              int use_abs);
