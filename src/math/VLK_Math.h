// Integer and vector helpers: extremes and sums of plain arrays, gcd, binomial coefficients, the
// lexicographic enumeration of k-combinations, and a ranking of k-subsets through a table of
// binomial coefficients.
#pragma once

#include <cstddef>
#include <cstdint>

// Largest v[i]; v[0] is always read (n = 0 gives v[0]).
int VLK_Math_vmaxv(size_t n, const int* v);
// Smallest and largest x[i], each truncated toward zero; n = 0 leaves both untouched.
void VLK_Math_minmax(const double* x, size_t n, double* min, double* max);
double VLK_Math_sum(const double* x, int n);
// 32-bit sums that wrap on overflow.
int VLK_Math_isum(const int* v, int n);
int VLK_Math_isum2(const int* v, int n, int stride);

// Euclid with truncating remainders (the sign follows the remainders).
int VLK_Math_gcd(int a, int b);
// C(n, k); 0 outside 0 <= k <= n.
std::uint64_t VLK_Math_choose(int n, int k);
std::uint64_t VLK_Math_choose2(int n, int k);

// Steps c[0..k-1] to the next k-combination of 0..n-1 in lexicographic order: 0 with a
// combination, 1 when exhausted. Set c[0] = -1 to start.
int VLK_Math_combo(int n, int k, int* c);
// T(r, j) = C(j + r, r + 1) at T[r*n + j], for k rows of n entries.
void VLK_Math_combo_index_table(int n, int k, std::uint64_t* T);
// Rank of a combination, C(n, k) - 1 for the first down to 0 for the last; s is the row length
// of T. The 2 and 3 forms rank map[c[i]] and map1[map2[c[i]]].
std::uint64_t VLK_Math_combo_index(int n, int k, const int* c, const std::uint64_t* T, int s);
std::uint64_t VLK_Math_combo_index2(int n, int k, const int* c, const std::uint64_t* T, int s,
                                    const int* map);
std::uint64_t VLK_Math_combo_index3(int n, int k, const int* c, const std::uint64_t* T, int s,
                                    const int* map1, const int* map2);
// The combination of rank idx (map[e] for each element e in the 2 form).
void VLK_Math_index_combo(int n, int k, std::uint64_t idx, int* c, const std::uint64_t* T, int s);
void VLK_Math_index_combo2(int n, int k, std::uint64_t idx, int* c, const std::uint64_t* T, int s,
                           const int* map);
