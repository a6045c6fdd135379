#include "OTO_PK.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <functional>
#include <numeric>
#include <queue>
#include <type_traits>
#include <utility>
#include <vector>

#include "vlk_check.h"
#include "vlk_fatal.h"
#include "vlk_owned.h"

namespace {

constexpr size_t none = VLK_PCGRAPH_NONE;

// The two directions of a search.
struct Children {
  // Forward from y: only nodes placed before x can lie on a path to x.
  static bool inside(int32_t ord, int32_t bound) { return ord < bound; }
  static constexpr int32_t mark = 1;
};

struct Parents {
  // Backward from x: only nodes placed after y can lie on a path from y.
  static bool inside(int32_t ord, int32_t bound) { return ord > bound; }
  static constexpr int32_t mark = 2;
};

// The neighbours of a node in a parent-child graph: along its slot chain. The searches run once
// per insertion that disagrees with the order, so they read the slots directly instead of
// calling the walk functions per step.
template <class Dir>
class SlotChain {
 public:
  SlotChain(const VLK_PCGraph* g, int32_t v)
      : g_(g), id_(std::is_same_v<Dir, Children> ? g->slots[v].ch_next : g->slots[v].pa_next) {}
  bool more() const { return id_ != none; }
  int32_t next() {  // negative for a slot that holds no edge
    const VLK_PCGraphSlot& s = g_->slots[id_];
    if constexpr (std::is_same_v<Dir, Children>) {
      id_ = s.ch_next;
      return s.ch;
    } else {
      id_ = s.pa_next;
      return s.pa;
    }
  }

 private:
  const VLK_PCGraph* g_;
  size_t id_;
};

struct PCGraphView {
  const VLK_PCGraph* g;
  size_t nodes() const { return g->n; }
  template <class Dir>
  SlotChain<Dir> neighbours(int32_t v) const {
    return {g, v};
  }
};

// The acyclic subgraph being built by weight, kept beside the result as one block of children
// and one of parents with a slice per node sized for its candidate edges: its searches read
// contiguous lists instead of chasing slots across the result's slot array.
class Adjacency {
 public:
  struct Slice {
    const int32_t* at;
    const int32_t* end;
    bool more() const { return at != end; }
    int32_t next() { return *at++; }
  };

  // Room for the edges (parent, child) that may be added.
  template <class Edges>
  Adjacency(size_t n, const Edges& edges)
      : child_start_(n + 1, 0), parent_start_(n + 1, 0), children_(n, 0), parents_(n, 0) {
    for (const auto& [p, c] : edges) {
      ++child_start_[static_cast<size_t>(p) + 1];
      ++parent_start_[static_cast<size_t>(c) + 1];
    }
    for (size_t v = 0; v < n; ++v) {
      child_start_[v + 1] += child_start_[v];
      parent_start_[v + 1] += parent_start_[v];
    }
    child_list_.resize(child_start_[n]);
    parent_list_.resize(parent_start_[n]);
  }
  size_t nodes() const { return children_.size(); }
  void add(int32_t p, int32_t c) {
    const auto pu = static_cast<size_t>(p), cu = static_cast<size_t>(c);
    child_list_[child_start_[pu] + static_cast<size_t>(children_[pu]++)] = c;
    parent_list_[parent_start_[cu] + static_cast<size_t>(parents_[cu]++)] = p;
  }
  template <class Dir>
  Slice neighbours(int32_t v) const {
    const auto u = static_cast<size_t>(v);
    if constexpr (std::is_same_v<Dir, Children>) {
      const int32_t* first = child_list_.data() + child_start_[u];
      return {first, first + children_[u]};
    } else {
      const int32_t* first = parent_list_.data() + parent_start_[u];
      return {first, first + parents_[u]};
    }
  }

 private:
  std::vector<size_t> child_start_, parent_start_;
  std::vector<int32_t> children_, parents_;  // edges held per node
  std::vector<int32_t> child_list_, parent_list_;
};

// A breadth-first search over one direction whose queue is its set: every node reached is
// marked and appended with its position, and expanded in turn. It meets the other end of the
// edge at a neighbour placed at `end`, or at a node the opposite search has marked.
template <class Dir, class Graph>
class Walk {
 public:
  Walk(OTO_PK* pk, const Graph& g, int32_t end, OTO_PKEntry* set, int32_t* count)
      : pk_(pk), g_(g), end_(end), set_(set), count_(count), head_(*count) {}

  void start(int32_t v) {
    vlk::check(v >= 0 && v < pk_->n, "node id in 0 .. n-1");
    pk_->visited[v] = Dir::mark;
    set_[(*count_)++] = {v, pk_->ord[v]};
  }
  bool done() const { return head_ == *count_; }
  // Expands the next node of the queue; 1 when it meets the other end.
  int step() {
    int32_t* visited = pk_->visited;
    const int32_t* ord = pk_->ord;
    for (auto list = g_.template neighbours<Dir>(set_[head_++].node); list.more();) {
      const int32_t w = list.next();
      if (w < 0) continue;
      const int32_t at = ord[w];
      const int32_t m = visited[w];
      if (at == end_ || (m != 0 && m != Dir::mark)) return 1;
      // Appended in any case, counted only when taken: no branch to mispredict per neighbour.
      // The set has room for one entry beyond the nodes it can hold.
      const int32_t take = static_cast<int32_t>(m == 0 && Dir::inside(at, end_));
      set_[*count_] = {w, at};
      *count_ += take;
      visited[w] = m + take * Dir::mark;
    }
    return 0;
  }
  // The whole search; 1 when it meets the other end.
  int run() {
    int found = 0;
    while (found == 0 && !done()) found = step();
    return found;
  }

 private:
  OTO_PK* pk_;
  const Graph& g_;
  int32_t end_;
  OTO_PKEntry* set_;
  int32_t* count_;
  int32_t head_;
};

void clear_marks(OTO_PK* pk, const OTO_PKEntry* set, int32_t count) {
  for (int32_t i = 0; i < count; ++i) pk->visited[set[i].node] = 0;
}

// The insertion test of x -> y: 1 for a cycle; otherwise 0, after renumbering when asked to.
template <class Graph>
int insertion_test(OTO_PK* pk, int x, int y, const Graph& g, bool renumber) {
  vlk::check(x >= 0 && x < pk->n && y >= 0 && y < pk->n, "node ids in 0 .. n-1");
  vlk::check(g.nodes() == static_cast<size_t>(pk->n), "graph and order of one node count");
  const int32_t lb = pk->ord[y];
  const int32_t ub = pk->ord[x];
  if (lb >= ub) return 0;  // agrees already; x == y included
  pk->forward_count = 0;
  pk->backward_count = 0;
  Walk<Children, Graph> forward(pk, g, ub, pk->forward, &pk->forward_count);
  Walk<Parents, Graph> backward(pk, g, lb, pk->backward, &pk->backward_count);
  forward.start(y);
  backward.start(x);
  // In turns: a path from y to x is found from both ends at once. Without one, both sets run
  // to their end, as the renumbering needs them whole.
  int found = 0;
  while (found == 0 && !(forward.done() && backward.done())) {
    if (!forward.done()) found = forward.step();
    if (found == 0 && !backward.done()) found = backward.step();
  }
  if (found == 0 && renumber) OTO_PK_reorder(pk);
  clear_marks(pk, pk->forward, pk->forward_count);
  clear_marks(pk, pk->backward, pk->backward_count);
  return found;
}

// One search alone, to its end, appending to its set; its marks are cleared afterwards.
template <class Dir>
int one_way(OTO_PK* pk, int32_t start, const VLK_PCGraph* g, int32_t end, OTO_PKEntry* set,
            int32_t* count) {
  const int32_t first = *count;
  const PCGraphView view{g};
  Walk<Dir, PCGraphView> walk(pk, view, end, set, count);
  walk.start(start);
  const int found = walk.run();
  clear_marks(pk, set + first, *count - first);
  return found;
}

// Stable sort of a set by position (positions below `bound`): by bytes from the lowest (a set
// of an insertion runs to thousands of nodes, sorted once per accepted edge), small sets by
// comparison.
void sort_by_position(OTO_PKEntry* a, int32_t k, int32_t bound, OTO_PKEntry* scratch) {
  if (k < 64) {
    std::sort(a, a + k,
              [](const OTO_PKEntry& x, const OTO_PKEntry& y) { return OTO_PK_cmp(&x, &y) < 0; });
    return;
  }
  OTO_PKEntry* from = a;
  OTO_PKEntry* to = scratch;
  for (int shift = 0; shift < 31 && (bound >> shift) > 0; shift += 8) {
    std::array<int32_t, 257> start{};
    for (int32_t i = 0; i < k; ++i) ++start[static_cast<size_t>((from[i].ord >> shift) & 255) + 1];
    for (size_t b = 0; b < 256; ++b) start[b + 1] += start[b];
    for (int32_t i = 0; i < k; ++i)
      to[start[static_cast<size_t>((from[i].ord >> shift) & 255)]++] = from[i];
    std::swap(from, to);
  }
  if (from != a) std::copy_n(from, k, a);
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
  // The forward and backward sets, each with room for one entry more than it can hold, then
  // the sorting scratch.
  pk->forward = alloc_n<OTO_PKEntry>(3 * m + 2);
  pk->renumber = alloc_n<int32_t>(2 * m);
  if (pk->ord == nullptr || pk->forward == nullptr || pk->renumber == nullptr) {
    OTO_PK_delete(pk);
    return nullptr;
  }
  pk->visited = pk->ord + m;
  pk->backward = pk->forward + m + 1;
  pk->sorting = pk->backward + m + 1;
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
  std::free(pk->forward);  // so do backward and sorting
  std::free(pk->renumber);
  std::free(pk);
}

int OTO_PK_add_edge(OTO_PK* pk, int x, int y, VLK_PCGraph* g) {
  if (insertion_test(pk, x, y, PCGraphView{g}, true) != 0) return 1;
  VLK_PCGraph_add_edge(g, x, y);
  return 0;
}

int OTO_PK_check_cyclic(OTO_PK* pk, int x, int y, const VLK_PCGraph* g) {
  return insertion_test(pk, x, y, PCGraphView{g}, false);
}

int OTO_PK_check_cyclic_reorder(OTO_PK* pk, int x, int y, const VLK_PCGraph* g) {
  return insertion_test(pk, x, y, PCGraphView{g}, true);
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
  return one_way<Children>(pk, y, g, ub, pk->forward, &pk->forward_count);
}

int OTO_PK_dfs_b(OTO_PK* pk, int x, const VLK_PCGraph* g, int32_t lb) {
  return one_way<Parents>(pk, x, g, lb, pk->backward, &pk->backward_count);
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
  OTO_PKEntry* fwd = pk->forward;
  OTO_PKEntry* bwd = pk->backward;
  const int32_t nf = pk->forward_count;
  const int32_t nb = pk->backward_count;
  sort_by_position(bwd, nb, pk->n, pk->sorting);
  sort_by_position(fwd, nf, pk->n, pk->sorting);
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
  // The candidates' ends; a hole of a graph that was not compact offers nothing.
  std::vector<std::pair<int32_t, int32_t>> ends;
  ends.reserve(entries.size());
  for (const VLK_PCGraph_DAGEntry& e : entries) {
    const VLK_PCGraphSlot& s = src->slots[src->n + e.k];
    if (s.pa >= 0) ends.emplace_back(s.pa, s.ch);
  }
  // The insertions of OTO_PK_add_edge, tested on the subgraph's own lists.
  Adjacency kept(src->n, ends);
  for (const auto& [p, c] : ends) {
    if (insertion_test(pk.get(), p, c, kept, true) != 0) continue;
    kept.add(p, c);
    VLK_PCGraph_add_edge(dst, p, c);
  }
}

int VLK_PCGraph_DAG_cmp(const void* a, const void* b) {
  const float x = static_cast<const VLK_PCGraph_DAGEntry*>(a)->w;
  const float y = static_cast<const VLK_PCGraph_DAGEntry*>(b)->w;
  if (x > y) return -1;
  if (x < y) return 1;
  return 0;
}
