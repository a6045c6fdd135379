// Fortran BLAS and LAPACK entry points, reference calling convention: every argument by address,
// 32-bit Fortran INTEGER, and one hidden trailing size_t length per character argument (gfortran
// passes them; leaving them out corrupts the stack of gfortran-built LAPACK). Read-only arguments
// are const so the shared constants of VLK_Matrix.h can be passed directly.
#pragma once

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

// ---- BLAS level 1 ----
void daxpy_(const int* n, const double* alpha, const double* x, const int* incx, double* y,
            const int* incy);
void dcopy_(const int* n, const double* x, const int* incx, double* y, const int* incy);
void dscal_(const int* n, const double* alpha, double* x, const int* incx);
void dswap_(const int* n, double* x, const int* incx, double* y, const int* incy);
double ddot_(const int* n, const double* x, const int* incx, const double* y, const int* incy);
double dnrm2_(const int* n, const double* x, const int* incx);
double dasum_(const int* n, const double* x, const int* incx);
int idamax_(const int* n, const double* x, const int* incx);

// ---- BLAS level 2 ----
void dgemv_(const char* trans, const int* m, const int* n, const double* alpha, const double* a,
            const int* lda, const double* x, const int* incx, const double* beta, double* y,
            const int* incy, size_t trans_len);
void dgbmv_(const char* trans, const int* m, const int* n, const int* kl, const int* ku,
            const double* alpha, const double* a, const int* lda, const double* x, const int* incx,
            const double* beta, double* y, const int* incy, size_t trans_len);
void dsymv_(const char* uplo, const int* n, const double* alpha, const double* a, const int* lda,
            const double* x, const int* incx, const double* beta, double* y, const int* incy,
            size_t uplo_len);
void dsbmv_(const char* uplo, const int* n, const int* k, const double* alpha, const double* a,
            const int* lda, const double* x, const int* incx, const double* beta, double* y,
            const int* incy, size_t uplo_len);
void dtrmv_(const char* uplo, const char* trans, const char* diag, const int* n, const double* a,
            const int* lda, double* x, const int* incx, size_t uplo_len, size_t trans_len,
            size_t diag_len);
void dtrsv_(const char* uplo, const char* trans, const char* diag, const int* n, const double* a,
            const int* lda, double* x, const int* incx, size_t uplo_len, size_t trans_len,
            size_t diag_len);
void dger_(const int* m, const int* n, const double* alpha, const double* x, const int* incx,
           const double* y, const int* incy, double* a, const int* lda);
void dsyr_(const char* uplo, const int* n, const double* alpha, const double* x, const int* incx,
           double* a, const int* lda, size_t uplo_len);
void dsyr2_(const char* uplo, const int* n, const double* alpha, const double* x, const int* incx,
            const double* y, const int* incy, double* a, const int* lda, size_t uplo_len);

// ---- BLAS level 3 ----
void dgemm_(const char* transa, const char* transb, const int* m, const int* n, const int* k,
            const double* alpha, const double* a, const int* lda, const double* b, const int* ldb,
            const double* beta, double* c, const int* ldc, size_t transa_len, size_t transb_len);
void dsymm_(const char* side, const char* uplo, const int* m, const int* n, const double* alpha,
            const double* a, const int* lda, const double* b, const int* ldb, const double* beta,
            double* c, const int* ldc, size_t side_len, size_t uplo_len);
void dsyrk_(const char* uplo, const char* trans, const int* n, const int* k, const double* alpha,
            const double* a, const int* lda, const double* beta, double* c, const int* ldc,
            size_t uplo_len, size_t trans_len);
void dsyr2k_(const char* uplo, const char* trans, const int* n, const int* k, const double* alpha,
             const double* a, const int* lda, const double* b, const int* ldb, const double* beta,
             double* c, const int* ldc, size_t uplo_len, size_t trans_len);
void dtrmm_(const char* side, const char* uplo, const char* transa, const char* diag, const int* m,
            const int* n, const double* alpha, const double* a, const int* lda, double* b,
            const int* ldb, size_t side_len, size_t uplo_len, size_t transa_len, size_t diag_len);
void dtrsm_(const char* side, const char* uplo, const char* transa, const char* diag, const int* m,
            const int* n, const double* alpha, const double* a, const int* lda, double* b,
            const int* ldb, size_t side_len, size_t uplo_len, size_t transa_len, size_t diag_len);

// ---- LAPACK: symmetric indefinite ----
void dsytrf_(const char* uplo, const int* n, double* a, const int* lda, int* ipiv, double* work,
             const int* lwork, int* info, size_t uplo_len);
void dsytri_(const char* uplo, const int* n, double* a, const int* lda, const int* ipiv,
             double* work, int* info, size_t uplo_len);
void dsytrs_(const char* uplo, const int* n, const int* nrhs, const double* a, const int* lda,
             const int* ipiv, double* b, const int* ldb, int* info, size_t uplo_len);
void dsysv_(const char* uplo, const int* n, const int* nrhs, double* a, const int* lda, int* ipiv,
            double* b, const int* ldb, double* work, const int* lwork, int* info, size_t uplo_len);

// ---- LAPACK: general LU ----
void dgetrf_(const int* m, const int* n, double* a, const int* lda, int* ipiv, int* info);
void dgetri_(const int* n, double* a, const int* lda, const int* ipiv, double* work,
             const int* lwork, int* info);
void dgetrs_(const char* trans, const int* n, const int* nrhs, const double* a, const int* lda,
             const int* ipiv, double* b, const int* ldb, int* info, size_t trans_len);
void dgesv_(const int* n, const int* nrhs, double* a, const int* lda, int* ipiv, double* b,
            const int* ldb, int* info);

// ---- LAPACK: symmetric positive definite (full and banded) ----
void dpotrf_(const char* uplo, const int* n, double* a, const int* lda, int* info, size_t uplo_len);
void dpotri_(const char* uplo, const int* n, double* a, const int* lda, int* info, size_t uplo_len);
void dpotrs_(const char* uplo, const int* n, const int* nrhs, const double* a, const int* lda,
             double* b, const int* ldb, int* info, size_t uplo_len);
void dposv_(const char* uplo, const int* n, const int* nrhs, double* a, const int* lda, double* b,
            const int* ldb, int* info, size_t uplo_len);
void dpbtrf_(const char* uplo, const int* n, const int* kd, double* ab, const int* ldab, int* info,
             size_t uplo_len);
void dpbtrs_(const char* uplo, const int* n, const int* kd, const int* nrhs, const double* ab,
             const int* ldab, double* b, const int* ldb, int* info, size_t uplo_len);

// ---- LAPACK: symmetric eigenproblem ----
void dsyev_(const char* jobz, const char* uplo, const int* n, double* a, const int* lda, double* w,
            double* work, const int* lwork, int* info, size_t jobz_len, size_t uplo_len);
void dsyevd_(const char* jobz, const char* uplo, const int* n, double* a, const int* lda, double* w,
             double* work, const int* lwork, int* iwork, const int* liwork, int* info,
             size_t jobz_len, size_t uplo_len);

// ---- LAPACK: norms ----
double dlange_(const char* norm, const int* m, const int* n, const double* a, const int* lda,
               double* work, size_t norm_len);
double dlansy_(const char* norm, const char* uplo, const int* n, const double* a, const int* lda,
               double* work, size_t norm_len, size_t uplo_len);

#ifdef __cplusplus
}  // extern "C"
#endif
