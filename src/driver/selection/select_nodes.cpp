#include "selection/select_nodes.h"

#include <cstddef>
#include <cstdio>
#include <cstdlib>

#include "VLK_PCGraph.h"
#include "VLK_Util_jobs.h"
#include "selection/random_walk.h"
#include "selection/select_set.h"
#include "velkcom.h"
#include "vlk_check.h"
#include "vlk_fatal.h"

namespace {

using vlk::select::CumulativePick;
using vlk::select::Selection;

constexpr int kMaxGenes = 65535;  // ids are 16-bit, and 65535 stands for no gene

// The table holds a row per own gene, at the gene's local index (gene_layout.h).
const double* row_of(int P, int n, const double* table, int seed) {
  return table + static_cast<size_t>(seed / P) * static_cast<size_t>(n);
}

// The seed leads the 1-to-1 draws: appended when absent, or put last when the selection already
// holds target ids.
void add_seed(Selection& s, int seed, int target) {
  if (s.has(seed)) return;
  if (s.count() != target)
    s.add_new(seed);
  else if (s.count() > 0)
    s.replace_last(seed);
}

// At most 2 * target draws from pick, each consuming `per_draw` uniform numbers of which the first,
// scaled to [0, scale), decides; a draw that pick cannot answer is a uniform gene.
int draw_until(Selection& s, const CumulativePick& pick, double scale, int per_draw, int n,
               int target, VLK_RNG* rng) {
  double u[2];
  for (long k = 0; k < 2L * target && s.count() < target; ++k) {
    VLK_RNG_uniform(rng, u, per_draw, 0.0, scale);
    int j = pick.pick(u[0]);
    if (j < 0) VLK_RNG_integer(rng, &j, 1, 0, n);
    s.add_new(j);
  }
  return s.count();
}

// (int)(K x share), truncated toward zero, within 0 .. K: a share outside [0, 1] can take neither
// more than the module nor less than nothing.
int share_of(int K, double share) {
  const double x = K * share;
  if (x >= K) return K;
  return x > 0.0 ? static_cast<int>(x) : 0;
}

int degree(const VLK_PCGraph* g, int v) { return VLK_PCGraph_degree(g, v); }

}  // namespace

namespace vlk::select {

void print_selection(const unsigned short* sel, int K) {
  FILE* err = VELK_ERR;
  std::fprintf(err, "Selected nodes:");
  for (int i = 0; i < K; ++i) {
    std::fprintf(err, " %hu", sel[i]);
    if (i > 0 && sel[i] == sel[i - 1])
      std::fprintf(err, "\nWARNING: Redundent nodes detected: %d\n", sel[i]);
  }
  std::fprintf(err, "\n");
  std::fflush(err);
}

}  // namespace vlk::select

int ushort_cmp(const void* a, const void* b) {
  return static_cast<int>(*static_cast<const unsigned short*>(a)) -
         static_cast<int>(*static_cast<const unsigned short*>(b));
}

int oto_sampling(int P, int n, const double* table, unsigned short* sel, int c, int target,
                 int seed, VLK_RNG* rng) {
  Selection s(sel, c);
  add_seed(s, seed, target);
  if (s.count() >= target) return s.count();
  const double* row = row_of(P, n, table, seed);
  const CumulativePick pick(n, [row](int j) { return row[j]; });
  return draw_until(s, pick, 1.0, 1, n, target, rng);
}

int oto_sampling2(int P, int n, const double* table, unsigned short* sel, int c, int target,
                  int seed, const VLK_PCGraph* g, VLK_RNG* rng) {
  Selection s(sel, c);
  add_seed(s, seed, target);
  if (s.count() >= target) return s.count();
  const double* row = row_of(P, n, table, seed);
  // Without edges the degree term is 0, not 0 x infinity: the draws then follow the row alone.
  const size_t edges = VLK_PCGraph_num_edges(g);
  const double per_degree = edges > 0 ? 1.0 / (2.0 * static_cast<double>(edges)) : 0.0;
  const CumulativePick pick(n, [&](int j) { return degree(g, j) * per_degree + row[j]; });
  return draw_until(s, pick, pick.total(), 2, n, target, rng);
}

int deg_sampling(const VLK_PCGraph* g, int n, unsigned short* sel, int c, int target,
                 VLK_RNG* rng) {
  vlk::check(target <= n, "deg_sampling can set at most n distinct ids");
  Selection s(sel, c);
  const double scale = 2.0 * static_cast<double>(VLK_PCGraph_num_edges(g)) + n;
  const CumulativePick pick(n, [&](int j) { return (degree(g, j) + 1) / scale; });
  while (s.count() < target) {
    double u;
    VLK_RNG_uniform(rng, &u, 1, 0.0, 1.0);
    s.add_new(pick.pick(u));
  }
  return s.count();
}

void select_nodes(Args* a, unsigned short* sel, int seed) {
  const int K = a->module_size, n = a->nodes, P = a->processes;
  vlk::check(K >= 1 && K <= n && n <= kMaxGenes, "1 <= module size <= genes <= 65535");
  vlk::check(seed >= 0 && seed < n, "the seed is a gene");
  VLK_RNG* rng = a->algo_args->rng;
  const bool oto = a->oto_interval >= 0;
  vlk::check(!oto || a->oto_table != nullptr, "the 1-to-1 table is made before any selection");
  vlk::check(a->whole_network != nullptr || (a->method != 1 && a->method != 2 && !oto),
             "the whole network exists where a sampler reads it");
  FILE* err = VELK_ERR;
  int c = 0;
  switch (a->method) {
    case 1:
      c = random_walk(a->whole_network, a->edge_values, sel, K, share_of(K, a->rw_ratio), 0,
                      a->rw_steps, seed, a->rw_accept, rng);
      std::fprintf(err, "Selected %d nodes by random walking.\n", c);
      std::fflush(err);
      if (oto) {
        c = oto_sampling(P, n, a->oto_table, sel, c, K, seed, rng);
        std::fprintf(err, "Selected %d nodes by 1-to-1 scores.\n", c);
      }
      VLK_Util_random_sample_fix_ushort_RNG(n, K, sel, c, rng);
      break;
    case 2:
      c = random_walk2(a->whole_network, a->edge_values, sel, K, share_of(K, a->rw_ratio), 0,
                       a->rw_steps, seed, a->rw_accept, rng);
      std::fprintf(err, "Selected %d nodes by random walking v2 (pr=%f).\n", c, a->rw_accept);
      std::fflush(err);
      if (oto) {
        c = oto_sampling2(P, n, a->oto_table, sel, c, share_of(K, a->rw_ratio2), seed,
                          a->whole_network, rng);
        std::fprintf(err, "Selected %d nodes by 1-to-1 scores (v2).\n", c);
      }
      deg_sampling(a->whole_network, n, sel, c, K, rng);
      break;
    default:
      if (!oto) {
        VLK_Util_random_sample_ushort_RNG(n, K, sel, rng);
        break;
      }
      c = oto_sampling2(P, n, a->oto_table, sel, 0, K, seed, a->whole_network, rng);
      std::fprintf(err, "Selected %d nodes by 1-to-1 scores (v2).\n", c);
      std::fflush(err);
      VLK_Util_random_sample_fix_ushort_RNG(n, K, sel, c, rng);
      break;
  }
  std::qsort(sel, static_cast<size_t>(K), sizeof *sel, ushort_cmp);
  vlk::select::print_selection(sel, K);
}

void select_check_settings(const Args* a) {
  if (a->nodes > kMaxGenes)
    vlk::fatal("ERROR: %d genes are more than the %d that 16-bit gene ids address\n", a->nodes,
               kMaxGenes);
  if (a->module_size < 1 || a->module_size > a->nodes)
    vlk::fatal("ERROR: the module size (-m) must be between 1 and the number of genes (%d): %d\n",
               a->nodes, a->module_size);
}
