// Parent-child graphs: a randomized run of every edit against a plain model (slot ids, list
// orders, links, lookups, walks and cycle tests checked after each step), then the fixed cases
// whose exact slots, markers and texts callers rely on.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <map>
#include <ostream>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "VLK_IntArray.h"
#include "VLK_PCGraph.h"
#include "vlk_owned.h"
#include "vlk_test.h"

using vlk_test::capture;

namespace {

using PCGraphPtr = vlk::Owned<VLK_PCGraph, VLK_PCGraph_delete>;
using IntArrayPtr = vlk::Owned<VLK_IntArray, VLK_IntArray_delete>;

constexpr size_t kNone = VLK_PCGRAPH_NONE;

// The graph as a caller sees it: per node the slot ids of its parent and child lists in order,
// the edge held by each slot, the free slots (last freed at the back) and the capacity.
struct Model {
  size_t n;
  std::vector<std::vector<size_t>> pa_list, ch_list;
  std::map<size_t, std::pair<int, int>> edge;  // slot id -> (parent, child)
  std::vector<size_t> free_stack;
  size_t used = 0;  // slots in use past the heads: edges and free slots
  size_t capacity = 0;
  int head_mark = -3;

  explicit Model(size_t nodes) : n(nodes), pa_list(nodes), ch_list(nodes) {}

  size_t edges() const { return edge.size(); }

  size_t add(int pa, int ch) {
    size_t id;
    if (!free_stack.empty()) {
      id = free_stack.back();
      free_stack.pop_back();
    } else {
      if (edges() == capacity) capacity = std::max(capacity + 1, capacity * 3 / 2);
      id = n + used++;
    }
    edge[id] = {pa, ch};
    pa_list[ch].push_back(id);
    ch_list[pa].push_back(id);
    return id;
  }

  void remove(size_t id) {
    const auto [pa, ch] = edge.at(id);
    std::erase(pa_list[ch], id);
    std::erase(ch_list[pa], id);
    edge.erase(id);
    free_stack.push_back(id);
  }

  void clear() {
    *this = Model(n);
    head_mark = -4;
  }

  // Lookup order of duplicates: step t tests pa's t-th child edge and ch's t-th parent edge,
  // then (with `both_ways`) the same two lists' t-th edges from the end; it stops when the
  // shorter list runs out.
  size_t find(int pa, int ch, bool both_ways) const {
    const auto& a = ch_list[pa];
    const auto& b = pa_list[ch];
    for (size_t t = 0; t < std::min(a.size(), b.size()); ++t) {
      const size_t tries[] = {a[t], b[t], a[a.size() - 1 - t], b[b.size() - 1 - t]};
      for (size_t k = 0; k < (both_ways ? 4u : 2u); ++k)
        if (edge.at(tries[k]) == std::pair(pa, ch)) return tries[k];
    }
    return kNone;
  }

  // The nodes reached from a along parent links in one step or more.
  std::vector<char> ancestors(int a) const {
    std::vector<char> seen(n, 0);
    std::vector<int> stack{a};
    while (!stack.empty()) {
      const int v = stack.back();
      stack.pop_back();
      for (size_t id : pa_list[v]) {
        const int p = edge.at(id).first;
        if (!seen[p]) {
          seen[p] = 1;
          stack.push_back(p);
        }
      }
    }
    return seen;
  }
};

// One list of node v followed both ways through the links: forward from the head's first
// pointer with the caller's step (parent_next or child_next, which also names the node at the
// other end), backward from the tail, back to the head slot v.
void expect_list(const VLK_PCGraph* g, int v, const std::vector<size_t>& want,
                 const std::vector<int>& want_ends, size_t first, size_t tail,
                 size_t (*step)(const VLK_PCGraph*, size_t, int*), size_t VLK_PCGraphSlot::*prev,
                 const char* which) {
  std::vector<size_t> forward;
  std::vector<int> ends;
  for (size_t id = first; id != kNone && forward.size() <= want.size();) {
    forward.push_back(id);
    ends.push_back(-1);
    id = step(g, id, &ends.back());
  }
  EXPECT_EQ(forward, want) << which << " list of " << v;
  EXPECT_EQ(ends, want_ends) << which << " list of " << v;
  EXPECT_EQ(tail, want.empty() ? static_cast<size_t>(v) : want.back()) << which << " of " << v;
  std::vector<size_t> backward;
  size_t id = tail;
  for (; id != kNone && id >= g->n && backward.size() <= want.size(); id = g->slots[id].*prev)
    backward.push_back(id);
  EXPECT_EQ(id, static_cast<size_t>(v)) << "the first edge points back to the head";
  std::reverse(backward.begin(), backward.end());
  EXPECT_EQ(backward, want) << which << " list of " << v << " backward";
}

std::vector<int> ends_of(const Model& m, const std::vector<size_t>& ids, bool parent) {
  std::vector<int> out;
  for (size_t id : ids) out.push_back(parent ? m.edge.at(id).first : m.edge.at(id).second);
  return out;
}

// Everything a caller can read, against the model.
void expect_matches(const VLK_PCGraph* g, const Model& m) {
  ASSERT_EQ(VLK_PCGraph_num_nodes(g), m.n);
  EXPECT_EQ(VLK_PCGraph_num_edges(g), m.edges());
  EXPECT_EQ(g->capacity, m.capacity);

  std::vector<size_t> free_list;
  for (size_t h = g->free_head; h != kNone && free_list.size() <= m.free_stack.size();
       h = g->slots[h].pa_next) {
    free_list.push_back(h);
    EXPECT_EQ(g->slots[h].pa, -2);
    EXPECT_EQ(g->slots[h].ch, -2);
  }
  EXPECT_TRUE(
      std::equal(free_list.begin(), free_list.end(), m.free_stack.rbegin(), m.free_stack.rend()))
      << "free slots are reused last in, first out";

  IntArrayPtr list(VLK_IntArray_new());
  std::vector<int> buf(m.edges() + 1);
  for (int v = 0; v < static_cast<int>(m.n); ++v) {
    const VLK_PCGraphSlot& head = g->slots[v];
    EXPECT_EQ(head.pa, m.head_mark);
    EXPECT_EQ(head.ch, m.head_mark);
    EXPECT_EQ(head.pa_prev, kNone);
    EXPECT_EQ(head.ch_prev, kNone);
    const auto& pas = m.pa_list[v];
    const auto& chs = m.ch_list[v];
    const std::vector<int> parents = ends_of(m, pas, true);
    const std::vector<int> children = ends_of(m, chs, false);
    expect_list(g, v, pas, parents, VLK_PCGraph_first_parent_id(g, v), g->pa_tail[v],
                VLK_PCGraph_parent_next, &VLK_PCGraphSlot::pa_prev, "parent");
    expect_list(g, v, chs, children, VLK_PCGraph_first_child_id(g, v), g->ch_tail[v],
                VLK_PCGraph_child_next, &VLK_PCGraphSlot::ch_prev, "child");
    for (size_t k = 0; k < pas.size(); ++k)
      EXPECT_EQ(VLK_PCGraph_next_parent_id(g, pas[k]), k + 1 < pas.size() ? pas[k + 1] : kNone);
    for (size_t k = 0; k < chs.size(); ++k)
      EXPECT_EQ(VLK_PCGraph_next_child_id(g, chs[k]), k + 1 < chs.size() ? chs[k + 1] : kNone);

    EXPECT_EQ(VLK_PCGraph_num_parents(g, v), static_cast<int>(pas.size()));
    EXPECT_EQ(VLK_PCGraph_num_children(g, v), static_cast<int>(chs.size()));
    EXPECT_EQ(VLK_PCGraph_degree(g, v), static_cast<int>(pas.size() + chs.size()));
    int k = VLK_PCGraph_get_parents(g, v, buf.data());
    EXPECT_EQ(std::vector<int>(buf.begin(), buf.begin() + k), parents);
    k = VLK_PCGraph_get_children(g, v, buf.data());
    EXPECT_EQ(std::vector<int>(buf.begin(), buf.begin() + k), children);
    EXPECT_EQ(VLK_PCGraph_parents(g, v, list.get()), static_cast<int>(parents.size()));
    EXPECT_EQ(std::vector<int>(list->data, list->data + list->size), parents);
  }

  std::vector<size_t> walk, want;
  for (size_t id = VLK_PCGraph_first_edge(g); id != kNone && walk.size() <= m.edges();
       id = VLK_PCGraph_next_edge(g, id))
    walk.push_back(id);
  for (const auto& [id, e] : m.edge) {
    want.push_back(id);
    int pa = -1, ch = -1;
    VLK_PCGraph_get_edge(g, id, &pa, &ch);
    EXPECT_EQ(std::pair(pa, ch), e) << "slot " << id;
    pa = ch = -1;
    VLK_PCGraph_get_edge_index(g, id - m.n, &pa, &ch);
    EXPECT_EQ(std::pair(pa, ch), e) << "slot " << id;
    EXPECT_EQ(VLK_PCGraph_get_parent(g, id), e.first);
    EXPECT_EQ(VLK_PCGraph_get_child(g, id), e.second);
  }
  EXPECT_EQ(walk, want) << "the walk over all edges sees each edge once, in slot order";

  for (int pa = 0; pa < static_cast<int>(m.n); ++pa) {
    const std::vector<char> ancestors = m.ancestors(pa);
    for (int ch = 0; ch < static_cast<int>(m.n); ++ch) {
      const size_t one_way = m.find(pa, ch, false);
      EXPECT_EQ(VLK_PCGraph_check_edge(g, pa, ch), one_way != kNone ? 1 : 0) << pa << "->" << ch;
      EXPECT_EQ(VLK_PCGraph_check_edge_index(g, pa, ch), one_way != kNone ? one_way - m.n : kNone)
          << pa << "->" << ch;
      EXPECT_EQ(VLK_PCGraph_check_edge_id(g, pa, ch), m.find(pa, ch, true)) << pa << "->" << ch;
      EXPECT_EQ(VLK_PCGraph_check_cyclic(g, pa, ch), ancestors[ch]) << pa << ", " << ch;
    }
  }
}

// After a compaction the lists keep their order, so the k-th slot of each parent list in the
// graph is where the model's k-th parent edge went. Returns old slot -> new slot.
std::map<size_t, size_t> moves_by_list_order(const VLK_PCGraph* g, const Model& m) {
  std::map<size_t, size_t> moved;
  for (int v = 0; v < static_cast<int>(m.n); ++v) {
    size_t id = VLK_PCGraph_first_parent_id(g, v);
    for (size_t old : m.pa_list[v]) {
      if (id == kNone) break;
      moved[old] = id;
      id = VLK_PCGraph_next_parent_id(g, id);
    }
  }
  return moved;
}

void fill_model(Model& m, const std::map<size_t, size_t>& moved) {
  Model next(m.n);
  next.capacity = m.capacity;
  next.head_mark = m.head_mark;
  next.used = m.edges();
  for (const auto& [id, e] : m.edge) next.edge[moved.at(id)] = e;
  for (size_t v = 0; v < m.n; ++v) {
    for (size_t id : m.pa_list[v]) next.pa_list[v].push_back(moved.at(id));
    for (size_t id : m.ch_list[v]) next.ch_list[v].push_back(moved.at(id));
  }
  m = std::move(next);
}

struct RandomRun {
  size_t n;
  int steps;
  unsigned seed;
};

void PrintTo(const RandomRun& run, std::ostream* os) {
  *os << "n=" << run.n << " steps=" << run.steps << " seed=" << run.seed;
}

class PCGraphModel : public testing::TestWithParam<RandomRun> {};

TEST_P(PCGraphModel, EveryStepMatchesTheModel) {
  const RandomRun run = GetParam();
  std::mt19937 rng(run.seed);
  const int n = static_cast<int>(run.n);
  std::uniform_int_distribution<int> node(0, n - 1), percent(0, 99);
  PCGraphPtr g(VLK_PCGraph_new(run.n)), spare(VLK_PCGraph_new(run.n));
  ASSERT_TRUE(g && spare);
  Model m(run.n);
  vlk_test::CaptureErr err;
  std::string fill_text;

  for (int step = 0; step < run.steps; ++step) {
    // Phases of growth and of shrinking, so that both large graphs and many holes occur.
    const int adds = (step / 100) % 2 == 0 ? 50 : 20;
    const int r = percent(rng);
    std::string what;
    if (r < adds) {
      const int pa = node(rng), ch = node(rng);
      what = "add " + std::to_string(pa) + " -> " + std::to_string(ch);
      VLK_PCGraph_add_edge(g.get(), pa, ch);
      m.add(pa, ch);
    } else if (r < adds + 15) {
      const int pa = node(rng), ch = node(rng);  // often absent: then nothing changes
      what = "remove " + std::to_string(pa) + " -> " + std::to_string(ch);
      const size_t id = m.find(pa, ch, true);
      VLK_PCGraph_remove_edge(g.get(), pa, ch);
      if (id != kNone) m.remove(id);
    } else if (r < 80) {
      if (m.edge.empty()) continue;
      auto it = m.edge.begin();
      std::advance(it, std::uniform_int_distribution<size_t>(0, m.edges() - 1)(rng));
      const size_t id = it->first;
      what = "remove slot " + std::to_string(id);
      VLK_PCGraph_remove_edge_id(g.get(), id);
      m.remove(id);
    } else if (r < 83) {
      what = "fill";
      fill_text += "VLK_PCGraph_fill(): Moving " + std::to_string(m.free_stack.size()) +
                   " slots. (edges=" + std::to_string(m.edges()) + ")\n";
      VLK_PCGraph_fill(g.get());
      const std::map<size_t, size_t> moved = moves_by_list_order(g.get(), m);
      ASSERT_EQ(moved.size(), m.edges()) << "step " << step;
      for (const auto& [from, to] : moved) {
        EXPECT_LT(to, m.n + m.edges()) << "edges end up in the first edge slots";
        if (from < m.n + m.edges()) {
          EXPECT_EQ(to, from) << "only edges above the holes move";
        }
      }
      fill_model(m, moved);
    } else if (r < 90) {
      what = "copy";
      VLK_PCGraph_copy(g.get(), spare.get());
      std::swap(g, spare);  // go on with the copy; the original is the next copy's target
    } else if (r < 99) {
      const size_t want = std::uniform_int_distribution<size_t>(0, m.used + 4)(rng);
      what = "resize " + std::to_string(want);
      VLK_PCGraph_resize_buff(g.get(), want);
      m.capacity = std::max(want, m.used);
    } else {
      what = "clear";
      const size_t capacity = m.capacity;
      VLK_PCGraph_clear(g.get());
      m.clear();
      m.capacity = capacity;
    }
    SCOPED_TRACE(testing::Message() << "step " << step << ": " << what);
    expect_matches(g.get(), m);
    if (HasFailure()) break;
  }
  EXPECT_EQ(err.text(), fill_text);
}

INSTANTIATE_TEST_SUITE_P(Runs, PCGraphModel,
                         testing::Values(RandomRun{1, 600, 3},  // self-loops only
                                         RandomRun{5, 2500, 7}, RandomRun{12, 800, 11}));

PCGraphPtr graph_with(size_t n, const std::vector<std::pair<int, int>>& edges) {
  PCGraphPtr g(VLK_PCGraph_new(n));
  for (const auto& [pa, ch] : edges) VLK_PCGraph_add_edge(g.get(), pa, ch);
  return g;
}

std::vector<int> parents_of(const VLK_PCGraph* g, int v) {
  std::vector<int> out(VLK_PCGraph_num_parents(g, v));
  VLK_PCGraph_get_parents(g, v, out.data());
  return out;
}

std::vector<size_t> all_edges(const VLK_PCGraph* g) {
  std::vector<size_t> ids;
  for (size_t id = VLK_PCGraph_first_edge(g); id != kNone; id = VLK_PCGraph_next_edge(g, id))
    ids.push_back(id);
  return ids;
}

}  // namespace

TEST(PCGraph, NewGraphIsEmpty) {
  PCGraphPtr g(VLK_PCGraph_new(4));
  EXPECT_EQ(g->n, 4u);
  EXPECT_EQ(g->edges, 0u);
  EXPECT_EQ(g->capacity, 0u);
  EXPECT_EQ(g->free_head, kNone);
  EXPECT_EQ(g->ch_tail, g->pa_tail + 4) << "both tails share one block";
  for (int v = 0; v < 4; ++v) {
    const VLK_PCGraphSlot& head = g->slots[v];
    EXPECT_EQ(head.pa, -3);
    EXPECT_EQ(head.ch, -3);
    for (size_t link : {head.pa_next, head.ch_next, head.pa_prev, head.ch_prev})
      EXPECT_EQ(link, kNone);
    EXPECT_EQ(g->pa_tail[v], static_cast<size_t>(v));
    EXPECT_EQ(g->ch_tail[v], static_cast<size_t>(v));
    EXPECT_EQ(VLK_PCGraph_first_parent_id(g.get(), v), kNone);
    EXPECT_EQ(VLK_PCGraph_first_child_id(g.get(), v), kNone);
    EXPECT_EQ(VLK_PCGraph_degree(g.get(), v), 0);
    for (int w = 0; w < 4; ++w) EXPECT_EQ(VLK_PCGraph_check_edge(g.get(), v, w), 0);
  }
  EXPECT_EQ(VLK_PCGraph_first_edge(g.get()), kNone);
  PCGraphPtr none(VLK_PCGraph_new(0));
  ASSERT_TRUE(none);
  EXPECT_EQ(VLK_PCGraph_first_edge(none.get()), kNone);
}

TEST(PCGraph, CapacityGrowsByHalf) {
  PCGraphPtr g(VLK_PCGraph_new(3));
  std::vector<size_t> after;  // capacity after each add
  for (int k = 0; k < 42; ++k) {
    VLK_PCGraph_add_edge(g.get(), k % 3, (k + 1) % 3);
    after.push_back(g->capacity);
  }
  EXPECT_EQ(after[3], 4u);
  EXPECT_EQ(after[4], 6u) << "the fifth edge grows 4 to 6";
  std::vector<size_t> seen(after.begin(), std::unique(after.begin(), after.end()));
  EXPECT_EQ(seen, (std::vector<size_t>{1, 2, 3, 4, 6, 9, 13, 19, 28, 42}));
}

TEST(PCGraph, RemovedSlotsAreReusedLastFirst) {
  PCGraphPtr g = graph_with(4, {{0, 1}, {2, 1}, {3, 1}});
  EXPECT_EQ(parents_of(g.get(), 1), (std::vector<int>{0, 2, 3}));
  VLK_PCGraph_remove_edge(g.get(), 2, 1);
  EXPECT_EQ(parents_of(g.get(), 1), (std::vector<int>{0, 3}));
  EXPECT_EQ(g->slots[4 + 1].pa, -2);
  VLK_PCGraph_add_edge(g.get(), 1, 2);
  EXPECT_EQ(VLK_PCGraph_check_edge_index(g.get(), 1, 2), 1u) << "the freed slot is taken again";

  VLK_PCGraph_remove_edge_id(g.get(), 4 + 0);
  VLK_PCGraph_remove_edge_id(g.get(), 4 + 2);
  VLK_PCGraph_add_edge(g.get(), 0, 3);
  VLK_PCGraph_add_edge(g.get(), 1, 3);
  VLK_PCGraph_add_edge(g.get(), 2, 3);
  EXPECT_EQ(VLK_PCGraph_check_edge_id(g.get(), 0, 3), 4u + 2);
  EXPECT_EQ(VLK_PCGraph_check_edge_id(g.get(), 1, 3), 4u + 0);
  EXPECT_EQ(VLK_PCGraph_check_edge_id(g.get(), 2, 3), 4u + 3) << "a new slot once none is free";
  VLK_PCGraph_remove_edge(g.get(), 3, 0);  // absent: nothing happens
  EXPECT_EQ(VLK_PCGraph_num_edges(g.get()), 4u);
}

// Five edges in slots n .. n+4; slot n+1 and then n+3 removed. The hole at n+3 lies in the
// dropped region; the edge of n+4 fills n+1.
TEST(PCGraph, FillCompactsTheEdgeSlots) {
  constexpr size_t n = 4;
  PCGraphPtr g = graph_with(n, {{0, 1}, {1, 2}, {2, 3}, {3, 0}, {0, 2}});
  VLK_PCGraph_remove_edge_id(g.get(), n + 1);
  VLK_PCGraph_remove_edge_id(g.get(), n + 3);
  vlk_test::CaptureErr err;
  VLK_PCGraph_fill(g.get());
  EXPECT_EQ(err.text(), "VLK_PCGraph_fill(): Moving 2 slots. (edges=3)\n");
  EXPECT_EQ(g->free_head, kNone);
  EXPECT_EQ(all_edges(g.get()), (std::vector<size_t>{n, n + 1, n + 2}));
  EXPECT_EQ(VLK_PCGraph_check_edge_id(g.get(), 0, 2), n + 1);
  EXPECT_EQ(VLK_PCGraph_check_edge_id(g.get(), 0, 1), n + 0);
  EXPECT_EQ(VLK_PCGraph_check_edge_id(g.get(), 2, 3), n + 2);
  EXPECT_EQ(g->slots[n + 4].pa, -5);
  EXPECT_EQ(g->slots[n + 4].ch, -5);
  EXPECT_EQ(g->ch_tail[0], n + 1) << "the moved edge was last in 0's child list";
  EXPECT_EQ(g->pa_tail[2], n + 1);
  EXPECT_EQ(g->capacity, 6u);

  VLK_PCGraph_fill(g.get());  // nothing to move: the message all the same
  EXPECT_EQ(err.text(),
            "VLK_PCGraph_fill(): Moving 2 slots. (edges=3)\n"
            "VLK_PCGraph_fill(): Moving 0 slots. (edges=3)\n");

  // Every edge removed: all holes are dropped, nothing is searched for.
  for (size_t id : all_edges(g.get())) VLK_PCGraph_remove_edge_id(g.get(), id);
  VLK_PCGraph_fill(g.get());
  EXPECT_EQ(err.text(),
            "VLK_PCGraph_fill(): Moving 2 slots. (edges=3)\n"
            "VLK_PCGraph_fill(): Moving 0 slots. (edges=3)\n"
            "VLK_PCGraph_fill(): Moving 3 slots. (edges=0)\n");
  EXPECT_EQ(g->free_head, kNone);
  EXPECT_EQ(VLK_PCGraph_first_edge(g.get()), kNone);
  VLK_PCGraph_add_edge(g.get(), 1, 0);
  EXPECT_EQ(all_edges(g.get()), std::vector<size_t>{n});
}

// A hole anywhere, the first edge slot included, is stepped over; the walk ends after the last
// edge even when the slots past it are holes or stale edges of an earlier fill.
TEST(PCGraph, EdgeWalkSkipsHoles) {
  constexpr size_t n = 3;
  struct Case {
    const char* name;
    std::vector<size_t> remove;  // slots, in order
    std::vector<size_t> walk;
  };
  const Case cases[] = {
      {"no hole", {}, {n, n + 1, n + 2, n + 3}}, {"first slot", {n}, {n + 1, n + 2, n + 3}},
      {"last slot", {n + 3}, {n, n + 1, n + 2}}, {"both ends", {n + 3, n}, {n + 1, n + 2}},
      {"all", {n + 1, n, n + 3, n + 2}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PCGraphPtr g = graph_with(n, {{0, 1}, {1, 2}, {2, 0}, {0, 2}});
    for (size_t id : c.remove) VLK_PCGraph_remove_edge_id(g.get(), id);
    EXPECT_EQ(all_edges(g.get()), c.walk);
  }
  PCGraphPtr g = graph_with(n, {{0, 1}, {1, 2}, {2, 0}});
  VLK_PCGraph_clear(g.get());  // the old edges stay in their slots, unreachable
  VLK_PCGraph_add_edge(g.get(), 1, 0);
  EXPECT_EQ(all_edges(g.get()), std::vector<size_t>{n});
  EXPECT_EQ(g->slots[0].pa, -4);
  EXPECT_EQ(g->capacity, 3u) << "clear keeps the slot array";
}

TEST(PCGraph, ResizeNeverCutsLinkedSlots) {
  constexpr size_t n = 2;
  PCGraphPtr g = graph_with(n, {{0, 1}, {1, 0}, {0, 0}, {1, 1}, {0, 1}});
  VLK_PCGraph_remove_edge_id(g.get(), n + 1);
  VLK_PCGraph_remove_edge_id(g.get(), n + 2);
  VLK_PCGraph_resize_buff(g.get(), 0);
  EXPECT_EQ(g->capacity, 5u) << "3 edges and 2 free slots still in use";
  VLK_PCGraph_add_edge(g.get(), 1, 0);
  VLK_PCGraph_add_edge(g.get(), 1, 0);
  EXPECT_EQ(g->capacity, 5u) << "both reuse a free slot";
  VLK_PCGraph_add_edge(g.get(), 1, 0);
  EXPECT_EQ(g->capacity, 7u);
  VLK_PCGraph_resize_buff(g.get(), 20);
  EXPECT_EQ(g->capacity, 20u);
  EXPECT_EQ(parents_of(g.get(), 0), (std::vector<int>{1, 1, 1}));
  EXPECT_EQ(all_edges(g.get()).size(), 6u);
}

TEST(PCGraph, CyclicFollowsParentLinks) {
  struct Case {
    std::vector<std::pair<int, int>> edges;
    int a, b, want;
  };
  const Case cases[] = {
      {{{0, 1}, {1, 2}}, 2, 0, 1},          // 0 is an ancestor of 2
      {{{0, 1}, {1, 2}}, 0, 2, 0},          // 2 is not an ancestor of 0
      {{{0, 1}, {1, 2}}, 1, 1, 0},          // a is never compared with itself
      {{{0, 1}, {1, 2}, {2, 0}}, 0, 0, 1},  // unless it lies on a cycle
      {{{3, 3}}, 3, 3, 1},                  // a self-loop is a cycle
      {{{0, 2}, {1, 2}, {3, 1}, {0, 3}}, 2, 3, 1},
      {{{0, 2}, {1, 2}, {3, 1}, {0, 3}}, 3, 2, 0},
  };
  for (const Case& c : cases) {
    PCGraphPtr g = graph_with(4, c.edges);
    EXPECT_EQ(VLK_PCGraph_check_cyclic(g.get(), c.a, c.b), c.want) << c.a << ", " << c.b;
  }
}

TEST(PCGraph, PrintFormats) {
  PCGraphPtr g = graph_with(3, {{0, 1}, {2, 1}, {1, 2}});
  VLK_PCGraph_remove_edge_id(g.get(), 3);  // a hole in the first edge slot
  EXPECT_EQ(capture([&](FILE* fp) { VLK_PCGraph_print_all_parents(g.get(), fp); }),
            "0:\n1: 2\n2: 1\n");
  EXPECT_EQ(capture([&](FILE* fp) { VLK_PCGraph_print_parents(g.get(), 1, fp); }),
            "PARENTS of 1: 2\n");
  EXPECT_EQ(capture([&](FILE* fp) { VLK_PCGraph_print_children(g.get(), 0, fp); }),
            "CHILDREN of 0:\n");
  EXPECT_EQ(capture([&](FILE* fp) { VLK_PCGraph_print_children(g.get(), 1, fp); }),
            "CHILDREN of 1: 2\n");
  EXPECT_EQ(capture([&](FILE* fp) { VLK_PCGraph_status(g.get(), fp); }),
            "edges = 2\n"
            "=== All Edges ===\n"
            "--- Edge 0 (ID = 4) ---\n"
            "  pa = 2  ch = 1\n"
            "  pa_prev = 1 <- -> pa_next = 18446744073709551615\n"
            "  ch_prev = 2 <- -> ch_next = 18446744073709551615\n"
            "\n"
            "--- Edge 1 (ID = 5) ---\n"
            "  pa = 1  ch = 2\n"
            "  pa_prev = 2 <- -> pa_next = 18446744073709551615\n"
            "  ch_prev = 1 <- -> ch_next = 18446744073709551615\n"
            "\n");
}

TEST(PCGraph, FatalPaths) {
  PCGraphPtr three = graph_with(3, {{0, 1}});
  PCGraphPtr four(VLK_PCGraph_new(4));
  EXPECT_FATAL_EXIT(VLK_PCGraph_copy(three.get(), four.get()),
                    "FATAL ERROR: VLK_PCGraph_copy(): size inconsisitent.\n");
  // A slot array whose byte size does not fit in size_t can never be allocated.
  EXPECT_FATAL_ABORT(VLK_PCGraph_resize_buff(three.get(), SIZE_MAX / sizeof(VLK_PCGraphSlot)),
                     "FATAL ERROR: VLK_PCGraph_resize_buff(): memory allocation failure.\n");
}
