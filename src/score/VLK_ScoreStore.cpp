#include "VLK_ScoreStore.h"

#include <omp.h>

#include <algorithm>
#include <atomic>
#include <bit>
#include <cinttypes>
#include <cstdlib>

#include "score_cache_shared.h"
#include "velkcom.h"
#include "vlk_fatal.h"

namespace cache = vlk::score_cache;

namespace {

constexpr const char* kAllocFailure = "ERROR: ScoreStore: Memory allocation failed.\n";

// Relaxed 8-byte atomics: a cell only ever goes from unfilled to the one value of its pair, so
// a reader needs no ordering beyond seeing whole values.
std::uint64_t load(std::uint64_t* cell) {
  return std::atomic_ref<std::uint64_t>(*cell).load(std::memory_order_relaxed);
}
void store(std::uint64_t* cell, std::uint64_t bits) {
  std::atomic_ref<std::uint64_t>(*cell).store(bits, std::memory_order_relaxed);
}

std::uint64_t* cell(const VLK_ScoreStore* s, int child, int parent) {
  return s->cells + static_cast<std::size_t>(child) * static_cast<std::size_t>(s->genes) +
         static_cast<std::size_t>(parent);
}

std::size_t set_index(const VLK_ScoreStore* s, std::uint64_t key) {
  // Mixes every gene id into the low bits (the finaliser of splitmix64).
  key ^= key >> 30;
  key *= 0xbf58476d1ce4e5b9ULL;
  key ^= key >> 27;
  key *= 0x94d049bb133111ebULL;
  key ^= key >> 31;
  return static_cast<std::size_t>(key) & (s->set_slots - 1);
}

int gene_of(const VLK_StoredScore* rec, int position) {
  return rec->genes != nullptr ? rec->genes[position] : position;
}

// The calling thread's tally and scratch, as the wrapped score clamps its thread index.
int thread_of(const VLK_StoredScore* rec) {
  return std::min(omp_get_thread_num(), rec->threads - 1);
}

VLK_StoredScoreTally& tally(VLK_StoredScore* rec) { return rec->tallies[thread_of(rec)]; }

double computed(VLK_StoredScore* rec, int child, int* parents, int q) {
  if (rec->state == nullptr)
    vlk::fatal_abort(
        "FATAL ERROR: ScoreStore: score of child %d with %d parents not stored, and no state "
        "to compute it\n",
        child, q);
  return rec->score(rec->state, child, parents, q);
}

// A parent set of two or three, keyed by its gene ids in their order.
double scored_set(VLK_StoredScore* rec, int child, int* parents, int q) {
  const int t = thread_of(rec);
  int* ids = rec->set_genes + 3 * t;
  for (int k = 0; k < q; ++k) ids[k] = gene_of(rec, parents[k]);
  const std::uint64_t key = VLK_ScoreStore_set_key(gene_of(rec, child), ids, q);
  VLK_StoredScoreTally& tl = rec->tallies[t];
  ++tl.set_calls;
  double v;
  if (VLK_ScoreStore_get_set(rec->store, key, &v) != 0) {
    ++tl.set_hits;
    return v;
  }
  v = computed(rec, child, parents, q);
  VLK_ScoreStore_put_set(rec->store, key, v);
  return v;
}

}  // namespace

std::size_t VLK_ScoreStore_cells(int genes) {
  const auto n = static_cast<std::size_t>(std::max(genes, 0));
  return n * n;
}

std::size_t VLK_ScoreStore_bytes(int genes) {
  return VLK_ScoreStore_cells(genes) * sizeof(std::uint64_t);
}

void VLK_ScoreStore_clear(std::uint64_t* cells, std::size_t first, std::size_t count) {
  std::fill_n(cells + first, count, VLK_SCORE_STORE_UNFILLED);
}

int VLK_ScoreStore_get(const VLK_ScoreStore* s, int child, int parent, double* out) {
  const std::uint64_t bits = load(cell(s, child, parent));
  if (bits == VLK_SCORE_STORE_UNFILLED) return 0;
  *out = std::bit_cast<double>(bits);
  return 1;
}

void VLK_ScoreStore_put(const VLK_ScoreStore* s, int child, int parent, double score) {
  const auto bits = std::bit_cast<std::uint64_t>(score);
  if (bits != VLK_SCORE_STORE_UNFILLED) store(cell(s, child, parent), bits);
}

std::uint64_t VLK_ScoreStore_set_key(int child, const int* parents, int q) {
  if (q < 2 || q > 3) return 0;
  // 16 bits per gene id + 1 (ids are below 65535): a set of two leaves the top 16 bits 0,
  // one of three sets them, and no key is 0.
  auto key = static_cast<std::uint64_t>(child) + 1;
  for (int k = 0; k < q; ++k) key |= (static_cast<std::uint64_t>(parents[k]) + 1) << (16 * (k + 1));
  return key;
}

int VLK_ScoreStore_get_set(const VLK_ScoreStore* s, std::uint64_t key, double* out) {
  if (s->set_slots == 0) return 0;
  VLK_ScoreSetSlot& slot = s->sets[set_index(s, key)];
  const std::uint64_t before =
      std::atomic_ref<std::uint64_t>(slot.seq).load(std::memory_order_acquire);
  if ((before & 1) != 0) return 0;
  const std::uint64_t k = load(&slot.key), bits = load(&slot.bits);
  std::atomic_thread_fence(std::memory_order_acquire);
  const std::uint64_t after =
      std::atomic_ref<std::uint64_t>(slot.seq).load(std::memory_order_relaxed);
  if (after != before || k != key) return 0;
  *out = std::bit_cast<double>(bits);
  return 1;
}

void VLK_ScoreStore_put_set(const VLK_ScoreStore* s, std::uint64_t key, double score) {
  if (s->set_slots == 0) return;
  VLK_ScoreSetSlot& slot = s->sets[set_index(s, key)];
  std::atomic_ref<std::uint64_t> seq(slot.seq);
  std::uint64_t even = seq.load(std::memory_order_relaxed);
  // A slot another writer holds is left to it.
  if ((even & 1) != 0 || !seq.compare_exchange_strong(even, even + 1, std::memory_order_acquire))
    return;
  // The odd count must be seen before the data: a reader whose loads of the key and the score
  // see one of these stores then sees the odd count (or a later one) after its acquire fence,
  // and drops the slot. Without the fence a weakly ordered CPU (ARM, POWER) may show the new
  // key and score beside the old even count on both sides of the reader's loads.
  std::atomic_thread_fence(std::memory_order_release);
  store(&slot.key, key);
  store(&slot.bits, std::bit_cast<std::uint64_t>(score));
  seq.store(even + 2, std::memory_order_release);
}

int VLK_ScoreStore_covers(const VLK_ScoreStore* s, const unsigned short* genes, int p) {
  for (int i = 0; i < p; ++i)
    for (int j = 0; j < p; ++j) {
      // A gene at two positions as its own parent is no pair of the store.
      if (i != j && genes[i] == genes[j]) return 0;
      if (load(cell(s, genes[i], genes[j])) == VLK_SCORE_STORE_UNFILLED) return 0;
    }
  return 1;
}

VLK_Score* VLK_ScoreStore_wrap(VLK_Score* score, const VLK_ScoreStore* store,
                               const unsigned short* genes, int p) {
  auto* rec = static_cast<VLK_StoredScore*>(std::calloc(1, sizeof(VLK_StoredScore)));
  if (rec == nullptr) vlk::fatal("%s", kAllocFailure);
  rec->store = store;
  rec->genes = genes;
  rec->p = p;
  rec->threads = VLK_Score_threads(score);
  rec->tallies = static_cast<VLK_StoredScoreTally*>(
      std::aligned_alloc(alignof(VLK_StoredScoreTally),
                         static_cast<std::size_t>(rec->threads) * sizeof(VLK_StoredScoreTally)));
  if (rec->tallies == nullptr) vlk::fatal("%s", kAllocFailure);
  std::fill_n(rec->tallies, rec->threads, VLK_StoredScoreTally{0, 0, 0, 0});
  rec->set_genes =
      static_cast<int*>(std::malloc(3 * sizeof(int) * static_cast<std::size_t>(rec->threads)));
  if (rec->set_genes == nullptr) vlk::fatal("%s", kAllocFailure);
  cache::wrap(score, rec,
              {vlk::score_slot<VLK_StoredScore_score>, vlk::finalize_slot<VLK_StoredScore_finalize>,
               vlk::prop_slot<VLK_StoredScore_prop>, vlk::cache_slot<VLK_StoredScore_cache>,
               vlk::status_slot<VLK_StoredScore_status>, vlk::reinit_slot<VLK_StoredScore_reinit>,
               vlk::evaluate_slot<VLK_StoredScore_evaluate>},
              kAllocFailure);
  return score;
}

double VLK_StoredScore_score(VLK_StoredScore* rec, int child, int* parents, int q) {
  if (rec->store == nullptr) return computed(rec, child, parents, q);
  if (q > 1) {
    if (rec->store->set_slots != 0 && q <= 3) return scored_set(rec, child, parents, q);
    return computed(rec, child, parents, q);
  }
  // The table's pairs: a child with no parent, or with one parent other than itself (a gene
  // selected twice is still itself).
  const int c = gene_of(rec, child);
  const int pa = q == 0 ? c : gene_of(rec, parents[0]);
  if (q == 1 && pa == c) return computed(rec, child, parents, q);
  VLK_StoredScoreTally& t = tally(rec);
  ++t.calls;
  double v;
  if (VLK_ScoreStore_get(rec->store, c, pa, &v) != 0) {
    ++t.hits;
    return v;
  }
  v = computed(rec, child, parents, q);
  VLK_ScoreStore_put(rec->store, c, pa, v);
  return v;
}

void VLK_StoredScore_cache(VLK_StoredScore*, int) {}

VLK_KeyValues* VLK_StoredScore_prop(VLK_StoredScore* rec, int child, int* parents, int q, int k) {
  if (rec->state == nullptr) return nullptr;
  return cache::rescored_prop(rec, child, parents, q, k);
}

void VLK_StoredScore_status(VLK_StoredScore* rec, FILE* fp) {
  VLK_StoredScoreTally sum{0, 0, 0, 0};
  for (int t = 0; t < rec->threads; ++t) {
    sum.calls += rec->tallies[t].calls;
    sum.hits += rec->tallies[t].hits;
    sum.set_calls += rec->tallies[t].set_calls;
    sum.set_hits += rec->tallies[t].set_hits;
  }
  auto line = [fp](std::uint64_t hits, std::uint64_t calls, const char* what) {
    const double share =
        calls != 0 ? 100.0 * static_cast<double>(hits) / static_cast<double>(calls) : 0.0;
    std::fprintf(fp,
                 "Score store: %" PRIu64 " of %" PRIu64 " scores of %s found stored (%.2f %%)\n",
                 hits, calls, what, share);
  };
  line(sum.hits, sum.calls, "no parent or one parent");
  if (sum.set_calls != 0) line(sum.set_hits, sum.set_calls, "two or three parents");
}

void VLK_StoredScore_reinit(VLK_Data* data, VLK_StoredScore* rec) {
  if (rec->copy->reinit != nullptr && rec->state != nullptr) rec->copy->reinit(data, rec->state);
  rec->store = nullptr;
}

void VLK_StoredScore_evaluate(VLK_StoredScore* rec, VLK_Network* net) {
  cache::forward_evaluate(rec, net,
                          "ScoreStore: 'evaluate' not supported in the stored score function.\n");
}

void VLK_StoredScore_finalize(VLK_StoredScore* rec) {
  VLK_StoredScore_status(rec, VELK_ERR);
  std::fflush(VELK_ERR);
  if (rec->copy->finalize != nullptr && rec->state != nullptr) rec->copy->finalize(rec->state);
  std::free(rec->copy);
  std::free(rec->tallies);
  std::free(rec->set_genes);
  std::free(rec);
}
