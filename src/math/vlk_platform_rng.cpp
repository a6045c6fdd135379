#include "vlk_platform_rng.h"

#include <dSFMT.h>

#include <bit>
#include <cmath>
#include <cstddef>
#include <new>
#include <numbers>

namespace {

// What a work area holds once a stream is seeded. The tag tells a live stream of the right kind
// from any other content.
struct Stream {
  std::uint64_t tag;
  std::int32_t has_spare;  // normal stream: the second value of the last Box-Muller pair
  double spare;
  alignas(16) dsfmt_t state;  // dSFMT may be built with aligned SSE2 access to its state
};

constexpr std::uint64_t kUniformTag = 0x564c4b554e494631ULL;  // "VLKUNIF1"
constexpr std::uint64_t kNormalTag = 0x564c4b4e4f524d31ULL;   // "VLKNORM1"
// Second key word of the normal stream: the same seed word must not give two related streams.
constexpr std::uint32_t kNormalKey = 0x4e4f524dU;

constexpr std::int32_t words_of_stream() {
  return static_cast<std::int32_t>((sizeof(Stream) + sizeof(double) - 1) / sizeof(double));
}

void seed_uniform(dsfmt_t* st, std::uint32_t word) { dsfmt_init_gen_rand(st, word); }

void seed_normal(dsfmt_t* st, std::uint32_t word) {
  std::uint32_t key[2] = {word, kNormalKey};
  dsfmt_init_by_array(st, key, 2);
}

// The stream of the work area, seeded first when the seed word asks for it (see the header).
// Null when the work area cannot hold a stream; *ierr says why.
Stream* open_stream(std::int32_t* seed, double* work, std::int32_t work_len, std::int32_t* ierr,
                    std::uint64_t tag, void (*seed_fn)(dsfmt_t*, std::uint32_t)) {
  if (work_len < words_of_stream()) {
    *ierr = 1;
    return nullptr;
  }
  if (reinterpret_cast<std::uintptr_t>(work) % alignof(Stream) != 0) {
    *ierr = 2;
    return nullptr;
  }
  *ierr = 0;
  if (*seed == 0) {
    Stream* live = std::launder(reinterpret_cast<Stream*>(work));
    if (live->tag == tag) return live;
    *seed = 1;
  }
  Stream* s = new (work) Stream{};
  s->tag = tag;
  seed_fn(&s->state, static_cast<std::uint32_t>(*seed));
  *seed = 0;
  return s;
}

// 52 random bits: the mantissa of a dSFMT double of [1, 2).
std::uint64_t bits52(dsfmt_t* st) {
  return std::bit_cast<std::uint64_t>(dsfmt_genrand_close1_open2(st)) & ((1ULL << 52) - 1);
}

// [0, 1) on the full 53-bit grid, from two generator outputs.
double uniform53(dsfmt_t* st) {
  const std::uint64_t hi = bits52(st);
  const std::uint64_t lo = bits52(st);
  return static_cast<double>((hi << 1) | (lo >> 51)) * 0x1p-53;
}

}  // namespace

std::int32_t platform_uniform_min_work() { return words_of_stream(); }
std::int32_t platform_normal_min_work() { return words_of_stream(); }

void platform_uniform(std::int32_t* seed, double* out, std::int32_t n, double* work,
                      std::int32_t work_len, std::int32_t* ierr) {
  Stream* s = open_stream(seed, work, work_len, ierr, kUniformTag, seed_uniform);
  if (s == nullptr) return;
  for (std::int32_t i = 0; i < n; ++i) out[i] = uniform53(&s->state);
}

void platform_normal(double mean, double sd, std::int32_t* seed, double* out, std::int32_t n,
                     double* work, std::int32_t work_len, std::int32_t* ierr) {
  Stream* s = open_stream(seed, work, work_len, ierr, kNormalTag, seed_normal);
  if (s == nullptr) return;
  for (std::int32_t i = 0; i < n; ++i) {
    double z;
    if (s->has_spare) {
      z = s->spare;
      s->has_spare = 0;
    } else {
      // u1 in (0, 1] keeps the logarithm finite.
      const double u1 = dsfmt_genrand_open_close(&s->state);
      const double u2 = dsfmt_genrand_close_open(&s->state);
      const double r = std::sqrt(-2.0 * std::log(u1));
      const double theta = 2.0 * std::numbers::pi * u2;
      z = r * std::cos(theta);
      s->spare = r * std::sin(theta);
      s->has_spare = 1;
    }
    out[i] = mean + sd * z;
  }
}
