// Pictures of an annotated network: node positions, sizes and drawing depths, and setters of
// colours, sizes, line widths and visibility. Everything here changes drawing records only,
// never nodes, edges or properties. Layouts walk the nodes in index order; sorts keep equal
// keys in index order, so a picture depends on the network alone.
//
// Sizes are truncated toward zero (VLK_Node_set_size); depths are capped at 1000 (the
// drawing record's limit). A size that would divide by zero (no node has a child, or no
// property value above 0) is the base size 10.
#pragma once

#include "VLK_IntArray.h"
#include "VLK_KeyValues.h"
#include "VLK_Network.h"
#include "VLK_Object.h"
#include "VLK_StrArray.h"

// ---- Layouts -------------------------------------------------------------------------------

// Node k on the circle of radius 350 around (500, 400) at the angle k 2pi/n + pi/2 (both with
// the ten-digit constants 6.283185307 and 1.570796325): node 0 at the bottom, the others
// clockwise on the screen. Size 30 c / c_max + 10 by the node's number of children c.
void VLK_Network_layout_circle(VLK_Network* net);
// Positions drawn uniformly in [x1, x2) x [y1, y2) from a dSFMT generator seeded with "seed",
// for the nodes of `nodes` (VLK_Node*, in order) or, when null, every node. Options: "x1" 10,
// "x2" 640, "y1" 10, "y2" 480 (doubles; reversed bounds are exchanged), "seed" 0 (unsigned).
// An option the table does not take ends the process with status 1.
void VLK_Network_layout_random(VLK_Network* net, const VLK_Array* nodes,
                               const VLK_KeyValues* options);
// The bounding box of the node positions scaled into [x1, x2] x [y1, y2], each axis on its own,
// and moved by (x, y). Options: "x1" 50, "x2" 900, "y1" 50, "y2" 600, "x" 0, "y" 0 (doubles).
// An axis on which every node sits at one coordinate puts them all at its low bound.
void VLK_Network_layout_fit(VLK_Network* net, const VLK_KeyValues* options);
// Sizes by number of children as in the circle layout, depths by rank (the node with the most
// children in front, depth 1), edge j at depth n + 1 + j, behind every node.
void VLK_Network_layout_hub_size(VLK_Network* net);
// Sizes 30 v / m + 10 by the int or double node property `key` (m the largest value, at least
// 0), depths by rank of the value, largest first; a node without the property gets size 10 and
// ranks last. Edge depths as in the hub layout. A value of any other type ends the process.
void VLK_Network_layout_prop_node_size(VLK_Network* net, const char* key);
// The drawing records (CSMLObject boxes) of `objects` go to depths 1 .. k in their order of
// depth, every other drawing record of the network moves back by k. Sorts `objects` in place.
void VLK_Network_move_front(VLK_Network* net, VLK_ObjArray* objects);

// ---- Setters (null selection: every element) ------------------------------------------------
// Selections that name no element of the network are skipped.

VLK_Network* VLK_Network_set_node_color(VLK_Network* net, const VLK_IntArray* nodes, int r, int g,
                                        int b, int a);
// Each name selects the first node of that name; names of no node are skipped.
VLK_Network* VLK_Network_set_node_color_by_names(VLK_Network* net, const VLK_StrArray* names, int r,
                                                 int g, int b, int a);
// Width and height become size about the node's centre.
VLK_Network* VLK_Network_set_node_size(VLK_Network* net, const VLK_IntArray* nodes, int size);
VLK_Network* VLK_Network_set_node_line_width(VLK_Network* net, const VLK_IntArray* nodes,
                                             double width);
// Edges by position; the colour of an edge is its line colour.
VLK_Network* VLK_Network_set_edge_color(VLK_Network* net, const VLK_IntArray* edges, int r, int g,
                                        int b, int a);
// Unified indexes: nodes, then edges, then extra objects.
VLK_Network* VLK_Network_set_visible(VLK_Network* net, const VLK_IntArray* objects, int visible);

// ---- Sort records and comparators (three-way, no overflow) -----------------------------------

struct VLK_Network_int_t {
  int node;
  int children;
  int parents;
};

struct VLK_Network_double_t {
  int node;
  double value;
};

// More children first.
int VLK_Network_int_t_cmp(const void* a, const void* b);
// Larger value first; NaN after every number.
int VLK_Network_double_t_cmp(const void* a, const void* b);
// On pointers to boxes: a CSMLObject box by its depth, any other box after all of them;
// smaller depth first.
int VLK_Network_move_front_cmp(const void* a, const void* b);
// The same for boxed nodes and edges, by the depth of their drawing records.
int VLK_Network_move_front_cmp_old(const void* a, const void* b);
