// Even split of jobs over processes, random samples without replacement (from the C library's
// `random` stream or from a VLK_RNG), a random permutation, int sorts and a tiny 32-bit linear
// congruential generator. Nothing here allocates; output arrays belong to the caller.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>

struct VLK_RNG;

// (q, r) = jobs / procs; ranks below r get q + 1 jobs, the others q, each a contiguous run.
// Stores the rank's count and, when start is given, its first job; procs = 0 stores -1 into both.
div_t VLK_Util_job_split(int jobs, int procs, int rank, int* start, int* count);
// The rank that owns job (-1 for a job beyond the split).
int VLK_Util_job_rank(int q, int r, int job);
int VLK_Util_job_start(int q, int r, int rank);

// k distinct values of [0, n) in draw order; nothing happens when n < k or k <= 0.
void VLK_Util_random_sample(int n, int k, int* out);
void VLK_Util_random_sample_ushort(unsigned short n, int k, unsigned short* out);
void VLK_Util_random_sample_ushort_RNG(int n, int k, unsigned short* out, VLK_RNG* rng);
// Keeps out[0 .. fixed-1] and fills out[fixed .. k-1] with values distinct from every earlier
// entry; a negative fixed counts as 0, nothing happens when n < k or fixed >= k.
void VLK_Util_random_sample_fix(int n, int k, int* out, int fixed);
void VLK_Util_random_sample_fix_ushort(unsigned short n, int k, unsigned short* out, int fixed);
void VLK_Util_random_sample_fix_ushort_RNG(int n, int k, unsigned short* out, int fixed,
                                           VLK_RNG* rng);
// k distinct elements of set[0 .. n-1].
void VLK_Util_random_sample_set(const int* set, int n, int k, int* out);
// A random permutation of 0 .. n-1 from `random`.
void VLK_Util_random_perm(int* a, int n);

int VLK_Util_int_array_sort_asc_cmp(const void* a, const void* b);
int VLK_Util_int_array_sort_dec_cmp(const void* a, const void* b);
void VLK_Util_int_array_sort_asc(int* a, size_t n);
void VLK_Util_int_array_sort_dsc(int* a, size_t n);

// state = state * 69069 + 1234567 (mod 2^32); 0 at program start.
extern std::uint32_t VLK_Util_badrnd32_prev;
std::uint32_t VLK_Util_badrnd32();
void VLK_Util_badrnd32_seed(std::uint32_t seed);
