// Greedy hill climbing over a skeleton network on a parent-child graph.
#include "VLK_Greedy_pcgraph.h"

#include <algorithm>
#include <cfloat>
#include <cstdio>
#include <vector>

#include "VLK_Edge.h"
#include "VLK_Greedy.h"
#include "VLK_IO.h"
#include "VLK_Network_convert.h"
#include "VLK_UShortArray.h"
#include "VLK_Util_jobs.h"
#include "velkcom.h"
#include "vlk_check.h"
#include "vlk_fatal.h"
#include "vlk_owned.h"

namespace {

using vlk::greedy::GreedyArgsPtr;
using vlk::greedy::local_score;
using vlk::greedy::ScratchLists;
using PCGraphPtr = vlk::Owned<VLK_PCGraph, VLK_PCGraph_delete>;
using OrderPtr = vlk::Owned<OTO_PK, OTO_PK_delete>;
using FloatArrayPtr = vlk::Owned<VLK_FloatArray, VLK_FloatArray_delete>;

constexpr size_t kNone = VLK_PCGRAPH_NONE;
constexpr int kUnmarked = 0;
constexpr int kMarked = 1;

// The child order and one mark per node, made once per search.
struct PassWork {
  explicit PassWork(int n) : order(static_cast<size_t>(std::max(n, 0))), marks(order.size()) {}
  std::vector<int> order;
  std::vector<int> marks;
};

struct Move {
  enum Type : int { none, add, remove, reverse };
  Type type = none;
  size_t id = kNone;  // the slot of the edge removed or reversed
  int node = -1;      // the parent added, or the other end of the reversed edge
  double child_score = 0.0;
  double other_score = 0.0;
};

// An edge of W taken out of the cycle test: its slot holds no edge while the object lives.
// The searches skip such a slot, and the slot, its links and the lists stay where they are.
class HiddenEdge {
 public:
  HiddenEdge(VLK_PCGraph* g, size_t id) : slot_(g->slots[id]), pa_(slot_.pa), ch_(slot_.ch) {
    slot_.pa = -1;
    slot_.ch = -1;
  }
  ~HiddenEdge() {
    slot_.pa = pa_;
    slot_.ch = ch_;
  }
  HiddenEdge(const HiddenEdge&) = delete;
  HiddenEdge& operator=(const HiddenEdge&) = delete;

 private:
  VLK_PCGraphSlot& slot_;
  int32_t pa_;
  int32_t ch_;
};

int max_parents_of(const VLK_PCGraph* g) {
  int most = 0;
  for (size_t v = 0; v < g->n; ++v) most = std::max(most, g->num_parents[v]);
  return most;
}

void apply(const Move& m, int c, VLK_PCGraph* W, OTO_PK* order, int dynamic, double* ns) {
  switch (m.type) {
    case Move::none:
      return;
    case Move::add: {
      const int refused = OTO_PK_add_edge(order, m.node, c, W);
      vlk::check(refused == 0, "an addition tested acyclic is accepted");
      break;
    }
    case Move::remove:
      VLK_PCGraph_remove_edge_id(W, m.id);
      break;
    case Move::reverse: {
      VLK_PCGraph_remove_edge_id(W, m.id);
      if (dynamic != 0) {
        // Dynamic graphs may hold cycles, which the order would refuse: the edge goes in as it
        // is (nothing consults the order in this mode).
        VLK_PCGraph_add_edge(W, c, m.node);
      } else {
        const int refused = OTO_PK_add_edge(order, c, m.node, W);
        vlk::check(refused == 0, "a reversal tested acyclic is accepted");
      }
      ns[m.node] = m.other_score;
      break;
    }
  }
  ns[c] = m.child_score;
}

int pass(PassWork& w, int n, const VLK_PCGraph* S, VLK_PCGraph* W, OTO_PK* order, int dynamic,
         VLK_IntArray* tmp, VLK_Score* score, double* ns) {
  VLK_IntArray* list = &tmp[0];  // the child's parents in W
  VLK_IntArray* s1 = &tmp[1];    // the child's parents after the move
  VLK_IntArray* s2 = &tmp[2];    // the other node's parents after a reversal
  std::vector<int>& marks = w.marks;
  VLK_Util_random_perm(w.order.data(), n);
  int changed = 0;
  for (int i = 0; i < n; ++i) {
    const int c = w.order[static_cast<size_t>(i)];
    VLK_PCGraph_parents(W, c, list);
    double best = 0.0;
    Move move;
    for (size_t id = VLK_PCGraph_first_parent_id(S, c); id != kNone;
         id = VLK_PCGraph_next_parent_id(S, id))
      marks[static_cast<size_t>(VLK_PCGraph_get_parent(S, id))] = kUnmarked;

    size_t k = 0;
    for (size_t id = VLK_PCGraph_first_parent_id(W, c); id != kNone;
         id = VLK_PCGraph_next_parent_id(W, id), ++k) {
      const int p = VLK_PCGraph_get_parent(W, id);
      marks[static_cast<size_t>(p)] = kMarked;
      VLK_IntArray_copy_remove(list, s1, k);
      const double v1 = local_score(score, c, s1);
      if (v1 - ns[c] < best) {
        best = v1 - ns[c];
        move = {Move::remove, id, p, v1, 0.0};
      }
      // A self-loop turned round is the same edge; its "reversal" would count c twice.
      if (p == c || !VLK_PCGraph_check_edge(S, c, p)) continue;
      bool open = false;
      if (dynamic != 0) {
        open = !VLK_PCGraph_check_edge(W, c, p);
      } else {
        // Only another path from p to c closes a cycle with c -> p once p -> c is gone.
        const HiddenEdge hidden(W, id);
        open = OTO_PK_check_cyclic(order, c, p, W) == 0;
      }
      if (!open) continue;
      VLK_PCGraph_parents(W, p, s2);
      VLK_IntArray_add(s2, c);
      const double v2 = local_score(score, p, s2);
      const double d = v2 + (v1 - ns[c]) - ns[p];
      if (d < best) {
        best = d;
        move = {Move::reverse, id, p, v1, v2};
      }
    }

    if (dynamic == 0) {
      for (size_t id = VLK_PCGraph_first_parent_id(S, c); id != kNone;
           id = VLK_PCGraph_next_parent_id(S, id)) {
        const int x = VLK_PCGraph_get_parent(S, id);
        if (marks[static_cast<size_t>(x)] == kMarked || OTO_PK_check_cyclic(order, x, c, W) != 0)
          continue;
        VLK_IntArray_copy_add(list, s1, x);
        const double v = local_score(score, c, s1);
        if (v - ns[c] < best) {
          best = v - ns[c];
          move = {Move::add, kNone, x, v, 0.0};
        }
      }
    }
    if (move.type == Move::none) continue;
    apply(move, c, W, order, dynamic, ns);
    ++changed;
  }
  return changed;
}

// The start graph: the skeleton, or its acyclic subgraph by edge weight.
PCGraphPtr start_graph(const VLK_Network* net, const VLK_PCGraph* S, const VLK_GreedyArgs* ga) {
  PCGraphPtr D(VLK_PCGraph_new(S->n));
  if (D == nullptr) vlk::fatal("ERROR: Greedy: Memory allocation failed.\n");
  if (ga->dag == 0) {
    VLK_PCGraph_copy(S, D.get());
    return D;
  }
  std::fprintf(VELK_ERR, "Greedy: Extracting a DAG (th=%f).\n", ga->dag_th);
  const FloatArrayPtr weights(VLK_FloatArray_new());
  if (weights == nullptr) vlk::fatal("ERROR: Greedy: Memory allocation failed.\n");
  for (size_t k = 0; k < VLK_Network_num_edges(net); ++k) {
    const double w = VLK_Edge_get_property_double(VLK_Network_get_edge(net, static_cast<int>(k)),
                                                  ga->prob_key, 0.0);
    if (w == 0.0) std::fprintf(VELK_ERR, "WARNING: edge score = 0.0\n");
    if (VLK_FloatArray_add(weights.get(), static_cast<float>(w)) == nullptr)
      vlk::fatal("ERROR: Greedy: Memory allocation failed.\n");
  }
  VLK_PCGraph_DAG_fsc_th(S, weights.get(), static_cast<float>(ga->dag_th), D.get());
  std::fprintf(VELK_ERR, "Greedy: DAG edges = %zu\n", VLK_PCGraph_num_edges(D.get()));
  std::fprintf(VELK_ERR, "Greedy: DAG max parents = %d\n", max_parents_of(D.get()));
  return D;
}

double sum_of(const std::vector<double>& ns) {
  return VLK_Greedy_calc_score(ns.data(), static_cast<int>(ns.size()));
}

// The loop line and the nodes of negative score with their parents.
void print_pass(int loop, int changed, const std::vector<double>& ns, const VLK_PCGraph* W) {
  std::fprintf(VELK_ERR, "Greedy:   Loop %2d  (%4d) : score = %.3f\n", loop, changed, sum_of(ns));
  for (size_t i = 0; i < ns.size(); ++i) {
    if (!(ns[i] < 0.0)) continue;
    const int v = static_cast<int>(i);
    std::fprintf(VELK_ERR, "%d sc=%f parents=%zu\n", v, ns[i],
                 static_cast<size_t>(VLK_PCGraph_num_parents(W, v)));
    VLK_PCGraph_print_parents(W, v, VELK_ERR);
  }
}

}  // namespace

int VLK_Greedy_one_pcgraph(int n, const VLK_PCGraph* S, VLK_PCGraph* W, OTO_PK* order, int dynamic,
                           VLK_IntArray* tmp, VLK_Score* score, double* node_scores) {
  PassWork w(n);
  return pass(w, n, S, W, order, dynamic, tmp, score, node_scores);
}

VLK_Network* VLK_Greedy_on_pcgraph(VLK_AlgoArgs* a) {
  if (a->data == nullptr || a->score == nullptr || a->score->score == nullptr)
    vlk::fatal("ERROR: Greedy: no data set or no score module given.\n");
  const GreedyArgsPtr ga(VLK_Greedy_init(a));
  if (ga == nullptr) vlk::fatal("ERROR: Greedy: Memory allocation failed.\n");
  if (ga->skeleton == nullptr)
    vlk::fatal("ERROR: Greedy: Specify the file for a skeleton network.\n");

  std::fprintf(VELK_ERR, "Greedy: Reading a skeleton network: %s\n", ga->skeleton);
  const vlk::NetworkPtr net(IO_read_file(ga->skeleton, "VLK3", nullptr));
  // The skeleton's node positions are scored as the data set's: a node beyond them has no data.
  const size_t nodes = VLK_Network_num_nodes(net.get());
  if (nodes > static_cast<size_t>(std::max(a->data->p, 0)))
    vlk::fatal("ERROR: Greedy: the skeleton network has %zu nodes, the data set %d.\n", nodes,
               a->data->p);
  const PCGraphPtr S(VLK_Network_pcgraph_ord(net.get()));
  if (S == nullptr) vlk::fatal("ERROR: Greedy: Memory allocation failed.\n");
  const int n = static_cast<int>(nodes);
  std::fprintf(VELK_ERR, "Greedy:   max parents = %d\n", max_parents_of(S.get()));

  const PCGraphPtr D = start_graph(net.get(), S.get(), ga.get());
  const OrderPtr start_order(OTO_PK_new_pcgraph(D.get()));
  if (start_order == nullptr) {
    if (ga->dag == 0) vlk::fatal("ERROR: Greedy: the skeleton network has a cycle (use dag).\n");
    vlk::fatal("ERROR: Greedy: Memory allocation failed.\n");
  }
  const PCGraphPtr W(VLK_PCGraph_new(nodes));
  PCGraphPtr B(VLK_PCGraph_new(nodes));
  const OrderPtr order(OTO_PK_new(n));
  const ScratchLists tmp(3, nodes);
  if (W == nullptr || B == nullptr || order == nullptr || tmp.get() == nullptr)
    vlk::fatal("ERROR: Greedy: Memory allocation failed.\n");
  std::vector<double> ns(nodes);
  PassWork work(n);
  std::fprintf(VELK_ERR, "Greedy: Starting the HC algorithm over a skeleton network.\n");

  double best = DBL_MAX;
  if (ga->trials == 0) {
    std::fprintf(VELK_ERR, "Greedy: Skipping the HC algorithm.\n");
    // The result is a copy: the start graph is released with the rest.
    VLK_PCGraph_copy(D.get(), B.get());
    best = 0.0;
  }
  for (int t = 1; t <= ga->trials; ++t) {
    std::fprintf(VELK_ERR, "Greedy: Trail %2d --------------------------------\n", t);
    for (int v = 0; v < n; ++v) {
      VLK_PCGraph_parents(D.get(), v, &tmp.get()[0]);
      ns[static_cast<size_t>(v)] = local_score(a->score, v, &tmp.get()[0]);
    }
    std::fprintf(VELK_ERR, "  Initial score = %f\n", sum_of(ns));
    VLK_PCGraph_copy(D.get(), W.get());
    OTO_PK_copy(start_order.get(), order.get());
    for (int loop = 1;; ++loop) {
      if (loop > ga->max_loops) {
        std::fprintf(VELK_ERR, "Greedy: Readche the maximum loop limit.\n");
        break;
      }
      const int changed =
          pass(work, n, S.get(), W.get(), order.get(), a->dynamic, tmp.get(), a->score, ns.data());
      if (changed == 0) break;
      print_pass(loop, changed, ns, W.get());
    }
    const double s = sum_of(ns);
    // Strictly lower only: ties keep the earlier trial, and a NaN never wins.
    if (s < best) {
      VLK_PCGraph_copy(W.get(), B.get());
      best = s;
    }
  }

  std::fprintf(VELK_ERR, "Greedy: Finished.\n\n");
  std::fprintf(VELK_ERR, "======================================\n");
  std::fprintf(VELK_ERR, " Best Score = %f\n", best);
  std::fprintf(VELK_ERR, "======================================\n\n");
  std::fflush(VELK_ERR);

  VLK_PCGraph_fill(B.get());
  VLK_Network* result = VLK_Network_from_pcgraph(B.get(), a->data);
  if (result == nullptr) vlk::fatal("ERROR: Greedy: Memory allocation failed.\n");
  return result;
}
