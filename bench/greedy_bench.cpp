// One nucleus as the program runs it: 1,000 genes x 100 samples simulated from a sparse DAG
// with nonlinear links, the BNRC score at its default level, and one climb of greedy hill
// climbing version 1 ("hc", one trial) or version 2 ("hc2", one trial), at 1, 4 and 8 threads.
// VLK_BENCH_GENES sets another gene count (bench/hc2_load.sh runs a smaller nucleus many times).
//
// Each case reports the wall time of the whole search, the score calls per second, and the
// wall time the search's own section timer charges to the 1-to-1 table (sections "OTO") and
// to the climb (sections "HC"). The score is wrapped to count calls per thread.
#include <benchmark/benchmark.h>
#include <omp.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <numbers>
#include <vector>

#include "VLK_AlgoArgs.h"
#include "VLK_Greedy.h"
#include "VLK_Score.h"
#include "velkcom.h"

namespace {

constexpr int kSamples = 100;
constexpr int kMaxThreads = 8;

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

double counting_score(void* state, int child, int* parents, int q) {
  auto* c = static_cast<Counting*>(state);
  ++c->slots[omp_get_thread_num() & 63].calls;
  return c->inner->score(c->inner->state, child, parents, q);
}

void counting_cache(void* state, int on) {
  auto* c = static_cast<Counting*>(state);
  c->inner->cache(c->inner->state, on);
}

int genes() {
  static const int count = [] {
    const char* v = std::getenv("VLK_BENCH_GENES");
    return v != nullptr && std::atoi(v) > 1 ? std::atoi(v) : 1000;
  }();
  return count;
}

// A sparse random DAG (each gene up to 2 parents among the genes before it in a random order)
// and values: each gene a sum of smooth functions of its parents plus noise.
VLK_Data* simulate() {
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

struct Nucleus {
  VLK_Data* data = nullptr;
  VLK_Score* bnrc = nullptr;
  Counting counting;
  bool ready = false;

  Nucleus() {
    VLK_init();
    VELK_ERR = std::fopen("/dev/null", "w");  // the searches' progress lines
    bnrc = VLK_Score_get("BNRC");
    if (bnrc == nullptr || bnrc->init == nullptr) return;
    data = simulate();
    VLK_ScoreArgs* args = VLK_ScoreArgs_new();
    args->threads = kMaxThreads;
    args->verbosity = -1;
    VLK_Score_init(bnrc, data, args);
    VLK_ScoreArgs_delete(args);
    counting.inner = bnrc;
    ready = true;
  }
};

Nucleus& nucleus() {
  static Nucleus n;
  return n;
}

void run_search(benchmark::State& state, int version) {
  Nucleus& nu = nucleus();
  if (!nu.ready) {
    state.SkipWithError("the BNRC score module is not built");
    return;
  }
  const int threads = static_cast<int>(state.range(0));
  omp_set_num_threads(threads);
  double oto = 0.0, climb = 0.0, calls = 0.0, wall = 0.0, edges = 0.0;
  for (auto _ : state) {
    VLK_Score record = *nu.bnrc;
    record.score = counting_score;
    record.cache = counting_cache;
    record.state = &nu.counting;
    auto* score = static_cast<VLK_Score*>(std::malloc(sizeof(VLK_Score)));
    *score = record;
    nu.counting.reset();

    VLK_AlgoArgs* a = VLK_AlgoArgs_new();
    a->data = nu.data;
    a->score = score;
    a->options = VLK_KeyValues_parse("trials=1");
    a->verbosity = -1;
    a->rng = VLK_RNG_new();
    VLK_RNG_set_seed(a->rng, 7);
    srandom(7);

    const double start = omp_get_wtime();
    VLK_Graph* g = version == 1 ? VLK_Greedy_exec(a) : VLK_Greedy_exec2(a);
    wall += omp_get_wtime() - start;
    benchmark::DoNotOptimize(g);

    const double* t = a->timer->times;
    oto += t[VLK_GREEDY_TIMER_OTO_SINGLE] + t[VLK_GREEDY_TIMER_OTO_PARALLEL];
    climb += t[VLK_GREEDY_TIMER_HC_SINGLE] + t[VLK_GREEDY_TIMER_HC_PARALLEL];
    calls += static_cast<double>(nu.counting.total());
    edges += static_cast<double>(VLK_Graph_num_edges(g));

    VLK_Graph_delete(g);
    VLK_RNG_delete(a->rng);
    VLK_MultiTimer_delete(a->timer);
    a->data = nullptr;  // shared by every case
    VLK_AlgoArgs_delete(a);
  }
  const double runs = static_cast<double>(state.iterations());
  const double table_calls = static_cast<double>(genes()) * (genes() - 1);
  state.counters["calls/s"] = calls / wall;
  state.counters["oto_s"] = oto / runs;
  state.counters["climb_s"] = climb / runs;
  state.counters["oto_calls/s"] = table_calls * runs / oto;
  state.counters["climb_calls/s"] = (calls - table_calls * runs) / climb;
  state.counters["edges"] = edges / runs;
}

void BM_hc(benchmark::State& state) { run_search(state, 1); }
void BM_hc2(benchmark::State& state) { run_search(state, 2); }

BENCHMARK(BM_hc)->Arg(1)->Arg(4)->Arg(8)->Iterations(1)->UseRealTime()->Unit(benchmark::kSecond);
BENCHMARK(BM_hc2)->Arg(1)->Arg(4)->Arg(8)->Iterations(1)->UseRealTime()->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
