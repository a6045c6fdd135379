#include "VLK_ScoreCache3.h"

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstdint>
#include <cstdlib>

#include "VLK_Data.h"
#include "score_cache_shared.h"
#include "velkcom.h"
#include "vlk_fatal.h"

static_assert(sizeof(VLK_ScoreCache3Slot) == 32, "a slot is budgeted at 32 bytes");

namespace cache = vlk::score_cache;

namespace {

constexpr size_t kSlotBytes = 32;
constexpr int kProbeLimit = 100;
constexpr int kFree = 0;
constexpr const char* kBufferA = "ERROR: ScoreCache3: Falied to allocate temporary buffer A.\n";
constexpr const char* kBufferB = "ERROR: ScoreCache3: Falied to allocate temporary buffer B.\n";

// The key is read without the lock while another thread may publish it under the lock.
bool is_free(VLK_ScoreCache3Slot* s) {
  return std::atomic_ref<int>(s->key).load(std::memory_order_acquire) == kFree;
}
constexpr int key_of_child(int child) { return child + 1; }

void* alloc_or_end(size_t bytes, const char* failure) {
  void* p = std::malloc(std::max<size_t>(bytes, 1));
  if (p == nullptr) vlk::fatal("%s", failure);
  return p;
}

void mark_free(VLK_ScoreCache3* rec) {
  std::fill_n(rec->table, rec->slots, VLK_ScoreCache3Slot{kFree, nullptr, 0, 0.0});
}

double usage(const VLK_ScoreCache3* rec) {
  return 100.0 * static_cast<double>(rec->stored) / static_cast<double>(rec->slots);
}

}  // namespace

int VLK_ScoreCache3_int_cmp(const int* a, const int* b) { return (*a > *b) - (*a < *b); }

int VLK_ScoreCache3_check(omp_lock_t* lock, VLK_ScoreCache3Slot* s, int child, int* sorted, int q) {
  omp_set_lock(lock);
  const int match =
      std::atomic_ref<int>(s->key).load(std::memory_order_relaxed) == key_of_child(child) &&
      s->count == q && std::equal(sorted, sorted + q, s->parents);
  omp_unset_lock(lock);
  return match;
}

VLK_Score* VLK_ScoreCache3_init(VLK_Score* score, int p, int max_parents, size_t max_memory,
                                int threads) {
  auto* rec = static_cast<VLK_ScoreCache3*>(alloc_or_end(sizeof(VLK_ScoreCache3), kBufferA));
  rec->enabled = 1;
  rec->probe_limit = kProbeLimit;
  rec->stored = 0;
  rec->p = p;
  rec->max_parents = std::max(max_parents, 0);
  rec->threads = std::max(threads, 1);  // at least the calling thread's buffer

  std::fprintf(VELK_ERR, "ScoreCache3: Initializing ...\n");
  std::fprintf(VELK_ERR, "ScoreCache3:   p = %d, Max parents = %d, threads = %d\n", rec->p,
               rec->max_parents, rec->threads);
  cache::print_budget("ScoreCache3:   Max memory = ", max_memory);
  std::fflush(VELK_ERR);

  omp_init_lock(&rec->lock);
  std::fprintf(VELK_ERR, "ScoreCache3:   Allocating temprary buffer...\n");
  std::fflush(VELK_ERR);
  const auto T = static_cast<size_t>(rec->threads);
  const auto M = static_cast<size_t>(rec->max_parents);
  rec->sort = static_cast<int**>(alloc_or_end(T * sizeof(int*), kBufferA));
  // threads x 4 x max_parents, an overflow taken as more than any budget
  size_t b = 0;
  if (__builtin_mul_overflow(T, 4 * M, &b) || b > max_memory)
    vlk::fatal("ERROR: ScoreCache3: Memory insufficient.\n");
  rec->sort_block = static_cast<int*>(alloc_or_end(b, kBufferB));
  for (size_t t = 0; t < T; ++t) rec->sort[t] = rec->sort_block + t * M;

  // A table without a slot would make the hash a modulo by zero.
  rec->slots = (max_memory - b) / (4 * M + kSlotBytes);
  if (rec->slots == 0) vlk::fatal("ERROR: ScoreCache3: Memory insufficient for a single slot.\n");
  std::fprintf(VELK_ERR, "ScoreCache3:   Allocating ");
  VLK_Util_print_size_t_comma(VELK_ERR, rec->slots);
  std::fprintf(VELK_ERR, " slots...\n");
  static_assert(kFree == 0, "a table from calloc is free");
  rec->table = static_cast<VLK_ScoreCache3Slot*>(std::calloc(rec->slots, kSlotBytes));
  if (rec->table == nullptr) vlk::fatal("%s", kBufferB);
  rec->parent_block = static_cast<int*>(alloc_or_end(rec->slots * M * sizeof(int), kBufferB));

  cache::wrap(score, rec,
              {vlk::score_slot<VLK_ScoreCache3_score>, vlk::finalize_slot<VLK_ScoreCache3_finalize>,
               vlk::prop_slot<VLK_ScoreCache3_prop>, vlk::cache_slot<VLK_ScoreCache3_cache>,
               vlk::status_slot<VLK_ScoreCache3_status>, vlk::reinit_slot<VLK_ScoreCache3_reinit>,
               vlk::evaluate_slot<VLK_ScoreCache3_evaluate>},
              kBufferA);
  // Threads beyond the sort buffers would share the last one: the searches must not send more.
  if (score->reserved0 > rec->threads) score->reserved0 = rec->threads;
  return score;
}

double VLK_ScoreCache3_score(VLK_ScoreCache3* rec, int child, int* parents, int q) {
  // A set wider than the slots, or a child without a key, is not stored.
  if (q <= 0 || q > rec->max_parents || child < 0 || child == INT_MAX)
    return rec->score(rec->state, child, parents, q);
  const int t = std::min(omp_get_thread_num(), rec->threads - 1);
  int* sorted = rec->sort[t];
  cache::sort_parents(sorted, parents, q, VLK_ScoreCache3_int_cmp);
  if (rec->enabled == 0) return rec->score(rec->state, child, sorted, q);

  const auto base = static_cast<std::uint64_t>(static_cast<std::int64_t>(rec->p));
  auto h = static_cast<std::uint64_t>(static_cast<std::int64_t>(child));
  for (int i = 0; i < q; ++i) h = h * base + static_cast<std::uint64_t>(std::int64_t{sorted[i]});
  const size_t slots = rec->slots;
  const size_t step = static_cast<size_t>(child) + static_cast<size_t>(q);
  VLK_ScoreCache3Slot* table = rec->table;
  size_t idx = static_cast<size_t>(h % slots);

  if (!is_free(&table[idx])) {
    for (int probes = 0; probes < rec->probe_limit; ++probes) {
      if (VLK_ScoreCache3_check(&rec->lock, &table[idx], child, sorted, q) != 0)
        return table[idx].score;
      idx = (idx + step) % slots;
      if (is_free(&table[idx])) break;
    }
  }

  const double v = rec->score(rec->state, child, sorted, q);
  omp_set_lock(&rec->lock);
  // Another thread may have taken the slot meanwhile: walk on to a free one.
  for (int i = 0; i <= rec->probe_limit && !is_free(&table[idx]); ++i) idx = (idx + step) % slots;
  VLK_ScoreCache3Slot* s = &table[idx];
  if (is_free(s)) {
    s->parents = rec->parent_block + idx * static_cast<size_t>(rec->max_parents);
    std::copy_n(sorted, q, s->parents);
    s->count = q;
    s->score = v;
    std::atomic_ref<int>(s->key).store(key_of_child(child), std::memory_order_release);
    ++rec->stored;
  } else {
    std::fprintf(VELK_ERR, "@");
    std::fflush(VELK_ERR);
  }
  omp_unset_lock(&rec->lock);
  return v;
}

void VLK_ScoreCache3_cache(VLK_ScoreCache3* rec, int on) { rec->enabled = on; }

VLK_KeyValues* VLK_ScoreCache3_prop(VLK_ScoreCache3* rec, int child, int* parents, int q, int k) {
  return cache::rescored_prop(rec, child, parents, q, k);
}

void VLK_ScoreCache3_status(VLK_ScoreCache3* rec, FILE* fp) {
  std::fprintf(fp, "ScoreCache3: Status: Buffer Usage = %zu/%zu = %.2f %%\n", rec->stored,
               rec->slots, usage(rec));
}

void VLK_ScoreCache3_evaluate(VLK_ScoreCache3* rec, VLK_Network* net) {
  cache::forward_evaluate(rec, net,
                          "ScoreCache3: 'evaulate' not supported in the cached score function.\n");
}

void VLK_ScoreCache3_reinit(VLK_Data* data, VLK_ScoreCache3* rec) {
  std::fprintf(VELK_ERR, "ScoreCache3: reinit() called.\n");
  std::fflush(VELK_ERR);
  if (rec->copy->reinit != nullptr) rec->copy->reinit(data, rec->state);
  mark_free(rec);
}

void VLK_ScoreCache3_finalize(VLK_ScoreCache3* rec) {
  std::fprintf(VELK_ERR, "ScoreCache3: finalize: Buffer Usage = %zu/%zu = %.2f %%\n", rec->stored,
               rec->slots, usage(rec));
  if (rec->copy->finalize != nullptr) rec->copy->finalize(rec->state);
  omp_destroy_lock(&rec->lock);
  std::free(rec->copy);
  std::free(rec->parent_block);
  std::free(rec->table);
  std::free(rec->sort_block);
  std::free(rec->sort);
  std::free(rec);
}
