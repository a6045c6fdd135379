// Conversions between the named networks that files hold and the index graphs that searches
// work on. What each one keeps of the order of nodes, edges and parents is part of its
// contract: later searches and writers see that order.
//
// Two of them match network nodes by name against a data set: a network node takes the id of
// the first data node of the same name; a node without one is reported ("WARNING: not found:
// %s") and its edges are left out.
#pragma once

#include "VLK_AdjGraph.h"
#include "VLK_Data.h"
#include "VLK_Graph.h"
#include "VLK_Network.h"
#include "VLK_PCGraph.h"

// ---- Network to graph (the network is not changed) ------------------------------------------

// Node ids are network indexes; every node's parent list equals the network's (a repeated
// pair is kept once).
VLK_Graph* VLK_Network_graph(const VLK_Network* net);
// Node ids are the data set's; pairs with an end the data set lacks are skipped. The warning
// for such a node is printed whatever the warning level.
VLK_Graph* VLK_Network_graph_dataset(const VLK_Network* net, const VLK_Data* data);
// The same pairs as an allowed-edge matrix over the data set's nodes; the warning is printed
// only at warning level 1 or more.
VLK_AdjGraph* VLK_Network_AdjGraph_dataset(const VLK_Network* net, const VLK_Data* data);
// Edges by child in index order, parents in list order: edge k is the k-th pair of that walk.
VLK_PCGraph* VLK_Network_pcgraph(const VLK_Network* net);
// Edges in the network's edge order: edge k is the network's edge k.
VLK_PCGraph* VLK_Network_pcgraph_ord(const VLK_Network* net);

// ---- Graph to network (a new network owned by the caller) -----------------------------------

// One node per graph node, named and aliased after data node i, or "g_%d" with i + 1 without a
// data set; the edges in edge-index order.
VLK_Network* VLK_Network_from_pcgraph(const VLK_PCGraph* g, const VLK_Data* data);
// One node per data node, named and aliased after it; edges by child, parents ascending. The
// graph's parent lists are sorted in place to get there.
VLK_Network* VLK_Network_from_graph(VLK_Graph* g, const VLK_Data* data);
// Graph ids are indexes of the template network. Only nodes that take part in an edge, in
// order of first use, named and aliased after the template node; a name already present in the
// result is reused. For each template node i and each of its graph parents p in list order: the
// node of p is found or made, then (once per i) the node of i, then the edge.
VLK_Network* VLK_Network_from_graph_network(const VLK_Graph* g, const VLK_Network* tmpl);
