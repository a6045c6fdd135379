// Parent-list graphs: edits, cycle tests and path search against independent references, the
// GraphI table shared with the other kinds, printing, and the fatal paths.
#include <gtest/gtest.h>
#include <omp.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <iterator>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "GraphI.h"
#include "VLK_AdjGraph.h"
#include "VLK_Graph.h"
#include "VLK_IntArray.h"
#include "VLK_StrArray.h"
#include "vlk_owned.h"
#include "vlk_test.h"

using vlk_test::capture;

namespace {

using GraphPtr = vlk::Owned<VLK_Graph, VLK_Graph_delete>;

struct GraphIDeleter {
  void operator()(GraphI* g) const {
    if (g != nullptr && g->delete_ != nullptr) g->delete_(g);
  }
};
using GraphIPtr = std::unique_ptr<GraphI, GraphIDeleter>;

using IntArrayPtr = vlk::Owned<VLK_IntArray, VLK_IntArray_delete>;

using StrArrayPtr = vlk::Owned<VLK_StrArray, VLK_StrArray_delete_all>;

using Lists = std::vector<std::vector<int>>;  // parents per node, as the reference holds them

std::vector<int> elems(const VLK_IntArray* a) { return {a->data, a->data + a->size}; }

IntArrayPtr int_array(const std::vector<int>& v) {
  IntArrayPtr a(VLK_IntArray_new());
  for (int x : v) VLK_IntArray_add(a.get(), x);
  return a;
}

StrArrayPtr names_of(const std::vector<std::string>& names) {
  StrArrayPtr a(VLK_StrArray_new());
  for (const std::string& s : names) VLK_StrArray_add_copy(a.get(), s.c_str());
  return a;
}

GraphPtr graph_of(const Lists& lists) {
  GraphPtr g(VLK_Graph_new(lists.size()));
  for (size_t ch = 0; ch < lists.size(); ++ch)
    for (int pa : lists[ch]) VLK_Graph_add_edge(g.get(), pa, static_cast<int>(ch));
  return g;
}

Lists lists_of(const VLK_Graph* g) {
  Lists out(VLK_Graph_num_nodes(g));
  for (size_t i = 0; i < out.size(); ++i) out[i] = elems(VLK_Graph_parents(g, static_cast<int>(i)));
  return out;
}

// Random parent lists over n nodes: self loops and repeated parents included on purpose.
Lists random_lists(std::mt19937& rng, int n, double density) {
  std::bernoulli_distribution edge(density), repeat(0.05);
  Lists lists(n);
  for (int ch = 0; ch < n; ++ch)
    for (int pa = 0; pa < n; ++pa)
      if (edge(rng)) {
        lists[ch].push_back(pa);
        if (repeat(rng)) lists[ch].push_back(pa);
      }
  for (auto& l : lists) std::shuffle(l.begin(), l.end(), rng);
  return lists;
}

// Reference ancestor test: depth-first search from a over parent links; b counts only when
// reached in at least one step.
bool reference_reaches(const Lists& lists, int a, int b) {
  std::vector<char> seen(lists.size(), 0);
  std::vector<int> stack{a};
  while (!stack.empty()) {
    const int v = stack.back();
    stack.pop_back();
    for (int p : lists[v]) {
      if (p == b) return true;
      if (!seen[p]) {
        seen[p] = 1;
        stack.push_back(p);
      }
    }
  }
  return false;
}

// Everything the process writes to file descriptor 2 while fn runs.
std::string capture_stderr(const std::function<void()>& fn) {
  std::fflush(stderr);
  FILE* tmp = std::tmpfile();
  const int saved = dup(2);
  dup2(fileno(tmp), 2);
  fn();
  std::fflush(stderr);
  dup2(saved, 2);
  close(saved);
  std::string out;
  std::rewind(tmp);
  for (int c; (c = std::fgetc(tmp)) != EOF;) out.push_back(static_cast<char>(c));
  std::fclose(tmp);
  return out;
}

}  // namespace

// ---- the interface record ----

TEST(GraphITable, HeadFieldsInOrder) {
  static_assert(std::is_standard_layout_v<GraphI>);
  static_assert(offsetof(GraphI, type) == 0);
  const size_t offsets[] = {offsetof(GraphI, type),        offsetof(GraphI, delete_),
                            offsetof(GraphI, clone),       offsetof(GraphI, num_nodes),
                            offsetof(GraphI, add_edge),    offsetof(GraphI, check_edge),
                            offsetof(GraphI, remove_edge), offsetof(GraphI, print_name),
                            offsetof(GraphI, print_name2), offsetof(GraphI, n)};
  for (size_t i = 1; i < std::size(offsets); ++i) EXPECT_LT(offsets[i - 1], offsets[i]) << i;
  EXPECT_EQ(VLK_TYPE_GRAPH, 39);
  EXPECT_EQ(VLK_TYPE_ADJGRAPH, 40);
  EXPECT_EQ(VLK_TYPE_COMPLETEGRAPH, 41);
}

TEST(GraphITable, SlotsOfEachKind) {
  GraphPtr g(VLK_Graph_new(3));
  const GraphI* gi = VLK_Graph_to_GraphI(g.get());
  EXPECT_EQ(static_cast<const void*>(gi), static_cast<const void*>(g.get()));
  EXPECT_EQ(gi->type, 39);
  EXPECT_EQ(gi->delete_, &VLK_Graph_deleteI);
  EXPECT_EQ(gi->clone, nullptr);
  EXPECT_EQ(gi->num_nodes, &VLK_Graph_num_nodesI);
  EXPECT_EQ(gi->add_edge, nullptr);
  EXPECT_EQ(gi->check_edge, &VLK_Graph_check_edgeI);
  EXPECT_EQ(gi->remove_edge, nullptr);
  EXPECT_EQ(gi->print_name, &VLK_Graph_print_nameI);
  EXPECT_EQ(gi->print_name2, &VLK_Graph_print_name2I);
  EXPECT_EQ(gi->n, 3u);

  GraphIPtr a(VLK_AdjGraph_news(3));
  EXPECT_EQ(a->type, 40);
  EXPECT_EQ(a->delete_, &VLK_AdjGraph_delete);
  EXPECT_EQ(a->clone, &VLK_AdjGraph_clone);
  EXPECT_EQ(a->num_nodes, nullptr);
  EXPECT_EQ(a->add_edge, &VLK_AdjGraph_add_edge);
  EXPECT_EQ(a->check_edge, &VLK_AdjGraph_check_edge);
  EXPECT_EQ(a->remove_edge, &VLK_AdjGraph_remove_edge);
  EXPECT_EQ(a->print_name, &VLK_AdjGraph_print_name);
  EXPECT_EQ(a->print_name2, &VLK_AdjGraph_print_name2);
  EXPECT_EQ(a->n, 3u);

  const GraphI* c = CompleteGraph_to_GraphI(CompleteGraph_new());
  EXPECT_EQ(c->type, 41);
  EXPECT_EQ(c->check_edge, &CompleteGraph_check_edge);
  for (const void* slot :
       {(const void*)c->delete_, (const void*)c->clone, (const void*)c->num_nodes,
        (const void*)c->add_edge, (const void*)c->remove_edge, (const void*)c->print_name,
        (const void*)c->print_name2})
    EXPECT_EQ(slot, nullptr);
  EXPECT_EQ(c->n, 0u);
}

// ---- one conformance suite over the kinds that store edges ----

namespace {

struct Kind {
  const char* name;
  std::function<GraphI*(size_t)> make;
  std::function<void(GraphI*, int, int)> add;  // the kind's own insertion
};

// GoogleTest prints a parameter beside the test's name (and CTest takes that into the name it
// registers); a Kind prints as its name, not as the bytes of its function objects.
void PrintTo(const Kind& kind, std::ostream* os) { *os << kind.name; }

}  // namespace

class GraphKinds : public testing::TestWithParam<Kind> {};

TEST_P(GraphKinds, EdgesAnswerLikeAReferenceSet) {
  std::mt19937 rng(11);
  for (int n : {1, 2, 5, 9}) {
    GraphIPtr g(GetParam().make(n));
    ASSERT_NE(g, nullptr);
    EXPECT_EQ(g->n, static_cast<size_t>(n));
    std::set<std::pair<int, int>> edges;
    std::uniform_int_distribution<int> id(0, n - 1);
    for (int k = 0; k < 3 * n; ++k) {
      const int pa = id(rng), ch = id(rng);
      GetParam().add(g.get(), pa, ch);
      GetParam().add(g.get(), pa, ch);  // a second insertion leaves the answer alone
      edges.insert({pa, ch});
    }
    // Ids off the graph are never stored and never reported.
    for (auto [pa, ch] : {std::pair{-1, 0}, {0, -1}, {n, 0}, {0, n}, {-7, -7}})
      GetParam().add(g.get(), pa, ch);
    for (int pa = -2; pa <= n + 1; ++pa)
      for (int ch = -2; ch <= n + 1; ++ch)
        EXPECT_EQ(g->check_edge(g.get(), pa, ch), edges.count({pa, ch}) ? 1 : 0)
            << GetParam().name << " n=" << n << " " << pa << "->" << ch;
  }
}

INSTANTIATE_TEST_SUITE_P(
    All, GraphKinds,
    testing::Values(Kind{"Graph", [](size_t n) -> GraphI* { return VLK_Graph_new(n); },
                         [](GraphI* g, int pa, int ch) {
                           VLK_Graph_add_edge_nr(VLK_Graph_check_type(g), pa, ch);
                         }},
                    Kind{"AdjGraph", [](size_t n) -> GraphI* { return VLK_AdjGraph_news(n); },
                         [](GraphI* g, int pa, int ch) { g->add_edge(g, pa, ch); }}),
    [](const testing::TestParamInfo<Kind>& info) { return std::string(info.param.name); });

// The same edges print alike from a parent-list graph copied through the interface (parents
// ascending) and from the matrix, parents and children both.
TEST(GraphKindsPrint, SameEdgesPrintAlike) {
  std::mt19937 rng(5);
  const Lists lists = random_lists(rng, 6, 0.4);
  GraphPtr unordered = graph_of(lists);
  GraphPtr ascending(VLK_Graph_new(6));
  VLK_Graph_copy_GraphI(unordered.get(), ascending.get());
  GraphIPtr matrix(VLK_AdjGraph_news(6));
  for (size_t ch = 0; ch < lists.size(); ++ch)
    for (int pa : lists[ch]) VLK_AdjGraph_add_edge(matrix.get(), pa, static_cast<int>(ch));
  const StrArrayPtr names = names_of({"a", "b", "c", "d", "e", "f"});
  auto print = [&](const GraphI* x, GraphI_print_fn GraphI::*slot) {
    return capture([&](FILE* fp) { (x->*slot)(x, fp, names.get()); });
  };
  for (auto slot : {&GraphI::print_name, &GraphI::print_name2}) {
    const std::string text = print(matrix.get(), slot);
    EXPECT_EQ(print(VLK_Graph_to_GraphI(ascending.get()), slot), text);
    EXPECT_GT(text.size(), 6 * std::strlen("a(0) :\n"));  // some edges were printed
  }
  // children are found by a scan, so they come out ascending even from unordered lists
  EXPECT_EQ(print(unordered.get(), &GraphI::print_name2),
            print(matrix.get(), &GraphI::print_name2));
}

// ---- construction and edits ----

TEST(Graph, NewGraphIsEmpty) {
  GraphPtr g(VLK_Graph_new(4));
  ASSERT_NE(g, nullptr);
  EXPECT_EQ(VLK_Graph_num_nodes(g.get()), 4u);
  EXPECT_EQ(g->num_nodes(g.get()), 4);
  EXPECT_EQ(VLK_Graph_num_edges(g.get()), 0u);
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(VLK_Graph_num_parents(g.get(), i), 0);
    EXPECT_EQ(VLK_Graph_parents(g.get(), i)->capacity, 1u);
  }
  GraphPtr empty(VLK_Graph_new(0));
  ASSERT_NE(empty, nullptr);
  EXPECT_EQ(VLK_Graph_num_edges(empty.get()), 0u);
  EXPECT_EQ(VLK_Graph_check_edge(nullptr, 0, 0), 0);
  VLK_Graph_delete(nullptr);
}

TEST(Graph, AddKeepsRepeatsAddNrDoesNot) {
  GraphPtr g(VLK_Graph_new(3));
  VLK_Graph_add_edge(g.get(), 1, 0);
  VLK_Graph_add_edge(g.get(), 1, 0);
  VLK_Graph_add_edge(g.get(), 2, 0);
  VLK_Graph_add_edge(g.get(), 0, 0);  // self loop is stored as given
  EXPECT_EQ(elems(VLK_Graph_parents(g.get(), 0)), (std::vector<int>{1, 1, 2, 0}));
  VLK_Graph_add_edge_nr(g.get(), 2, 1);
  VLK_Graph_add_edge_nr(g.get(), 2, 1);
  VLK_Graph_add_edge_nr(g.get(), 0, 1);
  EXPECT_EQ(elems(VLK_Graph_parents(g.get(), 1)), (std::vector<int>{2, 0}));
  EXPECT_EQ(VLK_Graph_num_edges(g.get()), 6u);
  EXPECT_EQ(VLK_Graph_check_edge(g.get(), 0, 0), 1);
  EXPECT_EQ(VLK_Graph_check_edge(g.get(), 0, 2), 0);
}

TEST(Graph, ParentListEditsRoundTrip) {
  GraphPtr g = graph_of({{3, 1, 2}, {}, {0}, {}});
  const IntArrayPtr mine = int_array({2, 3});
  VLK_IntArray_reserve(mine.get(), 7);

  // swap exchanges elements, size and capacity; swapping back restores both sides
  const size_t cap0 = VLK_Graph_parents(g.get(), 0)->capacity;
  VLK_Graph_swap_parents(g.get(), 0, mine.get());
  EXPECT_EQ(elems(VLK_Graph_parents(g.get(), 0)), (std::vector<int>{2, 3}));
  EXPECT_EQ(VLK_Graph_parents(g.get(), 0)->capacity, 7u);
  EXPECT_EQ(elems(mine.get()), (std::vector<int>{3, 1, 2}));
  EXPECT_EQ(mine->capacity, cap0);
  VLK_Graph_swap_parents(g.get(), 0, mine.get());
  EXPECT_EQ(elems(VLK_Graph_parents(g.get(), 0)), (std::vector<int>{3, 1, 2}));
  EXPECT_EQ(elems(mine.get()), (std::vector<int>{2, 3}));

  // set copies in order and leaves the caller's list alone
  VLK_Graph_set_parents(g.get(), 1, mine.get());
  VLK_IntArray_add(mine.get(), 0);
  EXPECT_EQ(elems(VLK_Graph_parents(g.get(), 1)), (std::vector<int>{2, 3}));

  // removal by position moves later entries up; a position off the list changes nothing
  VLK_Graph_remove_parent_index(g.get(), 0, 1);
  EXPECT_EQ(elems(VLK_Graph_parents(g.get(), 0)), (std::vector<int>{3, 2}));
  VLK_Graph_remove_parent_index(g.get(), 0, 2);
  VLK_Graph_remove_parent_index(g.get(), 0, -1);
  EXPECT_EQ(elems(VLK_Graph_parents(g.get(), 0)), (std::vector<int>{3, 2}));
  VLK_Graph_remove_parent_index(g.get(), 0, 1);
  VLK_Graph_remove_parent_index(g.get(), 0, 0);
  EXPECT_EQ(VLK_Graph_num_parents(g.get(), 0), 0);

  // clear empties every list but keeps the capacities
  VLK_Graph_clear(g.get());
  EXPECT_EQ(VLK_Graph_num_edges(g.get()), 0u);
  EXPECT_EQ(VLK_Graph_parents(g.get(), 0)->capacity, 4u);
  EXPECT_EQ(VLK_Graph_parents(g.get(), 1)->capacity, 2u);
}

TEST(Graph, CopiesKeepOrderOrSortIt) {
  std::mt19937 rng(3);
  const Lists lists = random_lists(rng, 7, 0.5);
  GraphPtr src = graph_of(lists);

  GraphPtr plain(VLK_Graph_new(7));
  VLK_Graph_add_edge(plain.get(), 6, 6);  // overwritten by the copy
  VLK_Graph_copy(src.get(), plain.get());
  EXPECT_EQ(lists_of(plain.get()), lists);

  GraphPtr sorted(VLK_Graph_new(7));
  VLK_Graph_add_edge(sorted.get(), 6, 6);  // cleared first
  VLK_Graph_copy_GraphI(VLK_Graph_to_GraphI(src.get()), sorted.get());
  Lists expect(7);
  for (size_t i = 0; i < lists.size(); ++i) {
    const std::set<int> unique(lists[i].begin(), lists[i].end());
    expect[i].assign(unique.begin(), unique.end());
  }
  EXPECT_EQ(lists_of(sorted.get()), expect);

  GraphPtr one = graph_of({{}, {}, {}, {5, 1}, {}, {}});
  VLK_Graph_copy_GraphI(one.get(), one.get());  // in place
  EXPECT_EQ(elems(VLK_Graph_parents(one.get(), 3)), (std::vector<int>{1, 5}));
}

TEST(Graph, ChildrenAreTheInverseOfParents) {
  std::mt19937 rng(8);
  for (int round = 0; round < 20; ++round) {
    const int n = 1 + round % 8;
    const Lists lists = random_lists(rng, n, 0.35);
    GraphPtr g = graph_of(lists);
    VLK_IntArray* children = VLK_IntArray_new_ar(n, 1);
    VLK_IntArray_add(&children[0], 99);  // stale content is cleared
    VLK_Graph_set_children_all(g.get(), children);
    Lists expect_all(n);
    for (int j = 0; j < n; ++j)
      for (int p : lists[j]) expect_all[p].push_back(j);
    for (int i = 0; i < n; ++i) {
      EXPECT_EQ(elems(&children[i]), expect_all[i]) << i;
      std::vector<int> once;
      for (int j = 0; j < n; ++j)
        if (std::find(lists[j].begin(), lists[j].end(), i) != lists[j].end()) once.push_back(j);
      IntArrayPtr gen(VLK_Graph_gen_children(g.get(), i));
      EXPECT_EQ(elems(gen.get()), once) << i;
    }
    // rebuilding parents from the children lists gives the same edges
    GraphPtr back(VLK_Graph_new(n));
    for (int p = 0; p < n; ++p)
      for (size_t k = 0; k < children[p].size; ++k)
        VLK_Graph_add_edge(back.get(), p, children[p].data[k]);
    for (int j = 0; j < n; ++j) {
      std::multiset<int> a(lists[j].begin(), lists[j].end());
      const std::vector<int> got = elems(VLK_Graph_parents(back.get(), j));
      EXPECT_EQ(std::multiset<int>(got.begin(), got.end()), a) << j;
    }
    VLK_IntArray_delete_ar(children, n);
  }
}

TEST(Graph, ConvertMapsIds) {
  GraphPtr g = graph_of({{1, 2}, {2}, {}});
  const IntArrayPtr map = int_array({4, 0, 2});
  GraphPtr m(VLK_Graph_convert(g.get(), map.get(), 5));
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(lists_of(m.get()), (Lists{{2}, {}, {}, {}, {0, 2}}));
  // repeats are not merged; an unmapped or off-graph id drops the edge
  GraphPtr h = graph_of({{1, 1, 2}, {0}, {1}});
  const IntArrayPtr partial = int_array({0, 1, -1});
  GraphPtr p(VLK_Graph_convert(h.get(), partial.get(), 2));
  EXPECT_EQ(lists_of(p.get()), (Lists{{1, 1}, {0}}));
}

// ---- cycle tests ----

TEST(GraphCycles, SmallCases) {
  GraphPtr chain = graph_of({{}, {0}, {1}});  // 0 -> 1 -> 2
  EXPECT_EQ(VLK_Graph_check_cyclic(chain.get(), 2, 0), 1);
  EXPECT_EQ(VLK_Graph_check_cyclic(chain.get(), 0, 2), 0);
  for (int a = 0; a < 3; ++a) EXPECT_EQ(VLK_Graph_check_cyclic(chain.get(), a, a), 0);
  GraphPtr loop = graph_of({{1}, {0}, {}});  // 0 -> 1 -> 0
  EXPECT_EQ(VLK_Graph_check_cyclic(loop.get(), 0, 0), 1);
  EXPECT_EQ(VLK_Graph_check_cyclic(loop.get(), 2, 2), 0);
  GraphPtr self = graph_of({{0}});
  EXPECT_EQ(VLK_Graph_check_cyclic(self.get(), 0, 0), 1);
  EXPECT_EQ(VLK_Graph_check_cyclic(chain.get(), -1, 0), 0);
  EXPECT_EQ(VLK_Graph_check_cyclic(chain.get(), 3, 0), 0);
}

TEST(GraphCycles, AgreeWithDepthFirstReference) {
  std::mt19937 rng(2024);
  for (int round = 0; round < 300; ++round) {
    const int n = 1 + round % 9;
    const Lists lists = random_lists(rng, n, 0.05 + 0.05 * (round % 6));
    GraphPtr g = graph_of(lists);
    std::uniform_int_distribution<int> id(0, n - 1);
    for (int a = 0; a < n; ++a)
      for (int b = 0; b < n; ++b)
        ASSERT_EQ(VLK_Graph_check_cyclic(g.get(), a, b), reference_reaches(lists, a, b) ? 1 : 0)
            << "round " << round << " " << a << " " << b;
    // check_cyclic2: node c's parents come from a caller list; the graph stays untouched
    const int c = id(rng);
    Lists replaced = lists;
    replaced[c] = random_lists(rng, n, 0.3)[id(rng)];
    const IntArrayPtr list = int_array(replaced[c]);
    for (int a = 0; a < n; ++a)
      for (int b = 0; b < n; ++b)
        ASSERT_EQ(VLK_Graph_check_cyclic2(g.get(), a, b, c, list.get()),
                  reference_reaches(replaced, a, b) ? 1 : 0)
            << "round " << round << " c=" << c << " " << a << " " << b;
    EXPECT_EQ(lists_of(g.get()), lists);
  }
}

// The reversal test of the search: p -> c turned into c -> p, with p taken out of c's list.
TEST(GraphCycles, ReversalHidesTheReversedEdge) {
  GraphPtr g = graph_of({{}, {0}});  // 0 -> 1
  EXPECT_EQ(VLK_Graph_check_cyclic(g.get(), 1, 0), 1);
  const IntArrayPtr without = int_array({});
  EXPECT_EQ(VLK_Graph_check_cyclic2(g.get(), 1, 0, 1, without.get()), 0);
  GraphPtr h = graph_of({{}, {0}, {1}, {0, 2}});  // 0 -> 1 -> 2 -> 3 and 0 -> 3
  const IntArrayPtr only2 = int_array({2});
  EXPECT_EQ(VLK_Graph_check_cyclic2(h.get(), 3, 0, 3, only2.get()), 1);  // 3 <- 2 <- 1 <- 0
}

// Random DAG: edges only from earlier to later nodes of a shuffled order, so ancestor sets
// range from empty to most of the graph and both answers are common.
Lists random_dag(std::mt19937& rng, int n, double density) {
  std::vector<int> order(n);
  for (int i = 0; i < n; ++i) order[i] = i;
  std::shuffle(order.begin(), order.end(), rng);
  std::bernoulli_distribution edge(density);
  Lists lists(n);
  for (int j = 1; j < n; ++j)
    for (int i = 0; i < j; ++i)
      if (edge(rng)) lists[order[j]].push_back(order[i]);
  return lists;
}

// Many threads test one shared graph at once, mixing in a second graph of another size so
// that per-thread marks from one graph must never leak into the other.
TEST(GraphCycles, ConcurrentTestsMatchSerial) {
  std::mt19937 rng(77);
  const int n = 300, m = 37;
  const Lists big_lists = random_dag(rng, n, 12.0 / n);
  const Lists small_lists = random_lists(rng, m, 0.05);
  GraphPtr big = graph_of(big_lists), small = graph_of(small_lists);
  const int c = 3;
  const IntArrayPtr list = int_array({1, 5, 9});
  auto answer = [&](int k) {
    const int a = k / n, b = k % n;
    return VLK_Graph_check_cyclic(big.get(), a, b) * 4 +
           VLK_Graph_check_cyclic2(big.get(), a, b, c, list.get()) * 2 +
           VLK_Graph_check_cyclic(small.get(), a % m, b % m);
  };
  std::vector<int> serial(n * n), parallel(n * n, -1);
  for (int k = 0; k < n * n; ++k) serial[k] = answer(k);
  int threads_seen = 0;
#pragma omp parallel num_threads(4)
  {
#pragma omp single
    threads_seen = omp_get_num_threads();
#pragma omp for schedule(dynamic, 3)
    for (int k = 0; k < n * n; ++k) parallel[k] = answer(k);
  }
  EXPECT_EQ(threads_seen, 4);
  int mismatches = 0;
  for (int k = 0; k < n * n; ++k) mismatches += parallel[k] != serial[k];
  EXPECT_EQ(mismatches, 0);
  int reached = 0;
  for (int v : serial) reached += v >> 2;
  EXPECT_GT(reached, n * n / 5);  // both answers are common
  EXPECT_LT(reached, n * n / 2);
}

// ---- path search ----

namespace {

struct PathResult {
  int count = 0;
  std::set<std::pair<int, int>> edges;  // (parent, child) of the result graph
};

// Recursive reference over parent-list entries (repeats give repeated paths, as in the list).
PathResult reference_paths(const Lists& lists, const std::vector<int>& targets,
                           const std::vector<int>& starts, int maxlen, int mode) {
  PathResult r;
  const int n = static_cast<int>(lists.size());
  std::vector<char> target(n, 0), on_path(n, 0);
  for (int t : targets) target[t] = 1;
  std::vector<int> path;
  std::function<void(int, int)> visit = [&](int v, int depth) {
    path.push_back(v);
    on_path[v] = 1;
    if (target[v] && (mode == 0 || (mode == 1 && depth == maxlen))) {
      ++r.count;
      for (size_t i = 1; i < path.size(); ++i) r.edges.insert({path[i], path[i - 1]});
    }
    if (depth != maxlen)
      for (int w : lists[v])
        if (!on_path[w]) visit(w, depth + 1);
    on_path[v] = 0;
    path.pop_back();
  };
  for (int s : starts)
    if (s != -1) visit(s, 0);
  return r;
}

PathResult run_paths(const VLK_Graph* g, const std::vector<int>& targets,
                     const std::vector<int>& starts, int maxlen, int mode, std::string* err) {
  const IntArrayPtr t = int_array(targets), s = int_array(starts);
  GraphPtr out;
  *err = capture_stderr(
      [&] { out.reset(VLK_Graph_collect_paths(g, t.get(), s.get(), maxlen, mode)); });
  PathResult r;
  EXPECT_EQ(VLK_Graph_num_nodes(out.get()), VLK_Graph_num_nodes(g));
  for (size_t ch = 0; ch < VLK_Graph_num_nodes(out.get()); ++ch)
    for (int pa : elems(VLK_Graph_parents(out.get(), static_cast<int>(ch))))
      EXPECT_TRUE(r.edges.insert({pa, static_cast<int>(ch)}).second) << "edge stored twice";
  const size_t at = err->rfind("Found ");
  r.count = at == std::string::npos ? -1 : std::atoi(err->c_str() + at + 6);
  return r;
}

}  // namespace

TEST(GraphPaths, ChainAtExactLength) {
  // t -> u -> s with t = 0, u = 1, s = 2: the search climbs from s to t
  GraphPtr g = graph_of({{}, {0}, {1}});
  std::string err;
  PathResult r = run_paths(g.get(), {0}, {2}, 2, 1, &err);
  EXPECT_EQ(err, "VLK_Graph: 1 / 1 start.\nFound 1 paths.\n");
  EXPECT_EQ(r.edges, (std::set<std::pair<int, int>>{{0, 1}, {1, 2}}));
  r = run_paths(g.get(), {0}, {2}, 1, 1, &err);
  EXPECT_EQ(err, "VLK_Graph: 1 / 1 start.\nFound 0 paths.\n");
  EXPECT_TRUE(r.edges.empty());
  // a skipped start still counts in the progress lines; a start on a target is a path of 0
  r = run_paths(g.get(), {0, 2}, {-1, 2}, -1, 0, &err);
  EXPECT_EQ(err, "VLK_Graph: 1 / 2 start.\nVLK_Graph: 2 / 2 start.\nFound 2 paths.\n");
  EXPECT_EQ(r.edges, (std::set<std::pair<int, int>>{{0, 1}, {1, 2}}));
}

TEST(GraphPaths, AgreeWithRecursiveReference) {
  std::mt19937 rng(99);
  std::string err;
  for (int round = 0; round < 200; ++round) {
    const int n = 2 + round % 6;
    const Lists lists = random_lists(rng, n, 0.35);
    GraphPtr g = graph_of(lists);
    std::uniform_int_distribution<int> id(0, n - 1);
    const std::vector<int> targets{id(rng), id(rng)};
    const std::vector<int> starts{id(rng), round % 5 == 0 ? -1 : id(rng)};
    const int maxlen = round % 7 - 1;  // -1 .. 5
    const int mode = round % 3;        // mode 2 records nothing
    const PathResult expect = reference_paths(lists, targets, starts, maxlen, mode);
    const PathResult got = run_paths(g.get(), targets, starts, maxlen, mode, &err);
    ASSERT_EQ(got.count, expect.count) << "round " << round;
    ASSERT_EQ(got.edges, expect.edges) << "round " << round;
  }
}

// ---- printing ----

TEST(GraphPrint, ExactText) {
  GraphPtr g = graph_of({{2, 1}, {}, {1}, {0, 2, 0}});
  const StrArrayPtr names = names_of({"g0", "gene1", "G2", "x"});
  EXPECT_EQ(capture([&](FILE* fp) { VLK_Graph_show(fp, g.get()); }),
            "0 : 2 1\n1 :\n2 : 1\n3 : 0 2 0\n");
  const std::string parents =
      "g0(0) : G2(2) gene1(1)\ngene1(1) :\nG2(2) : gene1(1)\n"
      "x(3) : g0(0) G2(2) g0(0)\n";
  const std::string children = "g0(0) : x(3)\ngene1(1) : g0(0) G2(2)\nG2(2) : g0(0) x(3)\nx(3) :\n";
  EXPECT_EQ(capture([&](FILE* fp) { VLK_Graph_print_name(g.get(), fp, names.get()); }), parents);
  EXPECT_EQ(capture([&](FILE* fp) { g->print_name(g.get(), fp, names.get()); }), parents);
  EXPECT_EQ(capture([&](FILE* fp) { VLK_Graph_print_name2(g.get(), fp, names.get()); }), children);
  EXPECT_EQ(capture([&](FILE* fp) { g->print_name2(g.get(), fp, names.get()); }), children);
}

// ---- fatal paths ----

TEST(GraphFatal, WrongKindAndSizeMismatch) {
  const std::string bad = "FATAL ERROR: VLK_Graph: invalid type object received.\n";
  GraphIPtr adj(VLK_AdjGraph_news(3));
  GraphI* complete = CompleteGraph_to_GraphI(CompleteGraph_new());
  GraphPtr g3(VLK_Graph_new(3)), g4(VLK_Graph_new(4));
  const StrArrayPtr names = names_of({"a", "b", "c"});
  for (GraphI* wrong : {adj.get(), complete}) {
    EXPECT_FATAL_EXIT(VLK_Graph_deleteI(wrong), bad);
    EXPECT_FATAL_EXIT(VLK_Graph_num_nodesI(wrong), bad);
    EXPECT_FATAL_EXIT(VLK_Graph_check_edgeI(wrong, 0, 1), bad);
    EXPECT_FATAL_EXIT(VLK_Graph_print_nameI(wrong, stdout, names.get()), bad);
    EXPECT_FATAL_EXIT(VLK_Graph_print_name2I(wrong, stdout, names.get()), bad);
    EXPECT_FATAL_EXIT(VLK_Graph_check_type(wrong), bad);
    EXPECT_FATAL_EXIT(VLK_Graph_copy_GraphI(wrong, g3.get()), bad);
  }
  EXPECT_EQ(VLK_Graph_check_type(VLK_Graph_to_GraphI(g3.get())), g3.get());
  EXPECT_FATAL_EXIT(VLK_Graph_copy(g3.get(), g4.get()),
                    "FATAL ERROR: VLK_Graph_copy(): inconsistent numbers of nodes.\n");
  EXPECT_FATAL_EXIT(VLK_Graph_copy_GraphI(g3.get(), g4.get()),
                    "FATAL ERROR: VLK_Graph_copy_GraphI(): inconsistent numbers of nodes.\n");
}
