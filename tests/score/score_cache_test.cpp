// The two score caches around the scripted test score, whose value depends only on the child and
// the set of parents and which counts its calls: a cache must answer exactly what the wrapped
// score answers, call it less, and fall back to it (never to a wrong value) when it has no room.
// A behaviour both caches share is one test over both kinds.
#include <gtest/gtest.h>
#include <omp.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "ScoreCache2.h"
#include "VLK_KeyValues.h"
#include "VLK_ScoreCache3.h"
#include "simulated_data.h"
#include "test_score.h"
#include "vlk_owned.h"
#include "vlk_test.h"

namespace {

using vlk_test::TestScore;
using vlk_test::TestScoreConfig;
using vlk_test::TestScoreMode;

enum class Kind { tree, hash };
constexpr Kind kKinds[] = {Kind::tree, Kind::hash};
const char* name_of(Kind k) { return k == Kind::tree ? "prefix tree" : "hash"; }

constexpr size_t kMiB = size_t{1} << 20;

// A test score over p nodes (random table) wrapped by one cache. bound is the tree's bound and
// the hash cache's max_parents.
struct Cached {
  VLK_Score* rec;
  TestScore* inner;

  Cached(Kind kind, int p, int bound, size_t memory, int threads = 8) {
    TestScoreConfig cfg;
    cfg.mode = TestScoreMode::random;
    cfg.nodes = p;
    cfg.seed = 11;
    cfg.threads = threads;
    rec = vlk_test::test_score_new(cfg);
    inner = vlk_test::test_score_state(rec);
    if (kind == Kind::tree)
      ScoreCache2_init(rec, bound, memory, p);
    else
      VLK_ScoreCache3_init(rec, p, bound, memory, threads);
  }
  ~Cached() {
    rec->finalize(rec->state);
    std::free(rec);
  }
  Cached(const Cached&) = delete;
  Cached& operator=(const Cached&) = delete;

  double score(int child, std::vector<int> parents) {
    return rec->score(rec->state, child, parents.data(), static_cast<int>(parents.size()));
  }
  double truth(int child, const std::vector<int>& parents) const {
    return inner->value(child, parents.data(), static_cast<int>(parents.size()));
  }
  std::uint64_t calls() const { return inner->calls.load(); }
  // The parents of the wrapped score's latest call, in the order it received them.
  const std::vector<int>& last_parents() const { return inner->last[0].parents; }
  std::string status() {
    return vlk_test::capture([&](FILE* fp) { rec->status(rec->state, fp); });
  }
  ScoreCache2* tree() const { return static_cast<ScoreCache2*>(rec->state); }
  VLK_ScoreCache3* hash() const { return static_cast<VLK_ScoreCache3*>(rec->state); }
};

// ---- What both caches do ---------------------------------------------------------------------

TEST(ScoreCache, OneEntryPerChildAndParentSetInAnyOrder) {
  for (Kind kind : kKinds) {
    SCOPED_TRACE(name_of(kind));
    vlk_test::CaptureErr quiet;
    Cached c(kind, 20, 10, kMiB);
    EXPECT_EQ(c.score(4, {9, 3, 7}), c.truth(4, {3, 7, 9}));
    EXPECT_EQ(c.calls(), 1u);
    EXPECT_EQ(c.last_parents(), (std::vector<int>{3, 7, 9}));  // a miss scores the sorted set
    for (const std::vector<int>& order : {std::vector<int>{3, 7, 9}, {7, 9, 3}, {9, 7, 3}})
      EXPECT_EQ(c.score(4, order), c.truth(4, {3, 7, 9}));
    EXPECT_EQ(c.calls(), 1u);
    // Another child with the same parents is another entry; a subset is another set.
    EXPECT_EQ(c.score(5, {3, 7, 9}), c.truth(5, {3, 7, 9}));
    EXPECT_EQ(c.score(4, {3, 7}), c.truth(4, {3, 7}));
    EXPECT_EQ(c.calls(), 3u);
    EXPECT_EQ(c.score(5, {9, 7, 3}), c.truth(5, {3, 7, 9}));
    EXPECT_EQ(c.calls(), 3u);
  }
}

// The empty set is never kept, and a switched-off cache forwards every call: the tree with the
// caller's order, the hash cache with the sorted copy. Switched on again, it still knows what it
// stored before.
TEST(ScoreCache, EmptySetsAndSwitchedOffCallsGoThrough) {
  for (Kind kind : kKinds) {
    SCOPED_TRACE(name_of(kind));
    vlk_test::CaptureErr quiet;
    Cached c(kind, 20, 10, kMiB);
    EXPECT_EQ(c.score(2, {}), c.truth(2, {}));
    EXPECT_EQ(c.score(2, {}), c.truth(2, {}));
    EXPECT_EQ(c.calls(), 2u);

    c.score(2, {5, 1});
    c.rec->cache(c.rec->state, 0);
    EXPECT_EQ(c.score(2, {5, 1}), c.truth(2, {1, 5}));
    EXPECT_EQ(c.score(2, {8, 6}), c.truth(2, {6, 8}));
    EXPECT_EQ(c.calls(), 5u);
    EXPECT_EQ(c.last_parents(),
              kind == Kind::tree ? (std::vector<int>{8, 6}) : (std::vector<int>{6, 8}));
    c.rec->cache(c.rec->state, 1);
    EXPECT_EQ(c.score(2, {1, 5}), c.truth(2, {1, 5}));
    EXPECT_EQ(c.score(2, {6, 8}), c.truth(2, {6, 8}));  // scored while off: not stored
    EXPECT_EQ(c.calls(), 6u);
    // The wrapped module's own cache switch is the cache's, not passed on.
    EXPECT_EQ(c.inner->cache_switches.load(), 0u);
  }
}

// A set wider than the cache was made for goes to the score as given, unstored, without
// touching the cache's buffers.
TEST(ScoreCache, WiderParentSetsPassStraightThrough) {
  for (Kind kind : kKinds) {
    SCOPED_TRACE(name_of(kind));
    vlk_test::CaptureErr err;
    Cached c(kind, 20, 2, kMiB);  // tree width 3, hash 2 parents
    const std::vector<int> wide =
        kind == Kind::tree ? std::vector<int>{9, 4, 6, 1} : std::vector<int>{9, 4, 6};
    const std::string before = c.status();
    for (int i = 0; i < 2; ++i) {
      EXPECT_EQ(c.score(3, wide), c.truth(3, wide));
      EXPECT_EQ(c.last_parents(), wide);
    }
    EXPECT_EQ(c.calls(), 2u);
    EXPECT_EQ(c.status(), before);
    EXPECT_EQ(err.text().find('@'), std::string::npos);
  }
}

// prop describes the latest score call of the thread; after a hit the wrapped score has last
// seen something else, so the cache scores the same child and parents again first.
TEST(ScoreCache, PropFollowsARescoreOfTheSameSet) {
  for (Kind kind : kKinds) {
    SCOPED_TRACE(name_of(kind));
    vlk_test::CaptureErr quiet;
    Cached c(kind, 20, 10, kMiB);
    c.score(0, {1, 2});
    c.score(3, {4});
    const std::uint64_t calls = c.calls();
    std::vector<int> parents{2, 1};
    c.score(0, parents);
    ASSERT_EQ(c.calls(), calls);  // a hit: the wrapped score last saw child 3
    vlk::Owned<VLK_KeyValues, VLK_KeyValues_delete> prop(
        c.rec->prop(c.rec->state, 0, parents.data(), 2, 0));
    ASSERT_NE(prop, nullptr);
    EXPECT_EQ(c.inner->prop_calls.load(), 1u);
    EXPECT_EQ(c.inner->stale_props.load(), 0u);
    EXPECT_EQ(VLK_KeyValues_get_int(prop.get(), "TestScore.parent", -1), 2);
  }
}

// A module without prop gives none through the cache (and is not scored for it).
TEST(ScoreCache, NoPropWithoutTheModulesOwn) {
  for (Kind kind : kKinds) {
    SCOPED_TRACE(name_of(kind));
    vlk_test::CaptureErr quiet;
    Cached c(kind, 20, 10, kMiB);
    auto* cache_copy = kind == Kind::tree ? c.tree()->copy : c.hash()->copy;
    cache_copy->prop = nullptr;
    int parents[] = {1};
    EXPECT_EQ(c.rec->prop(c.rec->state, 0, parents, 1, 0), nullptr);
    EXPECT_EQ(c.calls(), 0u);
  }
}

int evaluations = 0;
void count_evaluation(void*, VLK_Network*) { ++evaluations; }

// The record keeps its name, omp_init and thread count, loses init, and gets the cache's slots;
// evaluate is forwarded only when the module has one, and the cache's own evaluate says so.
TEST(ScoreCache, WrapsTheRecordInPlace) {
  for (Kind kind : kKinds)
    for (bool evaluates : {false, true}) {
      SCOPED_TRACE(testing::Message() << name_of(kind) << (evaluates ? ", evaluate" : ""));
      vlk_test::CaptureErr err;
      TestScoreConfig cfg;
      cfg.mode = TestScoreMode::random;
      cfg.nodes = 10;
      cfg.threads = 8;
      VLK_Score* rec = vlk_test::test_score_new(cfg);
      if (evaluates) rec->evaluate = count_evaluation;
      const VLK_Score before = *rec;
      if (kind == Kind::tree)
        ScoreCache2_init(rec, 4, kMiB, 10);
      else
        VLK_ScoreCache3_init(rec, 10, 4, kMiB, 8);
      EXPECT_EQ(rec->name, before.name);
      EXPECT_EQ(rec->omp_init, before.omp_init);
      EXPECT_EQ(rec->reserved0, before.reserved0);
      EXPECT_EQ(rec->init, nullptr);
      for (auto slot : {reinterpret_cast<void*>(rec->score), reinterpret_cast<void*>(rec->finalize),
                        reinterpret_cast<void*>(rec->prop), reinterpret_cast<void*>(rec->reinit),
                        reinterpret_cast<void*>(rec->status), reinterpret_cast<void*>(rec->cache)})
        EXPECT_NE(slot, nullptr);
      EXPECT_NE(rec->score, before.score);
      EXPECT_NE(rec->state, before.state);
      evaluations = 0;
      if (evaluates) {
        ASSERT_NE(rec->evaluate, nullptr);
        rec->evaluate(rec->state, nullptr);
        EXPECT_EQ(evaluations, 1);
      } else {
        EXPECT_EQ(rec->evaluate, nullptr);
        const std::string head = err.text();
        if (kind == Kind::tree)
          ScoreCache2_evaluate(static_cast<ScoreCache2*>(rec->state), nullptr);
        else
          VLK_ScoreCache3_evaluate(static_cast<VLK_ScoreCache3*>(rec->state), nullptr);
        const char* prefix = kind == Kind::tree ? "ScoreCache2" : "ScoreCache3";
        EXPECT_EQ(
            err.text().substr(head.size()),
            std::string(prefix) + ": 'evaulate' not supported in the cached score function.\n");
      }
      rec->finalize(rec->state);
      std::free(rec);
    }
}

// A reinit passes on to the module and forgets every entry; the hash cache's stored count goes
// on from where it was.
TEST(ScoreCache, ReinitForgetsEverything) {
  const char* expected[] = {
      "ScoreCache2: Reinit() called.\n"
      "ScoreCache2: Calling the original reinit()...\n"
      "ScoreCache2: Clearing the cache)...\n"
      "ScoreCache2: Score cache cleared.\n",
      "ScoreCache3: reinit() called.\n",
  };
  for (Kind kind : kKinds) {
    SCOPED_TRACE(name_of(kind));
    vlk_test::CaptureErr err;
    Cached c(kind, 20, 10, kMiB);
    const std::string fresh = c.status();
    c.score(1, {2, 3});
    c.score(1, {2});
    c.score(7, {0});
    const vlk::Owned<VLK_Data, VLK_Data_delete> data(vlk_test::make_data(20, 3, false));
    const std::string head = err.text();
    c.rec->reinit(data.get(), c.rec->state);
    EXPECT_EQ(err.text().substr(head.size()), expected[kind == Kind::tree ? 0 : 1]);
    EXPECT_EQ(c.inner->reinit_calls.load(), 1u);
    if (kind == Kind::tree) {
      EXPECT_EQ(c.status(), fresh);
    }
    EXPECT_EQ(c.score(1, {3, 2}), c.truth(1, {2, 3}));
    EXPECT_EQ(c.score(1, {2}), c.truth(1, {2}));
    EXPECT_EQ(c.score(7, {0}), c.truth(7, {0}));
    EXPECT_EQ(c.calls(), 6u);
    EXPECT_EQ(c.score(1, {2, 3}), c.truth(1, {2, 3}));
    EXPECT_EQ(c.calls(), 6u);
    if (kind == Kind::hash) {
      EXPECT_EQ(c.status(), "ScoreCache3: Status: Buffer Usage = 6/14559 = 0.04 %\n");
    }
  }
}

// ---- The prefix tree -------------------------------------------------------------------------

TEST(ScoreCache2, ReportsItsBudgetAndUsage) {
  vlk_test::CaptureErr err;
  {
    Cached c(Kind::tree, 50, 10, kMiB);
    EXPECT_EQ(err.text(),
              "ScoreCache2: Max memory = 1,048,576 [bytes] (1 [MiB])\n"
              "ScoreCache2: Max parents = 15\n"
              "ScoreCache2: Require 32 bytes for each slot.  32,766 slots allocated.\n");
    ASSERT_EQ(c.tree()->nodes, 32766u);
    EXPECT_EQ(c.status(), "ScoreCache2: Status: Buffer Usage = 0.15 %\n");  // 50 roots
    c.score(0, {1, 2});                                                     // two blocks of 15
    EXPECT_EQ(c.status(), "ScoreCache2: Status: Buffer Usage = 0.24 %\n");
  }
  EXPECT_TRUE(err.text().ends_with("ScoreCache2: Releasing allocated resources.\n"));
}

// {3, 7} and {3, 7, 9} share the path of 3 and 7: the first score sits in node 7, the second
// in its child 9. Children stay sorted by key whatever the order they come in.
TEST(ScoreCache2, SetsShareTheirSortedPrefix) {
  vlk_test::CaptureErr quiet;
  Cached c(Kind::tree, 20, 4, kMiB);
  const int width = c.tree()->width;
  c.score(0, {7, 3});
  c.score(0, {9, 3, 7});
  c.score(0, {5});
  c.score(0, {1});
  const ScoreCache2Node* root = &c.tree()->pool[0];
  ASSERT_EQ(root->count, 3);
  EXPECT_EQ(root->children[0].key, 1);
  EXPECT_EQ(root->children[1].key, 3);
  EXPECT_EQ(root->children[2].key, 5);
  const ScoreCache2Node* n3 = &root->children[1];
  ASSERT_EQ(n3->count, 1);
  const ScoreCache2Node* n7 = &n3->children[0];
  EXPECT_EQ(n7->key, 7);
  EXPECT_EQ(n7->score, c.truth(0, {3, 7}));
  ASSERT_EQ(n7->count, 1);
  EXPECT_EQ(n7->children[0].key, 9);
  EXPECT_EQ(n7->children[0].score, c.truth(0, {3, 7, 9}));
  // Blocks: the root's, node 3's and node 7's.
  EXPECT_EQ(c.tree()->used, 20u + 3u * static_cast<size_t>(width));
  EXPECT_EQ(c.calls(), 4u);
}

// A node with `width` children takes no new key: "@" and the score, unstored; known keys there
// still hit.
TEST(ScoreCache2, FullNodeAnswersUnstored) {
  vlk_test::CaptureErr err;
  Cached c(Kind::tree, 20, 2, kMiB);  // width 3
  for (int x : {1, 2, 3}) c.score(0, {x});
  const std::string head = err.text();
  for (int i = 0; i < 2; ++i) EXPECT_EQ(c.score(0, {4}), c.truth(0, {4}));
  EXPECT_EQ(err.text().substr(head.size()), "@@");
  EXPECT_EQ(c.calls(), 5u);
  EXPECT_EQ(c.score(0, {2}), c.truth(0, {2}));
  EXPECT_EQ(c.calls(), 5u);
}

// A pool of exactly p + width nodes: the first node that needs a block takes the last width
// nodes, the next finds the pool exhausted and answers unstored, silently.
TEST(ScoreCache2, ExhaustedPoolAnswersUnstored) {
  vlk_test::CaptureErr err;
  const int p = 4, width = 3;
  Cached c(Kind::tree, p, 2, 4 * width + 32 * (p + width));
  ASSERT_EQ(c.tree()->nodes, static_cast<size_t>(p + width));
  c.score(0, {1});
  EXPECT_EQ(c.tree()->used, c.tree()->nodes);
  const std::string head = err.text();
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(c.score(1, {2}), c.truth(1, {2}));        // root 1 finds no block
    EXPECT_EQ(c.score(0, {1, 2}), c.truth(0, {1, 2}));  // nor does node 1 of root 0
  }
  EXPECT_EQ(c.calls(), 5u);
  EXPECT_EQ(c.score(0, {1}), c.truth(0, {1}));
  EXPECT_EQ(c.calls(), 5u);
  EXPECT_EQ(err.text().substr(head.size()), "");
}

// A budget without room for the sort buffer and the roots would write past the pool, or wrap
// round to a huge one: refused. Exactly enough passes.
TEST(ScoreCache2, RefusesABudgetBelowTheRoots) {
  const int p = 10;  // bound 10: width 15, a sort buffer of 60 bytes
  const size_t need = 60 + 32 * p;
  for (size_t memory : {size_t{59}, size_t{0}, need - 1}) {
    SCOPED_TRACE(memory);
    const auto end = vlk_test::run_fatal([&] { Cached c(Kind::tree, p, 10, memory); });
    EXPECT_TRUE(end.exit1());
    EXPECT_TRUE(
        end.err.ends_with("ERROR: ScoreCache2: Memory insufficient: " + std::to_string(memory) +
                          " bytes given, 380 needed for 10 roots.\n"))
        << end.err;
  }
  vlk_test::CaptureErr quiet;
  Cached c(Kind::tree, p, 10, need);
  EXPECT_EQ(c.tree()->nodes, static_cast<size_t>(p));
  EXPECT_EQ(c.score(3, {1, 2}), c.truth(3, {1, 2}));  // no block left: answered unstored
}

// ---- The hash cache --------------------------------------------------------------------------

TEST(ScoreCache3, ReportsItsBudgetAndUsage) {
  vlk_test::CaptureErr err;
  {
    Cached c(Kind::hash, 50, 10, kMiB, 2);
    EXPECT_EQ(err.text(),
              "ScoreCache3: Initializing ...\n"
              "ScoreCache3:   p = 50, Max parents = 10, threads = 2\n"
              "ScoreCache3:   Max memory = 1,048,576 [bytes] (1 [MiB])\n"
              "ScoreCache3:   Allocating temprary buffer...\n"
              "ScoreCache3:   Allocating 14,562 slots...\n");
    EXPECT_EQ(c.status(), "ScoreCache3: Status: Buffer Usage = 0/14562 = 0.00 %\n");
    c.score(0, {1, 2});
    c.score(0, {2, 1});
    c.score(1, {2});
    EXPECT_EQ(c.status(), "ScoreCache3: Status: Buffer Usage = 2/14562 = 0.01 %\n");
  }
  EXPECT_TRUE(err.text().ends_with("ScoreCache3: finalize: Buffer Usage = 2/14562 = 0.01 %\n"));
}

// The searches read the thread count from the record: it never exceeds the sort buffers.
TEST(ScoreCache3, RecordServesNoMoreThreadsThanItHasBuffers) {
  vlk_test::CaptureErr quiet;
  Cached c(Kind::hash, 10, 4, kMiB, 8);
  EXPECT_EQ(VLK_Score_threads(c.rec), 8);
  VLK_ScoreCache3_init(c.rec, 10, 4, kMiB, 3);  // a second cache around the first
  EXPECT_EQ(VLK_Score_threads(c.rec), 3);
}

// A table whose every slot on the probe path is taken prints "@" per miss and answers right.
TEST(ScoreCache3, CrowdedTableAnswersUnstored) {
  vlk_test::CaptureErr err;
  // One thread, one parent: 4 bytes of sort buffer and 36-byte slots, three of them.
  Cached c(Kind::hash, 10, 1, 4 + 3 * 36, 1);
  ASSERT_EQ(c.hash()->slots, 3u);
  for (int x : {1, 2, 3}) c.score(0, {x});
  const std::string head = err.text();
  for (int i = 0; i < 2; ++i) EXPECT_EQ(c.score(0, {4}), c.truth(0, {4}));
  EXPECT_EQ(err.text().substr(head.size()), "@@");
  for (int x : {1, 2, 3}) EXPECT_EQ(c.score(0, {x}), c.truth(0, {x}));
  EXPECT_EQ(c.calls(), 5u);
  EXPECT_EQ(c.hash()->stored, 3u);
}

// Budgets below the sort buffers, or with no room for one slot beyond them (a modulo by zero),
// are refused; the smallest that holds one slot works.
TEST(ScoreCache3, RefusesBudgetsWithoutASlot) {
  // 2 threads x 4 parents: 32 bytes of sort buffers; a slot takes 48.
  const struct {
    size_t memory;
    const char* message;
  } cases[] = {
      {31, "ERROR: ScoreCache3: Memory insufficient.\n"},
      {0, "ERROR: ScoreCache3: Memory insufficient.\n"},
      {32, "ERROR: ScoreCache3: Memory insufficient for a single slot.\n"},
      {79, "ERROR: ScoreCache3: Memory insufficient for a single slot.\n"},
  };
  for (const auto& t : cases) {
    SCOPED_TRACE(t.memory);
    const auto end = vlk_test::run_fatal([&] { Cached c(Kind::hash, 10, 4, t.memory, 2); });
    EXPECT_TRUE(end.exit1());
    EXPECT_TRUE(end.err.ends_with(t.message)) << end.err;
  }
  vlk_test::CaptureErr quiet;
  Cached c(Kind::hash, 10, 4, 80, 2);
  EXPECT_EQ(c.hash()->slots, 1u);
  EXPECT_EQ(c.score(3, {1, 2}), c.truth(3, {1, 2}));
  EXPECT_EQ(c.score(3, {2, 1}), c.truth(3, {1, 2}));
  EXPECT_EQ(c.score(4, {1, 2}), c.truth(4, {1, 2}));  // the one slot is taken: "@"
  EXPECT_EQ(c.calls(), 2u);
}

// Eight threads look up random sets over a small key space at once: every answer is the
// score's own, and most come from the table. (Run in the sanitizer build as well.)
TEST(ScoreCache3, ConcurrentLookupsAnswerRight) {
  constexpr int kThreads = 8, kLookups = 100000, kNodes = 12;
  vlk_test::CaptureErr quiet;
  Cached c(Kind::hash, kNodes, 3, 4 * kMiB, kThreads);
  std::uint64_t wrong = 0;
#pragma omp parallel num_threads(kThreads) reduction(+ : wrong)
  {
    std::uint64_t state = 977 * static_cast<std::uint64_t>(omp_get_thread_num() + 1);
    auto next = [&state](int k) {
      state = state * 6364136223846793005ULL + 1442695040888963407ULL;
      return static_cast<int>((state >> 33) % static_cast<std::uint64_t>(k));
    };
    int parents[3];
    for (int i = 0; i < kLookups; ++i) {
      const int child = next(kNodes);
      const int q = 1 + next(3);
      for (int k = 0; k < q;) {  // distinct parents among the first six nodes
        const int x = next(6);
        bool seen = false;
        for (int j = 0; j < k; ++j) seen = seen || parents[j] == x;
        if (!seen) parents[k++] = x;
      }
      const double expect = c.inner->value(child, parents, q);
      if (c.rec->score(c.rec->state, child, parents, q) != expect) ++wrong;
    }
  }
  EXPECT_EQ(wrong, 0u);
  // 12 children x 41 sets: every set is scored at most a few times over (two threads may miss
  // on the same key together).
  EXPECT_LT(c.calls(), std::uint64_t{kThreads} * kLookups / 20);
  EXPECT_EQ(c.hash()->stored, c.calls());
}

}  // namespace
