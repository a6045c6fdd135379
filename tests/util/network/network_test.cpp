#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "VLK_Network.h"
#include "VLK_StrMatrix.h"
#include "vlk_owned.h"
#include "vlk_test.h"

namespace {

using vlk::EdgePtr;
using vlk::NetworkPtr;
using vlk::NodePtr;

VLK_Node* node(const VLK_Network* net, size_t i) {
  return static_cast<VLK_Node*>(net->nodes->data[i]);
}
VLK_Edge* edge(const VLK_Network* net, size_t k) {
  return static_cast<VLK_Edge*>(net->edges->data[k]);
}
VLK_IntArray* plist(const VLK_Network* net, size_t i) {
  return static_cast<VLK_IntArray*>(net->parents->data[i]);
}

std::vector<int> ints(const VLK_IntArray* a) { return {a->data, a->data + a->size}; }

// The five invariants of a network, and every lookup against a plain scan of the arrays.
testing::AssertionResult invariants(const VLK_Network* net) {
  const size_t n = net->nodes->size;
  // 1. index equals position.
  for (size_t i = 0; i < n; ++i)
    if (node(net, i)->index != static_cast<int>(i) || VLK_Network_get_node(net, i) != node(net, i))
      return testing::AssertionFailure() << "node " << i << " has index " << node(net, i)->index;
  // 2. one parent list per node.
  if (net->parents->size != n)
    return testing::AssertionFailure() << net->parents->size << " parent lists, " << n << " nodes";
  // 3. list entries and edges agree one to one; 4. no pair twice.
  size_t entries = 0;
  for (size_t c = 0; c < n; ++c) {
    const std::vector<int> ps = ints(plist(net, c));
    entries += ps.size();
    for (int p : ps) {
      if (p < 0 || static_cast<size_t>(p) >= n)
        return testing::AssertionFailure() << "parent " << p << " of " << c << " out of range";
      if (std::count(ps.begin(), ps.end(), p) != 1)
        return testing::AssertionFailure() << "pair " << p << "->" << c << " listed twice";
      int found = 0;
      for (size_t k = 0; k < net->edges->size; ++k)
        found += edge(net, k)->parent == node(net, p) && edge(net, k)->child == node(net, c);
      if (found != 1)
        return testing::AssertionFailure() << found << " edges for " << p << "->" << c;
    }
  }
  if (entries != net->edges->size)
    return testing::AssertionFailure()
           << entries << " list entries, " << net->edges->size << " edges";
  // Lookups agree with scans.
  for (size_t i = 0; i < n; ++i) {
    const char* name = node(net, i)->name;
    size_t first = 0;
    while (std::strcmp(node(net, first)->name, name) != 0) ++first;
    if (VLK_Network_find_node_index(net, name) != static_cast<int>(first) ||
        VLK_Network_find_node(net, name) != node(net, first))
      return testing::AssertionFailure() << "find_node(" << name << ") is not node " << first;
    if (VLK_Network_find_node_index_node(net, node(net, i)) != static_cast<int>(i))
      return testing::AssertionFailure() << "find_node_index_node of " << i;
    std::vector<int> children;
    for (size_t j = 0; j < n; ++j)
      if (VLK_IntArray_find(plist(net, j), static_cast<int>(i)) >= 0)
        children.push_back(static_cast<int>(j));
    VLK_IntArray* got = VLK_Network_get_child_indexes(net, i);
    const bool same = ints(got) == children;
    VLK_IntArray_delete(got);
    if (!same || VLK_Network_num_children(net, i) != static_cast<int>(children.size()))
      return testing::AssertionFailure() << "children of " << i;
  }
  for (size_t k = 0; k < net->edges->size; ++k) {
    const VLK_Edge* e = edge(net, k);
    if (VLK_Network_get_edge_index(net, e->parent->index, e->child->index) != e ||
        VLK_Network_find_edge(net, e->parent, e->child) != e ||
        VLK_Network_find_edge_index(net, e) != static_cast<int>(k) ||
        !VLK_Network_check_edge_index(net, e->parent->index, e->child->index))
      return testing::AssertionFailure() << "lookup of edge " << k;
  }
  return testing::AssertionSuccess();
}

NetworkPtr make(const std::vector<const char*>& names,
                const std::vector<std::pair<int, int>>& edges = {}) {
  NetworkPtr net(VLK_Network_new());
  for (const char* s : names) VLK_Network_add_node(net.get(), VLK_Node_new(s, s));
  for (auto [p, c] : edges) VLK_Network_add_edge_index(net.get(), p, c);
  return net;
}

std::vector<std::string> names_of(const VLK_Network* net) {
  std::vector<std::string> out;
  for (size_t i = 0; i < net->nodes->size; ++i) out.push_back(node(net, i)->name);
  return out;
}

std::vector<std::pair<int, int>> pairs_of(const VLK_Network* net) {
  std::vector<std::pair<int, int>> out;
  for (size_t k = 0; k < net->edges->size; ++k)
    out.emplace_back(edge(net, k)->parent->index, edge(net, k)->child->index);
  return out;
}

using MatrixPtr = vlk::Owned<VLK_StrMatrix, VLK_StrMatrix_delete>;

MatrixPtr table(const std::vector<std::vector<const char*>>& lines) {
  MatrixPtr m(VLK_StrMatrix_new());
  for (const auto& fields : lines) {
    VLK_StrArray* line = VLK_StrArray_new();
    for (const char* f : fields) VLK_StrArray_add_copy(line, f);
    VLK_StrMatrix_add_line(m.get(), line);
  }
  return m;
}

}  // namespace

// ---- random edits against a model ----------------------------------------------------------

namespace {

// The network as sets and sequences of node ids (each node's alias is its id).
struct Model {
  std::vector<int> ids;                    // node order
  std::vector<std::string> names;          // by position
  std::vector<std::pair<int, int>> edges;  // (parent id, child id) in edge order
  int next_id = 0;

  int pos(int id) const {
    return static_cast<int>(std::find(ids.begin(), ids.end(), id) - ids.begin());
  }
  bool has(int p, int c) const {
    return std::find(edges.begin(), edges.end(), std::pair{p, c}) != edges.end();
  }
};

testing::AssertionResult matches(const VLK_Network* net, const Model& m) {
  if (net->nodes->size != m.ids.size()) return testing::AssertionFailure() << "node count";
  for (size_t i = 0; i < m.ids.size(); ++i)
    if (std::atoi(node(net, i)->alias) != m.ids[i] || m.names[i] != node(net, i)->name)
      return testing::AssertionFailure() << "node " << i;
  if (net->edges->size != m.edges.size()) return testing::AssertionFailure() << "edge count";
  for (size_t k = 0; k < m.edges.size(); ++k) {
    const VLK_Edge* e = edge(net, k);
    if (std::atoi(e->parent->alias) != m.edges[k].first ||
        std::atoi(e->child->alias) != m.edges[k].second)
      return testing::AssertionFailure() << "edge " << k;
  }
  // Each parent list holds the parents in edge order.
  for (size_t c = 0; c < m.ids.size(); ++c) {
    std::vector<int> want;
    for (auto [p, ch] : m.edges)
      if (ch == m.ids[c]) want.push_back(m.pos(p));
    if (ints(plist(net, c)) != want) return testing::AssertionFailure() << "parents of " << c;
  }
  return testing::AssertionSuccess();
}

}  // namespace

TEST(NetworkModel, RandomEditsKeepTheInvariants) {
  const char* pool[] = {"a", "b", "c", "a", "d"};  // repeated names on purpose
  for (unsigned seed : {1u, 2u, 3u, 4u, 5u}) {
    SCOPED_TRACE(seed);
    std::mt19937 rng(seed);
    auto pick = [&](size_t n) {
      return static_cast<int>(std::uniform_int_distribution<size_t>(0, n - 1)(rng));
    };
    NetworkPtr net(VLK_Network_new());
    NetworkPtr other = make({"x"});  // its node is foreign to net
    NodePtr loose(VLK_Node_new("a", "-1"));
    Model m;
    for (int step = 0; step < 400; ++step) {
      SCOPED_TRACE(step);
      const size_t n = m.ids.size();
      const int op = n < 2 ? 0 : pick(11);
      switch (op) {
        case 0:
        case 10: {  // node
          const char* name = pool[pick(5)];
          const std::string alias = std::to_string(m.next_id);
          VLK_Node* nd = VLK_Node_new(name, alias.c_str());
          ASSERT_EQ(VLK_Network_add_node(net.get(), nd), net.get());
          EXPECT_EQ(VLK_Node_get_index(nd), static_cast<int>(n));
          EXPECT_EQ(VLK_Network_num_parents(net.get(), static_cast<int>(n)), 0);
          m.ids.push_back(m.next_id++);
          m.names.push_back(name);
          break;
        }
        case 1:
        case 2: {  // edge by index, new or present
          const int pa = pick(n), ch = pick(n);
          const bool present = m.has(m.ids[pa], m.ids[ch]);
          VLK_Edge* before = VLK_Network_get_edge_index(net.get(), pa, ch);
          VLK_Edge* e = VLK_Network_add_edge_index(net.get(), pa, ch);
          ASSERT_NE(e, nullptr);
          if (present) {
            EXPECT_EQ(e, before);
          } else {
            m.edges.emplace_back(m.ids[pa], m.ids[ch]);
          }
          break;
        }
        case 3: {  // caller's edge; a duplicate is deleted by the network
          const int pa = pick(n), ch = pick(n);
          EdgePtr e(VLK_Edge_new(node(net.get(), pa), node(net.get(), ch)));
          VLK_Edge_add_property_int(e.get(), "Count", step);
          EXPECT_EQ(vlk::add_edge(net.get(), e), net.get());
          EXPECT_EQ(e, nullptr);
          if (!m.has(m.ids[pa], m.ids[ch])) m.edges.emplace_back(m.ids[pa], m.ids[ch]);
          break;
        }
        case 4: {  // foreign ends, or the very edge already stored
          EdgePtr e(pick(2) ? VLK_Edge_new(node(net.get(), pick(n)), node(other.get(), 0))
                            : VLK_Edge_new(loose.get(), node(net.get(), pick(n))));
          EXPECT_EQ(vlk::add_edge(net.get(), e), nullptr);
          EXPECT_NE(e, nullptr);  // still the caller's
          if (!m.edges.empty()) {
            VLK_Edge* stored = edge(net.get(), pick(m.edges.size()));
            EXPECT_EQ(VLK_Network_add_edge(net.get(), stored), net.get());  // kept, not freed
          }
          break;
        }
        case 5: {  // remove an edge object
          if (m.edges.empty()) break;
          const int k = pick(m.edges.size());
          VLK_Network_remove_edge(net.get(), edge(net.get(), k));
          m.edges.erase(m.edges.begin() + k);
          break;
        }
        case 6: {  // remove by position (out of range ignored)
          const int k = pick(m.edges.size() + 1);
          VLK_Network_remove_edge_index(net.get(), k);
          if (static_cast<size_t>(k) < m.edges.size()) m.edges.erase(m.edges.begin() + k);
          break;
        }
        case 7: {  // remove a node
          const int i = pick(n);
          const int id = m.ids[i];
          VLK_Network_remove_node_index(net.get(), i);
          m.ids.erase(m.ids.begin() + i);
          m.names.erase(m.names.begin() + i);
          std::erase_if(m.edges, [id](auto pc) { return pc.first == id || pc.second == id; });
          break;
        }
        case 8: {  // rename: name lookups follow
          const int i = pick(n);
          const char* name = pool[pick(5)];
          VLK_Node_set_name(node(net.get(), i), name);
          m.names[i] = name;
          break;
        }
        case 9: {  // clone: same structure, and independent of the source
          NetworkPtr c(VLK_Network_clone(net.get()));
          ASSERT_TRUE(invariants(c.get()));
          EXPECT_TRUE(matches(c.get(), m));
          EXPECT_EQ(VLK_Network_compare_structure(c.get(), net.get()), 1);
          break;
        }
      }
      ASSERT_TRUE(invariants(net.get()));
      ASSERT_TRUE(matches(net.get(), m));
    }
  }
}

// ---- nodes -----------------------------------------------------------------------------------

TEST(NetworkNodes, AddLookupAndDuplicateNames) {
  NetworkPtr net = make({"a", "b", "a"});
  EXPECT_EQ(VLK_Network_num_nodes(net.get()), 3u);
  NodePtr d(VLK_Node_new("d", "D"));
  VLK_Node* raw = d.get();
  EXPECT_EQ(vlk::add_node(net.get(), d), net.get());
  EXPECT_EQ(d, nullptr);
  EXPECT_EQ(VLK_Node_get_index(raw), 3);
  EXPECT_EQ(VLK_Network_num_parents(net.get(), 3), 0);
  EXPECT_EQ(VLK_Network_find_node_index(net.get(), "a"), 0);  // first of the two
  EXPECT_EQ(VLK_Network_find_node_index(net.get(), "zz"), -1);
  EXPECT_EQ(VLK_Network_find_node(net.get(), "zz"), nullptr);
  EXPECT_EQ(VLK_Network_find_node_index(net.get(), nullptr), -1);
  EXPECT_STREQ(VLK_Network_node_name(net.get(), 3), "d");
  EXPECT_STREQ(VLK_Network_node_alias(net.get(), 3), "D");
  EXPECT_EQ(VLK_Network_get_node(net.get(), -1), nullptr);
  EXPECT_EQ(VLK_Network_get_node(net.get(), 4), nullptr);
  NodePtr loose(VLK_Node_new("a", "a"));
  EXPECT_EQ(VLK_Network_find_node_index_node(net.get(), loose.get()), -1);

  // A node of a network cannot be added again, here or elsewhere.
  NetworkPtr other(VLK_Network_new());
  EXPECT_EQ(VLK_Network_add_node(other.get(), raw), nullptr);
  EXPECT_EQ(VLK_Network_add_node(net.get(), raw), nullptr);
  EXPECT_EQ(VLK_Network_num_nodes(net.get()), 4u);

  // Renaming the first "a" makes the second the first match.
  VLK_Node_set_name(node(net.get(), 0), "z");
  EXPECT_EQ(VLK_Network_find_node_index(net.get(), "a"), 2);
  EXPECT_EQ(VLK_Network_find_node_index(net.get(), "z"), 0);
  EXPECT_TRUE(invariants(net.get()));
}

TEST(NetworkNodes, RemoveNodeReindexesEdgesAndParentLists) {
  NetworkPtr net = make({"a", "b", "c"}, {{0, 1}, {1, 2}, {0, 2}});
  VLK_Network_remove_node_index(net.get(), 1);
  ASSERT_TRUE(invariants(net.get()));
  EXPECT_EQ(names_of(net.get()), (std::vector<std::string>{"a", "c"}));
  EXPECT_EQ(VLK_Node_get_index(node(net.get(), 1)), 1);
  EXPECT_EQ(pairs_of(net.get()), (std::vector<std::pair<int, int>>{{0, 1}}));
  EXPECT_EQ(ints(VLK_Network_get_parent_indexes(net.get(), 1)), std::vector<int>{0});

  // Entries above the removed index move down; self loops go with their node.
  NetworkPtr big = make({"a", "b", "c", "d"}, {{3, 2}, {1, 1}, {2, 3}, {1, 3}, {0, 3}});
  VLK_Network_remove_node_index(big.get(), 1);
  ASSERT_TRUE(invariants(big.get()));
  EXPECT_EQ(pairs_of(big.get()), (std::vector<std::pair<int, int>>{{2, 1}, {1, 2}, {0, 2}}));
  EXPECT_EQ(ints(VLK_Network_get_parent_indexes(big.get(), 2)), (std::vector<int>{1, 0}));
  EXPECT_EQ(VLK_Network_find_node_index(big.get(), "d"), 2);
  EXPECT_EQ(VLK_Network_find_node_index(big.get(), "b"), -1);
}

// ---- edges -----------------------------------------------------------------------------------

TEST(NetworkEdges, AddByIndexTwiceKeepsOneEdge) {
  NetworkPtr net = make({"a", "b", "c"});
  VLK_Edge* e = VLK_Network_add_edge_index(net.get(), 1, 2);
  EXPECT_EQ(VLK_Network_add_edge_index(net.get(), 1, 2), e);
  EXPECT_EQ(VLK_Network_num_edges(net.get()), 1u);
  EXPECT_EQ(ints(VLK_Network_get_parent_indexes(net.get(), 2)), std::vector<int>{1});
  EXPECT_EQ(VLK_Edge_parent(e), node(net.get(), 1));
  VLK_Edge* loop = VLK_Network_add_edge_index(net.get(), 2, 2);  // self loops are kept
  ASSERT_NE(loop, nullptr);
  EXPECT_EQ(VLK_Network_get_edge_index(net.get(), 2, 2), loop);
  EXPECT_EQ(VLK_Network_num_children(net.get(), 2), 1);
  EXPECT_EQ(VLK_Network_add_edge_index(net.get(), 3, 0), nullptr);
  EXPECT_TRUE(invariants(net.get()));
}

TEST(NetworkEdges, HandOverContracts) {
  NetworkPtr net = make({"a", "b"});
  NetworkPtr other = make({"x"});
  // A new pair: stored, owned by the network.
  EdgePtr first(VLK_Edge_new(node(net.get(), 0), node(net.get(), 1)));
  VLK_Edge* stored = first.get();
  EXPECT_EQ(vlk::add_edge(net.get(), first), net.get());
  // A duplicate pair: the caller's edge is deleted (a leak otherwise), the stored one stays.
  VLK_Edge* dup = VLK_Edge_new(node(net.get(), 0), node(net.get(), 1));
  EXPECT_EQ(VLK_Network_add_edge(net.get(), dup), net.get());
  EXPECT_EQ(VLK_Network_get_edge(net.get(), 0), stored);
  // The stored edge itself handed over again: nothing changes and nothing is freed.
  EXPECT_EQ(VLK_Network_add_edge(net.get(), stored), net.get());
  EXPECT_EQ(VLK_Network_num_edges(net.get()), 1u);
  // Foreign ends: refused, and the edge remains the caller's (freed by the pointer).
  EdgePtr foreign(VLK_Edge_new(node(net.get(), 0), node(other.get(), 0)));
  EXPECT_EQ(vlk::add_edge(net.get(), foreign), nullptr);
  ASSERT_NE(foreign, nullptr);
  EdgePtr dangling(VLK_Edge_new(nullptr, node(net.get(), 0)));
  EXPECT_EQ(VLK_Network_add_edge(net.get(), dangling.get()), nullptr);
  EXPECT_EQ(VLK_Network_add_edge(net.get(), nullptr), nullptr);
  EXPECT_EQ(VLK_Network_num_edges(net.get()), 1u);
  EXPECT_TRUE(invariants(net.get()));
}

TEST(NetworkEdges, LookupsAndRemoval) {
  NetworkPtr net = make({"a", "b", "a"}, {{0, 1}, {2, 1}, {1, 2}});
  VLK_Edge* e01 = VLK_Network_get_edge(net.get(), 0);
  EXPECT_EQ(VLK_Network_get_edge_index(net.get(), 0, 1), e01);
  EXPECT_EQ(VLK_Network_get_edge_index(net.get(), 1, 0), nullptr);
  EXPECT_EQ(VLK_Network_get_edge_index(net.get(), -1, 0), nullptr);
  EXPECT_EQ(VLK_Network_get_edge_index(net.get(), 0, 3), nullptr);
  EXPECT_EQ(VLK_Network_get_edge(net.get(), 3), nullptr);
  EXPECT_EQ(VLK_Network_find_edge(net.get(), node(net.get(), 2), node(net.get(), 1)),
            VLK_Network_get_edge(net.get(), 1));
  // By name: the first "a" is node 0.
  EXPECT_EQ(VLK_Network_find_edge_name(net.get(), "a", "b"), e01);
  EXPECT_EQ(VLK_Network_find_edge_name(net.get(), "b", "a"), nullptr);  // 1 -> 0 absent
  EXPECT_EQ(VLK_Network_find_edge_name(net.get(), "a", "zz"), nullptr);
  EXPECT_EQ(VLK_Network_check_edge_index(net.get(), 2, 1), 1);
  EXPECT_EQ(VLK_Network_check_edge_index(net.get(), 1, 0), 0);
  EdgePtr loose(VLK_Edge_new(node(net.get(), 0), node(net.get(), 1)));
  EXPECT_EQ(VLK_Network_find_edge_index(net.get(), loose.get()), -1);

  VLK_Network_remove_edge(net.get(), e01);
  VLK_Network_remove_edge(net.get(), loose.get());  // not in the network: ignored
  ASSERT_TRUE(invariants(net.get()));
  EXPECT_EQ(pairs_of(net.get()), (std::vector<std::pair<int, int>>{{2, 1}, {1, 2}}));
  VLK_Network_remove_edge_index(net.get(), 1);
  VLK_Network_remove_edge_index(net.get(), -1);
  VLK_Network_remove_edge_index(net.get(), 5);
  ASSERT_TRUE(invariants(net.get()));
  EXPECT_EQ(pairs_of(net.get()), (std::vector<std::pair<int, int>>{{2, 1}}));
}

TEST(NetworkEdges, ParentsChildrenAndDegree) {
  // Node 2 has parents 0 and 1 and children 3, 4, 5.
  NetworkPtr net =
      make({"a", "b", "c", "d", "e", "f"}, {{2, 5}, {0, 2}, {2, 3}, {1, 2}, {2, 4}, {5, 2}});
  EXPECT_EQ(ints(VLK_Network_get_parent_indexes(net.get(), 2)), (std::vector<int>{0, 1, 5}));
  EXPECT_EQ(VLK_Network_get_parent_index(net.get(), 2, 1), 1);
  EXPECT_EQ(VLK_Network_num_parents(net.get(), 2), 3);
  EXPECT_EQ(VLK_Network_num_children(net.get(), 2), 3);
  EXPECT_EQ(VLK_Network_node_degree(net.get(), 2), 6);
  EXPECT_EQ(VLK_Network_get_child_index(net.get(), 2, 0), 3);
  EXPECT_EQ(VLK_Network_get_child_index(net.get(), 2, 2), 5);
  EXPECT_EQ(VLK_Network_get_child_index(net.get(), 2, 3), -1);
  EXPECT_EQ(VLK_Network_get_child_index(net.get(), 2, -1), -1);
  VLK_IntArray* out = VLK_IntArray_new();
  VLK_IntArray_add(out, 99);
  EXPECT_EQ(VLK_Network_copy_child_indexes(net.get(), 2, out), out);
  EXPECT_EQ(ints(out), (std::vector<int>{3, 4, 5}));
  // Neighbours: the parents in list order, then children not among them (5 is both).
  EXPECT_EQ(VLK_Network_get_neighbor(net.get(), 2, out), net.get());
  EXPECT_EQ(ints(out), (std::vector<int>{0, 1, 5, 3, 4}));
  VLK_IntArray_delete(out);

  VLK_IntArray* all = VLK_Network_get_all_children(net.get());
  for (int i = 0; i < 6; ++i) {
    VLK_IntArray* c = VLK_Network_get_child_indexes(net.get(), i);
    EXPECT_EQ(ints(&all[i]), ints(c)) << i;
    VLK_IntArray_delete(c);
  }
  VLK_IntArray_delete_ar(all, 6);
  NetworkPtr empty(VLK_Network_new());
  VLK_IntArray_delete_ar(VLK_Network_get_all_children(empty.get()), 0);
}

// ---- properties ------------------------------------------------------------------------------

TEST(NetworkProps, PrimaryScoreAndNetworkProperties) {
  NetworkPtr net(VLK_Network_new());
  EXPECT_EQ(VLK_Network_get_primary_score(net.get()), nullptr);
  VLK_Network_set_primary_score(net.get(), "Freq");
  VLK_Network_set_primary_score(net.get(), "edgeScore");
  EXPECT_STREQ(VLK_Network_get_primary_score(net.get()), "edgeScore");

  EXPECT_EQ(VLK_Network_get_property_int(net.get(), "n", -1), -1);
  EXPECT_EQ(VLK_Network_get_property_double(net.get(), "x", -1.0), -1.0);
  EXPECT_EQ(VLK_Network_add_property_int(net.get(), "n", 3), net.get());
  auto* x = static_cast<double*>(std::malloc(sizeof(double)));
  *x = 0.5;
  VLK_Network_add_property(net.get(), "x", VLK_TYPE_DOUBLE, x);
  VLK_Network_add_property(net.get(), "n", VLK_TYPE_INT, nullptr);  // keys may repeat
  EXPECT_EQ(VLK_Network_get_property_int(net.get(), "n", -1), 3);
  EXPECT_EQ(VLK_Network_get_property_double(net.get(), "x", -1.0), 0.5);
  EXPECT_EQ(VLK_Network_get_property_double(net.get(), "n", -1.0), -1.0);  // not a double

  VLK_KeyValues* kv = VLK_KeyValues_new();
  VLK_KeyValues_put_int(kv, "n", 7);
  VLK_KeyValues_put_int(kv, "m", 8);
  EXPECT_EQ(VLK_Network_add_properties_KeyValues(net.get(), kv), net.get());
  VLK_KeyValues_delete(kv);
  EXPECT_EQ(VLK_Network_get_property_int(net.get(), "n", -1), 7);  // an existing key is set
  EXPECT_EQ(VLK_Network_get_property_int(net.get(), "m", -1), 8);
}

TEST(NetworkProps, EdgeProperties) {
  NetworkPtr net = make({"a", "b"}, {{0, 1}, {1, 0}});
  VLK_Edge_add_property_double(VLK_Network_get_edge(net.get(), 0), "Freq", 0.75);
  VLK_Edge_add_property_int(VLK_Network_get_edge(net.get(), 1), "Freq", 2);
  EXPECT_EQ(VLK_Network_get_edge_property_double(net.get(), 0, 1, "Freq"), 0.75);
  EXPECT_EQ(VLK_Network_get_edge_property_double(net.get(), 1, 0, "Freq"), 0.0);  // an int
  EXPECT_EQ(VLK_Network_get_edge_property_double(net.get(), 0, 1, "none"), 0.0);
  EXPECT_EQ(VLK_Network_get_edge_property_double(net.get(), 0, 0, "Freq"), -DBL_MAX);
  EXPECT_EQ(VLK_Network_get_edge_property_double(net.get(), 0, 0, "Freq"), -1.7976931348623157e308);
  EXPECT_EQ(VLK_Network_clear_all_edge_properties(net.get()), net.get());
  EXPECT_EQ(VLK_Edge_get_property_size(VLK_Network_get_edge(net.get(), 0)), 0u);
  EXPECT_EQ(VLK_Edge_get_property_size(VLK_Network_get_edge(net.get(), 1)), 0u);
}

// ---- comparison, union, clone ----------------------------------------------------------------

TEST(NetworkWhole, CompareStructure) {
  NetworkPtr a = make({"a", "b", "c"}, {{0, 2}, {1, 2}});
  NetworkPtr b = make({"x", "y", "z"}, {{1, 2}, {0, 2}});  // names play no part
  EXPECT_EQ(VLK_Network_compare_structure(a.get(), b.get()), 1);
  NetworkPtr c = make({"a", "b", "c"}, {{0, 2}, {1, 0}});
  EXPECT_EQ(VLK_Network_compare_structure(a.get(), c.get()), 0);
  NetworkPtr d = make({"a", "b", "c", "d"}, {{0, 2}, {1, 2}});
  EXPECT_EQ(VLK_Network_compare_structure(a.get(), d.get()), 0);
  NetworkPtr e = make({"a", "b", "c"}, {{0, 2}});
  EXPECT_EQ(VLK_Network_compare_structure(a.get(), e.get()), 0);
}

TEST(NetworkWhole, MergeUnionByName) {
  NetworkPtr a = make({"g1", "g2"}, {{0, 1}});
  NetworkPtr b = make({"g3", "g1", "g2"}, {{1, 2}, {0, 1}, {2, 0}});
  VLK_Node_set_position(node(b.get(), 0), 4, 5);
  VLK_Node_set_size(node(b.get(), 0), 12);
  VLK_Node_set_color(node(b.get(), 0), 1, 2, 3, 4);  // not carried over
  VLK_Edge_add_property_int(VLK_Network_get_edge(a.get(), 0), "Count", 1);
  VLK_Network* nets[] = {a.get(), b.get()};
  vlk_test::CaptureErr err;
  NetworkPtr u(VLK_Network_merge_union(nets, 2));
  EXPECT_EQ(err.text(), "VLK_Network:  added 2 nodes.\nVLK_Network:  added 1 nodes.\n");
  ASSERT_TRUE(invariants(u.get()));
  EXPECT_EQ(names_of(u.get()), (std::vector<std::string>{"g1", "g2", "g3"}));
  EXPECT_EQ(pairs_of(u.get()), (std::vector<std::pair<int, int>>{{0, 1}, {2, 0}, {1, 2}}));
  const VLK_Node* g3 = node(u.get(), 2);
  EXPECT_EQ(VLK_Node_get_position_x(g3), 4.0);
  EXPECT_EQ(VLK_Node_get_size(g3), 12.0);
  EXPECT_EQ(g3->drawing->height, 12.0);
  EXPECT_EQ(g3->drawing->fill_color, nullptr);
  EXPECT_EQ(VLK_Edge_get_property_size(VLK_Network_get_edge(u.get(), 0)), 0u);
}

TEST(NetworkWhole, CloneIsIndependentAndRelinksByPosition) {
  // Two nodes named "g": each keeps its own edges in the clone.
  NetworkPtr net = make({"g", "g", "x", "y"}, {{0, 2}, {1, 3}, {1, 1}});
  VLK_Network_set_primary_score(net.get(), "edgeScore");
  VLK_Network_add_property_int(net.get(), "n", 1);
  VLK_Edge_add_property_double(VLK_Network_get_edge(net.get(), 1), "Freq", 0.5);
  VLK_Node_set_position(node(net.get(), 1), 7, 8);
  CSMLObject* text = CSMLObject_new();
  CSMLObject_add_property_string(text, "text", "hello");
  VLK_Network_add_CSMLObject(net.get(), text);

  NetworkPtr c(VLK_Network_clone(net.get()));
  ASSERT_TRUE(invariants(c.get()));
  EXPECT_EQ(pairs_of(c.get()), pairs_of(net.get()));
  EXPECT_EQ(names_of(c.get()), names_of(net.get()));
  EXPECT_EQ(VLK_Network_get_primary_score(c.get()), nullptr);
  EXPECT_EQ(c->properties, nullptr);
  EXPECT_EQ(VLK_Node_get_position_x(node(c.get(), 1)), 7.0);
  ASSERT_EQ(VLK_Network_num_CSMLObjects(c.get()), 1u);
  EXPECT_NE(VLK_Network_get_CSMLObject(c.get(), 0), text);
  for (size_t k = 0; k < 3; ++k) {
    EXPECT_NE(edge(c.get(), k), edge(net.get(), k));
    EXPECT_EQ(edge(c.get(), k)->parent, node(c.get(), edge(net.get(), k)->parent->index));
  }
  VLK_Edge* freq = VLK_Network_get_edge_index(c.get(), 1, 3);
  net.reset();  // nothing of the clone belongs to the source
  EXPECT_EQ(VLK_Edge_get_property_double(freq, "Freq", 0), 0.5);
  EXPECT_EQ(CSMLObject_get_property(VLK_Network_get_CSMLObject(c.get(), 0), "text")->type,
            VLK_TYPE_STRING);
  NetworkPtr bare(VLK_Network_new());
  NetworkPtr bare_clone(VLK_Network_clone(bare.get()));
  EXPECT_EQ(bare_clone->csml_objects, nullptr);
}

// ---- extra objects and the unified index ----------------------------------------------------

TEST(NetworkDrawing, ExtraObjectsAndUnifiedIndex) {
  NetworkPtr net = make({"a", "b"}, {{0, 1}});
  EXPECT_EQ(VLK_Network_num_CSMLObjects(net.get()), 0u);
  EXPECT_EQ(VLK_Network_get_CSMLObject(net.get(), 0), nullptr);
  EXPECT_EQ(VLK_Network_total_CSMLObjects(net.get()), 3u);
  EXPECT_EQ(VLK_Network_get_total_CSMLObject(net.get(), 1), node(net.get(), 1)->drawing);
  EXPECT_EQ(VLK_Network_get_total_CSMLObject(net.get(), 2), edge(net.get(), 0)->drawing);
  EXPECT_EQ(VLK_Network_get_total_CSMLObject(net.get(), 3), nullptr);
  EXPECT_EQ(VLK_Network_get_total_CSMLObject(net.get(), -1), nullptr);
  CSMLObject* o1 = CSMLObject_new();
  CSMLObject* o2 = CSMLObject_new();
  EXPECT_EQ(VLK_Network_add_CSMLObject(net.get(), o1), net.get());
  VLK_Network_add_CSMLObject(net.get(), o2);
  EXPECT_EQ(VLK_Network_total_CSMLObjects(net.get()), 5u);
  EXPECT_EQ(VLK_Network_get_total_CSMLObject(net.get(), 4), o2);
  EXPECT_EQ(VLK_Network_get_total_CSMLObject(net.get(), 5), nullptr);
  EXPECT_EQ(VLK_Network_get_CSMLObject(net.get(), 0), o1);
  VLK_Network_clear_CSMLObject(net.get());
  EXPECT_EQ(VLK_Network_num_CSMLObjects(net.get()), 0u);
  EXPECT_NE(net->csml_objects, nullptr);  // the array is kept
}

// ---- renaming from tables -------------------------------------------------------------------

TEST(NetworkRename, NamesFromTableSkippingShortLines) {
  NetworkPtr net = make({"a", "b", "c", "d"});
  MatrixPtr t = table({{"b"}, {"a", "A1"}, {"a", "A2"}, {"b", "B"}, {"c", ""}, {}});
  EXPECT_EQ(VLK_Network_replace_node_names(net.get(), t.get()), net.get());
  EXPECT_EQ(names_of(net.get()), (std::vector<std::string>{"A1", "B", "", "d"}));
  EXPECT_EQ(VLK_Network_find_node_index(net.get(), "B"), 1);
  EXPECT_EQ(VLK_Network_find_node_index(net.get(), "b"), -1);
  EXPECT_TRUE(invariants(net.get()));
}

TEST(NetworkRename, AliasesFromColumns) {
  NetworkPtr net = make({"a", "b", "c"});
  MatrixPtr t = table({{"x", "a"}, {"B", "x", "b"}, {"C", "", "c"}, {"A", "", "a", "more"}});
  // Key column 2, new column 0: line 0 is too short and skipped; "c" maps to "C".
  VLK_Network_replace_node_aliases_cols(net.get(), t.get(), 2, 0);
  EXPECT_STREQ(VLK_Network_node_alias(net.get(), 0), "A");
  EXPECT_STREQ(VLK_Network_node_alias(net.get(), 1), "B");
  EXPECT_STREQ(VLK_Network_node_alias(net.get(), 2), "C");
  // Columns 0 and 1: an empty new field keeps the alias, and decides (no later line looked at).
  MatrixPtr u = table({{"A", "a2"}, {"B", ""}, {"B", "b3"}});
  EXPECT_EQ(VLK_Network_replace_node_aliases(net.get(), u.get()), net.get());
  EXPECT_STREQ(VLK_Network_node_alias(net.get(), 0), "a2");
  EXPECT_STREQ(VLK_Network_node_alias(net.get(), 1), "B");
  VLK_Network_replace_node_aliases_cols(net.get(), u.get(), -1, 0);  // no such column
  EXPECT_STREQ(VLK_Network_node_alias(net.get(), 0), "a2");
  EXPECT_EQ(names_of(net.get()), (std::vector<std::string>{"a", "b", "c"}));
}

TEST(NetworkCheck, ValidityDumpsEveryNode) {
  NetworkPtr net = make({"a", "b"});
  VLK_Node_add_property_int(node(net.get(), 1), "Count", 2);
  vlk_test::CaptureErr err;
  EXPECT_EQ(VLK_Network_check_validity(net.get()), net.get());
  EXPECT_EQ(err.text(),
            "CSMLObject_check_validity(): NULL\n[0] key=Count\n[0] type=1\n"
            "CSMLObject_check_validity(): Validated\nVLK_Network_check_validity(): Validated.\n");
}
