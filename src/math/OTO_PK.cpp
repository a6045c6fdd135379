#include "OTO_PK.h"

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <numeric>
#include <queue>
#include <vector>

#include "vlk_check.h"
#include "vlk_fatal.h"
#include "vlk_owned.h"

namespace {

constexpr size_t none = VLK_PCGRAPH_NONE;

// The two directions of a search. The searches run once per insertion that disagrees with the
// order, so they read the slots directly instead of calling the walk functions per step.
struct Children {
  static size_t first(const VLK_PCGraph* g, int32_t v) { return g->slots[v].ch_next; }
  static size_t next(const VLK_PCGraphSlot& s) { return s.ch_next; }
  static int32_t other(const VLK_PCGraphSlot& s) { return s.ch; }
  // Forward from y: only nodes placed before x can lie on a path to x.
  static bool inside(int32_t ord, int32_t bound) { return ord < bound; }
};

struct Parents {
  static size_t first(const VLK_PCGraph* g, int32_t v) { return g->slots[v].pa_next; }
  static size_t next(const VLK_PCGraphSlot& s) { return s.pa_next; }
  static int32_t other(const VLK_PCGraphSlot& s) { return s.pa; }
  // Backward from x: only nodes placed after y can lie on a path from y.
  static bool inside(int32_t ord, int32_t bound) { return ord > bound; }
};

// Depth first from start, in list order, over the nodes on the inside of `end`'s position:
// 1 as soon as a neighbour sits at `end` itself. Every node reached is marked and appended to
// the set with its position.
template <class Dir>
int search(OTO_PK* pk, int32_t start, const VLK_PCGraph* g, int32_t end, OTO_PKEntry* set,
           int32_t* count) {
  vlk::check(start >= 0 && start < pk->n, "node id in 0 .. n-1");
  int32_t depth = 0;
  const auto enter = [&](int32_t v) {
    pk->visited[v] = 1;
    set[(*count)++] = {v, pk->ord[v]};
    pk->stack[depth++] = {v, Dir::first(g, v)};
  };
  enter(start);
  while (depth > 0) {
    OTO_PKFrame& top = pk->stack[depth - 1];
    if (top.next == none) {
      --depth;
      continue;
    }
    const VLK_PCGraphSlot& s = g->slots[top.next];
    top.next = Dir::next(s);
    const int32_t w = Dir::other(s);
    if (w < 0) continue;  // a slot that holds no edge
    const int32_t at = pk->ord[w];
    if (at == end) return 1;
    if (pk->visited[w] == 0 && Dir::inside(at, end)) enter(w);
  }
  return 0;
}

// Marks are set only on the nodes of the two sets: clearing those restores "all clear"
// without touching the other n entries.
void clear_marks(OTO_PK* pk) {
  for (int32_t i = 0; i < pk->forward_count; ++i) pk->visited[pk->forward[i].node] = 0;
  for (int32_t i = 0; i < pk->backward_count; ++i) pk->visited[pk->backward[i].node] = 0;
}

// The insertion test of x -> y: 1 for a cycle; otherwise 0, after renumbering when asked to.
int insertion_test(OTO_PK* pk, int x, int y, const VLK_PCGraph* g, bool renumber) {
  vlk::check(x >= 0 && x < pk->n && y >= 0 && y < pk->n, "node ids in 0 .. n-1");
  vlk::check(g->n == static_cast<size_t>(pk->n), "graph and order of one node count");
  const int32_t lb = pk->ord[y];
  const int32_t ub = pk->ord[x];
  if (lb >= ub) return 0;  // agrees already; x == y included
  pk->forward_count = 0;
  pk->backward_count = 0;
  int found = OTO_PK_dfs_f(pk, y, g, ub);
  if (found == 0) found = OTO_PK_dfs_b(pk, x, g, lb);
  if (found == 0 && renumber) OTO_PK_reorder(pk);
  clear_marks(pk);
  return found;
}

template <class T>
T* alloc_n(int32_t n) {
  return static_cast<T*>(std::malloc(static_cast<size_t>(std::max(n, 1)) * sizeof(T)));
}

}  // namespace

OTO_PK* OTO_PK_new(int n) {
  auto* pk = static_cast<OTO_PK*>(std::calloc(1, sizeof(OTO_PK)));
  if (pk == nullptr) return nullptr;
  pk->n = std::max(n, 0);
  const int32_t m = pk->n;
  pk->ord = alloc_n<int32_t>(2 * m);
  pk->forward = alloc_n<OTO_PKEntry>(2 * m);
  pk->stack = alloc_n<OTO_PKFrame>(m);
  pk->renumber = alloc_n<int32_t>(2 * m);
  if (pk->ord == nullptr || pk->forward == nullptr || pk->stack == nullptr ||
      pk->renumber == nullptr) {
    OTO_PK_delete(pk);
    return nullptr;
  }
  pk->visited = pk->ord + m;
  pk->backward = pk->forward + m;
  std::iota(pk->ord, pk->ord + m, 0);
  std::fill_n(pk->visited, m, 0);
  return pk;
}

OTO_PK* OTO_PK_new_pcgraph(const VLK_PCGraph* g) {
  // Kahn's algorithm: a node takes the next position once all its parents have one. Replaying
  // g's edges through the insertion test instead would search paths made of edges not yet
  // replayed, which the order knows nothing about, and could end in an order that an edge
  // already replayed contradicts.
  vlk::Owned<OTO_PK, OTO_PK_delete> pk(OTO_PK_new(static_cast<int>(g->n)));
  if (pk == nullptr) return nullptr;
  const int32_t n = pk->n;
  std::vector<int32_t> waiting(static_cast<size_t>(n), 0);  // parents without a position
  for (size_t id = VLK_PCGraph_first_edge(g); id != none; id = VLK_PCGraph_next_edge(g, id)) {
    const VLK_PCGraphSlot& s = g->slots[id];
    if (s.pa != s.ch) ++waiting[static_cast<size_t>(s.ch)];
  }
  std::priority_queue<int32_t, std::vector<int32_t>, std::greater<>> ready;
  for (int32_t v = 0; v < n; ++v)
    if (waiting[static_cast<size_t>(v)] == 0) ready.push(v);
  int32_t next = 0;
  while (!ready.empty()) {
    const int32_t v = ready.top();
    ready.pop();
    pk->ord[v] = next++;
    for (size_t id = g->slots[v].ch_next; id != none; id = g->slots[id].ch_next) {
      const int32_t c = g->slots[id].ch;
      if (c >= 0 && c != v && --waiting[static_cast<size_t>(c)] == 0) ready.push(c);
    }
  }
  if (next != n) return nullptr;  // the nodes left over lie on or behind a cycle
  return pk.release();
}

void OTO_PK_copy(const OTO_PK* src, OTO_PK* dst) {
  if (src->n != dst->n) vlk::fatal("FATAL ERROR: OTO_PK_copy(): size inconsisitent.\n");
  std::copy_n(src->ord, src->n, dst->ord);
}

void OTO_PK_delete(OTO_PK* pk) {
  if (pk == nullptr) return;
  std::free(pk->ord);      // visited shares the block
  std::free(pk->forward);  // so does backward
  std::free(pk->stack);
  std::free(pk->renumber);
  std::free(pk);
}

int OTO_PK_add_edge(OTO_PK* pk, int x, int y, VLK_PCGraph* g) {
  if (insertion_test(pk, x, y, g, true) != 0) return 1;
  VLK_PCGraph_add_edge(g, x, y);
  return 0;
}

int OTO_PK_check_cyclic(OTO_PK* pk, int x, int y, const VLK_PCGraph* g) {
  return insertion_test(pk, x, y, g, false);
}

int OTO_PK_check_cyclic_reorder(OTO_PK* pk, int x, int y, const VLK_PCGraph* g) {
  return insertion_test(pk, x, y, g, true);
}

void OTO_PK_print_order(const OTO_PK* pk, FILE* fp) {
  std::vector<int32_t> at(static_cast<size_t>(pk->n));
  for (int32_t v = 0; v < pk->n; ++v) at[static_cast<size_t>(pk->ord[v])] = v;
  std::fprintf(fp, "nodes: ");
  for (int32_t v : at) std::fprintf(fp, " %d", v);
  std::fprintf(fp, "\n");
}

int OTO_PK_cmp(const void* a, const void* b) {
  return static_cast<const OTO_PKEntry*>(a)->ord - static_cast<const OTO_PKEntry*>(b)->ord;
}

int OTO_PK_dfs_f(OTO_PK* pk, int y, const VLK_PCGraph* g, int32_t ub) {
  return search<Children>(pk, y, g, ub, pk->forward, &pk->forward_count);
}

int OTO_PK_dfs_b(OTO_PK* pk, int x, const VLK_PCGraph* g, int32_t lb) {
  return search<Parents>(pk, x, g, lb, pk->backward, &pk->backward_count);
}

void OTO_PK_merge(const OTO_PKEntry* f, int32_t nf, const OTO_PKEntry* b, int32_t nb,
                  int32_t* out) {
  // The forward entry first on equal positions (which distinct positions never are).
  int32_t i = 0, j = 0;
  while (i < nf && j < nb) *out++ = b[j].ord < f[i].ord ? b[j++].ord : f[i++].ord;
  while (i < nf) *out++ = f[i++].ord;
  while (j < nb) *out++ = b[j++].ord;
}

void OTO_PK_reorder(OTO_PK* pk) {
  const auto by_position = [](const OTO_PKEntry& a, const OTO_PKEntry& b) {
    return OTO_PK_cmp(&a, &b) < 0;
  };
  OTO_PKEntry* fwd = pk->forward;
  OTO_PKEntry* bwd = pk->backward;
  const int32_t nf = pk->forward_count;
  const int32_t nb = pk->backward_count;
  std::sort(bwd, bwd + nb, by_position);
  std::sort(fwd, fwd + nf, by_position);
  // The backward nodes (those that reach x) take the lowest of the pooled positions, then the
  // forward nodes (those y reaches), each group in its old relative order.
  int32_t* nodes = pk->renumber;
  int32_t* positions = pk->renumber + pk->n;
  int32_t k = 0;
  for (int32_t i = 0; i < nb; ++i) nodes[k++] = bwd[i].node;
  for (int32_t i = 0; i < nf; ++i) nodes[k++] = fwd[i].node;
  OTO_PK_merge(fwd, nf, bwd, nb, positions);
  for (int32_t i = 0; i < k; ++i) pk->ord[nodes[i]] = positions[i];
}

void VLK_PCGraph_DAG_fsc_th(const VLK_PCGraph* src, const VLK_FloatArray* w, float th,
                            VLK_PCGraph* dst) {
  vlk::check(src->n == dst->n, "source and result of one node count");
  const size_t edges = src->edges;
  vlk::check(w->size >= edges, "a weight per edge index");
  // On the heap: the frequent edges of a whole network run to millions.
  std::vector<VLK_PCGraph_DAGEntry> entries;
  entries.reserve(edges);
  for (size_t k = 0; k < edges; ++k)
    if (w->data[k] >= th) entries.push_back({k, w->data[k]});  // a NaN fails the test
  // Stable over entries made in index order: equal weights are offered by ascending edge index,
  // so the graph kept does not depend on the sort's whims.
  std::stable_sort(entries.begin(), entries.end(),
                   [](const auto& a, const auto& b) { return VLK_PCGraph_DAG_cmp(&a, &b) < 0; });
  VLK_PCGraph_clear(dst);
  vlk::Owned<OTO_PK, OTO_PK_delete> pk(OTO_PK_new(static_cast<int>(src->n)));
  if (pk == nullptr)
    vlk::fatal_abort("FATAL ERROR: VLK_PCGraph_DAG_fsc_th(): memory allocation failure.\n");
  for (const VLK_PCGraph_DAGEntry& e : entries) {
    const VLK_PCGraphSlot& s = src->slots[src->n + e.k];
    if (s.pa < 0) continue;  // a hole: the graph was not compact
    OTO_PK_add_edge(pk.get(), s.pa, s.ch, dst);
  }
}

int VLK_PCGraph_DAG_cmp(const void* a, const void* b) {
  const float x = static_cast<const VLK_PCGraph_DAGEntry*>(a)->w;
  const float y = static_cast<const VLK_PCGraph_DAGEntry*>(b)->w;
  if (x > y) return -1;
  if (x < y) return 1;
  return 0;
}
