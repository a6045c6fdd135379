#include "VLK_Network.h"

#include <algorithm>
#include <cfloat>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "VLK_Str.h"
#include "velkcom.h"

// Lookup tables over the arrays of one network. Every operation that changes names, nodes or
// edges updates them, so lookups by name, by (parent, child) pair and child queries cost no
// scan of all nodes or edges.
struct VLK_NetworkIndex {
  struct NameHash {
    using is_transparent = void;
    size_t operator()(std::string_view s) const noexcept {
      return std::hash<std::string_view>{}(s);
    }
  };
  // Name -> ascending indexes of the nodes carrying it (names may repeat).
  std::unordered_map<std::string, std::vector<int>, NameHash, std::equal_to<>> names;
  // (parent index, child index) -> the one edge of that pair.
  std::unordered_map<uint64_t, VLK_Edge*> pairs;
  // children[i]: the children of node i, ascending.
  std::vector<std::vector<int>> children;

  static uint64_t key(int pa, int ch) {
    return (static_cast<uint64_t>(static_cast<uint32_t>(pa)) << 32) | static_cast<uint32_t>(ch);
  }

  void add_name(const char* name, int i) {
    if (name == nullptr) return;
    std::vector<int>& v = names[name];
    v.insert(std::upper_bound(v.begin(), v.end(), i), i);
  }

  void remove_name(const char* name, int i) {
    if (name == nullptr) return;
    auto it = names.find(std::string_view(name));
    if (it == names.end()) return;
    std::vector<int>& v = it->second;
    auto pos = std::lower_bound(v.begin(), v.end(), i);
    if (pos != v.end() && *pos == i) v.erase(pos);
    if (v.empty()) names.erase(it);
  }

  int first_named(const char* name) const {
    if (name == nullptr) return -1;
    auto it = names.find(std::string_view(name));
    return it == names.end() ? -1 : it->second.front();
  }

  VLK_Edge* edge(int pa, int ch) const {
    auto it = pairs.find(key(pa, ch));
    return it == pairs.end() ? nullptr : it->second;
  }

  void link(int pa, int ch, VLK_Edge* e) {
    pairs.emplace(key(pa, ch), e);
    std::vector<int>& c = children[pa];
    c.insert(std::lower_bound(c.begin(), c.end(), ch), ch);
  }

  void unlink(int pa, int ch) {
    pairs.erase(key(pa, ch));
    std::vector<int>& c = children[pa];
    auto pos = std::lower_bound(c.begin(), c.end(), ch);
    if (pos != c.end() && *pos == ch) c.erase(pos);
  }
};

namespace {

VLK_Node* node_at(const VLK_Network* net, size_t i) {
  return static_cast<VLK_Node*>(net->nodes->data[i]);
}

VLK_Edge* edge_at(const VLK_Network* net, size_t k) {
  return static_cast<VLK_Edge*>(net->edges->data[k]);
}

VLK_IntArray* list_at(const VLK_Network* net, size_t i) {
  return static_cast<VLK_IntArray*>(net->parents->data[i]);
}

bool valid_node(const VLK_Network* net, int i) {
  return i >= 0 && static_cast<size_t>(i) < net->nodes->size;
}

// Every table from the arrays, after an edit that renumbers nodes.
void rebuild_index(VLK_Network* net) {
  VLK_NetworkIndex& ix = *net->index;
  ix.names.clear();
  ix.pairs.clear();
  ix.children.assign(net->nodes->size, {});
  for (size_t i = 0; i < net->nodes->size; ++i)
    ix.add_name(node_at(net, i)->name, static_cast<int>(i));
  for (size_t k = 0; k < net->edges->size; ++k) {
    const VLK_Edge* e = edge_at(net, k);
    ix.pairs.emplace(VLK_NetworkIndex::key(e->parent->index, e->child->index), edge_at(net, k));
  }
  for (size_t j = 0; j < net->nodes->size; ++j) {
    const VLK_IntArray* list = list_at(net, j);
    for (size_t k = 0; k < list->size; ++k)
      ix.children[list->data[k]].push_back(static_cast<int>(j));
  }
}

// Stores an edge between nodes pa and ch, known to be absent.
void link_edge(VLK_Network* net, int pa, int ch, VLK_Edge* edge) {
  VLK_IntArray_add(list_at(net, ch), pa);
  VLK_Array_add(net->edges, edge);
  net->index->link(pa, ch, edge);
}

// Removes the first occurrence of v from a list.
void remove_first(VLK_IntArray* list, int v) {
  const long pos = VLK_IntArray_find(list, v);
  if (pos >= 0) VLK_IntArray_remove(list, static_cast<size_t>(pos));
}

}  // namespace

// ---- life ------------------------------------------------------------------------------------

VLK_Network* VLK_Network_new() {
  auto* net = static_cast<VLK_Network*>(std::malloc(sizeof(VLK_Network)));
  if (net == nullptr) return nullptr;
  *net = VLK_Network{VLK_Array_new(), VLK_Array_new(), VLK_Array_new(),       nullptr,
                     nullptr,         nullptr,         new VLK_NetworkIndex()};
  return net;
}

void VLK_Network_delete(VLK_Network* net) {
  if (net == nullptr) return;
  for (size_t i = 0; i < net->nodes->size; ++i) VLK_Node_delete(node_at(net, i));
  for (size_t i = 0; i < net->parents->size; ++i) VLK_IntArray_delete(list_at(net, i));
  for (size_t k = 0; k < net->edges->size; ++k) VLK_Edge_delete(edge_at(net, k));
  VLK_Array_delete(net->nodes);
  VLK_Array_delete(net->parents);
  VLK_Array_delete(net->edges);
  std::free(net->primary_score);
  VLK_KeyValues_delete(net->properties);
  if (net->csml_objects != nullptr) {
    VLK_Network_clear_CSMLObject(net);
    VLK_Array_delete(net->csml_objects);
  }
  delete net->index;
  std::free(net);
}

VLK_Network* VLK_Network_clone(const VLK_Network* net) {
  VLK_Network* copy = VLK_Network_new();
  for (size_t i = 0; i < net->nodes->size; ++i)
    VLK_Network_add_node(copy, VLK_Node_clone(node_at(net, i)));
  // Ends are matched by position, so duplicate names keep their own edges.
  for (size_t k = 0; k < net->edges->size; ++k) {
    const VLK_Edge* e = edge_at(net, k);
    const int pa = VLK_Network_find_node_index_node(net, e->parent);
    const int ch = VLK_Network_find_node_index_node(net, e->child);
    VLK_Edge* c = VLK_Edge_clone(e);
    VLK_Edge_set(c, node_at(copy, pa), node_at(copy, ch));
    VLK_Network_add_edge(copy, c);
  }
  if (net->csml_objects != nullptr) {
    copy->csml_objects = VLK_Array_news(net->csml_objects->size);
    for (size_t i = 0; i < net->csml_objects->size; ++i)
      VLK_Array_add(copy->csml_objects,
                    CSMLObject_clone(static_cast<CSMLObject*>(net->csml_objects->data[i])));
  }
  return copy;
}

// ---- nodes -----------------------------------------------------------------------------------

size_t VLK_Network_num_nodes(const VLK_Network* net) { return net->nodes->size; }
size_t VLK_Network_num_edges(const VLK_Network* net) { return net->edges->size; }

VLK_Network* VLK_Network_add_node(VLK_Network* net, VLK_Node* node) {
  if (node == nullptr || node->network != nullptr) return nullptr;
  const int i = static_cast<int>(net->nodes->size);
  VLK_Array_add(net->nodes, node);
  VLK_Array_add(net->parents, VLK_IntArray_new());
  node->index = i;
  node->network = net;
  net->index->add_name(node->name, i);
  net->index->children.emplace_back();
  return net;
}

VLK_Node* VLK_Network_get_node(const VLK_Network* net, int i) {
  return valid_node(net, i) ? node_at(net, static_cast<size_t>(i)) : nullptr;
}

VLK_Node* VLK_Network_find_node(const VLK_Network* net, const char* name) {
  const int i = net->index->first_named(name);
  return i >= 0 ? node_at(net, static_cast<size_t>(i)) : nullptr;
}

int VLK_Network_find_node_index(const VLK_Network* net, const char* name) {
  return net->index->first_named(name);
}

int VLK_Network_find_node_index_node(const VLK_Network* net, const VLK_Node* node) {
  if (node == nullptr) return -1;
  // A node of this network sits at its index; the scan only answers for foreign nodes.
  if (valid_node(net, node->index) && node_at(net, static_cast<size_t>(node->index)) == node)
    return node->index;
  return static_cast<int>(VLK_Array_find(net->nodes, node));
}

char* VLK_Network_node_name(const VLK_Network* net, int i) { return node_at(net, i)->name; }
char* VLK_Network_node_alias(const VLK_Network* net, int i) { return node_at(net, i)->alias; }

void VLK_Network_remove_node_index(VLK_Network* net, int i) {
  if (!valid_node(net, i)) return;
  VLK_Node* gone = node_at(net, static_cast<size_t>(i));
  // The edges at i leave in one pass; each takes its parent entry from its child's list.
  size_t kept = 0;
  for (size_t k = 0; k < net->edges->size; ++k) {
    VLK_Edge* e = edge_at(net, k);
    if (e->parent == gone || e->child == gone) {
      remove_first(list_at(net, static_cast<size_t>(e->child->index)), e->parent->index);
      VLK_Edge_delete(e);
    } else {
      net->edges->data[kept++] = e;
    }
  }
  net->edges->size = kept;
  VLK_IntArray_delete(static_cast<VLK_IntArray*>(VLK_Array_remove(net->parents, i)));
  VLK_Array_remove(net->nodes, i);
  VLK_Node_delete(gone);
  for (size_t j = static_cast<size_t>(i); j < net->nodes->size; ++j) --node_at(net, j)->index;
  for (size_t j = 0; j < net->parents->size; ++j) {
    VLK_IntArray* list = list_at(net, j);
    for (size_t k = 0; k < list->size; ++k)
      if (list->data[k] > i) --list->data[k];
  }
  rebuild_index(net);
}

// ---- edges -----------------------------------------------------------------------------------

VLK_Edge* VLK_Network_add_edge_index(VLK_Network* net, int pa, int ch) {
  if (!valid_node(net, pa) || !valid_node(net, ch)) return nullptr;
  if (VLK_Edge* e = net->index->edge(pa, ch)) return e;
  VLK_Edge* e = VLK_Edge_new(node_at(net, pa), node_at(net, ch));
  link_edge(net, pa, ch, e);
  return e;
}

VLK_Network* VLK_Network_add_edge(VLK_Network* net, VLK_Edge* edge) {
  if (edge == nullptr) return nullptr;
  const int pa = VLK_Network_find_node_index_node(net, edge->parent);
  const int ch = VLK_Network_find_node_index_node(net, edge->child);
  if (pa < 0 || ch < 0) return nullptr;
  if (VLK_Edge* present = net->index->edge(pa, ch)) {
    // The caller handed a duplicate over; the edge already stored is never deleted.
    if (present != edge) VLK_Edge_delete(edge);
    return net;
  }
  link_edge(net, pa, ch, edge);
  return net;
}

void VLK_Network_remove_edge(VLK_Network* net, VLK_Edge* edge) {
  const int k = VLK_Network_find_edge_index(net, edge);
  if (k >= 0) VLK_Network_remove_edge_index(net, k);
}

void VLK_Network_remove_edge_index(VLK_Network* net, int k) {
  if (k < 0 || static_cast<size_t>(k) >= net->edges->size) return;
  auto* e = static_cast<VLK_Edge*>(VLK_Array_remove(net->edges, static_cast<size_t>(k)));
  const int pa = e->parent->index;
  const int ch = e->child->index;
  remove_first(list_at(net, static_cast<size_t>(ch)), pa);
  net->index->unlink(pa, ch);
  VLK_Edge_delete(e);
}

VLK_Edge* VLK_Network_get_edge(const VLK_Network* net, int k) {
  return k >= 0 && static_cast<size_t>(k) < net->edges->size ? edge_at(net, k) : nullptr;
}

VLK_Edge* VLK_Network_get_edge_index(const VLK_Network* net, int pa, int ch) {
  if (!valid_node(net, pa) || !valid_node(net, ch)) return nullptr;
  return net->index->edge(pa, ch);
}

VLK_Edge* VLK_Network_find_edge(const VLK_Network* net, const VLK_Node* parent,
                                const VLK_Node* child) {
  const int pa = VLK_Network_find_node_index_node(net, parent);
  const int ch = VLK_Network_find_node_index_node(net, child);
  return pa >= 0 && ch >= 0 ? net->index->edge(pa, ch) : nullptr;
}

VLK_Edge* VLK_Network_find_edge_name(const VLK_Network* net, const char* parent,
                                     const char* child) {
  const int pa = net->index->first_named(parent);
  const int ch = net->index->first_named(child);
  return pa >= 0 && ch >= 0 ? net->index->edge(pa, ch) : nullptr;
}

int VLK_Network_find_edge_index(const VLK_Network* net, const VLK_Edge* edge) {
  // Only an edge stored for its pair can be in the array; its position takes a scan.
  if (edge == nullptr || VLK_Network_find_edge(net, edge->parent, edge->child) != edge) return -1;
  return static_cast<int>(VLK_Array_find(net->edges, edge));
}

int VLK_Network_check_edge_index(const VLK_Network* net, int pa, int ch) {
  return VLK_Network_get_edge_index(net, pa, ch) != nullptr;
}

// ---- parents and children --------------------------------------------------------------------

VLK_IntArray* VLK_Network_get_parent_indexes(const VLK_Network* net, int i) {
  return list_at(net, i);
}

int VLK_Network_get_parent_index(const VLK_Network* net, int i, int k) {
  return list_at(net, i)->data[k];
}

int VLK_Network_num_parents(const VLK_Network* net, int i) {
  return static_cast<int>(list_at(net, i)->size);
}

int VLK_Network_num_children(const VLK_Network* net, int i) {
  return static_cast<int>(net->index->children[i].size());
}

VLK_IntArray* VLK_Network_get_child_indexes(const VLK_Network* net, int i) {
  return VLK_Network_copy_child_indexes(net, i, VLK_IntArray_new());
}

int VLK_Network_get_child_index(const VLK_Network* net, int i, int k) {
  const std::vector<int>& c = net->index->children[i];
  return k >= 0 && static_cast<size_t>(k) < c.size() ? c[k] : -1;
}

VLK_IntArray* VLK_Network_copy_child_indexes(const VLK_Network* net, int i, VLK_IntArray* out) {
  const std::vector<int>& c = net->index->children[i];
  VLK_IntArray_clear(out);
  VLK_IntArray_add_ar(out, c.data(), c.size());
  return out;
}

VLK_Network* VLK_Network_get_neighbor(VLK_Network* net, int i, VLK_IntArray* out) {
  const VLK_IntArray* parents = list_at(net, i);
  VLK_IntArray_copy(parents, out);
  std::vector<int> sorted(parents->data, parents->data + parents->size);
  std::sort(sorted.begin(), sorted.end());
  for (int c : net->index->children[i])
    if (!std::binary_search(sorted.begin(), sorted.end(), c)) VLK_IntArray_add(out, c);
  return net;
}

VLK_IntArray* VLK_Network_get_all_children(const VLK_Network* net) {
  const size_t n = net->nodes->size;
  VLK_IntArray* block = VLK_IntArray_new_ar(n, 1);
  for (size_t j = 0; j < n; ++j) {
    const VLK_IntArray* list = list_at(net, j);
    for (size_t k = 0; k < list->size; ++k)
      VLK_IntArray_add(&block[list->data[k]], static_cast<int>(j));
  }
  return block;
}

int VLK_Network_node_degree(const VLK_Network* net, int i) {
  return VLK_Network_num_parents(net, i) + VLK_Network_num_children(net, i);
}

// ---- primary score and network properties ----------------------------------------------------

void VLK_Network_set_primary_score(VLK_Network* net, const char* key) {
  char* copy = VLK_Str_copy(key);
  std::free(net->primary_score);
  net->primary_score = copy;
}

char* VLK_Network_get_primary_score(const VLK_Network* net) { return net->primary_score; }

namespace {

VLK_KeyValues* properties_of(VLK_Network* net) {
  if (net->properties == nullptr) net->properties = VLK_KeyValues_new();
  return net->properties;
}

}  // namespace

void VLK_Network_add_property(VLK_Network* net, const char* key, int id, void* value) {
  if (VLK_KeyValues_add(properties_of(net), key, id, value) == nullptr)
    VLK_KeyValues_release_at(value, id);  // not stored: the value handed over is not leaked
}

VLK_Network* VLK_Network_add_property_int(VLK_Network* net, const char* key, int v) {
  VLK_KeyValues_put_int(properties_of(net), key, v);
  return net;
}

int VLK_Network_get_property_int(const VLK_Network* net, const char* key, int def) {
  return net->properties ? VLK_KeyValues_get_int_def(net->properties, key, def) : def;
}

double VLK_Network_get_property_double(const VLK_Network* net, const char* key, double def) {
  return net->properties ? VLK_KeyValues_get_double(net->properties, key, def) : def;
}

VLK_Network* VLK_Network_add_properties_KeyValues(VLK_Network* net, const VLK_KeyValues* kv) {
  if (kv != nullptr) VLK_KeyValues_add_KeyValues_nr(properties_of(net), kv);
  return net;
}

// ---- edge properties -------------------------------------------------------------------------

VLK_Network* VLK_Network_clear_all_edge_properties(VLK_Network* net) {
  for (size_t k = 0; k < net->edges->size; ++k) VLK_Edge_clear_properties(edge_at(net, k));
  return net;
}

double VLK_Network_get_edge_property_double(const VLK_Network* net, int pa, int ch,
                                            const char* key) {
  const VLK_Edge* e = VLK_Network_get_edge_index(net, pa, ch);
  return e != nullptr ? VLK_Edge_get_property_double(e, key, 0.0) : -DBL_MAX;
}

// ---- structure comparison and union ----------------------------------------------------------

int VLK_Network_compare_structure(const VLK_Network* a, const VLK_Network* b) {
  if (a->nodes->size != b->nodes->size || a->edges->size != b->edges->size) return 0;
  std::vector<int> pa, pb;
  for (size_t i = 0; i < a->nodes->size; ++i) {
    const VLK_IntArray* la = list_at(a, i);
    const VLK_IntArray* lb = list_at(b, i);
    if (la->size != lb->size) return 0;
    pa.assign(la->data, la->data + la->size);
    pb.assign(lb->data, lb->data + lb->size);
    std::sort(pa.begin(), pa.end());
    std::sort(pb.begin(), pb.end());
    if (pa != pb) return 0;
  }
  return 1;
}

VLK_Network* VLK_Network_merge_union(VLK_Network* const* nets, int count) {
  VLK_Network* out = VLK_Network_new();
  for (int n = 0; n < count; ++n) {
    const VLK_Network* src = nets[n];
    int added = 0;
    for (size_t i = 0; i < src->nodes->size; ++i) {
      const VLK_Node* s = node_at(src, i);
      if (VLK_Network_find_node(out, s->name) != nullptr) continue;
      VLK_Node* node = VLK_Node_new(s->name, s->alias);
      VLK_Node_set_position(node, s->drawing->x, s->drawing->y);
      VLK_Node_set_size(node, s->drawing->width);
      VLK_Network_add_node(out, node);
      ++added;
    }
    std::fprintf(VELK_ERR, "VLK_Network:  added %d nodes.\n", added);
    for (size_t k = 0; k < src->edges->size; ++k) {
      const VLK_Edge* e = edge_at(src, k);
      const int pa = out->index->first_named(e->parent->name);
      const int ch = out->index->first_named(e->child->name);
      // Unnamed ends have no counterpart to link.
      if (pa < 0 || ch < 0 || out->index->edge(pa, ch) != nullptr) continue;
      link_edge(out, pa, ch, VLK_Edge_new(node_at(out, pa), node_at(out, ch)));
    }
  }
  return out;
}

// ---- extra drawing objects -------------------------------------------------------------------

VLK_Network* VLK_Network_add_CSMLObject(VLK_Network* net, CSMLObject* obj) {
  if (net->csml_objects == nullptr) net->csml_objects = VLK_Array_new();
  VLK_Array_add(net->csml_objects, obj);
  return net;
}

size_t VLK_Network_num_CSMLObjects(const VLK_Network* net) {
  return net->csml_objects ? net->csml_objects->size : 0;
}

CSMLObject* VLK_Network_get_CSMLObject(const VLK_Network* net, size_t i) {
  if (net->csml_objects == nullptr || i >= net->csml_objects->size) return nullptr;
  return static_cast<CSMLObject*>(net->csml_objects->data[i]);
}

void VLK_Network_clear_CSMLObject(VLK_Network* net) {
  if (net->csml_objects == nullptr) return;
  for (size_t i = 0; i < net->csml_objects->size; ++i)
    CSMLObject_delete(static_cast<CSMLObject*>(net->csml_objects->data[i]));
  VLK_Array_clear(net->csml_objects);
}

size_t VLK_Network_total_CSMLObjects(const VLK_Network* net) {
  return net->nodes->size + net->edges->size + VLK_Network_num_CSMLObjects(net);
}

CSMLObject* VLK_Network_get_total_CSMLObject(const VLK_Network* net, int k) {
  if (k < 0) return nullptr;
  size_t i = static_cast<size_t>(k);
  if (i < net->nodes->size) return node_at(net, i)->drawing;
  i -= net->nodes->size;
  if (i < net->edges->size) return edge_at(net, i)->drawing;
  return VLK_Network_get_CSMLObject(net, i - net->edges->size);
}

// ---- renaming from a table -------------------------------------------------------------------

namespace {

// Key field -> first line holding both the key and the new column.
std::unordered_map<std::string_view, const char*> first_lines(const VLK_StrMatrix* table,
                                                              size_t key_col, size_t new_col) {
  std::unordered_map<std::string_view, const char*> map;
  const size_t need = std::max(key_col, new_col) + 1;
  for (size_t l = 0; l < table->size; ++l) {
    const VLK_StrArray* line = table->data[l];
    if (line == nullptr || line->size < need) continue;
    map.emplace(line->data[key_col], line->data[new_col]);
  }
  return map;
}

}  // namespace

VLK_Network* VLK_Network_replace_node_names(VLK_Network* net, const VLK_StrMatrix* table) {
  const auto map = first_lines(table, 0, 1);
  for (size_t i = 0; i < net->nodes->size; ++i) {
    VLK_Node* node = node_at(net, i);
    if (node->name == nullptr) continue;
    auto it = map.find(node->name);
    if (it != map.end()) VLK_Node_set_name(node, it->second);
  }
  return net;
}

void VLK_Network_replace_node_aliases_cols(VLK_Network* net, const VLK_StrMatrix* table,
                                           int key_col, int new_col) {
  if (key_col < 0 || new_col < 0) return;
  const auto map = first_lines(table, static_cast<size_t>(key_col), static_cast<size_t>(new_col));
  for (size_t i = 0; i < net->nodes->size; ++i) {
    VLK_Node* node = node_at(net, i);
    if (node->alias == nullptr) continue;
    auto it = map.find(node->alias);
    if (it != map.end() && it->second[0] != '\0') VLK_Node_set_alias(node, it->second);
  }
}

VLK_Network* VLK_Network_replace_node_aliases(VLK_Network* net, const VLK_StrMatrix* table) {
  VLK_Network_replace_node_aliases_cols(net, table, 0, 1);
  return net;
}

// ---- diagnostics -----------------------------------------------------------------------------

VLK_Network* VLK_Network_check_validity(VLK_Network* net) {
  for (size_t i = 0; i < net->nodes->size; ++i) CSMLObject_check_validity(node_at(net, i)->drawing);
  std::fprintf(VELK_ERR, "VLK_Network_check_validity(): Validated.\n");
  return net;
}

// ---- owning hand-overs -----------------------------------------------------------------------

namespace vlk {

VLK_Network* add_node(VLK_Network* net, NodePtr& node) {
  VLK_Network* r = VLK_Network_add_node(net, node.get());
  if (r != nullptr) node.release();
  return r;
}

VLK_Network* add_edge(VLK_Network* net, EdgePtr& edge) {
  VLK_Network* r = VLK_Network_add_edge(net, edge.get());
  if (r != nullptr) edge.release();
  return r;
}

void network_node_renamed(VLK_Network* net, const VLK_Node* node, const char* old_name) {
  const int i = VLK_Network_find_node_index_node(net, node);
  if (i < 0) return;
  net->index->remove_name(old_name, i);
  net->index->add_name(node->name, i);
}

}  // namespace vlk
