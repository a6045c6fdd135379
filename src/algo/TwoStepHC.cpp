#include "TwoStepHC.h"

#include <omp.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "ScoreCache2.h"
#include "VLK_AdjGraph.h"
#include "VLK_Greedy.h"
#include "VLK_IO.h"
#include "VLK_KeyValues.h"
#include "VLK_Network_convert.h"
#include "VLK_ScoreCache3.h"
#include "velkcom.h"
#include "vlk_algo_options.h"
#include "vlk_fatal.h"
#include "vlk_option_help.h"
#include "vlk_owned.h"

namespace {

using vlk::algo::int_option;
using vlk::algo::list_option;
using vlk::algo::remove_all;

// The memory of the step-2 score cache, whatever the run's budget.
constexpr size_t kCacheBytes = 104857600;

using KeyValuesPtr = vlk::Owned<VLK_KeyValues, VLK_KeyValues_delete>;
using IntArrayPtr = vlk::Owned<VLK_IntArray, VLK_IntArray_delete>;
using GraphPtr = vlk::Owned<VLK_Graph, VLK_Graph_delete>;

struct DeleteGraphI {
  void operator()(GraphI* g) const noexcept {
    if (g != nullptr && g->delete_ != nullptr) g->delete_(g);
  }
};
using GraphIPtr = std::unique_ptr<GraphI, DeleteGraphI>;

void say(const char* line) {
  std::fprintf(VELK_ERR, "%s", line);
  std::fflush(VELK_ERR);
}

// On unless the key holds a text other than "on" (in any case); a key without text is on.
// One flag per node: whether it is in the first set.
std::vector<char> membership(int n, const VLK_IntArray* first) {
  std::vector<char> in(static_cast<size_t>(std::max(n, 0)), 0);
  for (size_t k = 0; first != nullptr && k < first->size; ++k) {
    const int v = first->data[k];
    if (v >= 0 && v < n) in[static_cast<size_t>(v)] = 1;
  }
  return in;
}

VLK_AdjGraph* new_adjgraph(int n) {
  VLK_AdjGraph* g = VLK_AdjGraph_news(static_cast<size_t>(std::max(n, 0)));
  if (g == nullptr) vlk::fatal("ERROR: TwoStepHC: Memory allocation failed.\n");
  return g;
}

// The format and the reader options of the "firstnet" file when neither is given.
constexpr const char* kFirstNetType = "PALIST";
constexpr const char* kFirstNetOptions = "ch=T";

// The first-set nodes read from the "first" file, silently.
VLK_IntArray* read_first_set(const VLK_Data* data, const char* path) {
  std::fprintf(VELK_ERR, "TwoStepHC:  first set file: %s\n", path);
  VLK_IntArray* first = VLK_IntArray_new();
  const int level = velk_warning_level;
  velk_warning_level = 0;
  const int read = VLK_Data_read_node_set_file(data, first, path, 0);
  velk_warning_level = level;
  // An unreadable file would leave an empty first set: a search of something else entirely.
  if (read < 0) vlk::fatal("ERROR: TwoStepHC: cannot read the first set file: %s\n", path);
  std::fprintf(VELK_ERR, "TwoStepHC:    %zu nodes.\n", first->size);
  return first;
}

// The edges of the "firstnet" network as an adjacency graph over the data set's nodes.
GraphI* first_network_skeleton(const VLK_KeyValues* options, const VLK_Data* data) {
  const char* path = VLK_KeyValues_get_string(options, "firstnet");
  const bool typed = VLK_KeyValues_find_key(options, "firstnettype") >= 0;
  const bool opted = VLK_KeyValues_find_key(options, "firstnetopt") >= 0;
  const char* type = VLK_KeyValues_get_string(options, "firstnettype");
  KeyValuesPtr reader_options(opted ? list_option(options, "firstnetopt") : nullptr);
  if (!typed && !opted) {
    type = kFirstNetType;
    reader_options.reset(VLK_KeyValues_parse(kFirstNetOptions));
  }
  const int level = velk_warning_level;
  velk_warning_level = 0;
  const vlk::Owned<VLK_Network, VLK_Network_delete> net(
      IO_read_file(path, type, reader_options.get()));
  VLK_AdjGraph* g = VLK_Network_AdjGraph_dataset(net.get(), data);
  velk_warning_level = level;
  if (g == nullptr) vlk::fatal("ERROR: TwoStepHC: Memory allocation failed.\n");
  return VLK_AdjGraph_to_GraphI(g);
}

// Everything step 2 changes in the two argument records, put back at the end of the call.
struct Saved {
  VLK_KeyValues* options;
  GraphI* skeleton;
  GraphI* fixed;
  int candidates;
  int max_parents;
  int score_max_parents;
  VLK_KeyValues* score_options;
};

void restore(VLK_AlgoArgs* a, VLK_ScoreArgs* sa, const Saved& s) {
  a->options = s.options;
  a->skeleton = s.skeleton;
  a->fixed = s.fixed;
  a->candidates = s.candidates;
  a->max_parents = s.max_parents;
  sa->max_parents = s.score_max_parents;
  sa->options = s.score_options;
}

// Refuses a cache the step-2 search cannot use, before any module is built for it.
void check_cache_type(const VLK_ScoreArgs* sa) {
  switch (sa->cache_type) {
    case 1:
    case 2: {
      // The prefix tree has no lock, and step 2 scores the moves of a child from a team: as
      // many threads as OpenMP offers, up to those the module is made for (sa->threads).
      const int team = std::min(omp_get_max_threads(), std::max(sa->threads, 1));
      if (team > 1)
        vlk::fatal(
            "ERROR: TwoStepHC: score cache %d has no lock and cannot serve the %d scoring "
            "threads of the second step; use cache 3.\n",
            sa->cache_type, team);
      return;
    }
    case 3:
      return;
    default:
      vlk::fatal("Unknown cache version: %d\n", sa->cache_type);
  }
}

// The step-2 score module on the data set, installed in a and wrapped by the cache that sa's
// cache type asks for.
void install_step2_score(VLK_AlgoArgs* a, VLK_ScoreArgs* sa, const char* name, bool cached, int p,
                         int stored_parents) {
  if (cached) check_cache_type(sa);
  VLK_Score* score = VLK_Score_get(name);
  if (score == nullptr) vlk::fatal("ERROR: TwoStepHC: unknown score module: %s\n", name);
  a->score = score;
  VLK_Score_init(score, a->data, sa);
  const int n = a->data->p;
  if (!cached)
    say("TwoStepHC: Skipping the score cache initialization.\n");
  else if (sa->cache_type == 3)
    VLK_ScoreCache3_init(score, n, stored_parents, kCacheBytes, sa->threads);
  else
    ScoreCache2_init(score, p, kCacheBytes, n);
}

}  // namespace

GraphI* TwoStepHC_skeleton1(int n, const VLK_IntArray* first, const GraphI* outer) {
  VLK_AdjGraph* g = new_adjgraph(n);
  const std::vector<char> in = membership(n, first);
  for (size_t k = 0; first != nullptr && k < first->size; ++k) {
    const int p = first->data[k];
    if (p < 0 || p >= n) continue;
    for (int c = 0; c < n; ++c)
      if (in[static_cast<size_t>(c)] == 0 && (outer == nullptr || outer->check_edge(outer, p, c)))
        VLK_AdjGraph_add_edge(g, p, c);
  }
  return VLK_AdjGraph_to_GraphI(g);
}

GraphI* TwoStepHC_skeleton2(int n, const VLK_IntArray* first, const GraphI* outer) {
  GraphI* g = nullptr;
  if (outer != nullptr && outer->clone != nullptr && outer->remove_edge != nullptr) {
    g = outer->clone(outer);
    if (g == nullptr) vlk::fatal("ERROR: TwoStepHC: Memory allocation failed.\n");
  } else {
    // A skeleton kind that cannot clone itself, or lose an edge, is copied pair by pair.
    VLK_AdjGraph* adj = new_adjgraph(n);
    if (outer == nullptr)
      VLK_AdjGraph_complete(adj);
    else
      for (int c = 0; c < n; ++c)
        for (int p = 0; p < n; ++p)
          if (outer->check_edge(outer, p, c)) VLK_AdjGraph_add_edge(adj, p, c);
    g = VLK_AdjGraph_to_GraphI(adj);
  }
  for (size_t i = 0; first != nullptr && i < first->size; ++i)
    for (size_t j = 0; j < first->size; ++j) g->remove_edge(g, first->data[i], first->data[j]);
  return g;
}

VLK_Graph* TwoStepHC_exec(VLK_AlgoArgs* a, VLK_ScoreArgs* sa) {
  const vlk::Owned<VLK_ScoreArgs, VLK_ScoreArgs_delete> own_sa(sa == nullptr ? VLK_ScoreArgs_new()
                                                                             : nullptr);
  if (sa == nullptr) sa = own_sa.get();
  if (a->data == nullptr || a->score == nullptr)
    vlk::fatal("ERROR: TwoStepHC: no data set or no score module given.\n");

  int other = -1, init = -1;
  const bool created = a->timer == nullptr;
  if (created) {
    VLK_Greedy_prepare_timer(a);
    other = VLK_MultiTimer_add(a->timer, "TwoStep Other");
    init = VLK_MultiTimer_add(a->timer, "TwoStep Init");
  } else {
    other = VLK_KeyValues_get_int(a->options, "tshc_timer_label_other", -1);
    init = VLK_KeyValues_get_int(a->options, "tshc_timer_label_init", -1);
  }
  VLK_MultiTimer_start(a->timer, other);
  say("TwoStepHC: Starting the two-step greedy hill-clibming algorithm.\n");

  const Saved saved{a->options,     a->skeleton,     a->fixed,   a->candidates,
                    a->max_parents, sa->max_parents, sa->options};
  const KeyValuesPtr working(a->options != nullptr ? VLK_KeyValues_clone(a->options)
                                                   : VLK_KeyValues_new());
  if (working == nullptr) vlk::fatal("ERROR: TwoStepHC: Memory allocation failed.\n");
  a->options = working.get();
  VLK_KeyValues* opts = working.get();

  const char* first_file = VLK_KeyValues_get_string(opts, "first");
  if (first_file == nullptr) vlk::fatal("ERROR: TwoStepHC: First parent set file not specified.\n");
  const IntArrayPtr first(read_first_set(a->data, first_file));

  const int p = int_option(opts, "p", a->candidates);
  const int m = int_option(opts, "m", a->max_parents);
  const char* s = VLK_KeyValues_get_string(opts, "s");
  const vlk::MallocPtr<char> score_name(strdup(s != nullptr ? s : vlk::algo::kTwoStepScore));
  const KeyValuesPtr score_options(list_option(opts, "S"));
  const bool first_only = VLK_KeyValues_find_key(opts, "firstonly") >= 0;
  const bool cached = vlk::algo::two_step_cache_on(opts);
  say(cached ? "TwoStepHC: Score Cache: On\n" : "TwoStepHC: Score Cache: Off\n");

  const int n = a->data->p;
  GraphIPtr skeleton1(VLK_KeyValues_find_key(opts, "firstnet") >= 0
                          ? first_network_skeleton(opts, a->data)
                          : TwoStepHC_skeleton1(n, first.get(), saved.skeleton));
  a->skeleton = skeleton1.get();
  for (const char* key : vlk::algo::kTwoStepKeys) remove_all(opts, key);

  GraphPtr g1(VLK_Greedy_exec2(a));
  VLK_MultiTimer_start(a->timer, other);
  say("TwoStepHC: First network estimation finished\n");
  skeleton1.reset();
  a->skeleton = saved.skeleton;

  GraphPtr result;
  if (first_only || g1 == nullptr) {
    result = std::move(g1);
  } else {
    VLK_Score* step1 = a->score;
    if (step1->finalize != nullptr) step1->finalize(step1->state);
    std::free(step1);
    a->score = nullptr;

    const GraphIPtr skeleton2(TwoStepHC_skeleton2(n, first.get(), saved.skeleton));
    a->fixed = VLK_Graph_to_GraphI(g1.get());
    a->skeleton = skeleton2.get();
    a->candidates = p;
    a->max_parents = m;
    // The fixed step-1 edges can give a node up to the caller's parent limit, beyond m: the
    // score and the cache must take such sets, while the moves stay within m.
    const int stored_parents = std::max(m, saved.max_parents);
    sa->max_parents = stored_parents;
    sa->options = score_options.get();
    remove_all(opts, "parent");
    remove_all(opts, "rev");

    VLK_MultiTimer_start(a->timer, init);
    install_step2_score(a, sa, score_name.get(), cached, p, stored_parents);
    say("TwoStepHC: Starting the second network estimation.\n");
    result.reset(VLK_Greedy_exec2(a));
    VLK_MultiTimer_start(a->timer, other);
    say("TwoStepHC: Second network estimation finished\n");
    g1.reset();
  }

  restore(a, sa, saved);
  if (created) {
    if (a->results == nullptr) a->results = VLK_KeyValues_new();
    VLK_KeyValues_put_int(a->results, "tshc_timer_label_other", other);
    VLK_KeyValues_put_int(a->results, "tshc_timer_label_init", init);
  }
  VLK_MultiTimer_stop(a->timer);
  return result.release();
}

void TwoStepHC_help(FILE* fp, const char* /*sub*/) {
  // The keys it takes out of the list before the greedy search sees the rest.
  std::vector<VLK_ArgDef> table;
  for (const char* key : vlk::algo::kTwoStepKeys) table.push_back(vlk::arg_ignore(key));
  table.push_back(vlk::arg_end());
  std::string scores;
  for (const VLK_Score* row = VLK_Score_list; row->name != nullptr; ++row)
    scores += std::string(scores.empty()               ? ""
                          : (row + 1)->name == nullptr ? " or "
                                                       : ", ") +
              row->name;
  const vlk::OptionHelp help[] = {
      {"first", "=file (string)",
       "The node set file of the first set (required). The first step estimates edges "
       "from the first set to the other nodes only; the second keeps them and estimates "
       "the rest around them.",
       ""},
      {"p", "=n (integer)", "The candidates of the second step.", "the search's candidates"},
      {"m", "=n (integer)", "The parent limit of the second step.", "the search's parent limit"},
      {"s", "=name (string)", "The score module of the second step: " + scores + ".",
       vlk::algo::kTwoStepScore},
      {"S", "={key=value,...}", "The options of the second step's score module.", "none"},
      {"firstonly", "[=value]", "Present, whatever its value: the second step is skipped.",
       "absent"},
      {"cache", "=text",
       "The second step's score cache: on when absent, empty or \"on\" (any case); any "
       "other text switches it off.",
       "on"},
      {"firstnet", "=file (string)",
       "A network file whose edges form the first step's skeleton instead of the first set.",
       "none"},
      {"firstnettype", "=format (string)", "The format of the firstnet file.",
       std::string(kFirstNetType) + " when firstnetopt is absent too"},
      {"firstnetopt", "={key=value,...}", "The reader options of the firstnet file.",
       std::string(kFirstNetOptions) + " when firstnettype is absent too"},
      {"tshc_timer_label_init tshc_timer_label_other", "=n (integer)",
       "The timer sections of an earlier call, which its caller passes on.", "-1"},
  };
  std::fprintf(fp, "\"tshc\" (two-step hill-climbing search):\n");
  vlk::print_option_help(fp, table.data(), help);
  std::fprintf(fp,
               "Both steps search with \"hc2\", which takes the other options (parent and rev\n"
               "are dropped before the second step):\n");
  vlk::greedy::print_options2(fp);
}
