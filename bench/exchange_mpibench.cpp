// The exchanges of a default run on 20,000 genes, under mpirun (one process count per run):
//
//   mpirun -np P --oversubscribe bench/exchange_mpibench [repetitions]
//
// exchange_graph: one batch as the job loop makes it by default, 2,560 nuclei of 1,000 genes
// over all processes (2,560 / P per process), about 3 parents per gene. It reports the time per
// exchange (slowest process), the time inside its MPI calls (of the process that waits least),
// the bytes each process sends and receives, and the same transfers made bare (MPI_Alltoall of
// the counts, MPI_Alltoallv of the records with the exchange's own counts, MPI_Alltoallv of the
// selections) in the same run. Most of an exchange is the counting around the transfers: each
// nucleus of K genes adds K (K - 1) / 2 pair counts, 1.3e9 per batch over all processes.
//
// exchange_network: a network of 200,000 kept edges over the 20,000 genes gathered on every
// process and rebuilt there.
//
// The two tables take 20,000^2 x 4 bytes each over all processes together (3.2 GB in all at
// any P); the program says so before it allocates them.
#include <mpi.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <numeric>
#include <random>
#include <unordered_set>
#include <vector>

#include "VLK_Graph.h"
#include "VLK_PCGraph.h"
#include "exchange/edge_tables.h"
#include "exchange/graph_exchange.h"
#include "exchange/network_gathering.h"
#include "settings/args.h"
#include "velkcom.h"

namespace {

constexpr int kGenes = 20000;
constexpr int kModule = 1000;
constexpr int kBatch = 2560;  // nuclei per exchange over all processes (-n 2560)
constexpr int kNetworkEdges = 200000;

int g_rank = 0, g_procs = 1;

// Slowest process's value.
double max_over_ranks(double x) {
  double m = 0;
  MPI_Allreduce(&x, &m, 1, MPI_DOUBLE, MPI_MAX, MPI_COMM_WORLD);
  return m;
}

// The process that reaches a collective last waits for no one: its time inside the MPI calls
// is the transfer itself, without the waiting that uneven work before the call adds.
double min_over_ranks(double x) {
  double m = 0;
  MPI_Allreduce(&x, &m, 1, MPI_DOUBLE, MPI_MIN, MPI_COMM_WORLD);
  return m;
}

double mean_over_ranks(double x) {
  double s = 0;
  MPI_Allreduce(&x, &s, 1, MPI_DOUBLE, MPI_SUM, MPI_COMM_WORLD);
  return s / g_procs;
}

// This process's share of a default batch: sorted gene rows and graphs of 2 to 4 parents per
// position (self-loops left out, as a search never makes them).
struct Batch {
  int N = 0;
  std::vector<unsigned short> sel;
  std::vector<VLK_Graph*> graphs;
  explicit Batch(std::mt19937& rng) {
    N = kBatch / g_procs + (g_rank < kBatch % g_procs ? 1 : 0);
    std::vector<unsigned short> genes(kGenes);
    std::iota(genes.begin(), genes.end(), 0);
    sel.resize(static_cast<size_t>(N) * kModule);
    for (int j = 0; j < N; ++j) {
      for (int i = 0; i < kModule; ++i) std::swap(genes[i], genes[i + rng() % (kGenes - i)]);
      unsigned short* row = sel.data() + static_cast<size_t>(j) * kModule;
      std::copy(genes.begin(), genes.begin() + kModule, row);
      std::sort(row, row + kModule);
      VLK_Graph* g = VLK_Graph_new(kModule);
      for (int ch = 0; ch < kModule; ++ch) {
        const int parents = 2 + static_cast<int>(rng() % 3);
        for (int k = 0; k < parents; ++k) {
          const int pa = static_cast<int>(rng() % (kModule - 1));
          VLK_Graph_add_edge(g, pa < ch ? pa : pa + 1, ch);
        }
      }
      graphs.push_back(g);
    }
    // The batch size is the same on every process: the short ones pad with dummy rows.
    const int passes = kBatch / g_procs + (kBatch % g_procs ? 1 : 0);
    sel.resize(static_cast<size_t>(passes) * kModule, 65535);
    graphs.resize(static_cast<size_t>(passes), nullptr);
    N = passes;
  }
  ~Batch() {
    for (VLK_Graph* g : graphs)
      if (g) VLK_Graph_delete(g);
  }
};

void bench_exchange_graph(Args* a, int reps) {
  std::mt19937 rng(static_cast<unsigned>(17 + g_rank));
  Batch batch(rng);
  exchange_graph(a, batch.graphs.data(), batch.sel.data(), batch.N);  // warm-up: buffers grow
  double total = 0, in_mpi = 0;
  for (int r = 0; r < reps; ++r) {
    MPI_Barrier(MPI_COMM_WORLD);
    const double comm0 = a->comm_time, t0 = MPI_Wtime();
    exchange_graph(a, batch.graphs.data(), batch.sel.data(), batch.N);
    total += max_over_ranks(MPI_Wtime() - t0);
    in_mpi += min_over_ranks(a->comm_time - comm0);
  }

  // The same transfers, bare, with the exchange's own counts.
  const int P = g_procs;
  std::vector<int> rc(P), sc(P), sd(P), rd(P), selc(P), seld(P, 0), selrc(P), selrd(P);
  for (int o = 0; o < P; ++o) sc[o] = static_cast<int>(a->node_lists[o].size);
  std::partial_sum(sc.begin(), sc.end() - 1, sd.begin() + 1);
  MPI_Alltoall(sc.data(), 1, MPI_INT, rc.data(), 1, MPI_INT, MPI_COMM_WORLD);
  std::partial_sum(rc.begin(), rc.end() - 1, rd.begin() + 1);
  const long sent_ids = std::accumulate(sc.begin(), sc.end(), 0L);
  const long recv_ids = std::accumulate(rc.begin(), rc.end(), 0L);
  const int rows = batch.N * kModule;
  for (int k = 0; k < P; ++k) selc[k] = selrc[k] = rows, selrd[k] = k * rows;
  std::vector<unsigned short> sbuf(static_cast<size_t>(sent_ids)),
      rbuf(static_cast<size_t>(recv_ids));
  std::vector<unsigned short> rsel(static_cast<size_t>(rows) * P);
  double bare = 0;
  for (int r = 0; r < reps + 1; ++r) {
    MPI_Barrier(MPI_COMM_WORLD);
    const double t0 = MPI_Wtime();
    MPI_Alltoall(sc.data(), 1, MPI_INT, rc.data(), 1, MPI_INT, MPI_COMM_WORLD);
    MPI_Alltoallv(sbuf.data(), sc.data(), sd.data(), MPI_UNSIGNED_SHORT, rbuf.data(), rc.data(),
                  rd.data(), MPI_UNSIGNED_SHORT, MPI_COMM_WORLD);
    MPI_Alltoallv(batch.sel.data(), selc.data(), seld.data(), MPI_UNSIGNED_SHORT, rsel.data(),
                  selrc.data(), selrd.data(), MPI_UNSIGNED_SHORT, MPI_COMM_WORLD);
    const double t = max_over_ranks(MPI_Wtime() - t0);
    if (r > 0) bare += t;  // the first one warms up
  }
  const double sent_mb = mean_over_ranks(2.0 * (sent_ids + static_cast<double>(rows) * P)) / 1e6;
  const double recv_mb = mean_over_ranks(2.0 * (recv_ids + static_cast<double>(rows) * P)) / 1e6;
  if (g_rank == 0)
    std::printf(
        "exchange_graph  P=%d  nuclei/exchange=%d  per process: sent %.1f MB, received %.1f MB\n"
        "  exchange %.3f s (in MPI calls, least waiting process: %.3f s)  bare transfers %.3f s  "
        "exchange/bare %.2f  MPI-part/bare %.2f\n",
        P, kBatch, sent_mb, recv_mb, total / reps, in_mpi / reps, bare / reps, total / bare,
        in_mpi / bare);
}

// 200,000 distinct pairs drawn alike on every process, each with one kept direction at 0.3
// (pair count 10, 5 edges one way, 1 the other); each process sets the pairs of its genes.
void bench_exchange_network(Args* a, int reps) {
  const GeneLayout L = Args_gene_layout(a);
  std::mt19937_64 rng(4242);
  std::unordered_set<std::uint64_t> seen;
  while (static_cast<int>(seen.size()) < kNetworkEdges) {
    const std::int64_t v = 1 + static_cast<std::int64_t>(rng() % (kGenes - 1));
    const std::int64_t w = static_cast<std::int64_t>(rng() % v);
    const bool forward = rng() & 1;  // drawn before anything a process decides alone
    if (!seen.insert(static_cast<std::uint64_t>(v) * kGenes + w).second || !L.owns(v)) continue;
    const std::int64_t l = L.local(v);
    a->edge_counts[L.forward(l, w)] = forward ? 5 : 1;
    a->edge_counts[L.backward(l, w)] = forward ? 1 : 5;
    a->pair_counts[L.pair(l, w)] = 10;
  }
  exchange_network(a, 0.3);  // warm-up: buffers and the graph's slots grow
  double total = 0, in_mpi = 0;
  for (int r = 0; r < reps; ++r) {
    MPI_Barrier(MPI_COMM_WORLD);
    const double comm0 = a->comm_time, t0 = MPI_Wtime();
    exchange_network(a, 0.3);
    total += max_over_ranks(MPI_Wtime() - t0);
    in_mpi += min_over_ranks(a->comm_time - comm0);
  }
  const double recv_mb =
      (2.0 * a->recv_records->size + 4.0 * a->edge_values->size) / 1e6;  // the same everywhere
  if (g_rank == 0)
    std::printf(
        "exchange_network  P=%d  edges=%zu  received per process %.2f MB\n"
        "  exchange %.3f s (in MPI calls, least waiting process: %.3f s)\n",
        g_procs, a->whole_network->edges, recv_mb, total / reps, in_mpi / reps);
}

}  // namespace

int main(int argc, char** argv) {
  VLK_init();
  MPI_Init(&argc, &argv);
  MPI_Comm_rank(MPI_COMM_WORLD, &g_rank);
  MPI_Comm_size(MPI_COMM_WORLD, &g_procs);
  const int reps = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
  if (g_rank == 0)
    std::printf("%d genes: edge-count and pair-count tables of %.2f GB over all processes\n",
                kGenes, 2.0 * kGenes * kGenes * 4 / 1e9);
  Args* a = Args_new();
  a->nodes = kGenes;
  a->module_size = kModule;
  a->memory = std::uint64_t{64} << 30;
  FILE* quiet = std::fopen("/dev/null", "w");
  VELK_ERR = quiet;
  edge_tables_alloc(a);
  exchange_buffers_new(a);

  bench_exchange_network(a, reps);
  bench_exchange_graph(a, reps);

  exchange_buffers_delete(a);
  edge_tables_free(a);
  Args_delete(a);
  VELK_ERR = stderr;
  std::fclose(quiet);
  MPI_Finalize();
  return 0;
}
