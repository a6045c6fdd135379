// Graph routines of the driver: the skeleton that restricts each nucleus's search, the acyclic
// extraction of the frequency network for the evaluation, and component and connected-subset
// utilities over edge lists.
#pragma once

#include <cstddef>

#include "GraphI.h"
#include "VLK_Array.h"
#include "VLK_Data.h"
#include "VLK_IntArray.h"
#include "VLK_KeyValues.h"
#include "VLK_Network.h"
#include "VLK_PCGraph.h"
#include "VLK_UShortArray.h"

// ---- Skeletons -------------------------------------------------------------------------------

// The allowed parent -> child pairs over the nodes of `data` (matched by name: a data set
// without names is refused), read from `file` in the interpretation `type` (any case):
//   "parents"          a node-set file: only the listed nodes may be parents, of every node;
//   "parents_targets"  the same, for the nodes of the node-set file named by the option
//                      "target" only; the other nodes may take any parent. The option "inv"
//                      (any value but "off") swaps the two groups;
//   "CHLIST"           children lists (PALIST with "ch"): a node heading a list may be the
//                      parent of its listed children only; a node heading none, of any other.
// A new VLK_AdjGraph seen as GraphI. A node set the nucleus holds none of still restricts: the
// nodes it is for take no parent from it (never no restriction). The files are read without
// warnings. An unknown type, "parents_targets" without "target" and a file that cannot be read
// end the process with status 1.
GraphI* read_skeleton(VLK_Data* data, const char* file, const char* type, VLK_KeyValues* options);
// The start-up check of the same settings, on every process: what read_skeleton would refuse
// ends the run before any work.
void check_skeleton_args(const char* type, const VLK_KeyValues* options);
// The start-up check of the files themselves against the whole data set (its names), on every
// process after the data are shared; nothing without a file. A skeleton file, or the "target"
// file, that cannot be read, is a directory, is empty or names no gene of the data (for
// "CHLIST": heads no list with a gene) ends the run, naming the option; a name that is no gene
// of the data is warned about here, once per run, with its control bytes escaped.
void check_skeleton_files(const VLK_Data* data, const char* file, const char* type,
                          const VLK_KeyValues* options);

namespace vlk {
// The CHLIST skeleton over data's nodes from the children lists already read as a network and
// the data nodes that head a list.
GraphI* chlist_skeleton(const VLK_Data* data, const VLK_Network* lists, const VLK_IntArray* heads);
}  // namespace vlk

// ---- Acyclic extraction ----------------------------------------------------------------------

// dst becomes the acyclic network of src's edges whose frequency (one per edge index) reaches
// the threshold, offered most frequent first (equal frequencies by ascending edge id), each kept
// unless it closes a cycle. src must be compact.
void extract_DAG(const VLK_PCGraph* src, const VLK_FloatArray* frequencies, VLK_PCGraph* dst,
                 float threshold);
// Comparator of the candidates {edge id (size_t), frequency (float)}: the higher frequency
// first, 0 for equal (or unordered) frequencies.
int size_t_float_cmp(const void* a, const void* b);

// ---- Edge-list utilities (edges as pairs at 2e and 2e + 1, taken as undirected) -------------

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
