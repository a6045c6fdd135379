// Parent-child graph: a directed graph over nodes 0 .. n-1 whose edges live in one array of
// slots, each edge threaded onto two doubly linked lists (the parent list of its child and the
// child list of its parent). Adding and removing an edge cost constant time, both lists keep
// insertion order, and every edge keeps a stable slot id (index = id - n) by which parallel
// arrays of edge values are addressed. The graph accepts self-loops, duplicate edges and cycles.
//
// Slots 0 .. n-1 head the node lists; edge slots follow. Slot ids and edge indexes are size_t
// with VLK_PCGRAPH_NONE (all bits set, i.e. (size_t)-1) for "none". The first edge of a list
// points back to its head slot, so unlinking needs no special case for it.
//
// Markers in `pa` and `ch` of a slot that holds no edge:
//   -2  a removed edge's slot, on the free list (reused last in, first out)
//   -3  a head slot of a new graph
//   -4  a head slot after a clear
//   -5  a slot vacated by compaction (VLK_PCGraph_fill)
//
// Node arguments and slot ids are the caller's promise (checked in Debug and sanitizer builds
// only). Not thread-safe: one thread per graph at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "VLK_IntArray.h"

inline constexpr size_t VLK_PCGRAPH_NONE = static_cast<size_t>(-1);

struct VLK_PCGraphSlot {
  int32_t pa;      // parent of the edge; a marker in a head or free slot
  int32_t ch;      // child of the edge; a marker as `pa`
  size_t pa_next;  // next edge of the child's parent list; next free slot on the free list
  size_t ch_next;  // next edge of the parent's child list
  size_t pa_prev;  // previous edge of the child's parent list (the head slot for the first)
  size_t ch_prev;  // previous edge of the parent's child list (the head slot for the first)
};

struct VLK_PCGraph {
  size_t n;                // nodes; also the slot id of the first edge slot
  size_t edges;            // edges in the graph
  size_t capacity;         // edge slots allocated after the n head slots
  VLK_PCGraphSlot* slots;  // n + capacity slots
  size_t* pa_tail;         // last edge of each node's parent list, the node itself when empty
  size_t* ch_tail;         // the same for child lists; shares pa_tail's block (2n entries)
  size_t free_head;        // first slot of the free list, VLK_PCGRAPH_NONE when empty
  int32_t* num_parents;
  int32_t* num_children;
};

// Life cycle and storage. new returns null when memory runs out (or n exceeds the int range of
// node ids); growth, resize and copy end the process when the slot array cannot be allocated.
VLK_PCGraph* VLK_PCGraph_new(size_t n);
void VLK_PCGraph_delete(VLK_PCGraph* g);
void VLK_PCGraph_copy(const VLK_PCGraph* src, VLK_PCGraph* dst);
void VLK_PCGraph_resize_buff(VLK_PCGraph* g, size_t want);
void VLK_PCGraph_clear(VLK_PCGraph* g);
void VLK_PCGraph_fill(VLK_PCGraph* g);

// Edits.
void VLK_PCGraph_add_edge(VLK_PCGraph* g, int pa, int ch);
void VLK_PCGraph_remove_edge_id(VLK_PCGraph* g, size_t id);
void VLK_PCGraph_remove_edge(VLK_PCGraph* g, int pa, int ch);

// Queries.
size_t VLK_PCGraph_num_nodes(const VLK_PCGraph* g);
size_t VLK_PCGraph_num_edges(const VLK_PCGraph* g);
int VLK_PCGraph_check_edge(const VLK_PCGraph* g, int pa, int ch);
size_t VLK_PCGraph_check_edge_index(const VLK_PCGraph* g, int pa, int ch);
size_t VLK_PCGraph_check_edge_id(const VLK_PCGraph* g, int pa, int ch);
void VLK_PCGraph_get_edge(const VLK_PCGraph* g, size_t id, int* pa, int* ch);
void VLK_PCGraph_get_edge_index(const VLK_PCGraph* g, size_t k, int* pa, int* ch);
int VLK_PCGraph_get_parent(const VLK_PCGraph* g, size_t id);
int VLK_PCGraph_get_child(const VLK_PCGraph* g, size_t id);
int VLK_PCGraph_num_parents(const VLK_PCGraph* g, int v);
int VLK_PCGraph_num_children(const VLK_PCGraph* g, int v);
int VLK_PCGraph_degree(const VLK_PCGraph* g, int v);
// Write into out (room for num_parents / num_children ints) in list order; return the count.
int VLK_PCGraph_get_parents(const VLK_PCGraph* g, int v, int* out);
int VLK_PCGraph_get_children(const VLK_PCGraph* g, int v, int* out);
// Clears list and appends the parents of v in list order; returns the number appended.
int VLK_PCGraph_parents(const VLK_PCGraph* g, int v, VLK_IntArray* list);

// Iteration over slot ids; VLK_PCGRAPH_NONE ends every walk.
size_t VLK_PCGraph_first_parent_id(const VLK_PCGraph* g, int v);
size_t VLK_PCGraph_first_child_id(const VLK_PCGraph* g, int v);
size_t VLK_PCGraph_next_parent_id(const VLK_PCGraph* g, size_t id);
size_t VLK_PCGraph_next_child_id(const VLK_PCGraph* g, size_t id);
size_t VLK_PCGraph_parent_next(const VLK_PCGraph* g, size_t id, int* p);
size_t VLK_PCGraph_child_next(const VLK_PCGraph* g, size_t id, int* c);
// All edges in slot order, holes skipped: first_edge, then next_edge until VLK_PCGRAPH_NONE.
size_t VLK_PCGraph_first_edge(const VLK_PCGraph* g);
size_t VLK_PCGraph_next_edge(const VLK_PCGraph* g, size_t id);

// Printing to the caller's stream.
void VLK_PCGraph_print_all_parents(const VLK_PCGraph* g, FILE* fp);
void VLK_PCGraph_print_parents(const VLK_PCGraph* g, int v, FILE* fp);
void VLK_PCGraph_print_children(const VLK_PCGraph* g, int v, FILE* fp);
void VLK_PCGraph_status(const VLK_PCGraph* g, FILE* fp);

// 1 when b is an ancestor of a (so the edge a -> b would close a cycle), else 0.
int VLK_PCGraph_check_cyclic(const VLK_PCGraph* g, int a, int b);
