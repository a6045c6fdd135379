// The typed graph interface: every graph object starts with a type tag and one table of
// operations, so a search can ask about an edge of a graph handed to it without knowing how
// that graph is stored. Node ids are positions 0 .. n-1; names are passed in when printing.
#pragma once

#include <cstddef>
#include <cstdio>

#include "VLK_StrArray.h"
#include "VLK_Type.h"

struct GraphI;

using GraphI_delete_fn = void (*)(GraphI* g);
using GraphI_clone_fn = GraphI* (*)(const GraphI* g);
using GraphI_num_nodes_fn = int (*)(const GraphI* g);
using GraphI_edit_fn = GraphI* (*)(GraphI* g, int pa, int ch);
using GraphI_check_edge_fn = int (*)(const GraphI* g, int pa, int ch);
using GraphI_print_fn = void (*)(const GraphI* g, FILE* fp, const VLK_StrArray* names);

// The common head of the graph kinds. A slot that a kind does not provide is null.
struct GraphI {
  int type;  // the value type id: VLK_TYPE_GRAPH, VLK_TYPE_ADJGRAPH or VLK_TYPE_COMPLETEGRAPH
  GraphI_delete_fn delete_;
  GraphI_clone_fn clone;
  GraphI_num_nodes_fn num_nodes;
  GraphI_edit_fn add_edge;
  GraphI_check_edge_fn check_edge;
  GraphI_edit_fn remove_edge;
  GraphI_print_fn print_name;   // one line per node with its parents
  GraphI_print_fn print_name2;  // one line per node with its children
  size_t n;
};

// Every pair is an edge: the skeleton used when none is given. Has no data of its own.
struct CompleteGraph : GraphI {};

// The one shared instance; it lives for the whole run and is never freed.
extern CompleteGraph CompleteGraph_static_instance;

CompleteGraph* CompleteGraph_new();
int CompleteGraph_check_edge(const GraphI* g, int pa, int ch);
void CompleteGraph_init(CompleteGraph* g);
GraphI* CompleteGraph_to_GraphI(CompleteGraph* g);
