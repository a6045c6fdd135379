#include "VLK_Util_jobs.h"

#include <algorithm>
#include <bitset>
#include <functional>
#include <utility>

#include "VLK_RNG.h"

std::uint32_t VLK_Util_badrnd32_prev = 0;

namespace {

// Rejection sampling: positions from..k-1 get candidates that differ from every earlier entry,
// in draw order. The scan over the earlier entries is what decides; how it is done is not.
template <class T, class Draw>
void fill_distinct(T* out, int from, int k, Draw draw) {
  for (int i = from; i < k; ++i) {
    T c;
    do c = draw();
    while (std::find(out, out + i, c) != out + i);
    out[i] = c;
  }
}

// The same for 16-bit values with a bitmap of the values taken: same draws, same output, without
// the quadratic scan over long samples.
template <class Draw>
void fill_distinct(unsigned short* out, int from, int k, Draw draw) {
  std::bitset<65536> taken;
  for (int i = 0; i < from; ++i) taken.set(out[i]);
  for (int i = from; i < k; ++i) {
    unsigned short c;
    do c = draw();
    while (taken.test(c));
    taken.set(c);
    out[i] = c;
  }
}

// More distinct 16-bit values than exist would never be found.
constexpr int kUShortValues = 65536;

auto random_int(int n) {
  return [n] { return static_cast<int>(random() % n); };
}

auto random_ushort(unsigned short n) {
  return [n] { return static_cast<unsigned short>(random() % n); };
}

auto rng_ushort(int n, VLK_RNG* rng) {
  return [n, rng] {
    int v;
    VLK_RNG_integer(rng, &v, 1, 0, n);
    return static_cast<unsigned short>(v);
  };
}

}  // namespace

div_t VLK_Util_job_split(int jobs, int procs, int rank, int* start, int* count) {
  if (procs == 0) {
    if (start != nullptr) *start = -1;
    *count = -1;
    return div_t{0, 0};
  }
  const div_t d = std::div(jobs, procs);
  *count = rank < d.rem ? d.quot + 1 : d.quot;
  if (start != nullptr) *start = VLK_Util_job_start(d.quot, d.rem, rank);
  return d;
}

int VLK_Util_job_rank(int q, int r, int job) {
  const int k = job / (q + 1);
  if (k < r) return k;
  // With q = 0 every job lies below r; a larger one belongs to no rank.
  if (q == 0) return -1;
  return (job - r) / q;
}

int VLK_Util_job_start(int q, int r, int rank) {
  if (r == 0) return q * rank;
  if (rank < r) return (q + 1) * rank;
  return q * rank + r;
}

void VLK_Util_random_sample(int n, int k, int* out) {
  if (n < k || k <= 0) return;
  fill_distinct(out, 0, k, random_int(n));
}

void VLK_Util_random_sample_ushort(unsigned short n, int k, unsigned short* out) {
  if (n < k || k <= 0) return;
  fill_distinct(out, 0, k, random_ushort(n));
}

void VLK_Util_random_sample_ushort_RNG(int n, int k, unsigned short* out, VLK_RNG* rng) {
  if (n < k || k <= 0 || k > kUShortValues) return;
  fill_distinct(out, 0, k, rng_ushort(n, rng));
}

void VLK_Util_random_sample_fix(int n, int k, int* out, int fixed) {
  fixed = std::max(fixed, 0);
  if (n < k || fixed >= k) return;
  fill_distinct(out, fixed, k, random_int(n));
}

void VLK_Util_random_sample_fix_ushort(unsigned short n, int k, unsigned short* out, int fixed) {
  fixed = std::max(fixed, 0);
  if (n < k || fixed >= k) return;
  fill_distinct(out, fixed, k, random_ushort(n));
}

void VLK_Util_random_sample_fix_ushort_RNG(int n, int k, unsigned short* out, int fixed,
                                           VLK_RNG* rng) {
  fixed = std::max(fixed, 0);
  if (n < k || fixed >= k || k > kUShortValues) return;
  fill_distinct(out, fixed, k, rng_ushort(n, rng));
}

void VLK_Util_random_sample_set(const int* set, int n, int k, int* out) {
  // Without a sample the positions in out are not ours to map.
  if (n < k || k <= 0) return;
  VLK_Util_random_sample(n, k, out);
  for (int i = 0; i < k; ++i) out[i] = set[out[i]];
}

void VLK_Util_random_perm(int* a, int n) {
  for (int i = 0; i < n; ++i) a[i] = i;
  for (int i = n - 1; i >= 1; --i) {
    const int j = static_cast<int>(random() % (i + 1));
    std::swap(a[i], a[j]);
  }
}

int VLK_Util_int_array_sort_asc_cmp(const void* a, const void* b) {
  const int x = *static_cast<const int*>(a), y = *static_cast<const int*>(b);
  return (x > y) - (x < y);
}

int VLK_Util_int_array_sort_dec_cmp(const void* a, const void* b) {
  return VLK_Util_int_array_sort_asc_cmp(b, a);
}

void VLK_Util_int_array_sort_asc(int* a, size_t n) { std::sort(a, a + n); }

void VLK_Util_int_array_sort_dsc(int* a, size_t n) { std::sort(a, a + n, std::greater<int>()); }

std::uint32_t VLK_Util_badrnd32() {
  VLK_Util_badrnd32_prev = VLK_Util_badrnd32_prev * 69069U + 1234567U;
  return VLK_Util_badrnd32_prev;
}

void VLK_Util_badrnd32_seed(std::uint32_t seed) { VLK_Util_badrnd32_prev = seed; }
