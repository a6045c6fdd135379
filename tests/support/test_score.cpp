#include "test_score.h"

#include <omp.h>

#include <algorithm>
#include <cinttypes>
#include <cstdlib>
#include <cstring>
#include <numeric>
#include <string_view>

#include "VLK_ArgDef.h"
#include "vlk_check.h"
#include "vlk_fatal.h"

namespace vlk_test {

namespace {

constexpr std::uint64_t mix(std::uint64_t x) {
  x += 0x9e3779b97f4a7c15ULL;
  x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ULL;
  x = (x ^ (x >> 27)) * 0x94d049bb133111ebULL;
  return x ^ (x >> 31);
}

// Deterministic on every platform (unlike the standard distributions).
struct SplitMix {
  std::uint64_t state;
  std::uint64_t next() { return mix(state++); }
  int below(int k) { return static_cast<int>(next() % static_cast<std::uint64_t>(k)); }
};

bool bad_arguments(const TestScoreConfig& cfg, int child, const int* parents, int q) {
  const int p = cfg.nodes;
  if (child < 0 || child >= p || q < 0) return true;
  if (cfg.max_parents > 0 && q > cfg.max_parents) return true;
  for (int i = 0; i < q; ++i) {
    if (parents[i] < 0 || parents[i] >= p) return true;
    if (parents[i] == child && !cfg.allow_self) return true;
    for (int j = 0; j < i; ++j)
      if (parents[j] == parents[i]) return true;
  }
  return false;
}

template <class T>
void raise_to(std::atomic<T>& a, T v) {
  T cur = a.load(std::memory_order_relaxed);
  while (cur < v && !a.compare_exchange_weak(cur, v, std::memory_order_relaxed)) {
  }
}

}  // namespace

TestScore::TestScore(TestScoreConfig cfg) : config(std::move(cfg)) {
  const auto p = static_cast<size_t>(std::max(config.nodes, 0));
  planted.assign(p * p, 0);
  config.parents.resize(p);
  last.resize(static_cast<size_t>(std::max(config.threads, 1)));
  for (size_t c = 0; c < p; ++c)
    for (int j : config.parents[c])
      if (j >= 0 && static_cast<size_t>(j) < p) planted[c * p + static_cast<size_t>(j)] = 1;
}

bool TestScore::is_planted(int parent, int child) const {
  const int p = config.nodes;
  if (parent < 0 || parent >= p || child < 0 || child >= p) return false;
  return planted[static_cast<size_t>(child) * static_cast<size_t>(p) +
                 static_cast<size_t>(parent)] != 0;
}

double TestScore::value(int child, const int* parents, int q) const {
  q = std::max(q, 0);
  switch (config.mode) {
    case TestScoreMode::planted: {
      double s = config.base;
      for (int i = 0; i < q; ++i)
        s += is_planted(parents[i], child) ? -config.gain : config.penalty;
      return s;
    }
    case TestScoreMode::random: {
      // A sum of per-parent hashes does not depend on the order of the parents.
      const std::uint64_t key = mix(config.seed ^ mix(static_cast<std::uint64_t>(child)));
      std::uint64_t acc = 0;
      for (int i = 0; i < q; ++i) acc += mix(key ^ static_cast<std::uint64_t>(parents[i]));
      const std::uint64_t h = mix(acc ^ mix(key + static_cast<std::uint64_t>(q)));
      return config.base + static_cast<double>(h >> 11) * 0x1.0p-53;
    }
    case TestScoreMode::tie:
      return config.base - config.step * q;
  }
  return config.base;
}

double TestScore::total(const std::vector<std::vector<int>>& parents) const {
  double sum = 0.0;
  for (size_t c = 0; c < parents.size(); ++c)
    sum += value(static_cast<int>(c), parents[c].data(), static_cast<int>(parents[c].size()));
  return sum;
}

void TestScore::reset_counters() {
  for (auto* c : {&calls, &bad_calls, &prop_calls, &status_calls, &reinit_calls, &cache_switches,
                  &thread_mask, &stale_props})
    c->store(0);
  max_q.store(0);
}

std::vector<std::vector<int>> random_dag(int p, int max_parents, std::uint64_t seed) {
  std::vector<std::vector<int>> parents(static_cast<size_t>(std::max(p, 0)));
  std::vector<int> order(parents.size());
  std::iota(order.begin(), order.end(), 0);
  SplitMix rng{seed};
  for (int i = p - 1; i > 0; --i) std::swap(order[i], order[rng.below(i + 1)]);
  for (int i = 1; i < p; ++i) {
    const int k = rng.below(std::min(std::max(max_parents, 0), i) + 1);
    std::vector<int> earlier(order.begin(), order.begin() + i);
    for (int j = 0; j < k; ++j) {  // k distinct nodes placed before order[i]
      const int pick = j + rng.below(i - j);
      std::swap(earlier[j], earlier[pick]);
    }
    auto& list = parents[order[i]];
    list.assign(earlier.begin(), earlier.begin() + k);
    std::sort(list.begin(), list.end());
  }
  return parents;
}

void* test_score_init(VLK_Data* data, VLK_ScoreArgs* args) {
  char* mode = nullptr;
  int seed = 1, indegree = 2, self = 0;
  TestScoreConfig cfg;
  const VLK_ArgDef table[] = {
      vlk::arg_string("mode", &mode),
      vlk::arg_int("seed", &seed),
      vlk::arg_double("base", &cfg.base),
      vlk::arg_double("gain", &cfg.gain),
      vlk::arg_double("penalty", &cfg.penalty),
      vlk::arg_double("step", &cfg.step),
      vlk::arg_int("indegree", &indegree),
      vlk::arg_flag_on("self", &self),
      vlk::arg_end(),
  };
  const int bad = VLK_KeyValues_set_values_kv(args->options, table);
  if (bad != -1) {
    const int i = bad >= 0 ? bad : -(bad + 2);
    vlk::fatal("ERROR: TestScore: bad option: %s\n",
               VLK_KeyValues_get_key(args->options, static_cast<size_t>(i)));
  }
  const std::string_view m = mode ? mode : "planted";
  if (m == "planted") {
    cfg.mode = TestScoreMode::planted;
  } else if (m == "random") {
    cfg.mode = TestScoreMode::random;
  } else if (m == "tie") {
    cfg.mode = TestScoreMode::tie;
  } else {
    vlk::fatal("ERROR: TestScore: unknown mode: %s\n", mode);
  }
  std::free(mode);
  cfg.nodes = data->p;
  cfg.seed = static_cast<std::uint64_t>(seed);
  cfg.max_parents = args->max_parents;
  cfg.threads = std::max(args->threads, 1);
  cfg.allow_self = self != 0;
  if (cfg.mode == TestScoreMode::planted) cfg.parents = random_dag(data->p, indegree, cfg.seed);
  auto* state = new TestScore(std::move(cfg));
  args->used_memory = sizeof(TestScore) + state->planted.size();
  return state;
}

double test_score_score(TestScore* state, int child, int* parents, int q) {
  state->calls.fetch_add(1, std::memory_order_relaxed);
  const int t = omp_get_thread_num();
  vlk::check(t < state->config.threads, "TestScore called by more threads than it was made for");
  if (t >= 0 && t < 64)
    state->thread_mask.fetch_or(std::uint64_t{1} << t, std::memory_order_relaxed);
  raise_to(state->max_q, q);
  if (t >= 0 && static_cast<size_t>(t) < state->last.size()) {
    auto& last = state->last[static_cast<size_t>(t)];
    last.child = child;
    last.parents.assign(parents, parents + std::max(q, 0));
  }
  if (bad_arguments(state->config, child, parents, q)) {
    state->bad_calls.fetch_add(1, std::memory_order_relaxed);
    if (child < 0 || child >= state->config.nodes || q < 0) return state->config.base;
  }
  return state->value(child, parents, q);
}

void test_score_finalize(TestScore* state) { delete state; }

VLK_KeyValues* test_score_prop(TestScore* state, int child, int* parents, int q, int k) {
  state->prop_calls.fetch_add(1, std::memory_order_relaxed);
  const int t = omp_get_thread_num();
  const bool fresh =
      t >= 0 && static_cast<size_t>(t) < state->last.size() &&
      state->last[static_cast<size_t>(t)].child == child &&
      std::equal(parents, parents + q, state->last[static_cast<size_t>(t)].parents.begin(),
                 state->last[static_cast<size_t>(t)].parents.end());
  if (!fresh) state->stale_props.fetch_add(1, std::memory_order_relaxed);
  VLK_KeyValues* list = VLK_KeyValues_new();
  VLK_KeyValues_put_int(list, "TestScore.parent", parents[k]);
  VLK_KeyValues_put_int(list, "TestScore.planted", state->is_planted(parents[k], child) ? 1 : 0);
  VLK_KeyValues_put_double(list, "TestScore.score", state->value(child, parents, q));
  return list;
}

void test_score_cache(TestScore* state, int on) {
  state->cache_switches.fetch_add(1, std::memory_order_relaxed);
  state->cache_on.store(on);
}

void test_score_status(TestScore* state, FILE* fp) {
  state->status_calls.fetch_add(1, std::memory_order_relaxed);
  std::fprintf(fp, "TestScore: %" PRIu64 " calls\n", state->calls.load());
}

void test_score_reinit(VLK_Data* data, TestScore* state) {
  state->reinit_calls.fetch_add(1, std::memory_order_relaxed);
  if (data->p != state->config.nodes)
    vlk::fatal("ERROR: TestScore: reinit: %d nodes, the state has %d.\n", data->p,
               state->config.nodes);
}

// The state is safe to share, so every thread gets the same one.
TestScore** test_score_omp_init(VLK_ScoreArgs*, TestScore* state, int nthreads) {
  if (nthreads <= 0) return nullptr;
  auto** states = static_cast<TestScore**>(std::malloc(sizeof(TestScore*) * nthreads));
  if (states != nullptr) std::fill_n(states, nthreads, state);
  return states;
}

VLK_Score* test_score_record() {
  auto* s = static_cast<VLK_Score*>(std::malloc(sizeof(VLK_Score)));
  *s = VLK_Score{
      .name = kTestScoreName,
      .init = vlk::init_slot<test_score_init>,
      .score = vlk::score_slot<test_score_score>,
      .finalize = vlk::finalize_slot<test_score_finalize>,
      .prop = vlk::prop_slot<test_score_prop>,
      .cache = vlk::cache_slot<test_score_cache>,
      .status = vlk::status_slot<test_score_status>,
      .reinit = vlk::reinit_slot<test_score_reinit>,
      .evaluate = nullptr,
      .omp_init = vlk::omp_init_slot<test_score_omp_init>,
      .state = nullptr,
      .reserved0 = 0,
      .reserved1 = 0,
  };
  return s;
}

VLK_Score* test_score_new(const TestScoreConfig& cfg) {
  VLK_Score* s = test_score_record();
  s->state = new TestScore(cfg);
  s->reserved0 = cfg.threads;
  return s;
}

void test_score_delete(VLK_Score* score) {
  if (score == nullptr) return;
  if (score->state != nullptr && score->finalize != nullptr) score->finalize(score->state);
  std::free(score);
}

TestScore* test_score_state(const VLK_Score* score) {
  return static_cast<TestScore*>(score->state);
}

}  // namespace vlk_test
