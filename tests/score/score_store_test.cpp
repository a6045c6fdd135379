// The run's score store: what it keeps must be the bits the score computes in any nucleus, at
// any level; the wrapper answers from it without changing a value, from many threads at once.
#include <gtest/gtest.h>
#include <omp.h>

#include <bit>
#include <cstdint>
#include <vector>

#include "VLK_ScoreStore.h"
#include "bnrc_testing.h"

namespace {

using namespace bnrc_testing;

// Twelve genes of 30 samples: smooth functions of one another and noise, so the backfitting of
// two and three parents runs several sweeps.
std::vector<std::vector<double>> genes12() {
  std::vector<std::vector<double>> rows(12, std::vector<double>(30));
  std::uint64_t x = 99;
  auto u = [&x] {
    x = x * 6364136223846793005ULL + 1442695040888963407ULL;
    return static_cast<double>(x >> 11) / 9007199254740992.0 - 0.5;
  };
  for (int s = 0; s < 30; ++s) {
    rows[0][s] = 2 * u();
    rows[1][s] = 2 * u();
    for (int g = 2; g < 12; ++g)
      rows[g][s] = std::sin(rows[(g * 5) % g][s] * g) + rows[g % 2][s] * rows[g % 2][s] + 0.3 * u();
  }
  return rows;
}

// The rows of the given genes, in that order: what a nucleus of them holds.
DataPtr nucleus_of(const std::vector<std::vector<double>>& rows, const std::vector<int>& genes) {
  std::vector<std::vector<double>> picked;
  for (int g : genes) picked.push_back(rows[static_cast<size_t>(g)]);
  return make_data(picked);
}

// A BNRC record over data, as the driver makes one.
struct Record {
  Record(VLK_Data* d, int level, int threads, int max_parents = 3) {
    score = VLK_Score_get("BNRC");
    const std::string options = "linear,level=" + std::to_string(level);
    VLK_KeyValues* kv = VLK_KeyValues_parse(options.c_str());
    VLK_ScoreArgs args{kv, max_parents, size_t{500} << 20, 0, threads, 0, -1};
    vlk_test::CaptureErr quiet;
    VLK_Score_init(score, d, &args);
    VLK_KeyValues_delete(kv);
  }
  ~Record() {
    vlk_test::CaptureErr quiet;
    score->finalize(score->state);
    std::free(score);
  }
  double operator()(int child, std::vector<int> parents) const {
    return score->score(score->state, child, parents.data(), static_cast<int>(parents.size()));
  }
  VLK_Score* score;
};

// A store of n genes with the parent sets, and its blocks.
struct Store {
  explicit Store(int n, size_t set_slots = 1024)
      : cells(VLK_ScoreStore_cells(n)), sets(set_slots, VLK_ScoreSetSlot{0, 0, 0}) {
    VLK_ScoreStore_clear(cells.data(), 0, cells.size());
    store = {cells.data(), n, set_slots ? sets.data() : nullptr, set_slots};
  }
  std::vector<std::uint64_t> cells;
  std::vector<VLK_ScoreSetSlot> sets;
  VLK_ScoreStore store;
};

std::uint64_t bits_of(double x) { return std::bit_cast<std::uint64_t>(x); }

}  // namespace

// The premise of the store: a gene's score given its parents, in their order, is the same double
// in every nucleus that holds the genes and at every pre-calculation level.
TEST(ScoreStore, ScoresDependOnTheGenesAloneAtEveryLevel) {
  const auto rows = genes12();
  DataPtr whole = make_data(rows);
  const Record ref(whole.get(), 2, 1);
  const std::vector<int> genes = {11, 3, 7, 0, 5, 1, 9};  // nucleus position -> gene
  DataPtr nucleus = nucleus_of(rows, genes);
  for (int level : {1, 2, 3}) {
    const Record r(nucleus.get(), level, 1);
    for (int c = 0; c < 7; ++c) {
      const int gc = genes[c];
      EXPECT_EQ(bits_of(r(c, {})), bits_of(ref(gc, {}))) << level << " " << c;
      for (int p = 0; p < 7; ++p) {
        if (p == c) continue;
        const int gp = genes[p];
        EXPECT_EQ(bits_of(r(c, {p})), bits_of(ref(gc, {gp}))) << level << " " << c << "|" << p;
        const int p2 = (p + 2) % 7, p3 = (p + 3) % 7;
        if (p2 == c || p3 == c) continue;
        EXPECT_EQ(bits_of(r(c, {p, p2, p3})), bits_of(ref(gc, {gp, genes[p2], genes[p3]})))
            << level << " " << c << "|" << p << "," << p2 << "," << p3;
      }
    }
  }
}

// Through the wrapper a nucleus gets the scores it would compute; a second nucleus over other
// positions of the same genes finds them stored; the parents' order is part of the key.
TEST(ScoreStore, WrapperReturnsTheComputedScoresAndKeysByGene) {
  const auto rows = genes12();
  Store s(12);
  const std::vector<unsigned short> first = {0, 2, 4, 6, 8, 10}, second = {2, 3, 6, 10};
  DataPtr d1 = nucleus_of(rows, {0, 2, 4, 6, 8, 10});
  DataPtr d2 = nucleus_of(rows, {2, 3, 6, 10});
  const Record plain1(d1.get(), 3, 1), plain2(d2.get(), 3, 1);

  Record wrapped1(d1.get(), 3, 1);
  VLK_ScoreStore_wrap(wrapped1.score, &s.store, first.data(), 6);
  for (int c = 0; c < 6; ++c)
    for (int p = 0; p < 6; ++p)
      EXPECT_EQ(bits_of(wrapped1(c, p == c ? std::vector<int>{} : std::vector<int>{p})),
                bits_of(plain1(c, p == c ? std::vector<int>{} : std::vector<int>{p})));
  EXPECT_EQ(bits_of(wrapped1(1, {3, 5})), bits_of(plain1(1, {3, 5})));  // gene 2 | 6, 10
  EXPECT_EQ(bits_of(wrapped1(1, {5, 3})), bits_of(plain1(1, {5, 3})));  // gene 2 | 10, 6
  double v = 0;
  ASSERT_EQ(VLK_ScoreStore_get(&s.store, 6, 2, &v), 1);
  EXPECT_EQ(bits_of(v), bits_of(plain1(3, {1})));
  EXPECT_EQ(VLK_ScoreStore_get(&s.store, 3, 2, &v), 0);  // gene 3 is in no nucleus yet

  Record wrapped2(d2.get(), 3, 1);
  VLK_ScoreStore_wrap(wrapped2.score, &s.store, second.data(), 4);
  // Gene 2 | 6, 10 and gene 2 | 10, 6: positions 0 | 2, 3 and 0 | 3, 2 here.
  EXPECT_EQ(bits_of(wrapped2(0, {2, 3})), bits_of(plain2(0, {2, 3})));
  EXPECT_EQ(bits_of(wrapped2(0, {3, 2})), bits_of(plain2(0, {3, 2})));
  EXPECT_EQ(bits_of(wrapped2(2, {0})), bits_of(plain2(2, {0})));
  EXPECT_EQ(bits_of(wrapped2(1, {0})), bits_of(plain2(1, {0})));
  const std::string status =
      vlk_test::capture([&](FILE* fp) { wrapped2.score->status(wrapped2.score->state, fp); });
  EXPECT_EQ(status,
            "Score store: 1 of 2 scores of no parent or one parent found stored (50.00 %)\n"
            "Score store: 2 of 2 scores of two or three parents found stored (100.00 %)\n");
  // The same set in two orders is two keys, and no key is 0.
  const int ab[] = {6, 10}, ba[] = {10, 6}, abc[] = {0, 0, 0};
  EXPECT_NE(VLK_ScoreStore_set_key(2, ab, 2), VLK_ScoreStore_set_key(2, ba, 2));
  EXPECT_NE(VLK_ScoreStore_set_key(0, abc, 2), 0u);
  EXPECT_NE(VLK_ScoreStore_set_key(0, abc, 2), VLK_ScoreStore_set_key(0, abc, 3));
  EXPECT_EQ(VLK_ScoreStore_set_key(0, abc, 1), 0u);
}

// Many threads fill and read one store at once through one wrapper: every value is the one the
// score computes, whichever thread stored it; a small set store overwrites its slots meanwhile.
TEST(ScoreStore, ConcurrentFillsFromThreads) {
  const auto rows = genes12();
  DataPtr whole = make_data(rows);
  const Record plain(whole.get(), 3, 1);
  std::vector<std::uint64_t> want(144);
  for (int c = 0; c < 12; ++c)
    for (int p = 0; p < 12; ++p)
      want[static_cast<size_t>(c) * 12 + p] =
          bits_of(plain(c, p == c ? std::vector<int>{} : std::vector<int>{p}));
  std::vector<std::uint64_t> want_sets(144);
  for (int c = 0; c < 12; ++c)
    for (int p = 0; p < 12; ++p)
      if (p != c && (p + 1) % 12 != c)
        want_sets[static_cast<size_t>(c) * 12 + p] = bits_of(plain(c, {p, (p + 1) % 12}));

  const int T = 8;
  Store s(12, 16);
  Record wrapped(whole.get(), 3, T);
  VLK_ScoreStore_wrap(wrapped.score, &s.store, nullptr, 12);
  int wrong = 0;
#pragma omp parallel num_threads(T) reduction(+ : wrong)
  for (int round = 0; round < 20; ++round)
    for (int k = 0; k < 144; ++k) {
      const int i = (k * 37 + omp_get_thread_num() * 11 + round) % 144, c = i / 12, p = i % 12;
      if (bits_of(wrapped(c, p == c ? std::vector<int>{} : std::vector<int>{p})) != want[i])
        ++wrong;
      if (p != c && (p + 1) % 12 != c &&
          bits_of(wrapped(c, {p, (p + 1) % 12})) != want_sets[static_cast<size_t>(i)])
        ++wrong;
    }
  EXPECT_EQ(wrong, 0);
  for (int i = 0; i < 144; ++i) {
    double v = 0;
    ASSERT_EQ(VLK_ScoreStore_get(&s.store, i / 12, i % 12, &v), 1) << i;
    EXPECT_EQ(bits_of(v), want[static_cast<size_t>(i)]) << i;
  }
}

// The unfilled marker: a score with exactly its bits is computed every time and never stored;
// any other NaN is stored like a number.
TEST(ScoreStore, UnfilledMarkerIsNeverStored) {
  Store s(3, 0);
  VLK_ScoreStore_put(&s.store, 1, 2, std::bit_cast<double>(VLK_SCORE_STORE_UNFILLED));
  double v = 0;
  EXPECT_EQ(VLK_ScoreStore_get(&s.store, 1, 2, &v), 0);
  VLK_ScoreStore_put(&s.store, 1, 2, std::nan(""));
  ASSERT_EQ(VLK_ScoreStore_get(&s.store, 1, 2, &v), 1);
  EXPECT_EQ(bits_of(v), bits_of(std::nan("")));
  VLK_ScoreStore_put(&s.store, 2, 2, -0.0);
  ASSERT_EQ(VLK_ScoreStore_get(&s.store, 2, 2, &v), 1);
  EXPECT_EQ(bits_of(v), bits_of(-0.0));
  EXPECT_EQ(VLK_ScoreStore_get(&s.store, 2, 1, &v), 0);
}

// A nucleus whose pairs are all stored needs no state: its calls of no parent and one parent are
// lookups. Genes chosen twice, or a pair not yet stored, still need one.
TEST(ScoreStore, CoveredNucleusScoresWithoutAState) {
  const auto rows = genes12();
  DataPtr whole = make_data(rows);
  const Record plain(whole.get(), 3, 1);
  Store s(12, 0);
  const std::vector<unsigned short> genes = {1, 4, 9}, twice = {1, 4, 4};
  EXPECT_EQ(VLK_ScoreStore_covers(&s.store, genes.data(), 3), 0);
  for (int c : genes)
    for (int p : genes)
      VLK_ScoreStore_put(&s.store, c, p,
                         plain(c, p == c ? std::vector<int>{} : std::vector<int>{p}));
  EXPECT_EQ(VLK_ScoreStore_covers(&s.store, genes.data(), 3), 1);
  EXPECT_EQ(VLK_ScoreStore_covers(&s.store, twice.data(), 3), 0);

  VLK_Score* none = VLK_Score_get("BNRC");
  none->reserved0 = 2;
  VLK_ScoreStore_wrap(none, &s.store, genes.data(), 3);
  int parent = 2;
  EXPECT_EQ(bits_of(none->score(none->state, 0, &parent, 1)), bits_of(plain(1, {9})));
  EXPECT_EQ(bits_of(none->score(none->state, 1, nullptr, 0)), bits_of(plain(4, {})));
  EXPECT_EQ(none->prop(none->state, 0, &parent, 1, 0), nullptr);
  int two[] = {1, 2};
  EXPECT_FATAL_ABORT(none->score(none->state, 0, two, 2),
                     "FATAL ERROR: ScoreStore: score of child 0 with 2 parents not stored, and no "
                     "state to compute it\n");
  vlk_test::CaptureErr quiet;
  none->finalize(none->state);
  std::free(none);
}
