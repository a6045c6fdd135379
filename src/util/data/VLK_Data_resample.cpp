#include "VLK_Data_resample.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "VLK_Math.h"
#include "VLK_RNG.h"
#include "VLK_StrArray.h"
#include "VLK_Util_jobs.h"
#include "velkcom.h"
#include "vlk_data_blocks.h"
#include "vlk_fatal.h"

namespace {

// The largest value the record's integer draws of the pseudo bootstrap may take, plus one.
constexpr int kDrawLimit = 536870911;

using vlk::data::count_of;
using vlk::data::new_block;

// Column j of the p x cols.size() block out is column cols[j] of the p rows of src, which are n
// values apart.
void copy_columns(const double* src, size_t p, size_t n, const std::vector<size_t>& cols,
                  double* out) {
  const size_t m = cols.size();
  for (size_t v = 0; v < p; ++v) {
    const double* row = src + v * n;
    double* to = out + v * m;
    for (size_t j = 0; j < m; ++j) to[j] = row[cols[j]];
  }
}

// Bootstrap draws of one resample into dst's first block, then one shared block.
void resample_into(VLK_Data* dst, const VLK_Data* src, const std::vector<size_t>& cols,
                   const char* fn) {
  // Columns are read at dst's row stride, so src must have dst's columns and at least its rows.
  if (src->n != dst->n || src->p < dst->p)
    vlk::fatal("ERROR: %s(): source of %d x %d values for a %d x %d data set.\n", fn, src->p,
               src->n, dst->p, dst->n);
  const size_t p = count_of(dst->p), n = count_of(dst->n);
  if (dst->X == src->X) {
    // Resampling a block onto itself would overwrite columns that are still to be read.
    double* block = new_block(p * n);
    copy_columns(src->X, p, n, cols, block);
    std::copy_n(block, p * n, dst->X);
    std::free(block);
  } else {
    copy_columns(src->X, p, n, cols, dst->X);
  }
  // The record owns a separate second block; once Y is X again nothing else would free it.
  if (dst->Y != dst->X) std::free(dst->Y);
  dst->Y = dst->X;
}

// ---- pseudo bootstrap ----

template <class Node>
struct Rows {
  const Node* nodes;  // null: every row in order
  size_t count;
  size_t operator[](size_t j) const { return nodes ? static_cast<size_t>(nodes[j]) : j; }
};

// The layout of one pseudo bootstrap call, checked so that no draw can leave the value block.
struct Series {
  size_t T = 0, m = 0;
  std::vector<size_t> pos;  // first column of each time point
  size_t columns() const { return T > 1 ? (T - 1) * m : 0; }
};

template <class Node>
Series check_layout(const char* fn, int n, int p, const int* R, int T, int m, const Node* nodes,
                    int count, Rows<Node>* rows) {
  Series s;
  s.T = count_of(T);
  s.m = count_of(m);
  s.pos.resize(s.T);
  long long total = 0;
  for (size_t t = 0; t < s.T; ++t) {
    // A time point without replicates has nothing to draw from (and would divide by 0).
    if (R[t] < 1)
      vlk::fatal("ERROR: %s(): time point %zu has %d replicate columns.\n", fn, t + 1, R[t]);
    s.pos[t] = static_cast<size_t>(total);
    total += R[t];
  }
  if (total > n)
    vlk::fatal("ERROR: %s(): %lld replicate columns exceed the %d value columns.\n", fn, total, n);
  if (s.T > 0 && s.m > static_cast<size_t>(INT_MAX) / s.T)
    vlk::fatal("ERROR: %s(): too many draws (%zu time points x %zu series).\n", fn, s.T, s.m);
  rows->nodes = nodes;
  rows->count = nodes ? count_of(count) : count_of(p);
  if (nodes != nullptr)
    for (size_t j = 0; j < rows->count; ++j)
      if (static_cast<long long>(nodes[j]) < 0 || static_cast<long long>(nodes[j]) >= p)
        vlk::fatal("ERROR: %s(): node index out of range: %lld\n", fn,
                   static_cast<long long>(nodes[j]));
  return s;
}

// Replicate draws d(k, t) = raw[k*T + t] mod R[t] for the record's forms.
std::vector<int> record_draws(const Series& s, const int* R, VLK_RNG* rng) {
  std::vector<int> d(s.T * s.m);
  VLK_RNG_integer(rng, d.data(), static_cast<int>(d.size()), 0, kDrawLimit);
  for (size_t k = 0; k < s.m; ++k)
    for (size_t t = 0; t < s.T; ++t) d[k * s.T + t] %= R[t];
  return d;
}

std::vector<int> libc_draws(const Series& s, const int* R) {
  std::vector<int> d(s.T * s.m);
  for (size_t k = 0; k < s.m; ++k)
    for (size_t t = 0; t < s.T; ++t) d[k * s.T + t] = static_cast<int>(random() % R[t]);
  return d;
}

void print_series(const Series& s, const int* R) {
  FILE* err = VELK_ERR;
  std::fprintf(err, "PSEUDO BOOTSTRAP ========\n");
  std::fprintf(err, "  t = %d, num = %d, total = %d\n", static_cast<int>(s.T),
               static_cast<int>(s.m), static_cast<int>(s.columns()));
  std::fprintf(err, "  reps={");
  for (size_t t = 0; t < s.T; ++t) std::fprintf(err, t ? ", %d" : "%d", R[t]);
  std::fprintf(err, "}\n  pos={");
  for (size_t t = 0; t < s.T; ++t) std::fprintf(err, t ? ", %d" : "%d", static_cast<int>(s.pos[t]));
  std::fprintf(err, "}\n");
  std::fflush(err);
}

// Each draw serves twice: as the later point of transition t and the earlier one of t + 1.
template <class Node>
void copy_pairs(const double* X, size_t n, const Series& s, const Rows<Node>& rows,
                const std::vector<int>& d, double* Xn, double* Yn) {
  const size_t cols = s.columns();
  for (size_t k = 0; k < s.m; ++k) {
    for (size_t t = 1; t < s.T; ++t) {
      const size_t c = k * (s.T - 1) + (t - 1);
      const size_t before = s.pos[t - 1] + static_cast<size_t>(d[k * s.T + t - 1]);
      const size_t after = s.pos[t] + static_cast<size_t>(d[k * s.T + t]);
      for (size_t j = 0; j < rows.count; ++j) {
        const double* row = X + rows[j] * n;
        Xn[j * cols + c] = row[before];
        Yn[j * cols + c] = row[after];
      }
    }
  }
}

// ---- time-lagged pairs ----

struct Block {
  size_t start, end;  // 0-based columns start .. end-1
};

// Blocks of the columns from the 1-based starts of blocks 2 .. B; the starts must ascend and
// leave every block at least one column.
std::vector<Block> lag_blocks(const char* fn, int n, const VLK_IntArray* points) {
  const size_t k = points ? points->size : 0;
  std::vector<Block> blocks;
  blocks.reserve(k + 1);
  size_t start = 0;
  for (size_t i = 0; i < k; ++i) {
    const int first = points->data[i];
    const int prev = i ? points->data[i - 1] : 1;
    if (first <= prev || first > n)
      vlk::fatal(
          "ERROR: %s(): block starts must ascend within 2 .. %d (the number of columns); got %d "
          "at position %zu.\n",
          fn, n, first, i + 1);
    blocks.push_back({start, static_cast<size_t>(first - 1)});
    start = static_cast<size_t>(first - 1);
  }
  blocks.push_back({start, count_of(n)});
  return blocks;
}

// A block of L columns gives L - 1 pairs (an empty data set none).
size_t lag_columns(const std::vector<Block>& blocks) {
  size_t total = 0;
  for (const Block& b : blocks) total += b.end > b.start ? b.end - b.start - 1 : 0;
  return total;
}

void copy_lagged(const double* src, size_t n, size_t p, const std::vector<Block>& blocks,
                 size_t n_new, double* X, double* Y) {
  for (size_t v = 0; v < p; ++v) {
    const double* row = src + v * n;
    double* x = X + v * n_new;
    double* y = Y + v * n_new;
    for (const Block& b : blocks) {
      if (b.end <= b.start + 1) continue;
      const size_t len = b.end - b.start - 1;
      x = std::copy_n(row + b.start, len, x);
      y = std::copy_n(row + b.start + 1, len, y);
    }
  }
}

}  // namespace

void VLK_Data_random_sampling(VLK_Data* d) {
  const size_t p = count_of(d->p), n = count_of(d->n);
  std::vector<size_t> cols(n);
  for (size_t s = 0; s < n; ++s) cols[s] = static_cast<size_t>(random() % static_cast<long>(n));
  double* block = new_block(p * n);
  copy_columns(d->X, p, n, cols, block);
  vlk::data::free_values(d);
  d->X = block;
  d->Y = block;
}

void VLK_Data_random_sampling_VLK_Data(VLK_Data* dst, const VLK_Data* src) {
  const size_t n = count_of(dst->n);
  std::vector<size_t> cols(n);
  for (size_t s = 0; s < n; ++s) cols[s] = static_cast<size_t>(random() % static_cast<long>(n));
  resample_into(dst, src, cols, "VLK_Data_random_sampling_VLK_Data");
}

void VLK_Data_random_sampling_VLK_Data_RNG(VLK_Data* dst, const VLK_Data* src, VLK_RNG* rng) {
  const int n = std::max(dst->n, 0);
  std::vector<int> drawn(static_cast<size_t>(n));
  VLK_RNG_integer(rng, drawn.data(), n, 0, n);
  std::vector<size_t> cols(drawn.begin(), drawn.end());
  resample_into(dst, src, cols, "VLK_Data_random_sampling_VLK_Data_RNG");
}

void VLK_Data_random_sampling2(VLK_Data* d, int m) {
  // The sampler leaves its output untouched when it cannot draw, so refuse such counts here.
  if (m < 0 || m > d->n)
    vlk::fatal("ERROR: VLK_Data_random_sampling2(): cannot draw %d distinct columns out of %d.\n",
               m, d->n);
  std::vector<int> drawn(static_cast<size_t>(m));
  VLK_Util_random_sample(d->n, m, drawn.data());
  const std::vector<size_t> cols(drawn.begin(), drawn.end());
  const size_t p = count_of(d->p), n = count_of(d->n);
  double* block = new_block(p * cols.size());
  copy_columns(d->X, p, n, cols, block);
  if (d->sample_names != nullptr) {
    VLK_StrArray* names = VLK_StrArray_news(cols.size());
    if (names == nullptr) vlk::fatal("ERROR: VLK_Data: memory allocation failure.\n");
    for (size_t c : cols) {
      const char* name = c < d->sample_names->size ? d->sample_names->data[c] : nullptr;
      if (VLK_StrArray_add_copy(names, name) == nullptr)
        vlk::fatal("ERROR: VLK_Data: memory allocation failure.\n");
    }
    VLK_StrArray_delete_all(d->sample_names);
    d->sample_names = names;
  }
  vlk::data::free_values(d);
  d->X = block;
  d->Y = block;
  d->n = m;
}

void VLK_Data_pseudo_bootstrap2(const double* X, int n, int p, const int* R, int T, int m,
                                const int* nodes, int count, double* Xn, double* Yn) {
  Rows<int> rows{};
  const Series s = check_layout("VLK_Data_pseudo_bootstrap2", n, p, R, T, m, nodes, count, &rows);
  print_series(s, R);
  const std::vector<int> d = libc_draws(s, R);
  copy_pairs(X, count_of(n), s, rows, d, Xn, Yn);
}

void VLK_Data_pseudo_bootstrap_RNG(const double* X, int n, int p, const int* R, int T, int m,
                                   const int* nodes, int count, double* Xn, double* Yn,
                                   VLK_RNG* rng) {
  Rows<int> rows{};
  const Series s =
      check_layout("VLK_Data_pseudo_bootstrap_RNG", n, p, R, T, m, nodes, count, &rows);
  const std::vector<int> d = record_draws(s, R, rng);
  copy_pairs(X, count_of(n), s, rows, d, Xn, Yn);
}

void VLK_Data_pseudo_bootstrap2ushort(const double* X, int n, int p, const int* R, int T, int m,
                                      const unsigned short* nodes, int count, double* Xn,
                                      double* Yn, VLK_RNG* rng) {
  // Rows are counted in size_t, so node lists of any length are copied whole.
  Rows<unsigned short> rows{};
  const Series s =
      check_layout("VLK_Data_pseudo_bootstrap2ushort", n, p, R, T, m, nodes, count, &rows);
  const std::vector<int> d = record_draws(s, R, rng);
  print_series(s, R);
  copy_pairs(X, count_of(n), s, rows, d, Xn, Yn);
}

void VLK_Data_pseudo_bootstrap(VLK_Data* d, const VLK_IntArray* reps, int m) {
  const int n = d->n;
  const size_t given = reps ? reps->size : 0;
  std::vector<int> R;
  if (given == 1) {
    const int r = reps->data[0];
    if (r < 1 || n % r != 0)
      vlk::fatal(
          "ERROR: VLK_Data_pseudo_bootstrap(): The number of columns inconsistent with the "
          "specifed number of replicates.\n");
    R.assign(static_cast<size_t>(n / r), r);
  } else {
    R.assign(reps ? reps->data : nullptr, reps ? reps->data + given : nullptr);
    long long sum = 0;
    for (int r : R) sum += r;
    if (sum != n) {
      std::string text =
          "ERROR: VLK_Data_pseudo_bootstrap(): The number of columns inconsistent with the "
          "specified numbers of replicates.\n  reps={";
      for (size_t t = 0; t < R.size(); ++t) text += (t ? ", " : "") + std::to_string(R[t]);
      text += "}:   samples = " + std::to_string(n) +
              "  v.s.  total replicates = " + std::to_string(sum) + "\n";
      vlk::fatal("%s", text.c_str());
    }
  }
  const long long T = static_cast<long long>(R.size());
  const long long cols = T > 1 ? (T - 1) * std::max(m, 0) : 0;
  if (cols > INT_MAX)
    vlk::fatal("ERROR: VLK_Data_pseudo_bootstrap(): %lld columns do not fit a data set.\n", cols);
  const size_t cells = count_of(d->p) * static_cast<size_t>(cols);
  double* Xn = new_block(cells);
  double* Yn = new_block(cells);
  VLK_Data_pseudo_bootstrap2(d->X, n, d->p, R.data(), static_cast<int>(T), m, nullptr, 0, Xn, Yn);
  vlk::data::free_values(d);
  d->X = Xn;
  d->Y = Yn;
  d->n = static_cast<int>(cols);
}

void VLK_Data_discretize(VLK_Data* d, int k) {
  std::fprintf(VELK_ERR, "VLK_Data: discretizaing ... (categories = %d)\n", k);
  std::fflush(VELK_ERR);
  if (d->Y != d->X)
    vlk::fatal(
        "ERROR: VLK_Data_discretize(): call this before converting for the dynamic model.\n");
  if (k < 1)
    vlk::fatal("ERROR: VLK_Data_discretize(): the number of categories must be 1 or more: %d\n", k);
  // Every node gets a label per category; counts beyond the samples would only cost memory
  // (an unchecked count from the command line asked for gigabytes).
  if (k > d->n)
    vlk::fatal(
        "ERROR: VLK_Data_discretize(): the number of categories must not exceed the number of "
        "samples (%d): %d\n",
        d->n, k);
  const size_t p = count_of(d->p), n = count_of(d->n);
  if (d->labels != nullptr) VLK_StrArray_delete_ar_all(d->labels, p);
  d->labels = VLK_StrArray_new_ar(p);
  if (d->labels == nullptr) vlk::fatal("ERROR: VLK_Data: memory allocation failure.\n");
  d->category = 1;

  std::vector<double> upper(static_cast<size_t>(k - 1));  // the thresholds of one node
  for (size_t v = 0; v < p; ++v) {
    for (int c = 1; c <= k; ++c)
      if (VLK_StrArray_add_copy(&d->labels[v], ("Cat_" + std::to_string(c)).c_str()) == nullptr)
        vlk::fatal("ERROR: VLK_Data: memory allocation failure.\n");
    double* row = d->X + v * n;
    double lo = 0.0, hi = 0.0;
    VLK_Math_minmax(row, n, &lo, &hi);
    const double step = (hi - lo) * (1.0 / k);
    // By repeated addition, as the bins have always been laid out.
    double edge = lo;
    for (double& u : upper) u = edge += step;
    for (size_t s = 0; s < n; ++s) {
      const auto bin =
          std::find_if(upper.begin(), upper.end(), [x = row[s]](double u) { return x < u; });
      row[s] = static_cast<double>(bin - upper.begin());
    }
  }
  std::fprintf(VELK_ERR, "VLK_Data:   finished.\n");
  std::fflush(VELK_ERR);
}

void VLK_Data_dynamic(VLK_Data* d, const VLK_IntArray* points) {
  static constexpr const char* fn = "VLK_Data_dynamic";
  const std::vector<Block> blocks = lag_blocks(fn, d->n, points);
  const size_t n_new = lag_columns(blocks);
  FILE* err = VELK_ERR;
  std::fprintf(err, "Converting for the dynamical models.\n");
  std::fprintf(err, "  blocks = %d, points={", static_cast<int>(blocks.size()));
  for (size_t i = 0; points && i < points->size; ++i)
    std::fprintf(err, i ? ", %d" : "%d", points->data[i]);
  std::fprintf(err, "}\n  new n = %d\n", static_cast<int>(n_new));
  std::fflush(err);

  const size_t p = count_of(d->p);
  double* X = vlk::data::try_block(p * n_new);
  double* Y = vlk::data::try_block(p * n_new);
  if (X == nullptr || Y == nullptr) vlk::fatal("ERROR: %s(): memory allocation failure.\n", fn);
  copy_lagged(d->X, count_of(d->n), p, blocks, n_new, X, Y);
  vlk::data::free_values(d);
  d->X = X;
  d->Y = Y;
  d->n = static_cast<int>(n_new);
}

void VLK_Data_dynamic_Data(VLK_Data* dst, const VLK_IntArray* points, const VLK_Data* src) {
  static constexpr const char* fn = "VLK_Data_dynamic_Data";
  const std::vector<Block> blocks = lag_blocks(fn, src->n, points);
  const size_t n_new = lag_columns(blocks);
  // dst's blocks are only known to hold dst->n columns, and pairs need two of them.
  if (dst->X == dst->Y || src->p < dst->p || n_new > count_of(dst->n))
    vlk::fatal(
        "ERROR: %s(): the target needs separate blocks of %d x %zu values (has %d x %d%s).\n", fn,
        dst->p, n_new, dst->p, dst->n, dst->X == dst->Y ? ", one block" : "");
  copy_lagged(src->X, count_of(src->n), count_of(dst->p), blocks, n_new, dst->X, dst->Y);
  dst->n = static_cast<int>(n_new);
}

void VLK_Data_node_mean_shift(VLK_Data* d) {
  const size_t p = count_of(d->p), n = count_of(d->n);
  if (n == 0) return;
  for (size_t v = 0; v < p; ++v) {
    double* row = d->X + v * n;
    double sum = 0.0;
    for (size_t s = 0; s < n; ++s) sum += row[s];
    const double mean = sum / static_cast<double>(n);
    for (size_t s = 0; s < n; ++s) row[s] -= mean;
  }
}

void VLK_Data_output(const VLK_Data* d, FILE* fp) {
  const size_t n = count_of(d->n);
  for (int v = 0; v < d->p; ++v) {
    const char* name = VLK_Data_get_name(d, v);
    const char* alias = VLK_Data_get_alias(d, v);
    std::fprintf(fp, "%s\t%s", name ? name : "(null)", alias ? alias : "(null)");
    const double* row = d->X + static_cast<size_t>(v) * n;
    for (size_t s = 0; s < n; ++s) std::fprintf(fp, "\t%f", row[s]);
    std::fprintf(fp, "\n");
  }
}
