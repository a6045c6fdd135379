// Conversions between networks, index graphs and data sets: which nodes, which pairs and in
// which order each one keeps, and the name matching against a data set with its warnings.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "VLK_Network_convert.h"
#include "graph_testing.h"
#include "velkcom.h"
#include "vlk_owned.h"
#include "vlk_test.h"

namespace {

using vlk::NetworkPtr;
using vlk_test::Pairs;
using vlk_test::pcgraph_edges;
using Names = std::vector<std::string>;
using GraphPtr = vlk::Owned<VLK_Graph, VLK_Graph_delete>;
using PCGraphPtr = vlk::Owned<VLK_PCGraph, VLK_PCGraph_delete>;
using DataPtr = vlk::Owned<VLK_Data, VLK_Data_delete>;

// Nodes named as given (alias: the name upper-cased), edges added in the order given.
NetworkPtr network(const Names& names, const Pairs& edges) {
  NetworkPtr net(VLK_Network_new());
  for (const std::string& name : names) {
    std::string alias = name;
    for (char& c : alias) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    VLK_Network_add_node(net.get(), VLK_Node_new(name.c_str(), alias.c_str()));
  }
  for (const auto& [p, c] : edges) VLK_Network_add_edge_index(net.get(), p, c);
  return net;
}

DataPtr data_named(const Names& names) {
  DataPtr d(VLK_Data_new());
  d->p = static_cast<int>(names.size());
  for (const std::string& name : names) {
    VLK_StrArray_add_copy(d->names, name.c_str());
    VLK_StrArray_add_copy(d->aliases, ("alias_" + name).c_str());
  }
  return d;
}

Names node_names(const VLK_Network* net) {
  Names out;
  for (size_t i = 0; i < VLK_Network_num_nodes(net); ++i)
    out.emplace_back(VLK_Network_node_name(net, static_cast<int>(i)));
  return out;
}

Pairs network_edges(const VLK_Network* net) {
  Pairs out;
  for (size_t k = 0; k < VLK_Network_num_edges(net); ++k) {
    const VLK_Edge* e = VLK_Network_get_edge(net, static_cast<int>(k));
    out.emplace_back(e->parent->index, e->child->index);
  }
  return out;
}

// Every (parent, child) of a parent-list graph, by child, in list order.
Pairs graph_pairs(const VLK_Graph* g) {
  Pairs out;
  for (size_t c = 0; c < g->n; ++c) {
    const VLK_IntArray* l = VLK_Graph_parents(g, static_cast<int>(c));
    for (size_t k = 0; k < l->size; ++k) out.emplace_back(l->data[k], static_cast<int>(c));
  }
  return out;
}

Pairs adj_pairs(const VLK_AdjGraph* g) {
  Pairs out;
  for (int c = 0; c < static_cast<int>(g->n); ++c)
    for (int p = 0; p < static_cast<int>(g->n); ++p)
      if (VLK_AdjGraph_check_edge(g, p, c)) out.emplace_back(p, c);
  return out;
}

TEST(Convert, NetworkToIndexGraphsKeepsTheOrders) {
  // Edges added 1 -> 2, 2 -> 0, 1 -> 0, 5 -> 3, 1 -> 3: node 0 lists [2, 1], node 3 [5, 1].
  const NetworkPtr net =
      network({"a", "b", "c", "d", "e", "f"}, {{1, 2}, {2, 0}, {1, 0}, {5, 3}, {1, 3}});
  const GraphPtr g(VLK_Network_graph(net.get()));
  EXPECT_EQ(g->n, 6u);
  EXPECT_EQ(graph_pairs(g.get()), (Pairs{{2, 0}, {1, 0}, {1, 2}, {5, 3}, {1, 3}}));
  const PCGraphPtr by_child(VLK_Network_pcgraph(net.get()));
  EXPECT_EQ(pcgraph_edges(by_child.get()), (Pairs{{2, 0}, {1, 0}, {1, 2}, {5, 3}, {1, 3}}));
  const PCGraphPtr by_edge(VLK_Network_pcgraph_ord(net.get()));
  EXPECT_EQ(pcgraph_edges(by_edge.get()), (Pairs{{1, 2}, {2, 0}, {1, 0}, {5, 3}, {1, 3}}));
  EXPECT_EQ(VLK_PCGraph_num_nodes(by_edge.get()), 6u);
}

// Nodes are matched by name (the first data node of that name); a name the data set lacks is
// reported, by the AdjGraph form only from warning level 1, and its edges are dropped.
TEST(Convert, DataSetFormsMatchByName) {
  const NetworkPtr net = network({"a", "x", "b", "c"}, {{0, 3}, {1, 3}, {2, 0}, {1, 2}, {3, 2}});
  const DataPtr data = data_named({"c", "b", "q", "a", "b"});  // a = 3, b = 1, c = 0
  // b -> a, c -> b and a -> c in data ids, by child; the pairs at x are gone.
  const Pairs mapped = {{3, 0}, {0, 1}, {1, 3}};
  struct Case {
    int level;
    std::string adj_err, graph_err;
  };
  for (const Case& k : {Case{0, "", "WARNING: not found: x\n"},
                        Case{1, "WARNING: not found: x\n", "WARNING: not found: x\n"}}) {
    SCOPED_TRACE(k.level);
    const int saved = VLK_get_warning_level();
    VLK_set_warning_level(k.level);
    std::string adj_err, graph_err;
    vlk::Owned<VLK_AdjGraph, VLK_AdjGraph_delete> adj;
    GraphPtr g;
    {
      vlk_test::CaptureErr err;
      adj.reset(VLK_Network_AdjGraph_dataset(net.get(), data.get()));
      adj_err = err.text();
    }
    {
      vlk_test::CaptureErr err;
      g.reset(VLK_Network_graph_dataset(net.get(), data.get()));
      graph_err = err.text();
    }
    VLK_set_warning_level(saved);
    EXPECT_EQ(adj_err, k.adj_err);
    EXPECT_EQ(graph_err, k.graph_err);
    EXPECT_EQ(adj->n, 5u);
    EXPECT_EQ(g->n, 5u);
    EXPECT_EQ(adj_pairs(adj.get()), mapped);
    EXPECT_EQ(graph_pairs(g.get()), mapped);
  }
}

TEST(Convert, GraphsToNetworks) {
  // Parent-child graph: nodes named after the data set, or g_1, g_2, ... without one; edges in
  // edge-index order.
  PCGraphPtr pc(VLK_PCGraph_new(3));
  VLK_PCGraph_add_edge(pc.get(), 2, 0);
  VLK_PCGraph_add_edge(pc.get(), 0, 1);
  VLK_PCGraph_add_edge(pc.get(), 1, 2);
  VLK_PCGraph_remove_edge_id(pc.get(), 4);  // 0 -> 1: a hole between the other two
  const NetworkPtr plain(VLK_Network_from_pcgraph(pc.get(), nullptr));
  EXPECT_EQ(node_names(plain.get()), (Names{"g_1", "g_2", "g_3"}));
  EXPECT_STREQ(VLK_Network_node_alias(plain.get(), 1), "g_2");
  EXPECT_EQ(network_edges(plain.get()), (Pairs{{2, 0}, {1, 2}}));
  const DataPtr data = data_named({"u", "v", "w"});
  const NetworkPtr named(VLK_Network_from_pcgraph(pc.get(), data.get()));
  EXPECT_EQ(node_names(named.get()), (Names{"u", "v", "w"}));
  EXPECT_STREQ(VLK_Network_node_alias(named.get(), 2), "alias_w");

  // Parent-list graph with a data set: every data node, edges by child with parents ascending,
  // which the graph's own lists become.
  GraphPtr g(VLK_Graph_new(3));
  VLK_Graph_add_edge(g.get(), 2, 0);
  VLK_Graph_add_edge(g.get(), 1, 0);
  VLK_Graph_add_edge(g.get(), 0, 2);
  const NetworkPtr from_graph(VLK_Network_from_graph(g.get(), data.get()));
  EXPECT_EQ(node_names(from_graph.get()), (Names{"u", "v", "w"}));
  EXPECT_EQ(network_edges(from_graph.get()), (Pairs{{1, 0}, {2, 0}, {0, 2}}));
  EXPECT_EQ(graph_pairs(g.get()), (Pairs{{1, 0}, {2, 0}, {0, 2}}));

  // Against a template: only nodes on an edge, in order of first use, names reused.
  const NetworkPtr tmpl = network({"a", "b", "c", "d", "c"}, {});
  GraphPtr h(VLK_Graph_new(5));
  VLK_Graph_add_edge(h.get(), 2, 0);  // c -> a
  const NetworkPtr one(VLK_Network_from_graph_network(h.get(), tmpl.get()));
  EXPECT_EQ(node_names(one.get()), (Names{"c", "a"}));
  EXPECT_STREQ(VLK_Network_node_alias(one.get(), 0), "C");
  EXPECT_EQ(network_edges(one.get()), (Pairs{{0, 1}}));
  VLK_Graph_add_edge(h.get(), 3, 0);  // d -> a
  VLK_Graph_add_edge(h.get(), 0, 4);  // a -> the second c: the node named c already there
  VLK_Graph_add_edge(h.get(), 3, 1);  // d -> b
  const NetworkPtr more(VLK_Network_from_graph_network(h.get(), tmpl.get()));
  EXPECT_EQ(node_names(more.get()), (Names{"c", "a", "d", "b"}));
  EXPECT_EQ(network_edges(more.get()), (Pairs{{0, 1}, {2, 1}, {2, 3}, {1, 0}}));
}

}  // namespace
