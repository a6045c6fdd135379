#include "ScoreCache2.h"

#include <algorithm>
#include <cfloat>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "VLK_Data.h"
#include "score_cache_shared.h"
#include "velkcom.h"
#include "vlk_fatal.h"

namespace cache = vlk::score_cache;

static_assert(sizeof(ScoreCache2Node) == 32, "the pool is budgeted at 32 bytes a node");

namespace {

constexpr size_t kNodeBytes = 32;
constexpr const char* kAllocFailed = "ScoreCache2: failed to allocate memory.\n";

void* alloc_or_end(size_t bytes) {
  void* p = std::malloc(std::max<size_t>(bytes, 1));
  if (p == nullptr) vlk::fatal("%s", kAllocFailed);
  return p;
}

// The pool must hold the sort buffer's share of the budget and one root per node of the data
// set; a smaller budget would leave no room for the roots, or wrap round to a huge pool.
size_t pool_nodes(size_t max_memory, int width, int roots) {
  const size_t buffer = 4 * static_cast<size_t>(width);
  const size_t need = buffer + kNodeBytes * static_cast<size_t>(roots);
  if (max_memory < need)
    vlk::fatal(
        "ERROR: ScoreCache2: Memory insufficient: %zu bytes given, %zu needed for %d roots.\n",
        max_memory, need, roots);
  return (max_memory - buffer) / kNodeBytes;
}

// Roots 0 .. roots-1 keyed by their child, with nothing below them. The rest of the pool needs
// no clearing: a node is reached only through a parent's used child slots, and every slot is
// written when its key is inserted.
void plant_roots(ScoreCache2* rec, int roots) {
  ScoreCache2_clear(rec->pool, static_cast<size_t>(roots));
  for (int c = 0; c < roots; ++c) rec->pool[c].key = c;
  rec->used = static_cast<size_t>(roots);
  rec->roots = roots;
}

void print_line(const char* text) {
  std::fprintf(VELK_ERR, "%s", text);
  std::fflush(VELK_ERR);
}

}  // namespace

int ScoreCache2_int_cmp(const int* a, const int* b) { return (*a > *b) - (*a < *b); }

int ScoreCache2_search(const ScoreCache2Node* node, int key) {
  int lo = 0, hi = node->count;
  while (lo < hi) {
    const int mid = (lo + hi) / 2;
    if (node->children[mid].key < key)
      lo = mid + 1;
    else
      hi = mid;
  }
  return lo;
}

void ScoreCache2_clear(ScoreCache2Node* nodes, size_t n) {
  std::fill_n(nodes, n, ScoreCache2Node{-1, nullptr, DBL_MAX, 0});
}

VLK_Score* ScoreCache2_init(VLK_Score* score, int bound, size_t max_memory, int p) {
  auto* rec = static_cast<ScoreCache2*>(alloc_or_end(sizeof(ScoreCache2)));
  rec->enabled = 1;
  rec->width = static_cast<int>(std::clamp(1.5 * bound, 0.0, static_cast<double>(INT_MAX)));

  cache::print_budget("ScoreCache2: Max memory = ", max_memory);
  std::fprintf(VELK_ERR, "ScoreCache2: Max parents = %d\n", rec->width);

  rec->sorted = static_cast<int*>(alloc_or_end(sizeof(int) * static_cast<size_t>(rec->width)));
  const int roots = std::max(p, 0);
  rec->nodes = pool_nodes(max_memory, rec->width, roots);
  rec->pool = static_cast<ScoreCache2Node*>(alloc_or_end(rec->nodes * kNodeBytes));
  rec->used = 0;
  std::fprintf(VELK_ERR, "ScoreCache2: Require %lu bytes for each slot.  ",
               static_cast<unsigned long>(kNodeBytes));
  VLK_Util_print_size_t_comma(VELK_ERR, rec->nodes);
  std::fprintf(VELK_ERR, " slots allocated.\n");
  plant_roots(rec, roots);

  cache::wrap(score, rec,
              {vlk::score_slot<ScoreCache2_score>, vlk::finalize_slot<ScoreCache2_finalize>,
               vlk::prop_slot<ScoreCache2_prop>, vlk::cache_slot<ScoreCache2_cache>,
               vlk::status_slot<ScoreCache2_status>, vlk::reinit_slot<ScoreCache2_reinit>,
               vlk::evaluate_slot<ScoreCache2_evaluate>},
              kAllocFailed);
  return score;
}

double ScoreCache2_score(ScoreCache2* rec, int child, int* parents, int q) {
  // A set wider than the sort buffer, or a child without a root, is not the tree's to keep.
  if (rec->enabled == 0 || q <= 0 || q > rec->width || child < 0 || child >= rec->roots)
    return rec->score(rec->state, child, parents, q);
  int* sorted = rec->sorted;
  cache::sort_parents(sorted, parents, q, ScoreCache2_int_cmp);

  const int width = rec->width;
  ScoreCache2Node* node = rec->pool + child;
  for (int i = 0; i < q; ++i) {
    const int key = sorted[i];
    if (node->count == 0) {
      if (rec->used + static_cast<size_t>(width) > rec->nodes)
        return rec->score(rec->state, child, sorted, q);  // pool exhausted
      node->children = rec->pool + rec->used;
      rec->used += static_cast<size_t>(width);
    }
    const int pos = ScoreCache2_search(node, key);
    ScoreCache2Node* kids = node->children;
    if (pos < node->count && kids[pos].key == key) {
      node = kids + pos;
      continue;
    }
    if (node->count == width) {
      std::fprintf(VELK_ERR, "@");
      return rec->score(rec->state, child, sorted, q);
    }
    std::copy_backward(kids + pos, kids + node->count, kids + node->count + 1);
    kids[pos] = ScoreCache2Node{key, nullptr, DBL_MAX, 0};
    ++node->count;
    node = kids + pos;
  }
  if (node->score == DBL_MAX) node->score = rec->score(rec->state, child, sorted, q);
  return node->score;
}

VLK_KeyValues* ScoreCache2_prop(ScoreCache2* rec, int child, int* parents, int q, int k) {
  return cache::rescored_prop(rec, child, parents, q, k);
}

void ScoreCache2_cache(ScoreCache2* rec, int on) { rec->enabled = on; }

void ScoreCache2_status(ScoreCache2* rec, FILE* fp) {
  const double usage =
      rec->nodes > 0 ? 100.0 * static_cast<double>(rec->used) / static_cast<double>(rec->nodes)
                     : 0.0;
  std::fprintf(fp, "ScoreCache2: Status: Buffer Usage = %.2f %%\n", usage);
}

void ScoreCache2_reinit(VLK_Data* data, ScoreCache2* rec) {
  print_line("ScoreCache2: Reinit() called.\n");
  print_line("ScoreCache2: Calling the original reinit()...\n");
  if (rec->copy->reinit != nullptr) rec->copy->reinit(data, rec->state);
  print_line("ScoreCache2: Clearing the cache)...\n");
  const int roots = std::max(data->p, 0);
  if (static_cast<size_t>(roots) > rec->nodes)
    vlk::fatal("ERROR: ScoreCache2: Memory insufficient: %zu slots for %d roots.\n", rec->nodes,
               roots);
  plant_roots(rec, roots);
  print_line("ScoreCache2: Score cache cleared.\n");
}

void ScoreCache2_evaluate(ScoreCache2* rec, VLK_Network* net) {
  cache::forward_evaluate(rec, net,
                          "ScoreCache2: 'evaulate' not supported in the cached score function.\n");
}

void ScoreCache2_finalize(ScoreCache2* rec) {
  std::fprintf(VELK_ERR, "ScoreCache2: Releasing allocated resources.\n");
  if (rec->copy->finalize != nullptr) rec->copy->finalize(rec->state);
  std::free(rec->copy);
  std::free(rec->sorted);
  std::free(rec->pool);
  std::free(rec);
}
