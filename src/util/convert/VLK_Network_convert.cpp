#include "VLK_Network_convert.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "velkcom.h"
#include "vlk_check.h"
#include "vlk_owned.h"

namespace {

using GraphPtr = vlk::Owned<VLK_Graph, VLK_Graph_delete>;

// The data node id of every network node (first data node of the same name), -1 for none.
// One table over the data set's names instead of a scan per node: networks of whole data sets
// run to tens of thousands of nodes.
std::vector<int> data_ids(const VLK_Network* net, const VLK_Data* data, bool warn) {
  std::unordered_map<std::string_view, int> by_name;
  const VLK_StrArray* names = data->names;
  for (size_t i = 0; names != nullptr && i < names->size; ++i)
    if (names->data[i] != nullptr) by_name.try_emplace(names->data[i], static_cast<int>(i));
  const size_t n = VLK_Network_num_nodes(net);
  std::vector<int> ids(n, -1);
  for (size_t i = 0; i < n; ++i) {
    const char* name = VLK_Network_node_name(net, static_cast<int>(i));
    const auto it = name != nullptr ? by_name.find(name) : by_name.end();
    if (it != by_name.end())
      ids[i] = it->second;
    else if (warn)
      std::fprintf(VELK_ERR, "WARNING: not found: %s\n", name != nullptr ? name : "");
  }
  return ids;
}

// Calls f(parent index, child index) for every node i in index order and every parent in the
// order of its parent list.
template <class F>
void each_parent_pair(const VLK_Network* net, F f) {
  const int n = static_cast<int>(VLK_Network_num_nodes(net));
  for (int i = 0; i < n; ++i) {
    const VLK_IntArray* list = VLK_Network_get_parent_indexes(net, i);
    for (size_t k = 0; k < list->size; ++k) f(list->data[k], i);
  }
}

// Every pair p -> i mapped onto the data set's ids; unmapped ends are skipped.
template <class F>
void each_mapped_pair(const VLK_Network* net, const std::vector<int>& ids, F f) {
  each_parent_pair(net, [&](int p, int i) {
    const int a = ids[static_cast<size_t>(p)];
    const int b = ids[static_cast<size_t>(i)];
    if (a >= 0 && b >= 0) f(a, b);
  });
}

// A node named and aliased after data node i, or "g_<i + 1>" without a data set.
VLK_Node* data_node(const VLK_Data* data, int i) {
  if (data != nullptr) return VLK_Node_new(VLK_Data_get_name(data, i), VLK_Data_get_alias(data, i));
  const std::string label = "g_" + std::to_string(i + 1);
  return VLK_Node_new(label.c_str(), label.c_str());
}

VLK_Network* network_of_nodes(size_t n, const VLK_Data* data) {
  vlk::NetworkPtr net(VLK_Network_new());
  for (size_t i = 0; net != nullptr && i < n; ++i) {
    vlk::NodePtr node(data_node(data, static_cast<int>(i)));
    if (node == nullptr || vlk::add_node(net.get(), node) == nullptr) return nullptr;
  }
  return net.release();
}

}  // namespace

VLK_Graph* VLK_Network_graph(const VLK_Network* net) {
  GraphPtr g(VLK_Graph_new(VLK_Network_num_nodes(net)));
  if (g == nullptr) return nullptr;
  each_parent_pair(net, [&](int p, int i) { VLK_Graph_add_edge_nr(g.get(), p, i); });
  return g.release();
}

VLK_Graph* VLK_Network_graph_dataset(const VLK_Network* net, const VLK_Data* data) {
  GraphPtr g(VLK_Graph_new(static_cast<size_t>(std::max(data->p, 0))));
  if (g == nullptr) return nullptr;
  const std::vector<int> ids = data_ids(net, data, true);
  each_mapped_pair(net, ids, [&](int p, int i) { VLK_Graph_add_edge_nr(g.get(), p, i); });
  return g.release();
}

VLK_AdjGraph* VLK_Network_AdjGraph_dataset(const VLK_Network* net, const VLK_Data* data) {
  VLK_AdjGraph* g = VLK_AdjGraph_news(static_cast<size_t>(std::max(data->p, 0)));
  if (g == nullptr) return nullptr;
  const std::vector<int> ids = data_ids(net, data, VLK_get_warning_level() >= 1);
  each_mapped_pair(net, ids, [&](int p, int i) { VLK_AdjGraph_add_edge(g, p, i); });
  return g;
}

VLK_PCGraph* VLK_Network_pcgraph(const VLK_Network* net) {
  VLK_PCGraph* g = VLK_PCGraph_new(VLK_Network_num_nodes(net));
  if (g == nullptr) return nullptr;
  VLK_PCGraph_resize_buff(g, VLK_Network_num_edges(net));
  each_parent_pair(net, [&](int p, int i) { VLK_PCGraph_add_edge(g, p, i); });
  return g;
}

VLK_PCGraph* VLK_Network_pcgraph_ord(const VLK_Network* net) {
  VLK_PCGraph* g = VLK_PCGraph_new(VLK_Network_num_nodes(net));
  if (g == nullptr) return nullptr;
  const size_t m = VLK_Network_num_edges(net);
  VLK_PCGraph_resize_buff(g, m);
  for (size_t k = 0; k < m; ++k) {
    const VLK_Edge* e = VLK_Network_get_edge(net, static_cast<int>(k));
    VLK_PCGraph_add_edge(g, e->parent->index, e->child->index);
  }
  return g;
}

VLK_Network* VLK_Network_from_pcgraph(const VLK_PCGraph* g, const VLK_Data* data) {
  vlk::check(data == nullptr || static_cast<size_t>(std::max(data->p, 0)) >= g->n,
             "a data node per graph node");
  vlk::NetworkPtr net(network_of_nodes(g->n, data));
  if (net == nullptr) return nullptr;
  // Slot order is edge-index order; walking the slots also steps over the holes of a graph
  // that had edges removed.
  for (size_t id = VLK_PCGraph_first_edge(g); id != VLK_PCGRAPH_NONE;
       id = VLK_PCGraph_next_edge(g, id)) {
    int pa = 0, ch = 0;
    VLK_PCGraph_get_edge(g, id, &pa, &ch);
    if (VLK_Network_add_edge_index(net.get(), pa, ch) == nullptr) return nullptr;
  }
  return net.release();
}

VLK_Network* VLK_Network_from_graph(VLK_Graph* g, const VLK_Data* data) {
  const size_t n = static_cast<size_t>(std::max(data->p, 0));
  vlk::check(g->n >= n, "a graph node per data node");
  vlk::NetworkPtr net(network_of_nodes(n, data));
  if (net == nullptr) return nullptr;
  for (size_t i = 0; i < n; ++i) {
    VLK_IntArray* list = VLK_Graph_parents(g, static_cast<int>(i));
    std::sort(list->data, list->data + list->size);
    for (size_t k = 0; k < list->size; ++k)
      if (VLK_Network_add_edge_index(net.get(), list->data[k], static_cast<int>(i)) == nullptr)
        return nullptr;
  }
  return net.release();
}

VLK_Network* VLK_Network_from_graph_network(const VLK_Graph* g, const VLK_Network* tmpl) {
  vlk::NetworkPtr net(VLK_Network_new());
  if (net == nullptr) return nullptr;
  // The result's node for template node t: the first one of the same name, else a new one.
  const auto node_for = [&](int t) -> VLK_Node* {
    const VLK_Node* src = VLK_Network_get_node(tmpl, t);
    vlk::check(src != nullptr, "graph ids are template node indexes");
    if (VLK_Node* found = VLK_Network_find_node(net.get(), src->name)) return found;
    vlk::NodePtr node(VLK_Node_new(src->name, src->alias));
    VLK_Node* made = node.get();
    return vlk::add_node(net.get(), node) != nullptr ? made : nullptr;
  };
  const size_t n = std::min(g->n, VLK_Network_num_nodes(tmpl));
  for (size_t i = 0; i < n; ++i) {
    const VLK_IntArray* list = VLK_Graph_parents(g, static_cast<int>(i));
    VLK_Node* child = nullptr;
    for (size_t k = 0; k < list->size; ++k) {
      VLK_Node* parent = node_for(list->data[k]);
      if (child == nullptr) child = node_for(static_cast<int>(i));
      if (parent == nullptr || child == nullptr) return nullptr;
      vlk::EdgePtr edge(VLK_Edge_new(parent, child));
      if (edge == nullptr || vlk::add_edge(net.get(), edge) == nullptr) return nullptr;
    }
  }
  return net.release();
}
