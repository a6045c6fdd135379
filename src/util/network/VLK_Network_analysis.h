// Measures and cuts of an annotated network: betweenness, closeness and hub ranks of nodes,
// weakly connected components, an edge filter on a typed property, path collection along
// parent links and subnetworks around chosen nodes. The network is read along its edges
// (parent -> child) unless an operation says otherwise; children always come in ascending
// index order. The property-generating operations store their results in the nodes' drawing
// records ("betweenness", "betweenness.rank", "hubness", "hubness.rank"), where the writers
// find them.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "VLK_Array.h"
#include "VLK_IntArray.h"
#include "VLK_Network.h"
#include "VLK_Network_records.h"

// Brandes' betweenness of every node, directed, unweighted, not normalised, into out (n
// doubles, zeroed first). Path counts are doubles kept in range per distance level, so they
// neither wrap nor overflow.
void VLK_Network_calc_betweenness(const VLK_Network* net, double* out);
// Stores each node's betweenness as the double property "betweenness" and its competition
// rank (1, 2, 2, 4; equal values share a rank) as the int property "betweenness.rank".
void VLK_Network_gen_prop_betweenness(VLK_Network* net);
// out[i] (n doubles) = (1 / n) times the sum of 1 / d(i, j) over the nodes j != i that i
// reaches along the edges: 0 for a node that reaches nobody.
void VLK_Network_calc_closeness(const VLK_Network* net, double* out);

// out (n ints): the node indexes, most children first.
void VLK_Network_get_hub_list(const VLK_Network* net, int* out);
// The int properties "hubness" (number of children) and "hubness.rank" (competition rank).
void VLK_Network_gen_prop_hub_rank(VLK_Network* net);
VLK_Network* VLK_Network_gen_prop_hubness(VLK_Network* net);

// The components with edge directions ignored: a new VLK_Array of new VLK_IntArray*, in the
// order of their lowest node, each listing its nodes in discovery order (from the lowest: its
// parents in list order, then its children ascending, and so on along the list).
VLK_Array* VLK_Network_connected_components(const VLK_Network* net);

// Keeps, in place, only the edges whose first property `key` has type `id` and compares to
// value under op (VLK_OP_EQ .. VLK_OP_GE, VLK_Type.h); every other edge is removed.
VLK_Network* VLK_Network_filter(VLK_Network* net, const char* key, int id, int op,
                                const void* value);

// Every simple path that climbs parent links from start to target, each a new VLK_IntArray of
// node indexes from target down to start (consecutive entries a, b: the edge a -> b). Mode 0
// takes the paths of at most maxlen edges (start == target gives the path [start]), any other
// mode only those of exactly maxlen edges. A start of -1 gives an empty result.
VLK_Array* VLK_Network_collect_paths_index(const VLK_Network* net, int target, int start,
                                           int maxlen, int mode);
// The same search, also along child links from `children` (n lists, as from
// VLK_Network_get_all_children) unless `directed` is non-zero. The result is one new array of
// (parent, child) index pairs, each pair in its edge's own direction, one per edge from target
// back to start, the paths (of at least one edge) one after the other.
VLK_IntArray* VLK_Network_collect_udpaths_index(const VLK_Network* net,
                                                const VLK_IntArray* children, int target, int start,
                                                int maxlen, int mode, int directed);

// New networks of clones of the listed nodes (valid indexes, list order first); the source
// network is not changed.
// The listed nodes and every edge between two of them, with its properties.
VLK_Network* VLK_Network_subnetwork_index(const VLK_Network* net, const VLK_IntArray* list);
// The listed nodes and the paths of at most dist edges climbing parent links from one listed
// node to another: their nodes (clones) and their edges (new, without properties).
VLK_Network* VLK_Network_subnetwork_index_dist(const VLK_Network* net, const VLK_IntArray* list,
                                               int dist);
// Breadth-first, directions ignored, dist levels out from the listed nodes: every node within
// dist steps and every edge (with its properties) at a node fewer than dist steps away. A
// dist of 0 gives an empty network; a negative one ends the process with status 1.
VLK_Network* VLK_Network_subnetwork_index_collect(const VLK_Network* net, const VLK_IntArray* list,
                                                  int dist);

namespace vlk {

// Releases a VLK_Array of VLK_IntArray* (components, paths) with its lists.
void delete_int_arrays(VLK_Array* lists);
struct DeleteIntArrays {
  void operator()(VLK_Array* a) const noexcept { delete_int_arrays(a); }
};
using IntArraysPtr = std::unique_ptr<VLK_Array, DeleteIntArrays>;

// The hub records of all nodes, sorted by VLK_Network_int_t_cmp.
std::vector<VLK_Network_int_t> hub_records(const VLK_Network* net);

// How the betweenness finds the children of a dequeued node: from child lists made once per
// call, or by scanning every parent list, which gives the same numbers at O(n + E) per node.
enum class ChildSearch { lists, scan };
// The betweenness contributions of the sources 0 .. sources - 1 (every node when sources is
// negative), into out (n doubles, zeroed first). VLK_Network_calc_betweenness is
// betweenness(net, out, ChildSearch::lists); the scan is kept to measure the lists against.
void betweenness(const VLK_Network* net, double* out, ChildSearch how, long sources = -1);

}  // namespace vlk
