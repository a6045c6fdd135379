#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <numeric>
#include <vector>

#include "VLK_RNG.h"
#include "vlk_owned.h"
#include "vlk_platform_rng.h"

namespace {

using Rng = vlk::Owned<VLK_RNG, VLK_RNG_delete>;

Rng seeded(int s) {
  Rng r(VLK_RNG_new());
  VLK_RNG_set_seed(r.get(), s);
  return r;
}

std::vector<double> uniforms(VLK_RNG* r, int n, double a = 0.0, double b = 1.0) {
  std::vector<double> v(n);
  VLK_RNG_uniform(r, v.data(), n, a, b);
  return v;
}

std::vector<double> normals(VLK_RNG* r, int n, double mean = 0.0, double sd = 1.0) {
  std::vector<double> v(n);
  VLK_RNG_normal(r, v.data(), n, mean, sd);
  return v;
}

}  // namespace

TEST(RngRecord, NewRecordLayout) {
  Rng r(VLK_RNG_new());
  EXPECT_EQ(r->useed, 1);
  EXPECT_EQ(r->nseed, 1);
  EXPECT_EQ(r->uwork_len, 45000);
  EXPECT_EQ(r->nwork_len, 100000);
  EXPECT_NE(r->uwork, nullptr);
  EXPECT_NE(r->nwork, nullptr);
  VLK_RNG_set_seed(r.get(), 0);
  EXPECT_EQ(r->useed, 1);
  VLK_RNG_set_seed(r.get(), -42);
  EXPECT_EQ(r->useed, -42);
  EXPECT_EQ(r->nseed, -42);
}

TEST(RngStreams, SeedsSelectAndRestartStreams) {
  const Rng fresh(VLK_RNG_new());
  const Rng zero = seeded(0), one = seeded(1), two = seeded(2), other = seeded(1001);
  const std::vector<double> u1 = uniforms(one.get(), 50);
  EXPECT_EQ(uniforms(fresh.get(), 50), u1);  // a new record is seeded with 1
  EXPECT_EQ(uniforms(zero.get(), 50), u1);
  EXPECT_NE(uniforms(two.get(), 50), u1);
  EXPECT_NE(uniforms(other.get(), 50), u1);
  EXPECT_EQ(normals(zero.get(), 9), normals(seeded(1).get(), 9));
  EXPECT_NE(normals(two.get(), 9), normals(seeded(1).get(), 9));

  // Re-seeding a record that has drawn restarts both streams, also with the same seed.
  const std::vector<double> z1 = normals(seeded(1).get(), 7);
  VLK_RNG_set_seed(one.get(), 1);
  EXPECT_EQ(uniforms(one.get(), 50), u1);
  EXPECT_EQ(normals(one.get(), 7), z1);
  VLK_RNG_set_seed(two.get(), 1);
  EXPECT_EQ(uniforms(two.get(), 50), u1);
}

TEST(RngStreams, CallsContinueOneStream) {
  const Rng a = seeded(77), b = seeded(77);
  const std::vector<double> whole = uniforms(a.get(), 1000);
  std::vector<double> pieces;
  for (int n : {1, 2, 3, 94, 400, 500}) {
    const std::vector<double> p = uniforms(b.get(), n);
    pieces.insert(pieces.end(), p.begin(), p.end());
  }
  EXPECT_EQ(pieces, whole);

  // The normal stream keeps the second value of each pair across calls.
  const std::vector<double> zwhole = normals(a.get(), 9);
  std::vector<double> zpieces;
  for (int n : {1, 1, 3, 4}) {
    const std::vector<double> p = normals(b.get(), n);
    zpieces.insert(zpieces.end(), p.begin(), p.end());
  }
  EXPECT_EQ(zpieces, zwhole);
}

TEST(RngStreams, UniformAndNormalDoNotDisturbEachOther) {
  const Rng plain = seeded(5), mixed = seeded(5);
  const std::vector<double> u = uniforms(plain.get(), 20);
  const std::vector<double> z = normals(plain.get(), 11);
  std::vector<double> u2 = uniforms(mixed.get(), 8);
  const std::vector<double> z2a = normals(mixed.get(), 5);
  const std::vector<double> u2b = uniforms(mixed.get(), 12);
  const std::vector<double> z2b = normals(mixed.get(), 6);
  u2.insert(u2.end(), u2b.begin(), u2b.end());
  EXPECT_EQ(u2, u);
  std::vector<double> z2 = z2a;
  z2.insert(z2.end(), z2b.begin(), z2b.end());
  EXPECT_EQ(z2, z);
  // The two streams of one seed word are uncorrelated.
  const Rng c = seeded(5);
  const std::vector<double> x = uniforms(c.get(), 20000), y = normals(c.get(), 20000);
  const double mx = std::accumulate(x.begin(), x.end(), 0.0) / x.size();
  const double my = std::accumulate(y.begin(), y.end(), 0.0) / y.size();
  double sxy = 0.0, sxx = 0.0, syy = 0.0;
  for (size_t i = 0; i < x.size(); ++i) {
    sxy += (x[i] - mx) * (y[i] - my);
    sxx += (x[i] - mx) * (x[i] - mx);
    syy += (y[i] - my) * (y[i] - my);
  }
  EXPECT_LT(std::fabs(sxy / std::sqrt(sxx * syy)), 0.03);
}

TEST(RngDraws, UniformMapAndRanges) {
  const Rng a = seeded(3), b = seeded(3);
  const std::vector<double> u = uniforms(a.get(), 500);
  for (double x : u) {
    EXPECT_GE(x, 0.0);
    EXPECT_LT(x, 1.0);
  }
  // u*(b-a) + a, elementwise from the same stream.
  const std::vector<double> v = uniforms(b.get(), 500, -3.0, 5.0);
  for (size_t i = 0; i < u.size(); ++i) {
    EXPECT_EQ(v[i], u[i] * 8.0 + -3.0);
    EXPECT_GE(v[i], -3.0);
    EXPECT_LT(v[i], 5.0);
  }
  const std::vector<double> same = uniforms(a.get(), 10, 2.5, 2.5);
  EXPECT_TRUE(std::all_of(same.begin(), same.end(), [](double x) { return x == 2.5; }));

  // 53-bit resolution: numbers off the 2^-52 grid occur.
  const std::vector<double> w = uniforms(a.get(), 200);
  EXPECT_TRUE(std::any_of(w.begin(), w.end(),
                          [](double x) { return std::fmod(std::ldexp(x, 53), 2.0) != 0.0; }));
  // And they are uniform to a loose check: mean of 20000 within 0.01 of 1/2.
  const std::vector<double> many = uniforms(a.get(), 20000);
  EXPECT_NEAR(std::accumulate(many.begin(), many.end(), 0.0) / many.size(), 0.5, 0.01);
}

TEST(RngDraws, IntegersTruncateTheScaledUniform) {
  struct Case {
    int lo, hi;
  };
  for (const Case& c : {Case{0, 10}, Case{-5, 3}, Case{7, 8}, Case{0, 1}, Case{4, 4},
                        Case{-2147483647 - 1, 2147483647}}) {
    SCOPED_TRACE(c.lo);
    const Rng a = seeded(9), b = seeded(9);
    std::vector<int> k(300);
    VLK_RNG_integer(a.get(), k.data(), 300, c.lo, c.hi);
    const std::vector<double> u = uniforms(b.get(), 300);
    const double width = static_cast<double>(static_cast<std::int64_t>(c.hi) - c.lo);
    for (size_t i = 0; i < k.size(); ++i) {
      EXPECT_EQ(k[i], c.lo + static_cast<std::int64_t>(u[i] * width));
      if (c.lo < c.hi) {
        EXPECT_GE(k[i], c.lo);
        EXPECT_LT(k[i], c.hi);
      } else {
        EXPECT_EQ(k[i], c.lo);
      }
    }
  }
  // Every value of a small range turns up, in roughly equal shares.
  const Rng r = seeded(12);
  std::vector<int> k(60000);
  VLK_RNG_integer(r.get(), k.data(), 60000, 0, 6);
  for (int v = 0; v < 6; ++v) EXPECT_NEAR(std::count(k.begin(), k.end(), v), 10000, 500) << v;
}

TEST(RngDraws, EmptyRequestsWriteAndDrawNothing) {
  const Rng a = seeded(4), b = seeded(4);
  double d[2] = {-1.0, -1.0};
  int i[2] = {-1, -1};
  VLK_RNG_uniform(a.get(), d, 0, 0.0, 1.0);
  VLK_RNG_uniform(a.get(), d, -3, 0.0, 1.0);
  VLK_RNG_normal(a.get(), d, 0, 0.0, 1.0);
  VLK_RNG_integer(a.get(), i, 0, 0, 9);
  VLK_RNG_perm(a.get(), i, 0);
  VLK_RNG_perm(a.get(), i, -2);
  EXPECT_EQ(d[0], -1.0);
  EXPECT_EQ(i[0], -1);
  VLK_RNG_perm(a.get(), i, 1);
  EXPECT_EQ(i[0], 0);
  EXPECT_EQ(i[1], -1);
  EXPECT_EQ(uniforms(a.get(), 5), uniforms(b.get(), 5));
  EXPECT_EQ(normals(a.get(), 5), normals(b.get(), 5));
}

TEST(RngDraws, PermutationIsFisherYatesFromTheTop) {
  for (int n : {2, 3, 10, 257}) {
    SCOPED_TRACE(n);
    const Rng a = seeded(21), b = seeded(21);
    std::vector<int> p(n);
    VLK_RNG_perm(a.get(), p.data(), n);
    std::vector<int> sorted = p;
    std::sort(sorted.begin(), sorted.end());
    std::vector<int> iota(n);
    std::iota(iota.begin(), iota.end(), 0);
    EXPECT_EQ(sorted, iota);

    // The same swaps from n - 1 uniforms of the twin record; then both streams are in step.
    const std::vector<double> u = uniforms(b.get(), n - 1);
    std::vector<int> want = iota;
    for (int k = n - 1; k >= 1; --k)
      std::swap(want[k], want[static_cast<int>((k + 1.0) * u[n - 1 - k])]);
    EXPECT_EQ(p, want);
    EXPECT_EQ(uniforms(a.get(), 3), uniforms(b.get(), 3));
  }
}

TEST(RngDraws, NormalMeanAndSpread) {
  const Rng a = seeded(8), b = seeded(8);
  const std::vector<double> z = normals(a.get(), 40000);
  const double mean = std::accumulate(z.begin(), z.end(), 0.0) / z.size();
  double var = 0.0;
  for (double x : z) var += (x - mean) * (x - mean);
  var /= z.size() - 1;
  EXPECT_NEAR(mean, 0.0, 0.03);
  EXPECT_NEAR(var, 1.0, 0.03);
  EXPECT_TRUE(std::all_of(z.begin(), z.end(), [](double x) { return std::isfinite(x); }));
  // mean + sd z from the same stream.
  const std::vector<double> w = normals(b.get(), 100, 10.0, 0.5);
  for (size_t i = 0; i < w.size(); ++i) EXPECT_DOUBLE_EQ(w[i], 10.0 + 0.5 * z[i]);
}

// A source set on the record takes the generator's place for every uniform-based draw and
// leaves the generator's stream where it was.
TEST(RngDraws, SourceReplacesTheUniformGenerator) {
  Rng r = seeded(5);
  std::vector<double> script = {0.25, 0.5, 0.75, 0.999, 0.1, 0.6};
  size_t next = 0;
  std::vector<int> calls;
  struct Ctx {
    std::vector<double>* script;
    size_t* next;
    std::vector<int>* calls;
  } ctx{&script, &next, &calls};
  r->source_context = &ctx;
  r->source = [](void* c, double* out, int n) {
    auto* x = static_cast<Ctx*>(c);
    x->calls->push_back(n);
    for (int i = 0; i < n; ++i) out[i] = (*x->script)[(*x->next)++];
  };
  EXPECT_EQ(uniforms(r.get(), 2, 1.0, 3.0), (std::vector<double>{1.5, 2.0}));
  int k[2];
  VLK_RNG_integer(r.get(), k, 2, 10, 20);
  EXPECT_EQ(k[0], 17);
  EXPECT_EQ(k[1], 19);
  int perm[3];
  VLK_RNG_perm(r.get(), perm, 3);  // k = 2: j = (int)(3 * 0.1) = 0; k = 1: j = (int)(2 * 0.6) = 1
  EXPECT_EQ(std::vector<int>(perm, perm + 3), (std::vector<int>{2, 1, 0}));
  EXPECT_EQ(calls, (std::vector<int>{2, 2, 1, 1}));

  r->source = nullptr;
  EXPECT_EQ(uniforms(r.get(), 5), uniforms(seeded(5).get(), 5));
}

TEST(RngPlatform, SeedWordAndWorkArea) {
  const int32_t len = platform_uniform_min_work();
  std::unique_ptr<double, decltype(&std::free)> work(
      static_cast<double*>(std::aligned_alloc(64, ((len * 8 + 63) / 64) * 64)), &std::free);
  int32_t seed = 17, ierr = -1;
  double a[4], b[4];
  platform_uniform(&seed, a, 4, work.get(), len, &ierr);
  EXPECT_EQ(ierr, 0);
  EXPECT_EQ(seed, 0);  // the stream now lives in the work area
  platform_uniform(&seed, b, 4, work.get(), len, &ierr);
  EXPECT_NE(std::vector<double>(a, a + 4), std::vector<double>(b, b + 4));
  seed = 17;  // writing the word again restarts the stream
  platform_uniform(&seed, b, 4, work.get(), len, &ierr);
  EXPECT_EQ(std::vector<double>(a, a + 4), std::vector<double>(b, b + 4));

  double c[1] = {-5.0};
  seed = 3;
  platform_uniform(&seed, c, 1, work.get(), len - 1, &ierr);
  EXPECT_EQ(ierr, 1);
  EXPECT_EQ(c[0], -5.0);
  platform_normal(0.0, 1.0, &seed, c, 1, work.get() + 1, len, &ierr);  // misaligned
  EXPECT_EQ(ierr, 2);
  EXPECT_EQ(c[0], -5.0);
  EXPECT_LE(platform_uniform_min_work(), platform_uniform_work_length);
  EXPECT_LE(platform_normal_min_work(), platform_normal_work_length);
}
