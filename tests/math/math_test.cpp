#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "VLK_Math.h"

namespace {

using u128 = unsigned __int128;

// Pascal's triangle in 128 bits, rows 0..N.
std::vector<std::vector<u128>> pascal(int N) {
  std::vector<std::vector<u128>> p(N + 1);
  for (int n = 0; n <= N; ++n) {
    p[n].assign(n + 1, 1);
    for (int k = 1; k < n; ++k) p[n][k] = p[n - 1][k - 1] + p[n - 1][k];
  }
  return p;
}

// Every k-combination of 0..n-1 in lexicographic order, by VLK_Math_combo.
std::vector<std::vector<int>> enumerate(int n, int k) {
  std::vector<std::vector<int>> all;
  std::vector<int> c(k);
  c[0] = -1;
  while (VLK_Math_combo(n, k, c.data()) == 0) all.push_back(c);
  return all;
}

}  // namespace

TEST(MathVector, MaxSumsAndRange) {
  const int v[] = {3, -1, 7, 7, 2};
  EXPECT_EQ(VLK_Math_vmaxv(5, v), 7);
  EXPECT_EQ(VLK_Math_vmaxv(1, v), 3);
  EXPECT_EQ(VLK_Math_vmaxv(0, v), 3);
  const int neg[] = {-5, -9};
  EXPECT_EQ(VLK_Math_vmaxv(2, neg), -5);

  const double x[] = {1.5, -2.25, 4.0};
  EXPECT_EQ(VLK_Math_sum(x, 3), 3.25);
  EXPECT_EQ(VLK_Math_sum(x, 0), 0.0);
  EXPECT_EQ(VLK_Math_sum(x, -1), 0.0);
  EXPECT_EQ(VLK_Math_isum(v, 5), 18);
  EXPECT_EQ(VLK_Math_isum(v, 0), 0);
  const int seven[] = {1, 2, 3, 4, 5, 6, 7};
  EXPECT_EQ(VLK_Math_isum2(seven, 3, 3), 12);
  EXPECT_EQ(VLK_Math_isum2(seven, -2, 3), 0);
  const int big[] = {INT_MAX, 1};
  EXPECT_EQ(VLK_Math_isum(big, 2), INT_MIN);  // wraps

  struct Case {
    std::vector<double> x;
    double min, max;
  };
  const double nan = std::numeric_limits<double>::quiet_NaN();
  for (const Case& c : {Case{{0.5, 0.3}, 0.0, 0.0}, Case{{-0.5, 2.7, 1.2}, 0.0, 2.0},
                        Case{{-1.7, 2.9, 0.2}, -1.0, 2.0}, Case{{0.2, 0.8, 0.5}, 0.0, 0.0},
                        Case{{3.0, nan, -4.5}, -4.0, 3.0}, Case{{-3.5}, -3.0, -3.0}}) {
    double lo = 99.0, hi = 99.0;
    VLK_Math_minmax(c.x.data(), c.x.size(), &lo, &hi);
    EXPECT_EQ(lo, c.min) << c.x[0];
    EXPECT_EQ(hi, c.max) << c.x[0];
    EXPECT_FALSE(std::signbit(lo) && lo == 0.0) << "negative zero";
  }
  double lo = 99.0, hi = -99.0;
  VLK_Math_minmax(x, 0, &lo, &hi);
  EXPECT_EQ(lo, 99.0);
  EXPECT_EQ(hi, -99.0);
}

TEST(MathNumbers, GcdFollowsTruncatingRemainders) {
  struct Case {
    int a, b, g;
  };
  for (const Case& c :
       {Case{12, 8, 4}, Case{0, 5, 5}, Case{5, 0, 5}, Case{17, 5, 1}, Case{-12, 8, -4},
        Case{12, -8, 4}, Case{0, 0, 0}, Case{INT_MIN, -1, -1}, Case{INT_MIN, 6, -2}})
    EXPECT_EQ(VLK_Math_gcd(c.a, c.b), c.g) << c.a << "," << c.b;
}

TEST(MathNumbers, BinomialsAgainstPascal) {
  const auto p = pascal(67);
  for (int n = 0; n <= 67; ++n) {
    for (int k = 0; k <= n; ++k) {
      const std::uint64_t want = static_cast<std::uint64_t>(p[n][k]);
      EXPECT_EQ(VLK_Math_choose(n, k), want) << n << "," << k;
      EXPECT_EQ(VLK_Math_choose2(n, k), want) << n << "," << k;
    }
  }
  EXPECT_EQ(VLK_Math_choose(30, 1), 30u);
  EXPECT_EQ(VLK_Math_choose(5, 6), 0u);
  EXPECT_EQ(VLK_Math_choose2(5, -1), 0u);
}

TEST(MathCombos, LexicographicEnumeration) {
  EXPECT_EQ(enumerate(4, 2),
            (std::vector<std::vector<int>>{{0, 1}, {0, 2}, {0, 3}, {1, 2}, {1, 3}, {2, 3}}));
  const auto five = enumerate(5, 3);
  ASSERT_EQ(five.size(), 10u);
  EXPECT_EQ(five.front(), (std::vector<int>{0, 1, 2}));
  EXPECT_EQ(five[3], (std::vector<int>{0, 2, 3}));
  EXPECT_EQ(five.back(), (std::vector<int>{2, 3, 4}));
  for (size_t i = 1; i < five.size(); ++i) EXPECT_LT(five[i - 1], five[i]);
  EXPECT_EQ(enumerate(3, 3), (std::vector<std::vector<int>>{{0, 1, 2}}));
  // k <= 0 answers "exhausted" without looking at c.
  EXPECT_EQ(VLK_Math_combo(4, 0, nullptr), 1);
  EXPECT_EQ(VLK_Math_combo(4, -1, nullptr), 1);
}

TEST(MathCombos, RankingTable) {
  std::vector<std::uint64_t> T(8);
  VLK_Math_combo_index_table(4, 2, T.data());
  EXPECT_EQ(T, (std::vector<std::uint64_t>{0, 1, 2, 3, 0, 1, 3, 6}));
  const int n = 12, k = 5;
  std::vector<std::uint64_t> big(n * k);
  VLK_Math_combo_index_table(n, k, big.data());
  const auto p = pascal(n + k);
  for (int r = 0; r < k; ++r)
    for (int j = 0; j < n; ++j)
      EXPECT_EQ(big[r * n + j], j == 0 ? 0 : static_cast<std::uint64_t>(p[j + r][r + 1]))
          << r << "," << j;
}

TEST(MathCombos, RankUnrankRoundTrips) {
  // One table of row length 10 serves every smaller n.
  const int s = 10;
  std::vector<std::uint64_t> T(s * s);
  VLK_Math_combo_index_table(s, s, T.data());
  for (int n = 1; n <= 9; ++n) {
    for (int k = 1; k <= n; ++k) {
      SCOPED_TRACE(testing::Message() << n << " choose " << k);
      const auto all = enumerate(n, k);
      const std::uint64_t total = VLK_Math_choose(n, k);
      ASSERT_EQ(all.size(), total);
      for (size_t pos = 0; pos < all.size(); ++pos) {
        const std::uint64_t rank = VLK_Math_combo_index(n, k, all[pos].data(), T.data(), s);
        EXPECT_EQ(rank, total - 1 - pos);
        std::vector<int> back(k, -1);
        VLK_Math_index_combo(n, k, rank, back.data(), T.data(), s);
        EXPECT_EQ(back, all[pos]);
      }
    }
  }
  // A table of exactly n entries per row, as for the 4-choose-2 example.
  std::vector<std::uint64_t> T4(8);
  VLK_Math_combo_index_table(4, 2, T4.data());
  std::vector<std::uint64_t> ranks;
  for (const auto& c : enumerate(4, 2))
    ranks.push_back(VLK_Math_combo_index(4, 2, c.data(), T4.data(), 4));
  EXPECT_EQ(ranks, (std::vector<std::uint64_t>{5, 4, 3, 2, 1, 0}));
  EXPECT_EQ(VLK_Math_combo_index(4, 0, nullptr, T4.data(), 4), 0u);
  VLK_Math_index_combo(4, 0, 0, nullptr, T4.data(), 4);  // nothing to write
}

TEST(MathCombos, MappedRanks) {
  // Combinations of 5 local items whose global numbers (of 8) are map[i].
  const int n = 8, k = 3, s = 8;
  const int map[5] = {1, 2, 4, 6, 7};
  int inv[8];
  for (int i = 0; i < 5; ++i) inv[map[i]] = i;
  const int perm[5] = {4, 0, 3, 1, 2};  // map2: a reordering in front of map
  int perm_inv[5];
  for (int i = 0; i < 5; ++i) perm_inv[perm[i]] = i;
  std::vector<std::uint64_t> T(k * s);
  VLK_Math_combo_index_table(s, k, T.data());
  for (const auto& c : enumerate(5, k)) {
    int global[k];
    for (int i = 0; i < k; ++i) global[i] = map[c[i]];
    const std::uint64_t rank = VLK_Math_combo_index(n, k, global, T.data(), s);
    EXPECT_EQ(VLK_Math_combo_index2(n, k, c.data(), T.data(), s, map), rank);
    int via[k];
    for (int i = 0; i < k; ++i) via[i] = perm_inv[c[i]];  // map2[via[i]] = c[i]
    EXPECT_EQ(VLK_Math_combo_index3(n, k, via, T.data(), s, map, perm), rank);
    std::vector<int> back(k);
    VLK_Math_index_combo2(n, k, rank, back.data(), T.data(), s, inv);
    EXPECT_EQ(back, c);
  }
}
