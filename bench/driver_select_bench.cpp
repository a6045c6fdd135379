// The whole-data 1-to-1 table under the BNRC score on 2,000 genes x 100 samples, and node
// selection on a 20,000-gene network.
//
// Table: one process scores n base scores and 2 (n - 1) pairs per own gene. Run alone, the
// program times the table's rows at 1, 2, 4 and 8 threads, at score levels 2 (the default of
// --lv) and 3, in the table's parent-major order and, for comparison, row by row (each own gene
// scored against every parent before the next one). Under mpirun with P processes, every process
// fills the rows of its own genes (every P-th gene) with one thread, as the program does with
// P processes of one thread each, and rank 0 reports the slowest process.
//
// Counters: calls = score calls per second of the whole team; per_core = calls / threads (or per
// process); bytes_per_call = what one call reads (see bytes_per_call), which comes from memory
// when the parent's tables are not in cache. BM_ReadBandwidth gives the machine's read
// bandwidth to compare with calls x bytes_per_call.
//
// Selection: select_nodes with -a 0, 1 and 2 (1,000 genes of 20,000) on a random network of
// 200,000 edges.
#include <benchmark/benchmark.h>
#include <mpi.h>
#include <omp.h>

#include <algorithm>
#include <cfloat>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <random>
#include <vector>

#include "VLK_BNRC.h"
#include "VLK_Data.h"
#include "VLK_KeyValues.h"
#include "VLK_PCGraph.h"
#include "VLK_RNG.h"
#include "VLK_Score.h"
#include "VLK_UShortArray.h"
#include "exchange/gene_layout.h"
#include "selection/one_to_one.h"
#include "selection/select_nodes.h"
#include "velkcom.h"

namespace {

constexpr int kGenes = 2000;
constexpr int kSamples = 100;
constexpr int kMaxThreads = 8;

// Genes of normal noise, every second one a smooth function of an earlier gene plus noise, so
// that the table has both strong and empty pairs.
std::vector<double> expression(int p, int n) {
  std::vector<double> x(static_cast<size_t>(p) * n);
  std::mt19937_64 gen(7);
  std::normal_distribution<double> normal;
  for (int v = 0; v < p; ++v) {
    double* row = x.data() + static_cast<size_t>(v) * n;
    const double* from = x.data() + static_cast<size_t>(v / 2) * n;
    for (int s = 0; s < n; ++s)
      row[s] = v % 2 == 1 ? std::sin(1.5 * from[s]) + 0.3 * normal(gen) : normal(gen);
  }
  return x;
}

// A BNRC state over the whole data at a level, as one_to_one makes it (one parent at most), with
// buffers for the largest team; kept for the program's life.
struct WholeScore {
  std::vector<double> values = expression(kGenes, kSamples);
  VLK_Data* data = nullptr;
  VLK_Score* score = nullptr;

  explicit WholeScore(int level) {
    data = VLK_Data_new();
    data->X = data->Y = values.data();
    data->n = kSamples;
    data->p = kGenes;
    VLK_KeyValues* options = VLK_KeyValues_new();
    VLK_KeyValues_put_int(options, "level", level);
    VLK_ScoreArgs args{options, 1, size_t{2} << 30, 0, kMaxThreads, 0, -1};
    score = VLK_Score_get("BNRC");
    VLK_Score_init(score, data, &args);
    VLK_KeyValues_delete(options);
  }
  // The record with a team of `threads`.
  VLK_Score with_threads(int threads) const {
    VLK_Score s = *score;
    s.reserved0 = threads;
    return s;
  }
};

WholeScore& whole(int level) {
  static std::map<int, std::unique_ptr<WholeScore>> states;
  auto& s = states[level];
  if (!s) s = std::make_unique<WholeScore>(level);
  return *s;
}

// Bytes one score call with one parent reads: the parent's design matrix, its first-sample
// indexes and log-determinants, the child's values, and the parent's tables: at level 2 all 21
// inverses (every call builds all smoothers from them), at level 3 the smoothers of the grid
// values the call tries. The walk over the grid stops one value after the last it accepts, so
// the tries of each call are counted from the grid index it accepted, over a sample of the
// pairs the table scores.
double bytes_per_call(int level) {
  static std::map<int, double> known;
  if (known.count(level) != 0) return known[level];
  const WholeScore& w = whole(level);
  auto* bf = static_cast<VLK_BNRCBuff*>(w.score->state);
  const double n = kSamples, M = bf->M, hn = bf->hyper_num;
  const double fixed = n * (bf->degree + 1) * 8 + n * 4 + n * 8 + hn * 8;
  if (level != 3) return known[level] = fixed + hn * M * M * 8;
  std::mt19937 gen(3);
  std::uniform_int_distribution<int> gene(0, kGenes - 1);
  constexpr int kSample = 20000;
  double tries = 0.0;
  for (int k = 0; k < kSample; ++k) {
    const int child = gene(gen);
    int parent = gene(gen);
    if (parent == child) parent = (parent + 1) % kGenes;
    const double s = VLK_BNRC_score(bf, child, &parent, 1);
    tries += s == DBL_MAX ? 1.0 : std::min(bf->beta_jk[0][0] + 2.0, hn);
  }
  return known[level] = fixed + tries / kSample * M * n * 8;
}

// The plain order for comparison: each own gene against every parent, then as every child's
// parent, before the next own gene.
void fill_rows(VLK_Score* score, const GeneLayout& g, double* table, double* base) {
  const int genes = static_cast<int>(g.n), rows = static_cast<int>(g.own);
  const size_t n = static_cast<size_t>(genes);
  auto gain = [](double b, double s) { return std::pow(std::max(b - s, 0.0), 10.0); };
#pragma omp parallel num_threads(VLK_Score_threads(score))
  {
#pragma omp for schedule(static)
    for (int j = 0; j < genes; ++j) base[j] = score->score(score->state, j, &j, 0);
#pragma omp for schedule(static)
    for (int l = 0; l < rows; ++l) {
      int t = static_cast<int>(g.gene(l));
      double* row = table + static_cast<size_t>(l) * n;
      double sum = 0.0;
      for (int j = 0; j < genes; ++j) {
        row[j] = j == t ? 0.0 : gain(base[t], score->score(score->state, t, &j, 1));
        sum += row[j];
      }
      for (int i = 0; i < genes; ++i) {
        const double y = i == t ? 0.0 : gain(base[i], score->score(score->state, i, &t, 1));
        row[i] += y;
        sum += y;
      }
      for (size_t j = 0; j < n; ++j) row[j] /= sum;
    }
  }
}

double calls_of(const GeneLayout& g) { return g.n + 2.0 * (g.n - 1) * g.own; }

// Rows of one process of `processes` (every processes-th gene from gene 0), at a level, with a
// team of threads; arg 3 picks the order (0 parent-major, 1 row by row).
void BM_OtoTable(benchmark::State& state) {
  const int level = static_cast<int>(state.range(0));
  const int threads = static_cast<int>(state.range(1));
  const int processes = static_cast<int>(state.range(2));
  const bool rows_first = state.range(3) != 0;
  VLK_Score score = whole(level).with_threads(threads);
  const GeneLayout g = GeneLayout::make(kGenes, processes, 0);
  std::vector<double> table(static_cast<size_t>(g.own) * kGenes), base(kGenes);
  for (auto _ : state) {
    if (rows_first)
      fill_rows(&score, g, table.data(), base.data());
    else
      vlk::oto::fill_table(&score, g, table.data(), base.data(), false);
    benchmark::DoNotOptimize(table.data());
  }
  const double calls = calls_of(g) * static_cast<double>(state.iterations());
  state.counters["calls"] = benchmark::Counter(calls, benchmark::Counter::kIsRate);
  state.counters["per_core"] = benchmark::Counter(calls / threads, benchmark::Counter::kIsRate);
  state.counters["bytes_per_call"] = bytes_per_call(level);
}

void oto_args(benchmark::internal::Benchmark* b) {
  // Level 3: all 2,000 rows of one process, so a parent serves as many rows as in such a run.
  // Level 2 is bound by the smoothers every call builds, whatever the order: 48 rows (those of
  // one of 42 processes, a multiple of every team) keep its iterations near a second.
  for (int threads : {1, 2, 4, 8}) b->Args({3, threads, 1, 0});
  for (int threads : {1, 8}) b->Args({3, threads, 1, 1});
  for (int threads : {1, 2, 4, 8}) b->Args({2, threads, 42, 0});
  for (int threads : {1, 8}) b->Args({2, threads, 42, 1});
  b->UseRealTime()->Unit(benchmark::kMillisecond)->MinTime(0.5);
}
BENCHMARK(BM_OtoTable)->Apply(oto_args);

// The machine's read bandwidth: a parallel sum over 1 GiB of doubles, each thread its own
// contiguous part, in vector lanes (a single chain of additions would bound it, not memory).
void BM_ReadBandwidth(benchmark::State& state) {
  const int threads = static_cast<int>(state.range(0));
  const size_t count = (size_t{1} << 30) / sizeof(double);
  static std::vector<double> data;
  if (data.empty()) {
    data.resize(count);
#pragma omp parallel for schedule(static) num_threads(kMaxThreads)
    for (size_t i = 0; i < count; ++i) data[i] = static_cast<double>(i % 7);
  }
  for (auto _ : state) {
    double sum = 0.0;
#pragma omp parallel for simd schedule(static) reduction(+ : sum) num_threads(threads)
    for (size_t i = 0; i < count; ++i) sum += data[i];
    benchmark::DoNotOptimize(sum);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * count * sizeof(double)));
}
BENCHMARK(BM_ReadBandwidth)->Arg(1)->Arg(8)->UseRealTime()->Unit(benchmark::kMillisecond);

// select_nodes for a module of 1,000 genes out of 20,000 over a network of 200,000 random edges,
// by -a (arg), with 1-to-1 sampling; the selection list goes to /dev/null as to a log.
void BM_SelectNodes(benchmark::State& state) {
  constexpr int kNetGenes = 20000, kEdges = 200000, kProcesses = 200;
  static VLK_PCGraph* net = nullptr;
  static VLK_FloatArray* values = nullptr;
  static std::vector<double> table;
  std::mt19937 gen(5);
  if (net == nullptr) {
    net = VLK_PCGraph_new(kNetGenes);
    values = VLK_FloatArray_new();
    std::uniform_int_distribution<int> gene(0, kNetGenes - 1);
    std::uniform_real_distribution<float> value(0.3f, 1.0f);
    while (VLK_PCGraph_num_edges(net) < static_cast<size_t>(kEdges)) {
      const int pa = gene(gen), ch = gene(gen);
      if (pa == ch) continue;
      VLK_PCGraph_add_edge(net, pa, ch);
      VLK_FloatArray_add(values, value(gen));
    }
    // The rows of one process of 200 (its seeds every 200th gene): weights concentrated on a few
    // partners, as the power 10 makes them.
    const int rows = kNetGenes / kProcesses;
    table.assign(static_cast<size_t>(rows) * kNetGenes, 0.0);
    std::uniform_real_distribution<double> u(0.0, 1.0);
    for (int l = 0; l < rows; ++l) {
      double* row = table.data() + static_cast<size_t>(l) * kNetGenes;
      double sum = 0.0;
      for (int j = 0; j < kNetGenes; ++j) sum += row[j] = std::pow(u(gen), 10.0);
      for (int j = 0; j < kNetGenes; ++j) row[j] /= sum;
    }
  }
  Args* a = Args_new_rank(0, kProcesses);
  a->nodes = kNetGenes;
  a->module_size = 1000;
  a->method = static_cast<int>(state.range(0));
  a->oto_interval = 0;
  a->whole_network = net;
  a->edge_values = values;
  a->oto_table = table.data();
  a->algo_args->rng = VLK_RNG_new();
  FILE* saved = VELK_ERR;
  VELK_ERR = std::fopen("/dev/null", "w");
  std::vector<unsigned short> sel(1000);
  int seed = 0;
  for (auto _ : state) {
    select_nodes(a, sel.data(), seed);
    seed = (seed + kProcesses) % kNetGenes;
    benchmark::DoNotOptimize(sel.data());
  }
  std::fclose(VELK_ERR);
  VELK_ERR = saved;
  VLK_RNG_delete(a->algo_args->rng);
  a->whole_network = nullptr;
  a->edge_values = nullptr;
  a->oto_table = nullptr;
  Args_delete(a);
}
BENCHMARK(BM_SelectNodes)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

// Under mpirun: every process fills its own rows with one thread; best of `repeats` runs.
void run_processes(int level, int repeats) {
  int rank = 0, procs = 1;
  MPI_Comm_rank(MPI_COMM_WORLD, &rank);
  MPI_Comm_size(MPI_COMM_WORLD, &procs);
  VLK_Score score = whole(level).with_threads(1);
  const GeneLayout g = GeneLayout::make(kGenes, procs, rank);
  std::vector<double> table(static_cast<size_t>(g.own) * kGenes), base(kGenes);
  double best = HUGE_VAL;
  for (int r = 0; r < repeats; ++r) {
    MPI_Barrier(MPI_COMM_WORLD);
    const auto start = std::chrono::steady_clock::now();
    vlk::oto::fill_table(&score, g, table.data(), base.data(), false);
    double mine = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    double slowest = 0.0;
    MPI_Reduce(&mine, &slowest, 1, MPI_DOUBLE, MPI_MAX, 0, MPI_COMM_WORLD);
    best = std::min(best, slowest);
  }
  double calls = calls_of(g), all_calls = 0.0;
  MPI_Reduce(&calls, &all_calls, 1, MPI_DOUBLE, MPI_SUM, 0, MPI_COMM_WORLD);
  if (rank == 0)
    std::printf(
        "level %d, %d processes x 1 thread: %.3f s (best of %d), %.0f calls/s, %.0f calls/s "
        "per process\n",
        level, procs, best, repeats, all_calls / best, all_calls / best / procs);
}

}  // namespace

int main(int argc, char** argv) {
  MPI_Init(&argc, &argv);
  int procs = 1;
  MPI_Comm_size(MPI_COMM_WORLD, &procs);
  if (procs > 1) {
    // mpirun -np P driver_select_bench [level [repeats]]
    const int level = argc > 1 ? std::atoi(argv[1]) : 2;
    const int repeats = argc > 2 ? std::atoi(argv[2]) : 3;
    run_processes(level, repeats);
  } else {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
  }
  MPI_Finalize();
  return 0;
}
