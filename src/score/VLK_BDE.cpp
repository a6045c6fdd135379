// The discrete BDe score.
#include "VLK_BDE.h"

#include <omp.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "VLK_ArgDef.h"
#include "VLK_Data.h"
#include "VLK_Math.h"
#include "VLK_Util.h"
#include "velkcom.h"
#include "vlk_check.h"
#include "vlk_fatal.h"

namespace {

using std::size_t;

constexpr size_t kLine = 64;  // cache line: the threads' tables never share one

FILE* out() { return VELK_ERR != nullptr ? VELK_ERR : stderr; }

size_t count(int v) { return v > 0 ? static_cast<size_t>(v) : 0; }

void* checked_alloc(size_t bytes, const char* name) {
  void* p = std::malloc(std::max<size_t>(bytes, 1));
  if (p == nullptr) vlk::fatal("ERROR: BDE: Failed to allocate memory: %s\n", name);
  return p;
}

// a * b, or the largest size_t when the product does not fit (a need no budget meets).
size_t saturating_mul(size_t a, size_t b) {
  if (a != 0 && b > std::numeric_limits<size_t>::max() / a)
    return std::numeric_limits<size_t>::max();
  return a * b;
}

// Ints of one thread's part of a per-thread table, whole cache lines.
size_t padded_ints(size_t ints) {
  constexpr size_t per_line = kLine / sizeof(int);
  return std::max<size_t>((ints + per_line - 1) / per_line, 1) * per_line;
}

// T pointers into one block of T parts of `ints` each.
int** per_thread(int T, size_t ints, const char* name) {
  const size_t part = padded_ints(ints);
  auto** ptrs = static_cast<int**>(checked_alloc(count(T) * sizeof(int*), name));
  auto* block =
      static_cast<int*>(checked_alloc(saturating_mul(part * sizeof(int), count(T)), name));
  for (size_t t = 0; t < count(T); ++t) ptrs[t] = block + t * part;
  return ptrs;
}

void free_per_thread(int** ptrs) {
  if (ptrs == nullptr) return;
  std::free(ptrs[0]);
  std::free(ptrs);
}

int thread_index(const BDEBuff* bf) {
  const int t = omp_get_thread_num();
  // Two threads on one table pair would count into each other's cells: a caller's team must not
  // be wider than the threads the state was made for (the clamp only keeps the index in range).
  vlk::check(t < bf->threads, "BDE score called by more threads than the state has tables for");
  return t < bf->threads ? t : bf->threads - 1;
}

// (int) v is defined (and 1 + (int) v still an int) for these values only.
bool fits_int(double v) { return v >= -2147483648.0 && v < 2147483647.0; }

const char* name_of(const VLK_Data* data, int i) {
  const char* name = VLK_Data_get_name(data, i);
  return name != nullptr ? name : "";
}

// Every parent value must convert to an int (the number of states too).
void check_values(const VLK_Data* data) {
  const size_t m = count(data->n);
  for (int i = 0; i < data->p; ++i) {
    const double* x = data->X + static_cast<size_t>(i) * m;
    for (size_t s = 0; s < m; ++s)
      if (!fits_int(x[s]))
        vlk::fatal("ERROR: BDE: value of node %d (%s) at sample %zu is not a state: %g\n", i,
                   name_of(data, i), s, x[s]);
  }
}

// Every child value (from Y) must be one of its node's r states: a count cell outside the table
// would be written otherwise.
void check_child_states(const VLK_Data* data, const int* r) {
  const size_t m = count(data->n);
  for (int i = 0; i < data->p; ++i) {
    const double* y = data->Y + static_cast<size_t>(i) * m;
    for (size_t s = 0; s < m; ++s)
      if (!(y[s] > -1.0 && y[s] < r[i]))
        vlk::fatal(
            "ERROR: BDE: child value of node %d (%s) at sample %zu is not one of its states "
            "0..%d: %g\n",
            i, name_of(data, i), s, r[i] - 1, y[s]);
  }
}

}  // namespace

BDEBuff* BDEBuff_new() {
  auto* bf = static_cast<BDEBuff*>(checked_alloc(sizeof(BDEBuff), "BDEBuff"));
  *bf = BDEBuff{};
  bf->prior_type = 0;
  bf->alpha = 1.0;
  bf->threads = 1;
  return bf;
}

BDEBuff* BDE_init(VLK_Data* data, VLK_ScoreArgs* args) {
  // The module takes no options.
  const VLK_ArgDef table[] = {vlk::arg_end()};
  const int bad = VLK_KeyValues_set_values_kv(args->options, table);
  if (bad >= 0)
    vlk::fatal("ERROR: unknown argument specified: %s\n",
               VLK_KeyValues_get_key(args->options, static_cast<size_t>(bad)));

  BDEBuff* bf = BDEBuff_new();
  bf->nodes = data->p;
  bf->samples = data->n;
  bf->X = data->X;
  bf->Y = data->Y;
  bf->max_parents = std::max(args->max_parents, 0);
  bf->verbose = args->verbosity;
  bf->threads = std::max(args->threads, 1);
  if (bf->verbose >= 0) std::fprintf(out(), "BDE: Initializing the BDe score function.\n");

  const size_t m = count(bf->samples);
  check_values(data);
  bf->r = static_cast<int*>(checked_alloc(count(bf->nodes) * sizeof(int), "r"));
  for (int i = 0; i < bf->nodes; ++i) {
    if (data->category == 1 && data->labels != nullptr) {
      bf->r[i] = static_cast<int>(data->labels[i].size);
      continue;
    }
    const double* x = data->X + static_cast<size_t>(i) * m;
    double largest = 0.0;
    for (size_t s = 0; s < m; ++s)
      if (x[s] > largest) largest = x[s];
    bf->r[i] = 1 + static_cast<int>(largest);
  }
  check_child_states(data, bf->r);

  bf->max_r = bf->nodes > 0 ? *std::max_element(bf->r, bf->r + bf->nodes) : 0;
  std::fprintf(out(), "BDE: max r_i = %d\n", bf->max_r);

  // Each thread's configuration and count tables.
  const size_t conf_ints = saturating_mul(m, count(bf->max_parents));
  const size_t count_ints = saturating_mul(m, count(bf->max_r));
  const size_t memory =
      saturating_mul(saturating_mul(conf_ints + count_ints, sizeof(int)), count(bf->threads));
  if (bf->verbose >= 0) {
    std::fprintf(out(), "BDE: Total memory usage: ");
    VLK_Util_print_size_t_comma(out(), memory);
    std::fprintf(out(), " [bytes] (");
    VLK_Util_print_size_t_comma(out(), (memory + 524288) >> 20);
    std::fprintf(out(), " [MiB])\n");
    std::fprintf(out(), "BDE: Finished BDE initialization.\n");
    std::fflush(out());
  }
  if (memory > args->max_memory) {
    std::fflush(out());
    vlk::fatal("ERROR: BDE: Memory consumption over.\n");
  }
  bf->configurations = per_thread(bf->threads, conf_ints, "configurations");
  bf->counts = per_thread(bf->threads, count_ints, "counts");
  args->used_memory = memory;
  return bf;
}

void BDE_finalize(BDEBuff* bf) {
  if (bf == nullptr) return;
  free_per_thread(bf->configurations);
  free_per_thread(bf->counts);
  std::free(bf->r);
  std::free(bf);
}

int BDE_count_n_ijk(BDEBuff* bf, int* parents, int q, int child) {
  const int t = thread_index(bf);
  const size_t m = count(bf->samples);
  const size_t width = count(bf->max_parents);
  const size_t rc = count(bf->r[child]);
  const size_t nq = count(q);
  int* const conf = bf->configurations[t];
  int* const cnt = bf->counts[t];
  const double* const y = bf->Y + static_cast<size_t>(child) * m;
  size_t J = 0;
  for (size_t s = 0; s < m; ++s) {
    // The sample's configuration goes where a new one would be stored: no copy when it is new.
    int* const here = conf + J * width;
    for (size_t k = 0; k < nq; ++k)
      here[k] = static_cast<int>(bf->X[static_cast<size_t>(parents[k]) * m + s]);
    size_t j = 0;
    while (j < J && !std::equal(here, here + nq, conf + j * width)) ++j;
    if (j == J) {
      std::fill_n(cnt + J * rc, rc, 0);
      ++J;
    }
    ++cnt[j * rc + static_cast<size_t>(y[s])];
  }
  return static_cast<int>(J);
}

double BDE_calc_bde(const int* counts, double alpha, int child, int* /*parents*/, int /*q*/, int J,
                    const int* r) {
  // lgamma_r: the plain lgamma writes the global signgam, and threads score at once.
  const auto lg = [](double x) {
    int sign = 0;
    return lgamma_r(x, &sign);
  };
  const int rc = r[child];
  const int a = static_cast<int>(rc * alpha);
  const double lg_a = lg(a), lg_alpha = lg(alpha);
  double sum = 0.0;
  for (int j = 0; j < J; ++j) {
    const int* row = counts + static_cast<size_t>(j) * count(rc);
    const int N = VLK_Math_isum(row, rc);
    double states = 0.0;
    for (int k = 0; k < rc; ++k) states += lg(row[k] + alpha) - lg_alpha;
    sum += lg_a - lg(static_cast<double>(N) + a) + states;
  }
  return sum;
}

double BDE_score(BDEBuff* bf, int child, int* parents, int q) {
  if (bf->prior_type != 0) vlk::fatal("FATAL ERROR: BDE: Unknown prior type specified.\n");
  // The configuration rows hold max_parents values; a larger set would write past them.
  if (q < 0 || q > bf->max_parents)
    vlk::fatal("ERROR: BDE: Number of parents out of range: q=%d, max_parents=%d\n", q,
               bf->max_parents);
  const int J = BDE_count_n_ijk(bf, parents, q, child);
  return -2.0 * BDE_calc_bde(bf->counts[thread_index(bf)], bf->alpha, child, parents, q, J, bf->r);
}

VLK_KeyValues* BDE_prop(BDEBuff* /*bf*/, int /*child*/, int* /*parents*/, int /*q*/, int /*k*/) {
  return nullptr;
}
