// The nucleus the search benchmarks run on, as the program builds one: 1,000 genes (or
// VLK_BENCH_GENES) x 100 samples simulated from a sparse DAG with nonlinear links, and a
// wrapper that counts the score calls of every thread.
#pragma once

#include <omp.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <numbers>
#include <utility>
#include <vector>

#include "VLK_AlgoArgs.h"
#include "VLK_Data.h"
#include "VLK_Greedy.h"
#include "VLK_Score.h"
#include "velkcom.h"

namespace vlk_bench {

inline constexpr int kSamples = 100;
// Counts score calls, one counter per thread on its own cache line.
struct Counting {
  struct alignas(64) Slot {
    std::uint64_t calls = 0;
  };
  VLK_Score* inner = nullptr;
  Slot slots[64];

  std::uint64_t total() const {
    std::uint64_t sum = 0;
    for (const Slot& s : slots) sum += s.calls;
    return sum;
  }
  void reset() {
    for (Slot& s : slots) s.calls = 0;
  }
};

inline double counting_score(void* state, int child, int* parents, int q) {
  auto* c = static_cast<Counting*>(state);
  ++c->slots[omp_get_thread_num() & 63].calls;
  return c->inner->score(c->inner->state, child, parents, q);
}

inline void counting_cache(void* state, int on) {
  auto* c = static_cast<Counting*>(state);
  c->inner->cache(c->inner->state, on);
}

inline int genes() {
  static const int count = [] {
    const char* v = std::getenv("VLK_BENCH_GENES");
    return v != nullptr && std::atoi(v) > 1 ? std::atoi(v) : 1000;
  }();
  return count;
}

// A sparse random DAG (each gene up to 2 parents among the genes before it in a random order)
// and values: each gene a sum of smooth functions of its parents plus noise.
inline VLK_Data* simulate() {
  const int p = genes();
  std::uint64_t state = 20240611;
  auto uniform = [&state] {
    state = state * 6364136223846793005ULL + 1442695040888963407ULL;
    return (static_cast<double>(state >> 11) + 0.5) * 0x1.0p-53;
  };
  auto normal = [&] {
    return std::sqrt(-2.0 * std::log(uniform())) * std::cos(2.0 * std::numbers::pi * uniform());
  };
  std::vector<int> order(p);
  for (int i = 0; i < p; ++i) order[i] = i;
  for (int i = p - 1; i > 0; --i) std::swap(order[i], order[static_cast<int>(uniform() * (i + 1))]);

  VLK_Data* d = VLK_Data_new();
  d->p = p;
  d->n = kSamples;
  d->X = static_cast<double*>(std::calloc(VLK_Data_cells(p, kSamples), sizeof(double)));
  d->Y = d->X;
  for (int i = 0; i < p; ++i) {
    char name[16];
    std::snprintf(name, sizeof name, "g%d", i);
    VLK_StrArray_add_copy(d->names, name);
    VLK_StrArray_add_copy(d->aliases, name);
  }
  for (int i = 0; i < p; ++i) {
    const int g = order[i];
    const int k = i == 0 ? 0 : static_cast<int>(uniform() * 3.0);  // 0, 1 or 2 parents
    int pa[2] = {-1, -1};
    for (int j = 0; j < k && i > 0; ++j) pa[j] = order[static_cast<int>(uniform() * i)];
    double* row = d->X + static_cast<size_t>(g) * kSamples;
    for (int s = 0; s < kSamples; ++s) {
      double v = k == 0 ? normal() : 0.3 * normal();
      for (int j = 0; j < k; ++j) {
        const double x = d->X[static_cast<size_t>(pa[j]) * kSamples + s];
        v += j == 0 ? std::sin(1.5 * x) + 0.3 * x : 0.6 * x * x - 0.5;
      }
      row[s] = v;
    }
  }
  return d;
}

// The simulated nucleus and a BNRC state on it for `threads` threads, made once and shared by
// every case; the library's progress lines go to /dev/null. Not ready when BNRC is not built.
struct Nucleus {
  VLK_Data* data = nullptr;
  VLK_Score* bnrc = nullptr;
  bool ready = false;

  explicit Nucleus(int threads) {
    VLK_init();
    VELK_ERR = std::fopen("/dev/null", "w");
    bnrc = VLK_Score_get("BNRC");
    if (bnrc == nullptr || bnrc->init == nullptr) return;
    data = simulate();
    VLK_ScoreArgs* args = VLK_ScoreArgs_new();
    args->threads = threads;
    args->verbosity = -1;
    VLK_Score_init(bnrc, data, args);
    VLK_ScoreArgs_delete(args);
    ready = true;
  }
};

// The search record of one climb ("trials=1") over the shared nucleus with the score record
// (which the record then owns), the random numbers of both versions seeded alike.
inline VLK_AlgoArgs* search_args(VLK_Data* data, VLK_Score* score) {
  VLK_AlgoArgs* a = VLK_AlgoArgs_new();
  a->data = data;
  a->score = score;
  a->options = VLK_KeyValues_parse("trials=1");
  a->verbosity = -1;
  a->rng = VLK_RNG_new();
  VLK_RNG_set_seed(a->rng, 7);
  srandom(7);
  return a;
}

// Releases the record, its score record and what the search made, but not the shared nucleus.
inline void release_search_args(VLK_AlgoArgs* a) {
  VLK_RNG_delete(a->rng);
  VLK_MultiTimer_delete(a->timer);
  a->data = nullptr;
  VLK_AlgoArgs_delete(a);
}

// The wall time the search's timer charged to the climbs.
inline double climb_seconds(const VLK_AlgoArgs* a) {
  const double* t = a->timer->times;
  return t[VLK_GREEDY_TIMER_HC_SINGLE] + t[VLK_GREEDY_TIMER_HC_PARALLEL];
}

}  // namespace vlk_bench
