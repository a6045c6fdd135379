// What the two score caches share: the budget line of their start-up report, the sorted copy of
// a parent set, the slots that pass a call on to the wrapped module, and the wrapping of a
// record in place.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstdlib>

#include "VLK_Score.h"
#include "VLK_Util.h"
#include "velkcom.h"
#include "vlk_fatal.h"

namespace vlk::score_cache {

// lead, the bytes with thousands commas, " [bytes] (", the whole MiB, " [MiB])\n".
inline void print_budget(const char* lead, size_t bytes) {
  std::fprintf(VELK_ERR, "%s", lead);
  VLK_Util_print_size_t_comma(VELK_ERR, bytes);
  std::fprintf(VELK_ERR, " [bytes] (");
  VLK_Util_print_size_t_comma(VELK_ERR, bytes >> 20);
  std::fprintf(VELK_ERR, " [MiB])\n");
}

// The q parents copied to out and, when more than one, sorted ascending by cmp.
inline void sort_parents(int* out, const int* parents, int q, int (*cmp)(const int*, const int*)) {
  std::copy_n(parents, q, out);
  if (q > 1) std::sort(out, out + q, [cmp](int a, int b) { return cmp(&a, &b) < 0; });
}

// The forwarding slots and the wrapping below work on any cache record with the fields `copy`
// (the record as it was before wrapping), `score` (its score slot) and `state` (its state).

// prop of the wrapped module. Its buffers describe the latest score call on this thread, which
// a cache hit never made: the same child and parents are scored again first.
template <class Cache>
VLK_KeyValues* rescored_prop(const Cache* c, int child, int* parents, int q, int k) {
  if (c->copy->prop == nullptr) return nullptr;
  c->score(c->state, child, parents, q);
  return c->copy->prop(c->state, child, parents, q, k);
}

// evaluate of the wrapped module, or the line saying the cached record has none.
template <class Cache>
void forward_evaluate(const Cache* c, VLK_Network* net, const char* refusal) {
  if (c->copy->evaluate != nullptr)
    c->copy->evaluate(c->state, net);
  else
    std::fprintf(VELK_ERR, "%s", refusal);
}

// The slots a cache installs; evaluate is installed only over a module that has one.
struct Slots {
  double (*score)(void*, int, int*, int);
  void (*finalize)(void*);
  VLK_KeyValues* (*prop)(void*, int, int*, int, int);
  void (*cache)(void*, int);
  void (*status)(void*, FILE*);
  void (*reinit)(VLK_Data*, void*);
  void (*evaluate)(void*, VLK_Network*);
};

// Keeps a copy of the record, its score slot and its state in the cache, then makes the record
// the cache's: init null, the slots above, state = the cache. name, omp_init and the two ints
// stay.
template <class Cache>
void wrap(VLK_Score* score, Cache* c, const Slots& s, const char* alloc_failure) {
  c->copy = static_cast<VLK_Score*>(std::malloc(sizeof(VLK_Score)));
  if (c->copy == nullptr) vlk::fatal("%s", alloc_failure);
  *c->copy = *score;
  c->score = score->score;
  c->state = score->state;
  score->init = nullptr;
  score->score = s.score;
  score->finalize = s.finalize;
  score->prop = s.prop;
  score->cache = s.cache;
  score->status = s.status;
  score->reinit = s.reinit;
  score->evaluate = c->copy->evaluate != nullptr ? s.evaluate : nullptr;
  score->state = c;
}

}  // namespace vlk::score_cache
