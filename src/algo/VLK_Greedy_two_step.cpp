// The two-step searches on greedy hill climbing version 1.
#include "VLK_Greedy_two_step.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "ScoreCache2.h"
#include "VLK_Greedy.h"
#include "VLK_KeyValues.h"
#include "velkcom.h"
#include "vlk_algo_options.h"
#include "vlk_fatal.h"
#include "vlk_owned.h"

namespace {

using vlk::algo::int_option;
using vlk::algo::list_option;
using vlk::algo::remove_all;
using KeyValuesPtr = vlk::Owned<VLK_KeyValues, VLK_KeyValues_delete>;
using ScoreArgsPtr = vlk::Owned<VLK_ScoreArgs, VLK_ScoreArgs_delete>;

constexpr size_t kStep2CacheBytes = 104857600;
constexpr size_t kOldCacheBytes = 3145728;

void say(const char* line) {
  std::fputs(line, VELK_ERR);
  std::fflush(VELK_ERR);
}

// The first-set file named by `key`, announced; its absence ends the process.
const char* first_set_file(const VLK_AlgoArgs* a, const char* key) {
  say("Greedy: Starting the two-step greedy hill-clibming algorithm.\n");
  const char* file = VLK_KeyValues_get_string(a->options, key);
  if (file == nullptr) vlk::fatal("ERROR: Greedy: First set file not specified.\n");
  std::fprintf(VELK_ERR, "Greedy:  first set file: %s\n", file);
  return file;
}

// A new "BNRC" module on data with the given options (sa's own are put back), wrapped by a
// prefix-tree cache for `bound` parents.
VLK_Score* cached_bnrc(VLK_Data* data, VLK_ScoreArgs* sa, VLK_KeyValues* options, int bound,
                       size_t bytes) {
  VLK_Score* score = VLK_Score_get("BNRC");
  if (score == nullptr) vlk::fatal("ERROR: Greedy: unknown score module: BNRC\n");
  VLK_KeyValues* saved = sa->options;
  sa->options = options;
  VLK_Score_init(score, data, sa);
  sa->options = saved;
  return ScoreCache2_init(score, bound, bytes, data->p);
}

void release_score(VLK_Score* score) {
  if (score == nullptr) return;
  if (score->finalize != nullptr) score->finalize(score->state);
  std::free(score);
}

}  // namespace

VLK_Graph* VLK_Greedy_two_step(VLK_AlgoArgs* a, VLK_ScoreArgs* sa) {
  const ScoreArgsPtr own_sa(sa == nullptr ? VLK_ScoreArgs_new() : nullptr);
  if (sa == nullptr) sa = own_sa.get();
  if (a->data == nullptr || a->score == nullptr)
    vlk::fatal("ERROR: Greedy: no data set or no score module given.\n");
  first_set_file(a, "parent");

  VLK_KeyValues* options = a->options;
  const int p = int_option(options, "p", a->candidates);
  const int m = int_option(options, "m", a->max_parents);
  const KeyValuesPtr sc(list_option(options, "sc"));
  for (const char* key : {"p", "m", "sc"}) remove_all(options, key);
  VLK_KeyValues_add_string(options, "rev", "F");

  const vlk::Owned<VLK_Graph, VLK_Graph_delete> g1(VLK_Greedy_exec(a));
  if (g1 == nullptr) return nullptr;

  // Whatever wraps the step-1 module, its own finalize slot ends it.
  release_score(a->score);
  a->score = nullptr;
  GraphI* caller_fixed = a->fixed;
  // The fixed step-1 edges can give a node up to the caller's parent limit, beyond m: the
  // module must take such sets, while the moves stay within m.
  const int parents = std::max(m, a->max_parents);
  a->fixed = VLK_Graph_to_GraphI(g1.get());
  a->candidates = p;
  a->max_parents = m;
  sa->max_parents = parents;
  remove_all(options, "parent");
  remove_all(options, "rev");

  a->score = cached_bnrc(a->data, sa, sc.get(), std::max(p, parents), kStep2CacheBytes);
  VLK_Graph* g2 = VLK_Greedy_exec(a);
  a->fixed = caller_fixed;
  return g2;
}

VLK_Graph* VLK_Greedy_two_step_old(VLK_AlgoArgs* a, VLK_ScoreArgs* sa) {
  const ScoreArgsPtr own_sa(sa == nullptr ? VLK_ScoreArgs_new() : nullptr);
  if (sa == nullptr) sa = own_sa.get();
  if (a->data == nullptr) vlk::fatal("ERROR: Greedy: no data set or no score module given.\n");
  first_set_file(a, "firstset");

  VLK_KeyValues* options = a->options;
  const vlk::Owned<VLK_AlgoArgs, VLK_AlgoArgs_delete> second(VLK_AlgoArgs_new());
  if (second == nullptr) vlk::fatal("ERROR: Greedy: Memory allocation failed.\n");
  *second = *a;
  second->candidates = int_option(options, "p", a->candidates);
  second->max_parents = int_option(options, "m", a->max_parents);
  second->excluded = nullptr;
  second->fixed = nullptr;
  second->options = nullptr;
  second->results = nullptr;
  second->score = nullptr;
  second->data = VLK_Data_clone(a->data);
  if (second->data == nullptr) vlk::fatal("ERROR: Greedy: Memory allocation failed.\n");
  const KeyValuesPtr firstsc(list_option(options, "firstsc"));
  second->score = cached_bnrc(second->data, sa, firstsc.get(), second->candidates, kOldCacheBytes);
  for (const char* key : {"firstset", "p", "m", "firstsc"}) remove_all(options, key);
  // Nothing searches with the second record: its module ends with it.
  release_score(second->score);
  second->score = nullptr;

  return VLK_Greedy_exec(a);
}
