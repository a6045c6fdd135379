#include "method/nucleus_jobs.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "ScoreCache2.h"
#include "TwoStepHC.h"
#include "VLK_Greedy.h"
#include "VLK_Score.h"
#include "VLK_ScoreCache3.h"
#include "VLK_ScoreStore.h"
#include "VLK_Timer.h"
#include "exchange/edge_records.h"
#include "exchange/edge_tables.h"
#include "exchange/exchange_work.h"
#include "exchange/graph_exchange.h"
#include "exchange/network_gathering.h"
#include "method/pass_plan.h"
#include "search/skeleton.h"
#include "selection/collect_data.h"
#include "selection/one_to_one.h"
#include "selection/select_nodes.h"
#include "velkcom.h"
#include "vlk_fatal.h"

NucleusSearchFn generate_nuclei_search = nucleus_search;

namespace {

void flush() { std::fflush(VELK_ERR); }

bool known_algorithm(int id) { return id == 0 || id == 1 || id == 2; }

// The batch of one call: the node lists and graphs of the jobs since the last exchange, made
// once per call for the largest batch the call can fill.
struct Batch {
  int K;
  std::vector<unsigned short> sel;
  std::vector<VLK_Graph*> graphs;

  Batch(int rows, int module_size) : K(module_size) {
    exchange::resize(sel, static_cast<size_t>(rows) * static_cast<size_t>(K), "the job batch");
    exchange::resize(graphs, static_cast<size_t>(rows), "the job batch");
  }
  unsigned short* row(int b) { return sel.data() + static_cast<size_t>(b) * K; }
  void exchange(Args* a, int fill) {
    exchange_graph(a, graphs.data(), sel.data(), fill);
    for (VLK_Graph*& g : graphs) {
      VLK_Graph_delete(g);
      g = nullptr;
    }
  }
};

// "%d:" and the parents of every nucleus position, by gene id.
void print_nucleus_graph(const VLK_Graph* g, const unsigned short* sel, int K) {
  for (int i = 0; i < K; ++i) {
    std::fprintf(VELK_ERR, "%d:", sel[i]);
    const VLK_IntArray* parents = VLK_Graph_parents(g, i);
    for (size_t k = 0; k < parents->size; ++k) std::fprintf(VELK_ERR, " %d", sel[parents->data[k]]);
    std::fprintf(VELK_ERR, "\n");
  }
  flush();
}

// Every own gene's pairs that were ever an edge: (w:forward,backward/pairs).
void print_sub_graph(const Args* a) {
  std::fprintf(VELK_ERR, "Sub Graph (nodes = %d):\n", a->nodes);
  flush();
  const GeneLayout layout = Args_gene_layout(a);
  for (std::int64_t l = 0; l < layout.own; ++l) {
    const std::int64_t v = layout.gene(l);
    std::fprintf(VELK_ERR, "%d:", static_cast<int>(v));
    for (std::int64_t w = 0; w < v; ++w) {
      const int f = a->edge_counts[layout.forward(l, w)];
      const int b = a->edge_counts[layout.backward(l, w)];
      if (f + b >= 1)
        std::fprintf(VELK_ERR, " (%d:%d,%d/%d)", static_cast<int>(w), f, b,
                     a->pair_counts[layout.pair(l, w)]);
    }
    std::fprintf(VELK_ERR, "\n");
    flush();
  }
}

// A fresh record of the run's score, initialised on the nucleus data set with the search's
// parent limit and the memory left, read through the run's score store when there is one (sel
// gives the gene of every position), and wrapped in the score cache of --cache (2 the prefix
// tree, 3 the hash table; each wrapper takes the record's place).
VLK_Score* nucleus_score(Args* a, const unsigned short* sel) {
  VLK_Score* score = VLK_Score_get(a->score_name);
  if (score == nullptr)
    vlk::fatal("ERROR: generate_nuclei(): no score module named %s\n", a->score_name);
  VLK_AlgoArgs* aa = a->algo_args;
  VLK_ScoreArgs* sa = a->score_args;
  sa->max_parents = aa->max_parents;
  sa->max_memory = a->memory;
  VLK_Timer_start(a->init_timer);
  const int nodes = a->nucleus_data->p;
  const VLK_ScoreStore* store = a->score_store;
  // With one parent at most, every score of a nucleus whose pairs are all stored is a lookup:
  // the state would never be used.
  if (store != nullptr && aa->max_parents <= 1 && VLK_ScoreStore_covers(store, sel, nodes) != 0)
    score->reserved0 = std::max(sa->threads, 1);
  else
    VLK_Score_init(score, a->nucleus_data, sa);
  if (store != nullptr) score = VLK_ScoreStore_wrap(score, store, sel, nodes);
  if (a->cache_type == 2)
    score = ScoreCache2_init(score, aa->candidates, a->cache_bytes, nodes);
  else if (a->cache_type == 3)
    score = VLK_ScoreCache3_init(score, nodes, aa->max_parents, a->cache_bytes, sa->threads);
  VLK_Timer_stop(a->init_timer);
  return score;
}

// Finalizes through the cache when one wraps the module; the record is the caller's to free.
void release_score(VLK_Score* score) {
  std::fprintf(VELK_ERR, "Releasing the score buffer\n");
  flush();
  score->finalize(score->state);
  std::free(score);
  std::fprintf(VELK_ERR, "  done.\n");
  flush();
}

// One real job: the nucleus around the next seed gene, its score and its search; the graph
// goes into the batch slot beside the node list.
VLK_Graph* run_job(Args* a, unsigned short* sel, int j, int counter) {
  VLK_AlgoArgs* aa = a->algo_args;
  const int seed = static_cast<int>(
      (static_cast<std::int64_t>(counter) % a->own_genes) * a->processes + a->rank);
  std::fprintf(VELK_ERR, "Seed Node = %d\n", seed);
  flush();
  select_nodes(a, sel, seed);
  collect_data(a, sel);
  aa->data = a->nucleus_data;

  if (a->skeleton_file != nullptr) {
    std::fprintf(VELK_ERR, "Reading the skeleton graph: file=%s\n", a->skeleton_file);
    aa->skeleton =
        read_skeleton(a->nucleus_data, a->skeleton_file, a->skeleton_type, a->skeleton_args);
    flush();
  }
  // The run's record (which the 1-to-1 table scores with) steps aside for the nucleus's own.
  VLK_Score* const run_score = aa->score;
  if (!a->init_score) aa->score = nucleus_score(a, sel);
  flush();
  aa->options = VLK_KeyValues_clone(a->algo_options);

  VLK_Timer_start(a->search_timer);
  VLK_Graph* g = generate_nuclei_search(a);
  VLK_Timer_stop(a->search_timer);
  if (g == nullptr)
    vlk::fatal("ERROR: generate_nuclei(): the search of job %d (seed %d) returned no graph\n",
               j + 1, seed);
  if (VLK_Graph_num_nodes(g) != static_cast<size_t>(a->module_size))
    vlk::fatal(
        "ERROR: generate_nuclei(): the search of job %d returned a graph of %zu nodes for a "
        "nucleus of %d\n",
        j + 1, VLK_Graph_num_nodes(g), a->module_size);

  VLK_KeyValues_delete(aa->options);
  aa->options = nullptr;
  if (aa->skeleton != nullptr) {
    aa->skeleton->delete_(aa->skeleton);
    aa->skeleton = nullptr;
  }
  std::fprintf(VELK_ERR, "Network estimation finished at %s", exchange::now_text());
  flush();
  if (a->debug) print_nucleus_graph(g, sel, a->module_size);
  if (!a->init_score) {
    release_score(aa->score);
    aa->score = run_score;
  }
  return g;
}

// Two-step hill climbing made its profiler sections on the first call; the later nuclei are
// charged to the same ones through the search options. The entries are replaced, not
// appended, so the options do not grow with every nucleus.
void keep_sections(Args* a) {
  for (const char* key : {"tshc_timer_label_other", "tshc_timer_label_init"}) {
    const int section = VLK_KeyValues_get_int(a->algo_args->results, key, 999);
    if (section == 999) continue;
    if (a->algo_options == nullptr) a->algo_options = VLK_KeyValues_new();
    VLK_KeyValues_set_int(a->algo_options, key, section);
  }
}

}  // namespace

VLK_Graph* nucleus_search(Args* a) {
  switch (a->algo_id) {
    case 0:
      return VLK_Greedy_exec(a->algo_args);
    case 2:
      return VLK_Greedy_exec2(a->algo_args);
    case 1: {
      VLK_Graph* g = TwoStepHC_exec(a->algo_args, a->score_args);
      keep_sections(a);
      return g;
    }
    default:
      vlk::fatal("ERROR: Unknown Algorithm ID Detected: %d\n", a->algo_id);
  }
}

void generate_nuclei(Args* a, int c, int* counter) {
  if (c <= 0) return;
  // Every process refuses together: a process left with dummy jobs only would never meet the
  // search and wait for the others in the next exchange.
  if (!known_algorithm(a->algo_id))
    vlk::fatal("ERROR: Unknown Algorithm ID Detected: %d\n", a->algo_id);
  std::fprintf(VELK_ERR, "Generating nuclei. iterations=%d, offset=%d.\n", c, *counter);
  const PassPlan plan = pass_plan(c, a->processes, a->rank, a->exchange_interval, a->rw_interval,
                                  a->oto_interval, a->method);
  std::fprintf(VELK_ERR, "Job assignment: job_offset = %d, job_size = %d.\n", plan.offset,
               plan.share);
  if (plan.share > 0 && a->own_genes < 1)
    vlk::fatal("ERROR: generate_nuclei(): this process owns no gene to seed a nucleus\n");

  Batch batch(std::min(std::max(a->exchange_interval, 1), plan.passes), a->module_size);
  int& b = a->batch_fill;
  b = 0;
  for (const PassEvent& e : plan.events) {
    switch (e.kind) {
      case PassEvent::pass_start:
        std::fprintf(VELK_ERR, "== Job %d / %d start == \n", e.pass + 1, plan.share);
        std::fprintf(VELK_ERR, "  Start at %s", exchange::now_text());
        if (e.pass >= plan.share) std::fprintf(VELK_ERR, " -- dummy job -- \n");
        flush();
        break;
      case PassEvent::rebuild_network:
        std::fprintf(VELK_ERR, "Constructing a whole network with th=%f for random walking.\n",
                     a->rw_threshold);
        flush();
        exchange_network(a, a->rw_threshold);
        break;
      case PassEvent::one_to_one:
        one_to_one(a);
        break;
      case PassEvent::job:
        batch.graphs[b] = run_job(a, batch.row(b), e.pass, *counter);
        ++*counter;
        ++b;
        break;
      case PassEvent::dummy:
        std::fill_n(batch.row(b), a->module_size, kNoGene);
        batch.graphs[b] = nullptr;
        ++b;
        break;
      case PassEvent::exchange:
        batch.exchange(a, b);
        b = 0;
        break;
      case PassEvent::loop_break:
        std::fprintf(VELK_ERR, "Loop breaking (Case %c).\n", plan.loop_case);
        break;
      case PassEvent::extra_exchange:
        flush();
        batch.exchange(a, b);
        std::fprintf(VELK_ERR, "generate_nuclei(): Extra exchange_graph() finished.\n");
        std::fprintf(VELK_ERR, "generate_nuclei(): Deleting graphs.\n");
        flush();
        b = 0;
        break;
    }
  }
  flush();
  if (a->debug) print_sub_graph(a);
}
