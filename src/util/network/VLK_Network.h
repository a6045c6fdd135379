// The annotated network: named nodes, directed edges with typed properties and drawing
// attributes, network-level properties and extra drawing objects. It owns everything it holds.
//
// Kept by every operation here:
//  1. a node's index field equals its position in nodes;
//  2. parents holds one list per node, at the node's position;
//  3. p is in the list of c exactly when edges holds one edge from node p to node c;
//  4. a (parent, child) pair occurs at most once (self loops are allowed);
//  5. names need not be unique; a lookup by name takes the first node in index order.
// Name, pair and child lookups go through hash tables kept in step with the arrays, so nodes
// must be renamed through VLK_Node_set_name and the arrays changed through these operations.
#pragma once

#include <cstddef>
#include <memory>

#include "CSMLObject.h"
#include "VLK_Array.h"
#include "VLK_Edge.h"
#include "VLK_IntArray.h"
#include "VLK_KeyValues.h"
#include "VLK_Node.h"
#include "VLK_StrMatrix.h"

struct VLK_NetworkIndex;

struct VLK_Network {
  VLK_Array* nodes;           // VLK_Node*, position = index
  VLK_Array* edges;           // VLK_Edge*, in insertion order
  VLK_Array* parents;         // VLK_IntArray*, parent indexes of each node in edge order
  char* primary_score;        // name of the main edge property, null until set
  VLK_KeyValues* properties;  // null until the first one
  VLK_Array* csml_objects;    // extra CSMLObject*, null until the first one
  VLK_NetworkIndex* index;    // lookup tables (private)
};

VLK_Network* VLK_Network_new();
void VLK_Network_delete(VLK_Network* net);
// Nodes, edges (with their properties) and extra objects; no primary score, no properties.
VLK_Network* VLK_Network_clone(const VLK_Network* net);

size_t VLK_Network_num_nodes(const VLK_Network* net);
size_t VLK_Network_num_edges(const VLK_Network* net);
// Takes the node over and gives it the next index; null (nothing changed) for a node that
// already belongs to a network.
VLK_Network* VLK_Network_add_node(VLK_Network* net, VLK_Node* node);
VLK_Node* VLK_Network_get_node(const VLK_Network* net, int i);
VLK_Node* VLK_Network_find_node(const VLK_Network* net, const char* name);
int VLK_Network_find_node_index(const VLK_Network* net, const char* name);
int VLK_Network_find_node_index_node(const VLK_Network* net, const VLK_Node* node);
char* VLK_Network_node_name(const VLK_Network* net, int i);
char* VLK_Network_node_alias(const VLK_Network* net, int i);
// Removes node i with all its edges; later nodes and parent entries move down by one.
void VLK_Network_remove_node_index(VLK_Network* net, int i);

// The edge pa -> ch, new or already present (nothing added then).
VLK_Edge* VLK_Network_add_edge_index(VLK_Network* net, int pa, int ch);
// Stores the caller's edge: the network, which owns it from then on (and deletes it at once
// when the pair is present already); null when an end is not a node of this network, and then
// the edge stays the caller's.
VLK_Network* VLK_Network_add_edge(VLK_Network* net, VLK_Edge* edge);
void VLK_Network_remove_edge(VLK_Network* net, VLK_Edge* edge);
void VLK_Network_remove_edge_index(VLK_Network* net, int k);
VLK_Edge* VLK_Network_get_edge(const VLK_Network* net, int k);
VLK_Edge* VLK_Network_get_edge_index(const VLK_Network* net, int pa, int ch);
VLK_Edge* VLK_Network_find_edge(const VLK_Network* net, const VLK_Node* parent,
                                const VLK_Node* child);
VLK_Edge* VLK_Network_find_edge_name(const VLK_Network* net, const char* parent, const char* child);
int VLK_Network_find_edge_index(const VLK_Network* net, const VLK_Edge* edge);
int VLK_Network_check_edge_index(const VLK_Network* net, int pa, int ch);

// Parents and children of a valid node index i.
VLK_IntArray* VLK_Network_get_parent_indexes(const VLK_Network* net, int i);
int VLK_Network_get_parent_index(const VLK_Network* net, int i, int k);
int VLK_Network_num_parents(const VLK_Network* net, int i);
int VLK_Network_num_children(const VLK_Network* net, int i);
// New array of the children of i, ascending.
VLK_IntArray* VLK_Network_get_child_indexes(const VLK_Network* net, int i);
int VLK_Network_get_child_index(const VLK_Network* net, int i, int k);
VLK_IntArray* VLK_Network_copy_child_indexes(const VLK_Network* net, int i, VLK_IntArray* out);
// out: the parents of i, then the children of i not among them.
VLK_Network* VLK_Network_get_neighbor(VLK_Network* net, int i, VLK_IntArray* out);
// Block of one child list per node, freed with VLK_IntArray_delete_ar.
VLK_IntArray* VLK_Network_get_all_children(const VLK_Network* net);
int VLK_Network_node_degree(const VLK_Network* net, int i);

void VLK_Network_set_primary_score(VLK_Network* net, const char* key);
char* VLK_Network_get_primary_score(const VLK_Network* net);
// The value is taken over.
void VLK_Network_add_property(VLK_Network* net, const char* key, int id, void* value);
VLK_Network* VLK_Network_add_property_int(VLK_Network* net, const char* key, int v);
int VLK_Network_get_property_int(const VLK_Network* net, const char* key, int def);
double VLK_Network_get_property_double(const VLK_Network* net, const char* key, double def);
VLK_Network* VLK_Network_add_properties_KeyValues(VLK_Network* net, const VLK_KeyValues* kv);

VLK_Network* VLK_Network_clear_all_edge_properties(VLK_Network* net);
// The double property of edge pa -> ch (0.0 when absent); the lowest double without the edge.
double VLK_Network_get_edge_property_double(const VLK_Network* net, int pa, int ch,
                                            const char* key);

// 1 when node counts, edge counts and every node's set of parent indexes agree.
int VLK_Network_compare_structure(const VLK_Network* a, const VLK_Network* b);
// Nodes and edges of all inputs, matched by name; drawing only position and size.
VLK_Network* VLK_Network_merge_union(VLK_Network* const* nets, int count);

VLK_Network* VLK_Network_add_CSMLObject(VLK_Network* net, CSMLObject* obj);
size_t VLK_Network_num_CSMLObjects(const VLK_Network* net);
CSMLObject* VLK_Network_get_CSMLObject(const VLK_Network* net, size_t i);
void VLK_Network_clear_CSMLObject(VLK_Network* net);
// Unified index: nodes, then edges, then extra objects.
size_t VLK_Network_total_CSMLObjects(const VLK_Network* net);
CSMLObject* VLK_Network_get_total_CSMLObject(const VLK_Network* net, int k);

// Renaming from a table: the first line (long enough) whose key field matches.
VLK_Network* VLK_Network_replace_node_names(VLK_Network* net, const VLK_StrMatrix* table);
void VLK_Network_replace_node_aliases_cols(VLK_Network* net, const VLK_StrMatrix* table,
                                           int key_col, int new_col);
VLK_Network* VLK_Network_replace_node_aliases(VLK_Network* net, const VLK_StrMatrix* table);

VLK_Network* VLK_Network_check_validity(VLK_Network* net);

namespace vlk {

using NetworkPtr = std::unique_ptr<VLK_Network, FreeWith<VLK_Network_delete>>;

// Owning forms of the two hand-overs: on success the network holds (or has deleted) the
// object and the pointer is empty; on failure (null) the caller still owns it.
VLK_Network* add_node(VLK_Network* net, NodePtr& node);
VLK_Network* add_edge(VLK_Network* net, EdgePtr& edge);

// Called by VLK_Node_set_name after the node's name changed from old_name.
void network_node_renamed(VLK_Network* net, const VLK_Node* node, const char* old_name);

}  // namespace vlk
