// The counting and the reports of the evaluation; the collective steps are in evaluate_mpi.cpp.
#include "evaluation/evaluate.h"

#include <cinttypes>
#include <cstdio>
#include <limits>
#include <vector>

#include "VLK_Data.h"
#include "VLK_StrMatrix.h"
#include "evaluation/dag.h"
#include "exchange/edge_tables.h"
#include "exchange/network_forms.h"
#include "method/main_helpers.h"
#include "velkcom.h"

namespace {

using vlk::eval::Confusion;

// A quotient without a denominator has no value; a positive NaN prints as "nan" (0.0 / 0.0
// gives a negative one, printed "-nan").
double ratio(std::int64_t num, std::int64_t den) {
  if (den == 0) return std::numeric_limits<double>::quiet_NaN();
  return static_cast<double>(num) / static_cast<double>(den);
}

// A reference edge pa -> ch; ids outside the reference have none.
bool ref_edge(const VLK_Network* ref, int pa, int ch) {
  const auto n = static_cast<long long>(VLK_Network_num_nodes(ref));
  if (pa < 0 || ch < 0 || pa >= n || ch >= n) return false;
  return VLK_Network_check_edge_index(ref, pa, ch) != 0;
}

void print_rule() { std::fprintf(VELK_ERR, "-------------------------------\n"); }

void print_graph_report(const char* label, int iteration, double cutoff, const Confusion& c) {
  std::fprintf(VELK_ERR, "---- PCGRAPH COMPARISON ----\n");
  std::fprintf(VELK_ERR, "%sL:\tITER\tCUTOFF\tTP\tRTP\tFP\tFN\tSn\tSp\n", label);
  std::fprintf(VELK_ERR,
               "%sR:\t%d\t%0.3f\t%" PRId64 "\t%" PRId64 "\t%" PRId64 "\t%" PRId64 "\t%.3f\t%.3f\n",
               label, iteration, cutoff, c.tp, c.rtp, c.fp, c.fn, c.sn(), c.sp());
  print_rule();
}

void print_pairwise_report(const char* label, int iteration, double cutoff, const Confusion& c) {
  std::fprintf(VELK_ERR, "---- PCGRAPH COMPARISON ----\n");
  std::fprintf(VELK_ERR, "%sL:\tITER\tCUTOFF\tTP\tRTP\tFP\tFN\tTN\tSn\tSp\n", label);
  std::fprintf(VELK_ERR,
               "%sR:\t%d\t%0.3f\t%" PRId64 "\t%" PRId64 "\t%" PRId64 "\t%" PRId64 "\t%" PRId64
               "\t%.3f\t%.3f\n",
               label, iteration, cutoff, c.tp, c.rtp, c.fp, c.fn, c.tn, c.sn(), c.sp());
  print_rule();
}

// One pair of the older pairwise reports: reference w -> v first, then v -> w, then none.
void count_pair(Confusion& c, bool ref_wv, bool ref_vw, bool found_wv, bool found_vw) {
  if (ref_wv) {
    found_wv ? ++c.tp : found_vw ? ++c.rtp : ++c.fn;
  } else if (ref_vw) {
    found_vw ? ++c.tp : found_wv ? ++c.rtp : ++c.fn;
  } else {
    found_wv || found_vw ? ++c.fp : ++c.tn;
  }
}

// Whether g has pa -> ch, with the edge's frequency reaching the cutoff when frequencies are
// given (edge index = slot id - nodes).
struct Found {
  const VLK_PCGraph* g;
  const VLK_FloatArray* freq;
  float cutoff;
  bool slot(size_t id) const { return id != VLK_PCGRAPH_NONE && (!freq || value(id) >= cutoff); }
  float value(size_t id) const { return freq->data[id - g->n]; }
  bool operator()(int pa, int ch) const { return slot(VLK_PCGraph_check_edge_id(g, pa, ch)); }
};

Confusion count_pairwise(const VLK_PCGraph* g, const VLK_Network* ref, const Found& found) {
  Confusion c;
  const int n = static_cast<int>(VLK_PCGraph_num_nodes(g));
  for (int v = 0; v < n; ++v)
    for (int w = 0; w < v; ++w)
      count_pair(c, ref_edge(ref, w, v), ref_edge(ref, v, w), found(w, v), found(v, w));
  return c;
}

}  // namespace

namespace vlk::eval {

double Confusion::sn() const { return ratio(tp, tp + fn); }
double Confusion::sp() const { return ratio(tp, tp + rtp + fp); }

void count_own_pairs(const Args* a, const VLK_DoubleArray* cutoffs, Confusion* out) {
  const GeneLayout layout = Args_gene_layout(a);
  const VLK_Network* ref = a->reference;
  const size_t ncut = cutoffs->size;
  std::vector<float> cuts(ncut);
  for (size_t k = 0; k < ncut; ++k) {
    cuts[k] = static_cast<float>(cutoffs->data[k]);
    out[k] = Confusion{};
  }
  // Per own gene v, the reference edges with every smaller gene w: bit 1 w -> v, bit 2 v -> w.
  constexpr unsigned char kIn = 1, kOut = 2;
  std::vector<unsigned char> mark(static_cast<size_t>(layout.n), 0);
  const auto ref_nodes = static_cast<std::int64_t>(VLK_Network_num_nodes(ref));
  auto mark_edges = [&](int v, bool set) {
    if (v >= ref_nodes) return;
    const VLK_IntArray* parents = VLK_Network_get_parent_indexes(ref, v);
    for (size_t i = 0; i < parents->size; ++i)
      if (const int p = parents->data[i]; p < v) mark[p] = set ? mark[p] | kIn : 0;
    const int children = VLK_Network_num_children(ref, v);
    for (int i = 0; i < children; ++i)
      if (const int c = VLK_Network_get_child_index(ref, v, i); c >= 0 && c < v)
        mark[c] = set ? mark[c] | kOut : 0;
  };
  for (std::int64_t l = 0; l < layout.own; ++l) {
    const int v = static_cast<int>(layout.gene(l));
    mark_edges(v, true);
    for (int w = 0; w < v; ++w) {
      const int pc = a->pair_counts[layout.pair(l, w)];
      const bool seen = pc >= a->min_pair_count;
      float f = 0.0f, b = 0.0f;
      if (seen) {
        f = exchange::quotient(a->edge_counts[layout.forward(l, w)], pc);
        b = exchange::quotient(a->edge_counts[layout.backward(l, w)], pc);
      }
      const unsigned char m = mark[static_cast<size_t>(w)];
      for (size_t k = 0; k < ncut; ++k) {
        const bool fwd = seen && f >= cuts[k], bwd = seen && b >= cuts[k];
        Confusion& c = out[k];
        // One verdict per reference edge, as the gathered network's count gives them: a pair
        // the reference holds both ways has two.
        if (m & kIn) fwd ? ++c.tp : bwd ? ++c.rtp : ++c.fn;
        if (m & kOut) bwd ? ++c.tp : fwd ? ++c.rtp : ++c.fn;
        if (m == 0) fwd || bwd ? ++c.fp : ++c.tn;
      }
    }
    mark_edges(v, false);
  }
}

Confusion count_graph(const VLK_PCGraph* g, const VLK_FloatArray* freq, const VLK_Network* ref,
                      float cutoff) {
  Confusion c;
  const Found found{g, freq, cutoff};
  const int gn = static_cast<int>(VLK_PCGraph_num_nodes(g));
  const int rn = static_cast<int>(VLK_Network_num_nodes(ref));
  for (int i = 0; i < rn; ++i) {
    const VLK_IntArray* parents = VLK_Network_get_parent_indexes(ref, i);
    for (size_t k = 0; k < parents->size; ++k) {
      const int p = parents->data[k];
      if (i >= gn || p >= gn) {
        ++c.fn;
        continue;
      }
      found(p, i) ? ++c.tp : found(i, p) ? ++c.rtp : ++c.fn;
    }
  }
  for (size_t id = VLK_PCGraph_first_edge(g); id != VLK_PCGRAPH_NONE;
       id = VLK_PCGraph_next_edge(g, id)) {
    if (!found.slot(id)) continue;
    int pa = 0, ch = 0;
    VLK_PCGraph_get_edge(g, id, &pa, &ch);
    if (ref_edge(ref, pa, ch) || ref_edge(ref, ch, pa)) continue;
    // A pair found both ways is one false edge, counted at its smaller parent. A frequency
    // that does not compare (NaN) leaves the reverse edge standing.
    const size_t back = VLK_PCGraph_check_edge_id(g, ch, pa);
    const bool both = back != VLK_PCGRAPH_NONE && (!freq || !(found.value(back) < cutoff));
    if (!both || pa < ch) ++c.fp;
  }
  return c;
}

void print_nuclei_report(FILE* fp, int iteration, const VLK_DoubleArray* cutoffs,
                         const Confusion* sums) {
  std::fprintf(fp, "COMPARISON RESULT(S)\n");
  std::fprintf(fp, "COML:\tITER\tCUTOFF\tTP\tRTP\tFP\tFN\tSn\tSp\n");
  for (size_t k = 0; k < cutoffs->size; ++k) {
    const Confusion& c = sums[k];
    std::fprintf(
        fp, "COMR:\t%d\t%.3f\t%" PRId64 "\t%" PRId64 "\t%" PRId64 "\t%" PRId64 "\t%.3f\t%.3f\n",
        iteration, cutoffs->data[k], c.tp, c.rtp, c.fp, c.fn, c.sn(), c.sp());
  }
}

void dag_reports(Args* a, int iteration, bool with_counts) {
  for (size_t k = 0; k < a->cutoffs->size; ++k) {
    const double c = a->cutoffs->data[k];
    std::fprintf(VELK_ERR, "  th=%f\n", c);
    std::fflush(VELK_ERR);
    if (with_counts) {
      put_current_time("  Calling compare_pcgraph_prob2()");
      compare_pcgraph_prob2(a->gathered_network, a->gathered_values, a->reference,
                            static_cast<float>(c), iteration, "COM");
    }
    put_current_time("  Calling extract_DAG()");
    extract_DAG(a->gathered_network, a->gathered_values, a->dag, static_cast<float>(c));
    put_current_time("  Calling compare_pcgraph2()");
    compare_pcgraph2(a->dag, a->reference, c, iteration, "DAGCMP");
  }
}

float smallest_cutoff(const VLK_DoubleArray* cutoffs) {
  double least = cutoffs->data[0];
  for (size_t k = 1; k < cutoffs->size; ++k)
    if (cutoffs->data[k] < least) least = cutoffs->data[k];
  return static_cast<float>(least);
}

int next_dag_evaluation(int iteration, int next, int dag_interval) {
  // 64-bit, so that a schedule near the top of the int range stops there instead of wrapping.
  std::int64_t x = next;
  while (x <= iteration) x += dag_interval;
  return x > std::numeric_limits<int>::max() ? std::numeric_limits<int>::max()
                                             : static_cast<int>(x);
}

}  // namespace vlk::eval

void compare_pcgraph_prob2(const VLK_PCGraph* g, const VLK_FloatArray* frequencies,
                           const VLK_Network* reference, float cutoff, int iteration,
                           const char* label) {
  print_graph_report(label, iteration, cutoff,
                     vlk::eval::count_graph(g, frequencies, reference, cutoff));
}

void compare_pcgraph2(const VLK_PCGraph* g, const VLK_Network* reference, double cutoff,
                      int iteration, const char* label) {
  print_graph_report(label, iteration, cutoff,
                     vlk::eval::count_graph(g, nullptr, reference, static_cast<float>(cutoff)));
}

void compare_pcgraph_prob(const VLK_PCGraph* g, const VLK_FloatArray* frequencies,
                          const VLK_Network* reference, float cutoff, int iteration,
                          const char* label) {
  print_pairwise_report(label, iteration, cutoff,
                        count_pairwise(g, reference, Found{g, frequencies, cutoff}));
}

void compare_pcgraph(const VLK_PCGraph* g, const VLK_Network* reference, double cutoff,
                     int iteration, const char* label) {
  print_pairwise_report(label, iteration, cutoff,
                        count_pairwise(g, reference, Found{g, nullptr, 0.0f}));
}

void compare_subnetwork(const Args* a, const unsigned short* genes, VLK_Graph* g) {
  Confusion c;
  const VLK_Network* ref = a->reference;
  for (int i = 0; i < a->module_size; ++i) {
    for (int j = 0; j < i; ++j) {
      const int x = genes[j], y = genes[i];
      count_pair(c, ref_edge(ref, x, y), ref_edge(ref, y, x), VLK_Graph_check_edge(g, j, i) != 0,
                 VLK_Graph_check_edge(g, i, j) != 0);
    }
  }
  std::fprintf(VELK_ERR, "---- SUBNETWORK COMPARISON ----\n");
  std::fprintf(VELK_ERR, "SUBCMPL\tTP\tRTP\tFP\tFN\tTN\tSn\tSp\n");
  std::fprintf(VELK_ERR,
               "SUBCMP\t%" PRId64 "\t%" PRId64 "\t%" PRId64 "\t%" PRId64 "\t%" PRId64
               "\t%.3f\t%.3f\n",
               c.tp, c.rtp, c.fp, c.fn, c.tn, c.sn(), c.sp());
  print_rule();
}

void compare_module(const Args* a) {
  std::fprintf(VELK_ERR, "Comparing modules.\n");
  std::fflush(VELK_ERR);
  VLK_StrMatrix* modules =
      a->module_file != nullptr ? VLK_StrMatrix_read_file(a->module_file) : nullptr;
  if (modules == nullptr) {
    std::fprintf(VELK_ERR, "WARNING: Failed to read file: %s\n",
                 a->module_file ? a->module_file : "(null)");
    return;
  }
  std::fprintf(VELK_ERR, "  Read modules: %d\n", static_cast<int>(VLK_StrMatrix_lines(modules)));
  std::fflush(VELK_ERR);
  // The line of a gene's name, or -1 with a warning (a gene without a name is in no line).
  auto module_of = [&](int gene) -> long {
    const char* name = a->whole_data != nullptr ? VLK_Data_get_name(a->whole_data, gene) : nullptr;
    const long line = name != nullptr ? VLK_StrMatrix_find_line(modules, name) : -1;
    if (line < 0) std::fprintf(VELK_ERR, "WARNING: not found: %s\n", name ? name : "(null)");
    return line;
  };
  std::int64_t pos = 0, neg = 0;
  const VLK_UShortArray* pairs = a->send_records;
  for (size_t i = 0; pairs != nullptr && i + 1 < pairs->size; i += 2) {
    const long x = module_of(pairs->data[i]);
    const long y = module_of(pairs->data[i + 1]);
    if (x >= 0 && y >= 0) x == y ? ++pos : ++neg;
  }
  std::fprintf(VELK_ERR, "MCOML:\tCUTOFF\tPOS\tNEG\tRATIO\n");
  std::fprintf(VELK_ERR, "MCOMP:\t%.3f\t%" PRId64 "\t%" PRId64 "\t%f\n", a->module_ratio, pos, neg,
               ratio(pos, pos + neg));
  VLK_StrMatrix_delete(modules);
}
