// Network analysis: centralities, components, paths and subnetworks against values computed
// with an independent graph library (tests/tools/network_analysis_golden.py) on 50 random
// digraphs, then the cases the random graphs do not pin: ranks with fractional ties, path
// counts beyond 64 bits, the filter's operators, discovery orders and the refusals.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "CSMLObject.h"
#include "VLK_Network.h"
#include "VLK_Network_analysis.h"
#include "VLK_Type.h"
#include "vlk_owned.h"
#include "vlk_test.h"

namespace {

using vlk::NetworkPtr;
using Ints = std::vector<int>;
using Pairs = std::vector<std::pair<int, int>>;
using Paths = std::vector<Ints>;

struct PathCase {
  int target, start, maxlen;
  Paths paths;  // node lists (directed), or flat (parent, child) pairs (directions ignored)
};

// A subnetwork: the listed source nodes, the distance, and the source nodes and edges kept.
struct Subnet {
  Ints list;
  int dist;
  Ints nodes;
  Pairs edges;
};

struct Golden {
  int n;
  Pairs edges;  // in insertion order
  std::vector<double> betweenness, closeness;
  std::vector<Ints> components;  // each sorted, in the order of their lowest node
  std::vector<PathCase> paths;   // mode 0, at most maxlen edges
  PathCase udpaths;              // mode 0, directions ignored
  Subnet induced, within_dist, collect;
};

const Golden kGolden[] = {
#include "analysis_golden.inc"
};

// Nodes "n<i>"; every edge carries the double "w" = 100 parent + child, so copies can be told.
NetworkPtr network(int n, const Pairs& edges) {
  NetworkPtr net(VLK_Network_new());
  for (int i = 0; i < n; ++i) {
    const std::string name = "n" + std::to_string(i);
    VLK_Network_add_node(net.get(), VLK_Node_new(name.c_str(), name.c_str()));
  }
  for (const auto& [pa, ch] : edges)
    VLK_Edge_add_property_double(VLK_Network_add_edge_index(net.get(), pa, ch), "w", 100 * pa + ch);
  return net;
}

Ints ints(const VLK_IntArray* a) { return {a->data, a->data + a->size}; }

Paths lists(VLK_Array* a) {
  const vlk::IntArraysPtr owned(a);
  Paths out;
  for (size_t i = 0; i < a->size; ++i) out.push_back(ints(static_cast<VLK_IntArray*>(a->data[i])));
  return out;
}

Paths sorted(Paths p) {
  std::sort(p.begin(), p.end());
  return p;
}

// Flat pairs of several paths from target back to start, one path each: only a path's first
// pair holds target.
Paths split_paths(const Ints& flat, int target) {
  Paths out;
  for (size_t k = 0; k + 1 < flat.size(); k += 2) {
    if (flat[k] == target || flat[k + 1] == target || out.empty()) out.emplace_back();
    out.back().push_back(flat[k]);
    out.back().push_back(flat[k + 1]);
  }
  return out;
}

Paths longest(const Paths& p, size_t entries) {
  Paths out;
  std::copy_if(p.begin(), p.end(), std::back_inserter(out),
               [&](const Ints& x) { return x.size() == entries; });
  return out;
}

Paths at_most(const Paths& p, size_t entries) {
  Paths out;
  std::copy_if(p.begin(), p.end(), std::back_inserter(out),
               [&](const Ints& x) { return x.size() <= entries; });
  return out;
}

// A subnetwork in source terms: its nodes (by name) in its order, and its edges sorted.
struct Seen {
  Ints nodes;
  Pairs edges;
  std::vector<double> weights;  // "w" of each edge in sorted order, NaN when absent
};

int source_index(const VLK_Node* node) { return std::atoi(node->name + 1); }

Seen seen(const VLK_Network* sub) {
  Seen s;
  for (size_t i = 0; i < VLK_Network_num_nodes(sub); ++i)
    s.nodes.push_back(source_index(VLK_Network_get_node(sub, static_cast<int>(i))));
  std::vector<std::pair<std::pair<int, int>, double>> edges;
  for (size_t k = 0; k < VLK_Network_num_edges(sub); ++k) {
    const VLK_Edge* e = VLK_Network_get_edge(sub, static_cast<int>(k));
    const double w = VLK_Edge_get_property_double(e, "w", std::nan(""));
    edges.push_back({{source_index(e->parent), source_index(e->child)}, w});
  }
  std::sort(edges.begin(), edges.end(),
            [](const auto& a, const auto& b) { return a.first < b.first; });
  for (const auto& [pair, w] : edges) {
    s.edges.push_back(pair);
    s.weights.push_back(w);
  }
  return s;
}

Ints sorted(Ints v) {
  std::sort(v.begin(), v.end());
  return v;
}

VLK_IntArray* int_array(const Ints& v) {
  VLK_IntArray* a = VLK_IntArray_new();
  for (int x : v) VLK_IntArray_add(a, x);
  return a;
}
using IntArrayPtr = vlk::Owned<VLK_IntArray, VLK_IntArray_delete>;

// weighted: the edges are copies of the source's (else new ones); listed_first: the listed
// nodes come first, in list order.
void expect_subnet(const Seen& s, const Subnet& g, bool weighted, bool listed_first) {
  if (listed_first) {
    ASSERT_GE(s.nodes.size(), g.list.size());
    EXPECT_EQ(Ints(s.nodes.begin(), s.nodes.begin() + static_cast<long>(g.list.size())), g.list);
  }
  EXPECT_EQ(sorted(s.nodes), g.nodes);
  EXPECT_EQ(s.edges, g.edges);
  for (size_t k = 0; k < s.edges.size(); ++k) {
    const auto [pa, ch] = s.edges[k];
    if (weighted)
      EXPECT_EQ(s.weights[k], 100 * pa + ch) << pa << "->" << ch;
    else
      EXPECT_TRUE(std::isnan(s.weights[k])) << pa << "->" << ch << " is a new edge";
  }
}

TEST(NetworkAnalysis, AgreesWithAnIndependentLibraryOnRandomDigraphs) {
  for (size_t gi = 0; gi < std::size(kGolden); ++gi) {
    const Golden& g = kGolden[gi];
    SCOPED_TRACE("graph " + std::to_string(gi) + ", " + std::to_string(g.n) + " nodes");
    const NetworkPtr net = network(g.n, g.edges);
    const auto n = static_cast<size_t>(g.n);

    std::vector<double> b(n, -1.0), scanned(n, -1.0), c(n, -1.0);
    VLK_Network_calc_betweenness(net.get(), b.data());
    VLK_Network_calc_closeness(net.get(), c.data());
    for (size_t i = 0; i < n; ++i) {
      EXPECT_NEAR(b[i], g.betweenness[i], 1e-9 * (1 + g.betweenness[i])) << "node " << i;
      EXPECT_NEAR(c[i], g.closeness[i], 1e-12) << "node " << i;
    }
    // Child lists made once give the very numbers of a scan of all parent lists per node.
    vlk::betweenness(net.get(), scanned.data(), vlk::ChildSearch::scan);
    EXPECT_EQ(scanned, b);

    Paths comps = lists(VLK_Network_connected_components(net.get()));
    for (Ints& comp : comps) comp = sorted(comp);
    EXPECT_EQ(comps, g.components);

    for (const PathCase& p : g.paths) {
      SCOPED_TRACE("paths " + std::to_string(p.start) + " up to " + std::to_string(p.target));
      for (int len = 0; len <= p.maxlen; ++len) {
        const auto entries = static_cast<size_t>(len) + 1;
        EXPECT_EQ(
            sorted(lists(VLK_Network_collect_paths_index(net.get(), p.target, p.start, len, 0))),
            at_most(p.paths, entries))
            << "at most " << len << " edges";
        EXPECT_EQ(
            sorted(lists(VLK_Network_collect_paths_index(net.get(), p.target, p.start, len, 1))),
            longest(p.paths, entries))
            << "exactly " << len << " edges";
      }
      // Along parent links only, the pair form of the same paths.
      Paths as_pairs;
      for (const Ints& path : p.paths) {
        if (path.size() < 2) continue;
        as_pairs.emplace_back();
        for (size_t k = 0; k + 1 < path.size(); ++k) {
          as_pairs.back().push_back(path[k]);
          as_pairs.back().push_back(path[k + 1]);
        }
      }
      const IntArrayPtr directed(
          VLK_Network_collect_udpaths_index(net.get(), nullptr, p.target, p.start, p.maxlen, 0, 1));
      EXPECT_EQ(sorted(split_paths(ints(directed.get()), p.target)), as_pairs);
    }

    const PathCase& u = g.udpaths;
    VLK_IntArray* children = VLK_Network_get_all_children(net.get());
    const IntArrayPtr any(
        VLK_Network_collect_udpaths_index(net.get(), children, u.target, u.start, u.maxlen, 0, 0));
    const IntArrayPtr exact(
        VLK_Network_collect_udpaths_index(net.get(), children, u.target, u.start, u.maxlen, 1, 0));
    VLK_IntArray_delete_ar(children, n);
    EXPECT_EQ(sorted(split_paths(ints(any.get()), u.target)), u.paths) << "directions ignored";
    EXPECT_EQ(sorted(split_paths(ints(exact.get()), u.target)),
              longest(u.paths, 2 * static_cast<size_t>(u.maxlen)));

    const IntArrayPtr induced(int_array(g.induced.list));
    const NetworkPtr sub(VLK_Network_subnetwork_index(net.get(), induced.get()));
    expect_subnet(seen(sub.get()), g.induced, true, true);

    const IntArrayPtr near(int_array(g.within_dist.list));
    const NetworkPtr paths(
        VLK_Network_subnetwork_index_dist(net.get(), near.get(), g.within_dist.dist));
    expect_subnet(seen(paths.get()), g.within_dist, false, true);

    const IntArrayPtr seeds(int_array(g.collect.list));
    const NetworkPtr around(
        VLK_Network_subnetwork_index_collect(net.get(), seeds.get(), g.collect.dist));
    expect_subnet(seen(around.get()), g.collect, true, false);

    EXPECT_EQ(VLK_Network_num_edges(net.get()), g.edges.size()) << "the source is unchanged";
  }
}

TEST(NetworkAnalysis, BetweennessAndClosenessOfSmallShapes) {
  struct Case {
    const char* what;
    int n;
    Pairs edges;
    std::vector<double> betweenness, closeness;
  };
  const Case cases[] = {
      {"chain a -> b -> c", 3, {{0, 1}, {1, 2}}, {0, 1, 0}, {0.5, 1.0 / 3, 0}},
      {"chain with the shortcut a -> c",
       3,
       {{0, 1}, {1, 2}, {0, 2}},
       {0, 0, 0},
       {2.0 / 3, 1.0 / 3, 0}},
      {"diamond", 4, {{0, 1}, {0, 2}, {1, 3}, {2, 3}}, {0, 0.5, 0.5, 0}, {0.625, 0.25, 0.25, 0}},
      {"a self loop counts for nothing", 2, {{0, 0}, {0, 1}}, {0, 0}, {0.5, 0}},
      {"no edges", 2, {}, {0, 0}, {0, 0}},
      {"no nodes", 0, {}, {}, {}},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.what);
    const NetworkPtr net = network(k.n, k.edges);
    std::vector<double> b(static_cast<size_t>(k.n), -1.0), c(b);
    VLK_Network_calc_betweenness(net.get(), b.data());
    VLK_Network_calc_closeness(net.get(), c.data());
    EXPECT_EQ(b, k.betweenness);
    for (size_t i = 0; i < c.size(); ++i) EXPECT_DOUBLE_EQ(c[i], k.closeness[i]) << i;
  }
}

// x0 -> {a1, b1} -> x1 -> {a2, b2} -> x2 ... -> xk: 2^k shortest paths from x0 to xk, past
// what 32 or 64 bits hold (k = 70) and past the largest double (k = 1100).
TEST(NetworkAnalysis, BetweennessCountsPathsBeyondAnyFixedWidth) {
  for (const int k : {70, 1100}) {
    SCOPED_TRACE(std::to_string(k) + " diamonds");
    Pairs edges;
    auto x = [](int i) { return 3 * i; };
    for (int i = 1; i <= k; ++i) {
      const int a = x(i - 1) + 1, b = x(i - 1) + 2;
      edges.insert(edges.end(), {{x(i - 1), a}, {x(i - 1), b}, {a, x(i)}, {b, x(i)}});
    }
    const NetworkPtr net = network(x(k) + 1, edges);
    std::vector<double> out(static_cast<size_t>(x(k) + 1));
    VLK_Network_calc_betweenness(net.get(), out.data());
    // x_i lies on every path from the 3i nodes before it to the 3(k - i) after it; a_i on
    // half the paths from the 3i - 2 nodes up to x_(i-1) to the 3(k - i) + 1 from x_i on.
    for (int i = 1; i < k; ++i) ASSERT_EQ(out[x(i)], 9.0 * i * (k - i)) << "x" << i;
    for (int i = 1; i <= k; ++i) {
      const double half = (3.0 * i - 2) * (3.0 * (k - i) + 1) / 2;
      ASSERT_EQ(out[x(i - 1) + 1], half) << "a" << i;
      ASSERT_EQ(out[x(i - 1) + 2], half) << "b" << i;
    }
  }
}

std::vector<int> int_property(const VLK_Network* net, const char* key) {
  std::vector<int> out;
  for (size_t i = 0; i < VLK_Network_num_nodes(net); ++i)
    out.push_back(CSMLObject_get_property_int(
        VLK_Network_get_node(net, static_cast<int>(i))->drawing, key, -99));
  return out;
}

TEST(NetworkAnalysis, BetweennessRanksShareEqualValuesOnly) {
  struct Case {
    const char* what;
    int n;
    Pairs edges;
    std::vector<int> ranks;
  };
  const Case cases[] = {
      // values 0, 0.5, 0.5, 0
      {"diamond", 4, {{0, 1}, {0, 2}, {1, 3}, {2, 3}}, {3, 1, 1, 3}},
      // values 0, 3, 1, 0, 3, 0
      {"integer ties",
       6,
       {{1, 3}, {2, 4}, {3, 1}, {4, 0}, {4, 1}, {4, 2}, {5, 0}, {5, 1}, {5, 2}},
       {4, 1, 3, 4, 1, 4}},
      // values 0, 13/6, 11/6, 0, 13/6, 11/6: less than 1 apart, yet different
      {"fractional ties",
       6,
       {{1, 4}, {1, 5}, {2, 4}, {3, 1}, {3, 2}, {4, 0}, {5, 0}, {5, 2}},
       {5, 1, 3, 5, 1, 3}},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.what);
    const NetworkPtr net = network(k.n, k.edges);
    VLK_Network_gen_prop_betweenness(net.get());
    VLK_Network_gen_prop_betweenness(net.get());  // a second run overwrites, adds nothing
    EXPECT_EQ(int_property(net.get(), "betweenness.rank"), k.ranks);
    std::vector<double> b(static_cast<size_t>(k.n));
    VLK_Network_calc_betweenness(net.get(), b.data());
    for (int i = 0; i < k.n; ++i) {
      const CSMLObject* d = VLK_Network_get_node(net.get(), i)->drawing;
      EXPECT_EQ(CSMLObject_num_properties(d), 2u);
      EXPECT_EQ(VLK_Object_double_value(CSMLObject_get_property(d, "betweenness"), -1), b[i]);
    }
  }
}

TEST(NetworkAnalysis, ValueRecordsSortExactlyWithoutValuesLast) {
  const double none = std::numeric_limits<double>::quiet_NaN();
  std::vector<VLK_Network_double_t> r = {{0, 0.5}, {1, none}, {2, 0.2}, {3, 0.5},
                                         {4, 3},   {5, 1},    {6, 3},   {7, 0}};
  std::qsort(r.data(), r.size(), sizeof r[0], VLK_Network_double_t_cmp);
  Ints order;
  for (const auto& x : r) order.push_back(x.index);
  EXPECT_EQ(order, (Ints{4, 6, 5, 0, 3, 2, 7, 1}));

  std::vector<VLK_Network_int_t> h = {{0, 1, 5}, {1, 3, 0}, {2, 1, 0}, {3, 3, 9}, {4, 0, 1}};
  std::qsort(h.data(), h.size(), sizeof h[0], VLK_Network_int_t_cmp);
  order.clear();
  for (const auto& x : h) order.push_back(x.index);
  EXPECT_EQ(order, (Ints{1, 3, 0, 2, 4}));
}

TEST(NetworkAnalysis, HubsByChildren) {
  // Numbers of children: 2, 3, 0, 2, 0.
  const NetworkPtr net = network(5, {{0, 1}, {1, 2}, {3, 0}, {1, 4}, {0, 4}, {1, 0}, {3, 4}});
  Ints hubs(5, -1);
  VLK_Network_get_hub_list(net.get(), hubs.data());
  EXPECT_EQ(hubs, (Ints{1, 0, 3, 2, 4}));
  EXPECT_EQ(VLK_Network_gen_prop_hubness(net.get()), net.get());
  EXPECT_EQ(int_property(net.get(), "hubness"), (Ints{2, 3, 0, 2, 0}));
  EXPECT_EQ(int_property(net.get(), "hubness.rank"), (Ints{2, 1, 4, 2, 4}));
}

TEST(NetworkAnalysis, ComponentsInDiscoveryOrder) {
  struct Case {
    const char* what;
    int n;
    Pairs edges;
    Paths components;
  };
  const Case cases[] = {
      {"two pairs and a loner", 5, {{3, 0}, {1, 4}}, {{0, 3}, {1, 4}, {2}}},
      // 0's parents in list order (5, then 2), then its children ascending (1, 4), then on
      // along the list: 5's child 3, 2's parent 6.
      {"parents, then children",
       7,
       {{5, 0}, {0, 4}, {2, 0}, {0, 1}, {5, 3}, {6, 2}},
       {{0, 5, 2, 1, 4, 3, 6}}},
      {"no nodes", 0, {}, {}},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.what);
    const NetworkPtr net = network(k.n, k.edges);
    EXPECT_EQ(lists(VLK_Network_connected_components(net.get())), k.components);
  }
}

TEST(NetworkAnalysis, FilterKeepsEdgesWhoseFirstTypedValueCompares) {
  // Edge i goes from node 0 to node i + 1.
  auto build = [] {
    NetworkPtr net = network(7, {});
    auto edge = [&](int i) { return VLK_Network_add_edge_index(net.get(), 0, i + 1); };
    VLK_Edge_add_property_double(edge(0), "Freq", 0.2);
    VLK_Edge_add_property_double(edge(1), "Freq", 0.5);
    VLK_Edge_add_property_double(edge(2), "Freq", 0.8);
    VLK_Edge_add_property_int(edge(3), "Freq", 1);  // not a double
    VLK_Edge_add_property_double(edge(4), "Count", 0.9);
    VLK_Edge* twice = edge(5);
    VLK_Edge_add_property_double(twice, "Freq", 0.1);  // the first one decides
    VLK_Edge_add_property_double(twice, "Freq", 0.9);
    return net;
  };
  struct Case {
    int op;
    Ints kept;  // children of the edges that stay
  };
  const Case cases[] = {
      {VLK_OP_EQ, {2}}, {VLK_OP_LT, {1, 6}}, {VLK_OP_LE, {1, 2, 6}},
      {VLK_OP_GT, {3}}, {VLK_OP_GE, {2, 3}},
  };
  const double half = 0.5;
  for (const Case& k : cases) {
    SCOPED_TRACE("operator " + std::to_string(k.op));
    const NetworkPtr net = build();
    EXPECT_EQ(VLK_Network_filter(net.get(), "Freq", VLK_TYPE_DOUBLE, k.op, &half), net.get());
    Ints kept;
    for (size_t e = 0; e < VLK_Network_num_edges(net.get()); ++e)
      kept.push_back(VLK_Network_get_edge(net.get(), static_cast<int>(e))->child->index);
    EXPECT_EQ(kept, k.kept);
    for (int c = 1; c < 7; ++c) {  // the parent lists follow the edges
      const bool in = std::count(k.kept.begin(), k.kept.end(), c) == 1;
      EXPECT_EQ(VLK_Network_num_parents(net.get(), c), in ? 1 : 0) << c;
      EXPECT_EQ(VLK_Network_check_edge_index(net.get(), 0, c), in ? 1 : 0) << c;
    }
    EXPECT_EQ(VLK_Network_num_children(net.get(), 0), static_cast<int>(k.kept.size()));
  }
}

TEST(NetworkAnalysis, PathsAlongParentLinks) {
  // t -> u -> s as nodes 0 -> 1 -> 2.
  const NetworkPtr net = network(3, {{0, 1}, {1, 2}});
  struct Case {
    int target, start, maxlen, mode;
    Paths paths;
  };
  const Case cases[] = {
      {0, 2, 2, 0, {{0, 1, 2}}}, {0, 2, 5, 0, {{0, 1, 2}}}, {0, 2, 1, 0, {}},
      {0, 2, 2, 1, {{0, 1, 2}}}, {0, 2, 3, 1, {}},          {2, 2, 2, 0, {{2}}},
      {2, 2, 2, 1, {}},          {2, 0, 2, 0, {}},          {0, -1, 2, 0, {}},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(std::to_string(k.start) + " up to " + std::to_string(k.target) + ", maxlen " +
                 std::to_string(k.maxlen) + ", mode " + std::to_string(k.mode));
    EXPECT_EQ(
        lists(VLK_Network_collect_paths_index(net.get(), k.target, k.start, k.maxlen, k.mode)),
        k.paths);
  }
}

TEST(NetworkAnalysis, UndirectedPathsWriteEachEdgeInItsOwnDirection) {
  // a -> b <- c, b -> d: from a to c climbs a child link, then a parent link.
  const NetworkPtr net = network(4, {{0, 1}, {2, 1}, {1, 3}});
  VLK_IntArray* children = VLK_Network_get_all_children(net.get());
  const IntArrayPtr up(VLK_Network_collect_udpaths_index(net.get(), children, 2, 0, 3, 0, 0));
  const IntArrayPtr directed(VLK_Network_collect_udpaths_index(net.get(), children, 2, 0, 3, 0, 1));
  const IntArrayPtr itself(VLK_Network_collect_udpaths_index(net.get(), children, 0, 0, 3, 0, 0));
  VLK_IntArray_delete_ar(children, 4);
  EXPECT_EQ(ints(up.get()), (Ints{2, 1, 0, 1}));
  EXPECT_EQ(ints(directed.get()), Ints{});
  EXPECT_EQ(ints(itself.get()), Ints{}) << "a path needs an edge";
}

TEST(NetworkAnalysis, SubnetworksOfChosenNodes) {
  const NetworkPtr net = network(3, {{0, 2}});
  VLK_Node_set_position(VLK_Network_get_node(net.get(), 0), 4, 5);
  const IntArrayPtr list(int_array({2, 0}));
  const NetworkPtr sub(VLK_Network_subnetwork_index(net.get(), list.get()));
  const Seen s = seen(sub.get());
  EXPECT_EQ(s.nodes, (Ints{2, 0}));
  EXPECT_EQ(s.edges, (Pairs{{0, 2}}));
  EXPECT_EQ(s.weights, (std::vector<double>{2}));
  const VLK_Edge* e = VLK_Network_get_edge(sub.get(), 0);
  EXPECT_EQ(e->parent, VLK_Network_get_node(sub.get(), 1));
  EXPECT_EQ(e->child, VLK_Network_get_node(sub.get(), 0));
  EXPECT_EQ(VLK_Network_get_node(sub.get(), 1)->drawing->x, 4) << "clones keep the drawing";
  EXPECT_NE(VLK_Network_get_node(sub.get(), 1), VLK_Network_get_node(net.get(), 0));

  // A self loop at an expanded node is kept; distance 0 keeps nothing.
  const NetworkPtr loop = network(3, {{1, 1}, {1, 2}, {2, 0}});
  const IntArrayPtr one(int_array({1}));
  const NetworkPtr around(VLK_Network_subnetwork_index_collect(loop.get(), one.get(), 1));
  EXPECT_EQ(seen(around.get()).nodes, (Ints{1, 2}));
  EXPECT_EQ(seen(around.get()).edges, (Pairs{{1, 1}, {1, 2}}));
  const NetworkPtr none(VLK_Network_subnetwork_index_collect(loop.get(), one.get(), 0));
  EXPECT_EQ(VLK_Network_num_nodes(none.get()), 0u);
  EXPECT_FATAL_EXIT(VLK_Network_subnetwork_index_collect(loop.get(), one.get(), -2),
                    "ERROR: VLK_Network_subnetwork_index_collect(): Invalid distance specified "
                    "(dist = -2)\n");
}

}  // namespace
