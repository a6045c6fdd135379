// Component and connected-subset utilities over edge lists: edges as node pairs at 2e and
// 2e + 1, taken as undirected. Nothing in a run calls them.
#pragma once

#include <cstddef>

#include "VLK_Array.h"
#include "VLK_IntArray.h"

// Index of the first x in a[0 .. n-1], or -1.
long find_int_ar(const int* a, size_t n, int x);
// The connected components, breadth first, each started by the first node (in order of first
// appearance) not yet taken: entries 2c and 2c + 1 are the node list and the edge list (pairs;
// an edge once per endpoint expanded) of component c, new VLK_IntArray records. Empty for an
// empty edge list.
VLK_Array* collect_connected(const VLK_IntArray* edges);
// " Components = %lu" and per component its nodes and edges, on VELK_ERR.
void show_components(const VLK_Array* components);
// A connected node set grown from `start` over the edges in a random order (random()), each
// member exhausting its edges in turn; stops when an edge taken brings the count to `size`.
// Returns the count; out must have room for the whole component when size is not above 1.
int connected_subgraph(const VLK_IntArray* edges, int start, int size, int* out);
// The same from the `count` nodes already in out, one edge per member and pass, so the set
// grows evenly; passes repeat while they grow the set.
int connected_subgraph2(const VLK_IntArray* edges, int size, int* out, int count);
