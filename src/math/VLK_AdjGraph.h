// Directed graph held as an n by n byte matrix: the skeletons (allowed edges) of the searches.
// Every operation except VLK_AdjGraph_complete and VLK_AdjGraph_to_GraphI checks the tag of the
// object it receives. Ids outside 0 .. n-1 are never stored: checks answer 0, edits do nothing.
#pragma once

#include <cstddef>
#include <cstdio>

#include "GraphI.h"
#include "VLK_StrArray.h"

struct VLK_AdjGraph : GraphI {
  unsigned char* matrix;  // n * n bytes; byte ch * n + pa is non-zero iff pa -> ch
};

VLK_AdjGraph* VLK_AdjGraph_new();
VLK_AdjGraph* VLK_AdjGraph_news(size_t n);
GraphI* VLK_AdjGraph_clone(const GraphI* g);
void VLK_AdjGraph_delete(GraphI* g);
GraphI* VLK_AdjGraph_add_edge(GraphI* g, int pa, int ch);
GraphI* VLK_AdjGraph_remove_edge(GraphI* g, int pa, int ch);
int VLK_AdjGraph_check_edge(const GraphI* g, int pa, int ch);
void VLK_AdjGraph_complete(VLK_AdjGraph* g);
void VLK_AdjGraph_print_name(const GraphI* g, FILE* fp, const VLK_StrArray* names);
void VLK_AdjGraph_print_name2(const GraphI* g, FILE* fp, const VLK_StrArray* names);
VLK_AdjGraph* VLK_AdjGraph_check_type(GraphI* g);
const VLK_AdjGraph* VLK_AdjGraph_check_type(const GraphI* g);
GraphI* VLK_AdjGraph_to_GraphI(VLK_AdjGraph* g);
const GraphI* VLK_AdjGraph_to_GraphI(const VLK_AdjGraph* g);
