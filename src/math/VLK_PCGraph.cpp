#include "VLK_PCGraph.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <vector>

#include "velkcom.h"
#include "vlk_check.h"
#include "vlk_fatal.h"

namespace {

constexpr size_t none = VLK_PCGRAPH_NONE;

// Markers of slots that hold no edge (any negative `pa` means "no edge").
constexpr int32_t removed_mark = -2;
constexpr int32_t new_head_mark = -3;
constexpr int32_t cleared_head_mark = -4;
constexpr int32_t vacated_mark = -5;

constexpr const char* alloc_failure_msg =
    "FATAL ERROR: VLK_PCGraph_resize_buff(): memory allocation failure.\n";

bool holds_edge(const VLK_PCGraphSlot& s) { return s.pa >= 0; }

size_t node(const VLK_PCGraph* g, int v) {
  vlk::check(v >= 0 && static_cast<size_t>(v) < g->n, "node id in 0 .. n-1");
  return static_cast<size_t>(v);
}

const VLK_PCGraphSlot& slot(const VLK_PCGraph* g, size_t id) {
  vlk::check(id < g->n + g->capacity, "slot id inside the slot array");
  return g->slots[id];
}

// Length of the free list.
size_t free_count(const VLK_PCGraph* g) {
  size_t m = 0;
  for (size_t h = g->free_head; h != none; h = g->slots[h].pa_next) {
    vlk::check(m < g->capacity, "free list shorter than the capacity");
    ++m;
  }
  return m;
}

// Slots in use past the heads: the edges and the holes on the free list.
size_t slots_in_use(const VLK_PCGraph* g) { return g->edges + free_count(g); }

// The slot array holds n + cap slots afterwards; a size that cannot be allocated ends the run
// (a graph that silently lost edges would make every later count wrong).
void set_slot_capacity(VLK_PCGraph* g, size_t cap) {
  constexpr size_t max_slots = std::numeric_limits<size_t>::max() / sizeof(VLK_PCGraphSlot);
  if (cap > max_slots - g->n) vlk::fatal_abort("%s", alloc_failure_msg);
  const size_t total = std::max<size_t>(g->n + cap, 1);
  void* p = std::realloc(g->slots, total * sizeof(VLK_PCGraphSlot));
  if (p == nullptr) vlk::fatal_abort("%s", alloc_failure_msg);
  g->slots = static_cast<VLK_PCGraphSlot*>(p);
  g->capacity = cap;
}

// Half as much again, at least one more: 1, 2, 3, 4, 6, 9, 13, 19, 28, 42, ...
size_t grown(size_t cap) {
  if (cap > std::numeric_limits<size_t>::max() / 2) vlk::fatal_abort("%s", alloc_failure_msg);
  const auto next = static_cast<size_t>(static_cast<double>(cap) * 1.5);
  return next == cap ? cap + 1 : next;
}

void reset(VLK_PCGraph* g, int32_t head_mark) {
  for (size_t v = 0; v < g->n; ++v) {
    g->slots[v] = {head_mark, head_mark, none, none, none, none};
    g->pa_tail[v] = v;
    g->ch_tail[v] = v;
  }
  std::fill_n(g->num_parents, g->n, 0);
  std::fill_n(g->num_children, g->n, 0);
  g->edges = 0;
  g->free_head = none;
}

// Moves the edge of slot `from` into the free slot `to`, relinking both of its lists.
void move_edge(VLK_PCGraph* g, size_t from, size_t to) {
  VLK_PCGraphSlot* s = g->slots;
  const VLK_PCGraphSlot e = s[to] = s[from];
  s[e.pa_prev].pa_next = to;
  s[e.ch_prev].ch_next = to;
  if (g->pa_tail[e.ch] == from)
    g->pa_tail[e.ch] = to;
  else
    s[e.pa_next].pa_prev = to;
  if (g->ch_tail[e.pa] == from)
    g->ch_tail[e.pa] = to;
  else
    s[e.ch_next].ch_prev = to;
  s[from].pa = s[from].ch = vacated_mark;
}

// The edge pa -> ch by two walkers in step, forward along pa's children and ch's parents: the
// cost is bounded by the shorter list.
size_t find_edge(const VLK_PCGraph* g, size_t pa, size_t ch) {
  const VLK_PCGraphSlot* s = g->slots;
  for (size_t c = s[pa].ch_next, p = s[ch].pa_next; c != none && p != none;
       c = s[c].ch_next, p = s[p].pa_next) {
    if (s[c].ch == static_cast<int32_t>(ch)) return c;
    if (s[p].pa == static_cast<int32_t>(pa)) return p;
  }
  return none;
}

// The same with two more walkers going backward from the tails, so an edge near either end of
// either list is found early. The backward parent walker cannot run out before the forward one.
size_t find_edge_both_ways(const VLK_PCGraph* g, size_t pa, size_t ch) {
  const VLK_PCGraphSlot* s = g->slots;
  const auto is_child = [&](size_t id) { return s[id].ch == static_cast<int32_t>(ch); };
  const auto is_parent = [&](size_t id) { return s[id].pa == static_cast<int32_t>(pa); };
  for (size_t fc = s[pa].ch_next, fp = s[ch].pa_next, bc = g->ch_tail[pa], bp = g->pa_tail[ch];
       fc != none && fp != none && bc != none;
       fc = s[fc].ch_next, fp = s[fp].pa_next, bc = s[bc].ch_prev, bp = s[bp].pa_prev) {
    if (is_child(fc)) return fc;
    if (is_parent(fp)) return fp;
    if (is_child(bc)) return bc;
    if (is_parent(bp)) return bp;
  }
  return none;
}

// The first slot at or above j that holds an edge. Every slot below n + edges is in use; only a
// walk that gets past them needs the free list to know where the slots in use end.
size_t edge_from(const VLK_PCGraph* g, size_t j) {
  const size_t surely_used = g->n + g->edges;
  for (; j < surely_used; ++j)
    if (holds_edge(g->slots[j])) return j;
  const size_t used = surely_used + free_count(g);
  for (; j < used; ++j)
    if (holds_edge(g->slots[j])) return j;
  return none;
}

// Calls f(slot id) along a node's parent list (pa_next) or child list (ch_next).
template <class F>
void each_in_list(const VLK_PCGraph* g, size_t first, size_t VLK_PCGraphSlot::*next, F f) {
  for (size_t id = first; id != none; id = g->slots[id].*next) f(g->slots[id]);
}

template <class F>
void each_parent(const VLK_PCGraph* g, int v, F f) {
  each_in_list(g, g->slots[node(g, v)].pa_next, &VLK_PCGraphSlot::pa_next,
               [&](const VLK_PCGraphSlot& e) { f(e.pa); });
}

template <class F>
void each_child(const VLK_PCGraph* g, int v, F f) {
  each_in_list(g, g->slots[node(g, v)].ch_next, &VLK_PCGraphSlot::ch_next,
               [&](const VLK_PCGraphSlot& e) { f(e.ch); });
}

}  // namespace

VLK_PCGraph* VLK_PCGraph_new(size_t n) {
  // Node ids are ints in the slots and in every caller.
  if (n > static_cast<size_t>(std::numeric_limits<int32_t>::max())) return nullptr;
  auto* g = static_cast<VLK_PCGraph*>(std::calloc(1, sizeof(VLK_PCGraph)));
  if (g == nullptr) return nullptr;
  const size_t m = std::max<size_t>(n, 1);
  g->n = n;
  g->slots = static_cast<VLK_PCGraphSlot*>(std::malloc(m * sizeof(VLK_PCGraphSlot)));
  g->pa_tail = static_cast<size_t*>(std::malloc(2 * m * sizeof(size_t)));
  g->num_parents = static_cast<int32_t*>(std::malloc(m * sizeof(int32_t)));
  g->num_children = static_cast<int32_t*>(std::malloc(m * sizeof(int32_t)));
  if (g->slots == nullptr || g->pa_tail == nullptr || g->num_parents == nullptr ||
      g->num_children == nullptr) {
    VLK_PCGraph_delete(g);
    return nullptr;
  }
  g->ch_tail = g->pa_tail + n;
  reset(g, new_head_mark);
  return g;
}

void VLK_PCGraph_delete(VLK_PCGraph* g) {
  if (g == nullptr) return;
  std::free(g->slots);
  std::free(g->pa_tail);  // ch_tail lives in the same block
  std::free(g->num_parents);
  std::free(g->num_children);
  std::free(g);
}

void VLK_PCGraph_copy(const VLK_PCGraph* src, VLK_PCGraph* dst) {
  if (src->n != dst->n) vlk::fatal("FATAL ERROR: VLK_PCGraph_copy(): size inconsisitent.\n");
  if (src == dst) return;
  const size_t n = src->n;
  set_slot_capacity(dst, std::max(src->capacity, src->edges));
  // Slots past those in use hold nothing that is ever read; they are left as they are.
  std::memcpy(dst->slots, src->slots, (n + slots_in_use(src)) * sizeof(VLK_PCGraphSlot));
  std::memcpy(dst->pa_tail, src->pa_tail, 2 * n * sizeof(size_t));
  dst->free_head = src->free_head;
  dst->edges = src->edges;
  std::memcpy(dst->num_parents, src->num_parents, n * sizeof(int32_t));
  std::memcpy(dst->num_children, src->num_children, n * sizeof(int32_t));
}

void VLK_PCGraph_resize_buff(VLK_PCGraph* g, size_t want) {
  // Never below the slots in use: a hole on the free list is still linked.
  set_slot_capacity(g, std::max(want, slots_in_use(g)));
}

void VLK_PCGraph_clear(VLK_PCGraph* g) { reset(g, cleared_head_mark); }

void VLK_PCGraph_fill(VLK_PCGraph* g) {
  const size_t m = free_count(g);
  std::fprintf(VELK_ERR, "VLK_PCGraph_fill(): Moving %d slots. (edges=%zu)\n", static_cast<int>(m),
               g->edges);
  if (m == 0) return;
  // Holes at or above `keep` are dropped; each hole below takes the highest edge not yet moved.
  // There are as many edges above `keep` as holes below it.
  const size_t keep = g->n + g->edges;
  size_t top = keep + m;  // one past the highest slot in use
  size_t h = g->free_head;
  while (h != none) {
    const size_t next = g->slots[h].pa_next;
    if (h < keep) {
      do {
        vlk::check(top > keep, "an edge above every hole below the kept slots");
        --top;
      } while (!holds_edge(g->slots[top]));
      move_edge(g, top, h);
    }
    h = next;
  }
  g->free_head = none;
}

void VLK_PCGraph_add_edge(VLK_PCGraph* g, int pa, int ch) {
  const size_t p = node(g, pa);
  const size_t c = node(g, ch);
  size_t i = g->free_head;
  if (i != none) {
    g->free_head = g->slots[i].pa_next;
  } else {
    if (g->edges == g->capacity) set_slot_capacity(g, grown(g->capacity));
    i = g->n + g->edges;
  }
  VLK_PCGraphSlot* s = g->slots;
  s[i] = {pa, ch, none, none, g->pa_tail[c], g->ch_tail[p]};
  s[g->pa_tail[c]].pa_next = i;
  g->pa_tail[c] = i;
  s[g->ch_tail[p]].ch_next = i;
  g->ch_tail[p] = i;
  ++g->edges;
  ++g->num_children[p];
  ++g->num_parents[c];
}

void VLK_PCGraph_remove_edge_id(VLK_PCGraph* g, size_t id) {
  vlk::check(id >= g->n && holds_edge(slot(g, id)), "slot id names an edge");
  VLK_PCGraphSlot* s = g->slots;
  VLK_PCGraphSlot& e = s[id];
  const size_t p = static_cast<size_t>(e.pa);
  const size_t c = static_cast<size_t>(e.ch);
  s[e.pa_prev].pa_next = e.pa_next;
  s[e.ch_prev].ch_next = e.ch_next;
  if (g->pa_tail[c] == id)
    g->pa_tail[c] = e.pa_prev;
  else
    s[e.pa_next].pa_prev = e.pa_prev;
  if (g->ch_tail[p] == id)
    g->ch_tail[p] = e.ch_prev;
  else
    s[e.ch_next].ch_prev = e.ch_prev;
  e.pa_next = g->free_head;  // last in, first out
  g->free_head = id;
  --g->num_children[p];
  --g->num_parents[c];
  e.pa = e.ch = removed_mark;
  --g->edges;
}

void VLK_PCGraph_remove_edge(VLK_PCGraph* g, int pa, int ch) {
  const size_t id = VLK_PCGraph_check_edge_id(g, pa, ch);
  if (id != none) VLK_PCGraph_remove_edge_id(g, id);
}

size_t VLK_PCGraph_num_nodes(const VLK_PCGraph* g) { return g->n; }

size_t VLK_PCGraph_num_edges(const VLK_PCGraph* g) { return g->edges; }

int VLK_PCGraph_check_edge(const VLK_PCGraph* g, int pa, int ch) {
  return find_edge(g, node(g, pa), node(g, ch)) != none ? 1 : 0;
}

size_t VLK_PCGraph_check_edge_index(const VLK_PCGraph* g, int pa, int ch) {
  const size_t id = find_edge(g, node(g, pa), node(g, ch));
  return id != none ? id - g->n : none;
}

size_t VLK_PCGraph_check_edge_id(const VLK_PCGraph* g, int pa, int ch) {
  return find_edge_both_ways(g, node(g, pa), node(g, ch));
}

void VLK_PCGraph_get_edge(const VLK_PCGraph* g, size_t id, int* pa, int* ch) {
  const VLK_PCGraphSlot& e = slot(g, id);
  *pa = e.pa;
  *ch = e.ch;
}

void VLK_PCGraph_get_edge_index(const VLK_PCGraph* g, size_t k, int* pa, int* ch) {
  VLK_PCGraph_get_edge(g, g->n + k, pa, ch);
}

int VLK_PCGraph_get_parent(const VLK_PCGraph* g, size_t id) { return slot(g, id).pa; }

int VLK_PCGraph_get_child(const VLK_PCGraph* g, size_t id) { return slot(g, id).ch; }

int VLK_PCGraph_num_parents(const VLK_PCGraph* g, int v) { return g->num_parents[node(g, v)]; }

int VLK_PCGraph_num_children(const VLK_PCGraph* g, int v) { return g->num_children[node(g, v)]; }

int VLK_PCGraph_degree(const VLK_PCGraph* g, int v) {
  const size_t i = node(g, v);
  return g->num_parents[i] + g->num_children[i];
}

int VLK_PCGraph_get_parents(const VLK_PCGraph* g, int v, int* out) {
  int k = 0;
  each_parent(g, v, [&](int p) { out[k++] = p; });
  return k;
}

int VLK_PCGraph_get_children(const VLK_PCGraph* g, int v, int* out) {
  int k = 0;
  each_child(g, v, [&](int c) { out[k++] = c; });
  return k;
}

int VLK_PCGraph_parents(const VLK_PCGraph* g, int v, VLK_IntArray* list) {
  VLK_IntArray_clear(list);
  each_parent(g, v, [&](int p) {
    if (p >= 0 && VLK_IntArray_add(list, p) == nullptr)
      vlk::fatal_abort("FATAL ERROR: VLK_PCGraph_parents(): memory allocation failure.\n");
  });
  return static_cast<int>(list->size);
}

size_t VLK_PCGraph_first_parent_id(const VLK_PCGraph* g, int v) {
  return g->slots[node(g, v)].pa_next;
}

size_t VLK_PCGraph_first_child_id(const VLK_PCGraph* g, int v) {
  return g->slots[node(g, v)].ch_next;
}

size_t VLK_PCGraph_next_parent_id(const VLK_PCGraph* g, size_t id) { return slot(g, id).pa_next; }

size_t VLK_PCGraph_next_child_id(const VLK_PCGraph* g, size_t id) { return slot(g, id).ch_next; }

size_t VLK_PCGraph_parent_next(const VLK_PCGraph* g, size_t id, int* p) {
  const VLK_PCGraphSlot& e = slot(g, id);
  *p = e.pa;
  return e.pa_next;
}

size_t VLK_PCGraph_child_next(const VLK_PCGraph* g, size_t id, int* c) {
  const VLK_PCGraphSlot& e = slot(g, id);
  *c = e.ch;
  return e.ch_next;
}

size_t VLK_PCGraph_first_edge(const VLK_PCGraph* g) { return edge_from(g, g->n); }

size_t VLK_PCGraph_next_edge(const VLK_PCGraph* g, size_t id) {
  vlk::check(id != none && id >= g->n, "next_edge from an edge slot");
  return edge_from(g, id + 1);
}

void VLK_PCGraph_print_all_parents(const VLK_PCGraph* g, FILE* fp) {
  for (size_t v = 0; v < g->n; ++v) {
    std::fprintf(fp, "%d:", static_cast<int>(v));
    each_parent(g, static_cast<int>(v), [&](int p) { std::fprintf(fp, " %d", p); });
    std::fprintf(fp, "\n");
  }
}

void VLK_PCGraph_print_parents(const VLK_PCGraph* g, int v, FILE* fp) {
  std::fprintf(fp, "PARENTS of %d:", v);
  each_parent(g, v, [&](int p) { std::fprintf(fp, " %d", p); });
  std::fprintf(fp, "\n");
}

void VLK_PCGraph_print_children(const VLK_PCGraph* g, int v, FILE* fp) {
  std::fprintf(fp, "CHILDREN of %d:", v);
  each_child(g, v, [&](int c) { std::fprintf(fp, " %d", c); });
  std::fprintf(fp, "\n");
}

void VLK_PCGraph_status(const VLK_PCGraph* g, FILE* fp) {
  std::fprintf(fp, "edges = %zu\n", g->edges);
  std::fprintf(fp, "=== All Edges ===\n");
  size_t k = 0;
  for (size_t id = VLK_PCGraph_first_edge(g); id != none; id = VLK_PCGraph_next_edge(g, id)) {
    const VLK_PCGraphSlot& e = g->slots[id];
    std::fprintf(fp, "--- Edge %zu (ID = %zu) ---\n", k++, id);
    std::fprintf(fp, "  pa = %d  ch = %d\n", e.pa, e.ch);
    std::fprintf(fp, "  pa_prev = %zu <- -> pa_next = %zu\n", e.pa_prev, e.pa_next);
    std::fprintf(fp, "  ch_prev = %zu <- -> ch_next = %zu\n", e.ch_prev, e.ch_next);
    std::fprintf(fp, "\n");
  }
}

int VLK_PCGraph_check_cyclic(const VLK_PCGraph* g, int a, int b) {
  // Breadth-first by levels along parent links. A node joins a level only while it carries no
  // mark, so each node is listed at most once and the lists never exceed n entries.
  enum Mark : uint8_t { unmarked, in_level, finished, in_next };
  std::vector<uint8_t> mark(g->n, unmarked);
  std::vector<int> level{a}, next;
  mark[node(g, a)] = in_level;
  while (true) {
    for (int v : level) {
      for (size_t id = g->slots[v].pa_next; id != none; id = g->slots[id].pa_next) {
        const int p = g->slots[id].pa;
        if (p == b) return 1;
        if (mark[node(g, p)] == unmarked) {
          mark[p] = in_next;
          next.push_back(p);
        }
      }
    }
    if (next.empty()) return 0;
    for (int v : level) mark[v] = finished;
    for (int v : next) mark[v] = in_level;
    level.swap(next);
    next.clear();
  }
}
