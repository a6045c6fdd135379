// The two stream generators under VLK_RNG, in the shape of a scientific subroutine library: the
// caller keeps a seed word and a work area per stream and passes both on every call.
//
// Both streams are dSFMT-19937. The work area holds the generator state; the seed word tells the
// generator what to do with it: a non-zero word (re)seeds the stream from that word and is then
// set to 0, the word 0 continues the stream kept in the work area. So writing any non-zero word
// restarts the stream, and a stream is never restarted by accident. A 0 word with a work area that
// holds no stream seeds as word 1 would.
//
// The work area must be aligned to 16 bytes and hold at least the *_min_work doubles.
#pragma once

#include <cstdint>

// Lengths the generators are designed for (what VLK_RNG allocates).
inline constexpr std::int32_t platform_uniform_work_length = 45000;
inline constexpr std::int32_t platform_normal_work_length = 100000;

// The least work areas that hold the state; smaller ones give *ierr = 1 and no numbers.
std::int32_t platform_uniform_min_work();
std::int32_t platform_normal_min_work();

// n uniform numbers of [0, 1) at 53-bit resolution into out.
void platform_uniform(std::int32_t* seed, double* out, std::int32_t n, double* work,
                      std::int32_t work_len, std::int32_t* ierr);

// n normal numbers of the given mean and standard deviation into out (Box-Muller over a stream of
// its own; the spare of each pair is kept in the work area, so the stream does not depend on how
// it is cut into calls).
void platform_normal(double mean, double sd, std::int32_t* seed, double* out, std::int32_t n,
                     double* work, std::int32_t work_len, std::int32_t* ierr);
