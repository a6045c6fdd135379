// Directed graph held as one parent list per node: the graph the searches build, edit and
// return. The direct operations below skip the type check; the slot functions (names ending
// in I) check the tag first, since they receive objects through GraphI.
#pragma once

#include <cstddef>
#include <cstdio>

#include "GraphI.h"
#include "VLK_IntArray.h"
#include "VLK_StrArray.h"

struct VLK_Graph : GraphI {
  VLK_IntArray* parents;  // n records; record j lists the parents of node j in insertion order
};

VLK_Graph* VLK_Graph_new(size_t n);
void VLK_Graph_delete(VLK_Graph* g);
size_t VLK_Graph_num_nodes(const VLK_Graph* g);
size_t VLK_Graph_num_edges(const VLK_Graph* g);
VLK_IntArray* VLK_Graph_parents(VLK_Graph* g, int i);
const VLK_IntArray* VLK_Graph_parents(const VLK_Graph* g, int i);
int VLK_Graph_num_parents(const VLK_Graph* g, int i);
VLK_IntArray* VLK_Graph_gen_children(const VLK_Graph* g, int i);
void VLK_Graph_set_children_all(const VLK_Graph* g, VLK_IntArray* children);

// Edits. Ids outside 0 .. n-1 are never stored: such an edge is ignored.
VLK_Graph* VLK_Graph_add_edge(VLK_Graph* g, int pa, int ch);
VLK_Graph* VLK_Graph_add_edge_nr(VLK_Graph* g, int pa, int ch);
int VLK_Graph_check_edge(const VLK_Graph* g, int pa, int ch);

// 1 when b is an ancestor of a (so the edge a -> b would close a cycle), else 0. Read-only:
// several threads may test one graph at once while nobody edits it.
int VLK_Graph_check_cyclic(const VLK_Graph* g, int a, int b);
// The same, with the parents of node c read from `list` instead of from g.
int VLK_Graph_check_cyclic2(const VLK_Graph* g, int a, int b, int c, const VLK_IntArray* list);

VLK_Graph* VLK_Graph_swap_parents(VLK_Graph* g, int i, VLK_IntArray* list);
VLK_Graph* VLK_Graph_set_parents(VLK_Graph* g, int i, const VLK_IntArray* list);
VLK_Graph* VLK_Graph_remove_parent_index(VLK_Graph* g, int i, int k);
void VLK_Graph_clear(VLK_Graph* g);
void VLK_Graph_copy(const VLK_Graph* src, VLK_Graph* dst);
void VLK_Graph_copy_GraphI(const GraphI* src, VLK_Graph* dst);
VLK_Graph* VLK_Graph_convert(const VLK_Graph* g, const VLK_IntArray* map, size_t m);
GraphI* VLK_Graph_to_GraphI(VLK_Graph* g);
const GraphI* VLK_Graph_to_GraphI(const VLK_Graph* g);
VLK_Graph* VLK_Graph_check_type(GraphI* g);
const VLK_Graph* VLK_Graph_check_type(const GraphI* g);
VLK_Graph* VLK_Graph_collect_paths(const VLK_Graph* g, const VLK_IntArray* targets,
                                   const VLK_IntArray* starts, int maxlen, int mode);

void VLK_Graph_show(FILE* fp, const VLK_Graph* g);
void VLK_Graph_print_name(const VLK_Graph* g, FILE* fp, const VLK_StrArray* names);
void VLK_Graph_print_name2(const VLK_Graph* g, FILE* fp, const VLK_StrArray* names);

// Slots of the GraphI table.
void VLK_Graph_deleteI(GraphI* g);
int VLK_Graph_num_nodesI(const GraphI* g);
int VLK_Graph_check_edgeI(const GraphI* g, int pa, int ch);
void VLK_Graph_print_nameI(const GraphI* g, FILE* fp, const VLK_StrArray* names);
void VLK_Graph_print_name2I(const GraphI* g, FILE* fp, const VLK_StrArray* names);
