// The random-number record of one process: the seed words and work areas of a uniform and a normal
// stream, and the draws the program makes from them (reals on an interval, integers of a half-open
// range, permutations, normal reals). Draws of one record form one reproducible sequence; the
// record is not thread-safe.
#pragma once

#include <cstdint>

struct VLK_RNG {
  std::int32_t useed;      // seed word of the uniform stream
  double* uwork;           // its work area
  std::int32_t uwork_len;  // doubles in uwork
  std::int32_t nseed;      // seed word of the normal stream
  double* nwork;           // its work area
  std::int32_t nwork_len;  // doubles in nwork
  // Replaces the uniform generator when set (tests script their draws through it): every
  // uniform number of the record, and so every integer and permutation draw, is then
  // source(source_context, out, n) with n numbers of [0, 1). Null from VLK_RNG_new.
  void (*source)(void* context, double* out, int n);
  void* source_context;
};

// Both seed words 1; free with VLK_RNG_delete.
VLK_RNG* VLK_RNG_new();
void VLK_RNG_delete(VLK_RNG* rng);
// Restarts both streams from s (0 counts as 1).
void VLK_RNG_set_seed(VLK_RNG* rng, int s);

// n numbers of [0, 1) mapped to u*(b - a) + a.
void VLK_RNG_uniform(VLK_RNG* rng, double* out, int n, double a, double b);
// n integers of lo .. hi-1.
void VLK_RNG_integer(VLK_RNG* rng, int* out, int n, int lo, int hi);
// A uniformly random permutation of 0 .. n-1 (n - 1 uniform draws).
void VLK_RNG_perm(VLK_RNG* rng, int* out, int n);
// n normal numbers of the given mean and standard deviation.
void VLK_RNG_normal(VLK_RNG* rng, double* out, int n, double mean, double sd);
