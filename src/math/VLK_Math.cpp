#include "VLK_Math.h"

#include <algorithm>
#include <cmath>

namespace {

// Entry (r, j) of a ranking table with rows of s entries.
std::uint64_t table(const std::uint64_t* T, int s, int r, int j) {
  return T[static_cast<size_t>(r) * static_cast<size_t>(s) + static_cast<size_t>(j)];
}

// Truncation toward zero as a double; + 0.0 turns the -0.0 of (-1, 0) into 0.0, as an int
// conversion would give, and values beyond the int range stay defined.
double trunc0(double x) { return std::trunc(x) + 0.0; }

// Rank of the combination whose i-th element is elem(i).
template <class Elem>
std::uint64_t rank_of(int n, int k, const std::uint64_t* T, int s, Elem elem) {
  std::uint64_t rank = 0;
  for (int i = 0; i < k; ++i) rank += table(T, s, k - 1 - i, n - k + i - elem(i));
  return rank;
}

// Unranks idx, storing store(e) for each element e.
template <class Store>
void unrank(int n, int k, std::uint64_t idx, int* c, const std::uint64_t* T, int s, Store store) {
  int j = n - k;
  for (int i = 0; i < k; ++i) {
    const int r = k - 1 - i;
    while (j > 0 && table(T, s, r, j) > idx) --j;  // T(r, 0) = 0 ends the search
    c[i] = store(n - k + i - j);
    idx -= table(T, s, r, j);
  }
}

}  // namespace

int VLK_Math_vmaxv(size_t n, const int* v) { return n <= 1 ? v[0] : *std::max_element(v, v + n); }

void VLK_Math_minmax(const double* x, size_t n, double* min, double* max) {
  if (n == 0) return;
  double lo = trunc0(x[0]), hi = lo;
  for (size_t i = 1; i < n; ++i) {
    if (x[i] < lo) lo = trunc0(x[i]);
    if (hi < x[i]) hi = trunc0(x[i]);
  }
  *min = lo;
  *max = hi;
}

double VLK_Math_sum(const double* x, int n) {
  double s = 0.0;
  for (int i = 0; i < n; ++i) s += x[i];
  return s;
}

int VLK_Math_isum(const int* v, int n) { return VLK_Math_isum2(v, n, 1); }

int VLK_Math_isum2(const int* v, int n, int stride) {
  std::uint32_t s = 0;  // unsigned, so the wrap is defined
  for (int i = 0; i < n; ++i)
    s += static_cast<std::uint32_t>(v[static_cast<ptrdiff_t>(i) * stride]);
  return static_cast<int>(s);
}

int VLK_Math_gcd(int a, int b) {
  while (b != 0) {
    // a % -1 is 0, but INT_MIN % -1 overflows in the division.
    const int rem = b == -1 ? 0 : a % b;
    a = b;
    b = rem;
  }
  return a;
}

std::uint64_t VLK_Math_choose(int n, int k) {
  if (k < 0 || k > n) return 0;
  const int m = std::min(k, n - k), mm = std::max(k, n - k);
  if (m == 0) return 1;
  // Each step is C(mm + i, i); the product before the division is taken in 128 bits so the
  // result is exact whenever it fits in 64.
  std::uint64_t r = static_cast<std::uint64_t>(mm) + 1;
  for (int i = 2; i <= m; ++i)
    r = static_cast<std::uint64_t>(static_cast<unsigned __int128>(r) *
                                   static_cast<std::uint64_t>(mm + i) / static_cast<unsigned>(i));
  return r;
}

std::uint64_t VLK_Math_choose2(int n, int k) {
  if (k < 0 || k > n) return 0;
  const int m = std::min(k, n - k);
  if (m < 1) return 1;
  std::uint64_t r = 1;
  for (int i = 1; i <= m; ++i) {
    const int f = n - i + 1;
    const int d = VLK_Math_gcd(f, i);
    r = static_cast<std::uint64_t>(f / d) * (r / static_cast<std::uint64_t>(i / d));
  }
  return r;
}

int VLK_Math_combo(int n, int k, int* c) {
  if (k <= 0 || k > n) return 1;
  if (c[0] == -1) {
    for (int i = 0; i < k; ++i) c[i] = i;
    return 0;
  }
  for (int i = k - 1; i >= 0; --i) {
    const int limit = n - (k - 1 - i);
    if (++c[i] != limit) {
      for (int t = 1; t <= k - 1 - i; ++t) c[i + t] = c[i] + t;
      return 0;
    }
  }
  return 1;
}

void VLK_Math_combo_index_table(int n, int k, std::uint64_t* T) {
  if (n <= 0 || k <= 0) return;
  const size_t s = static_cast<size_t>(n);
  for (int j = 0; j < n; ++j) T[j] = static_cast<std::uint64_t>(j);
  for (int r = 1; r < k; ++r) {
    std::uint64_t* row = T + static_cast<size_t>(r) * s;
    const std::uint64_t* above = row - s;
    row[0] = 0;
    for (int j = 1; j < n; ++j) row[j] = row[j - 1] + above[j];
  }
}

std::uint64_t VLK_Math_combo_index(int n, int k, const int* c, const std::uint64_t* T, int s) {
  return rank_of(n, k, T, s, [c](int i) { return c[i]; });
}

std::uint64_t VLK_Math_combo_index2(int n, int k, const int* c, const std::uint64_t* T, int s,
                                    const int* map) {
  return rank_of(n, k, T, s, [c, map](int i) { return map[c[i]]; });
}

std::uint64_t VLK_Math_combo_index3(int n, int k, const int* c, const std::uint64_t* T, int s,
                                    const int* map1, const int* map2) {
  return rank_of(n, k, T, s, [c, map1, map2](int i) { return map1[map2[c[i]]]; });
}

void VLK_Math_index_combo(int n, int k, std::uint64_t idx, int* c, const std::uint64_t* T, int s) {
  unrank(n, k, idx, c, T, s, [](int e) { return e; });
}

void VLK_Math_index_combo2(int n, int k, std::uint64_t idx, int* c, const std::uint64_t* T, int s,
                           const int* map) {
  unrank(n, k, idx, c, T, s, [map](int e) { return map[e]; });
}
