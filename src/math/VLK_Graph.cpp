#include "VLK_Graph.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "vlk_fatal.h"

namespace {

constexpr const char* bad_type_msg = "FATAL ERROR: VLK_Graph: invalid type object received.\n";

// A parent list that cannot grow would drop an edge without a word; the run ends instead.
void need(const void* ok) {
  if (ok == nullptr) vlk::fatal("FATAL ERROR: VLK_Graph: failed to allocate memory.\n");
}

const VLK_Graph* checked(const GraphI* g) {
  if (g == nullptr || g->type != VLK_TYPE_GRAPH) vlk::fatal("%s", bad_type_msg);
  return static_cast<const VLK_Graph*>(g);
}

VLK_Graph* checked(GraphI* g) {
  return const_cast<VLK_Graph*>(checked(static_cast<const GraphI*>(g)));
}

constexpr GraphI graph_head{VLK_TYPE_GRAPH,
                            VLK_Graph_deleteI,
                            nullptr,
                            VLK_Graph_num_nodesI,
                            nullptr,
                            VLK_Graph_check_edgeI,
                            nullptr,
                            VLK_Graph_print_nameI,
                            VLK_Graph_print_name2I,
                            0};

bool is_node(const VLK_Graph* g, int i) { return i >= 0 && static_cast<size_t>(i) < g->n; }

const char* name_of(const VLK_StrArray* names, size_t i) {
  return names != nullptr && i < names->size && names->data[i] != nullptr ? names->data[i] : "";
}

bool contains(const VLK_IntArray& list, int v) {
  return std::find(list.data, list.data + list.size, v) != list.data + list.size;
}

// Marks of the ancestor search, one set per thread so that concurrent tests on one graph never
// share them. A mark equal to the current stamp means "reached in this call", so a call costs
// only the ancestors it visits, not a sweep over all n nodes.
struct AncestorScratch {
  std::vector<uint32_t> seen;
  std::vector<int> queue;
  uint32_t stamp = 0;

  uint32_t begin(size_t n) {
    if (seen.size() < n) {
      seen.resize(n, 0);
      queue.resize(n);
    }
    if (++stamp == 0) {  // wrapped: old marks could equal new stamps
      std::fill(seen.begin(), seen.end(), 0);
      stamp = 1;
    }
    return stamp;
  }
};

thread_local AncestorScratch ancestor_scratch;

// Breadth-first search by levels along parent links from a; 1 as soon as a parent equals b.
// b is compared with parents only, so (a, a) answers 1 only when a lies on a cycle. Every node
// enters the queue at most once, so the queue never holds more than n entries.
template <class ParentsOf>
int reaches_ancestor(size_t n, int a, int b, ParentsOf parents_of) {
  if (a < 0 || static_cast<size_t>(a) >= n) return 0;
  AncestorScratch& s = ancestor_scratch;
  const uint32_t stamp = s.begin(n);
  uint32_t* seen = s.seen.data();
  int* queue = s.queue.data();
  size_t head = 0, tail = 0;
  queue[tail++] = a;
  seen[a] = stamp;
  while (head < tail) {
    const VLK_IntArray* list = parents_of(queue[head++]);
    if (list == nullptr) continue;
    for (size_t k = 0; k < list->size; ++k) {
      const int p = list->data[k];
      if (p == b) return 1;
      if (p < 0 || static_cast<size_t>(p) >= n || seen[p] == stamp) continue;
      seen[p] = stamp;
      queue[tail++] = p;
    }
  }
  return 0;
}

// Node i, then one entry per listed node, in the given order.
template <class Each>
void print_line(FILE* fp, const VLK_StrArray* names, size_t i, Each each) {
  std::fprintf(fp, "%s(%d) :", name_of(names, i), static_cast<int>(i));
  each([&](size_t j) { std::fprintf(fp, " %s(%d)", name_of(names, j), static_cast<int>(j)); });
  std::fprintf(fp, "\n");
}

}  // namespace

VLK_Graph* VLK_Graph_new(size_t n) {
  auto* g = static_cast<VLK_Graph*>(std::calloc(1, sizeof(VLK_Graph)));
  if (g == nullptr) return nullptr;
  VLK_IntArray* lists = VLK_IntArray_new_ar(n, 1);
  if (lists == nullptr) {
    std::free(g);
    return nullptr;
  }
  static_cast<GraphI&>(*g) = graph_head;
  g->n = n;
  g->parents = lists;
  return g;
}

void VLK_Graph_delete(VLK_Graph* g) {
  if (g == nullptr) return;
  VLK_IntArray_delete_ar(g->parents, g->n);
  std::free(g);
}

void VLK_Graph_deleteI(GraphI* g) {
  if (g != nullptr) VLK_Graph_delete(checked(g));
}

size_t VLK_Graph_num_nodes(const VLK_Graph* g) { return g->n; }
int VLK_Graph_num_nodesI(const GraphI* g) { return static_cast<int>(checked(g)->n); }

size_t VLK_Graph_num_edges(const VLK_Graph* g) {
  size_t edges = 0;
  for (size_t i = 0; i < g->n; ++i) edges += g->parents[i].size;
  return edges;
}

VLK_IntArray* VLK_Graph_parents(VLK_Graph* g, int i) { return &g->parents[i]; }
const VLK_IntArray* VLK_Graph_parents(const VLK_Graph* g, int i) { return &g->parents[i]; }
int VLK_Graph_num_parents(const VLK_Graph* g, int i) {
  return static_cast<int>(g->parents[i].size);
}

VLK_IntArray* VLK_Graph_gen_children(const VLK_Graph* g, int i) {
  VLK_IntArray* children = VLK_IntArray_new();
  need(children);
  for (size_t j = 0; j < g->n; ++j)
    if (contains(g->parents[j], i)) need(VLK_IntArray_add(children, static_cast<int>(j)));
  return children;
}

void VLK_Graph_set_children_all(const VLK_Graph* g, VLK_IntArray* children) {
  for (size_t i = 0; i < g->n; ++i) VLK_IntArray_clear(&children[i]);
  for (size_t j = 0; j < g->n; ++j) {
    const VLK_IntArray& list = g->parents[j];
    for (size_t k = 0; k < list.size; ++k)
      if (is_node(g, list.data[k]))
        need(VLK_IntArray_add(&children[list.data[k]], static_cast<int>(j)));
  }
}

VLK_Graph* VLK_Graph_add_edge(VLK_Graph* g, int pa, int ch) {
  if (is_node(g, pa) && is_node(g, ch)) need(VLK_IntArray_add(&g->parents[ch], pa));
  return g;
}

VLK_Graph* VLK_Graph_add_edge_nr(VLK_Graph* g, int pa, int ch) {
  if (is_node(g, pa) && is_node(g, ch)) need(VLK_IntArray_add_nr(&g->parents[ch], pa));
  return g;
}

int VLK_Graph_check_edge(const VLK_Graph* g, int pa, int ch) {
  return g != nullptr && is_node(g, ch) && contains(g->parents[ch], pa);
}

int VLK_Graph_check_edgeI(const GraphI* g, int pa, int ch) {
  return VLK_Graph_check_edge(checked(g), pa, ch);
}

int VLK_Graph_check_cyclic(const VLK_Graph* g, int a, int b) {
  return reaches_ancestor(g->n, a, b, [g](int v) { return &g->parents[v]; });
}

int VLK_Graph_check_cyclic2(const VLK_Graph* g, int a, int b, int c, const VLK_IntArray* list) {
  return reaches_ancestor(g->n, a, b, [=](int v) { return v == c ? list : &g->parents[v]; });
}

VLK_Graph* VLK_Graph_swap_parents(VLK_Graph* g, int i, VLK_IntArray* list) {
  VLK_IntArray_swap(&g->parents[i], list);
  return g;
}

VLK_Graph* VLK_Graph_set_parents(VLK_Graph* g, int i, const VLK_IntArray* list) {
  need(VLK_IntArray_copy(list, &g->parents[i]));
  return g;
}

VLK_Graph* VLK_Graph_remove_parent_index(VLK_Graph* g, int i, int k) {
  VLK_IntArray& list = g->parents[i];
  if (k >= 0 && static_cast<size_t>(k) < list.size) VLK_IntArray_remove(&list, k);
  return g;
}

void VLK_Graph_clear(VLK_Graph* g) {
  for (size_t i = 0; i < g->n; ++i) VLK_IntArray_clear(&g->parents[i]);
}

void VLK_Graph_copy(const VLK_Graph* src, VLK_Graph* dst) {
  if (src->n != dst->n)
    vlk::fatal("FATAL ERROR: VLK_Graph_copy(): inconsistent numbers of nodes.\n");
  for (size_t i = 0; i < src->n; ++i) need(VLK_IntArray_copy(&src->parents[i], &dst->parents[i]));
}

// dst receives exactly the pairs (i, j) for which src's edge check answers 1, each list in
// ascending parent order. For a parent-list source that is each list sorted, without repeats
// and without ids outside the graph: built per list instead of asking all n * n pairs.
void VLK_Graph_copy_GraphI(const GraphI* src, VLK_Graph* dst) {
  const VLK_Graph* s = checked(src);
  if (s->n != dst->n)
    vlk::fatal("FATAL ERROR: VLK_Graph_copy_GraphI(): inconsistent numbers of nodes.\n");
  for (size_t j = 0; j < dst->n; ++j) {
    VLK_IntArray& list = dst->parents[j];
    need(VLK_IntArray_copy(&s->parents[j], &list));
    int* end =
        std::remove_if(list.data, list.data + list.size, [dst](int p) { return !is_node(dst, p); });
    std::sort(list.data, end);
    list.size = static_cast<size_t>(std::unique(list.data, end) - list.data);
  }
}

VLK_Graph* VLK_Graph_convert(const VLK_Graph* g, const VLK_IntArray* map, size_t m) {
  VLK_Graph* out = VLK_Graph_new(m);
  if (out == nullptr) return nullptr;
  // An old id outside the map, or mapped outside the new graph, has no place there.
  auto new_id = [map](int old) {
    return old >= 0 && static_cast<size_t>(old) < map->size ? map->data[old] : -1;
  };
  for (size_t i = 0; i < g->n; ++i) {
    const int ch = new_id(static_cast<int>(i));
    const VLK_IntArray& list = g->parents[i];
    for (size_t k = 0; k < list.size; ++k) VLK_Graph_add_edge(out, new_id(list.data[k]), ch);
  }
  return out;
}

GraphI* VLK_Graph_to_GraphI(VLK_Graph* g) { return g; }
const GraphI* VLK_Graph_to_GraphI(const VLK_Graph* g) { return g; }

VLK_Graph* VLK_Graph_check_type(GraphI* g) { return checked(g); }
const VLK_Graph* VLK_Graph_check_type(const GraphI* g) { return checked(g); }

VLK_Graph* VLK_Graph_collect_paths(const VLK_Graph* g, const VLK_IntArray* targets,
                                   const VLK_IntArray* starts, int maxlen, int mode) {
  const size_t n = g->n;
  VLK_Graph* result = VLK_Graph_new(n);
  need(result);
  std::vector<int> target(n, 0), position(n), pred(n);
  for (size_t k = 0; k < targets->size; ++k)
    if (is_node(g, targets->data[k])) target[targets->data[k]] = 1;
  int paths = 0;
  for (size_t k = 0; k < starts->size; ++k) {
    std::fprintf(stderr, "VLK_Graph: %d / %zu start.\n", static_cast<int>(k + 1), starts->size);
    const int s = starts->data[k];
    if (!is_node(g, s)) continue;
    std::fill(position.begin(), position.end(), -1);
    pred[s] = -1;
    int depth = 0;
    int v = s;
    while (v != -1) {
      const int at = ++position[v];
      if (at == 0 && target[v] && (mode == 0 || (mode == 1 && depth == maxlen))) {
        ++paths;
        for (int x = v; pred[x] != -1; x = pred[x])
          need(VLK_IntArray_add_nr(&result->parents[pred[x]], x));
      }
      const VLK_IntArray& list = g->parents[v];
      if (depth == maxlen || static_cast<size_t>(at) >= list.size) {
        position[v] = -1;
        --depth;
        v = pred[v];
        continue;
      }
      const int w = list.data[at];
      if (!is_node(g, w) || position[w] >= 0) continue;  // on the path already: next parent
      pred[w] = v;
      ++depth;
      v = w;
    }
  }
  std::fprintf(stderr, "Found %d paths.\n", paths);
  return result;
}

void VLK_Graph_show(FILE* fp, const VLK_Graph* g) {
  for (size_t i = 0; i < g->n; ++i) {
    std::fprintf(fp, "%d :", static_cast<int>(i));
    const VLK_IntArray& list = g->parents[i];
    for (size_t k = 0; k < list.size; ++k) std::fprintf(fp, " %d", list.data[k]);
    std::fprintf(fp, "\n");
  }
}

void VLK_Graph_print_name(const VLK_Graph* g, FILE* fp, const VLK_StrArray* names) {
  for (size_t i = 0; i < g->n; ++i)
    print_line(fp, names, i, [&](auto put) {
      const VLK_IntArray& list = g->parents[i];
      for (size_t k = 0; k < list.size; ++k) put(static_cast<size_t>(list.data[k]));
    });
}

void VLK_Graph_print_name2(const VLK_Graph* g, FILE* fp, const VLK_StrArray* names) {
  for (size_t i = 0; i < g->n; ++i)
    print_line(fp, names, i, [&](auto put) {
      for (size_t j = 0; j < g->n; ++j)
        if (contains(g->parents[j], static_cast<int>(i))) put(j);
    });
}

void VLK_Graph_print_nameI(const GraphI* g, FILE* fp, const VLK_StrArray* names) {
  VLK_Graph_print_name(checked(g), fp, names);
}

void VLK_Graph_print_name2I(const GraphI* g, FILE* fp, const VLK_StrArray* names) {
  VLK_Graph_print_name2(checked(g), fp, names);
}
