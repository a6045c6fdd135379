#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <numeric>
#include <vector>

#include "VLK_RNG.h"
#include "VLK_Util_jobs.h"
#include "vlk_owned.h"

namespace {

// ---- job split ----

struct Share {
  int start, count;
};

// Reference split: each rank in turn takes the rounded-up share of what is left.
std::vector<Share> brute_split(int jobs, int procs) {
  std::vector<Share> s;
  int next = 0;
  for (int p = 0; p < procs; ++p) {
    const int left = jobs - next, ranks = procs - p;
    const int take = (left + ranks - 1) / ranks;
    s.push_back({next, take});
    next += take;
  }
  return s;
}

}  // namespace

TEST(JobSplit, ExhaustiveAgainstBruteForce) {
  for (int jobs = 0; jobs <= 60; ++jobs) {
    for (int procs = 1; procs <= 9; ++procs) {
      SCOPED_TRACE(testing::Message() << jobs << " jobs over " << procs);
      const std::vector<Share> want = brute_split(jobs, procs);
      for (int rank = 0; rank < procs; ++rank) {
        int start = -9, count = -9;
        const div_t qr = VLK_Util_job_split(jobs, procs, rank, &start, &count);
        EXPECT_EQ(qr.quot, jobs / procs);
        EXPECT_EQ(qr.rem, jobs % procs);
        EXPECT_EQ(count, want[rank].count) << rank;
        EXPECT_EQ(start, want[rank].start) << rank;
        EXPECT_EQ(VLK_Util_job_start(qr.quot, qr.rem, rank), want[rank].start);
        int count_only = -9;
        VLK_Util_job_split(jobs, procs, rank, nullptr, &count_only);
        EXPECT_EQ(count_only, count);
        for (int job = want[rank].start; job < want[rank].start + want[rank].count; ++job)
          EXPECT_EQ(VLK_Util_job_rank(qr.quot, qr.rem, job), rank) << job;
      }
    }
  }
}

TEST(JobSplit, ExamplesAndDegenerateSplits) {
  int start = 0, count = 0;
  const div_t qr = VLK_Util_job_split(10, 4, 2, &start, &count);
  EXPECT_EQ(qr.quot, 2);
  EXPECT_EQ(qr.rem, 2);
  EXPECT_EQ(start, 6);
  EXPECT_EQ(count, 2);
  EXPECT_EQ(VLK_Util_job_rank(2, 2, 5), 1);
  EXPECT_EQ(VLK_Util_job_rank(2, 2, 6), 2);

  VLK_Util_job_split(3, 8, 5, &start, &count);
  EXPECT_EQ(start, 3);
  EXPECT_EQ(count, 0);

  const div_t none = VLK_Util_job_split(7, 0, 0, &start, &count);
  EXPECT_EQ(start, -1);
  EXPECT_EQ(count, -1);
  EXPECT_EQ(none.quot, 0);
  EXPECT_EQ(none.rem, 0);
  count = 0;
  VLK_Util_job_split(7, 0, 0, nullptr, &count);
  EXPECT_EQ(count, -1);

  // q = 0: only jobs below r exist; a job beyond them has no owner instead of a division by 0.
  EXPECT_EQ(VLK_Util_job_rank(0, 3, 2), 2);
  EXPECT_EQ(VLK_Util_job_rank(0, 3, 3), -1);
  EXPECT_EQ(VLK_Util_job_rank(0, 0, 0), -1);
}

// ---- samplers ----

namespace {

// The C library's `random` stream from a fixed seed: its values, and the position reached.
class ScriptedRandom {
 public:
  explicit ScriptedRandom(unsigned seed, size_t len = 20000) : seed_(seed) {
    srandom(seed_);
    values_.resize(len);
    for (long& v : values_) v = random();
    srandom(seed_);
  }
  // Candidates c_t = f(r_t) taken in order, skipping repeats of earlier entries; returns the
  // entries and stores in *used how many values that consumed.
  template <class T, class F>
  std::vector<T> sample(std::vector<T> prefix, int k, F f, size_t* used) const {
    size_t t = 0;
    while (static_cast<int>(prefix.size()) < k) {
      const T c = f(values_.at(t++));
      if (std::find(prefix.begin(), prefix.end(), c) == prefix.end()) prefix.push_back(c);
    }
    *used = t;
    return prefix;
  }
  long at(size_t t) const { return values_.at(t); }
  void restart() const { srandom(seed_); }

 private:
  unsigned seed_;
  std::vector<long> values_;
};

using Rng = vlk::Owned<VLK_RNG, VLK_RNG_delete>;

Rng seeded(int s) {
  Rng r(VLK_RNG_new());
  VLK_RNG_set_seed(r.get(), s);
  return r;
}

// The RNG samplers' expected output: one VLK_RNG_integer draw per candidate on a twin record.
std::vector<unsigned short> rng_expected(int seed, int n, int k, std::vector<unsigned short> pre,
                                         int* draws) {
  const Rng twin = seeded(seed);
  *draws = 0;
  while (static_cast<int>(pre.size()) < k) {
    int v;
    VLK_RNG_integer(twin.get(), &v, 1, 0, n);
    ++*draws;
    const auto c = static_cast<unsigned short>(v);
    if (std::find(pre.begin(), pre.end(), c) == pre.end()) pre.push_back(c);
  }
  return pre;
}

// The uniform stream position of rec equals that of a fresh record of `seed` after `draws`
// single integer draws.
void expect_rng_position(VLK_RNG* rec, int seed, int draws) {
  const Rng twin = seeded(seed);
  for (int i = 0; i < draws; ++i) {
    int v;
    VLK_RNG_integer(twin.get(), &v, 1, 0, 2);
  }
  double a, b;
  VLK_RNG_uniform(rec, &a, 1, 0.0, 1.0);
  VLK_RNG_uniform(twin.get(), &b, 1, 0.0, 1.0);
  EXPECT_EQ(a, b);
}

}  // namespace

TEST(Samplers, PlainSamplesFollowTheDrawOrder) {
  struct Case {
    int n, k;
  };
  for (const Case& c : {Case{10, 3}, Case{7, 7}, Case{100, 40}, Case{1, 1}, Case{5000, 1}}) {
    SCOPED_TRACE(testing::Message() << c.k << " of " << c.n);
    const ScriptedRandom script(17 + c.n);
    size_t used = 0;
    const auto want = script.sample(
        std::vector<int>{}, c.k, [&](long r) { return int(r % c.n); }, &used);
    std::vector<int> out(c.k + 1, -7);
    VLK_Util_random_sample(c.n, c.k, out.data());
    EXPECT_EQ(std::vector<int>(out.begin(), out.begin() + c.k), want);
    EXPECT_EQ(out[c.k], -7);
    EXPECT_EQ(random(), script.at(used));  // no draw more or less

    script.restart();
    std::vector<unsigned short> us(c.k);
    VLK_Util_random_sample_ushort(static_cast<unsigned short>(c.n), c.k, us.data());
    EXPECT_EQ(std::vector<int>(us.begin(), us.end()), want);
    EXPECT_EQ(random(), script.at(used));

    // The set form samples positions the same way and returns the set's values.
    script.restart();
    std::vector<int> set(c.n);
    for (int i = 0; i < c.n; ++i) set[i] = 1000 + 3 * i;
    std::vector<int> picked(c.k);
    VLK_Util_random_sample_set(set.data(), c.n, c.k, picked.data());
    for (int i = 0; i < c.k; ++i) EXPECT_EQ(picked[i], set[want[i]]);
  }
  // k = n gives a permutation.
  std::vector<int> all(12);
  VLK_Util_random_sample(12, 12, all.data());
  std::sort(all.begin(), all.end());
  std::vector<int> iota(12);
  std::iota(iota.begin(), iota.end(), 0);
  EXPECT_EQ(all, iota);
}

TEST(Samplers, NothingHappensWithoutRoom) {
  const ScriptedRandom script(5);
  std::vector<int> out = {-1, -2, -3, -4};
  std::vector<unsigned short> us = {9, 8, 7, 6};
  const std::vector<int> out0 = out;
  const std::vector<unsigned short> us0 = us;
  VLK_Util_random_sample(3, 4, out.data());  // n < k
  VLK_Util_random_sample(5, 0, out.data());
  VLK_Util_random_sample(5, -2, out.data());
  VLK_Util_random_sample_ushort(3, 4, us.data());
  VLK_Util_random_sample_fix(3, 4, out.data(), 0);
  VLK_Util_random_sample_fix(9, 4, out.data(), 4);  // fixed >= k
  VLK_Util_random_sample_fix_ushort(9, 3, us.data(), 5);
  VLK_Util_random_sample_set(nullptr, 2, 3, out.data());  // the set is never read
  EXPECT_EQ(out, out0);
  EXPECT_EQ(us, us0);
  EXPECT_EQ(random(), script.at(0));

  const Rng rec = seeded(3);
  VLK_Util_random_sample_ushort_RNG(3, 4, us.data(), rec.get());
  VLK_Util_random_sample_fix_ushort_RNG(9, 4, us.data(), 4, rec.get());
  EXPECT_EQ(us, us0);
  std::vector<unsigned short> many(66000, 5);  // 66000 distinct 16-bit values do not exist
  VLK_Util_random_sample_ushort_RNG(70000, 66000, many.data(), rec.get());
  EXPECT_EQ(many, std::vector<unsigned short>(66000, 5));
  expect_rng_position(rec.get(), 3, 0);
}

TEST(Samplers, FixedPrefixIsKeptAndNeverRepeated) {
  const int n = 9, k = 6;
  const std::vector<int> prefix = {4, 7};
  const ScriptedRandom script(99);
  size_t used = 0;
  const auto want = script.sample(
      prefix, k, [](long r) { return int(r % 9); }, &used);
  std::vector<int> out = {4, 7, -1, -1, -1, -1};
  VLK_Util_random_sample_fix(n, k, out.data(), 2);
  EXPECT_EQ(out, want);
  EXPECT_EQ(random(), script.at(used));
  std::vector<int> sorted = out;
  std::sort(sorted.begin(), sorted.end());
  EXPECT_EQ(std::adjacent_find(sorted.begin(), sorted.end()), sorted.end());

  script.restart();
  std::vector<unsigned short> us = {4, 7, 0, 0, 0, 0};
  VLK_Util_random_sample_fix_ushort(n, k, us.data(), 2);
  EXPECT_EQ(std::vector<int>(us.begin(), us.end()), want);

  // A prefix value outside [0, n) is kept too; the rest are distinct values of [0, n).
  script.restart();
  std::vector<int> wide = {50, -1, -1, -1};
  VLK_Util_random_sample_fix(4, 4, wide.data(), 1);
  EXPECT_EQ(wide[0], 50);
  std::sort(wide.begin() + 1, wide.end());
  EXPECT_EQ(std::adjacent_find(wide.begin() + 1, wide.end()), wide.end());
  EXPECT_GE(wide[1], 0);
  EXPECT_LT(wide[3], 4);
}

TEST(Samplers, NegativeFixedCountsAsNone) {
  const ScriptedRandom script(123);
  std::vector<int> as_zero(5);
  VLK_Util_random_sample_fix(20, 5, as_zero.data(), 0);
  script.restart();
  std::vector<int> guarded(6, -5);  // guarded[0] lies before the output
  VLK_Util_random_sample_fix(20, 5, guarded.data() + 1, -3);
  EXPECT_EQ(guarded[0], -5);
  EXPECT_EQ(std::vector<int>(guarded.begin() + 1, guarded.end()), as_zero);

  script.restart();
  std::vector<unsigned short> us(6, 999);
  VLK_Util_random_sample_fix_ushort(20, 5, us.data() + 1, -1);
  EXPECT_EQ(us[0], 999);
  EXPECT_EQ(std::vector<int>(us.begin() + 1, us.end()), as_zero);

  const Rng rec = seeded(8);
  std::vector<unsigned short> ur(6, 999);
  VLK_Util_random_sample_fix_ushort_RNG(20, 5, ur.data() + 1, -2, rec.get());
  EXPECT_EQ(ur[0], 999);
  int draws = 0;
  EXPECT_EQ(std::vector<unsigned short>(ur.begin() + 1, ur.end()),
            rng_expected(8, 20, 5, {}, &draws));
}

TEST(Samplers, RngFormsDrawOneIntegerPerCandidate) {
  struct Case {
    int n, k, seed;
  };
  for (const Case& c : {Case{10, 4, 1}, Case{6, 6, 2}, Case{1000, 300, 3}, Case{65535, 50, 4}}) {
    SCOPED_TRACE(testing::Message() << c.k << " of " << c.n);
    int draws = 0;
    const auto want = rng_expected(c.seed, c.n, c.k, {}, &draws);
    const Rng rec = seeded(c.seed);
    std::vector<unsigned short> out(c.k);
    VLK_Util_random_sample_ushort_RNG(c.n, c.k, out.data(), rec.get());
    EXPECT_EQ(out, want);
    expect_rng_position(rec.get(), c.seed, draws);
  }
  const std::vector<unsigned short> pre = {3, 0};
  int draws = 0;
  const auto want = rng_expected(11, 8, 7, pre, &draws);
  const Rng rec = seeded(11);
  std::vector<unsigned short> out = {3, 0, 0, 0, 0, 0, 0};
  VLK_Util_random_sample_fix_ushort_RNG(8, 7, out.data(), 2, rec.get());
  EXPECT_EQ(out, want);
  expect_rng_position(rec.get(), 11, draws);
}

TEST(Samplers, RandomPermutation) {
  for (int n : {1, 2, 9, 100}) {
    SCOPED_TRACE(n);
    const ScriptedRandom script(7 + n);
    std::vector<int> want(n);
    std::iota(want.begin(), want.end(), 0);
    size_t t = 0;
    for (int i = n - 1; i >= 1; --i) std::swap(want[i], want[script.at(t++) % (i + 1)]);
    std::vector<int> a(n, -1);
    VLK_Util_random_perm(a.data(), n);
    EXPECT_EQ(a, want);
    EXPECT_EQ(random(), script.at(t));
  }
}

// ---- sorts and the small generator ----

TEST(IntSorts, ThreeWayComparatorsAndSorts) {
  const int lo = INT_MIN, hi = INT_MAX, one = 1, minus = -1;
  // A difference would overflow on these pairs.
  EXPECT_LT(VLK_Util_int_array_sort_asc_cmp(&lo, &one), 0);
  EXPECT_GT(VLK_Util_int_array_sort_asc_cmp(&hi, &minus), 0);
  EXPECT_EQ(VLK_Util_int_array_sort_asc_cmp(&hi, &hi), 0);
  EXPECT_GT(VLK_Util_int_array_sort_dec_cmp(&lo, &one), 0);
  EXPECT_LT(VLK_Util_int_array_sort_dec_cmp(&hi, &minus), 0);

  std::vector<int> v = {5, INT_MIN, -3, INT_MAX, 0, 5, -2147483647, 2};
  std::vector<int> q = v;
  std::qsort(q.data(), q.size(), sizeof(int), VLK_Util_int_array_sort_asc_cmp);
  VLK_Util_int_array_sort_asc(v.data(), v.size());
  EXPECT_EQ(v, (std::vector<int>{INT_MIN, -2147483647, -3, 0, 2, 5, 5, INT_MAX}));
  EXPECT_EQ(q, v);
  std::qsort(q.data(), q.size(), sizeof(int), VLK_Util_int_array_sort_dec_cmp);
  VLK_Util_int_array_sort_dsc(v.data(), v.size());
  EXPECT_EQ(v, (std::vector<int>{INT_MAX, 5, 5, 2, 0, -3, -2147483647, INT_MIN}));
  EXPECT_EQ(q, v);
  VLK_Util_int_array_sort_asc(nullptr, 0);
}

TEST(BadRnd32, LinearCongruence) {
  VLK_Util_badrnd32_seed(0);  // the state at program start
  EXPECT_EQ(VLK_Util_badrnd32(), 1234567u);
  EXPECT_EQ(VLK_Util_badrnd32(), static_cast<std::uint32_t>(1234567ULL * 69069 + 1234567));
  EXPECT_EQ(VLK_Util_badrnd32_prev, static_cast<std::uint32_t>(1234567ULL * 69069 + 1234567));
  VLK_Util_badrnd32_seed(0xFFFFFFFFu);
  EXPECT_EQ(VLK_Util_badrnd32(), static_cast<std::uint32_t>(0xFFFFFFFFULL * 69069 + 1234567));
}
