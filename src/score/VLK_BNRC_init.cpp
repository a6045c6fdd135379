// BNRC state: options, grid, level fall-back, design matrices, tables and per-thread buffers.
#include <omp.h>
#include <sys/mman.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <type_traits>

#include "BSpline.h"
#include "BSpline_kernels.h"
#include "VLK_ArgDef.h"
#include "VLK_BNRC.h"
#include "VLK_Data.h"
#include "VLK_Math.h"
#include "VLK_Matrix.h"
#include "VLK_Util.h"
#include "VLK_Util_jobs.h"
#include "velkcom.h"
#include "vlk_fatal.h"
#include "vlk_lapack.h"
#include "vlk_owned.h"

namespace {

using std::size_t;

constexpr size_t kLine = 64;  // cache line: per-thread parts never share one

// The diagnostic stream; the standard error stream before the runtime has set one.
FILE* out() { return VELK_ERR != nullptr ? VELK_ERR : stderr; }

size_t mib(size_t bytes) { return (bytes + 524288) >> 20; }

// a * b, ending the process on overflow.
size_t mul(size_t a, size_t b, const char* name) {
  if (a != 0 && b > std::numeric_limits<size_t>::max() / a) VLK_BNRC_memover(name);
  return a * b;
}

size_t count(int v) { return v > 0 ? static_cast<size_t>(v) : 0; }

// Blocks from this size on are the tables, written once by init and then streamed by every score
// call. In huge pages they cost a few hundred page faults instead of one per 4 KiB (the faults
// took most of init's time and serialised its threads) and fewer TLB misses in the score.
constexpr size_t kHugePage = size_t{2} << 20;

// Every buffer of the state: 64-byte aligned, never of size zero, counted in bf->memory.
template <class T>
T* take(VLK_BNRCBuff* bf, size_t elements, const char* name) {
  const size_t bytes = mul(elements, sizeof(T), name);
  const bool huge = bytes >= 2 * kHugePage;
  const size_t align = huge ? kHugePage : kLine;
  if (bytes > std::numeric_limits<size_t>::max() - align) VLK_BNRC_memover(name);
  const size_t rounded = std::max<size_t>((bytes + align - 1) / align * align, align);
  void* p = std::aligned_alloc(align, rounded);
  VLK_BNRC_memcheck(p, name);
#ifdef MADV_HUGEPAGE
  if (huge) madvise(p, rounded, MADV_HUGEPAGE);  // advice only: a refusal changes nothing
#endif
  bf->memory += bytes;
  return static_cast<T*>(p);
}

// Elements of one thread's part of a per-thread block, padded to whole cache lines (at least
// one, so that every thread's part has an address of its own).
template <class T>
size_t padded(size_t elements) {
  constexpr size_t per_line = kLine / sizeof(T);
  return std::max<size_t>((elements + per_line - 1) / per_line, 1) * per_line;
}

// T pointers into one block of T parts of `elements` each.
template <class T>
T** per_thread(VLK_BNRCBuff* bf, size_t elements, const char* array_name, const char* block_name) {
  const size_t T_ = count(bf->threads);
  T** ptrs = take<T*>(bf, T_, array_name);
  const size_t part = padded<T>(elements);
  T* block = take<T>(bf, mul(part, T_, block_name), block_name);
  for (size_t t = 0; t < T_; ++t) ptrs[t] = block + t * part;
  return ptrs;
}

// p pointers into one block of p parts of `elements` each.
template <class T>
T** per_node(VLK_BNRCBuff* bf, int p, size_t elements, const char* array_name,
             const char* block_name) {
  const size_t P = count(p);
  T** ptrs = take<T*>(bf, P, array_name);
  T* block = take<T>(bf, mul(elements, P, block_name), block_name);
  ptrs[0] = block;  // also without nodes, so that the block is released with the array
  for (size_t v = 0; v < P; ++v) ptrs[v] = block + v * elements;
  return ptrs;
}

template <class T>
void free_blocks(T** ptrs) {
  if (ptrs == nullptr) return;
  std::free(ptrs[0]);
  std::free(ptrs);
}

void print_mib(size_t bytes) { VLK_Util_print_size_t_comma(out(), mib(bytes)); }

// Calls f(v, t) for the calling thread t's nodes: static blocks over the team, the first p mod T
// threads one node more. The team may be smaller than the buffer sets, never larger.
template <class F>
void for_my_nodes(int p, F&& f) {
  int start = 0, cnt = 0;
  VLK_Util_job_split(p, omp_get_num_threads(), omp_get_thread_num(), &start, &cnt);
  for (int v = start; v < start + cnt; ++v) f(v, omp_get_thread_num());
}

void find_flat_rows(const double* X, int p, int n, unsigned char* flat) {
  const size_t sn = count(n);
  for (int v = 0; v < p; ++v) {
    const double* x = X + static_cast<size_t>(v) * sn;
    flat[v] = std::all_of(x, x + sn, [x](double e) { return e == x[0]; }) ? 1 : 0;
  }
}

void mark_flat_rows(VLK_BNRCBuff* bf) {
  find_flat_rows(bf->X, bf->p, bf->n, bf->flat_X);
  if (bf->Y == bf->X)
    std::memcpy(bf->flat_Y, bf->flat_X, count(bf->p));
  else
    find_flat_rows(bf->Y, bf->p, bf->n, bf->flat_Y);
}

// Level 2 stores the inverses, level 3 the smoothers; both the log-determinants.
void tables_for(VLK_BNRCBuff* bf, int v, int t) {
  vlk::bnrc::node_tables(bf, v, t, bf->level == 2 ? bf->Lambda_inv[v] : nullptr,
                         bf->level == 3 ? bf->Lambda_inv_Bt[v] : nullptr, bf->log_det_Lambda[v]);
}

// Doubles of each thread's `work`: the penalty construction, a design matrix row block, B'B.
int work_length(int M, int n, int degree) {
  const int candidates[3] = {M * (M - 2), n * (degree + 1) + M + 1, M * M};
  return VLK_Math_vmaxv(3, candidates);
}

// The scratch of every score call, one set per thread of bf: the fits, the residuals and the
// smoother pointers (with the blocks of levels 1 and 2). `name` gives each buffer's name for the
// allocation test; `charged` runs after each buffer.
template <class Name, class Charged>
void alloc_scratch(VLK_BNRCBuff* bf, Name&& name, Charged&& charged) {
  const size_t sM = count(bf->M), sn = count(bf->n), mp = count(bf->max_parents);
  const size_t shn = count(bf->hyper_num);
  const int T = bf->threads;
  const auto buffer = [&](auto*& field, size_t elements, const char* array_name,
                          const char* block_name) {
    using E = std::remove_pointer_t<std::remove_reference_t<decltype(*field)>>;
    field = per_thread<E>(bf, elements, name(array_name).c_str(), name(block_name).c_str());
    charged(array_name);
  };
  buffer(bf->B_gamma, mp * sn, "B_gamma", "B_gamma[]");
  buffer(bf->tmp_gamma, sM, "tmp_gamma", "tmp_gamma[]");
  buffer(bf->tmp_B_gamma, sn, "tmp_B_gamma", "tmp_B_gamma[]");
  buffer(bf->gamma, mp * sM, "gamma", "gamma[]");
  buffer(bf->beta_jk, mp, "beta_jk", "beta_jk[]");
  buffer(bf->T_A, sn, "T_A", "T_A[]");
  buffer(bf->T_B, sn, "T_B", "T_B[]");
  buffer(bf->tmp_Lambda_inv_Bt, mp, "tmp_Lambda_inv_Bt", "tmp_Lambda_inv_Bt[]");
  buffer(bf->tmp_log_det_Lambda, mp, "tmp_log_det_Lambda", "tmp_log_det_Lambda[]");
  buffer(bf->tmp_beta_gKg, mp, "tmp_beta_gKg", "tmp_beta_gKg[]");
  // Defined contents from the start: a fit a later reader looks at is never garbage.
  for (int t = 0; t < T; ++t) {
    std::fill_n(bf->gamma[t], mp * sM, 0.0);
    std::fill_n(bf->beta_jk[t], mp, 0);
    std::fill_n(bf->B_gamma[t], mp * sn, 0.0);
    std::fill_n(bf->tmp_beta_gKg[t], mp, 0.0);
    std::fill_n(bf->tmp_Lambda_inv_Bt[t], mp, nullptr);
    std::fill_n(bf->tmp_log_det_Lambda[t], mp, nullptr);
  }
  if (bf->level <= 2) {
    const size_t per_parent =
        mul(mul(shn, sM, "tmp_Lambda_inv_Bt[t][0]"), sn, "tmp_Lambda_inv_Bt[t][0]");
    for (int t = 0; t < T; ++t) {
      double* block = take<double>(bf, mul(mp, per_parent, "tmp_Lambda_inv_Bt[t][0]"),
                                   name("tmp_Lambda_inv_Bt[t][0]").c_str());
      bf->tmp_Lambda_inv_Bt[t][0] = block;  // reachable for finalize also without parents
      for (size_t k = 0; k < mp; ++k) bf->tmp_Lambda_inv_Bt[t][k] = block + k * per_parent;
      charged("tmp_Lambda_inv_Bt[0]");
    }
  }
  if (bf->level == 1) {
    for (int t = 0; t < T; ++t) {
      double* block = take<double>(bf, mul(mp, shn, "tmp_log_det_Lambda[t][0]"),
                                   name("tmp_log_det_Lambda[t][0]").c_str());
      bf->tmp_log_det_Lambda[t][0] = block;
      for (size_t k = 0; k < mp; ++k) bf->tmp_log_det_Lambda[t][k] = block + k * shn;
      charged("tmp_log_det_Lambda[0]");
    }
  }
}

// The factorisation scratch of each thread: work, Lambda and S1 (dsytrf_work, below, once lwork
// is known).
template <class Name, class Charged>
void alloc_factor_scratch(VLK_BNRCBuff* bf, Name&& name, Charged&& charged) {
  const size_t sM = count(bf->M);
  bf->work = per_thread<double>(bf, count(work_length(bf->M, bf->n, bf->degree)),
                                name("work").c_str(), name("work[]").c_str());
  charged("work");
  bf->Lambda = per_thread<double>(bf, sM * sM, name("Lambda").c_str(), name("Lambda[]").c_str());
  charged("Lambda");
  // The strictly lower triangle is copied along by level 2 but never read: keep it defined.
  std::memset(bf->Lambda[0], 0, padded<double>(sM * sM) * count(bf->threads) * sizeof(double));
  bf->S1 = per_thread<int>(bf, sM, name("S1").c_str(), name("S1[]").c_str());
  charged("S1");
}

template <class Name, class Charged>
void alloc_dsytrf_work(VLK_BNRCBuff* bf, Name&& name, Charged&& charged) {
  bf->dsytrf_work = per_thread<double>(bf, std::max(count(bf->lwork), count(bf->M)),
                                       name("dsytrf_work").c_str(), name("dsytrf_work[]").c_str());
  charged("dsytrf_work");
}

void print_tables_line(const VLK_BNRCBuff* bf) {
  if (bf->verbosity < 1) return;
  std::fprintf(out(), bf->level == 3 ? "BNRC: Calculating (B' B + n beta K)^-1 B' ...\n"
                                     : "BNRC: Calculating (B' B + n beta K)^-1 ...\n");
  std::fflush(out());
}

}  // namespace

void VLK_BNRC_memcheck(void* ptr, const char* name) {
  if (ptr != nullptr) return;
  vlk::fatal("ERROR: BNRC: Failed to allocate memory: %s\n", name);
}

void VLK_BNRC_memover(const char* name) { vlk::fatal("ERROR: BNRC: Memory overflow: %s\n", name); }

VLK_BNRCBuff* VLK_BNRCBuff_new() {
  auto* bf = static_cast<VLK_BNRCBuff*>(std::calloc(1, sizeof(VLK_BNRCBuff)));
  VLK_BNRC_memcheck(bf, "BNRCBuff");
  bf->level = 3;
  bf->M = 20;
  bf->degree = 3;
  bf->hyper_num = 21;
  bf->prior_type = 1;
  bf->max_parents = 20;
  bf->memory = sizeof(VLK_BNRCBuff);
  bf->max_sweeps = 100;
  bf->threads = 1;
  return bf;
}

size_t VLK_BNRC_memory_size(VLK_BNRCBuff* bf, int p_, int n_, int M_, int W_, int T_) {
  const size_t p = count(p_), n = count(n_), M = count(M_), W = count(W_), T = count(T_);
  const size_t mp = count(bf->max_parents), hn = count(bf->hyper_num);
  const size_t d = count(bf->degree);
  const size_t L = std::max(count(VLK_Matrix_dsytrf_work_size(n_)), M);
  const int level = bf->level;
  size_t s = 80 * T + 8 * T * mp * n + 8 * mp * M + 8 * T * M + 24 * T * n + 4 * T * mp +
             8 * T * W + 8 * T * M * M + 4 * T * M + 8 * M * M + 8 * L + 24 * T * mp + 8 * n * n;
  if (level >= 1) s += 16 * p + 8 * p * n * (d + 1) + 4 * p * n;
  if (level == 2) s += 8 * p + 8 * p * hn * M * M;
  if (level == 3) s += 8 * p + 8 * p * hn * M * n;
  if (level >= 2) s += 8 * p + 8 * p * hn;
  if (level == 1 || level == 2) s += 8 * T * mp * hn * M * n;
  if (level == 1) s += 8 * T * mp * hn;
  return s;
}

void VLK_BNRC_alloc_B(VLK_BNRCBuff* bf, int p, int n, int /*M*/) {
  bf->B = per_node<double>(bf, p, mul(count(n), count(bf->degree) + 1, "B[0]"), "B", "B[0]");
  bf->Bindex = per_node<int>(bf, p, count(n), "bf->Bindex", "bf->Bindex[0]");
}

void VLK_BNRC_calc_B(VLK_BNRCBuff* bf, double* X, int p, int n, int M, double** work) {
  const size_t sn = count(n);
#pragma omp parallel num_threads(bf->threads)
  for_my_nodes(p, [&](int v, int t) {
    BSpline_design_matrix(X + static_cast<size_t>(v) * sn, n, bf->B[v], bf->Bindex[v], M,
                          bf->degree, work[t]);
  });
}

void VLK_BNRC_alloc_Lambda_inv(VLK_BNRCBuff* bf, int p, int /*n*/, int M) {
  const size_t mm = mul(count(M), count(M), "bf->Lambda_inv[0]");
  bf->Lambda_inv = per_node<double>(bf, p, mul(count(bf->hyper_num), mm, "bf->Lambda_inv[0]"),
                                    "Lambda_inv", "bf->Lambda_inv[0]");
}

void VLK_BNRC_alloc_Lambda_inv_Bt(VLK_BNRCBuff* bf, int p, int n, int M) {
  const size_t mn = mul(count(M), count(n), "bf->Lambda_inv_Bt[0]");
  bf->Lambda_inv_Bt = per_node<double>(bf, p, mul(count(bf->hyper_num), mn, "bf->Lambda_inv_Bt[0]"),
                                       "Lambda_inv_Bt", "bf->Lambda_inv_Bt[0]");
}

void vlk::bnrc::check_kernel_sizes(const VLK_BNRCBuff* bf) {
  // The sizes of BSpline_Mv20, BSpline_Bx3_var, BSpline_gKg20L and BSpline_dsycopy20. Every
  // level's backfitting runs them, so a lower level (the memory fall-back) is no way out.
  constexpr int kernel_M = 20, kernel_degree = 3;
  if (bf->M != kernel_M || bf->degree != kernel_degree)
    vlk::fatal(
        "ERROR: BNRC: Not supported (implemented) M = %d, degree = %d (the score is built for "
        "M = %d, degree = %d)\n",
        bf->M, bf->degree, kernel_M, kernel_degree);
}

void vlk::bnrc::node_tables(const VLK_BNRCBuff* bf, int v, int t, double* inv, double* inv_Bt,
                            double* log_det) {
  const int M = bf->M, n = bf->n, hn = bf->hyper_num;
  const size_t mm = count(M) * count(M), mn = count(M) * count(n);
  double* BtB = bf->work[t];
  double* L = bf->Lambda[t];
  BSpline_syBtB(bf->B[v], bf->Bindex[v], n, M, bf->degree, BtB);
  for (int h = 0; h < hn; ++h) {
    BSpline_dsycopy20(BtB, L);
    VLK_Matrix_dsyaxpy(M, n * bf->beta[h], bf->K, L);
    // Singular factors are not trapped here: the score refuses what they lead to.
    int info = 0;
    dsytrf_("U", &M, L, &M, bf->S1[t], bf->dsytrf_work[t], &bf->lwork, &info, 1);
    // det L = det D (U is unit triangular), taken as the product of D's diagonal without a
    // case for 2 x 2 pivot blocks. None arise: L = B'B + n beta K with beta > 0 is positive
    // (semi)definite, and the Bunch-Kaufman pivoting of dsytrf_ takes a 2 x 2 block at column k
    // only when a_kk a_rr < alpha^2 a_rk^2 (alpha < 1), which such a matrix never has.
    double det = 1.0;
    for (int i = 0; i < M; ++i) det *= std::fabs(L[i * (M + 1)]);
    log_det[h] = std::log(det);
    dsytri_("U", &M, L, &M, bf->S1[t], bf->dsytrf_work[t], &info, 1);
    if (inv != nullptr) std::memcpy(inv + h * mm, L, mm * sizeof(double));
    if (inv_Bt != nullptr)
      BSpline_syMBt(L, bf->B[v], bf->Bindex[v], n, M, bf->degree, inv_Bt + h * mn);
  }
}

vlk::bnrc::OptionTable vlk::bnrc::option_table(Options* o) {
  return {
      vlk::arg_int("level", &o->level),   vlk::arg_int("hyper_num", &o->hyper_num),
      vlk::arg_int("hn", &o->hyper_num),  vlk::arg_double("hyper_inc", &o->hi),
      vlk::arg_double("hi", &o->hi),      vlk::arg_double("hyper_bg", &o->hb),
      vlk::arg_double("hb", &o->hb),      vlk::arg_flag_on("linear", &o->linear),
      vlk::arg_onoff("v", &o->verbosity), vlk::arg_end(),
  };
}

void vlk::bnrc::read_options(const VLK_KeyValues* options, Options* o) {
  const OptionTable table = option_table(o);
  const int bad = VLK_KeyValues_set_values_kv(options, table.data());
  if (bad >= 0)
    vlk::fatal("ERROR: BNRC: Unknown argument specified: %s\n",
               VLK_KeyValues_get_key(options, static_cast<size_t>(bad)));
  // Only levels 1 to 3 have tables and a score path.
  if (o->level <= 0 || o->level > 3)
    vlk::fatal("ERROR: BNRC: Not supported (implemented) level = %d\n", o->level);
  if (o->linear) {
    o->hyper_num = 2;
    o->hi = 1.0;
    o->hb = 2.0;
  }
  // An empty grid would leave every parent without a fit; a negative one sizes no table.
  if (o->hyper_num < 1)
    vlk::fatal("ERROR: BNRC: Not supported number of hyperparameters = %d\n", o->hyper_num);
  // Every grid value beta = 10^(hb - h hi) must be a positive number for the fits to have one.
  for (int h = 0; h < o->hyper_num; ++h) {
    const double beta = std::pow(10.0, o->hb - static_cast<double>(h) * o->hi);
    if (!(std::isfinite(beta) && beta > 0.0))
      vlk::fatal(
          "ERROR: BNRC: the hyperparameter grid hb=%g, hi=%g gives no positive finite beta at "
          "grid value %d: %g\n",
          o->hb, o->hi, h, beta);
  }
}

namespace {

// The highest level from bf->level down whose tables fit max_memory: bf->level becomes it (0
// when none does) and the bytes of that level (of level 1 when none fits) are returned.
size_t plan_level(VLK_BNRCBuff* bf, int p, int n, int M, int W, int T, size_t max_memory,
                  bool verbose) {
  for (;;) {
    const size_t mem = VLK_BNRC_memory_size(bf, p, n, M, W, T);
    if (verbose) {
      std::fprintf(out(), "BNRC: Pre-calculation level = %d\n", bf->level);
      std::fprintf(out(), "BNRC:   required memory = ");
      print_mib(mem);
      std::fprintf(out(), " [MiB]\n");
      std::fflush(out());
    }
    if (mem <= max_memory) return mem;
    if (verbose) {
      std::fprintf(out(), "BNRC: WARNING: memory usage will exceed the max size.\n");
      std::fprintf(out(), "               ");
      print_mib(mem);
      std::fprintf(out(), " [MiB] > max = %zu [MiB].\n", mib(max_memory));
      std::fprintf(out(), "BNRC: WARNING: descreasing the pre-calculation level.\n");
      std::fflush(out());
    }
    if (--bf->level > 0) continue;
    return mem;
  }
}

// The options of args over bf's defaults: bf takes the level, grid size and verbosity they give.
vlk::bnrc::Options state_options(VLK_BNRCBuff* bf, const VLK_ScoreArgs* args) {
  vlk::bnrc::Options o;
  o.level = bf->level;
  o.hyper_num = bf->hyper_num;
  o.verbosity = bf->verbosity;
  vlk::bnrc::read_options(args->options, &o);
  bf->level = o.level;
  bf->hyper_num = o.hyper_num;
  bf->verbosity = o.verbosity;
  return o;
}

}  // namespace

VLK_BNRCPlan VLK_BNRC_plan(const VLK_ScoreArgs* args, int p, int n) {
  const vlk::MallocPtr<VLK_BNRCBuff> bf(VLK_BNRCBuff_new());  // a record without buffers
  bf->max_parents = std::max(args->max_parents, 0);
  const int T = std::max(args->threads, 1);
  state_options(bf.get(), args);
  VLK_BNRCPlan plan;
  plan.asked_level = bf->level;
  plan.bytes = plan_level(bf.get(), p, n, bf->M, work_length(bf->M, n, bf->degree), T,
                          args->max_memory, false);
  plan.level = bf->level;
  return plan;
}

VLK_BNRCBuff* VLK_BNRC_init(VLK_Data* data, VLK_ScoreArgs* args) {
  VLK_BNRCBuff* bf = VLK_BNRCBuff_new();
  bf->max_parents = std::max(args->max_parents, 0);
  bf->verbosity = args->verbosity;
  // Score calls index their buffers by thread; there is always at least one set.
  bf->threads = std::max(args->threads, 1);
  const int T = bf->threads;
  const int M = bf->M;
  const int n = data->n, p = data->p;
  const int W = work_length(M, n, bf->degree);

  if (args->verbosity >= 0) {
    std::fprintf(out(), "BNRC: Initializing the BNRC score function.\n");
    std::fprintf(out(), "      p=%d, n=%d, max_parents=%d, M=%d, threads=%d,", p, n,
                 bf->max_parents, M, T);
    std::fprintf(out(), " max_memory=");
    print_mib(args->max_memory);
    std::fprintf(out(), " [MiB]\n");
    std::fflush(out());
  }

  const vlk::bnrc::Options o = state_options(bf, args);
  const double hi = o.hi, hb = o.hb;
  vlk::bnrc::check_kernel_sizes(bf);
  if (o.linear) {
    std::fprintf(out(), "BNRC: Linear mode specified.\n");
    std::fflush(out());
  }
  if (n < 1) vlk::fatal("ERROR: BNRC: No samples in the data set.\n");

  bf->X = data->X;
  bf->Y = data->Y;
  bf->n = n;
  bf->p = p;

  const size_t mem = plan_level(bf, p, n, M, W, T, args->max_memory, bf->verbosity >= 0);
  if (bf->level == 0)
    vlk::fatal("ERROR: BNRC: could not allocate enough memory: %s [bytes] required at least.\n",
               vlk::comma_text(mem).c_str());

  const int hn = bf->hyper_num;
  bf->beta = VLK_Matrix_new(hn, 1);
  bf->log_beta = VLK_Matrix_new(hn, 1);
  VLK_BNRC_memcheck(bf->beta, "beta");
  VLK_BNRC_memcheck(bf->log_beta, "log_beta");
  for (int h = 0; h < hn; ++h) {
    bf->beta[h] = std::pow(10.0, hb - static_cast<double>(h) * hi);
    bf->log_beta[h] = std::log(bf->beta[h]);
  }
  if (bf->verbosity >= 0) {
    std::fprintf(out(), "BNRC: Hyperparameters to optimize: {");
    for (int h = 0; h < hn; ++h) std::fprintf(out(), h ? ", %f" : "%f", bf->beta[h]);
    std::fprintf(out(), "}\n");
    std::fflush(out());
  }

  const size_t sM = count(M), sn = count(n), shn = count(hn);
  const auto same_name = [](const char* name) { return std::string(name); };
  const auto nothing = [](const char*) {};
  alloc_factor_scratch(bf, same_name, nothing);

  bf->K = take<double>(bf, sM * sM, "K");
  BSpline_K(M, 2, bf->K, bf->work[0]);
  bf->log_det_K = std::log(BSpline_det_K_plus(bf->K, M));

  if (bf->verbosity >= 1) {
    std::fprintf(out(), "BNRC: Calculating B ...\n");
    std::fflush(out());
  }
  VLK_BNRC_alloc_B(bf, p, n, M);
  VLK_BNRC_calc_B(bf, data->X, p, n, M, bf->work);
  unsigned char* flat = take<unsigned char>(bf, 2 * count(p), "flat");
  bf->flat_X = flat;
  bf->flat_Y = flat + count(p);
  mark_flat_rows(bf);

  if (bf->level == 2) VLK_BNRC_alloc_Lambda_inv(bf, p, n, M);
  if (bf->level == 3) VLK_BNRC_alloc_Lambda_inv_Bt(bf, p, n, M);
  if (bf->level >= 2)
    bf->log_det_Lambda = per_node<double>(bf, p, shn, "log_det_Lambda", "log_det_Lambda[0]");

  // The query is for order n although the matrices factored are M x M: this buffer is part of
  // the memory estimate above, so sizing it by M would move the level a given budget falls
  // back to. It is enough for both calls: dsytrf_ factors an order below its block size (64)
  // unblocked and needs one double, dsytri_ needs M, and the buffer holds max(lwork, M).
  bf->lwork = VLK_Matrix_dsytrf_work_size(n);
  alloc_dsytrf_work(bf, same_name, nothing);

  if (bf->level >= 2) {
    print_tables_line(bf);
#pragma omp parallel num_threads(T)
    for_my_nodes(p, [bf](int v, int t) { tables_for(bf, v, t); });
  }

  alloc_scratch(bf, same_name, nothing);

  const double dn = n;
  const double log2pi = std::log(2.0 * M_PI);
  bf->C0 = dn + 2.0 * std::log(dn);
  bf->C1 = dn * (1.0 + log2pi) - std::log(2.0 * M_PI / dn) - std::log(2.0);
  bf->C2 = -2.0 * std::log(2.0 * M_PI / dn) - bf->log_det_K - M * std::log(dn);

  bf->S = take<double>(bf, mul(sn, sn, "S"), "S");

  if (bf->verbosity >= 0) {
    std::fprintf(out(), "BNRC: Total memory usage: ");
    VLK_Util_print_size_t_comma(out(), bf->memory);
    std::fprintf(out(), " [bytes] (");
    print_mib(bf->memory);
    std::fprintf(out(), " [MiB])\n");
    std::fprintf(out(), "BNRC: Finished BNRC initialization.\n");
    std::fflush(out());
  }
  args->used_memory = bf->memory;
  return bf;
}

void VLK_BNRC_reinit(VLK_Data* data, VLK_BNRCBuff* bf) {
  std::fprintf(out(), "BNRC: re-initializing the score...\n");
  std::fflush(out());
  // Other threads read a copy's tables through the state it was made from.
  if (bf->origin != nullptr)
    vlk::fatal(
        "ERROR: BNRC_reinit(): a per-thread copy shares its tables; re-initialize the "
        "state it was made from.\n");
  if (data->n != bf->n)
    vlk::fatal(
        "ERROR: BNRC_reinit(): input size inconsistent.\n"
        "                      prev n = %d  vs  now n = %d.\n",
        bf->n, data->n);
  if (data->p != bf->p)
    vlk::fatal(
        "ERROR: BNRC_reinit(): input size inconsistent.\n"
        "                      prev p = %d  vs  now p = %d.\n",
        bf->p, data->p);
  bf->X = data->X;
  bf->Y = data->Y;
  if (bf->verbosity >= 1) {
    std::fprintf(out(), "BNRC: Calculating B ...\n");
    std::fflush(out());
  }
  VLK_BNRC_calc_B(bf, bf->X, bf->p, bf->n, bf->M, bf->work);
  mark_flat_rows(bf);
  if (bf->level >= 2) {
    print_tables_line(bf);
    const int t = vlk::bnrc::thread_index(bf);
    for (int v = 0; v < bf->p; ++v) tables_for(bf, v, t);
  }
}

void VLK_BNRC_set_map(VLK_BNRCBuff* bf, int* map) {
  std::fprintf(out(), "BNRC: Setting the node map.\n");
  bf->node_map = map;
}

void VLK_BNRC_finalize(VLK_BNRCBuff* bf) {
  std::fprintf(out(), "BNRC: Finalizing the BNRC score.\n");
  if (bf == nullptr) return;
  if (bf->origin == nullptr) {
    VLK_Matrix_delete(bf->beta);
    VLK_Matrix_delete(bf->log_beta);
    std::free(bf->K);
    free_blocks(bf->B);
    free_blocks(bf->Bindex);
    free_blocks(bf->Lambda_inv);
    free_blocks(bf->Lambda_inv_Bt);
    free_blocks(bf->log_det_Lambda);
    std::free(bf->flat_X);
    std::free(bf->S);
  }
  const int T = bf->threads;
  if (bf->level <= 2 && bf->tmp_Lambda_inv_Bt != nullptr)
    for (int t = 0; t < T; ++t) std::free(bf->tmp_Lambda_inv_Bt[t][0]);
  if (bf->level == 1 && bf->tmp_log_det_Lambda != nullptr)
    for (int t = 0; t < T; ++t) std::free(bf->tmp_log_det_Lambda[t][0]);
  free_blocks(bf->B_gamma);
  free_blocks(bf->tmp_beta_gKg);
  free_blocks(bf->tmp_gamma);
  free_blocks(bf->tmp_B_gamma);
  free_blocks(bf->gamma);
  free_blocks(bf->beta_jk);
  free_blocks(bf->T_A);
  free_blocks(bf->T_B);
  free_blocks(bf->tmp_Lambda_inv_Bt);
  free_blocks(bf->tmp_log_det_Lambda);
  free_blocks(bf->work);
  free_blocks(bf->Lambda);
  free_blocks(bf->S1);
  free_blocks(bf->dsytrf_work);
  std::free(bf);
}

VLK_BNRCBuff** VLK_BNRC_omp_init(VLK_ScoreArgs* args, VLK_BNRCBuff* bf, int T) {
  if (T <= 0) return nullptr;
  auto** copies = static_cast<VLK_BNRCBuff**>(std::calloc(count(T), sizeof(VLK_BNRCBuff*)));
  VLK_BNRC_memcheck(copies, "omp_init");
  size_t total = mul(count(T), sizeof(VLK_BNRCBuff), "omp_init");
  for (int t = 0; t < T; ++t) {
    auto* c = static_cast<VLK_BNRCBuff*>(std::malloc(sizeof(VLK_BNRCBuff)));
    VLK_BNRC_memcheck(c, "BNRCBuff");
    // Data, grid, penalty, design matrices, the level's filled tables, the flat rows, the node
    // map and S stay the given state's; the copy serves one thread with scratch of its own.
    *c = *bf;
    c->origin = bf->origin != nullptr ? bf->origin : bf;
    c->threads = 1;
    c->memory = sizeof(VLK_BNRCBuff);
    // Buffer names as the messages give them: "omp{t} gamma", "omp{t} tmp_Lambda_inv_Bt[0]".
    const auto name = [t](const char* base) {
      std::string s(base);
      if (const size_t at = s.find("[t][0]"); at != std::string::npos) s.replace(at, 6, "[0]");
      if (s.size() > 2 && s.ends_with("[]")) s.resize(s.size() - 2);
      char prefix[32];
      std::snprintf(prefix, sizeof prefix, "omp{%d} ", t);
      return prefix + s;
    };
    size_t counted = c->memory;
    const auto charged = [&](const char* base) {
      total += c->memory - counted;
      counted = c->memory;
      if (total > args->max_memory) VLK_BNRC_memover(name(base).c_str());
    };
    alloc_scratch(c, name, charged);
    alloc_factor_scratch(c, name, charged);
    alloc_dsytrf_work(c, name, charged);
    copies[t] = c;
  }
  std::fprintf(out(), "BNRC: omp_init: used memory = ");
  print_mib(total);
  std::fprintf(out(), " [MiB]\n");
  std::fflush(out());
  bf->memory += total;
  args->used_memory = total;
  return copies;
}

double* VLK_BNRC_get_B(VLK_BNRCBuff* bf, int v) { return bf->B[v]; }
int* VLK_BNRC_get_Bindex(VLK_BNRCBuff* bf, int v) { return bf->Bindex[v]; }
double* VLK_BNRC_get_Lambda_inv(VLK_BNRCBuff* bf, int v, int h) {
  return bf->Lambda_inv[v] + static_cast<size_t>(h) * count(bf->M) * count(bf->M);
}
double* VLK_BNRC_get_Lambda_inv_Bt(VLK_BNRCBuff* bf, int v, int h) {
  return bf->Lambda_inv_Bt[v] + static_cast<size_t>(h) * count(bf->M) * count(bf->n);
}
double VLK_BNRC_get_log_det_Lambda(VLK_BNRCBuff* bf, int v, int h) {
  return bf->log_det_Lambda[v][h];
}
int* VLK_BNRC_get_property(VLK_BNRCBuff* bf, const char* name, int* out) {
  if (name == nullptr || std::strcmp(name, "max_parents") != 0) return nullptr;
  *out = bf->max_parents;
  return out;
}
