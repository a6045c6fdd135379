// What the tests of graphs and of their users share: the edges of a parent-child graph and of
// a parent-list graph as plain pairs, whether parent lists make a DAG, float arrays of edge
// weights made from a list, and small annotated networks.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "VLK_Graph.h"
#include "VLK_Network.h"
#include "VLK_Node.h"
#include "VLK_PCGraph.h"
#include "VLK_UShortArray.h"

namespace vlk_test {

using Pairs = std::vector<std::pair<int, int>>;

// (parent, child) of every edge of g in edge-index order.
inline Pairs pcgraph_edges(const VLK_PCGraph* g) {
  Pairs out;
  for (size_t k = 0; k < VLK_PCGraph_num_edges(g); ++k) {
    int pa = 0, ch = 0;
    VLK_PCGraph_get_edge_index(g, k, &pa, &ch);
    out.emplace_back(pa, ch);
  }
  return out;
}

// (parent, child) of every edge of a parent-list graph, by child, in parent-list order.
inline Pairs graph_edges(const VLK_Graph* g) {
  Pairs out;
  for (size_t c = 0; c < g->n; ++c) {
    const VLK_IntArray* l = VLK_Graph_parents(g, static_cast<int>(c));
    for (size_t k = 0; k < l->size; ++k) out.emplace_back(l->data[k], static_cast<int>(c));
  }
  return out;
}

// Whether the graph given by its parent lists (one per node) has no cycle.
inline bool acyclic(const std::vector<std::vector<int>>& parents) {
  const size_t n = parents.size();
  std::vector<int> indeg(n, 0);
  std::vector<std::vector<int>> children(n);
  for (size_t c = 0; c < n; ++c)
    for (int p : parents[c]) {
      ++indeg[c];
      children[static_cast<size_t>(p)].push_back(static_cast<int>(c));
    }
  std::vector<int> ready;
  for (size_t v = 0; v < n; ++v)
    if (indeg[v] == 0) ready.push_back(static_cast<int>(v));
  size_t seen = 0;
  while (!ready.empty()) {
    const int v = ready.back();
    ready.pop_back();
    ++seen;
    for (int w : children[static_cast<size_t>(v)])
      if (--indeg[static_cast<size_t>(w)] == 0) ready.push_back(w);
  }
  return seen == n;
}

// A VLK_FloatArray holding the given values, released with the object.
struct FloatArray {
  VLK_FloatArray* a = VLK_FloatArray_new();
  explicit FloatArray(const std::vector<float>& values) {
    for (float x : values) VLK_FloatArray_add(a, x);
  }
  ~FloatArray() { VLK_FloatArray_delete(a); }
  FloatArray(const FloatArray&) = delete;
  FloatArray& operator=(const FloatArray&) = delete;
};

// A network of n nodes named (and aliased) g0, g1, ... with the given edges by index.
inline vlk::NetworkPtr network_of(int n, const Pairs& edges = {}) {
  vlk::NetworkPtr net(VLK_Network_new());
  for (int i = 0; i < n; ++i) {
    const std::string name = "g" + std::to_string(i);
    VLK_Network_add_node(net.get(), VLK_Node_new(name.c_str(), name.c_str()));
  }
  for (auto [pa, ch] : edges) VLK_Network_add_edge_index(net.get(), pa, ch);
  return net;
}

}  // namespace vlk_test
