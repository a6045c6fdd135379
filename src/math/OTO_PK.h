// Incremental topological order of a parent-child graph (Pearce and Kelly): a position per
// node such that every edge a -> b inserted through the record has ord[a] < ord[b]. An
// insertion that agrees with the order costs one comparison; one that does not searches only
// the nodes whose positions lie between its two ends, and either refuses the edge (it would
// close a cycle) or renumbers just those nodes. A self-loop x -> x is accepted.
//
// The insertion test runs its two searches (forward from the child, backward from the parent)
// in turns, breadth first, and stops as soon as they meet: an edge that closes a cycle is
// found after a fraction of the nodes one search alone would visit. The sets an accepted edge
// renumbers are whole either way. The searches keep their own queues, so nothing depends on
// the depth of the graph.
//
// The record does not own the graph: every operation takes it, and it must have the record's
// node count. Not thread-safe: one record and its graph per thread.
//
// The greedy acyclic subgraph by weight, VLK_PCGraph_DAG_fsc_th, lives here too: it is the
// order's main client.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "VLK_PCGraph.h"
#include "VLK_UShortArray.h"

// A node reached by a search, with its position at the time.
struct OTO_PKEntry {
  int32_t node;
  int32_t ord;
};

struct OTO_PK {
  int32_t n;
  int32_t* ord;          // position of each node; a permutation of 0 .. n-1
  int32_t* visited;      // search marks, all clear between tests (shares ord's block of 2n)
  OTO_PKEntry* forward;  // nodes reached from the child, in the order reached
  int32_t forward_count;
  OTO_PKEntry* backward;  // nodes that reach the parent (shares forward's block)
  int32_t backward_count;
  // Scratch of the renumbering, made with the record: n entries for sorting the sets (in
  // forward's block), then 2n ints for the renumbered nodes and their new positions.
  OTO_PKEntry* sorting;
  int32_t* renumber;
};

// ord[i] = i. Null when memory runs out.
OTO_PK* OTO_PK_new(int n);
// An order that every edge of g agrees with (the smallest node first among those free to go
// next, so a graph without edges keeps ord[i] = i); self-loops are ignored. Null when g has a
// cycle or memory runs out.
OTO_PK* OTO_PK_new_pcgraph(const VLK_PCGraph* g);
// dst takes src's order; different node counts end the process.
void OTO_PK_copy(const OTO_PK* src, OTO_PK* dst);
void OTO_PK_delete(OTO_PK* pk);

// Adds x -> y to g and returns 0 when g stays acyclic; returns 1, changing neither g nor the
// order, when the edge would close a cycle.
int OTO_PK_add_edge(OTO_PK* pk, int x, int y, VLK_PCGraph* g);
// 1 when x -> y would close a cycle, else 0; g and the order stay as they are.
int OTO_PK_check_cyclic(OTO_PK* pk, int x, int y, const VLK_PCGraph* g);
// As OTO_PK_add_edge without adding: for an edge already in g, renumbers as its insertion
// would.
int OTO_PK_check_cyclic_reorder(OTO_PK* pk, int x, int y, const VLK_PCGraph* g);

// "nodes:" and " %d" per node in order of position, then a newline.
void OTO_PK_print_order(const OTO_PK* pk, FILE* fp);

// qsort comparator of OTO_PKEntry: by position ascending.
int OTO_PK_cmp(const void* a, const void* b);
// The two searches of an insertion test, each on its own and to its end: the forward one
// appends to the forward set every node reachable from y through nodes placed before ub
// (ord[x]), the backward one to the backward set every node that reaches x through nodes
// placed after lb (ord[y]); 1 when the search meets the other end of the edge. Their marks
// are cleared when they return.
int OTO_PK_dfs_f(OTO_PK* pk, int y, const VLK_PCGraph* g, int32_t ub);
int OTO_PK_dfs_b(OTO_PK* pk, int x, const VLK_PCGraph* g, int32_t lb);
// The positions of both sets merged ascending into out (nf + nb entries).
void OTO_PK_merge(const OTO_PKEntry* f, int32_t nf, const OTO_PKEntry* b, int32_t nb, int32_t* out);
// Gives the backward set's nodes the lowest of the positions both sets hold, each set keeping
// its internal order.
void OTO_PK_reorder(OTO_PK* pk);

// One candidate of the greedy acyclic subgraph: an edge index of the source and its weight.
struct VLK_PCGraph_DAGEntry {
  size_t k;
  float w;
};

// dst becomes the acyclic graph made of src's edges whose weight w[k] reaches th, offered
// heaviest first (equal weights by ascending edge index; a NaN weight never reaches th), each
// kept unless it would close a cycle with those kept before. src must be compact (its weights
// are addressed by edge index) and have dst's node count; w holds a weight per edge index.
void VLK_PCGraph_DAG_fsc_th(const VLK_PCGraph* src, const VLK_FloatArray* w, float th,
                            VLK_PCGraph* dst);
// qsort comparator of VLK_PCGraph_DAGEntry: the greater weight first, 0 for equal weights.
int VLK_PCGraph_DAG_cmp(const void* a, const void* b);
